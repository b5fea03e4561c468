#include "console/QELDlg.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/gauge.h>
#include <wx/iconbndl.h>
#include <wx/odcombo.h>
#include <wx/radiobut.h>
#include <wx/statbmp.h>
#include <wx/textctrl.h>

#include "console/AboutDlg.h"
#include "console/QELApp.h"
#include "core/message_box.h"
#include "platform/dialog_template.h"
#include "platform/focus_keeper.h"
#include "platform/resources.h"
#include "resources/resource_ids.h"

wxBEGIN_EVENT_TABLE(CQELDlg, wxDialog)
    EVT_INIT_DIALOG(CQELDlg::OnInitDialogEvent)
    EVT_PAINT(CQELDlg::OnPaint)
    EVT_CONTEXT_MENU(CQELDlg::OnContextMenu)
    EVT_MENU(IDM_ABOUTBOX, CQELDlg::OnMenu)
    EVT_COMBOBOX_DROPDOWN(IDC_COMBO_PORT, CQELDlg::OnComboDropdown)
    EVT_BUTTON(IDC_OPEN_COM, CQELDlg::OnButton)
    EVT_BUTTON(IDC_CONNECT, CQELDlg::OnButton)
    EVT_BUTTON(IDC_DISCONNECT, CQELDlg::OnButton)
    EVT_BUTTON(IDC_UPLOAD, CQELDlg::OnButton)
    EVT_BUTTON(IDC_SAVE_PRINT, CQELDlg::OnButton)
    EVT_COMBOBOX_CLOSEUP(IDC_COMBO_LANGUAGE, CQELDlg::OnComboCloseup)
    EVT_BUTTON(IDC_TIME_SET, CQELDlg::OnButton)
    EVT_BUTTON(IDC_POWER_CALIBRATE, CQELDlg::OnButton)
    EVT_BUTTON(IDC_RESET, CQELDlg::OnButton)
    EVT_BUTTON(IDC_EXPORT, CQELDlg::OnButton)
    EVT_BUTTON(IDC_DELETE_ALL, CQELDlg::OnButton)
    EVT_RADIOBUTTON(IDC_RADIO_CHINESE, CQELDlg::OnRadio)
    EVT_RADIOBUTTON(IDC_RADIO_ENGLISH, CQELDlg::OnRadio)
    EVT_RADIOBUTTON(IDC_RADIO_1310, CQELDlg::OnRadio)
    EVT_RADIOBUTTON(IDC_RADIO_1490, CQELDlg::OnRadio)
    EVT_RADIOBUTTON(IDC_RADIO_1550, CQELDlg::OnRadio)
    EVT_BUTTON(IDC_FTCAL, CQELDlg::OnButton)
    EVT_TIMER(wxID_ANY, CQELDlg::OnWindowTimer)
    EVT_BUTTON(IDC_EXIT, CQELDlg::OnButton)
    EVT_CHAR_HOOK(CQELDlg::OnCharHook)
    EVT_CLOSE(CQELDlg::OnClose)
wxEND_EVENT_TABLE()

CQELDlg::CQELDlg(wxWindow* parent)
{
    m_calValue = 0.0f;
    m_hIcon = platform::LoadIconResource(IDR_MAINFRAME);
    m_parentAtConstruction = parent;
}

CQELDlg::~CQELDlg()
{
    // Notifications still queued by the monitor thread must not reach a window being destroyed.
    m_serialPort.DetachOwner();
    m_windowTimers.clear();
}

std::string CQELDlg::CurrentDirectory()
{
    std::vector<char> buf(256);
    for (;;) {
        if (getcwd(buf.data(), buf.size()) != nullptr) return std::string(buf.data());
        if (errno != ERANGE || buf.size() > (1u << 20)) return std::string(".");
        buf.resize(buf.size() * 2);
    }
}

