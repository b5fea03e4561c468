// The main window of the console: one modal dialog that talks to the meter over a serial line,
// uploads its records into the records table and turns them into a spreadsheet report.
#pragma once
#include <array>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <wx/dialog.h>
#include <wx/font.h>
#include <wx/icon.h>
#include <wx/menu.h>
#include <wx/timer.h>

#include "console/language_texts.h"
#include "console/meter_protocol.h"
#include "controls/ButtonNX.h"
#include "controls/EditListCtrl.h"
#include "core/winapi.h"
#include "platform/dialog_template.h"
#include "platform/drop_down_list.h"
#include "platform/report_list.h"
#include "serial/SerialPort.h"

class wxButton;
class wxGauge;
class wxStaticBitmap;
class _Application;
namespace platform {
class FocusKeeper;
}

// The report timer's id.
constexpr UINT_PTR IDT_REPORT = 1;

// Where a report cycle stands; the report timer moves it on one state a tick.
enum class ReportState : signed char {
    Idle = 0,       // no report pending; also while a report step runs
    Due = 1,        // the upload ended with records: the report is due
    CreateDue = 2,  // the create step runs at the next tick
    Created = 3,    // the create step made the report file
    FillDue = 4,    // the fill step runs at the next tick
};

// A font description with the fields the records list's font is enlarged by.
struct LOGFONT {
    int lfHeight = 0;  // negative: character height in pixels
    int lfWidth = 0;   // 0: the face's own width
    wxFontFamily family = wxFONTFAMILY_DEFAULT;
    wxFontStyle style = wxFONTSTYLE_NORMAL;
    wxFontWeight weight = wxFONTWEIGHT_NORMAL;
    wxString faceName;
};

class CQELDlg : public wxDialog, public ISerialOwner {
public:
    explicit CQELDlg(wxWindow* parent = nullptr);
    ~CQELDlg() override;

    // Creates the window from its template and initialises it (without showing it).
    bool CreateDialogWindow();
    // Creates the window, runs it modally and destroys the window; returns how it ended.
    int DoModal();

    // ---- start-up and window (console/QELDlg.cpp)
    BOOL OnInitDialog();
    // Members <-> controls; false when a value could not be read (its prompt was shown).
    bool DoDataExchange(bool saveAndValidate);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint(wxPaintEvent& event);
    const wxIcon& OnQueryDragIcon() const { return m_hIcon; }
    void OnContextMenu(wxContextMenuEvent& event);
    // EXIT: the window's run ends with IDOK (a termination signal ends the program this way too).
    void OnBnClickedExit();
    // The window menu's entries (the About entry), shown as the client area's context menu.
    const wxMenu* SystemMenu() const { return m_systemMenu.get(); }

    // ---- frames and replies (console/QELDlg_frames.cpp)
    void SendCommand(BYTE code);
    void SendCommandData(const BYTE* data, BYTE count, BYTE code);
    LRESULT OnSerialByte(WPARAM wParam, LPARAM lParam);
    LRESULT OnSerialNotify(UINT message, WPARAM wParam, LPARAM lParam) override;

    // ---- language (console/QELDlg_language.cpp)
    void ReadLanguageFile(const std::string& path);
    void ApplyLanguage();
    void OnCbnCloseupLanguage();
    void OnBnClickedChinese();
    void OnBnClickedEnglish();

    // ---- ports (console/QELDlg_ports.cpp)
    void EnumSerialPorts();
    // How the port list shows a port of the table: the device's name without its "/dev/" folder
    // ("ttyUSB0", "pts/12"), so the narrow entry shows the chosen port whole; any other path
    // whole. The table keeps the path that is opened.
    static std::string PortListText(const std::string& path);
    void OnCbnDropdownComPort();
    void OnBnClickedOpenCom();
    void OnBnClickedConnect();
    void OnBnClickedDisconnect();
    // The serial link has let the port go after telling that the device went away
    // (WM_SERIAL_LOST): the window shows the port closed and a waiting upload ends.
    void OnSerialPortLost();

    // ---- upload and report timer (console/QELDlg_upload.cpp)
    void OnBnClickedUpload();
    void OnBnClickedExport();
    void OnTimer(UINT_PTR id);

    // ---- maintenance (console/QELDlg_maintenance.cpp)
    void OnBnClickedDeleteAll();
    void OnBnClickedTimeSet();
    void OnBnClickedPowerCalibrate();
    void OnBnDoubleclickedPowerCalibrate();
    void OnBnClickedReset();
    void OnBnClicked1310();
    void OnBnClicked1490();
    void OnBnClicked1550();
    void OnBnClickedFtcal();

    // ---- report (console/QELDlg_report.cpp, console/QELDlg_sheet.cpp)
    // The create step: copies the template to a new time-stamped report file; true when it made
    // the file, false when the spreadsheet application could not be created (after its message).
    bool CreateReportFile();
    // The fill step: fills the report file that the last create step made and hands it to the
    // user. It notes in m_reportSaved that the report was saved as soon as it was: handing it
    // over afterwards may still raise an automation error, which leaves the step.
    void FillReport();
    std::string MakeReportName();
    // The clock MakeReportName reads (the local time of std::time by default); for tests and the
    // demo, which make reports in one and the same second. nullptr: the default again.
    static void SetReportClock(std::time_t (*clock)());
    void OnBnClickedSaveOrPrint();

    // ---- window services used by the handlers
    int MessageBox(const std::string& text, const std::string& caption, UINT style = MB_OK);
    static int AfxMessageBox(const std::string& text, UINT style = MB_OK);
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
    BOOL KillTimer(UINT_PTR id);
    bool IsTimerRunning(UINT_PTR id) const;
    void SetDlgItemText(int id, const std::string& text);
    std::string GetDlgItemText(int id) const;
    void EnableDlgItem(int id, bool enable);
    bool IsDlgItemEnabled(int id) const;
    // The path the current directory gives (a folder of any length); used by start-up.
    static std::string CurrentDirectory();

