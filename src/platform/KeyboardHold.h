#pragma once

namespace plim {

// The keys typed since a global shortcut was pressed, kept waiting at the desktop, in order, while
// this lives; once it goes they reach whichever window has the keyboard then.
class KeyboardHold {
public:
    virtual ~KeyboardHold() = default;
};

} // namespace plim