bool CQELDlg::CreateDialogWindow()
{
    if (m_windowCreated) return true;
    const platform::DialogTemplate* tmpl = platform::FindDialogTemplate(IDD_QEL_DIALOG);
    if (tmpl == nullptr) return false;
    if (!Create(m_parentAtConstruction, wxID_ANY, wxString::FromUTF8(tmpl->title), wxDefaultPosition, wxDefaultSize,
                wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX)) {
        return false;
    }
    SetEscapeId(wxID_NONE);
    m_dialogUnits = platform::BuildDialog(this, *tmpl);
    m_focusKeeper = new platform::FocusKeeper(this);
    m_windowCreated = true;
    // The calibrate button's double click has its handler (OnBnDoubleclickedPowerCalibrate), but
    // no event leads there: the bitmap button turns a double click into a second press.
    InitDialog();  // sends the init-dialog event: OnInitDialog, once
    return true;
}

int CQELDlg::DoModal()
{
    if (!CreateDialogWindow()) return -1;
    Centre();
    return ShowModal();
}

void CQELDlg::OnInitDialogEvent(wxInitDialogEvent&)
{
    // The event comes from CreateDialogWindow and again each time the window is shown (wxGTK's
    // Show sends it); the steps of OnInitDialog run at the first only. TRUE: the keyboard focus
    // goes to the first tab stop, which the window shows with it. Left to the toolkit, the window
    // would open with the focus on the control nearest its top.
    if (!m_initDialogRun) {
        m_initDialogRun = true;
        m_focusFirstTabStop = OnInitDialog() != FALSE;
    }
    if (!m_focusFirstTabStop) return;
    for (wxWindow* child : GetChildren()) {
        if (!child->IsTopLevel() && child->CanAcceptFocus()) {
            child->SetFocus();
            break;
        }
    }
}

