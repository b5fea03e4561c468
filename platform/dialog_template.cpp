// The dialog-template builder: makes the plain wx controls of a template inside a dialog.
#include "platform/dialog_template.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

#include <gtk/gtk.h>
#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/dcclient.h>
#include <wx/dialog.h>
#include <wx/fontenum.h>
#include <wx/gauge.h>
#include <wx/image.h>
#include <wx/math.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "platform/drop_down_list.h"
#include "platform/report_list.h"
#include "platform/resources.h"

namespace platform {
namespace {

// The template's face when the machine has it, else the first CJK-capable face that is there
// (the program's captions are Chinese), else the default GUI face.
wxFont DialogFont(const std::string& face, int points)
{
    if (points <= 0) points = 9;
    const wxString wanted = wxString::FromUTF8(face);
    std::initializer_list<const char*> fallbacks = {
        "WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans CJK TC",
        "AR PL UMing CN",      "AR PL UMing TW",   "Droid Sans Fallback",
    };
    wxString chosen;
    if (!wanted.empty() && wxFontEnumerator::IsValidFacename(wanted)) {
        chosen = wanted;
    } else {
        for (const char* f : fallbacks) {
            if (wxFontEnumerator::IsValidFacename(f)) {
                chosen = f;
                break;
            }
        }
    }
    wxFontInfo info(points);
    if (!chosen.empty()) info.FaceName(chosen);
    return wxFont(info);
}

// A fully transparent bitmap, for image statics that have nothing to show yet.
wxBitmap EmptyBitmap(int w, int h)
{
    wxImage image(w, h);
    image.InitAlpha();
    unsigned char* alpha = image.GetAlpha();
    for (int i = 0; i < w * h; ++i) alpha[i] = 0;
    return wxBitmap(image);
}

wxWindowID WxId(int id) { return id == -1 ? wxID_ANY : id; }

// Room a button leaves its label: its frame and part of its padding on both sides.
constexpr int kButtonLabelInset = 6;

// Centring the lines of a button's label and centring a static text vertically are toolkit calls
// wx does not offer. A control whose widget is not the label they expect keeps the toolkit's
// defaults.
void CentreButtonLines(wxButton* button)
{
    GtkWidget* widget = button->GetHandle();
    if (widget == nullptr || !GTK_IS_BIN(widget)) return;
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
    if (child != nullptr && GTK_IS_LABEL(child)) gtk_label_set_justify(GTK_LABEL(child), GTK_JUSTIFY_CENTER);
}

void CentreTextVertically(wxStaticText* text)
{
    GtkWidget* widget = text->GetHandle();
    if (widget != nullptr && GTK_IS_LABEL(widget)) gtk_label_set_yalign(GTK_LABEL(widget), 0.5f);
}

// The toolkit draws its progress bar as a thin bar in the middle of the control's rectangle; the
// system's bar fills the rectangle. The bar's own style sheet gives its trough and its filled
// part the control's height (less the trough's frame).
void FillHeight(wxGauge* gauge, int height)
{
    if (gauge->GetHandle() == nullptr) return;
    const int inner = std::max(1, height - 2);  // the trough's frame: one pixel above and below
    const std::string css = "progressbar trough, progressbar progress { min-height: " + std::to_string(inner) +
                            "px; }\nprogressbar trough { border-width: 1px; }\n";
    GtkCssProvider* provider = gtk_css_provider_new();
    if (gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr)) {
        // The bar's parts (trough, progress) are styled through the bar's own context.
        gtk_style_context_add_provider(gtk_widget_get_style_context(gauge->GetHandle()), GTK_STYLE_PROVIDER(provider),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    }
    g_object_unref(provider);
}

// A push button whose caption wraps onto more lines when it is wider than the button, as a
// multiline button does; GetLabel gives the caption as it was set.
class WrappingButton : public wxButton {
public:
    WrappingButton(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& pos, const wxSize& size)
        : wxButton(parent, id, label, pos, size), m_caption(label)
    {
        Rewrap();
        Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
            Rewrap();
            e.Skip();
        });
    }
    void SetLabel(const wxString& label) override
    {
        m_caption = label;
        Rewrap();
    }
    wxString GetLabel() const override { return m_caption; }

private:
    void Rewrap()
    {
        const std::string wrapped =
            WrapCaption(m_caption.utf8_string(), GetSize().x - kButtonLabelInset,
                        [this](const std::string& s) { return GetTextExtent(wxString::FromUTF8(s)).x; });
        const wxString label = wxString::FromUTF8(wrapped);
        if (label != wxButton::GetLabel()) {
            wxButton::SetLabel(label);
            CentreButtonLines(this);
        }
    }
    wxString m_caption;
};

