#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace plim::x11 {

// The few X11 window facts and requests the drawer needs. Everything answers "no" or does nothing
// off X11 (the offscreen platform, Wayland).

bool available();
// Reads again what the window manager offers (kept between reads: it takes round trips).
void readWindowManager();
// The window manager's active window; none when no manager publishes one.
std::optional<quint32> activeWindow();
// The window that holds the keyboard focus (0 for none or the pointer's root).
quint32 inputFocus();
bool isViewable(quint32 window);

// Asks which window has the keyboard (the manager's active window where it publishes one) without
// waiting: the answer, read later, tells how things stood when asked.
class FocusAsk {
public:
    FocusAsk();
    ~FocusAsk();
    FocusAsk(const FocusAsk&) = delete;
    FocusAsk& operator=(const FocusAsk&) = delete;
    // 0 for none; waits for the answer if it is not in yet. Once only.
    quint32 window();

private:
    unsigned int active_ = 0;
    unsigned int focus_ = 0;
};

// Asks whether a compositing manager runs, without waiting; read the answer later.
class CompositingAsk {
public:
    CompositingAsk();
    ~CompositingAsk();
    CompositingAsk(const CompositingAsk&) = delete;
    CompositingAsk& operator=(const CompositingAsk&) = delete;
    // Waits for the answer if it is not in yet. Once only.
    bool compositing();

private:
    unsigned int owner_ = 0;
};
// Gives the window the keyboard the way a pager would (the manager's own request), or directly
// when no manager takes such requests.
void activate(quint32 window);
// A compositing manager owns the screen's selection: translucency shows as such.
bool compositing();
// Marks a window that is not yet mapped as the drawer: on every workspace, not in the taskbar or
// the pager, above other windows.
void markAsDrawer(quint32 window);
// Whether a native event of the toolkit says that the window gained (true) or lost (false) the
// keyboard focus; none for other events.
std::optional<bool> focusChange(const QByteArray& eventType, const void* message, quint32 window);
// KWin's blur behind a window, where the running manager offers it.
bool blurOffered();
void setBlurBehind(quint32 window, bool on);

} // namespace plim::x11