BOOL CQELDlg::OnInitDialog()
{
    // Bind the controls of the data exchange and fill them from the members.
    UpdateData(FALSE);

    // The window menu's About entry, shown as the client area's context menu (when the string
    // table holds its text).
    std::string about = platform::LoadStringResource(IDS_ABOUTBOX);
    if (!about.empty()) {
        m_systemMenu = std::make_unique<wxMenu>();
        m_systemMenu->Append(IDM_ABOUTBOX, wxString::FromUTF8(about));
    }

    // The window's icons, which also stand for it minimised.
    if (m_hIcon.IsOk()) {
        wxIconBundle icons;
        icons.AddIcon(m_hIcon);
        SetIcons(icons);
    }

    // Load the port and meter state icons; both show their "off" state: port closed, meter not
    // connected.
    m_hIconPortOpen = platform::LoadIconResource(IDI_PORT_OPEN);
    m_hIconPortClosed = platform::LoadIconResource(IDI_PORT_CLOSED);
    m_hIconMeterOn = platform::LoadIconResource(IDI_METER_ON);
    m_hIconMeterOff = platform::LoadIconResource(IDI_METER_OFF);
    if (m_iconPort != nullptr && m_hIconPortClosed.IsOk()) m_iconPort->SetIcon(m_hIconPortClosed);
    if (m_iconMeter != nullptr && m_hIconMeterOff.IsOk()) m_iconMeter->SetIcon(m_hIconMeterOff);

    // The port starts closed and the receiver empty, with no record in the table.
    m_portToggle = false;
    m_portOpened = false;
    m_rxCount = 0;
    m_lastRecordNo = 0;

    // Fill the language list with its entries, in list order.
    if (m_comboLanguage != nullptr) {
        m_comboLanguage->Clear();
        for (int i = 0; i < kLanguageCount; ++i)
            m_comboLanguage->Append(wxString::FromUTF8(LanguageAtListIndex(i)->listEntry));
    }

    // The language file, the report template and the report folder are in the current directory.
    std::string dir = CurrentDirectory();
    std::string languagePath = dir + "/language.ini";
    m_strTemplatePath = dir + "/savemode.xlsx";
    m_strOutputDir = dir + "/savefile/";

    // Read the language file and show the texts of its language.
    ReadLanguageFile(languagePath);
    ApplyLanguage();
    // Without a language the template's captions stay; they too get the room they need. A
    // language's captions got it as they were applied.
    if (Language() == nullptr) {
        if (const platform::DialogTemplate* tmpl = platform::FindDialogTemplate(IDD_QEL_DIALOG))
            platform::FitLabels(this, *tmpl, m_dialogUnits);
    }

    // The progress bar runs from 0 to 100 and starts empty.
    if (m_progress != nullptr) m_progress->SetRange(100);
    m_progressPos = 0;
    if (m_progress != nullptr) m_progress->SetValue(m_progressPos);

    // Attach the icon buttons: one icon each, in the 3-D look.
    static const struct {
        int control;
        int icon;
    } kButtons[8] = {{IDC_UPLOAD, IDI_UPLOAD},
                     {IDC_EXPORT, IDI_EXPORT},
                     {IDC_DELETE_ALL, IDI_DELETE_ALL},
                     {IDC_SAVE_PRINT, IDI_SAVE_PRINT},
                     {IDC_TIME_SET, IDI_TIME_SET},
                     {IDC_EXIT, IDI_EXIT},
                     {IDC_POWER_CALIBRATE, IDI_CALIBRATE},
                     {IDC_RESET, IDI_RESET}};
    for (size_t i = 0; i < 8; ++i) {
        m_buttons[i] = AttachButtonNX(this, kButtons[i].control);
        if (m_buttons[i] == nullptr) continue;
        m_buttons[i]->SetIcons(kButtons[i].icon, 0);
        m_buttons[i]->SetFlatLook(FALSE, TRUE);
    }

    // The records table's look: grey background, a font 1.2 times the list's own.
    if (m_listRecords != nullptr) {
        m_listRecords->SetBkColor(wxColour(204, 204, 204));
        wxFont font = m_listRecords->GetFont();
        if (!font.IsOk()) font = GetFont();
        m_listLogFont.lfHeight = -font.GetPixelSize().GetHeight();
        m_listLogFont.lfWidth = 0;
        m_listLogFont.family = font.GetFamily();
        m_listLogFont.style = font.GetStyle();
        m_listLogFont.weight = font.GetWeight();
        m_listLogFont.faceName = font.GetFaceName();
        m_listLogFont.lfHeight = static_cast<int>(m_listLogFont.lfHeight * 1.2);
        m_listLogFont.lfWidth = static_cast<int>(m_listLogFont.lfWidth * 1.2);
        m_listFont = wxFont(wxSize(m_listLogFont.lfWidth, std::abs(m_listLogFont.lfHeight)), m_listLogFont.family,
                            m_listLogFont.style, m_listLogFont.weight, false, m_listLogFont.faceName);
        if (m_listFont.IsOk()) m_listRecords->SetListFont(m_listFont, true);
    }
    return TRUE;
}

bool CQELDlg::DoDataExchange(bool save)
{
    // Controls bound by subclassing.
    m_comboLanguage = dynamic_cast<platform::DropDownList*>(FindWindow(IDC_COMBO_LANGUAGE));
    m_iconMeter = dynamic_cast<wxStaticBitmap*>(FindWindow(IDC_ICON_METER));
    m_listRecords = dynamic_cast<CEditListCtrl*>(FindWindow(IDC_LIST_RECORDS));
    if (m_listRecords == nullptr && FindWindow(IDC_LIST_RECORDS) != nullptr) {
        // The template's plain list becomes the editable records list, in its place.
        auto* list = new CEditListCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize);
        if (platform::SwapControl(this, IDC_LIST_RECORDS, list)) {
            m_listRecords = list;
        } else {
            list->Destroy();
        }
    }
    m_comboPort = dynamic_cast<platform::DropDownList*>(FindWindow(IDC_COMBO_PORT));
    m_iconPort = dynamic_cast<wxStaticBitmap*>(FindWindow(IDC_ICON_PORT));

    // The calibration value, as the framework exchanges a float: an unreadable text stops the
    // exchange with its prompt and leaves the remaining members as they were.
    if (save) {
        std::string text = GetDlgItemText(IDC_EDIT_CALVALUE);
        const char* begin = text.c_str();
        while (*begin == ' ' || *begin == '\t') ++begin;
        char* end = nullptr;
        errno = 0;
        double value = std::strtod(begin, &end);
        while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
        if (end == begin || end == nullptr || *end != '\0' || errno == ERANGE || std::fabs(value) > 3.402823466e38) {
            AfxMessageBox(platform::LoadStringResource(AFX_IDP_PARSE_REAL), MB_OK | MB_ICONEXCLAMATION);
            if (wxWindow* edit = FindWindow(IDC_EDIT_CALVALUE)) edit->SetFocus();
            return false;
        }
        m_calValue = static_cast<float>(value);
    } else {
        SetDlgItemText(IDC_EDIT_CALVALUE, Format("%.*g", 6, static_cast<double>(m_calValue)));
    }

    struct Bound {
        int id;
        std::string* member;
    };
    const Bound texts[] = {{IDC_EDIT_COMPANY, &m_strCompany},
                           {IDC_EDIT_SERIALNO, &m_strSerialNo},
                           {IDC_EDIT_OPERATOR, &m_strOperator},
                           {IDC_EDIT_MODEL, &m_strModel},
                           {IDC_EDIT_NOTES, &m_strNotes}};
    for (const Bound& b : texts) {
        if (save) {
            *b.member = GetDlgItemText(b.id);
        } else {
            SetDlgItemText(b.id, *b.member);
        }
    }
    m_progress = dynamic_cast<wxGauge*>(FindWindow(IDC_PROGRESS));
    return true;
}