wxWindow* CreateControl(wxDialog* dialog, const ControlTemplate& c, const DialogUnits& units)
{
    const wxRect r = units.ToPixels(c.x, c.y, c.w, c.h);
    const wxWindowID id = WxId(c.id);
    const wxString caption = wxString::FromUTF8(c.caption);
    switch (c.kind) {
    case ControlKind::PushButton: {
        wxButton* b = (c.style & Style::Multiline)
                          ? new WrappingButton(dialog, id, caption, r.GetPosition(), r.GetSize())
                          : new wxButton(dialog, id, caption, r.GetPosition(), r.GetSize());
        if (c.style & Style::Default) {
            b->SetDefault();
            dialog->SetDefaultItem(b);
        }
        return b;
    }
    case ControlKind::GroupBox: return new wxStaticBox(dialog, id, caption, r.GetPosition(), r.GetSize());
    case ControlKind::Text: {
        long style = wxST_NO_AUTORESIZE;
        if (c.style & Style::Right)
            style |= wxALIGN_RIGHT;
        else if (c.style & Style::Center)
            style |= wxALIGN_CENTRE_HORIZONTAL;
        else
            style |= wxALIGN_LEFT;
        auto* text = new wxStaticText(dialog, id, caption, r.GetPosition(), r.GetSize(), style);
        if (c.style & Style::VCenter) CentreTextVertically(text);
        return text;
    }
    case ControlKind::Edit:
        // Single line and without wxTE_PROCESS_ENTER, so Enter reaches the default button.
        // A GTK entry always draws its frame, with or without Style::Border.
        return new wxTextCtrl(dialog, id, caption, r.GetPosition(), r.GetSize());
    case ControlKind::DropDownCombo: return new DropDownList(dialog, id, caption, r);
    case ControlKind::ListView: {
        auto* list = new ReportList(dialog, id, r.GetPosition(), r.GetSize());
        if (!caption.empty()) list->SetLabel(caption);
        return list;
    }
    case ControlKind::Progress: {
        auto* gauge = new wxGauge(dialog, id, 100, r.GetPosition(), r.GetSize(), wxGA_HORIZONTAL | wxGA_SMOOTH);
        FillHeight(gauge, r.height);
        return gauge;
    }
    case ControlKind::IconStatic: {
        wxBitmap bmp;
        if (c.imageId != 0) {
            wxIcon icon = LoadIconResource(c.imageId);
            if (icon.IsOk()) bmp.CopyFromIcon(icon);
        }
        if (!bmp.IsOk()) bmp = EmptyBitmap(32, 32);
        return new wxStaticBitmap(dialog, id, bmp, r.GetPosition(), r.GetSize());
    }
    case ControlKind::BitmapStatic: {
        wxBitmap bmp = LoadBitmapResource(c.imageId);
        if (!bmp.IsOk()) bmp = EmptyBitmap(r.width > 0 ? r.width : 32, r.height > 0 ? r.height : 32);
        wxSize size = r.GetSize();
        if (size.x <= 0 || size.y <= 0) size = bmp.GetSize();
        return new wxStaticBitmap(dialog, id, bmp, r.GetPosition(), size);
    }
    case ControlKind::RadioButton:
        return new wxRadioButton(dialog, id, caption, r.GetPosition(), r.GetSize(),
                                 (c.style & Style::Group) ? wxRB_GROUP : 0);
    case ControlKind::Trackbar:
        return new wxSlider(dialog, id, 0, 0, 100, r.GetPosition(), r.GetSize(), wxSL_HORIZONTAL | wxSL_BOTH);
    }
    return nullptr;
}

// The direct child of `parent` with this id, other than `except`.
wxWindow* FindChild(wxWindow* parent, int id, const wxWindow* except)
{
    for (wxWindow* child : parent->GetChildren()) {
        if (child != except && child->GetId() == id) return child;
    }
    return nullptr;
}

}  // namespace

