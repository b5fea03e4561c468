// The demo: the console in a working folder of its own with a simulated meter in its port list.
//
//   qel-demo [--port PATH] [--records N] [--workdir DIR] [--auto | --auto-until STEP]
//
// The working folder gets language.ini, savemode.xlsx and savefile/. The simulator (or the device
// given with --port) is listed first in the port list. A --port device the console cannot use (a
// path longer than its port table holds, missing, no terminal) is refused before anything starts,
// with exit status 2, as are unknown arguments. The rest of the list is the machine's ports, or
// those of the folders that QEL_DEMO_TTY_CLASS (for /sys/class/tty) and QEL_DEMO_DEV (for /dev)
// name; the ports' lock files go to /run/lock, or to the folder QEL_DEMO_LOCK_DIR names (a test's
// own, which leaves the machine's alone). QEL_DEMO_REPORT_TIME (seconds since 1970) is the time
// its reports are named by, for runs that make their reports in one and the same second. With
// --auto the demo walks the main road on
// the shown window with the mouse and keyboard events a person's hands send (through the display
// server): it drops the port list down and clicks the meter's entry, clicks OPEN COM and CONNECT,
// clicks OK in the box that answers, types a report header, clicks UPLOAD DATA, waits for the
// report, clicks EXIT and prints the report's full path on its last line. A step that fails (what
// it waits for does not come, or a message box comes instead of the report) ends the run with its
// message and exit status 1. With --auto-until the run walks the road only until the step named
// STEP (one of the road's steps, "click CONNECT" for example) is ready, prints "[hold] STEP" and
// waits without acting it; the program then ends as a person or a signal ends it. Unknown steps
// are refused before the window opens, with exit status 2.
//
// A termination signal (SIGTERM, SIGHUP, SIGINT) ends the demo as EXIT ends the console; it
// prints "ended by signal N" and its exit status is 0.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include <wx/app.h>
#include <wx/odcombo.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/vlbox.h>

#include "console/QELApp.h"
#include "console/QELDlg.h"
#include "console/program_end.h"
#include "core/message_box.h"
#include "core/opener.h"
#include "core/serial_ports.h"
#include "resources/resource_ids.h"
#include "serial/SerialPort.h"
#include "tests/support/real_input.h"
#include "tools/sim/meter_sim.h"

namespace {

struct DemoOptions {
    std::string port;
    std::string workdir;
    int records = 12;
    bool automatic = false;
    std::string until;  // the step the automatic run stops before; "" for the whole road
};

// Read from the command line before the application starts.
DemoOptions g_options;
// The time the reports are named by, where QEL_DEMO_REPORT_TIME sets one.
std::time_t g_reportTime = 0;
// The step of --auto-until is none of the road's: the demo ends with exit status 2.
bool g_unknownStep = false;

// The longest device path the console's port table holds.
constexpr std::size_t kPortPathChars = sizeof(CQELDlg::m_portNames[0]) - 1;

// Why the console cannot use the device at path as the meter's port; "" when it can.
std::string PortProblem(const std::string& path)
{
    if (path.size() > kPortPathChars) {
        return "the path has " + std::to_string(path.size()) + " characters, the console's port table holds at most " +
               std::to_string(kPortPathChars);
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT ? std::string("it does not exist") : std::string(std::strerror(errno));
    }
    if (!S_ISCHR(st.st_mode)) return "it is not a terminal device";
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::string("it cannot be opened: ") + std::strerror(errno);
    const bool terminal = ::isatty(fd) != 0;
    ::close(fd);
    return terminal ? std::string() : std::string("it is not a terminal device");
}

// Reads the arguments into g_options; false (with the reason told) when the demo cannot run.
bool ReadArguments(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--auto") {
            g_options.automatic = true;
        } else if (a == "--auto-until" && hasValue) {
            g_options.automatic = true;
            g_options.until = argv[++i];
        } else if (a == "--port" && hasValue) {
            g_options.port = argv[++i];
        } else if (a == "--records" && hasValue) {
            g_options.records = std::atoi(argv[++i]);
        } else if (a == "--workdir" && hasValue) {
            g_options.workdir = argv[++i];
        } else {
            std::cerr << "usage: qel-demo [--port PATH] [--records N] [--workdir DIR] [--auto | --auto-until STEP]\n";
            return false;
        }
    }
    if (!g_options.port.empty()) {
        const std::string problem = PortProblem(g_options.port);
        if (!problem.empty()) {
            std::cerr << "qel-demo: cannot use the port \"" << g_options.port << "\": " << problem << "\n";
            return false;
        }
    }
    return true;
}

bool CopyFile(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    if (!in) return false;
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    return static_cast<bool>(out);
}

// The automatic run has no desktop to hand the report to: it names it instead.
class PrintingOpener : public core::IOpener {
public:
    bool Open(const std::string& path, std::string*) override
    {
        std::cout << "[open] " << path << std::endl;
        opened = path;
        return true;
    }
    std::string opened;
};

