#pragma once

namespace plim {

// Screen readers meet the program's own windows (the drawer, the notes window, the settings) as
// frames, as they meet other programs' windows, rather than as anonymous fillers. Once is enough.
void announceWindowsAsFrames();

} // namespace plim
