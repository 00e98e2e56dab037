#pragma once

#include "reminders/Reminder.h"
#include "store/Preferences.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace plim {

// The built-in guide of the notes window: how plim works, every key in groups, and examples of
// the when-language; and the words of the two first-run questions. The view only lays these
// out. Keys are named as this desktop names them ("Ctrl+↩").
namespace KeysGuide {

struct Row {
    QString keys; // may be empty
    QString meaning;
    QStringList examples; // empty when the row has none
    // Stable across rebuilds of the guide: derived from the texts.
    QString id() const;
    friend bool operator==(const Row&, const Row&) = default;
};

struct Group {
    QString title;
    QList<Row> rows;
    friend bool operator==(const Group&, const Group&) = default;
};

// How the three global commands are reached from anywhere now: the keys that run each
// ("Ctrl+Alt+Space", or the desktop's words for the keys it bound), or none where no key does (none
// stored, held by another program, turned down by the desktop): then its command is the way.
struct Shortcuts {
    std::optional<QString> capture;
    std::optional<QString> notes;
    std::optional<QString> clipboard;
    friend bool operator==(const Shortcuts&, const Shortcuts&) = default;
};
// The commands that do what the shortcuts do: "plim capture", "plim notes", "plim clip".
QString captureCommand();
QString notesCommand();
QString clipboardCommand();

// Six lists of example phrases, one per example row of the when-language group.
const QList<QStringList>& whenExamples();
// The how-it-works paragraphs.
QStringList steps(const Shortcuts& shortcuts);
// The groups of keys; the day times show as "08:30".
QList<Group> groups(const Shortcuts& shortcuts, const Anchors& anchors);

// --- First-run questions ---

struct DeliveryChoice {
    QString title;
    ReminderDelivery delivery;
};
struct LaunchAtLoginChoice {
    QString title;
    bool yes;
};

// "How should reminders reach you?"
QString deliveryQuestion();
// Desktop notifications, or only the tray dot; in this order.
QList<DeliveryChoice> deliveryChoices();
// "Reminders ring only while plim is running."
QString launchAtLoginQuestion();
// Open at login, or not now; in this order.
QList<LaunchAtLoginChoice> launchAtLoginChoices();

} // namespace KeysGuide

} // namespace plim
