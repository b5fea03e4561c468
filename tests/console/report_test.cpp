// The automatic report: the export button and the report timer build a report from the
// template; LibreOffice and openpyxl read it back.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <wx/gauge.h>

#include "console/QELApp.h"
#include "core/automation.h"
#include "resources/resource_ids.h"
#include "spreadsheet/server.h"
#include "spreadsheet/workbook.h"
#include "tests/support/console_fixture.h"
#include "tests/support/fake_dispatch.h"
#include "tests/support/meter_frames.h"
#include "tests/support/pty.h"
#include "tests/support/recording_opener.h"
#include "tests/support/test_support.h"
#include "tests/support/xlsx_readback.h"
#include "tools/sim/meter_sim.h"

using namespace testing_support;

namespace {

// Records what the window showed when the report was handed to the user.
class WatchingOpener : public testing_support::RecordingOpener {
public:
    std::function<void()> onOpen;
    bool Open(const std::string& path, std::string* why) override
    {
        if (onOpen) onOpen();
        return RecordingOpener::Open(path, why);
    }
};

class Report : public MeterConsoleTest {
protected:
    void TearDown() override
    {
        MeterConsoleTest::TearDown();
        spreadsheet::RegisterServer();
    }

    static void TypeHeader(CQELDlg& d)
    {
        d.SetDlgItemText(IDC_EDIT_COMPANY, "Fibre Works Ltd");
        d.SetDlgItemText(IDC_EDIT_MODEL, "OPM-3");
        d.SetDlgItemText(IDC_EDIT_SERIALNO, "SERIAL-SECRET-42");
        d.SetDlgItemText(IDC_EDIT_OPERATOR, "王工程师");
        d.SetDlgItemText(IDC_EDIT_NOTES, "span 3");
    }
    static void FeedRecords(ConsoleHarness& h, int n)
    {
        for (int i = 1; i <= n; ++i) {
            RecordSpec r;
            r.number = i;
            r.values[0] = -3.5f - i;
            r.values[1] = -20.0f - i;
            r.note = "note " + std::to_string(i);
            h.Feed(RecordReply(r));
        }
    }
    // The meter ends an upload with records, as after an upload click; the report timer's ticks
    // are then given by hand.
    static void EndUpload(ConsoleHarness& h)
    {
        h.Dlg().EnableDlgItem(IDC_UPLOAD, false);
        h.Feed(Reply(0x39, {1}));
        h.Dlg().KillTimer(IDT_REPORT);
    }
    // One tick of the report timer, given by hand while the timer runs; returns the bar's position.
    static int Tick(ConsoleHarness& h)
    {
        h.Dlg().SetTimer(IDT_REPORT, 1000);
        h.Call([&] { h.Dlg().OnTimer(IDT_REPORT); });
        return h.Dlg().m_progressPos;
    }
    static std::string OnlyReport(const ConsoleHarness& h)
    {
        auto files = ListFolder(h.Folder().File("savefile"));
        return files.size() == 1 ? h.Folder().File("savefile/" + files[0]) : std::string();
    }
};

TEST_F(Report, ExportWritesHeaderAndTwoRowsPerRecordReadBackByLibreOffice)
{
    ConsoleOptions o;
    o.languageFile = ShippedLanguageFile("0");  // English: the table still keeps dates and notes
    ConsoleHarness h(o);
    CQELDlg& d = h.Dlg();
    h.Feed(Reply(0x02, {4, 'O', 'P', 'M', '3'}));
    FeedRecords(h, 3);
    TypeHeader(d);
    d.EnableDlgItem(IDC_UPLOAD, false);
    h.Boxes().Clear();

    h.Call([&] { d.OnBnClickedExport(); });
    EXPECT_EQ(h.Boxes().Count(), 0u) << (h.Boxes().Count() ? h.Boxes().Last().text : "");
    const std::string path = OnlyReport(h);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path, d.m_strReportPath);
    EXPECT_EQ(d.m_strReportPath, d.m_strOutputDir + d.m_strReportName + ".xlsx");
    EXPECT_EQ(d.m_strReportName.size(), 14u);
    ASSERT_EQ(h.Opener().paths.size(), 1u);
    EXPECT_EQ(h.Opener().paths[0], path);
    EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD));
    EXPECT_EQ(d.m_progressPos, 100);
    EXPECT_EQ(d.m_reportState, ReportState::Idle);

    auto rows = ReadSheetWithLibreOffice(path);
    EXPECT_EQ(CsvField(rows, 2, 1), "王工程师");         // B3
    EXPECT_EQ(CsvField(rows, 3, 1), "OPM-3");            // B4
    EXPECT_EQ(CsvField(rows, 2, 5), "Fibre Works Ltd");  // F3
    EXPECT_EQ(CsvField(rows, 3, 5), "span 3");           // F4
    EXPECT_EQ(CsvField(rows, 4, 1), "OPM3");             // B5
    EXPECT_EQ(CsvField(rows, 4, 2), "note 1");           // C5
    for (int i = 0; i < 3; ++i) {
        const size_t r = 10 + 2 * static_cast<size_t>(i);
        EXPECT_EQ(CsvField(rows, r, 0), std::to_string(i + 1));
        EXPECT_EQ(CsvField(rows, r, 1), "1310nm");
        EXPECT_EQ(CsvField(rows, r + 1, 1), "1550nm");
        EXPECT_EQ(CsvField(rows, r + 1, 0), "");
        for (int col = 3; col <= 7; ++col) {
            const int pair = col - 3;
            EXPECT_EQ(CsvField(rows, r, static_cast<size_t>(col - 1)), d.m_listRecords->GetItemText(i, 1 + 2 * pair))
                << r << col;
            EXPECT_EQ(CsvField(rows, r + 1, static_cast<size_t>(col - 1)),
                      d.m_listRecords->GetItemText(i, 2 + 2 * pair));
        }
        EXPECT_EQ(CsvField(rows, r, 7), d.m_listRecords->GetItemText(i, 11));
        EXPECT_EQ(CsvField(rows, r, 8), d.m_listRecords->GetItemText(i, 12));
        EXPECT_EQ(CsvField(rows, r + 1, 7), "");
    }
    EXPECT_EQ(CsvField(rows, 16, 0), "");  // nothing below the last record
    for (const auto& row : rows) {
        for (const auto& field : row) EXPECT_EQ(field.find("SERIAL-SECRET"), std::string::npos);
    }

    // openpyxl: the running number is a number, the wavelength a text.
    std::string types =
        RunOpenpyxl("ws = wb.worksheets[0]\n"
                    "print(ws['A11'].data_type, ws['A11'].value, ws['B11'].data_type, ws['B12'].value)\n"
                    "print(any('SERIAL-SECRET' in str(c.value) for row in ws.iter_rows() for c in row))\n",
                    path);
    EXPECT_EQ(types, "n 1 s 1550nm\nFalse\n");
}

