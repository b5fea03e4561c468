// Command frames out, reply frames in: the reply parser and what each reply does.
#include <cstring>

#include <wx/gauge.h>
#include <wx/statbmp.h>

#include "console/QELApp.h"
#include "console/QELDlg.h"
#include "core/codepage.h"
#include "resources/resource_ids.h"

void CQELDlg::SendCommand(BYTE code)
{
    std::vector<BYTE> frame = BuildFrame(code, nullptr, 0);
    m_serialPort.QueueWrite(reinterpret_cast<const char*>(frame.data()), static_cast<int>(frame.size()));
}

void CQELDlg::SendCommandData(const BYTE* data, BYTE count, BYTE code)
{
    std::vector<BYTE> frame = BuildFrame(code, data, count);
    m_serialPort.QueueWrite(reinterpret_cast<const char*>(frame.data()), static_cast<int>(frame.size()));
}

namespace {

// A text of a reply: n bytes from position `from` of the frame, ended at the first NUL, never read
// past the frame's data (which end where its checksum stands); at most `limit` bytes of it are
// kept, cut on a character boundary of the meter's code page (GBK).
std::string FrameText(const char* frame, int dataEnd, int from, int n, int limit)
{
    if (n < 0) n = 0;
    const int available = dataEnd > from ? dataEnd - from : 0;
    const bool frameEndsFirst = n > available;
    if (frameEndsFirst) n = available;
    std::string bytes(frame + from, static_cast<size_t>(n));
    size_t nul = bytes.find('\0');
    if (nul != std::string::npos) bytes.resize(nul);
    return core::MeterText(bytes, static_cast<size_t>(limit), frameEndsFirst && nul == std::string::npos);
}

}  // namespace

LRESULT CQELDlg::OnSerialByte(WPARAM wParam, LPARAM)
{
    const char b = static_cast<char>(static_cast<BYTE>(wParam));

    // Collect the frame: a 0x10 starts one only while none is in progress; a byte outside a frame
    // is dropped.
    if (!m_inFrame) {
        if (static_cast<BYTE>(b) != FRAME_START) return 0;
        m_inFrame = true;
        m_rxBuf[0] = b;
        m_rxCount = 1;
        return 0;
    }
    m_rxBuf[m_rxCount++] = b;

    // The frame is complete when it holds L + 2 bytes.
    const int L = static_cast<signed char>(m_rxBuf[1]);
    if (L + 2 > FRAME_CAPACITY) {
        // Announces more than one frame can hold: dropped; wait for the next start byte.
        m_inFrame = false;
        m_rxCount = 0;
        return 0;
    }
    if (m_rxCount < L + 2) return 0;

    // End the frame, and act on it only when its checksum (the byte before the last) is the negated
    // sum of its first L bytes.
    const int length = m_rxCount;
    m_inFrame = false;
    m_rxCount = 0;
    BYTE sum = 0;
    for (int i = 0; i < L; ++i) sum = static_cast<BYTE>(sum + static_cast<BYTE>(m_rxBuf[i]));
    if (static_cast<BYTE>(-sum) != static_cast<BYTE>(m_rxBuf[length - 2])) return 0;

    const BYTE code = static_cast<BYTE>(m_rxBuf[2]);
    // The replies that say their text in the current language (nothing without one), under "QEL".
    // The others say the same in every language.
    const std::string qel = "QEL";
    auto say = [&](ShownText LanguageTable::*text) {
        if (auto shown = LanguageText(text)) MessageBox(*shown, qel);
    };

    switch (code) {
    case RSP_CONNECTED: {
        const int n = static_cast<signed char>(m_rxBuf[3]);
        std::string text = FrameText(m_rxBuf, L, 4, n, static_cast<int>(sizeof m_textBuf) - 1);
        std::strncpy(m_textBuf, text.c_str(), sizeof m_textBuf - 1);
        m_textBuf[sizeof m_textBuf - 1] = '\0';
        m_strMeterId = text;
        say(&LanguageTable::connected);
        if (m_iconMeter != nullptr && m_hIconMeterOn.IsOk()) m_iconMeter->SetIcon(m_hIconMeterOn);
        break;
    }
    case RSP_DISCONNECTED:
        say(&LanguageTable::disconnected);
        if (m_iconMeter != nullptr && m_hIconMeterOff.IsOk()) m_iconMeter->SetIcon(m_hIconMeterOff);
        break;
    case RSP_RECORD: {
        MeterRecord record = ParseRecord(reinterpret_cast<const BYTE*>(m_rxBuf), length);
        if (record.number <= 0) break;  // no such record number: nothing to put into the table
        m_lastRecordNo = record.number;
        std::memcpy(m_recordValues, record.values, sizeof m_recordValues);
        std::string date = FormatRecordDate(record.year, record.month, record.day, record.hour, record.minute);
        std::array<std::string, 12> texts = FormatRecordValues(m_recordValues, date);
        int row = -1;
        if (m_listRecords != nullptr) row = m_listRecords->InsertItem(m_lastRecordNo - 1, Format("%d", m_lastRecordNo));
        // The values go to the row that was inserted for the record (at the end of the table
        // when the number lies beyond it), so none of them is lost.
        if (row >= 0) {
            for (int s = 0; s < 12; ++s) m_listRecords->SetItemText(row, s + 1, texts[static_cast<size_t>(s)]);
        }
        // A note announced longer than its 16-byte field goes on beyond the field.
        const bool noteGoesOn = static_cast<signed char>(m_rxBuf[44]) > 16 && record.note.size() == 16;
        std::string note = core::MeterText(record.note, 16, noteGoesOn);
        std::strncpy(m_textBuf, note.c_str(), sizeof m_textBuf - 1);
        m_textBuf[sizeof m_textBuf - 1] = '\0';
        m_strLastNote = note;
        if (row >= 0) m_listRecords->SetItemText(row, record_subitem::NOTE, m_strLastNote);
        if (m_progressPos < 80) ++m_progressPos;
        if (m_progress != nullptr) m_progress->SetValue(m_progressPos);
        break;
    }
    case RSP_UPLOAD_END:
        m_awaitingRecords = false;
        if (static_cast<signed char>(m_rxBuf[3]) != 0) {
            m_reportState = ReportState::Due;
            m_reportTimer = SetTimer(IDT_REPORT, 1000);
            m_progressPos = 80;
            if (m_progress != nullptr) m_progress->SetValue(m_progressPos);
        } else {
            MessageBox(LanguageTexts.norecord, qel);
            m_progressPos = 0;
            if (m_progress != nullptr) m_progress->SetValue(m_progressPos);
            EnableDlgItem(IDC_UPLOAD, true);  // nothing to report: the technician may ask again
        }
        break;
    case RSP_DELETED:
        say(&LanguageTable::deletedAll);
        if (m_iconMeter != nullptr && m_hIconMeterOn.IsOk()) m_iconMeter->SetIcon(m_hIconMeterOn);
        break;
    case RSP_TIME_SET: say(&LanguageTable::timeSetDone); break;
    case RSP_CALIBRATED:
    case RSP_FTCAL_DONE: MessageBox(LanguageTexts.calok, CQELApp::AppTitle()); break;
    case RSP_RESET_DONE: MessageBox("OK", CQELApp::AppTitle()); break;
    default: break;  // a code the console does not know
    }
    return 0;
}
