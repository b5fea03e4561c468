// The automatic report: the create step copies the template to a time-stamped report file, the
// fill step writes the report header and two rows per record into it and hands it to the user.
// The cycle they belong to is settled by their caller (QELDlg_upload.cpp).
#include <ctime>

#include "console/QELDlg.h"
#include "core/automation.h"
#include "report/excel.h"
#include "resources/resource_ids.h"

using core::VARIANT;

namespace {

const char kCaption[] = "Varo";

// A record's two rows in the report: r for 1310 nm, r + 1 for 1550 nm, from row 11 on.
constexpr int kFirstRecordRow = 11;
constexpr int kNumberColumn = 1;      // A: the record's place in the table (1, 2, ...), row r
constexpr int kWavelengthColumn = 2;  // B: "1310nm" and "1550nm"
constexpr int kNotWritten = 0;
// Columns C to I: the subitems of the records table written in row r and in row r + 1. C: the
// power; D and E: the two readings; F and G: values 5 to 8; H: value 9; I: the date.
constexpr struct {
    int column;
    int at1310;
    int at1550;
} kRecordColumns[] = {
    {3, record_subitem::POWER_1310, record_subitem::POWER_1550},
    {4, record_subitem::FIRST_READING_1310, record_subitem::FIRST_READING_1550},
    {5, record_subitem::SECOND_READING_1310, record_subitem::SECOND_READING_1550},
    {6, record_subitem::VALUE_5, record_subitem::VALUE_6},
    {7, record_subitem::VALUE_7, record_subitem::VALUE_8},
    {8, record_subitem::VALUE_9, kNotWritten},
    {9, record_subitem::DATE, kNotWritten},
};

// A workbook opened in the spreadsheet application, and the cells of its first sheet that the
// report steps work on.
struct ReportBook {
    ReportBook(_Application& app, const std::string& path)
        : books(app.get_Workbooks()),
          book(books.Open(path, missing, missing, missing, missing, missing, missing, missing, missing, missing,
                          missing, missing, missing, missing, missing)),
          sheets(book.get_Worksheets()), sheet(sheets.get_Item(VARIANT::I2(1))),
          range(sheet.get_Range(VARIANT::Bstr("A1"), VARIANT::Bstr("L150000")))
    {}

    const VARIANT missing = VARIANT::Missing();
    Workbooks books;
    _Workbook book;
    Worksheets sheets;
    _Worksheet sheet;
    Range range;
};

std::time_t (*g_reportClock)() = nullptr;

}  // namespace

void CQELDlg::SetReportClock(std::time_t (*clock)()) { g_reportClock = clock; }

std::string CQELDlg::MakeReportName()
{
    std::time_t now = g_reportClock != nullptr ? g_reportClock() : std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Format("%04d%02d%02d%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec);
}

bool CQELDlg::StartReportStep(_Application& app)
{
    UpdateData(TRUE);
    if (core::CoInitialize(nullptr) == core::E_INVALIDARG) {
        MessageBox("初始化EXCEL失败!!", kCaption, MB_OK);
    }
    if (!app.CreateDispatch(kApplicationProgId)) {
        MessageBox("无法创建Excel应用!", kCaption, MB_OK);
        return false;
    }
    return true;
}

bool CQELDlg::CreateReportFile()
{
    _Application app;
    if (!StartReportStep(app)) return false;
    ReportBook report(app, m_strTemplatePath);
    report.range.Select();

    m_strReportName = MakeReportName();
    m_strReportPath = m_strOutputDir + m_strReportName + ".xlsx";

    report.book.Save();
    // The report is a new file: where another report already has the name (one made in the same
    // second, by this or another copy of the program), the copy takes the next free name
    // ("...-2.xlsx"), and the name and path follow the file actually written.
    const VARIANT saved = report.book.SaveCopyAs(VARIANT::Bstr(m_strReportPath));
    if (saved.vt == core::VT_BSTR && !saved.bstrVal.empty() && saved.bstrVal != m_strReportPath) {
        m_strReportPath = saved.bstrVal;
        const std::string file = m_strReportPath.substr(m_strReportPath.rfind('/') + 1);
        m_strReportName = file.substr(0, file.rfind(".xlsx"));
    }
    report.book.Close(report.missing, VARIANT::Bstr(m_strTemplatePath), report.missing);
    app.put_Visible(false);
    report.books.Close();
    app.Quit();

    m_unfilledReport = m_strReportPath;
    return true;
}

void CQELDlg::FillReport()
{
    _Application app;
    if (!StartReportStep(app)) return;
    // Only a report that a create step made and no fill step has saved yet is filled: an
    // earlier report is never rewritten. When a later create step did not run to its end, the
    // report path may name a file it did not make; the unfilled report is still the one to fill.
    if (m_unfilledReport.empty()) return;
    ReportBook report(app, m_unfilledReport);

    const int n = m_listRecords != nullptr ? m_listRecords->GetItemCount() : 0;
    auto cell = [&](int row, int column, const VARIANT& value) {
        report.range.put_Item(VARIANT::I4(row), VARIANT::I4(column), value);
    };
    auto text = [&](int row, int subitem) {
        return VARIANT::Bstr(m_listRecords != nullptr ? m_listRecords->GetItemText(row, subitem) : std::string());
    };

    cell(3, 2, VARIANT::Bstr(m_strOperator));
    cell(4, 2, VARIANT::Bstr(m_strModel));
    cell(3, 6, VARIANT::Bstr(m_strCompany));
    cell(4, 6, VARIANT::Bstr(m_strNotes));
    cell(5, 2, VARIANT::Bstr(m_strMeterId));
    cell(5, 3, text(0, record_subitem::NOTE));

    for (int i = 0; i < n; ++i) {
        const int r = kFirstRecordRow + 2 * i;
        cell(r, kNumberColumn, VARIANT::I4(i + 1));
        cell(r, kWavelengthColumn, VARIANT::Bstr("1310nm"));
        cell(r + 1, kWavelengthColumn, VARIANT::Bstr("1550nm"));
        for (const auto& c : kRecordColumns) {
            cell(r, c.column, text(i, c.at1310));
            if (c.at1550 != kNotWritten) cell(r + 1, c.column, text(i, c.at1550));
        }
    }

    report.book.Save();
    m_unfilledReport.clear();
    m_reportSaved = true;
    app.put_Visible(true);
}