TEST_F(Report, AnEmptyTableGivesTheHeaderOnly)
{
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    TypeHeader(d);
    h.Call([&] { d.OnBnClickedExport(); });
    const std::string path = OnlyReport(h);
    ASSERT_FALSE(path.empty());
    auto rows = ReadSheetWithLibreOffice(path);
    EXPECT_EQ(CsvField(rows, 2, 1), "王工程师");
    EXPECT_EQ(CsvField(rows, 4, 2), "");
    EXPECT_EQ(CsvField(rows, 10, 0), "");
    EXPECT_EQ(CsvField(rows, 10, 1), "");
    EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD));
}

TEST_F(Report, TimerRoadFromTheSimulatorToTheOpenedReport)
{
    meter_sim::Options options;
    options.records = meter_sim::SampleRecords(3);
    auto [sim, h, opened] = Connect(options);
    ASSERT_TRUE(opened);
    CQELDlg& d = h.Dlg();
    WatchingOpener opener;
    int barAtOpen = -1;
    opener.onOpen = [&] { barAtOpen = d.m_progress->GetValue(); };
    ASSERT_TRUE(h.UploadAndWait());  // the ticks are given by hand below
    EXPECT_EQ(d.m_progress->GetValue(), 80);

    std::vector<int> bars;
    std::vector<ReportState> states;
    for (int tick = 0; tick < 3; ++tick) {
        h.Call([&] { d.OnTimer(IDT_REPORT); });
        bars.push_back(d.m_progress->GetValue());
        states.push_back(d.m_reportState);
    }
    EXPECT_EQ(bars, (std::vector<int>{85, 90, 100}));
    EXPECT_EQ(states, (std::vector<ReportState>{ReportState::CreateDue, ReportState::FillDue, ReportState::Idle}));
    EXPECT_EQ(barAtOpen, 95);
    ASSERT_EQ(opener.paths.size(), 1u);
    EXPECT_EQ(opener.paths[0], d.m_strReportPath);
    EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD));
    EXPECT_EQ(h.Boxes().Count(), 0u);
}

