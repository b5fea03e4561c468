// The upload button, the export button and the report timer that steps the report.
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

    if (m_reportState == 2) {
        m_reportState = 0;
        RunReportStep(ReportStep::Create);
    }
    if (m_reportState == 1) {
        m_reportState = 2;
    }
    if (m_reportState == 4) {
        m_reportState = 0;
        RunReportStep(ReportStep::Fill);  // a saved report ends the cycle at 100
    }
    if (m_reportState == 3) {
        m_reportState = 4;
    }
}

void CQELDlg::RunReportStep(ReportStep step)
{
    // Settles the cycle as the step is left, by its return or by an automation error passing
    // through on its way to the application's event dispatch, which shows it.
    struct Settle {
        CQELDlg& dlg;
        ReportStep step;
        ~Settle()
        {
            if (step != ReportStep::Create && dlg.m_reportSaved) {
                dlg.EndReportCycle();
            } else if (step == ReportStep::Create ? dlg.m_reportState != 3 : dlg.m_reportState == 0) {
                // Nothing saved and no later step of a cycle still due (the timer clears the
                // state before it runs a step; a create step that finished leaves 3).
                dlg.AbandonReportCycle();
            }
        }
    } settle{*this, step};
    m_reportSaved = false;
    switch (step) {
    case ReportStep::Create: CreateReportFile(); break;
    case ReportStep::Fill: FillReport(); break;
    case ReportStep::Both:
        CreateReportFile();
        FillReport();
        break;
    }
}

void CQELDlg::EndReportCycle()
{
    m_reportState = 0;
    m_progressPos = 100;
    if (m_progress != nullptr) m_progress->SetValue(m_progressPos);
    KillTimer(m_reportTimer);
    EnableDlgItem(IDC_UPLOAD, true);
}

void CQELDlg::AbandonReportCycle()
{
    m_reportState = 0;
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
