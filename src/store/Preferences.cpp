#include "store/Preferences.h"

#include "base/Shortened.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace plim {

QString toRaw(FontChoice value) {
    switch (value) {
    case FontChoice::Hyperlegible:
        return QStringLiteral("hyperlegible");
    case FontChoice::OpenDyslexic:
        return QStringLiteral("openDyslexic");
    case FontChoice::System:
        return QStringLiteral("system");
    }
    return {};
}

QString toRaw(DrawerPosition value) {
    switch (value) {
    case DrawerPosition::Left:
        return QStringLiteral("left");
    case DrawerPosition::Center:
        return QStringLiteral("center");
    case DrawerPosition::Right:
        return QStringLiteral("right");
    }
    return {};
}

QString toRaw(ReminderDelivery value) {
    switch (value) {
    case ReminderDelivery::Unset:
        return QString();
    case ReminderDelivery::Notification:
        return QStringLiteral("notification");
    case ReminderDelivery::Dot:
        return QStringLiteral("dot");
    }
    return {};
}

Preferences::Preferences(QObject* parent)
    : QObject(parent)
    , settings_(std::make_unique<QSettings>(QStringLiteral("plim"), QStringLiteral("plim"))) {
    dropValuesOutOfRange();
}

Preferences::Preferences(const QString& settingsFile, QObject* parent)
    : QObject(parent)
    , settings_(std::make_unique<QSettings>(settingsFile, QSettings::IniFormat)) {
    dropValuesOutOfRange();
}

void Preferences::dropValuesOutOfRange() {
    // The settings of plim fit in a few kilobytes, a draft at the drawer's limit in a few hundred.
    constexpr qint64 kLargeFile = 1024 * 1024;
    if (QFileInfo(settings_->fileName()).size() <= kLargeFile) {
        return;
    }
    draft(); // one too long for the drawer moves to a file of its own
    for (const QString& key : settings_->allKeys()) {
        const QVariant stored = settings_->value(key);
        qsizetype length = stored.metaType().id() == QMetaType::QByteArray ? stored.toByteArray().size() : 0;
        for (const QString& text : stored.toStringList()) {
            length += text.size();
        }
        if (key != PreferenceKey::draft && length > maxValueLength) {
            qWarning("plim: the setting %s of %lld characters in %s is beyond any it can hold: removed",
                     qUtf8Printable(shortened(key)), static_cast<long long>(length),
                     qUtf8Printable(settings_->fileName()));
            settings_->remove(key);
        }
    }
    settings_->sync();
}

Preferences::~Preferences() = default;

Preferences& Preferences::shared() {
    static Preferences instance;
    return instance;
}

QStringList Preferences::defaultReminderPresets() {
    return {QStringLiteral("20m"),      QStringLiteral("1h"),        QStringLiteral("3h"),
            QStringLiteral("tonight"),  QStringLiteral("tomorrow"),  QStringLiteral("next week"),
            QStringLiteral("every 3h"), QStringLiteral("every day"), QStringLiteral("twice a day")};
}

// --- Exact conversions ---

namespace {

// The first `length` characters, never half of one.
QString beginning(const QString& text, qsizetype length) {
    if (text.size() <= length) {
        return text;
    }
    return text.left(text.at(length - 1).isHighSurrogate() ? length - 1 : length);
}

} // namespace

//
// The INI form keeps no types: a number we stored comes back from the file as the string "18",
// a boolean as "true". So a string counts as a number when all of it is one, and a value
// typed in memory (just stored, not yet re-read) is taken as it is.

std::optional<double> Preferences::toNumber(const QVariant& stored) {
    double result = 0;
    switch (stored.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float:
        result = stored.toDouble();
        break;
    case QMetaType::QString: {
        bool ok = false;
        result = stored.toString().toDouble(&ok);
        if (!ok) {
            return std::nullopt;
        }
        break;
    }
    default:
        return std::nullopt;
    }
    // "nan" and "inf" parse, but no range can hold them.
    if (!std::isfinite(result)) {
        return std::nullopt;
    }
    return result;
}

