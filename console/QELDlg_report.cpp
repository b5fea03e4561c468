// The automatic report: the create step copies the template to a time-stamped report file, the
// fill step writes the report header and two rows per record into it and hands it to the user.
#include <ctime>

#include "console/QELDlg.h"
#include "core/automation.h"
#include "report/excel.h"
#include "resources/resource_ids.h"

using platform::VARIANT;

namespace {

const char kCaption[] = "Varo";

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

}  // namespace

std::string CQELDlg::MakeReportName()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Format("%04d%02d%02d%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec);
}

bool CQELDlg::StartReportStep(_Application& app)
{
    UpdateData(TRUE);
    if (platform::CoInitialize(nullptr) == platform::E_INVALIDARG) {
        MessageBox("初始化EXCEL失败!!", kCaption, MB_OK);
    }
    if (!app.CreateDispatch(kApplicationProgId)) {
        MessageBox("无法创建Excel应用!", kCaption, MB_OK);
        return false;
    }
    return true;
}

void CQELDlg::CreateReportFile()
{
    _Application app;
    if (!StartReportStep(app)) return;
    ReportBook report(app, m_strTemplatePath);
    report.range.Select();

    m_strReportName = MakeReportName();
    m_strReportPath = m_strOutputDir + m_strReportName + ".xlsx";

    report.book.Save();
    report.book.SaveCopyAs(VARIANT::Bstr(m_strReportPath));
    report.book.Close(report.missing, VARIANT::Bstr(m_strTemplatePath), report.missing);
    app.put_Visible(false);
    report.books.Close();
    app.Quit();

    m_unfilledReport = m_strReportPath;
    m_reportState = 3;
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
    cell(5, 3, text(0, 13));

    for (int i = 0; i < n; ++i) {
        const int r = 11 + 2 * i;
        cell(r, 1, VARIANT::I4(i + 1));
        cell(r, 2, VARIANT::Bstr("1310nm"));
        cell(r + 1, 2, VARIANT::Bstr("1550nm"));
        for (int column = 3; column <= 7; ++column) {
            const int pair = column - 3;  // C: subitems 1/2, D: 3/4, ... G: 9/10
            cell(r, column, text(i, 1 + 2 * pair));
            cell(r + 1, column, text(i, 2 + 2 * pair));
        }
        cell(r, 8, text(i, 11));
        cell(r, 9, text(i, 12));
    }

    report.book.Save();
    m_unfilledReport.clear();
    m_reportSaved = true;
    app.put_Visible(true);

    EndReportCycle();
}
