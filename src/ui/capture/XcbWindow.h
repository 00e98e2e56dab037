#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace plim::x11 {

// The few X11 window facts and requests the drawer needs. Everything answers "no" or does nothing
// off X11 (the offscreen platform, Wayland).

bool available();
// The window manager's active window; none when no manager publishes one.
std::optional<quint32> activeWindow();
// The window that holds the keyboard focus (0 for none or the pointer's root).
quint32 inputFocus();
bool isViewable(quint32 window);
// Gives the window the keyboard the way a pager would (the manager's own request), or directly
// when no manager takes such requests.
void activate(quint32 window);
// A compositing manager owns the screen's selection: translucency shows as such.
bool compositing();
// Marks a window that is not yet mapped as the drawer: on every workspace, not in the taskbar or
// the pager, above other windows.
void markAsDrawer(quint32 window);
// Whether a native event of the toolkit says that the window now has the keyboard focus.
bool gainsFocus(const QByteArray& eventType, const void* message, quint32 window);
// KWin's blur behind a window, where the running manager offers it.
bool blurOffered();
void setBlurBehind(quint32 window, bool on);

} // namespace plim::x11
