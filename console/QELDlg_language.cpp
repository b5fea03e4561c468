// The language file, the captions of the three languages and the records table's columns.
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

void CQELDlg::ApplyLanguage()
{
    if (m_language < 0 || m_language > 2) return;
    const LanguageTextSet& t = LanguageTexts;
    const int lang = m_language;

    // 1. The language list: index 1 English, 0 Chinese, 2 Italian.
    if (m_comboLanguage != nullptr) {
        static const int kIndex[3] = {1, 0, 2};
        m_comboLanguage->SetSelection(kIndex[lang]);
    }

    // 2. Captions, in this order.
    struct Caption {
        int id;
        const char* english;
        const std::string* chinese;
        const char* chineseLiteral;
        const char* italian;
    };
    const Caption captions[] = {
        {IDC_CONNECT, "CONNECT", &t.connect, nullptr, "CONNESSIONE"},
        {IDC_DISCONNECT, "CUT", &t.cut, nullptr, "INTERROMPI"},
        {IDC_LABEL_COMPANY, "Company", &t.company, nullptr, "AZIENDA"},
        {IDC_LABEL_MODEL, "Instrument Model", &t.qeltype, nullptr, "MODELLO"},
        {IDC_LABEL_SERIALNO, "Instrument Serial Number", &t.qelno, nullptr, "SERIALE"},
        {IDC_LABEL_OPERATOR, "Test Operator", &t.tester, nullptr, "OPERATORE"},
        {IDC_LABEL_NOTES, "Notes", &t.mark, nullptr, "NOTE"},
        {IDC_LABEL_YEAR, "YEAR", &t.year, nullptr, "ANNO"},
        {IDC_LABEL_MONTH, "MONTH", &t.month, nullptr, "MESE"},
        {IDC_LABEL_DAY, "DAY", &t.data, nullptr, "GIORNO"},
        {IDC_LABEL_HOUR, "HOUR", &t.hour, nullptr, "ORE"},
        {IDC_LABEL_MINUTE, "MINUTE", nullptr, "分", "MINUTI"},
        {IDC_UPLOAD, "UPLOAD DATA", &t.readfile, nullptr, "ACQUISISCI DATI"},
        {IDC_EXPORT, "DELETE SELECT", &t.save, nullptr, "CANCELLA SELEZIONE"},
        {IDC_DELETE_ALL, "DELETE ALL", &t.dellall, nullptr, "CANCELLA TUTTO"},
        {IDC_SAVE_PRINT, "SAVE OR PRINT", &t.save, nullptr, "SALVA O STAMPA"},
        {IDC_TIME_SET, "TIME SET", &t.settime, nullptr, "IMPOSTA DATA/ORA"},
        {IDC_POWER_CALIBRATE, "POWER CALIBRATE", &t.claqel, nullptr, "CALIBRAZIONE POTENZA"},
        {IDC_RESET, "RESET", &t.rst, nullptr, "AZZERAMENTO"},
        {IDC_EXIT, "EXIT", &t.exit, nullptr, "ESCI"},
        {IDC_GROUP_COM, "COM OPERATE", &t.cominfo, nullptr, "COMUNICAZIONE"},
        {IDC_GROUP_USER, "FILL OUT USER'S INFORMATION", &t.inputinfo, nullptr, "INSERISCI INFORMAZIONI UTENTE"},
        {IDC_GROUP_TIME, "INSTRUMENT TIME SET", &t.settime, nullptr, "IMPOSTAZIONE STRUMENTO"},
        {IDC_GROUP_CALIBRATE, "CALIBRATE", &t.claqel, nullptr, "CALIBRAZIONE"},
        {IDC_LABEL_LANGUAGE, "LANGUAGE:", &t.sellange, nullptr, "LINGUA:"},
    };
    for (const Caption& c : captions) {
        std::string text = lang == 0 ? c.english : lang == 2 ? c.italian : c.chinese ? *c.chinese : c.chineseLiteral;
        SetDlgItemText(c.id, text);
    }
    SetPortCaption(m_portOpened);
    // Labels whose text is too long for the template's rectangle get the room it needs.
    if (const platform::DialogTemplate* tmpl = platform::FindDialogTemplate(IDD_QEL_DIALOG))
        platform::FitLabels(this, *tmpl, m_dialogUnits);

    // 3. and 4. The records table is emptied and loses its columns.
    if (m_listRecords == nullptr) return;
    m_listRecords->DeleteAllItems();
    m_lastRecordNo = 0;
    while (m_listRecords->DeleteColumn(0)) {}

    // 5. Grid lines and full-row selection.
    m_listRecords->SetExtendedStyle(platform::LVS_EX_GRIDLINES | platform::LVS_EX_FULLROWSELECT);

    // 6. The language's columns; the fourth and fifth headings are inserted at 4 and 3.
    auto insert = [&](int at, const std::string& heading) {
        m_listRecords->InsertColumn(at, heading, at == 0 ? platform::LVCFMT_IMAGE : platform::LVCFMT_LEFT);
    };
    if (lang == 0) {
        insert(0, "NUMBER");
        insert(1, "WAVE LENGTH");
        insert(2, "POWER");
        insert(4, "DATA/TIME");
        insert(3, "REF");
        const char* rest[] = {"NOTE", "WAVE LENGTH", "POWER", "DATA/TIME", "REF", "NOTE", "NOTE"};
        for (int i = 0; i < 7; ++i) insert(5 + i, rest[i]);
        const int widths[12] = {60, 100, 100, 100, 150, 100, 100, 100, 100, 100, 100, 100};
        for (int i = 0; i < 12; ++i) m_listRecords->SetColumnWidth(i, widths[i]);
    } else if (lang == 1) {
        insert(0, t.no);
        insert(1, t.lamda);
        insert(2, t.powerdbm);
        insert(4, t.timedata);
        insert(3, t.ref);
        for (int i = 5; i <= 15; ++i) insert(i, t.mark);
        const int widths[5] = {60, 100, 100, 100, 150};
        for (int i = 0; i < 5; ++i) m_listRecords->SetColumnWidth(i, widths[i]);
        for (int i = 5; i <= 14; ++i) m_listRecords->SetColumnWidth(i, 100);
    } else {
        insert(0, "NUMERO");
        insert(1, "LUNGHEZZA D'ONDA");
        insert(2, "POTENZA");
        insert(3, "GIORNO/ORA");
        insert(4, "NOTE");
        const int widths[5] = {60, 140, 140, 180, 60};
        for (int i = 0; i < 5; ++i) m_listRecords->SetColumnWidth(i, widths[i]);
    }
}

void CQELDlg::SetPortCaption(bool open)
{
    switch (m_language) {
    case 0: SetDlgItemText(IDC_OPEN_COM, open ? "CLOSE COM" : "OPEN COM"); break;
    case 1: SetDlgItemText(IDC_OPEN_COM, open ? LanguageTexts.closecom : LanguageTexts.opencom); break;
    case 2: SetDlgItemText(IDC_OPEN_COM, open ? "CHIUDERE COMUNICAZIONE" : "APRI COMUNICAZIONE"); break;
    default: break;
    }
}

void CQELDlg::OnCbnCloseupLanguage()
{
    if (m_comboLanguage == nullptr) return;
    switch (m_comboLanguage->GetSelection()) {
    case 0:
        m_language = 1;
        ApplyLanguage();
        break;
    case 1:
        m_language = 0;
        ApplyLanguage();
        break;
    case 2:
        m_language = 2;
        ApplyLanguage();
        break;
    default: break;
    }
}

void CQELDlg::OnBnClickedChinese()
{
    m_language = 1;
    ApplyLanguage();
    UpdateData(FALSE);
}

void CQELDlg::OnBnClickedEnglish()
{
    m_language = 0;
    ApplyLanguage();
    UpdateData(FALSE);
}
