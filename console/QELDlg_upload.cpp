// The upload button, the export button, the report timer that steps the report, and the one
// place that settles a report cycle after its steps.
#include <wx/gauge.h>

#include "console/QELDlg.h"
#include "resources/resource_ids.h"

void CQELDlg::OnBnClickedUpload()
{
    if (!PortIsOpen()) {
        ShowNotOpenMessage();
        return;
    }
    if (m_listRecords != nullptr) m_listRecords->DeleteAllItems();
    m_lastRecordNo = 0;
    SendCommand(CMD_UPLOAD);
    EnableDlgItem(IDC_UPLOAD, false);
    m_awaitingRecords = true;
    m_progressPos = 0;
    if (m_progress != nullptr) m_progress->SetValue(m_progressPos);
}

void CQELDlg::OnBnClickedExport() { RunReportStep(ReportStep::Both); }

void CQELDlg::OnTimer(UINT_PTR id)
{
    if (id != m_reportTimer || m_reportTimer == 0) return;

    m_progressPos = static_cast<signed char>(m_progressPos + 5 > 100 ? 100 : m_progressPos + 5);
    if (m_progress != nullptr) m_progress->SetValue(m_progressPos);

    // The state is Idle while a step runs, so that a tick handled meanwhile only moves the bar.
    switch (m_reportState) {
    case ReportState::Idle: break;
    case ReportState::Due: m_reportState = ReportState::CreateDue; break;
    case ReportState::CreateDue:
        m_reportState = ReportState::Idle;
        RunReportStep(ReportStep::Create);
        // A file made in this tick is filled at the next one.
        if (m_reportState == ReportState::Created) m_reportState = ReportState::FillDue;
        break;
    case ReportState::Created: m_reportState = ReportState::FillDue; break;
    case ReportState::FillDue:
        m_reportState = ReportState::Idle;
        RunReportStep(ReportStep::Fill);
        break;
    }
}

void CQELDlg::RunReportStep(ReportStep step)
{
    struct Settle {
        CQELDlg& dlg;
        ~Settle() { dlg.SettleReportCycle(); }
    } settle{*this};
    m_reportSaved = false;
    auto create = [this] {
        if (CreateReportFile()) m_reportState = ReportState::Created;
    };
    switch (step) {
    case ReportStep::Create: create(); break;
    case ReportStep::Fill: FillReport(); break;
    case ReportStep::Both:
        create();
        FillReport();
        break;
    }
}

void CQELDlg::SettleReportCycle()
{
    if (m_reportSaved) {
        EndReportCycle();
    } else if (m_reportState == ReportState::Idle) {
        // Nothing of a cycle is due: the timer clears the state before it runs a step, and a
        // made report file leaves Created. An export pressed between the timer's steps that
        // makes no file leaves the timer's cycle to go on.
        AbandonReportCycle();
    }
}

void CQELDlg::EndReportCycle()
{
    m_reportState = ReportState::Idle;
    m_progressPos = 100;
    if (m_progress != nullptr) m_progress->SetValue(m_progressPos);
    KillTimer(m_reportTimer);
    EnableDlgItem(IDC_UPLOAD, true);
}

void CQELDlg::AbandonReportCycle()
{
    m_reportState = ReportState::Idle;
    m_awaitingRecords = false;
    KillTimer(m_reportTimer);
    m_progressPos = 0;
    if (m_progress != nullptr) m_progress->SetValue(m_progressPos);
    EnableDlgItem(IDC_UPLOAD, true);
}

void CQELDlg::EndUploadWithPort()
{
    if (m_awaitingRecords) AbandonReportCycle();
}