TEST_F(Report, TheRealTimerRunsTheReportWithinFourSeconds)
{
    meter_sim::Options options;
    options.records = meter_sim::SampleRecords(2);
    auto [sim, h, opened] = Connect(options);
    ASSERT_TRUE(opened);
    CQELDlg& d = h.Dlg();
    d.OnBnClickedUpload();
    ASSERT_TRUE(PumpUntil([&] { return d.IsDlgItemEnabled(IDC_UPLOAD); }, 10000));
    EXPECT_FALSE(d.IsTimerRunning(IDT_REPORT));
    EXPECT_EQ(h.Opener().paths.size(), 1u);
    EXPECT_FALSE(OnlyReport(h).empty());
}

// An upload that ends without a report is no dead end: the meter saying it has no records,
// a report step that fails, and the port closed while the meter has not answered each put the
// bar back to 0, stop the timer and enable UPLOAD DATA; the next upload then makes its report.
TEST_F(Report, NoRecordsThenRecordsGiveAReportAtTheSecondUpload)
{
    auto [sim, h, opened] = Connect();  // no records stored
    ASSERT_TRUE(opened);
    CQELDlg& d = h.Dlg();
    d.OnBnClickedUpload();
    ASSERT_TRUE(PumpUntil([&] { return h.Boxes().Count() >= 1; }));
    EXPECT_EQ(h.Boxes().Last().text, "没有记录!");
    EXPECT_EQ(d.m_progressPos, 0);
    EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD));
    EXPECT_FALSE(d.IsTimerRunning(IDT_REPORT));

    sim.SetRecords(meter_sim::SampleRecords(3));
    d.OnBnClickedUpload();
    ASSERT_TRUE(PumpUntil([&] { return d.IsDlgItemEnabled(IDC_UPLOAD); }, 10000));
    EXPECT_EQ(d.m_progressPos, 100);
    EXPECT_FALSE(OnlyReport(h).empty());
    EXPECT_EQ(h.Opener().paths.size(), 1u);
}

