#pragma once

#include "delivery/Notifier.h"

#include <QList>
#include <QString>

#include <optional>

namespace plim {

struct StoreError;

// What the tray shows, worked out from the program's state; the tray view only draws it.
namespace TrayModel {

// A global shortcut the desktop would not give the program: its keys ("Ctrl+Alt+Space") and the
// desktop's status code (10: another program holds it; 0: no key of this keyboard makes it), or
// turned down by a desktop that decides which shortcuts a program gets.
struct UnavailableShortcut {
    QString keys;
    int status = 0;
    bool turnedDown = false;
    friend bool operator==(const UnavailableShortcut&, const UnavailableShortcut&) = default;
};

struct Inputs {
    int ringing = 0;
    // The store's one-line error message, while it has one.
    std::optional<QString> storeError;
    QList<UnavailableShortcut> unavailable;
};

enum class Action {
    Problem, // a disabled line telling of an error or a missing shortcut
    Now,
    Capture,
    CaptureClipboard,
    Open,
    Sweep,
    Later,
    Separator,
    ShowNotesFile,
    ShowTrash,
    Settings,
    Keys,
    Quit,
};

struct MenuItem {
    Action action = Action::Separator;
    QString title;
    bool enabled = true;
    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

struct State {
    bool dot = false;
    // "plim", "plim, 2 ringing"
    QString accessibleName;
    // The accessible name, then the store's error and each missing shortcut, one a line.
    QString toolTip;
    // The items shown, in order.
    QList<MenuItem> menu;
};

State state(const Inputs& inputs);

// A title as a menu action takes it: "&" stands for itself, not for a mnemonic ("Keys & Tips", a
// file path in an error).
QString actionText(const QString& title);

// "Ctrl+Alt+Space is used by another program"
QString unavailableText(const UnavailableShortcut& shortcut);

// The notification that tells of a new store error.
NotificationContent errorNotification(const StoreError& error);
// What the resident program tells after merging a sync tool's conflict copy by itself (or when it
// could not): the same words as `plim merge`.
NotificationContent mergeNotification(bool merged, const QString& message);

// Said once at start when the desktop has no tray: how to reach the program. `captureKeys` is the
// capture shortcut when it is held.
QString noTrayText(const std::optional<QString>& captureKeys);
NotificationContent noTrayNotification(const std::optional<QString>& captureKeys);

} // namespace TrayModel

} // namespace plim
