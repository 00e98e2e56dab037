#include "base/Calendar.h"

#include "base/CalendarMath.h"
#include "base/OffsetSpans.h"
#include "base/PosixZone.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <unicode/basictz.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/simpletz.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/tzrule.h>
#include <unicode/tztrans.h>

#include <cstdio>
#include <limits>
#include <map>
#include <mutex>
#include <string_view>

namespace plim {

namespace {

icu::UnicodeString toIcu(QStringView s) {
    return icu::UnicodeString(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<int32_t>(s.size()));
}

QString fromIcu(const icu::UnicodeString& s) {
    return QString(reinterpret_cast<const QChar*>(s.getBuffer()), s.length());
}

UDate toUDate(Instant t) {
    return static_cast<UDate>(t.time_since_epoch().count());
}

Instant fromUDate(UDate d) {
    return Instant(std::chrono::milliseconds(static_cast<std::int64_t>(d)));
}

// ICU's own range is about ±1.8e17 ms; stay well inside it so nothing overflows on the way.
constexpr double kMaxMillis = 8.64e15; // ±273,790 years around 1970
bool inRange(UDate d) {
    return d > -kMaxMillis && d < kMaxMillis;
}

// Whether ICU knows `id` as a zone of its database (not a custom "GMT+3", whose sign is the
// opposite of the POSIX rule's).
bool isDatabaseZone(const icu::UnicodeString& id) {
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString canonical;
    UBool system = false;
    icu::TimeZone::getCanonicalID(id, canonical, system, status);
    return U_SUCCESS(status) && system;
}

// A zone id as ICU reads it (a database name, or its own "GMT+03:00"), else as a POSIX rule.
std::unique_ptr<icu::TimeZone> makeZone(const QString& zoneId, bool* valid) {
    const icu::UnicodeString id = toIcu(zoneId);
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(id));
    icu::UnicodeString got;
    zone->getID(got);
    *valid = got != icu::UnicodeString(UCAL_UNKNOWN_ZONE_ID);
    if (!*valid) {
        if (auto rule = posixRuleZone(zoneId.toStdString(), id)) {
            *valid = true;
            return rule;
        }
    }
    return zone;
}

std::unique_ptr<icu::Calendar> makeGregorian(const QString& zoneId, const QString& locale, bool* valid) {
    UErrorCode status = U_ZERO_ERROR;
    auto cal = std::make_unique<icu::GregorianCalendar>(makeZone(zoneId, valid).release(),
                                                        icu::Locale(locale.toUtf8().constData()), status);
    if (U_FAILURE(status)) {
        *valid = false;
        status = U_ZERO_ERROR;
        cal =
            std::make_unique<icu::GregorianCalendar>(icu::TimeZone::getGMT()->clone(), icu::Locale::getRoot(), status);
    }
    cal->setGregorianChange(-std::numeric_limits<double>::infinity(), status); // proleptic
    cal->setLenient(true); // strict calendars refuse skipped wall times instead of moving them
    cal->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
    cal->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    cal->setFirstDayOfWeek(UCAL_SUNDAY);
    return cal;
}

// The POSIX rule at the end of a compiled zone file (TZif version 2 and later); empty when none.
QByteArray zoneFileRule(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || file.size() > (1 << 20) || !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray data = file.readAll();
    if (!data.startsWith("TZif") || data.size() < 6 || data[4] < '2' || !data.endsWith('\n')) {
        return {};
    }
    const qsizetype from = data.lastIndexOf('\n', data.size() - 2);
    return from < 0 ? QByteArray() : data.mid(from + 1, data.size() - from - 2);
}

// The zone of the system (/etc/localtime), for a process without TZ.
QString hostZoneId() {
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::detectHostTimeZone());
    icu::UnicodeString id;
    zone->getID(id);
    return fromIcu(id);
}

// A zone file's zone: its name in the database when its path has one ICU knows, else its rule.
std::optional<QString> zoneOfFile(const QString& path) {
    const QString real = QFileInfo(path).canonicalFilePath();
    if (real.isEmpty() || !QFileInfo(real).isFile()) {
        return std::nullopt;
    }
    const qsizetype at = real.lastIndexOf(QLatin1String("zoneinfo/"));
    if (at >= 0) {
        QString name = real.mid(at + 9);
        for (const QLatin1String flavour : {QLatin1String("posix/"), QLatin1String("right/")}) {
            if (name.startsWith(flavour)) {
                name.remove(0, flavour.size());
            }
        }
        if (isDatabaseZone(toIcu(name))) {
            return name;
        }
    }
    const QString rule = QString::fromLatin1(zoneFileRule(real));
    if (!rule.isEmpty() && posixRuleZone(rule.toStdString(), toIcu(rule))) {
        return rule;
    }
    return std::nullopt;
}