std::optional<qint64> Preferences::toInteger(const QVariant& stored) {
    switch (stored.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return stored.toLongLong();
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong value = stored.toULongLong();
        if (value > qulonglong(std::numeric_limits<qint64>::max())) {
            return std::nullopt;
        }
        return qint64(value);
    }
    case QMetaType::QString: {
        bool ok = false;
        const qint64 value = stored.toString().toLongLong(&ok, 10);
        if (ok) {
            return value;
        }
        break; // "510.0" or "5.1e2" are still whole numbers
    }
    default:
        break;
    }
    const auto number = toNumber(stored);
    // 2^63 is the first double beyond qint64.
    constexpr double limit = 9223372036854775808.0;
    if (!number || std::trunc(*number) != *number || *number >= limit || *number < -limit) {
        return std::nullopt;
    }
    return qint64(*number);
}

std::optional<bool> Preferences::toBool(const QVariant& stored) {
    if (stored.metaType().id() == QMetaType::Bool) {
        return stored.toBool();
    }
    if (stored.metaType().id() == QMetaType::QString) {
        const QString text = stored.toString();
        if (text == u"true") {
            return true;
        }
        if (text == u"false") {
            return false;
        }
    }
    return std::nullopt;
}

std::optional<QString> Preferences::toText(const QVariant& stored) {
    if (stored.metaType().id() != QMetaType::QString) {
        return std::nullopt;
    }
    return stored.toString();
}

std::optional<QStringList> Preferences::toTextList(const QVariant& stored) {
    if (stored.metaType().id() == QMetaType::QStringList) {
        return stored.toStringList();
    }
    if (stored.metaType().id() == QMetaType::QVariantList) {
        QStringList list;
        for (const QVariant& item : stored.toList()) {
            if (item.metaType().id() != QMetaType::QString) {
                return std::nullopt;
            }
            list.append(item.toString());
        }
        return list;
    }
    return std::nullopt;
}

// --- Accessors ---

std::optional<double> Preferences::number(QLatin1String key) const {
    return toNumber(settings_->value(key));
}

std::optional<QString> Preferences::text(QLatin1String key) const {
    auto stored = toText(settings_->value(key));
    if (stored && stored->size() > maxValueLength) {
        return std::nullopt;
    }
    return stored;
}

int Preferences::minutesOfDay(QLatin1String key, int fallback) const {
    const auto minutes = toInteger(settings_->value(key));
    if (!minutes) {
        return fallback;
    }
    return int(std::clamp<qint64>(*minutes, 0, lastMinuteOfDay));
}

namespace {

QString defaultNotesFilePath() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty()) {
        documents = QDir::homePath() + QStringLiteral("/Documents");
    }
    return QDir::cleanPath(documents + QStringLiteral("/plim/plim.md"));
}

} // namespace

QString Preferences::notesFilePath() const {
    const QString stored = text(PreferenceKey::notesFilePath).value_or(QString());
    const QString home = QDir::homePath();
    if (stored.isEmpty()) {
        return defaultNotesFilePath();
    }
    QString path = stored;
    if (path == u"~") {
        path = home;
    } else if (path.startsWith(u"~/")) {
        path = home + path.mid(1);
    }
    // A relative path would otherwise depend on the folder the program happened to start in.
    if (QDir::isRelativePath(path)) {
        path = home + u'/' + path;
    }
    path = QDir::cleanPath(path);
    // No file can have a longer path: the setting is out of range, so it counts as unset.
    if (QFile::encodeName(path).size() >= PATH_MAX) {
        return defaultNotesFilePath();
    }
    return path;
}

QString Preferences::trashFilePath() const {
    return trashFilePathFor(notesFilePath());
}

QString Preferences::trashFilePathFor(const QString& notesPath) {
    const QFileInfo notes(notesPath);
    const QString trash = notes.absolutePath() + QStringLiteral("/plim.trash.md");
    // A notes file that is itself called plim.trash.md must not share its file with the trash.
    if (trash == notes.absoluteFilePath()) {
        return notes.absolutePath() + u'/' + notes.completeBaseName() + QStringLiteral(".trash.md");
    }
    return trash;
}

double Preferences::textSize() const {
    return std::clamp(number(PreferenceKey::textSize).value_or(defaultTextSize), minTextSize, maxTextSize);
}

double Preferences::drawerTextSize() const {
    if (const auto stored = number(PreferenceKey::drawerTextSize)) {
        return std::clamp(*stored, minTextSize, maxTextSize);
    }
    return std::clamp(textSize() + 4, minTextSize, maxTextSize);
}

