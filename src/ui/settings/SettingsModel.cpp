#include "ui/settings/SettingsModel.h"

#include "platform/LaunchAtLogin.h"
#include "store/Preferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace plim::SettingsModel {

ValueRange opacityRange() {
    return {Preferences::minOpacity, Preferences::maxOpacity, 0.05, 100, u"%"_s};
}

ValueRange blurRange() {
    return {0, Preferences::maxBlurRadius, 1, 1, u"pt"_s};
}

ValueRange sizeRange() {
    return {Preferences::minTextSize, Preferences::maxTextSize, 1, 1, u"pt"_s};
}

namespace {

// Steps of 0.05 leave binary noise (0.6000000000000001); the stored value should be the plain one.
double tidy(double value) {
    return std::round(value * 1e9) / 1e9;
}

} // namespace

double clampSnap(double value, const ValueRange& range) {
    if (!std::isfinite(value)) {
        return range.min;
    }
    const double clamped = std::clamp(value, range.min, range.max);
    const double snapped = tidy(range.step * std::round(clamped / range.step));
    return std::clamp(snapped, range.min, range.max);
}

std::optional<double> typed(QStringView text, const ValueRange& range) {
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        return std::nullopt;
    }
    return clampSnap(number / range.scale, range);
}

int shown(double value, const ValueRange& range) {
    return static_cast<int>(std::lround(value * range.scale));
}

int sliderSteps(const ValueRange& range) {
    return static_cast<int>(std::lround((range.max - range.min) / range.step));
}

int sliderPosition(double value, const ValueRange& range) {
    return static_cast<int>(std::lround((clampSnap(value, range) - range.min) / range.step));
}

double valueAt(int position, const ValueRange& range) {
    return clampSnap(range.min + position * range.step, range);
}

NotificationRow notificationRow(std::optional<ReminderScheduler::Status> status) {
    if (!status) {
        return {};
    }
    const QString settings = u"Notification Settings\u2026"_s;
    switch (*status) {
    case ReminderScheduler::Status::Off:
        return {u"Off"_s, NotificationRow::Button::TurnOn, u"Turn On"_s};
    case ReminderScheduler::Status::Denied:
        return {u"Not available on this desktop"_s, NotificationRow::Button::OpenSettings, settings};
    case ReminderScheduler::Status::Temporary:
        return {u"On \u00b7 Temporary"_s, NotificationRow::Button::OpenSettings, settings};
    case ReminderScheduler::Status::Persistent:
        return {u"On \u00b7 Persistent"_s, NotificationRow::Button::OpenSettings, settings};
    }
    return {};
}

QString presetPreview(const QString& phrase, Instant now, const Anchors& anchors, const Calendar& calendar) {
    const std::optional<Reminder> reminder = Reminder::parse(phrase, now, anchors, calendar);
    return reminder ? reminder->summary(now, true, calendar) : u"not understood"_s;
}

QList<ShortcutRow> shortcutRows() {
    return {{u"Capture"_s, u"capture"_s, u"plim capture"_s},
            {u"Capture clipboard"_s, u"captureClipboard"_s, u"plim clip"_s},
            {u"Open notes"_s, u"manage"_s, u"plim notes"_s}};
}

QString bindCommandsText() {
    return u"This desktop lets no program hold keys of its own. Bind these commands to keys in "
           u"the desktop's keyboard settings:"_s;
}

LaunchResult setLaunchAtLogin(LaunchAtLogin& launch, bool on) {
    LaunchResult result;
    if (!launch.setRegistered(on)) {
        const QString why = launch.lastError();
        result.error = why.isEmpty() ? (on ? u"plim could not be set to start at login"_s
                                           : u"plim could not be kept from starting at login"_s)
                                     : why;
    }
    result.registered = launch.isRegistered();
    return result;
}

std::optional<QString> createNotesFile(const QString& path) {
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        return info.isDir() ? std::optional<QString>(u"%1 is a folder"_s.arg(path)) : std::nullopt;
    }
    if (!QDir().mkpath(info.absolutePath())) {
        return u"Cannot create the folder %1"_s.arg(info.absolutePath());
    }
    // NewOnly: a file made meanwhile by someone else is kept as it is.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        if (QFileInfo::exists(path)) {
            return std::nullopt;
        }
        return u"Cannot create %1: %2"_s.arg(path, file.errorString());
    }
    return std::nullopt;
}

std::optional<QString> chooseNotesFile(Preferences& preferences, const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (const auto error = createNotesFile(absolute)) {
        return error;
    }
    preferences.setValue(PreferenceKey::notesFilePath, absolute);
    return std::nullopt;
}

namespace Text {

QString notesFileCaption() {
    return u"One Markdown file you own. Point it at a synced folder to sync."_s;
}
QString chooseTitle() {
    return u"Choose where plim keeps your notes"_s;
}
QString opacityCaption() {
    return u"Lower is easier to read through. Hold Alt while the drawer is open to peek beneath it."_s;
}
QString blurCaption() {
    return u"Off keeps what is beneath fully legible."_s;
}
QString notificationsLabel() {
    return u"Desktop notifications"_s;
}
QString notificationsCaption() {
    return u"If your desktop lets notifications stay on screen, a reminder that repeats waits there until you "
           u"answer it."_s;
}
QString ringHereLabel() {
    return u"Ring on this computer"_s;
}
QString ringHereCaption() {
    return u"Every computer that shares the notes file rings. Turn this off on one you aren't using."_s;
}
QString dayCaption() {
    return u"Tomorrow, tonight, and next week mean these times, and a reminder every few hours rings only "
           u"between them."_s;
}
QString presetsCaption() {
    return u"Press 1\u20139 on an entry to use one. Each reads like the when field."_s;
}
QString sample() {
    return u"The quick brown fox jumps over the lazy dog"_s;
}
QString version(const QString& shortVersion) {
    return u"plim "_s + shortVersion;
}

} // namespace Text

} // namespace plim::SettingsModel