void warnUnknownZone(const QString& tz) {
    // Once for each value: every new calendar reads TZ again.
    static std::mutex mutex;
    static QString warned;
    const std::lock_guard lock(mutex);
    if (warned == tz) {
        return;
    }
    warned = tz;
    const QByteArray line =
        QStringLiteral("plim: the time zone TZ=\"%1\" is not known here; times are in UTC\n").arg(tz).toLocal8Bit();
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (after H. Hinnant's algorithms).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, LocalDateTime& c) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (c.month <= 2 ? 1 : 0));
}

constexpr std::int64_t kDayMs = 86'400'000;

} // namespace

Calendar Calendar::system() {
    QString locale = QLocale::system().name();
    if (locale == QLatin1String("C") || locale.isEmpty()) {
        locale = QStringLiteral("en_US");
    }
    QString zone;
    if (!qEnvironmentVariableIsSet("TZ")) {
        zone = hostZoneId();
    } else {
        const QString tz = qEnvironmentVariable("TZ");
        const auto named = zoneFromTZ(tz);
        if (!named) {
            warnUnknownZone(tz);
        }
        zone = named.value_or(QStringLiteral("UTC"));
    }
    // Asked for on every change and every reminder: the zone is read every time, but the calendar
    // made for it is made again only when the zone or the locale is another.
    thread_local std::optional<Calendar> last;
    if (!last || last->zoneId() != zone || last->localeName() != locale) {
        last.emplace(zone, locale);
    }
    return *last;
}

std::optional<QString> Calendar::zoneFromTZ(const QString& tz) {
    // As the C library: a leading ':' names a file; otherwise a zone file of that name comes
    // first, then a rule.
    const bool fileOnly = tz.startsWith(u':');
    const QString value = fileOnly ? tz.mid(1) : tz;
    if (value.isEmpty()) {
        return QStringLiteral("UTC");
    }
    const QString folder = qEnvironmentVariable("TZDIR", QStringLiteral("/usr/share/zoneinfo"));
    if (QDir::isAbsolutePath(value)) {
        return zoneOfFile(value);
    }
    // A name ICU knows is taken as it is, unless there is a zone database that lacks it (ICU also
    // knows old abbreviations such as "IST", which the C library does not).
    if (isDatabaseZone(toIcu(value)) && (!QFileInfo(folder).isDir() || QFileInfo(folder + u'/' + value).isFile())) {
        return value;
    }
    if (const auto zone = zoneOfFile(folder + u'/' + value)) {
        return zone;
    }
    if (fileOnly || !posixRuleZone(value.toStdString(), toIcu(value))) {
        return std::nullopt;
    }
    // ICU would read "GMT+3" as three hours east; as a rule it is three hours west. A quoted name
    // keeps it a rule.
    std::unique_ptr<icu::TimeZone> custom(icu::TimeZone::createTimeZone(toIcu(value)));
    icu::UnicodeString id;
    if (custom->getID(id) != icu::UnicodeString(UCAL_UNKNOWN_ZONE_ID)) {
        qsizetype letters = 0;
        while (letters < value.size() && value[letters].isLetter()) {
            ++letters;
        }
        return u'<' + value.left(letters) + u'>' + value.mid(letters);
    }
    return value;
}

Calendar::Calendar(const QString& zoneId, const QString& locale)
    : zone_(zoneId)
    , locale_(locale) {
    proto_ = makeGregorian(zoneId, locale, &valid_);
    basicZone_ = dynamic_cast<const icu::BasicTimeZone*>(&proto_->getTimeZone());
}

std::optional<Calendar::OffsetSpan> Calendar::offsetSpan(std::int64_t t) const {
    if (!basicZone_) {
        return std::nullopt;
    }
    // An unknown zone behaves as UTC; its spans must not mix with another unknown name's.
    const OffsetSpan* span = spansFor(valid_ ? zone_ : QString()).at(*basicZone_, t);
    return span ? std::optional<OffsetSpan>(*span) : std::nullopt;
}

icu::Calendar* Calendar::make() const {
    // Cloning costs more than most operations, so each thread keeps one working copy of the
    // prototype it used last. Every operation sets the time or clears the fields first.
    thread_local std::shared_ptr<const icu::Calendar> lastProto;
    thread_local std::unique_ptr<icu::Calendar> working;
    if (lastProto != proto_ || !working) {
        working.reset(proto_->clone());
        lastProto = proto_;
    }
    return working.get();
}

