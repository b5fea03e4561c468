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
    m_progressPos = 0;
    if (m_progress != nullptr) m_progress->SetValue(m_progressPos);
}

void CQELDlg::OnBnClickedExport()
{
    CreateReportFile();
    FillReport();
}

void CQELDlg::OnTimer(UINT_PTR id)
{
    if (id != m_reportTimer || m_reportTimer == 0) return;

    m_progressPos = static_cast<signed char>(m_progressPos + 5 > 100 ? 100 : m_progressPos + 5);
    if (m_progress != nullptr) m_progress->SetValue(m_progressPos);

    if (m_reportState == 2) {
        m_reportState = 0;
        CreateReportFile();
    }
    if (m_reportState == 1) {
        m_reportState = 2;
    }
    if (m_reportState == 4) {
        m_reportState = 0;
        FillReport();
        m_progressPos = 100;
        if (m_progress != nullptr) m_progress->SetValue(m_progressPos);
    }
    if (m_reportState == 3) {
        m_reportState = 4;
    }
}
