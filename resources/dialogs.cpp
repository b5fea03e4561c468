// The program's dialog templates: the About box (100) and the main window (102).
// Rectangles are in dialog units; the controls are listed in tab order.
#include "core/winapi.h"
#include "platform/dialog_template.h"
#include "resources/resource_ids.h"

namespace platform {
namespace {

using K = ControlKind;
namespace S = Style;

constexpr unsigned kVis = S::Visible;
constexpr unsigned kButton = S::Visible | S::Multiline | S::Center | S::TabStop;
constexpr unsigned kEdit = S::Visible | S::Border | S::AutoHScroll | S::TabStop;
constexpr unsigned kLabel = S::Visible | S::Right;
constexpr unsigned kHiddenEdit = S::None;
constexpr unsigned kHiddenButton = S::None;

const DialogTemplate& AboutBox()
{
    static const DialogTemplate t{
        IDD_ABOUTBOX,
        "关于 QEL",
        235,
        55,
        "宋体",
        9,
        {
            {IDC_STATIC, K::IconStatic, kVis, 11, 17, 20, 20, "", IDR_MAINFRAME},
            {IDC_STATIC, K::Text, kVis, 40, 10, 119, 8, "QEL 1.0 版"},
            {IDC_STATIC, K::Text, kVis, 40, 25, 119, 8, "光功率计数据上传与报告"},
            {IDOK, K::PushButton, kVis | S::Default | S::TabStop | S::Group, 178, 7, 50, 14, "确定"},
        },
    };
    return t;
}

const DialogTemplate& MainDialog()
{
    static const DialogTemplate t{
        IDD_QEL_DIALOG,
        "QELV3.0",
        400,
        255,
        "宋体",
        9,
        {
            // Shown controls.
            {IDC_EXIT, K::PushButton, kVis | S::Default | S::TabStop, 304, 186, 69, 23, "退出"},
            {IDC_COMBO_PORT, K::DropDownCombo, kVis | S::VScroll | S::TabStop, 24, 25, 59, 70, ""},
            {IDC_OPEN_COM, K::PushButton, kButton, 117, 20, 59, 24, "打開串口"},
            {IDC_CONNECT, K::PushButton, kButton, 212, 19, 58, 24, "連接  "},
            {IDC_DISCONNECT, K::PushButton, kButton, 293, 19, 59, 24, "斷開"},
            {IDC_GROUP_COM, K::GroupBox, kVis, 16, 12, 357, 43, "串口操作"},
            {IDC_LABEL_COMPANY, K::Text, kLabel, 21, 84, 37, 8, " 公司名稱"},
            {IDC_LABEL_MODEL, K::Text, kLabel, 216, 82, 41, 8, "儀錶 類型"},
            {IDC_LABEL_SERIALNO, K::Text, kLabel, 20, 108, 42, 8, "儀錶編號"},
            {IDC_EDIT_COMPANY, K::Edit, kEdit, 89, 83, 104, 14, ""},
            {IDC_EDIT_MODEL, K::Edit, kEdit, 274, 79, 86, 14, ""},
            {IDC_EDIT_SERIALNO, K::Edit, kEdit, 89, 108, 104, 14, ""},
            {IDC_LABEL_OPERATOR, K::Text, kLabel, 20, 137, 43, 8, "测试操作人"},
            {IDC_LABEL_NOTES, K::Text, kLabel, 234, 134, 20, 8, "備註"},
            {IDC_EDIT_OPERATOR, K::Edit, kVis, 89, 133, 104, 14, ""},
            {IDC_EDIT_NOTES, K::Edit, kVis, 276, 135, 86, 14, ""},
            {IDC_GROUP_USER, K::GroupBox, kVis, 15, 66, 357, 93, "填寫使用者資訊"},
            {IDC_UPLOAD, K::PushButton, kVis | S::Multiline | S::TabStop, 14, 186, 76, 23, "上傳資料"},
            {IDC_ICON_PORT, K::IconStatic, kVis, 88, 21, 20, 20, ""},
            {IDC_PROGRESS, K::Progress, kVis | S::Border, 14, 217, 358, 14, ""},

            // Hidden controls: the records table, the maintenance commands and the language switch.
            // They sit in the space the shown controls leave free and are never shown.
            {IDC_LIST_RECORDS, K::ListView, S::Border, 94, 161, 56, 40, "List1"},
            {IDC_EXPORT, K::PushButton, kHiddenButton, 153, 161, 48, 13, "导出数据"},
            {IDC_DELETE_ALL, K::PushButton, kHiddenButton, 153, 175, 48, 13, "刪除全部"},
            {IDC_SAVE_PRINT, K::PushButton, kHiddenButton, 153, 189, 48, 13, "保存或列印"},
            {IDC_STATIC, K::Text, S::Right, 208, 174, 8, 8, "20"},
            {IDC_EDIT_YEAR, K::Edit, kHiddenEdit, 216, 172, 14, 12, ""},
            {IDC_EDIT_MONTH, K::Edit, kHiddenEdit, 240, 172, 12, 12, ""},
            {IDC_EDIT_DAY, K::Edit, kHiddenEdit, 262, 172, 12, 12, ""},
            {IDC_EDIT_HOUR, K::Edit, kHiddenEdit, 216, 186, 14, 12, ""},
            {IDC_EDIT_MINUTE, K::Edit, kHiddenEdit, 240, 186, 12, 12, ""},
            {IDC_LABEL_YEAR, K::Text, S::None, 231, 174, 8, 8, "年"},
            {IDC_LABEL_MONTH, K::Text, S::None, 253, 174, 8, 8, "月"},
            {IDC_LABEL_DAY, K::Text, S::None, 275, 174, 8, 8, "日"},
            {IDC_LABEL_HOUR, K::Text, S::None, 231, 188, 8, 8, "時"},
            {IDC_LABEL_MINUTE, K::Text, S::None, 253, 188, 8, 8, "分"},
            {IDC_TIME_SET, K::PushButton, kHiddenButton, 208, 200, 56, 12, "時間設定"},
            {IDC_POWER_CALIBRATE, K::PushButton, kHiddenButton, 18, 240, 44, 12, "功率校準"},
            {IDC_EDIT_CALVALUE, K::Edit, kHiddenEdit, 64, 240, 28, 12, ""},
            {IDC_STATIC, K::Text, S::None, 94, 242, 16, 8, "dBm"},
            {IDC_RESET, K::PushButton, kHiddenButton, 286, 238, 58, 14, "恢復出廠設定"},
            {IDC_GROUP_TIME, K::GroupBox, S::None, 204, 160, 96, 54, "時間設定"},
            {IDC_GROUP_CALIBRATE, K::GroupBox, S::None, 14, 232, 230, 22, "校準"},
            {IDC_COMBO_LANGUAGE, K::DropDownCombo, S::None, 258, 104, 50, 60, ""},
            {IDC_LABEL_LANGUAGE, K::Text, S::VCenter, 216, 106, 40, 10, "语言切换:"},
            {IDC_ICON_METER, K::IconStatic, S::None, 350, 234, 20, 20, ""},
            {IDC_RADIO_CHINESE, K::RadioButton, S::Group | S::TabStop, 312, 103, 44, 9, "中文"},
            {IDC_RADIO_ENGLISH, K::RadioButton, S::None, 312, 113, 48, 9, "ENGILSH"},
            {IDC_RADIO_1310, K::RadioButton, S::Group | S::TabStop, 112, 241, 42, 10, "1310nm"},
            {IDC_RADIO_1490, K::RadioButton, S::None, 154, 241, 42, 10, "1490nm"},
            {IDC_RADIO_1550, K::RadioButton, S::None, 196, 241, 42, 10, "1550nm"},
            {IDC_FTCAL, K::PushButton, S::TabStop, 248, 238, 34, 14, "FTCAL"},
            {IDC_STATIC, K::BitmapStatic, S::None, 376, 160, 20, 20, "", IDB_PICTURE},
            {IDC_STATIC_1050, K::Text, S::None, 94, 204, 56, 8, "Static"},
            {IDC_SLIDER, K::Trackbar, S::TabStop, 153, 203, 48, 11, ""},
        },
    };
    return t;
}

}  // namespace

const DialogTemplate* FindDialogTemplate(int id)
{
    switch (id) {
    case IDD_ABOUTBOX: return &AboutBox();
    case IDD_QEL_DIALOG: return &MainDialog();
    default: return nullptr;
    }
}

}  // namespace platform
