// Dialog templates as data, and the builder that makes a window's controls from one.
//
// A template lists its controls in tab order with their numeric ids, kinds, styles, rectangles in
// dialog units and captions (UTF-8). The builder creates each control as the plain wx control of
// its kind, with the template's id, at the rectangle converted as ConvertDialogToPixels converts
// it, in template order, and creates hidden controls hidden. Attaching a custom class later swaps the
// plain control in place (same id, rectangle, caption, tab position).
#pragma once
#include <functional>
#include <string>
#include <vector>

#include <wx/gdicmn.h>

class wxWindow;
class wxDialog;

namespace platform {

enum class ControlKind {
    PushButton,  // push button; Style::Default makes it the default button
    GroupBox,
    Text,           // static text; Style::Right / Style::Center / Style::VCenter align it
    Edit,           // single-line edit
    DropDownCombo,  // drop-down combo box with an edit field, not sorted (platform::DropDownList)
    ListView,       // report-view list (platform::ReportList)
    Progress,       // progress bar, range 0 to 100
    IconStatic,     // static that shows an icon
    BitmapStatic,   // static that shows a bitmap resource (imageId)
    RadioButton,    // automatic radio button
    Trackbar,       // slider
};

namespace Style {
constexpr unsigned None = 0;
constexpr unsigned Visible = 1u << 0;  // created shown
constexpr unsigned TabStop = 1u << 1;
constexpr unsigned Default = 1u << 2;    // default push button
constexpr unsigned Multiline = 1u << 3;  // button caption may wrap
constexpr unsigned Center = 1u << 4;     // centred caption
constexpr unsigned Right = 1u << 5;      // right-aligned text
constexpr unsigned VCenter = 1u << 6;    // vertically centred text
constexpr unsigned Border = 1u << 7;
constexpr unsigned AutoHScroll = 1u << 8;
constexpr unsigned VScroll = 1u << 9;
constexpr unsigned Group = 1u << 10;  // first of a radio group
}  // namespace Style

struct ControlTemplate {
    int id;  // -1: no id of its own
    ControlKind kind;
    unsigned style;       // Style:: bits
    int x, y, w, h;       // dialog units
    std::string caption;  // UTF-8; "" for none
    int imageId = 0;      // BitmapStatic: bitmap resource; IconStatic: icon resource (0: none)
};

struct DialogTemplate {
    int id;
    std::string title;  // UTF-8
    int w, h;           // dialog units
    std::string fontFace;
    int fontPoints;
    std::vector<ControlTemplate> controls;  // tab order
};

// Templates of the program (resources/dialogs.cpp).
const DialogTemplate* FindDialogTemplate(int id);

// The dialog units of one dialog, converted to pixels as ConvertDialogToPixels converts them: a
// horizontal unit is a quarter of the average width of a letter of the dialog's font, a vertical
// one an eighth of the height of its line. The two base units are measured once, when the units
// are made; wx measures them at every conversion.
class DialogUnits {
public:
    DialogUnits() = default;  // of no dialog: every length is 0 pixels
    // Measures the base units of the top-level window of `window` in its font as it is now.
    explicit DialogUnits(const wxWindow* window);

    // The base units: the average width of a letter and the height of a line, in pixels.
    wxSize Base() const { return m_base; }
    // A point or size in dialog units in pixels, rounded to the nearest; wxDefaultCoord stays.
    wxPoint ToPixels(const wxPoint& units) const;
    // A template rectangle in pixels.
    wxRect ToPixels(int x, int y, int w, int h) const;

private:
    wxSize m_base;
};

// Sets the dialog's font, title and client size from the template and creates its controls in
// template order. The dialog must already exist (Create called) with no controls of its own.
// Returns the dialog's units, measured once in its font, in which its controls were placed.
DialogUnits BuildDialog(wxDialog* dialog, const DialogTemplate& tmpl);

// Gives each shown static text of the template the room its caption needs, as the caption now
// stands: a caption that fits keeps the template's rectangle; one that does not gets the least
// room it needs within the free space beside it (up to the neighbouring controls or the edge of
// its group box), keeping the side it is aligned to where it can, and, when one line is still
// too wide there, more lines in the free space below it. Run after captions change, with the
// units BuildDialog gave.
void FitLabels(wxDialog* dialog, const DialogTemplate& tmpl, const DialogUnits& units);

// Replaces control `id` of `dialog` by `replacement`, which must be created already with the
// same parent: it takes the old control's id, rectangle, caption, visibility and tab position,
// and the old control is destroyed. Returns false when there is no such control.
bool SwapControl(wxWindow* dialog, int id, wxWindow* replacement);

// Breaks a caption into lines no wider than `width` (as `measure` gives widths): at the last blank
// that fits, else between characters (texts without blanks, such as Chinese). Existing line
// breaks stay; a caption that fits comes back unchanged. Multiline push buttons show their
// captions this way, also captions set later with SetLabel; their GetLabel gives the caption as set.
std::string WrapCaption(const std::string& caption, int width, const std::function<int(const std::string&)>& measure);

}  // namespace platform
