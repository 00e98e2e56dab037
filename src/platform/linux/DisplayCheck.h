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

} // namespace plim