LocalDateTime Calendar::components(Instant t) const {
    const std::int64_t ms = t.time_since_epoch().count();
    if (const auto span = offsetSpan(ms)) {
        const std::int64_t local = ms + span->offset;
        const std::int64_t days = floorDiv(local, kDayMs);
        const std::int64_t inDay = local - days * kDayMs;
        LocalDateTime c;
        civilFromDays(days, c);
        c.hour = static_cast<int>(inDay / 3'600'000);
        c.minute = static_cast<int>(inDay / 60'000 % 60);
        c.second = static_cast<int>(inDay / 1000 % 60);
        c.weekday = static_cast<int>((days % 7 + 7 + 4) % 7) + 1; // 1970-01-01 was a Thursday
        return c;
    }
    auto cal = make();
    UErrorCode status = U_ZERO_ERROR;
    cal->setTime(toUDate(t), status);
    LocalDateTime c;
    c.year = cal->get(UCAL_EXTENDED_YEAR, status);
    c.month = cal->get(UCAL_MONTH, status) + 1;
    c.day = cal->get(UCAL_DATE, status);
    c.hour = cal->get(UCAL_HOUR_OF_DAY, status);
    c.minute = cal->get(UCAL_MINUTE, status);
    c.second = cal->get(UCAL_SECOND, status);
    c.weekday = cal->get(UCAL_DAY_OF_WEEK, status);
    return c;
}

int Calendar::minutesOfDay(Instant t) const {
    const LocalDateTime c = components(t);
    return c.hour * 60 + c.minute;
}

int Calendar::utcOffsetSeconds(Instant t) const {
    auto cal = make();
    UErrorCode status = U_ZERO_ERROR;
    cal->setTime(toUDate(t), status);
    const int ms = cal->get(UCAL_ZONE_OFFSET, status) + cal->get(UCAL_DST_OFFSET, status);
    return ms / 1000;
}

QList<Calendar::OffsetChange> Calendar::offsetChanges(Instant from, Instant to, int limit) const {
    QList<OffsetChange> out;
    const auto* zone = dynamic_cast<const icu::BasicTimeZone*>(&proto_->getTimeZone());
    if (!zone || to <= from) {
        return out;
    }
    UDate base = toUDate(from);
    icu::TimeZoneTransition transition;
    while (out.size() < limit && zone->getNextTransition(base, false, transition)) {
        const UDate when = transition.getTime();
        if (when > toUDate(to) || when <= base) {
            break;
        }
        const icu::TimeZoneRule* before = transition.getFrom();
        const icu::TimeZoneRule* after = transition.getTo();
        if (before && after) {
            const int delta =
                (after->getRawOffset() + after->getDSTSavings()) - (before->getRawOffset() + before->getDSTSavings());
            if (delta != 0) {
                out.append(OffsetChange{fromUDate(when), delta / 1000});
            }
        }
        base = when;
    }
    return out;
}

std::optional<Instant> Calendar::date(int year, int month, int day, int hour, int minute, int second) const {
    if (year < -200000 || year > 200000 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59) {
        return std::nullopt;
    }
    if (day > daysInMonth(year, month)) {
        return std::nullopt;
    }
    // Far from any offset change a wall-clock time has exactly one instant: local time minus the
    // offset. Near one (skipped and repeated times), ICU decides.
    const std::int64_t local = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * kDayMs +
                               ((hour * 60 + minute) * 60 + second) * std::int64_t{1000};
    if (const auto guess = offsetSpan(local)) {
        const std::int64_t t = local - guess->offset;
        const auto span = offsetSpan(t);
        constexpr std::int64_t margin = 2 * kDayMs; // more than any offset change
        if (span && span->offset == guess->offset && span->from <= t - margin && t + margin < span->to) {
            return Instant(std::chrono::milliseconds(t));
        }
    }
    auto cal = make();
    UErrorCode status = U_ZERO_ERROR;
    cal->clear();
    cal->set(UCAL_EXTENDED_YEAR, year);
    cal->set(UCAL_MONTH, month - 1);
    cal->set(UCAL_DATE, day);
    cal->set(UCAL_HOUR_OF_DAY, hour);
    cal->set(UCAL_MINUTE, minute);
    cal->set(UCAL_SECOND, second);
    cal->set(UCAL_MILLISECOND, 0);
    const UDate d = cal->getTime(status);
    if (U_FAILURE(status) || !inRange(d)) {
        return std::nullopt;
    }
    return fromUDate(d);
}

Instant Calendar::startOfDay(Instant t) const {
    return settingTime(t, 0);
}

Instant Calendar::settingTime(Instant t, int minutesOfDay) const {
    const LocalDateTime c = components(t);
    const int m = std::clamp(minutesOfDay, 0, 1439);
    return date(c.year, c.month, c.day, m / 60, m % 60).value_or(t);
}

namespace {
// Proleptic Gregorian day numbers of local dates, and back.
std::int64_t dayNumber(const LocalDateTime& c) {
    const std::int64_t y = c.month <= 2 ? c.year - 1 : c.year;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (c.month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + c.day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

void setDate(LocalDateTime& c, std::int64_t number) {
    const std::int64_t era = (number >= 0 ? number : number - 146096) / 146097;
    const std::int64_t doe = number - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<int>(era * 400 + yoe + (c.month <= 2 ? 1 : 0));
}

// Moves t by whole units of a calendar field on its wall clock: the date moves, the time of day stays
// (a time a clock change skips on the new day becomes the next existing one).
std::optional<Instant> addingOnWallClock(icu::Calendar* cal, const LocalDateTime& c, Instant t,
                                         UCalendarDateFields field, std::int64_t amount) {
    UErrorCode status = U_ZERO_ERROR;
    cal->clear();
    cal->set(UCAL_EXTENDED_YEAR, c.year);
    cal->set(UCAL_MONTH, c.month - 1);
    cal->set(UCAL_DATE, c.day);
    cal->add(field, static_cast<int32_t>(amount), status);
    cal->set(UCAL_HOUR_OF_DAY, c.hour);
    cal->set(UCAL_MINUTE, c.minute);
    cal->set(UCAL_SECOND, c.second);
    const UDate d = cal->getTime(status);
    if (U_FAILURE(status) || !inRange(d)) {
        return std::nullopt;
    }
    const std::int64_t millis = ((t.time_since_epoch().count() % 1000) + 1000) % 1000;
    return fromUDate(d + static_cast<double>(millis));
}
} // namespace

std::optional<Instant> Calendar::addingDays(Instant t, std::int64_t days) const {
    if (days < -100'000'000 || days > 100'000'000) {
        return std::nullopt;
    }
    // Where the offset stays the same from t to the day reached (and well around both), a calendar
    // day is 24 hours. Near an offset change, ICU decides.
    const std::int64_t ms = t.time_since_epoch().count();
    if (const auto span = offsetSpan(ms); span && days > -10'000 && days < 10'000) {
        const std::int64_t moved = ms + days * kDayMs;
        constexpr std::int64_t margin = 2 * kDayMs; // more than any offset change
        if (span->from <= std::min(ms, moved) - margin && std::max(ms, moved) + margin < span->to) {
            return Instant(std::chrono::milliseconds(moved));
        }
    }
    // The date is counted here: ICU adds elapsed days, a day late across a day a zone skips.
    LocalDateTime c = components(t);
    setDate(c, dayNumber(c) + days);
    return addingOnWallClock(make(), c, t, UCAL_DATE, 0);
}

std::optional<Instant> Calendar::addingMonths(Instant t, std::int64_t months) const {
    if (months < -3'000'000 || months > 3'000'000) {
        return std::nullopt;
    }
    const LocalDateTime c = components(t);
    return addingOnWallClock(make(), c, t, UCAL_MONTH, months);
}

std::int64_t Calendar::daysBetween(Instant a, Instant b) const {
    // Count on the proleptic Gregorian day numbers of the two local dates; immune to clock changes.
    return dayNumber(components(b)) - dayNumber(components(a));
}

QString Calendar::formatIn(Instant t, QStringView pattern, const QString& locale) const {
    // Building an ICU formatter costs far more than using one: keep them per zone, locale and pattern.
    thread_local std::map<QString, std::unique_ptr<icu::SimpleDateFormat>> cache;
    QString key = zone_ + QChar(0x1f) + locale + QChar(0x1f) + pattern.toString();
    auto it = cache.find(key);
    if (it == cache.end()) {
        UErrorCode status = U_ZERO_ERROR;
        auto fmt =
            std::make_unique<icu::SimpleDateFormat>(toIcu(pattern), icu::Locale(locale.toUtf8().constData()), status);
        if (U_FAILURE(status)) {
            return {};
        }
        fmt->adoptCalendar(proto_->clone());
        if (cache.size() > 256) {
            cache.clear();
        }
        it = cache.emplace(std::move(key), std::move(fmt)).first;
    }
    icu::UnicodeString out;
    it->second->format(toUDate(t), out);
    return fromIcu(out);
}

QString Calendar::format(Instant t, QStringView pattern) const {
    return formatIn(t, pattern, locale_);
}

QString Calendar::formatPosix(Instant t, QStringView pattern) const {
    static const QString posix = QStringLiteral("en_US_POSIX");
    return formatIn(t, pattern, posix);
}

std::optional<Instant> Calendar::parseIsoDate(QStringView text) const {
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-') {
        return std::nullopt;
    }
    auto number = [&](qsizetype from, qsizetype count) -> std::optional<int> {
        int n = 0;
        for (qsizetype i = from; i < from + count; ++i) {
            const char16_t ch = text[i].unicode();
            if (ch < u'0' || ch > u'9') {
                return std::nullopt;
            }
            n = n * 10 + (ch - u'0');
        }
        return n;
    };
    const auto y = number(0, 4);
    const auto m = number(5, 2);
    const auto d = number(8, 2);
    if (!y || !m || !d) {
        return std::nullopt;
    }
    return date(*y, *m, *d);
}

} // namespace plim