std::string WrapCaption(const std::string& caption, int width, const std::function<int(const std::string&)>& measure)
{
    if (width <= 0 || caption.empty()) return caption;
    std::string out;
    std::size_t start = 0;
    while (true) {
        const std::size_t nl = caption.find('\n', start);
        const std::string para = caption.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (measure(para) <= width) {
            out += para;
        } else {
            std::string cur;
            std::size_t i = 0;
            while (i < para.size()) {
                std::size_t n = 1;  // one UTF-8 character
                while (i + n < para.size() && (static_cast<unsigned char>(para[i + n]) & 0xC0) == 0x80) ++n;
                const std::string ch = para.substr(i, n);
                i += n;
                if (cur.empty() || measure(cur + ch) <= width) {
                    cur += ch;
                    continue;
                }
                if (ch == " ") {  // the blank at a break is dropped
                    out += cur + '\n';
                    cur.clear();
                    continue;
                }
                const std::size_t blank = cur.rfind(' ');
                if (blank != std::string::npos && blank > 0) {
                    out += cur.substr(0, blank) + '\n';
                    cur = cur.substr(blank + 1) + ch;
                } else {
                    out += cur + '\n';
                    cur = ch;
                }
            }
            out += cur;
        }
        if (nl == std::string::npos) break;
        out += '\n';
        start = nl + 1;
    }
    return out;
}

