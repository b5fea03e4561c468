// The meter's maintenance and calibration commands.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "console/QELDlg.h"
#include "resources/resource_ids.h"

namespace {

// A text read as an unsigned decimal number: leading blanks and a sign accepted, digits up to
// the first other character, the largest 32-bit value beyond the range, a minus sign negating
// modulo 2^32.
unsigned long ReadUnsigned(const std::string& text)
{
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    unsigned long long value = 0;
    bool overflow = false;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > 0xFFFFFFFFull) overflow = true;
        if (overflow) value = 0xFFFFFFFFull;
        ++p;
    }
    if (overflow) return 0xFFFFFFFFul;
    std::uint32_t v = static_cast<std::uint32_t>(value);
    if (negative) v = static_cast<std::uint32_t>(0u - v);
    return v;
}

}  // namespace

bool CQELDlg::ConfirmForPort(ShownText LanguageTable::*question)
{
    const std::optional<std::string> text = LanguageText(question);
    if (!text) return false;
    if (MessageBox(*text, "QEL", MB_OKCANCEL) != IDOK) return false;
    if (!PortIsOpen()) {
        ShowNotOpenMessage();
        return false;
    }
    return true;
}

void CQELDlg::OnBnClickedDeleteAll()
{
    if (ConfirmForPort(&LanguageTable::confirmDeleteAll)) SendCommand(CMD_DELETE_ALL);
}

void CQELDlg::OnBnClickedReset()
{
    if (ConfirmForPort(&LanguageTable::confirmReset)) {
        // The question was asked in a language, which chooses the command.
        const LanguageTable* language = Language();
        SendCommand(language != nullptr ? language->resetCommand : CMD_RESET);
    }
}

void CQELDlg::SendCalibration(BYTE code)
{
    UpdateData(TRUE);
    m_calValueSent = m_calValue;
    BYTE data[5];
    data[0] = static_cast<BYTE>(m_wavelengthIndex);
    std::memcpy(data + 1, &m_calValueSent, 4);  // IEEE single, least significant byte first
    if (ConfirmForPort(&LanguageTable::confirmCalibrate)) SendCommandData(data, 5, code);
}

void CQELDlg::OnBnClickedPowerCalibrate() { SendCalibration(CMD_CALIBRATE); }

void CQELDlg::OnBnClickedFtcal() { SendCalibration(CMD_FTCAL); }

void CQELDlg::OnBnDoubleclickedPowerCalibrate()
{
    UpdateData(TRUE);
    m_calValueSent = m_calValue;
    BYTE data[4];
    std::memcpy(data, &m_calValueSent, 4);
    // Sent without the port test; the serial link writes nothing before its first open.
    SendCommandData(data, 4, CMD_CALIBRATE);
}

void CQELDlg::OnBnClickedTimeSet()
{
    static const int kEdits[5] = {IDC_EDIT_YEAR, IDC_EDIT_MONTH, IDC_EDIT_DAY, IDC_EDIT_HOUR, IDC_EDIT_MINUTE};
    BYTE data[5];
    for (int i = 0; i < 5; ++i) data[i] = static_cast<BYTE>(ReadUnsigned(GetDlgItemText(kEdits[i])) & 0xFF);
    if (PortIsOpen()) {
        SendCommandData(data, 5, CMD_SET_TIME);
    } else {
        ShowNotOpenMessage();
    }
}

void CQELDlg::OnBnClicked1310()
{
    UpdateData(TRUE);
    m_wavelengthIndex = 0;
}

void CQELDlg::OnBnClicked1490()
{
    UpdateData(TRUE);
    m_wavelengthIndex = 1;
}

void CQELDlg::OnBnClicked1550()
{
    UpdateData(TRUE);
    m_wavelengthIndex = 2;
}
