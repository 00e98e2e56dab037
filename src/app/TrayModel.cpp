#include "app/TrayModel.h"

#include "store/NotesStore.h"

namespace plim::TrayModel {

namespace {

// X's BadAccess: the combination is grabbed by another client.
constexpr int kHeldElsewhere = 10;

} // namespace

State state(const Inputs& inputs) {
    State s;
    s.dot = inputs.ringing > 0;
    s.accessibleName =
        inputs.ringing > 0 ? QStringLiteral("plim, %1 ringing").arg(inputs.ringing) : QStringLiteral("plim");

    QStringList lines{s.accessibleName};
    if (inputs.storeError) {
        lines << *inputs.storeError;
        s.menu << MenuItem{Action::Problem, *inputs.storeError, false};
    }
    for (const UnavailableShortcut& shortcut : inputs.unavailable) {
        lines << unavailableText(shortcut);
        s.menu << MenuItem{Action::Problem, unavailableText(shortcut), false};
    }
    if (!s.menu.isEmpty()) {
        s.menu << MenuItem{Action::Separator, {}, true};
    }
    s.toolTip = lines.join(u'\n');

    if (inputs.ringing > 0) {
        s.menu << MenuItem{Action::Now, QStringLiteral("Now (%1)").arg(inputs.ringing), true};
    }
    s.menu << MenuItem{Action::Capture, QStringLiteral("Capture"), true}
           << MenuItem{Action::CaptureClipboard, QStringLiteral("Capture Clipboard"), true}
           << MenuItem{Action::Open, QStringLiteral("Open plim"), true}
           << MenuItem{Action::Sweep, QStringLiteral("Sweep"), true}
           << MenuItem{Action::Later, QStringLiteral("Later"), true} << MenuItem{Action::Separator, {}, true}
           << MenuItem{Action::ShowNotesFile, QStringLiteral("Show Notes File"), true}
           << MenuItem{Action::ShowTrash, QStringLiteral("Show Trash"), true}
           << MenuItem{Action::Settings, QStringLiteral("Settings\u2026"), true}
           << MenuItem{Action::Keys, QStringLiteral("Keys & Tips"), true} << MenuItem{Action::Separator, {}, true}
           << MenuItem{Action::Quit, QStringLiteral("Quit plim"), true};
    return s;
}

QString actionText(const QString& title) {
    return QString(title).replace(u'&', QStringLiteral("&&"));
}

QString unavailableText(const UnavailableShortcut& shortcut) {
    if (shortcut.turnedDown) {
        return QStringLiteral("%1 was turned down by the desktop").arg(shortcut.keys);
    }
    if (shortcut.status == kHeldElsewhere) {
        return QStringLiteral("%1 is used by another program").arg(shortcut.keys);
    }
    if (shortcut.status == 0) {
        return QStringLiteral("%1 has no key on this keyboard").arg(shortcut.keys);
    }
    return QStringLiteral("%1 could not be set (error %2)").arg(shortcut.keys).arg(shortcut.status);
}

NotificationContent errorNotification(const StoreError& error) {
    NotificationContent c;
    c.identifier = QStringLiteral("plim.store-error");
    c.title = error.kind == StoreError::Kind::Unreadable ? QStringLiteral("plim cannot read the notes file")
                                                         : QStringLiteral("plim could not save the notes");
    c.body = error.message();
    c.thread = QStringLiteral("plim.problems");
    return c;
}

NotificationContent mergeNotification(bool merged, const QString& message) {
    NotificationContent c;
    c.identifier = QStringLiteral("plim.merge");
    c.title =
        merged ? QStringLiteral("plim merged a conflict copy") : QStringLiteral("plim cannot merge a conflict copy");
    c.body = message;
    c.thread = QStringLiteral("plim.problems");
    return c;
}

QString noTrayText(const std::optional<QString>& captureKeys) {
    const QString command = QStringLiteral("run \u201cplim capture\u201d");
    const QString how = captureKeys ? QStringLiteral("press %1 or %2").arg(*captureKeys, command) : command;
    return QStringLiteral("plim runs without a tray icon on this desktop: %1 to capture a note, "
                          "\u201cplim quit\u201d to end it.")
        .arg(how);
}

NotificationContent noTrayNotification(const std::optional<QString>& captureKeys) {
    NotificationContent c;
    c.identifier = QStringLiteral("plim.no-tray");
    c.title = QStringLiteral("plim is running");
    c.body = noTrayText(captureKeys);
    c.thread = QStringLiteral("plim.problems");
    return c;
}

} // namespace plim::TrayModel
