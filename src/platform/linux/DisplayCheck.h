#pragma once

#include <QString>

#include <optional>

namespace plim {

// Why no window could be shown from this environment, as "no display (…)"; none when the display
// the program would use can be opened. Qt's platform decides which: a Wayland compositor
// (WAYLAND_DISPLAY), an X server (DISPLAY), either when unset; a platform that needs none
// (offscreen, for tests and headless runs) always has one.
std::optional<QString> displayProblem();

// Whether the application's connection to its X server broke (the server went away).
bool displayConnectionLost();

// Sends what the application has queued for its X server now rather than when the event loop next
// waits: the tray icon's request to be shown goes out before the rest of the start-up.
void flushDisplay();

} // namespace plim
