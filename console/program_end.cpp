#include "console/program_end.h"

#include "console/QELDlg.h"

namespace {

// How often the later call looks whether the runs inside the main window's have returned.
constexpr int kStepMs = 20;

}  // namespace

CProgramEnd::CProgramEnd()
{
    m_steps.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Step(); });
}

CProgramEnd::~CProgramEnd()
{
    m_steps.Stop();
    m_signals.Stop();
}

bool CProgramEnd::Watch()
{
    if (m_signals.Watching()) return true;
    return m_signals.Start([this](int signal) { OnSignal(signal); });
}

void CProgramEnd::SetMainDialog(CQELDlg* dlg)
{
    m_dlg = dlg;
    if (m_dlg == nullptr) m_steps.Stop();
}

void CProgramEnd::OnSignal(int signal)
{
    if (m_signal != 0) return;  // the end goes on already
    m_signal = signal;
    m_runs.Refuse();
    CloseWhatIsOpen();
    // Not from here: this call may run inside a box's loop that has not yet returned.
    m_steps.Start(kStepMs);
}

void CProgramEnd::CloseWhatIsOpen()
{
    m_runs.AnswerInside(m_dlg);
    if (m_dlg == nullptr) return;
    platform::CloseDroppedLists(m_dlg);
    platform::ClosePoppedUpMenu(m_dlg->SystemMenu());
}

void CProgramEnd::Step()
{
    // Again: a list or a menu may have opened meanwhile (a box cannot, no run starts).
    CloseWhatIsOpen();
    if (m_dlg != nullptr && (m_runs.AnyInside(m_dlg) || platform::MenuPoppedUp(m_dlg->SystemMenu()))) return;
    m_steps.Stop();
    // Without a run of the main window there is nothing to end: none has started (and none
    // will), or it has ended.
    if (m_dlg != nullptr && m_dlg->IsModal()) m_dlg->OnBnClickedExit();
}
