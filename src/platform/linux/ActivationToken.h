#pragma once

#include <QByteArray>

namespace plim {

// Lends the startup token of whoever asked for a window (a command run from a launcher or a
// desktop binding, a portal shortcut) to the activations made while it lives. On Wayland Qt hands
// XDG_ACTIVATION_TOKEN of the environment to the compositor with the next activation request and
// clears it, and the compositor lets a window that brings a fresh token take the keyboard. What is
// left unspent is cleared when the scope ends, so it reaches neither programs started later nor an
// unrelated activation. Elsewhere (X11 asks the window manager in its own way) it does nothing.
class ActivationTokenScope {
public:
    explicit ActivationTokenScope(const QByteArray& token);
    ~ActivationTokenScope();
    ActivationTokenScope(const ActivationTokenScope&) = delete;
    ActivationTokenScope& operator=(const ActivationTokenScope&) = delete;

private:
    bool lent_ = false;
};

} // namespace plim