FontChoice Preferences::font() const {
    return fromRaw<FontChoice>(text(PreferenceKey::font).value_or(QString())).value_or(FontChoice::Hyperlegible);
}

int Preferences::dayStart() const {
    return minutesOfDay(PreferenceKey::dayStart, defaultDayStart);
}

int Preferences::dayEnd() const {
    return minutesOfDay(PreferenceKey::dayEnd, defaultDayEnd);
}

Anchors Preferences::anchors() const {
    return Anchors{dayStart(), dayEnd()};
}

ReminderDelivery Preferences::reminderDelivery() const {
    const auto stored = text(PreferenceKey::reminderDelivery);
    if (!stored) {
        return ReminderDelivery::Unset;
    }
    return fromRaw<ReminderDelivery>(*stored).value_or(ReminderDelivery::Unset);
}

bool Preferences::ringOnThisMac() const {
    return toBool(settings_->value(PreferenceKey::ringOnThisMac)).value_or(true);
}

double Preferences::opacity() const {
    return std::clamp(number(PreferenceKey::opacity).value_or(defaultOpacity), minOpacity, maxOpacity);
}

double Preferences::blurRadius() const {
    return std::clamp(number(PreferenceKey::blurRadius).value_or(0.0), 0.0, maxBlurRadius);
}

DrawerPosition Preferences::drawerPosition() const {
    return fromRaw<DrawerPosition>(text(PreferenceKey::drawerPosition).value_or(QString()))
        .value_or(DrawerPosition::Center);
}

QStringList Preferences::reminderPresets() const {
    const auto stored = toTextList(settings_->value(PreferenceKey::reminderPresets));
    if (stored && stored->size() == presetCount &&
        std::all_of(stored->cbegin(), stored->cend(), [](const QString& p) { return p.size() <= maxPresetLength; })) {
        return *stored;
    }
    return defaultReminderPresets();
}

bool Preferences::launchAtLoginOffered() const {
    return toBool(settings_->value(PreferenceKey::launchAtLoginOffered)).value_or(false);
}

QString Preferences::draft() const {
    const QString stored = toText(settings_->value(PreferenceKey::draft)).value_or(QString());
    if (stored.size() <= maxDraftLength) {
        return stored;
    }
    // Laid out whole, it would stall the drawer for minutes: it is kept whole in a file of its own
    // (named by its content, so a second reading finds it there) and only its beginning stays.
    const QByteArray bytes = stored.toUtf8();
    const QString kept =
        QFileInfo(settings_->fileName()).absolutePath() + QStringLiteral("/draft-") +
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(8)) +
        QStringLiteral(".txt");
    QFile file(kept);
    const bool written = (file.exists() && file.size() == bytes.size()) ||
                         (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() &&
                          file.flush() && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    file.close();
    const QString begun = beginning(stored, maxDraftLength);
    // Unless it is safe elsewhere, the whole stays where it is.
    if (written) {
        settings_->setValue(PreferenceKey::draft, begun);
        settings_->sync();
        keptDraft_ = kept;
    }
    return begun;
}

std::optional<QString> Preferences::takeKeptDraft() {
    return std::exchange(keptDraft_, std::nullopt);
}

// --- Raw access and writing ---

QVariant Preferences::value(const QString& key) const {
    const QVariant stored = settings_->value(key);
    qsizetype longest = 0;
    switch (stored.metaType().id()) {
    case QMetaType::QString:
        longest = stored.toString().size();
        break;
    case QMetaType::QByteArray:
        longest = stored.toByteArray().size();
        break;
    case QMetaType::QStringList:
        for (const QString& item : stored.toStringList()) {
            longest = std::max(longest, item.size());
        }
        break;
    default:
        break;
    }
    return longest > maxValueLength ? QVariant() : stored;
}

bool Preferences::contains(const QString& key) const {
    return settings_->contains(key);
}

void Preferences::setValue(const QString& key, const QVariant& value, Announce announce) {
    settings_->setValue(key, value);
    settings_->sync();
    if (announce == Announce::Yes) {
        Q_EMIT changed();
    }
}

void Preferences::remove(const QString& key, Announce announce) {
    settings_->remove(key);
    settings_->sync();
    if (announce == Announce::Yes) {
        Q_EMIT changed();
    }
}

} // namespace plim