BOOL CQELDlg::UpdateData(BOOL saveAndValidate) { return DoDataExchange(saveAndValidate != FALSE) ? TRUE : FALSE; }

void CQELDlg::OnSysCommand(UINT id, LPARAM)
{
    if ((id & 0xFFF0) == static_cast<UINT>(IDM_ABOUTBOX)) {
        CAboutDlg dlgAbout(this);
        dlgAbout.DoModal();
    }
}

void CQELDlg::OnContextMenu(wxContextMenuEvent&)
{
    if (m_systemMenu) PopupMenu(m_systemMenu.get());
}

void CQELDlg::OnMenu(wxCommandEvent& event) { OnSysCommand(static_cast<UINT>(event.GetId()), 0); }

void CQELDlg::OnPaint(wxPaintEvent& event)
{
    if (IsIconized() && m_hIcon.IsOk()) {
        wxPaintDC dc(this);
        wxSize client = GetClientSize();
        int x = (client.GetWidth() - m_hIcon.GetWidth() + 1) / 2;
        int y = (client.GetHeight() - m_hIcon.GetHeight() + 1) / 2;
        dc.DrawIcon(m_hIcon, x, y);
        return;
    }
    event.Skip();
}

void CQELDlg::OnButton(wxCommandEvent& event)
{
    switch (event.GetId()) {
    case IDC_EXIT: OnBnClickedExit(); break;
    case IDC_OPEN_COM: OnBnClickedOpenCom(); break;
    case IDC_CONNECT: OnBnClickedConnect(); break;
    case IDC_DISCONNECT: OnBnClickedDisconnect(); break;
    case IDC_UPLOAD: OnBnClickedUpload(); break;
    case IDC_SAVE_PRINT: OnBnClickedSaveOrPrint(); break;
    case IDC_TIME_SET: OnBnClickedTimeSet(); break;
    case IDC_POWER_CALIBRATE: OnBnClickedPowerCalibrate(); break;
    case IDC_RESET: OnBnClickedReset(); break;
    case IDC_EXPORT: OnBnClickedExport(); break;
    case IDC_DELETE_ALL: OnBnClickedDeleteAll(); break;
    case IDC_FTCAL: OnBnClickedFtcal(); break;
    default: event.Skip(); break;
    }
}

void CQELDlg::OnBnClickedExit() { EndDialog(IDOK); }

void CQELDlg::OnRadio(wxCommandEvent& event)
{
    switch (event.GetId()) {
    case IDC_RADIO_CHINESE: OnBnClickedChinese(); break;
    case IDC_RADIO_ENGLISH: OnBnClickedEnglish(); break;
    case IDC_RADIO_1310: OnBnClicked1310(); break;
    case IDC_RADIO_1490: OnBnClicked1490(); break;
    case IDC_RADIO_1550: OnBnClicked1550(); break;
    default: event.Skip(); break;
    }
}

