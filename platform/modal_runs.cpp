#include "platform/modal_runs.h"

#include <algorithm>
#include <atomic>

#include <gtk/gtk.h>
#include <wx/combo.h>
#include <wx/dialog.h>
#include <wx/menu.h>

namespace platform {

namespace {

std::atomic<int> g_refusing{0};  // the ModalRuns objects that refuse runs

}  // namespace

ModalRuns::ModalRuns() { Register(); }

ModalRuns::~ModalRuns()
{
    Unregister();
    if (m_refusing) --g_refusing;
}

int ModalRuns::Enter(wxDialog* dialog)
{
    if (m_refusing) return wxID_CANCEL;
    m_open.push_back(dialog);
    return wxID_NONE;
}

void ModalRuns::Exit(wxDialog* dialog)
{
    // The innermost run ends first; a run ended out of order is taken from where it stands.
    auto it = std::find(m_open.rbegin(), m_open.rend(), dialog);
    if (it != m_open.rend()) m_open.erase(std::next(it).base());
}

bool ModalRuns::AnyInside(const wxDialog* dialog) const
{
    auto it = std::find(m_open.begin(), m_open.end(), dialog);
    return it == m_open.end() ? !m_open.empty() : std::next(it) != m_open.end();
}

void ModalRuns::AnswerInside(const wxDialog* dialog)
{
    auto outer = std::find(m_open.begin(), m_open.end(), dialog);
    const size_t first = outer == m_open.end() ? 0 : static_cast<size_t>(outer - m_open.begin()) + 1;
    // The list stays as it is meanwhile: a run leaves it when its ShowModal returns.
    for (size_t i = m_open.size(); i > first; --i) {
        wxDialog* inner = m_open[i - 1];
        if (inner->IsModal()) {
            inner->EndModal(wxID_CANCEL);
            continue;
        }
        // A toolkit message box: wx's own modal state stays off, the toolkit runs the dialog.
        auto* widget = static_cast<GtkWidget*>(inner->GetHandle());
        if (widget != nullptr && GTK_IS_DIALOG(widget))
            gtk_dialog_response(GTK_DIALOG(widget), GTK_RESPONSE_DELETE_EVENT);
    }
}

void ModalRuns::Refuse()
{
    if (m_refusing) return;
    m_refusing = true;
    ++g_refusing;
}

bool ModalRuns::AnyRefusing() { return g_refusing.load() > 0; }

void CloseDroppedLists(wxWindow* window)
{
    if (window == nullptr) return;
    for (wxWindow* child : window->GetChildren()) {
        if (auto* combo = dynamic_cast<wxComboCtrl*>(child); combo != nullptr && combo->IsPopupShown())
            combo->Dismiss();
        if (!child->IsTopLevel()) CloseDroppedLists(child);
    }
}

bool MenuPoppedUp(const wxMenu* menu) { return menu != nullptr && menu->m_popupShown; }

void ClosePoppedUpMenu(const wxMenu* menu)
{
    if (!MenuPoppedUp(menu) || menu->m_menu == nullptr) return;
    // Hiding the menu is what ends wx's loop of the popup.
    gtk_menu_popdown(GTK_MENU(menu->m_menu));
}

}  // namespace platform
