// Benchmark of the console's main road, printed as figures (run under a display, e.g. xvfb-run):
//  - bytes per second through the serial link and the reply parser on an unpaced pseudo-terminal;
//  - a 127-record upload paced at the line rate against the wire time;
//  - the create and fill steps of the report for 127 records;
//  - the whole road (paced upload, then the report on the timer) against the wire time.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/odcombo.h>
#include <wx/timer.h>

#include "console/QELApp.h"
#include "console/QELDlg.h"
#include "core/message_box.h"
#include "core/opener.h"
#include "core/serial_ports.h"
#include "core/ui_dispatcher.h"
#include "resources/resource_ids.h"
#include "tools/sim/meter_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

bool Pump(const std::function<bool()>& done, double timeoutSeconds)
{
    auto start = Clock::now();
    while (!done()) {
        if (Seconds(start) > timeoutSeconds) return false;
        platform::Ui().WaitUntil(done, std::chrono::milliseconds(2));
        wxTheApp->Yield(true);
    }
    return true;
}

bool CopyFile(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    return static_cast<bool>(in) && static_cast<bool>(out);
}

class BenchApp : public CQELApp {
public:
    int OnRun() override;
};

int BenchApp::OnRun()
{
    delete wxLog::SetActiveTarget(new wxLogStderr);
    platform::RecordingMessageBoxes boxes;
    platform::RecordingOpener opener;

    std::string dir = "/tmp/qel-bench-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) return 1;
    CopyFile(std::string(QEL_DATA_DIR) + "/language.ini", dir + "/language.ini");
    CopyFile(std::string(QEL_DATA_DIR) + "/savemode.xlsx", dir + "/savemode.xlsx");
    mkdir((dir + "/savefile").c_str(), 0755);
    if (chdir(dir.c_str()) != 0) return 1;

    meter_sim::Options options;
    options.records = meter_sim::SampleRecords(127);
    meter_sim::MeterSimulator sim(options);
    platform::SerialPortScanRoots().sysClassTty = dir + "/no-sys";
    platform::SerialPortScanRoots().extra = {sim.DevicePath()};

    CQELDlg dlg(nullptr);
    dlg.CreateDialogWindow();
    dlg.OnCbnDropdownComPort();
    dlg.m_comboPort->SetSelection(0);
    dlg.OnBnClickedOpenCom();
    if (dlg.m_serialPort.m_portHandle.load() < 0) {
        std::printf("cannot open the simulated meter\n");
        return 1;
    }
    const double uploadBytes = 127.0 * 64 + 6;
    auto upload = [&](double timeout) {
        dlg.m_reportState = 0;
        dlg.OnBnClickedUpload();
        bool ok = Pump([&] { return dlg.m_reportState == 1; }, timeout);
        dlg.KillTimer(IDT_REPORT);
        return ok && dlg.m_listRecords->GetItemCount() == 127;
    };

    // 1. Unpaced throughput.
    const int rounds = 10;
    auto start = Clock::now();
    int good = 0;
    for (int i = 0; i < rounds; ++i) good += upload(20) ? 1 : 0;
    double t = Seconds(start);
    std::printf("serial link + parser, unpaced: %d/%d uploads of %.0f bytes in %.3f s: %.0f bytes/s (%.1f us/byte)\n",
                good, rounds, uploadBytes, t, rounds * uploadBytes / t, 1e6 * t / (rounds * uploadBytes));

    // 1b. The same through the window's own event loop, the way the program runs: every byte
    // reaches the parser as an event that the modal loop dispatches.
    {
        wxTimer driver;
        Clock::time_point loopStart;
        int loopRounds = 0;
        int loopGood = 0;
        bool waiting = false;
        driver.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            if (waiting && dlg.m_reportState != 1) return;
            if (waiting) {
                dlg.KillTimer(IDT_REPORT);
                loopGood += dlg.m_listRecords->GetItemCount() == 127 ? 1 : 0;
                waiting = false;
            }
            if (loopRounds == 0) loopStart = Clock::now();
            if (loopRounds++ == rounds) {
                dlg.EndModal(IDOK);
                return;
            }
            dlg.m_reportState = 0;
            dlg.OnBnClickedUpload();
            waiting = true;
        });
        driver.Start(1);
        dlg.ShowModal();
        driver.Stop();
        t = Seconds(loopStart);
        std::printf(
            "serial link + parser through the event loop: %d/%d uploads in %.3f s: %.0f bytes/s (%.1f us/byte)\n",
            loopGood, rounds, t, rounds * uploadBytes / t, 1e6 * t / (rounds * uploadBytes));
        good = good == rounds && loopGood == rounds ? rounds : 0;
    }

    // 2. Paced at the line rate.
    sim.SetPacing(true);
    start = Clock::now();
    bool paced = upload(30);
    t = Seconds(start);
    // On the wire: the 127 record frames of 64 bytes and the 6-byte end frame, ten bit times a
    // byte at 38400 8N1.
    const double wire = uploadBytes * 10.0 / 38400.0;
    std::printf("127-record upload at 38400 baud: %s in %.3f s (wire time of %.0f bytes %.3f s, %.0f%% of it)\n",
                paced ? "complete" : "INCOMPLETE", t, uploadBytes, wire, 100.0 * t / wire);

    // 3. The report steps for 127 records.
    const int reports = 5;
    double create = 0, fill = 0;
    for (int i = 0; i < reports; ++i) {
        auto c = Clock::now();
        CQELApp::CallGuarded([&] { dlg.CreateReportFile(); });
        create += Seconds(c);
        auto f = Clock::now();
        CQELApp::CallGuarded([&] { dlg.FillReport(); });
        fill += Seconds(f);
    }
    std::printf("report of 127 records: create step %.1f ms, fill step %.1f ms (mean of %d), %zu boxes\n",
                1000 * create / reports, 1000 * fill / reports, reports, boxes.Count());

    // 4. The whole road: paced upload, then the timer's three ticks and the report.
    start = Clock::now();
    dlg.OnBnClickedUpload();
    bool road = Pump([&] { return dlg.IsDlgItemEnabled(IDC_UPLOAD); }, 40);
    t = Seconds(start);
    std::printf("whole road (upload at line rate + report on the 1 s timer): %s in %.3f s; wire %.3f s + 3 ticks\n",
                road ? "complete" : "INCOMPLETE", t, wire);
    dlg.m_serialPort.DetachOwner();
    return (good == rounds && paced && road) ? 0 : 1;
}

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(BenchApp);

int main(int argc, char** argv) { return wxEntry(argc, argv); }