class DemoApp : public CQELApp {
public:
    bool OnInit() override;
    int OnRun() override;

private:
    bool Prepare();
    // Plans the road (up to the step of --auto-until); false when that step is none of it.
    bool PlanRoad();
    CQELDlg* Dlg() const { return dynamic_cast<CQELDlg*>(GetTopWindow()); }
    wxWindow* Item(int id) const { return Dlg() != nullptr ? Dlg()->FindWindow(id) : nullptr; }
    void Fail(const std::string& why);

    DemoOptions m_options;
    std::unique_ptr<meter_sim::MeterSimulator> m_sim;
    PrintingOpener m_opener;
    testing_support::InputRoad m_road;
    std::string m_reportPath;
    bool m_failed = false;
};

bool DemoApp::OnInit()
{
    if (!CQELApp::OnInit()) return false;
    m_options = g_options;
    return Prepare();
}

bool DemoApp::Prepare()
{
    std::string dir = m_options.workdir;
    if (dir.empty()) {
        std::string tmpl = "/tmp/qel-demo-XXXXXX";
        if (mkdtemp(tmpl.data()) == nullptr) {
            std::cerr << "qel-demo: cannot make a working folder\n";
            return false;
        }
        dir = tmpl;
    } else {
        mkdir(dir.c_str(), 0755);
    }
    const std::string data = QEL_DATA_DIR;
    if (!CopyFile(data + "/language.ini", dir + "/language.ini") ||
        !CopyFile(data + "/savemode.xlsx", dir + "/savemode.xlsx")) {
        std::cerr << "qel-demo: cannot copy the files of " << data << " to " << dir << "\n";
        return false;
    }
    mkdir((dir + "/savefile").c_str(), 0755);
    if (chdir(dir.c_str()) != 0) return false;
    std::cout << "working folder: " << dir << std::endl;

    std::string port = m_options.port;
    if (port.empty()) {
        meter_sim::Options sim;
        sim.records = meter_sim::SampleRecords(m_options.records);
        sim.pace = true;  // the meter's own line rate
        m_sim = std::make_unique<meter_sim::MeterSimulator>(sim);
        port = m_sim->DevicePath();
        std::cout << "simulated meter: " << port << " with " << m_options.records << " records" << std::endl;
    }
    m_options.port = port;
    core::SerialPortRoots& roots = core::SerialPortScanRoots();
    if (const char* sys = std::getenv("QEL_DEMO_TTY_CLASS")) roots.sysClassTty = sys;
    if (const char* dev = std::getenv("QEL_DEMO_DEV")) roots.dev = dev;
    if (const char* locks = std::getenv("QEL_DEMO_LOCK_DIR")) CSerialPort::SetLockFolder(locks);
    if (const char* time = std::getenv("QEL_DEMO_REPORT_TIME")) {
        g_reportTime = static_cast<std::time_t>(std::strtoll(time, nullptr, 10));
        CQELDlg::SetReportClock([] { return g_reportTime; });
    }
    roots.extra = {port};

    if (m_options.automatic) {
        core::SetOpener(&m_opener);
        if (!PlanRoad()) {
            std::cerr << "qel-demo: the road has no step \"" << m_options.until << "\"\n";
            g_unknownStep = true;
            return false;
        }
        m_road.Start([this] {
            if (m_road.Failed()) Fail(m_road.Failure());
        });
    }
    return true;
}

int DemoApp::OnRun()
{
    CQELApp::OnRun();
    m_road.Stop();
    if (const int signal = ProgramEnd().Signal(); signal != 0) {
        std::cout << "ended by signal " << signal << std::endl;
        return 0;
    }
    if (m_options.automatic) {
        if (m_failed) return 1;
        if (!m_options.until.empty()) return 0;  // a held road makes no report
        if (m_reportPath.empty()) return 1;
        std::cout << m_reportPath << std::endl;
    }
    return 0;
}

