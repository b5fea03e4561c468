// The save-or-print sheet: a formatted sheet in a new workbook, handed to the user to save or
// print.
#include "console/QELDlg.h"
#include "core/automation.h"
#include "report/excel.h"
#include "resources/resource_ids.h"

using core::VARIANT;

namespace {

constexpr int kCentre = -4108;
constexpr int kRight = -4152;
constexpr int kLeft = -4131;

// The header block's alignments: horizontal as given, vertically centred.
constexpr struct {
    const char* from;
    const char* to;
    int horizontal;
} kHeaderAlignments[] = {
    {"A1", "E1", kCentre}, {"A2", "B4", kRight}, {"D2", "D3", kRight}, {"C2", "C4", kLeft}, {"E2", "E3", kLeft}};

constexpr struct {
    const char* from;
    const char* to;
    int colorIndex;
} kFills[] = {{"C2", "C4", 20}, {"E2", "E3", 20}, {"A6", "E6", 10}};

// The header values: the window texts of the edit boxes.
constexpr struct {
    const char* cell;
    int editId;
} kHeaderValues[] = {{"C2", IDC_EDIT_COMPANY},
                     {"C3", IDC_EDIT_MODEL},
                     {"C4", IDC_EDIT_SERIALNO},
                     {"E2", IDC_EDIT_OPERATOR},
                     {"E3", IDC_EDIT_NOTES}};

}  // namespace

void CQELDlg::OnBnClickedSaveOrPrint()
{
    // The sheet's messages and labels are the language's as the button is pressed.
    const LanguageTable* language = Language();
    auto say = [&](ShownText LanguageTable::*text) {
        if (language != nullptr) AfxMessageBox((language->*text).In(LanguageTexts), MB_OK);
    };

    // No data: said, and the sheet is built all the same.
    if (m_lastRecordNo == 0) say(&LanguageTable::noData);

    // Initialise COM; a failure is said in the language file's text, whatever the language, and
    // the sheet goes on.
    if (core::CoInitialize(nullptr) == core::E_INVALIDARG) AfxMessageBox(LanguageTexts.initfail, MB_OK);

    // Create the spreadsheet application: without it there is no sheet.
    _Application app;
    if (!app.CreateDispatch(kApplicationProgId)) {
        say(&LanguageTable::cannotCreateApplication);
        return;
    }
    const VARIANT missing = VARIANT::Missing();

    // Add a new workbook and take its first sheet.
    Workbooks books(app.get_Workbooks());
    _Workbook book(books.Add(missing));
    Worksheets sheets(book.get_Sheets());
    _Worksheet sheet(sheets.get_Item(VARIANT::I4(1)));
    Range range;
    Interior interior;

    auto select = [&](const char* from, const char* to) {
        range.AttachDispatch(sheet.get_Range(VARIANT::Bstr(from), VARIANT::Bstr(to)));
    };
    auto cells = [&] { range.AttachDispatch(sheet.get_Cells()); };
    auto put = [&](int row, int column, const VARIANT& value) {
        range.put_Item(VARIANT::I4(row), VARIANT::I4(column), value);
    };
    auto align = [&](const char* from, const char* to, int horizontal) {
        select(from, to);
        range.put_HorizontalAlignment(VARIANT::I4(horizontal));
        range.put_VerticalAlignment(VARIANT::I4(kCentre));
    };
    auto fill = [&](const char* from, const char* to, int colorIndex) {
        select(from, to);
        interior.AttachDispatch(range.get_Interior());
        interior.put_ColorIndex(VARIANT::I4(colorIndex));
    };
    auto value = [&](const char* cell, int editId) {
        range.AttachDispatch(sheet.get_Range(VARIANT::Bstr(cell), missing));
        range.put_Value2(VARIANT::Bstr(GetDlgItemText(editId)));
    };
    auto labels = [&](std::span<const SheetLabel> LanguageTable::*table) {
        if (language == nullptr || (language->*table).empty()) return;
        cells();
        for (const SheetLabel& label : language->*table)
            put(label.row, label.column, VARIANT::Bstr(label.text.In(LanguageTexts)));
    };

    // Layout: widths, merges, title and labels, wrap, alignments, fills, header values.
    const struct {
        const char* from;
        const char* to;
        int width;
    } widths[] = {{"A1", "A100", 10}, {"B1", "B100", 10}, {"C1", "C100", 13}, {"D1", "D100", 13}, {"E1", "E100", 20}};
    for (const auto& w : widths) {
        select(w.from, w.to);
        range.put_ColumnWidth(VARIANT::I4(w.width));
    }
    const char* merges[][2] = {{"A1", "E1"}, {"A2", "B2"}, {"A3", "B3"}, {"A4", "B4"}};
    for (const auto& m : merges) {
        select(m[0], m[1]);
        range.Merge(VARIANT::I4(0));
    }
    labels(&LanguageTable::sheetLabels);
    range.AttachDispatch(sheet.get_UsedRange());
    range.put_WrapText(VARIANT::I4(1));
    for (const auto& a : kHeaderAlignments) align(a.from, a.to, a.horizontal);
    for (const auto& f : kFills) fill(f.from, f.to, f.colorIndex);
    for (const auto& v : kHeaderValues) value(v.cell, v.editId);
    select("D6", "D106");
    range.put_NumberFormat(VARIANT::Bstr("@"));
    labels(&LanguageTable::sheetHeadings);

    // One row per record: the running number, then subitems 1 to 6.
    if (m_lastRecordNo > 0) cells();
    for (int j = 0; j < m_lastRecordNo; ++j) {
        const int r = j + 7;
        put(r, 1, VARIANT::I4(j + 1));
        for (int s = 1; s <= 6; ++s) {
            std::string text = m_listRecords != nullptr ? m_listRecords->GetItemText(j, s) : std::string();
            put(r, 1 + s, VARIANT::Bstr(text));
        }
    }

    // Centre the table, give the power column its number format, and hand the application to the
    // user: shown, and under the user's control.
    align("A6", "E1010", kCentre);
    select("C6", "C106");
    range.put_NumberFormat(VARIANT::Bstr("00.00"));
    app.put_Visible(true);
    app.put_UserControl(true);
}