TEST_F(Report, AFailedReportStepEndsTheCycleAndTheNextUploadMakesTheReport)
{
    enum class Failure { NoTemplate, NoOutputFolder, OutputFolderIsAFile, ApplicationCannotStart };
    for (const Failure failure : {Failure::NoTemplate, Failure::NoOutputFolder, Failure::OutputFolderIsAFile,
                                  Failure::ApplicationCannotStart}) {
        SCOPED_TRACE(static_cast<int>(failure));
        spreadsheet::RegisterServer();
        ConsoleOptions o;
        o.withTemplate = failure != Failure::NoTemplate;
        o.withOutputDir = failure != Failure::NoOutputFolder;
        ConsoleHarness h(o);
        CQELDlg& d = h.Dlg();
        const std::string output = h.Folder().File("savefile");
        // (Permissions cannot make the folder unwritable here: the tests may run as root.)
        if (failure == Failure::OutputFolderIsAFile) {
            ::rmdir(output.c_str());
            WriteFile(output, "not a folder");
        }
        if (failure == Failure::ApplicationCannotStart) {
            core::RegisterClassObject("Excel.Application", [](core::IDispatch** out) {
                *out = nullptr;
                return core::CO_E_SERVER_EXEC_FAILURE;
            });
        }
        FeedRecords(h, 2);
        EndUpload(h);
        const int first = Tick(h);
        EXPECT_EQ(first, 85);
        EXPECT_EQ(Tick(h), 0);
        ASSERT_EQ(h.Boxes().Count(), 1u);
        if (failure == Failure::ApplicationCannotStart) {
            EXPECT_EQ(h.Boxes().Last().text, "无法创建Excel应用!");
        } else {
            EXPECT_EQ(h.Boxes().Last().caption, CQELApp::AppTitle());
            EXPECT_EQ(h.Boxes().Last().style & MB_ICONMASK, MB_ICONSTOP);
            const char* named = failure == Failure::NoTemplate ? "savemode.xlsx" : "savefile";
            EXPECT_NE(h.Boxes().Last().text.find(named), std::string::npos) << h.Boxes().Last().text;
        }
        EXPECT_EQ(d.m_reportState, ReportState::Idle);
        EXPECT_FALSE(d.IsTimerRunning(IDT_REPORT));
        EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD));
        EXPECT_TRUE(h.Opener().paths.empty());

        // Put right, the next upload's cycle makes the report.
        spreadsheet::RegisterServer();
        if (failure == Failure::NoTemplate)
            WriteFile(h.Folder().File("savemode.xlsx"), ReadFile(std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx"));
        if (failure == Failure::NoOutputFolder) ::mkdir(output.c_str(), 0755);
        if (failure == Failure::OutputFolderIsAFile) {
            ::unlink(output.c_str());
            ::mkdir(output.c_str(), 0755);
        }
        EndUpload(h);
        for (int tick = 0; tick < 3; ++tick) Tick(h);
        EXPECT_EQ(h.Boxes().Count(), 1u);
        EXPECT_EQ(d.m_progressPos, 100);
        EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD));
        EXPECT_EQ(h.Opener().paths.size(), 1u);
        EXPECT_FALSE(OnlyReport(h).empty());
    }
}

// The fill step that cannot start the application ends the cycle at 0, not at 100: the bar
// reaches 100 only with a saved report.
TEST_F(Report, AFillStepThatCannotStartEndsTheCycleAtZero)
{
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    FeedRecords(h, 1);
    EndUpload(h);
    for (int tick = 0; tick < 2; ++tick) Tick(h);
    ASSERT_EQ(d.m_reportState, ReportState::FillDue);
    core::RegisterClassObject("Excel.Application", [](core::IDispatch** out) {
        *out = nullptr;
        return core::CO_E_SERVER_EXEC_FAILURE;
    });
    Tick(h);
    ASSERT_EQ(h.Boxes().Count(), 1u);
    EXPECT_EQ(h.Boxes().Last().caption, "Varo");
    EXPECT_EQ(d.m_progressPos, 0);
    EXPECT_FALSE(d.IsTimerRunning(IDT_REPORT));
    EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD));
}

// A report that nothing opens is no success either: the box names the saved report's full path,
// so the technician can open it by hand, and the cycle ends as for any saved report.
TEST_F(Report, AReportNothingOpensIsNamedInTheBoxAndTheCycleEnds)
{
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    h.Opener().result = false;
    h.Opener().reason = "no application is registered for files of the type "
                        "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
    FeedRecords(h, 2);
    EndUpload(h);
    for (int tick = 0; tick < 3; ++tick) Tick(h);
    const std::string report = OnlyReport(h);
    ASSERT_FALSE(report.empty());
    ASSERT_EQ(h.Boxes().Count(), 1u);
    const auto& box = h.Boxes().Last();
    EXPECT_EQ(box.caption, CQELApp::AppTitle());
    EXPECT_EQ(box.style & MB_ICONMASK, MB_ICONSTOP);
    EXPECT_EQ(box.text, "The workbook was saved as \"" + report +
                            "\", but no application could open it: " + h.Opener().reason + ". Open the file by hand.");
    EXPECT_EQ(report.front(), '/');
    EXPECT_EQ(d.m_progressPos, 100);
    EXPECT_FALSE(d.IsTimerRunning(IDT_REPORT));
    EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD));
    const auto book = spreadsheet::Workbook::Load(report);
    EXPECT_EQ(book->SheetAt(0)->CellText(13, 1), "2");
}

// Two reports made in the same second: the second never replaces the first. It takes the next
// free name, its box names the file it went to, and each file keeps its own records.
std::time_t OneSecond() { return 1796989628; }

