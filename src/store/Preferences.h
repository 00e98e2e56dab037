#pragma once

#include "reminders/Reminder.h"

#include <QLatin1String>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QSettings;
QT_END_NAMESPACE

namespace plim {

// The text font of the drawer and the notes window.
enum class FontChoice { Hyperlegible, OpenDyslexic, System };
// Where the capture drawer sits along the top of the screen.
enum class DrawerPosition { Left, Center, Right };
// How due reminders are shown: not chosen yet, as desktop notifications, or only as the tray dot.
enum class ReminderDelivery { Unset, Notification, Dot };

// The stored string of each case: "hyperlegible", "center", "" (unset), ...
QString toRaw(FontChoice value);
QString toRaw(DrawerPosition value);
QString toRaw(ReminderDelivery value);

// Every case, in the order pickers list them.
template <typename E>
inline constexpr std::array<E, 3> allCases{};
template <>
inline constexpr std::array<FontChoice, 3> allCases<FontChoice>{FontChoice::Hyperlegible, FontChoice::OpenDyslexic,
                                                                FontChoice::System};
template <>
inline constexpr std::array<DrawerPosition, 3> allCases<DrawerPosition>{DrawerPosition::Left, DrawerPosition::Center,
                                                                        DrawerPosition::Right};
template <>
inline constexpr std::array<ReminderDelivery, 3> allCases<ReminderDelivery>{
    ReminderDelivery::Unset, ReminderDelivery::Notification, ReminderDelivery::Dot};

// The case whose stored string is exactly `raw`; none for any other string.
template <typename E>
std::optional<E> fromRaw(QStringView raw) {
    for (const E value : allCases<E>) {
        if (toRaw(value) == raw) {
            return value;
        }
    }
    return std::nullopt;
}

// The settings keys, as they appear in the settings file.
namespace PreferenceKey {
inline constexpr QLatin1String notesFilePath{"notesFilePath"};
inline constexpr QLatin1String textSize{"textSize"};
inline constexpr QLatin1String drawerTextSize{"drawerTextSize"};
inline constexpr QLatin1String font{"font"};
inline constexpr QLatin1String dayStart{"dayStart"};
inline constexpr QLatin1String dayEnd{"dayEnd"};
inline constexpr QLatin1String reminderDelivery{"reminderDelivery"};
inline constexpr QLatin1String ringOnThisMac{"ringOnThisMac"};
inline constexpr QLatin1String opacity{"opacity"};
inline constexpr QLatin1String blurRadius{"blurRadius"};
inline constexpr QLatin1String drawerPosition{"drawerPosition"};
inline constexpr QLatin1String reminderPresets{"reminderPresets"};
inline constexpr QLatin1String launchAtLoginOffered{"launchAtLoginOffered"};
inline constexpr QLatin1String draft{"draft"};
} // namespace PreferenceKey

// The user's settings. Every accessor applies its default and its range on each read, so a
// missing, mistyped or out-of-range stored value never reaches the rest of the program; the
// stored value itself is left as it is. Whoever stores a value announces it through `changed`.
class Preferences : public QObject {
    Q_OBJECT
public:
    // The per-user settings file ($XDG_CONFIG_HOME/plim/plim.conf).
    explicit Preferences(QObject* parent = nullptr);
    // A settings file of its own, in INI form; for tests and tools.
    explicit Preferences(const QString& settingsFile, QObject* parent = nullptr);
    ~Preferences() override;

    // The program's one instance over the per-user file.
    static Preferences& shared();

    static constexpr double minTextSize = 12;
    static constexpr double maxTextSize = 48;
    static constexpr double defaultTextSize = 18;
    static constexpr int defaultDayStart = 510; // 08:30
    static constexpr int defaultDayEnd = 1230;  // 20:30
    static constexpr int lastMinuteOfDay = 1439;
    static constexpr double minOpacity = 0.3;
    static constexpr double maxOpacity = 0.95;
    static constexpr double defaultOpacity = 0.6;
    static constexpr double maxBlurRadius = 8;
    static constexpr int presetCount = 9;
    static QStringList defaultReminderPresets();
    // Stored values longer than this are out of range: hand-edited or broken settings must never
    // make the program carry or lay out megabytes. A text setting reads as missing, a preset list
    // as the defaults, a path over the system's limit as unset, any value read raw (`value`) as
    // missing. A settings file made large by such values has them taken out as it is opened, or
    // every later write would rewrite the megabytes.
    static constexpr qsizetype maxValueLength = 4096;
    static constexpr qsizetype maxPresetLength = 200;
    // The drawer's limit; a longer draft is kept whole in a file beside the settings (see draft).
    static constexpr qsizetype maxDraftLength = 100'000;

    // Absolute path of the notes file: the stored path with "~" expanded (a relative path is
    // taken from the home folder), or Documents/plim/plim.md when unset or empty.
    QString notesFilePath() const;
    // "plim.trash.md" in the notes file's folder.
    QString trashFilePath() const;
    // The trash file of any notes file: "plim.trash.md" beside it, never the notes file itself.
    static QString trashFilePathFor(const QString& notesPath);
    double textSize() const;
    double drawerTextSize() const;
    FontChoice font() const;
    int dayStart() const;
    int dayEnd() const;
    Anchors anchors() const;
    ReminderDelivery reminderDelivery() const;
    bool ringOnThisMac() const;
    double opacity() const;
    double blurRadius() const;
    DrawerPosition drawerPosition() const;
    // The stored list when it holds exactly nine strings, otherwise the nine defaults.
    QStringList reminderPresets() const;
    bool launchAtLoginOffered() const;
    // The capture drawer's unsent text; empty when there is none. One longer than maxDraftLength
    // (written by hand or by another program) is moved to a file beside the settings, whose path
    // `takeKeptDraft` gives once, and its beginning stays as the draft.
    QString draft() const;
    std::optional<QString> takeKeptDraft();

    // The stored value as it is, without default or range; invalid when nothing is stored.
    QVariant value(const QString& key) const;
    bool contains(const QString& key) const;

    enum class Announce { Yes, No };
    // Stores the value, writes the file and, unless told otherwise, emits `changed`.
    void setValue(const QString& key, const QVariant& value, Announce announce = Announce::Yes);
    void remove(const QString& key, Announce announce = Announce::Yes);

    // Exact conversions of a stored value; none when it is missing or of another type.
    static std::optional<double> toNumber(const QVariant& stored);
    static std::optional<qint64> toInteger(const QVariant& stored);
    static std::optional<bool> toBool(const QVariant& stored);
    static std::optional<QString> toText(const QVariant& stored);
    static std::optional<QStringList> toTextList(const QVariant& stored);

Q_SIGNALS:
    // A setting was stored; everything that depends on one reads it again.
    void changed();

private:
    void dropValuesOutOfRange();
    std::optional<double> number(QLatin1String key) const;
    std::optional<QString> text(QLatin1String key) const;
    int minutesOfDay(QLatin1String key, int fallback) const;

    std::unique_ptr<QSettings> settings_;
    mutable std::optional<QString> keptDraft_;
};

} // namespace plim
