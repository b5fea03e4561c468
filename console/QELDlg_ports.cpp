// Port selection, open and close, connect and disconnect.
#include <cstring>

#include <wx/odcombo.h>
#include <wx/statbmp.h>

#include "console/QELDlg.h"
#include "core/serial_ports.h"
#include "resources/resource_ids.h"

void CQELDlg::EnumSerialPorts()
{
    // The table has 20 slots of 29 characters; a longer path would not fit and is left out, and
    // ports beyond the 20th are not listed.
    m_portCount = 0;
    for (const std::string& path : core::EnumerateSerialPorts(core::SerialPortScanRoots())) {
        if (m_portCount >= 20) break;
        if (path.empty() || path.size() > 29) continue;
        std::memset(m_portNames[m_portCount], 0, sizeof m_portNames[m_portCount]);
        std::memcpy(m_portNames[m_portCount], path.data(), path.size());
        ++m_portCount;
    }
}

std::string CQELDlg::PortListText(const std::string& path)
{
    static const std::string kDeviceFolder = "/dev/";
    if (path.size() > kDeviceFolder.size() && path.compare(0, kDeviceFolder.size(), kDeviceFolder) == 0) {
        return path.substr(kDeviceFolder.size());
    }
    return path;
}

void CQELDlg::OnCbnDropdownComPort()
{
    if (PortIsOpen()) {
        m_portToggle = false;
        m_portOpened = false;
        m_serialPort.RequestClose();
        EndUploadWithPort();
    }
    EnumSerialPorts();
    if (m_portCount != m_portCountListed) {
        m_portCountListed = m_portCount;
        if (m_comboPort != nullptr) {
            m_comboPort->Clear();
            for (int i = 0; i < m_portCount; ++i) m_comboPort->Append(wxString::FromUTF8(PortListText(m_portNames[i])));
        }
    }
    ShowPortState(false);
}

void CQELDlg::OnBnClickedOpenCom()
{
    const int index = m_comboPort != nullptr ? m_comboPort->GetSelection() : wxNOT_FOUND;
    if (index == wxNOT_FOUND || index < 0 || index >= 20) {
        if (auto text = LanguageText(&LanguageTable::selectPort)) AfxMessageBox(*text, MB_OK);
        return;
    }
    m_portToggle = !m_portToggle;
    if (m_portToggle) {
        const std::string path(m_portNames[index], strnlen(m_portNames[index], sizeof m_portNames[index]));
        if (m_serialPort.OpenPort(this, path, 38400, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG, 512)) {
            // A frame the line broke off in the middle (a meter unplugged during an upload) is no
            // start for the bytes of the newly opened line: the receiver waits for a new frame.
            m_inFrame = false;
            m_rxCount = 0;
            m_serialPort.StartMonitor();
            ShowPortState(true);
            m_portOpened = true;
        } else {
            if (auto text = LanguageText(&LanguageTable::portCannotOpen)) AfxMessageBox(*text, MB_OK);
            m_portToggle = false;
        }
    }
    if (!m_portToggle) {
        m_serialPort.RequestClose();
        EndUploadWithPort();
        ShowPortState(false);
        m_portOpened = false;
    }
}

void CQELDlg::OnSerialPortLost()
{
    // As CLOSE COM leaves the window, without asking the link to close: it has already. The next
    // click on OPEN COM opens the port again.
    m_portToggle = false;
    m_portOpened = false;
    EndUploadWithPort();
    ShowPortState(false);
}

void CQELDlg::ShowPortState(bool open)
{
    SetPortCaption(open);
    const wxIcon& icon = open ? m_hIconPortOpen : m_hIconPortClosed;
    if (m_iconPort != nullptr && icon.IsOk()) m_iconPort->SetIcon(icon);
}

void CQELDlg::ShowNotOpenMessage()
{
    if (auto text = LanguageText(&LanguageTable::portNotOpen)) AfxMessageBox(*text, MB_OK);
}

void CQELDlg::OnBnClickedConnect()
{
    if (PortIsOpen()) {
        SendCommand(CMD_CONNECT);
    } else {
        ShowNotOpenMessage();
    }
}

void CQELDlg::OnBnClickedDisconnect()
{
    if (PortIsOpen()) {
        SendCommand(CMD_DISCONNECT);
    } else {
        ShowNotOpenMessage();
    }
}