// The road a person walks, step by step: each step waits for what a person would see first.
bool DemoApp::PlanRoad()
{
    using namespace testing_support;
    // Adds the road's steps up to the one that --auto-until names, which only tells that it is
    // ready; none after it.
    bool held = false;
    const auto then = [this, &held](const std::string& name, std::function<bool()> ready, std::function<void()> act,
                                    int timeoutMs = 10000) {
        if (held) return;
        if (name == m_options.until) {
            held = true;
            act = [name] { std::cout << "[hold] " << name << std::endl; };
        }
        m_road.Then(name, std::move(ready), std::move(act), timeoutMs);
    };
    const auto shownText = [this](int id) { return Dlg() != nullptr ? Dlg()->GetDlgItemText(id) : std::string(); };
    const auto clickItem = [this](int id) { return [this, id] { ClickWindow(Item(id)); }; };
    const auto popup = [this]() -> wxVListBox* {
        return dynamic_cast<wxVListBox*>(Dlg()->m_comboPort->GetPopupControl()->GetControl());
    };
    const auto clickBox = [] {
        const wxRect ok = ShownMessageBoxButton();
        std::cout << "[box] " << ShownMessageBoxText() << std::endl;
        ClickAt(wxPoint(ok.x + ok.width / 2, ok.y + ok.height / 2));
    };
    const std::string entry = CQELDlg::PortListText(m_options.port);

    then(
        "click the port list's arrow", [this] { return Dlg() != nullptr && Dlg()->IsShownOnScreen(); },
        [this] {
            platform::DropDownList* list = Dlg()->m_comboPort;
            const wxRect r = list->GetScreenRect();
            ClickAt(wxPoint(r.GetRight() - list->GetButtonSize().x / 2, r.y + r.height / 2));
        });
    then(
        "click the meter's entry",
        [this, entry] {
            platform::DropDownList* list = Dlg()->m_comboPort;
            return list->IsPopupShown() && list->FindString(wxString::FromUTF8(entry)) != wxNOT_FOUND;
        },
        [this, entry, popup] {
            const wxRect r =
                popup()->GetItemRect(static_cast<size_t>(Dlg()->m_comboPort->FindString(wxString::FromUTF8(entry))));
            ClickAt(popup()->ClientToScreen(wxPoint(r.x + r.width / 2, r.y + r.height / 2)));
        });
    then(
        "click OPEN COM",
        [this, entry] {
            platform::DropDownList* list = Dlg()->m_comboPort;
            return !list->IsPopupShown() && list->GetValue().utf8_string() == entry;
        },
        [this, clickItem] {
            std::cout << "port: " << m_options.port << std::endl;
            clickItem(IDC_OPEN_COM)();
        });
    then(
        "click CONNECT", [this] { return Dlg()->m_portOpened; }, clickItem(IDC_CONNECT));
    then(
        "click OK in the box", [] { return !ShownMessageBoxButton().IsEmpty(); }, clickBox);
    const struct {
        int id;
        const char* text;
    } header[] = {{IDC_EDIT_COMPANY, "Demo Fibre Networks"},
                  {IDC_EDIT_MODEL, "OPM-3"},
                  {IDC_EDIT_SERIALNO, "DEMO-0001"},
                  {IDC_EDIT_OPERATOR, "Demo Technician"},
                  {IDC_EDIT_NOTES, "acceptance test, span A-B"}};
    int previous = 0;
    std::string previousText;
    for (const auto& field : header) {
        then(
            "click a header field",
            [this, previous, previousText, shownText] {
                return ShownMessageBoxButton().IsEmpty() && (previous == 0 || shownText(previous) == previousText);
            },
            clickItem(field.id));
        const std::string text = field.text;
        const int id = field.id;
        then(
            "type into it", [this, id] { return HasFocusWithin(Item(id)); }, [text] { TypeText(text); });
        previous = field.id;
        previousText = field.text;
    }
    then(
        "click UPLOAD DATA", [previous, previousText, shownText] { return shownText(previous) == previousText; },
        [this, clickItem] {
            std::cout << "meter: " << Dlg()->m_strMeterId << std::endl;
            clickItem(IDC_UPLOAD)();
            std::cout << "upload started" << std::endl;
        });
    // The upload button comes back when the report is filled and handed over. A box shown instead
    // tells why there is no report.
    then(
        "click EXIT when the report is made",
        [this] {
            return (Dlg()->IsDlgItemEnabled(IDC_UPLOAD) && !m_opener.opened.empty()) ||
                   !ShownMessageBoxButton().IsEmpty();
        },
        [this, clickItem] {
            if (!ShownMessageBoxButton().IsEmpty()) {
                Fail("no report was made: " + ShownMessageBoxText());
                return;
            }
            m_reportPath = Dlg()->m_strReportPath;
            std::cout << "records: " << Dlg()->m_listRecords->GetItemCount() << std::endl;
            clickItem(IDC_EXIT)();
        },
        120000);
    return m_options.until.empty() || held;
}

void DemoApp::Fail(const std::string& why)
{
    std::cerr << "qel-demo: " << why << std::endl;
    m_failed = true;
    // A box still shown is told and closed, so the window's run can end.
    const wxRect ok = testing_support::ShownMessageBoxButton();
    if (!ok.IsEmpty()) {
        std::cout << "[box] " << testing_support::ShownMessageBoxText() << std::endl;
        testing_support::ClickAt(wxPoint(ok.x + ok.width / 2, ok.y + ok.height / 2));
    }
    if (CQELDlg* dlg = Dlg(); dlg != nullptr && dlg->IsModal()) dlg->EndModal(IDCANCEL);
}

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(DemoApp);

int main(int argc, char** argv)
{
    if (!ReadArguments(argc, argv)) return 2;
    // The toolkit sees no argument of the demo's.
    int wxArgc = 1;
    const int status = wxEntry(wxArgc, argv);
    return g_unknownStep ? 2 : status;
}