TEST_F(Report, TwoReportsOfOneSecondEachKeepTheirOwnFile)
{
    CQELDlg::SetReportClock(OneSecond);
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    h.Opener().result = false;
    h.Opener().reason = "no application";
    const std::string stamp = d.MakeReportName();
    std::vector<std::string> boxes, paths;
    for (const int records : {3, 5}) {
        d.m_listRecords->DeleteAllItems();
        FeedRecords(h, records);
        h.Boxes().Clear();
        h.Call([&] { d.OnBnClickedExport(); });
        ASSERT_EQ(h.Boxes().Count(), 1u);
        boxes.push_back(h.Boxes().Last().text);
        paths.push_back(d.m_strReportPath);
        EXPECT_EQ(d.m_strReportPath, d.m_strOutputDir + d.m_strReportName + ".xlsx");
    }
    CQELDlg::SetReportClock(nullptr);

    EXPECT_EQ(paths[0], d.m_strOutputDir + stamp + ".xlsx");
    EXPECT_EQ(paths[1], d.m_strOutputDir + stamp + "-2.xlsx");
    EXPECT_EQ(ListFolder(h.Folder().File("savefile")), (std::vector<std::string>{stamp + "-2.xlsx", stamp + ".xlsx"}));
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_NE(boxes[i].find("\"" + paths[i] + "\""), std::string::npos) << boxes[i];
        const int records = i == 0 ? 3 : 5;
        const auto book = spreadsheet::Workbook::Load(paths[i]);
        // Column A numbers the records from row 11 on, two rows each.
        EXPECT_EQ(book->SheetAt(0)->CellText(11 + 2 * (records - 1), 1), std::to_string(records)) << paths[i];
        EXPECT_EQ(book->SheetAt(0)->CellText(11 + 2 * records, 1), "") << paths[i];
    }
}

// A meter that never answers the upload, or one unplugged in the middle of it: closing the port,
// by CLOSE COM or by dropping the port list down, ends the upload.
TEST_F(Report, ClosingThePortEndsAnUploadThatWaitsForTheMeter)
{
    for (const bool byDropDown : {false, true}) {
        SCOPED_TRACE(byDropDown);
        PtyPair silent;  // a line on which nobody answers
        ASSERT_TRUE(silent.Ok());
        ConsoleHarness h;
        CQELDlg& d = h.Dlg();
        ASSERT_TRUE(h.OpenPort(silent.SlavePath()));
        h.Call([&] { d.OnBnClickedUpload(); });
        ASSERT_FALSE(d.IsDlgItemEnabled(IDC_UPLOAD));
        h.Feed(RecordReply(RecordSpec{}));  // one record came before the line went quiet
        EXPECT_EQ(d.m_progressPos, 1);
        h.Call([&] {
            if (byDropDown) {
                d.OnCbnDropdownComPort();
            } else {
                d.OnBnClickedOpenCom();
            }
        });
        EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD));
        EXPECT_EQ(d.m_progressPos, 0);
        EXPECT_FALSE(d.m_portOpened);
        EXPECT_EQ(d.m_listRecords->GetItemCount(), 1);  // what came stays in the table
        EXPECT_EQ(h.Boxes().Count(), 0u);
    }
}

TEST_F(Report, AMissingOutputFolderRewritesTheTemplateAndFailsAtTheCopy)
{
    ConsoleOptions o;
    o.withOutputDir = false;
    ConsoleHarness h(o);
    CQELDlg& d = h.Dlg();
    const std::string before = ReadFile(d.m_strTemplatePath);
    h.Call([&] { d.OnBnClickedExport(); });
    ASSERT_EQ(h.Boxes().Count(), 1u);  // the fill step is skipped with the rest of the handler
    EXPECT_EQ(h.Boxes().Last().style & MB_ICONMASK, MB_ICONSTOP);
    EXPECT_NE(h.Boxes().Last().text.find("savefile"), std::string::npos) << h.Boxes().Last().text;
    EXPECT_FALSE(FileExists(d.m_strReportPath));
    EXPECT_EQ(d.m_strReportPath.rfind(d.m_strOutputDir, 0), 0u);
    EXPECT_NE(ReadFile(d.m_strTemplatePath), before);     // saved in place, with the selection
    EXPECT_EQ(ListFolder(h.Folder().Path()).size(), 2u);  // language.ini and savemode.xlsx, no stray file
}

