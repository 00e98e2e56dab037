#pragma once

#include <QByteArray>

#include <memory>

QT_BEGIN_NAMESPACE
class QObject;
QT_END_NAMESPACE

namespace plim {

// Lends the startup token of whoever asked for a window (a command run from a launcher or a
// desktop binding, a portal shortcut) to the windows shown while it lives, and completes the
// launcher's startup notification when it ends, so its busy cursor stops also when nothing was
// shown.
// - Wayland: Qt hands XDG_ACTIVATION_TOKEN of the environment to the compositor with the next
//   activation request and clears it, and the compositor lets a window that brings a fresh token
//   take the keyboard. What is left unspent is cleared when the scope ends, so it reaches neither
//   programs started later nor an unrelated activation.
// - X11: each top-level window shown meanwhile carries the id (_NET_STARTUP_ID, which the window
//   manager reads as it maps the window), and the end of the scope sends the "remove" message of
//   the startup notification protocol.
class ActivationTokenScope {
public:
    explicit ActivationTokenScope(const QByteArray& token);
    ~ActivationTokenScope();
    ActivationTokenScope(const ActivationTokenScope&) = delete;
    ActivationTokenScope& operator=(const ActivationTokenScope&) = delete;

private:
    bool lent_ = false;
    QByteArray startupId_;
    std::unique_ptr<QObject> shownWindows_;
};

} // namespace plim
