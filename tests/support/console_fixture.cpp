#include "tests/support/console_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <wx/app.h>
#include <wx/odcombo.h>
#include <wx/statbmp.h>

#include "console/QELApp.h"
#include "core/serial_ports.h"
#include "core/ui_dispatcher.h"
#include "platform/resources.h"
#include "tests/support/test_support.h"

namespace testing_support {

const std::string kNoFile = "\x01no file";

std::string ShippedLanguageFile(const std::string& item)
{
    std::string text = ReadFile(std::string(QEL_SOURCE_DIR) + "/data/language.ini");
    size_t at = text.find("Item=");
    if (at == std::string::npos) return text;
    size_t end = text.find_first_of("\r\n", at);
    return text.substr(0, at) + "Item=" + item + text.substr(end);
}

int StateIconShown(const wxStaticBitmap* control)
{
    if (control == nullptr || !control->GetBitmap().IsOk()) return 0;
    const wxImage shown = control->GetBitmap().ConvertToImage();
    auto same = [](const wxImage& a, const wxImage& b) {
        if (a.GetSize() != b.GetSize() || a.HasAlpha() != b.HasAlpha()) return false;
        const size_t pixels = static_cast<size_t>(a.GetWidth()) * static_cast<size_t>(a.GetHeight());
        if (std::memcmp(a.GetData(), b.GetData(), pixels * 3) != 0) return false;
        return !a.HasAlpha() || std::memcmp(a.GetAlpha(), b.GetAlpha(), pixels) == 0;
    };
    for (int id : {130, 131, 132, 133}) {
        const wxIcon icon = platform::LoadIconResource(id);
        if (!icon.IsOk()) continue;
        wxBitmap bitmap;
        bitmap.CopyFromIcon(icon);
        if (same(shown, bitmap.ConvertToImage())) return id;
    }
    return 0;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        core::Ui().WaitUntil(done, std::chrono::milliseconds(5));
        if (wxAppConsole* app = wxAppConsole::GetInstance(); app != nullptr && HaveDisplay()) app->Yield(true);
    }
    return true;
}

ConsoleHarness::ConsoleHarness(const ConsoleOptions& options)
{
    if (options.languageFile != kNoFile) WriteFile(m_dir.File("language.ini"), options.languageFile);
    if (options.withTemplate) {
        WriteFile(m_dir.File("savemode.xlsx"), ReadFile(std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx"));
    }
    if (options.withOutputDir) mkdir(m_dir.File("savefile").c_str(), 0755);
    // The ports' lock files go to a folder of the test's own, never the machine's.
    m_oldLockFolder = CSerialPort::LockFolder();
    CSerialPort::SetLockFolder(m_lockDir.Path());
    char buf[4096];
    m_oldCwd = getcwd(buf, sizeof buf) != nullptr ? buf : "/";
    if (chdir(m_dir.Path().c_str()) != 0) ADD_FAILURE() << "cannot enter " << m_dir.Path();
    m_dlg = std::make_unique<CQELDlg>(nullptr);
    if (!m_dlg->CreateDialogWindow()) ADD_FAILURE() << "the main window was not created";
}

ConsoleHarness::~ConsoleHarness()
{
    m_dlg.reset();
    core::Ui().RunPending();
    CSerialPort::SetLockFolder(m_oldLockFolder);
    if (chdir(m_oldCwd.c_str()) != 0) {}
}

void ConsoleHarness::Feed(const std::vector<unsigned char>& bytes)
{
    for (unsigned char b : bytes) m_dlg->OnSerialByte(b, 0);
}

void ConsoleHarness::Call(const std::function<void()>& handler) { CQELApp::CallGuarded(handler); }

bool ConsoleHarness::OpenPort(const std::string& path)
{
    auto& roots = core::SerialPortScanRoots();
    roots.sysClassTty = m_dir.File("no-sys");  // never the machine's own ports
    roots.extra = {path};
    m_dlg->OnCbnDropdownComPort();
    platform::DropDownList* combo = m_dlg->m_comboPort;
    if (combo == nullptr) return false;
    int index = combo->FindString(wxString::FromUTF8(CQELDlg::PortListText(path)));
    if (index == wxNOT_FOUND) return false;
    combo->SetSelection(index);
    m_dlg->OnBnClickedOpenCom();
    return m_dlg->m_serialPort.IsOpen();
}

bool ConsoleHarness::UploadAndWait(int timeoutMs)
{
    m_dlg->OnBnClickedUpload();
    const bool ended = PumpUntil([&] { return m_dlg->m_reportState == ReportState::Due; }, timeoutMs);
    m_dlg->KillTimer(IDT_REPORT);
    return ended;
}

std::vector<std::string> ConsoleHarness::Texts() const
{
    std::vector<std::string> texts;
    for (const auto& b : m_boxes.Boxes()) texts.push_back(b.text);
    return texts;
}

void MeterConsoleTest::SetUp()
{
    m_savedRoots = core::SerialPortScanRoots();
    QEL_REQUIRE_DISPLAY();
}

void MeterConsoleTest::TearDown()
{
    m_harness.reset();
    m_sim.reset();
    core::SerialPortScanRoots() = m_savedRoots;
}

MeterConsoleTest::Link MeterConsoleTest::Connect(const meter_sim::Options& meter, const ConsoleOptions& console)
{
    return Start(meter, console, false);
}

MeterConsoleTest::Link MeterConsoleTest::ConnectByLink(const meter_sim::Options& meter, const ConsoleOptions& console)
{
    return Start(meter, console, true);
}

MeterConsoleTest::Link MeterConsoleTest::Start(const meter_sim::Options& meter, const ConsoleOptions& console,
                                               bool byLink)
{
    m_harness.reset();
    m_sim.reset();
    m_link.clear();
    m_sim = std::make_unique<meter_sim::MeterSimulator>(meter);
    m_harness = std::make_unique<ConsoleHarness>(console);
    std::string port = m_sim->DevicePath();
    if (byLink) {
        m_link = m_harness->Folder().File("meter");
        if (symlink(port.c_str(), m_link.c_str()) != 0) ADD_FAILURE() << "no link " << m_link << " to " << port;
        port = m_link;
    }
    const bool opened = m_harness->OpenPort(port);
    return Link{*m_sim, *m_harness, opened};
}

ConsoleOptions MeterConsoleTest::Language(const std::string& item)
{
    ConsoleOptions o;
    o.languageFile = ShippedLanguageFile(item);
    return o;
}

}  // namespace testing_support