TEST_F(Report, WithoutTheSpreadsheetApplicationEachStepSaysSoUnderVaro)
{
    core::RegisterClassObject("Excel.Application", [](core::IDispatch** out) {
        *out = nullptr;
        return core::CO_E_SERVER_EXEC_FAILURE;
    });
    ConsoleHarness h;
    h.Call([&] { h.Dlg().OnBnClickedExport(); });
    ASSERT_EQ(h.Boxes().Count(), 2u);
    for (const auto& box : h.Boxes().Boxes()) {
        EXPECT_EQ(box.text, "无法创建Excel应用!");
        EXPECT_EQ(box.caption, "Varo");
        EXPECT_EQ(box.style & MB_ICONMASK, 0u);
    }
    EXPECT_TRUE(ListFolder(h.Folder().File("savefile")).empty());
}

TEST_F(Report, AFailedCreateStepNeverLetsTheFillRewriteAnEarlierReport)
{
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    FeedRecords(h, 1);
    h.Call([&] { d.OnBnClickedExport(); });
    const std::string first = OnlyReport(h);
    ASSERT_FALSE(first.empty());
    const std::string firstBytes = ReadFile(first);

    // The next create step cannot start the application; the fill step then must not reopen
    // and rewrite the first report, even though the application is back by then.
    int calls = 0;
    core::RegisterClassObject("Excel.Application", [&calls](core::IDispatch** out) {
        if (calls++ == 0) {
            *out = nullptr;
            return core::CO_E_SERVER_EXEC_FAILURE;
        }
        spreadsheet::RegisterServer();
        return core::CreateInstance("Excel.Application", out);
    });
    FeedRecords(h, 2);
    h.Opener().paths.clear();
    h.Call([&] { d.OnBnClickedExport(); });
    EXPECT_EQ(ReadFile(first), firstBytes);
    EXPECT_TRUE(h.Opener().paths.empty());
}

// An export whose create step does not finish, pressed between the timer's create step and its
// fill step, leaves the report the timer made unfilled: the cycle still ends with that report
// filled once (by the export's fill step or by the timer's next tick), and no earlier report
// is touched.
TEST_F(Report, AnExportFailingBetweenTheTimersStepsStillEndsTheCycle)
{
    enum class Failure { CreateCannotStart, NeitherStepCanStart, CreateHitsALockedTemplate };
    for (const Failure failure :
         {Failure::CreateCannotStart, Failure::NeitherStepCanStart, Failure::CreateHitsALockedTemplate}) {
        SCOPED_TRACE(static_cast<int>(failure));
        spreadsheet::RegisterServer();
        ConsoleHarness h;
        CQELDlg& d = h.Dlg();
        TypeHeader(d);
        FeedRecords(h, 2);
        d.EnableDlgItem(IDC_UPLOAD, false);
        h.Feed(Reply(0x39, {1}));
        d.KillTimer(IDT_REPORT);  // ticks by hand
        h.Call([&] { d.OnTimer(IDT_REPORT); });
        h.Call([&] { d.OnTimer(IDT_REPORT); });
        ASSERT_EQ(d.m_reportState, ReportState::FillDue);
        const std::string report = OnlyReport(h);
        ASSERT_FALSE(report.empty());

        const std::string lock = h.Folder().File(".~lock.savemode.xlsx#");
        auto failing = std::make_shared<int>(failure == Failure::NeitherStepCanStart ? 2 : 1);
        if (failure == Failure::CreateHitsALockedTemplate) {
            WriteFile(lock, "someone,host,/home/someone,10.12.2026 09:00,\n");
        } else {
            core::RegisterClassObject("Excel.Application", [failing](core::IDispatch** out) {
                if ((*failing)-- > 0) {
                    *out = nullptr;
                    return core::CO_E_SERVER_EXEC_FAILURE;
                }
                spreadsheet::RegisterServer();
                return core::CreateInstance("Excel.Application", out);
            });
        }
        h.Call([&] { d.OnBnClickedExport(); });
        ::unlink(lock.c_str());
        for (int tick = 0; tick < 2; ++tick) h.Call([&] { d.OnTimer(IDT_REPORT); });

        EXPECT_EQ(h.Boxes().Count(), failure == Failure::NeitherStepCanStart ? 2u : 1u);
        EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD));
        EXPECT_EQ(d.m_reportState, ReportState::Idle);
        EXPECT_EQ(d.m_progressPos, 100);
        ASSERT_EQ(h.Opener().paths.size(), 1u);
        EXPECT_EQ(h.Opener().paths[0], report);
        const auto book = spreadsheet::Workbook::Load(report);
        EXPECT_EQ(book->SheetAt(0)->CellText(3, 2), "王工程师");
        EXPECT_EQ(book->SheetAt(0)->CellText(13, 1), "2");
    }
}

