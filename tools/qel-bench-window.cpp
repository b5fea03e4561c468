// The baselines of the benchmark's start-up part (tools/qel-bench.cpp), each a program that shows
// one window and runs until it is ended:
//   qel-bench-window frame WIDTH HEIGHT
//     a bare wx frame whose client area is WIDTH x HEIGHT pixels: the least a wx program does to
//     show a window of the console's size;
//   qel-bench-window dialog WIDTH HEIGHT FACE POINTS
//     a plain wx dialog of that client size in the font FACE of POINTS points, holding the
//     controls of the console's main window: the kinds and count of its template, at the
//     template's places, with its captions, the hidden ones hidden, each made of the plain wx
//     class of its kind (no pictures, no custom controls, no texts from the language file), and
//     shown modally, as the console shows its window.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/gauge.h>
#include <wx/init.h>
#include <wx/listctrl.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "platform/dialog_template.h"
#include "resources/resource_ids.h"

namespace {

struct Request {
    std::string kind;  // "frame" or "dialog"
    int width = 0;
    int height = 0;
    std::string face;
    int points = 0;
};
Request g_request;

wxWindowID IdOf(const platform::ControlTemplate& c) { return c.id == -1 ? wxID_ANY : c.id; }

// The plain wx control of the template's kind.
wxWindow* CreatePlainControl(wxDialog* dialog, const platform::ControlTemplate& c)
{
    using K = platform::ControlKind;
    namespace S = platform::Style;
    const wxPoint pos = dialog->ConvertDialogToPixels(wxPoint(c.x, c.y));
    const wxSize size = dialog->ConvertDialogToPixels(wxSize(c.w, c.h));
    const wxString caption = wxString::FromUTF8(c.caption);
    switch (c.kind) {
    case K::PushButton: {
        auto* button = new wxButton(dialog, IdOf(c), caption, pos, size);
        if (c.style & S::Default) button->SetDefault();
        return button;
    }
    case K::GroupBox: return new wxStaticBox(dialog, IdOf(c), caption, pos, size);
    case K::Text: {
        const long align = (c.style & S::Right) ? wxALIGN_RIGHT : (c.style & S::Center) ? wxALIGN_CENTRE_HORIZONTAL : 0;
        return new wxStaticText(dialog, IdOf(c), caption, pos, size, wxST_NO_AUTORESIZE | align);
    }
    case K::Edit: return new wxTextCtrl(dialog, IdOf(c), caption, pos, size);
    case K::DropDownCombo:
        // The template's height is that of the box with its dropped list; the box takes its own.
        return new wxComboBox(dialog, IdOf(c), caption, pos, wxSize(size.x, wxDefaultCoord), 0, nullptr, wxCB_DROPDOWN);
    case K::ListView: return new wxListCtrl(dialog, IdOf(c), pos, size, wxLC_REPORT);
    case K::Progress: return new wxGauge(dialog, IdOf(c), 100, pos, size);
    case K::IconStatic:
    case K::BitmapStatic: return new wxStaticBitmap(dialog, IdOf(c), wxNullBitmap, pos, size);
    case K::RadioButton:
        return new wxRadioButton(dialog, IdOf(c), caption, pos, size, (c.style & S::Group) ? wxRB_GROUP : 0);
    case K::Trackbar: return new wxSlider(dialog, IdOf(c), 0, 0, 100, pos, size);
    }
    return nullptr;
}

class BaselineApp : public wxApp {
public:
    int OnRun() override
    {
        const platform::DialogTemplate* tmpl = platform::FindDialogTemplate(IDD_QEL_DIALOG);
        if (tmpl == nullptr) return 1;
        const wxString title = wxString::FromUTF8(tmpl->title);
        if (g_request.kind == "frame") {
            auto* frame = new wxFrame(nullptr, wxID_ANY, title);
            frame->SetClientSize(g_request.width, g_request.height);
            frame->Centre();
            frame->Show();
            return wxApp::OnRun();
        }
        wxDialog dialog(nullptr, wxID_ANY, title, wxDefaultPosition, wxDefaultSize,
                        wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX);
        dialog.SetFont(wxFont(wxFontInfo(g_request.points).FaceName(wxString::FromUTF8(g_request.face))));
        dialog.SetClientSize(g_request.width, g_request.height);
        for (const platform::ControlTemplate& c : tmpl->controls) {
            wxWindow* control = CreatePlainControl(&dialog, c);
            if (control != nullptr && !(c.style & platform::Style::Visible)) control->Hide();
        }
        dialog.Centre();
        dialog.ShowModal();
        return 0;
    }
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(BaselineApp);

int main(int argc, char** argv)
{
    const std::string kind = argc > 1 ? argv[1] : "";
    if (!((kind == "frame" && argc == 4) || (kind == "dialog" && argc == 6))) {
        std::fprintf(stderr, "usage: %s frame WIDTH HEIGHT | dialog WIDTH HEIGHT FACE POINTS\n", argv[0]);
        return 2;
    }
    g_request.kind = kind;
    g_request.width = std::atoi(argv[2]);
    g_request.height = std::atoi(argv[3]);
    if (kind == "dialog") {
        g_request.face = argv[4];
        g_request.points = std::atoi(argv[5]);
    }
    int wxArgc = 1;
    return wxEntry(wxArgc, argv);
}
