// The language file, and the texts of the current language: the captions and the records table's
// columns.
#include <wx/odcombo.h>

#include "console/QELDlg.h"
#include "core/profile.h"
#include "platform/dialog_template.h"
#include "resources/resource_ids.h"

void CQELDlg::ReadLanguageFile(const std::string& path)
{
    // The file is read once; the language and each text are answered from what was read.
    const core::Profile profile = core::Profile::Load(path);
    std::string item = profile.GetString("Section1", "Item", "", 80);
    m_language = static_cast<signed char>((item.empty() ? 0 : static_cast<unsigned char>(item[0])) - '0');
    for (size_t i = 0; i < LanguageTextSet::kCount; ++i) {
        LanguageTexts.At(i) = profile.GetString("Section1", LanguageTextSet::Key(i), "Error", 20);
    }
}

namespace {

// The controls' captions and the texts they take.
constexpr struct {
    int id;
    ShownText LanguageTable::*text;
} kCaptions[] = {
    {IDC_CONNECT, &LanguageTable::connect},
    {IDC_DISCONNECT, &LanguageTable::cut},
    {IDC_LABEL_COMPANY, &LanguageTable::company},
    {IDC_LABEL_MODEL, &LanguageTable::model},
    {IDC_LABEL_SERIALNO, &LanguageTable::serialNo},
    {IDC_LABEL_OPERATOR, &LanguageTable::testOperator},
    {IDC_LABEL_NOTES, &LanguageTable::notes},
    {IDC_LABEL_YEAR, &LanguageTable::year},
    {IDC_LABEL_MONTH, &LanguageTable::month},
    {IDC_LABEL_DAY, &LanguageTable::day},
    {IDC_LABEL_HOUR, &LanguageTable::hour},
    {IDC_LABEL_MINUTE, &LanguageTable::minute},
    {IDC_UPLOAD, &LanguageTable::upload},
    {IDC_EXPORT, &LanguageTable::deleteSelect},
    {IDC_DELETE_ALL, &LanguageTable::deleteAll},
    {IDC_SAVE_PRINT, &LanguageTable::saveOrPrint},
    {IDC_TIME_SET, &LanguageTable::timeSet},
    {IDC_POWER_CALIBRATE, &LanguageTable::powerCalibrate},
    {IDC_RESET, &LanguageTable::reset},
    {IDC_EXIT, &LanguageTable::exit},
    {IDC_GROUP_COM, &LanguageTable::groupCom},
    {IDC_GROUP_USER, &LanguageTable::groupUser},
    {IDC_GROUP_TIME, &LanguageTable::groupTime},
    {IDC_GROUP_CALIBRATE, &LanguageTable::groupCalibrate},
    {IDC_LABEL_LANGUAGE, &LanguageTable::languageLabel},
};

}  // namespace

std::optional<std::string> CQELDlg::LanguageText(ShownText LanguageTable::*text) const
{
    const LanguageTable* language = Language();
    if (language == nullptr) return std::nullopt;
    return (language->*text).In(LanguageTexts);
}

void CQELDlg::ApplyLanguage()
{
    const LanguageTable* language = Language();
    if (language == nullptr) return;

    // The language list shows the language.
    if (m_comboLanguage != nullptr) m_comboLanguage->SetSelection(language->listIndex);

    // The captions, then the room they need: labels whose text is too long for the template's
    // rectangle get it.
    for (const auto& c : kCaptions) SetDlgItemText(c.id, (language->*c.text).In(LanguageTexts));
    SetPortCaption(m_portOpened);
    if (const platform::DialogTemplate* tmpl = platform::FindDialogTemplate(IDD_QEL_DIALOG))
        platform::FitLabels(this, *tmpl, m_dialogUnits);

    // The records table is emptied and loses its columns.
    if (m_listRecords == nullptr) return;
    m_listRecords->DeleteAllItems();
    m_lastRecordNo = 0;
    while (m_listRecords->DeleteColumn(0)) {}

    // Grid lines and full-row selection.
    m_listRecords->SetExtendedStyle(platform::LVS_EX_GRIDLINES | platform::LVS_EX_FULLROWSELECT);

    // The language's columns, the first with room for an image, and their widths.
    for (const RecordsColumn& column : language->columns) {
        m_listRecords->InsertColumn(column.insertAt, column.heading.In(LanguageTexts),
                                    column.insertAt == 0 ? platform::LVCFMT_IMAGE : platform::LVCFMT_LEFT);
    }
    for (size_t i = 0; i < language->columnWidths.size(); ++i)
        m_listRecords->SetColumnWidth(static_cast<int>(i), language->columnWidths[i]);
}

void CQELDlg::SetPortCaption(bool open)
{
    if (auto caption = LanguageText(open ? &LanguageTable::closeCom : &LanguageTable::openCom))
        SetDlgItemText(IDC_OPEN_COM, *caption);
}

void CQELDlg::OnCbnCloseupLanguage()
{
    if (m_comboLanguage == nullptr) return;
    if (const LanguageTable* language = LanguageAtListIndex(m_comboLanguage->GetSelection())) {
        m_language = language->language;
        ApplyLanguage();
    }
}

void CQELDlg::OnBnClickedChinese()
{
    m_language = kLanguageChinese;
    ApplyLanguage();
    UpdateData(FALSE);
}

void CQELDlg::OnBnClickedEnglish()
{
    m_language = kLanguageEnglish;
    ApplyLanguage();
    UpdateData(FALSE);
}