// An export pressed between the timer's steps whose create step makes a file but whose fill step
// cannot start leaves that file made and unfilled: the timer's next two ticks fill it and end the
// cycle, as after the timer's own create step.
TEST_F(Report, AnExportWhoseFillCannotStartLeavesItsFileToTheTimersFill)
{
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    TypeHeader(d);
    FeedRecords(h, 2);
    EndUpload(h);
    for (int tick = 0; tick < 2; ++tick) Tick(h);
    ASSERT_EQ(d.m_reportState, ReportState::FillDue);

    int creations = 0;
    core::RegisterClassObject("Excel.Application", [&creations](core::IDispatch** out) {
        if (creations++ == 1) {  // the export's fill step
            *out = nullptr;
            return core::CO_E_SERVER_EXEC_FAILURE;
        }
        *out = spreadsheet::CreateApplication();
        return core::S_OK;
    });
    h.Call([&] { d.OnBnClickedExport(); });
    ASSERT_EQ(h.Boxes().Count(), 1u);
    EXPECT_EQ(h.Boxes().Last().text, "无法创建Excel应用!");
    EXPECT_EQ(d.m_reportState, ReportState::Created);
    EXPECT_FALSE(d.IsDlgItemEnabled(IDC_UPLOAD));
    EXPECT_TRUE(h.Opener().paths.empty());

    EXPECT_EQ(Tick(h), 95);
    EXPECT_EQ(d.m_reportState, ReportState::FillDue);
    EXPECT_EQ(Tick(h), 100);
    EXPECT_EQ(d.m_reportState, ReportState::Idle);
    EXPECT_FALSE(d.IsTimerRunning(IDT_REPORT));
    EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD));
    EXPECT_EQ(h.Boxes().Count(), 1u);
    ASSERT_EQ(h.Opener().paths.size(), 1u);
    EXPECT_EQ(h.Opener().paths[0], d.m_strReportPath);
    const auto book = spreadsheet::Workbook::Load(d.m_strReportPath);
    EXPECT_EQ(book->SheetAt(0)->CellText(3, 2), "王工程师");
    EXPECT_EQ(book->SheetAt(0)->CellText(13, 1), "2");
}

