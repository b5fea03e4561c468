// The demo: the console in a working folder of its own with a simulated meter in its port list.
//
//   qel-demo [--port PATH] [--records N] [--workdir DIR] [--auto]
//
// The working folder gets language.ini, savemode.xlsx and savefile/. The simulator (or the device
// given with --port) is listed first in the port list. With --auto the demo drives the main road
// through the window itself: it picks the port, opens it, connects, types a report header,
// uploads, waits for the report and prints the report's full path on its last line.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include <wx/app.h>
#include <wx/combobox.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include "console/QELApp.h"
#include "console/QELDlg.h"
#include "core/message_box.h"
#include "core/opener.h"
#include "core/serial_ports.h"
#include "resources/resource_ids.h"
#include "tools/sim/meter_sim.h"

namespace {

struct DemoOptions {
    std::string port;
    std::string workdir;
    int records = 12;
    bool automatic = false;
};

bool CopyFile(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    if (!in) return false;
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    return static_cast<bool>(out);
}

// Boxes of the automatic run: printed, answered with OK.
class PrintingMessageBoxes : public platform::IMessageBoxService {
public:
    int Show(const platform::MessageBoxRequest& request) override
    {
        std::cout << "[box] " << request.caption << ": " << request.text << std::endl;
        return IDOK;
    }
};

// The automatic run has no desktop to hand the report to: it names it instead.
class PrintingOpener : public platform::IOpener {
public:
    bool Open(const std::string& path) override
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
    void Step(wxTimerEvent&);
    bool Prepare();
    void Click(CQELDlg& dlg, int id);
    void Fail(const std::string& why);

    DemoOptions m_options;
    std::unique_ptr<meter_sim::MeterSimulator> m_sim;
    PrintingMessageBoxes m_boxes;
    PrintingOpener m_opener;
    wxTimer m_driver;
    int m_step = 0;
    std::chrono::steady_clock::time_point m_deadline;
    std::string m_reportPath;
    bool m_failed = false;
};

bool DemoApp::OnInit()
{
    if (!CQELApp::OnInit()) return false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i].utf8_string();
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i].utf8_string() : std::string(); };
        if (a == "--auto") {
            m_options.automatic = true;
        } else if (a == "--port") {
            m_options.port = value();
        } else if (a == "--records") {
            m_options.records = std::atoi(value().c_str());
        } else if (a == "--workdir") {
            m_options.workdir = value();
        } else {
            std::cerr << "usage: qel-demo [--port PATH] [--records N] [--workdir DIR] [--auto]\n";
            return false;
        }
    }
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
    platform::SerialPortScanRoots().extra = {port};

    if (m_options.automatic) {
        platform::SetMessageBoxService(&m_boxes);
        platform::SetOpener(&m_opener);
        m_driver.Bind(wxEVT_TIMER, &DemoApp::Step, this);
        m_driver.Start(100);
        m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    }
    return true;
}

int DemoApp::OnRun()
{
    CQELApp::OnRun();
    m_driver.Stop();
    if (m_options.automatic) {
        if (m_failed || m_reportPath.empty()) return 1;
        std::cout << m_reportPath << std::endl;
    }
    return 0;
}

void DemoApp::Click(CQELDlg& dlg, int id)
{
    wxCommandEvent click(wxEVT_BUTTON, id);
    click.SetEventObject(dlg.FindWindow(id));
    dlg.ProcessWindowEvent(click);
}

void DemoApp::Fail(const std::string& why)
{
    std::cerr << "qel-demo: " << why << std::endl;
    m_failed = true;
    if (auto* dlg = dynamic_cast<CQELDlg*>(GetTopWindow()); dlg && dlg->IsModal()) dlg->EndModal(IDCANCEL);
}

void DemoApp::Step(wxTimerEvent&)
{
    auto* dlg = dynamic_cast<CQELDlg*>(GetTopWindow());
    if (dlg == nullptr || !dlg->IsModal()) return;
    if (std::chrono::steady_clock::now() > m_deadline) {
        Fail("the report did not come in time");
        return;
    }
    switch (m_step) {
    case 0: {  // pick the port: drop the list down, choose the meter's entry
        wxCommandEvent drop(wxEVT_COMBOBOX_DROPDOWN, IDC_COMBO_PORT);
        drop.SetEventObject(dlg->m_comboPort);
        dlg->ProcessWindowEvent(drop);
        int index = dlg->m_comboPort->FindString(wxString::FromUTF8(m_options.port));
        if (index == wxNOT_FOUND) return Fail("the meter's port is not in the list");
        dlg->m_comboPort->SetSelection(index);
        std::cout << "port: " << m_options.port << std::endl;
        Click(*dlg, IDC_OPEN_COM);
        if (dlg->m_serialPort.m_portHandle.load() < 0) return Fail("the port did not open");
        ++m_step;
        break;
    }
    case 1:  // connect, and wait for the meter's identification
        Click(*dlg, IDC_CONNECT);
        ++m_step;
        break;
    case 2:
        if (dlg->m_strMeterId.empty()) return;
        std::cout << "meter: " << dlg->m_strMeterId << std::endl;
        dlg->SetDlgItemText(IDC_EDIT_COMPANY, "Demo Fibre Networks");
        dlg->SetDlgItemText(IDC_EDIT_MODEL, "OPM-3");
        dlg->SetDlgItemText(IDC_EDIT_SERIALNO, "DEMO-0001");
        dlg->SetDlgItemText(IDC_EDIT_OPERATOR, "Demo Technician");
        dlg->SetDlgItemText(IDC_EDIT_NOTES, "acceptance test, span A-B");
        Click(*dlg, IDC_UPLOAD);
        std::cout << "upload started" << std::endl;
        ++m_step;
        break;
    case 3:  // the upload button comes back when the report is filled
        if (!dlg->IsDlgItemEnabled(IDC_UPLOAD)) return;
        m_reportPath = dlg->m_strReportPath;
        std::cout << "records: " << dlg->m_listRecords->GetItemCount() << std::endl;
        ++m_step;
        Click(*dlg, IDC_EXIT);
        break;
    default:
        break;
    }
}

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(DemoApp);

int main(int argc, char** argv)
{
    return wxEntry(argc, argv);
}