void CQELDlg::OnComboDropdown(wxCommandEvent& event)
{
    OnCbnDropdownComPort();
    event.Skip();
}

void CQELDlg::OnComboCloseup(wxCommandEvent& event)
{
    OnCbnCloseupLanguage();
    event.Skip();
}

void CQELDlg::OnCharHook(wxKeyEvent& event)
{
    if (event.GetKeyCode() == WXK_ESCAPE) {
        EndDialog(IDCANCEL);
        return;
    }
    event.Skip();
}

void CQELDlg::OnClose(wxCloseEvent&) { EndDialog(IDCANCEL); }

void CQELDlg::EndDialog(int result)
{
    if (IsModal()) {
        EndModal(result);
    } else {
        Hide();
    }
}

int CQELDlg::MessageBox(const std::string& text, const std::string& caption, UINT style)
{
    return core::ShowMessageBox(this, text, caption, style);
}

int CQELDlg::AfxMessageBox(const std::string& text, UINT style)
{
    if ((style & MB_ICONMASK) == 0) style |= MB_ICONEXCLAMATION;
    return core::ShowMessageBox(nullptr, text, CQELApp::AppTitle(), style);
}

UINT_PTR CQELDlg::SetTimer(UINT_PTR id, UINT elapseMs)
{
    auto& timer = m_windowTimers[id];
    if (!timer) timer = std::make_unique<wxTimer>(this, static_cast<int>(id));
    timer->Start(static_cast<int>(elapseMs));  // a running timer restarts its period
    return id;
}

BOOL CQELDlg::KillTimer(UINT_PTR id)
{
    auto it = m_windowTimers.find(id);
    if (it == m_windowTimers.end() || !it->second->IsRunning()) return FALSE;
    it->second->Stop();
    return TRUE;
}

bool CQELDlg::IsTimerRunning(UINT_PTR id) const
{
    auto it = m_windowTimers.find(id);
    return it != m_windowTimers.end() && it->second->IsRunning();
}

void CQELDlg::OnWindowTimer(wxTimerEvent& event) { OnTimer(static_cast<UINT_PTR>(event.GetId())); }

void CQELDlg::SetDlgItemText(int id, const std::string& text)
{
    wxWindow* w = FindWindow(id);
    if (w == nullptr) return;
    wxString value = wxString::FromUTF8(text);
    if (auto* edit = dynamic_cast<wxTextCtrl*>(w)) {
        edit->ChangeValue(value);
    } else if (auto* combo = dynamic_cast<wxOwnerDrawnComboBox*>(w)) {
        combo->SetValue(value);
    } else {
        w->SetLabel(value);
    }
}

std::string CQELDlg::GetDlgItemText(int id) const
{
    wxWindow* w = FindWindow(id);
    if (w == nullptr) return std::string();
    if (auto* edit = dynamic_cast<wxTextCtrl*>(w)) return edit->GetValue().utf8_string();
    if (auto* combo = dynamic_cast<wxOwnerDrawnComboBox*>(w)) return combo->GetValue().utf8_string();
    return w->GetLabel().utf8_string();
}

void CQELDlg::EnableDlgItem(int id, bool enable)
{
    wxWindow* w = FindWindow(id);
    if (w == nullptr) return;
    if (m_focusKeeper != nullptr) {
        m_focusKeeper->EnableControl(w, enable);
    } else {
        w->Enable(enable);
    }
}

bool CQELDlg::IsDlgItemEnabled(int id) const
{
    wxWindow* w = FindWindow(id);
    return w != nullptr && w->IsThisEnabled();
}

LRESULT CQELDlg::OnSerialNotify(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SERIAL_BYTE) return OnSerialByte(wParam, lParam);
    if (message == WM_SERIAL_LOST) OnSerialPortLost();
    return 0;  // the link's other notifications get the default handling: nothing
}