// The report steps' own calls, through a recording server: each member with its object, id,
// kind and arguments, with the argument types the application is given (the selection of the
// create step, the sheet index as a 16-bit number, the record position as a 32-bit number),
// and every reference released when the steps end.
TEST_F(Report, TheStepsMakeTheirCallsWithTheirArgumentTypes)
{
    fake::Server server;
    server.answer.object = true;
    core::RegisterClassObject("Excel.Application", [&server](core::IDispatch** out) {
        *out = server.NewObject("app");
        return core::S_OK;
    });
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    FeedRecords(h, 1);
    h.Call([&] { d.OnBnClickedExport(); });
    ASSERT_EQ(h.Boxes().Count(), 0u);

    using core::VARIANT;
    const std::string books = "app.result", book = books + ".result", sheets = book + ".result",
                      sheet = sheets + ".result", range = sheet + ".result";
    constexpr core::WORD G = core::DISPATCH_PROPERTYGET, P = core::DISPATCH_PROPERTYPUT, M = core::DISPATCH_METHOD;
    const VARIANT missing = VARIANT::Missing();
    auto open = [&](const std::string& file) {
        core::DISPPARAMS args{VARIANT::Bstr(file)};
        args.resize(15, missing);
        return args;
    };
    struct Expected {
        std::string object;
        core::DISPID id;
        core::WORD flags;
        core::DISPPARAMS args;
    };
    std::vector<Expected> expected = {
        // the create step
        {"app", 0x23C, G, {}},
        {books, 0x783, M, open(d.m_strTemplatePath)},
        {book, 0x1EE, G, {}},
        {sheets, 0xAA, G, {VARIANT::I2(1)}},
        {sheet, 0xC5, G, {VARIANT::Bstr("A1"), VARIANT::Bstr("L150000")}},
        {range, 0xEB, M, {}},
        {book, 0x11B, M, {}},
        {book, 0xAF, M, {VARIANT::Bstr(d.m_strReportPath)}},
        {book, 0x115, M, {missing, VARIANT::Bstr(d.m_strTemplatePath), missing}},
        {"app", 0x22E, P, {VARIANT::Bool(false)}},
        {books, 0x115, M, {}},
        {"app", 0x12E, M, {}},
        // the fill step
        {"app", 0x23C, G, {}},
        {books, 0x783, M, open(d.m_strReportPath)},
        {book, 0x1EE, G, {}},
        {sheets, 0xAA, G, {VARIANT::I2(1)}},
        {sheet, 0xC5, G, {VARIANT::Bstr("A1"), VARIANT::Bstr("L150000")}},
    };
    auto cell = [&](int row, int column, VARIANT value) {
        expected.push_back({range, 0xAA, P, {VARIANT::I4(row), VARIANT::I4(column), std::move(value)}});
    };
    auto text = [&](int subitem) { return VARIANT::Bstr(d.m_listRecords->GetItemText(0, subitem)); };
    cell(3, 2, VARIANT::Bstr(d.m_strOperator));
    cell(4, 2, VARIANT::Bstr(d.m_strModel));
    cell(3, 6, VARIANT::Bstr(d.m_strCompany));
    cell(4, 6, VARIANT::Bstr(d.m_strNotes));
    cell(5, 2, VARIANT::Bstr(d.m_strMeterId));
    cell(5, 3, text(13));
    cell(11, 1, VARIANT::I4(1));
    cell(11, 2, VARIANT::Bstr("1310nm"));
    cell(12, 2, VARIANT::Bstr("1550nm"));
    for (int column = 3; column <= 7; ++column) {
        cell(11, column, text(1 + 2 * (column - 3)));
        cell(12, column, text(2 + 2 * (column - 3)));
    }
    cell(11, 8, text(11));
    cell(11, 9, text(12));
    expected.push_back({book, 0x11B, M, {}});
    expected.push_back({"app", 0x22E, P, {VARIANT::Bool(true)}});

    // Each step starts an application of its own, so the fill step's objects have the names
    // of the create step's.
    ASSERT_EQ(server.calls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("call " + std::to_string(i));
        const fake::Call& call = server.calls[i];
        EXPECT_EQ(call.object, expected[i].object);
        EXPECT_EQ(call.id, expected[i].id);
        EXPECT_EQ(call.flags, expected[i].flags);
        ASSERT_EQ(call.args.size(), expected[i].args.size());
        for (std::size_t a = 0; a < call.args.size(); ++a)
            EXPECT_TRUE(fake::SameVariant(expected[i].args[a], call.args[a])) << "argument " << a;
    }
    EXPECT_EQ(
        std::count_if(server.objects.begin(), server.objects.end(), [](const auto& o) { return o->name == "app"; }), 2);
    server.ExpectBalanced();
}

TEST_F(Report, ALockedTemplateIsReportedAndNothingIsWritten)
{
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    WriteFile(h.Folder().File(".~lock.savemode.xlsx#"), "someone,host,/home/someone,10.12.2026 09:00,\n");
    const std::string before = ReadFile(d.m_strTemplatePath);
    h.Call([&] { d.OnBnClickedExport(); });
    ASSERT_EQ(h.Boxes().Count(), 1u);
    EXPECT_EQ(h.Boxes().Last().style & MB_ICONMASK, MB_ICONSTOP);
    EXPECT_EQ(ReadFile(d.m_strTemplatePath), before);
    EXPECT_TRUE(ListFolder(h.Folder().File("savefile")).empty());
}

}  // namespace