DialogUnits::DialogUnits(const wxWindow* window)
{
    // As wx measures them: the width of the 52 letters of the alphabet, as the average of 26
    // pairs rounded, and the height of their line, in the top-level window's font.
    const wxWindow* top = wxGetTopLevelParent(const_cast<wxWindow*>(window));
    if (top == nullptr) return;
    const wxSize letters = top->GetTextExtent("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_base = wxSize((letters.x / 26 + 1) / 2, letters.y);
}

wxPoint DialogUnits::ToPixels(const wxPoint& units) const
{
    // Rounded to the nearest pixel (halves away from 0), as wx rounds them.
    return wxPoint(units.x == wxDefaultCoord ? wxDefaultCoord : wxMulDivInt32(units.x, m_base.x, 4),
                   units.y == wxDefaultCoord ? wxDefaultCoord : wxMulDivInt32(units.y, m_base.y, 8));
}

wxRect DialogUnits::ToPixels(int x, int y, int w, int h) const
{
    const wxPoint pos = ToPixels(wxPoint(x, y));
    const wxPoint size = ToPixels(wxPoint(w, h));
    return wxRect(pos.x, pos.y, size.x, size.y);
}

DialogUnits BuildDialog(wxDialog* dialog, const DialogTemplate& tmpl)
{
    dialog->SetFont(DialogFont(tmpl.fontFace, tmpl.fontPoints));
    dialog->SetTitle(wxString::FromUTF8(tmpl.title));
    const DialogUnits units(dialog);
    const wxPoint client = units.ToPixels(wxPoint(tmpl.w, tmpl.h));
    dialog->SetClientSize(client.x, client.y);
    for (const ControlTemplate& c : tmpl.controls) {
        wxWindow* w = CreateControl(dialog, c, units);
        if (w != nullptr && !(c.style & Style::Visible)) w->Hide();
    }
    return units;
}

namespace {

// The innermost shown group box of the dialog that holds `r`, or nullptr.
wxWindow* GroupBoxAround(wxWindow* dialog, const wxRect& r)
{
    wxWindow* best = nullptr;
    for (wxWindow* w : dialog->GetChildren()) {
        if (!w->IsShown() || dynamic_cast<wxStaticBox*>(w) == nullptr) continue;
        if (!w->GetRect().Contains(r)) continue;
        if (best == nullptr || best->GetRect().Contains(w->GetRect())) best = w;
    }
    return best;
}

}  // namespace

void FitLabels(wxDialog* dialog, const DialogTemplate& tmpl, const DialogUnits& units)
{
    const int gap = units.ToPixels(wxPoint(2, 0)).x;
    const wxPoint inset = units.ToPixels(wxPoint(3, 3));
    for (const ControlTemplate& c : tmpl.controls) {
        if (c.kind != ControlKind::Text || !(c.style & Style::Visible) || c.id == -1) continue;
        auto* label = dynamic_cast<wxStaticText*>(dialog->FindWindow(c.id));
        if (label == nullptr) continue;
        const wxRect r = units.ToPixels(c.x, c.y, c.w, c.h);
        const wxString text = label->GetLabel();
        const wxSize one = label->GetTextExtent(text);
        if (one.x <= r.width && one.y <= r.height) {
            label->SetSize(r);
            continue;
        }

        // The free space beside the label: up to the nearest shown control on each side in the
        // label's rows, within its group box.
        int left = 0;
        int right = dialog->GetClientSize().x;
        int bottom = dialog->GetClientSize().y;
        if (wxWindow* group = GroupBoxAround(dialog, r)) {
            const wxRect g = group->GetRect();
            left = g.x + inset.x;
            right = g.GetRight() + 1 - inset.x;
            bottom = g.GetBottom() + 1 - inset.y;
        }
        std::vector<wxRect> others;
        for (wxWindow* w : dialog->GetChildren()) {
            if (w == label || !w->IsShown() || dynamic_cast<wxStaticBox*>(w) != nullptr) continue;
            others.push_back(w->GetRect());
        }
        auto rowsOverlap = [](const wxRect& a, int top, int bottomEdge) {
            return a.y < bottomEdge && a.GetBottom() + 1 > top;
        };
        for (const wxRect& o : others) {
            if (!rowsOverlap(o, r.y, r.y + r.height)) continue;
            if (o.GetRight() < r.x) left = std::max(left, o.GetRight() + 1 + gap);
            if (o.x > r.GetRight()) right = std::min(right, o.x - gap);
        }
        left = std::min(left, r.x);
        right = std::max(right, r.GetRight() + 1);

        // One line where it fits there, else the lines the free width gives.
        wxSize need = one;
        wxString shown = text;
        if (need.x > right - left) {
            shown = wxString::FromUTF8(WrapCaption(text.utf8_string(), right - left, [label](const std::string& s) {
                return label->GetTextExtent(wxString::FromUTF8(s)).x;
            }));
            wxCoord mw = 0, mh = 0;
            wxClientDC dc(label);
            dc.SetFont(label->GetFont());
            dc.GetMultiLineTextExtent(shown, &mw, &mh);
            need = wxSize(mw, mh);
        }
        need.x = std::min(need.x + 2, right - left);  // a pixel's slack on each side for the toolkit's own wrap
        need.y = std::max(need.y, r.height);

        // Keep the aligned side where the room allows.
        int x = r.x;
        if (c.style & Style::Right) {
            x = r.GetRight() + 1 - need.x;
        } else if (c.style & Style::Center) {
            x = r.x + (r.width - need.x) / 2;
        }
        x = std::clamp(x, left, right - need.x);
        // More lines grow downwards, as far as the next control below in the label's columns.
        for (const wxRect& o : others) {
            if (o.x < x + need.x && o.GetRight() + 1 > x && o.y >= r.y + r.height) bottom = std::min(bottom, o.y - gap);
        }
        need.y = std::min(need.y, std::max(bottom - r.y, r.height));
        label->SetSize(x, r.y, need.x, need.y);
    }
}

bool SwapControl(wxWindow* dialog, int id, wxWindow* replacement)
{
    if (dialog == nullptr || replacement == nullptr || replacement->GetParent() != dialog) return false;
    wxWindow* old = FindChild(dialog, id, replacement);
    if (old == nullptr) return false;

    const wxRect rect = old->GetRect();
    const wxString label = old->GetLabel();
    const bool shown = old->IsShown();
    const bool enabled = old->IsEnabled();
    wxTopLevelWindow* tlw = dynamic_cast<wxTopLevelWindow*>(dialog);
    const bool wasDefault = tlw != nullptr && tlw->GetDefaultItem() == old;

    replacement->SetId(id);
    replacement->SetSize(rect);
    replacement->SetLabel(label);
    replacement->Show(shown);
    replacement->Enable(enabled);
    replacement->MoveAfterInTabOrder(old);

    if (wasDefault) tlw->SetDefaultItem(nullptr);
    old->Destroy();
    if (wasDefault) {
        if (auto* b = dynamic_cast<wxButton*>(replacement))
            b->SetDefault();
        else
            tlw->SetDefaultItem(replacement);
    }
    return true;
}

}  // namespace platform
