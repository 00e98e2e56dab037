#pragma once

#include "base/Calendar.h"
#include "delivery/ReminderScheduler.h"
#include "reminders/Reminder.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace plim {

class LaunchAtLogin;
class Preferences;

// What the settings window shows and stores, apart from the widgets drawing it.
namespace SettingsModel {

// A number a row edits: a slider over min…max in steps, and a field showing value × scale.
struct ValueRange {
    double min = 0;
    double max = 1;
    double step = 1;
    double scale = 1;
    QString unit;
};

// Drawer opacity 30…95 %, blur 0…8 pt, text sizes 12…48 pt.
ValueRange opacityRange();
ValueRange blurRange();
ValueRange sizeRange();

// Clamped to the range, then snapped to the nearest multiple of the step (never leaving the range).
double clampSnap(double value, const ValueRange& range);
// A number typed into the field: divided by the scale, clamped and snapped; none when the text is
// not a number, and the value stays as it was.
std::optional<double> typed(QStringView text, const ValueRange& range);
// What the field shows for a value: round(value × scale).
int shown(double value, const ValueRange& range);
// Slider positions count steps from the range's start.
int sliderSteps(const ValueRange& range);
int sliderPosition(double value, const ValueRange& range);
double valueAt(int position, const ValueRange& range);

// The Reminders pane's notification row.
struct NotificationRow {
    enum class Button { None, TurnOn, OpenSettings };
    QString text;
    Button button = Button::None;
    QString buttonTitle;
    friend bool operator==(const NotificationRow&, const NotificationRow&) = default;
};
// None while the status has not been read yet.
NotificationRow notificationRow(std::optional<ReminderScheduler::Status> status);

// What a preset phrase means now, shortly ("in 20 min", "every 3 hours"), or "not understood".
QString presetPreview(const QString& phrase, Instant now, const Anchors& anchors, const Calendar& calendar);

// The global shortcuts' rows of the Capture pane, in order: the label and the name it records, and
// the command to bind instead where the desktop lets no program hold keys.
struct ShortcutRow {
    QString label;
    QString name;
    QString command;
};
QList<ShortcutRow> shortcutRows();
// Said above the commands where the program cannot hold keys itself.
QString bindCommandsText();

// Launch at login, switched from the settings: the toggle's state afterwards is the system's, and
// a failure keeps its words.
struct LaunchResult {
    bool registered = false;
    std::optional<QString> error;
};
LaunchResult setLaunchAtLogin(LaunchAtLogin& launch, bool on);

// Makes the chosen notes file when it is not there yet (with its folders), or says why it could
// not; an existing file is left as it is.
std::optional<QString> createNotesFile(const QString& path);
// The chosen notes file: made at once, then stored and announced. A failure leaves the setting
// as it was and says why.
std::optional<QString> chooseNotesFile(Preferences& preferences, const QString& path);

// Texts (as on this desktop).
namespace Text {
QString notesFileCaption();
QString chooseTitle();
QString opacityCaption();
QString blurCaption();
QString notificationsLabel();
QString notificationsCaption();
QString ringHereLabel();
QString ringHereCaption();
QString dayCaption();
QString presetsCaption();
QString sample();
// "plim 0.9.0"
QString version(const QString& shortVersion);
} // namespace Text

} // namespace SettingsModel

} // namespace plim