    // ---- members, in declaration order
    int m_portCount = 0;
    int m_portCountListed = -1;  // no refill yet: the first drop-down fills the list
    char m_portNames[20][30] = {};
    CSerialPort m_serialPort;
    wxIcon m_hIconPortOpen;
    wxIcon m_hIconPortClosed;
    wxIcon m_hIconMeterOn;
    wxIcon m_hIconMeterOff;
    bool m_portToggle = false;
    signed char m_language = -48;
    bool m_portOpened = false;
    bool m_inFrame = false;
    int m_rxCount = 0;
    int m_dateField = 0;
    int m_lastRecordNo = 0;
    ReportState m_reportState = ReportState::Idle;
    char m_rxBuf[100] = {};
    signed char m_wavelengthIndex = 0;  // 1310 nm until a wavelength is chosen
    LanguageTextSet LanguageTexts;
    std::string m_strTemplatePath;
    std::string m_strReportPath;
    std::string m_strReportName;
    std::string m_strOutputDir;
    std::string m_strMeterId;
    std::string m_strLastNote;
    float m_recordValues[9] = {};
    signed char m_progressPos = 0;
    float m_calValueSent = 0.0f;
    LOGFONT m_listLogFont;
    wxFont m_listFont;
    UINT_PTR m_reportTimer = 0;
    std::array<CButtonNX*, 20> m_buttons{};  // 0 to 7 attached at start-up, 8 to 19 never
    platform::DropDownList* m_comboLanguage = nullptr;
    wxStaticBitmap* m_iconMeter = nullptr;
    CEditListCtrl* m_listRecords = nullptr;
    platform::DropDownList* m_comboPort = nullptr;
    wxStaticBitmap* m_iconPort = nullptr;
    float m_calValue = 0.0f;
    char m_textBuf[20] = {};
    wxIcon m_hIcon;
    std::string m_strCompany;
    std::string m_strSerialNo;
    std::string m_strOperator;
    std::string m_strModel;
    std::string m_strNotes;
    wxGauge* m_progress = nullptr;

private:
    void EndDialog(int result);
    void OnInitDialogEvent(wxInitDialogEvent& event);
    void OnButton(wxCommandEvent& event);
    void OnComboDropdown(wxCommandEvent& event);
    void OnComboCloseup(wxCommandEvent& event);
    void OnRadio(wxCommandEvent& event);
    void OnMenu(wxCommandEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnWindowTimer(wxTimerEvent& event);
    // The current language's table: the one place the language byte is read; nullptr when it
    // names no language.
    const LanguageTable* Language() const { return LanguageOfByte(m_language); }
    // The current language's text; nullopt without a language, when nothing is to be shown.
    std::optional<std::string> LanguageText(ShownText LanguageTable::*text) const;
    void SetPortCaption(bool open);
    // The port's state where the window shows it: the open/close button's caption in the current
    // language and the port-state icon (130 open, 131 closed).
    void ShowPortState(bool open);
    void ShowNotOpenMessage();
    // Asks the current language's question (OK/Cancel under "QEL") and tests the port; true: send.
    bool ConfirmForPort(ShownText LanguageTable::*question);
    void SendCalibration(BYTE code);
    // The first steps of both report steps: members refreshed, COM, the spreadsheet application;
    // false (after its message) when the application cannot be created.
    bool StartReportStep(_Application& app);
    bool PortIsOpen() const { return m_serialPort.IsOpen(); }
    // Runs a report step from the timer or the export button, and settles the cycle as the step
    // is left, also when an automation error passes through it on its way to the application's
    // event dispatch (which shows it).
    enum class ReportStep { Create, Fill, Both };
    void RunReportStep(ReportStep step);
    // The one place that ends a report cycle after a run of its steps: a report that was saved
    // ends it at 100, even when handing it to the desktop failed afterwards; a run that saved
    // nothing and leaves no later step due (an early end or an automation error) abandons it at
    // once. A made report file leaves its fill step due.
    void SettleReportCycle();
    // The end of a report cycle whose report was saved: state Idle, bar 100, timer stopped,
    // UPLOAD DATA enabled.
    void EndReportCycle();
    // The end of an upload or report cycle without a report: state Idle, timer stopped, bar 0,
    // UPLOAD DATA enabled.
    void AbandonReportCycle();
    // Closing the port while an upload waits for the meter's records ends that upload.
    void EndUploadWithPort();

    std::map<UINT_PTR, std::unique_ptr<wxTimer>> m_windowTimers;
    std::unique_ptr<wxMenu> m_systemMenu;  // the About entry, shown as a context menu
    // The report file that the last create step to run to its end made, until a fill step has
    // saved it; empty when there is none. A fill step fills only this file.
    std::string m_unfilledReport;
    // An upload was asked for and the meter has not yet said that it ended.
    bool m_awaitingRecords = false;
    // The fill step of the run of report steps now going has saved its report.
    bool m_reportSaved = false;
    // The window's dialog units, from base units measured once when it was built.
    platform::DialogUnits m_dialogUnits;
    // Holds the keyboard focus for a control disabled while it had it.
    platform::FocusKeeper* m_focusKeeper = nullptr;
    wxWindow* m_parentAtConstruction = nullptr;
    bool m_windowCreated = false;
    // OnInitDialog has run (at the first init-dialog event), and what it returned.
    bool m_initDialogRun = false;
    bool m_focusFirstTabStop = false;

    wxDECLARE_EVENT_TABLE();
};
