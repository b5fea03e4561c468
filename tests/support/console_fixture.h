// A working folder and a main dialog for the console's tests: the folder holds the files the
// program runs with, the dialog is created in it (not shown), and message boxes and the opener
// are recorded instead of shown.
#pragma once
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/QELDlg.h"
#include "core/message_box.h"
#include "core/opener.h"
#include "core/serial_ports.h"
#include "tests/support/recording_message_boxes.h"
#include "tests/support/recording_opener.h"
#include "tests/support/temp_dir.h"
#include "tools/sim/meter_sim.h"

class wxStaticBitmap;

// How the tests' messages show a report state: by its name.
inline void PrintTo(ReportState state, std::ostream* out)
{
    static const char* const names[] = {"Idle", "Due", "CreateDue", "Created", "FillDue"};
    const int value = static_cast<int>(state);
    *out << (value >= 0 && value < 5 ? names[value] : "ReportState(" + std::to_string(value) + ")");
}

namespace testing_support {

// The shipped language file with its "Item" line replaced (Item=<item>); bytes in GBK.
std::string ShippedLanguageFile(const std::string& item);

// Which of the four state icons (resources 130 port open, 131 port closed, 132 meter connected,
// 133 meter disconnected) an icon control shows, by its pixels; 0 when it shows none of them.
int StateIconShown(const wxStaticBitmap* control);

// Runs the UI's pending work (dispatcher calls, wx events) until done() holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);

struct ConsoleOptions {
    // Contents of language.ini; nullptr-like "\x01" (kNoFile) leaves the file out.
    std::string languageFile = ShippedLanguageFile("0");
    bool withTemplate = true;   // copies data/savemode.xlsx
    bool withOutputDir = true;  // makes savefile/
};
extern const std::string kNoFile;

class ConsoleHarness {
public:
    explicit ConsoleHarness(const ConsoleOptions& options = ConsoleOptions());
    ~ConsoleHarness();

    CQELDlg& Dlg() { return *m_dlg; }
    testing_support::RecordingMessageBoxes& Boxes() { return m_boxes; }
    testing_support::RecordingOpener& Opener() { return m_opener; }
    const TempDir& Folder() const { return m_dir; }

    // Feeds bytes to the reply parser as the serial link would.
    void Feed(const std::vector<unsigned char>& bytes);
    // Calls a handler as the application's event dispatch does (automation errors become boxes).
    void Call(const std::function<void()>& handler);
    // Selects the port at `path` in the port list (after a drop-down) and opens it.
    bool OpenPort(const std::string& path);
    // Clicks upload and waits until the meter's end of upload has started the report (the report
    // timer is then stopped, so a test steps the report itself). False when that did not come.
    bool UploadAndWait(int timeoutMs = 5000);
    std::vector<std::string> Texts() const;  // texts of the boxes shown so far

private:
    TempDir m_dir;
    TempDir m_lockDir;  // the ports' lock files
    std::string m_oldCwd;
    std::string m_oldLockFolder;
    testing_support::RecordingMessageBoxes m_boxes;
    testing_support::RecordingOpener m_opener;
    std::unique_ptr<CQELDlg> m_dlg;
};

// Tests of the console talking to the meter simulator over a pseudo-terminal. Connect starts a
// simulator, makes the main dialog in its working folder and opens the dialog's port on the
// simulator; a later Connect replaces both. The port scan's roots are put back after the test.
class MeterConsoleTest : public ::testing::Test {
protected:
    struct Link {
        meter_sim::MeterSimulator& sim;
        ConsoleHarness& h;
        bool opened;  // the port is open on the simulator
    };
    void SetUp() override;
    void TearDown() override;
    Link Connect(const meter_sim::Options& meter = meter_sim::Options(),
                 const ConsoleOptions& console = ConsoleOptions());
    // As Connect, but the console opens the meter by a link in its working folder (as
    // /dev/serial/by-id/... names a USB meter), MeterLink(). A test whose meter goes away for
    // good removes the link with the line: the pty's own path is soon another pty's, made by
    // this or by another test program running beside it.
    Link ConnectByLink(const meter_sim::Options& meter = meter_sim::Options(),
                       const ConsoleOptions& console = ConsoleOptions());
    const std::string& MeterLink() const { return m_link; }
    static ConsoleOptions Language(const std::string& item);

private:
    Link Start(const meter_sim::Options& meter, const ConsoleOptions& console, bool byLink);

    core::SerialPortRoots m_savedRoots;
    std::string m_link;
    std::unique_ptr<meter_sim::MeterSimulator> m_sim;
    std::unique_ptr<ConsoleHarness> m_harness;
};

}  // namespace testing_support
