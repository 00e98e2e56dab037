#include "base/Calendar.h"
#include "base/Clock.h"

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

// Days of a month of the proleptic Gregorian calendar (year 0 is 1 BC).
int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 2 && leap ? 29 : kDays[month - 1];
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// A POSIX TZ rule, read as the C library reads it: "std offset [dst [offset] [,start[/time],end[/time]]]",
// for example "CET-1CEST,M3.5.0,M10.5.0/3" or "<+0530>-5:30". Offsets count westwards from UTC.
class PosixRule {
public:
    // The rule as an ICU zone named `id`; none when the text is no rule, or names its days of
    // change in a way ICU's yearly rules cannot say (a day that counts 29 February, a time that
    // moves the change into another month).
    static std::unique_ptr<icu::TimeZone> zone(std::string_view text, const icu::UnicodeString& id) {
        PosixRule r(text);
        const auto stdName = r.name();
        const auto stdOffset = stdName ? r.clock(24) : std::nullopt;
        if (!stdOffset) {
            return nullptr;
        }
        const int32_t raw = -*stdOffset * 1000;
        if (r.atEnd()) {
            return std::make_unique<icu::SimpleTimeZone>(raw, id);
        }
        if (!r.name()) {
            return nullptr;
        }
        std::optional<int> dstOffset = *stdOffset - 3600; // one hour ahead unless said
        if (!r.atEnd() && r.peek() != ',') {
            dstOffset = r.clock(24);
        }
        // Without days of change the C library takes the US rules.
        std::optional<Change> start = Change{Change::Month, 3, 2, 0, 7200};
        std::optional<Change> end = Change{Change::Month, 11, 1, 0, 7200};
        if (!r.atEnd()) {
            start = r.accept(',') ? r.change() : std::nullopt;
            end = start && r.accept(',') ? r.change() : std::nullopt;
        }
        const auto icuStart = start ? start->icu() : std::nullopt;
        const auto icuEnd = end ? end->icu() : std::nullopt;
        if (!dstOffset || !r.atEnd() || !icuStart || !icuEnd) {
            return nullptr;
        }
        int32_t savings = (*stdOffset - *dstOffset) * 1000;
        if (savings == 0) {
            return std::make_unique<icu::SimpleTimeZone>(raw, id);
        }
        // ICU wants the summer ahead; a summer behind (winter time as daylight time) is the same
        // offsets with the seasons' names swapped.
        auto [on, off] = std::pair{*icuStart, *icuEnd};
        int32_t base = raw;
        if (savings < 0) {
            std::swap(on, off);
            base = raw + savings;
            savings = -savings;
        }
        UErrorCode status = U_ZERO_ERROR;
        auto zone = std::make_unique<icu::SimpleTimeZone>(
            base, id, on.month, on.day, on.weekday, on.millis, icu::SimpleTimeZone::WALL_TIME, off.month, off.day,
            off.weekday, off.millis, icu::SimpleTimeZone::WALL_TIME, savings, status);
        return U_SUCCESS(status) ? std::move(zone) : nullptr;
    }

private:
    // A day of change in ICU's terms: see the SimpleTimeZone constructor.
    struct IcuDay {
        int8_t month;   // 0 ... 11
        int8_t day;     // week of the month (-1: last), or a day of the month
        int8_t weekday; // 1 = Sunday; 0: `day` is a fixed date; negative: on or after (before) `day`
        int32_t millis; // time of day, in the time in force before the change
    };
    struct Change {
        enum Kind { Julian, ZeroBased, Month } kind;
        int month = 0; // Mm.w.d
        int week = 0;
        int weekday = 0; // 0 = Sunday
        int seconds = 0;
        int day = 0; // Jn (1 ... 365, 29 February never counted) or n (0 ... 365)

        std::optional<IcuDay> icu() const {
            // ICU takes a time of day up to 24:00; a time beyond (or before 00:00) moves the day.
            std::int64_t time = seconds;
            int shift = 0;
            if (time < 0 || time > 86400) {
                shift = static_cast<int>(floorDiv(time, 86400));
                time -= std::int64_t{shift} * 86400;
            }
            const auto millis = static_cast<int32_t>(time * 1000);
            if (kind == Month) {
                if (shift == 0) {
                    return IcuDay{static_cast<int8_t>(month - 1), static_cast<int8_t>(week == 5 ? -1 : week),
                                  static_cast<int8_t>(weekday + 1), millis};
                }
                const auto weekdayAfter = static_cast<int8_t>(-(((weekday + shift) % 7 + 7) % 7 + 1));
                const int shortest = daysInMonth(2001, month);
                if (week < 5) { // the first such weekday on or after a day
                    const int from = 7 * (week - 1) + 1 + shift;
                    if (from < 1 || from + 6 > shortest) {
                        return std::nullopt;
                    }
                    return IcuDay{static_cast<int8_t>(month - 1), static_cast<int8_t>(from), weekdayAfter, millis};
                }
                const int until = shortest + shift; // the last such weekday on or before a day
                if (month == 2 || shift > 0 || until - 6 < 1) {
                    return std::nullopt;
                }
                return IcuDay{static_cast<int8_t>(month - 1), static_cast<int8_t>(-until), weekdayAfter, millis};
            }
            // A day of the year: a fixed date only where 29 February cannot come between.
            const int n = (kind == Julian ? day : day + 1) + shift; // 1 = 1 January
            if (n < 1 || n > (kind == Julian ? 365 : 59)) {
                return std::nullopt;
            }
            int m = 1;
            int d = n;
            while (d > daysInMonth(2001, m)) {
                d -= daysInMonth(2001, m);
                ++m;
            }
            return IcuDay{static_cast<int8_t>(m - 1), static_cast<int8_t>(d), 0, millis};
        }
    };

    explicit PosixRule(std::string_view text)
        : s_(text) {}

    bool atEnd() const { return i_ >= s_.size(); }
    char peek() const { return atEnd() ? '\0' : s_[i_]; }
    bool accept(char c) {
        if (peek() != c) {
            return false;
        }
        ++i_;
        return true;
    }
    static bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    // Three letters or more, or "<...>" around three or more letters, digits and signs.
    bool name() {
        std::size_t j = i_;
        const bool quoted = accept('<');
        std::size_t n = 0;
        while (!atEnd() && (isAlpha(peek()) || (quoted && (isDigit(peek()) || peek() == '+' || peek() == '-')))) {
            ++i_;
            ++n;
        }
        if (n < 3 || (quoted && !accept('>'))) {
            i_ = j;
            return false;
        }
        return true;
    }
    // An unsigned number of one to `maxDigits` digits.
    std::optional<int> number(int maxDigits) {
        int n = 0;
        int digits = 0;
        while (!atEnd() && isDigit(peek()) && digits < maxDigits) {
            n = n * 10 + (s_[i_++] - '0');
            ++digits;
        }
        return digits > 0 ? std::optional<int>(n) : std::nullopt;
    }
    // [+|-]hh[:mm[:ss]] in seconds.
    std::optional<int> clock(int maxHours) {
        const int sign = accept('-') ? -1 : (accept('+'), 1);
        const auto h = number(3);
        if (!h || *h > maxHours) {
            return std::nullopt;
        }
        int seconds = *h * 3600;
        for (const int unit : {60, 1}) {
            if (!accept(':')) {
                break;
            }
            const auto part = number(2);
            if (!part || *part > 59) {
                return std::nullopt;
            }
            seconds += *part * unit;
        }
        return sign * seconds;
    }
    // Jn, n or Mm.w.d, then an optional /time.
    std::optional<Change> change() {
        Change c{Change::Month};
        if (accept('M')) {
            const auto m = number(2);
            const auto w = m && accept('.') ? number(1) : std::nullopt;
            const auto d = w && accept('.') ? number(1) : std::nullopt;
            if (!d || *m < 1 || *m > 12 || *w < 1 || *w > 5 || *d > 6) {
                return std::nullopt;
            }
            c.month = *m;
            c.week = *w;
            c.weekday = *d;
        } else {
            c.kind = accept('J') ? Change::Julian : Change::ZeroBased;
            const auto n = number(3);
            if (!n || *n > 365 || (c.kind == Change::Julian && *n < 1)) {
                return std::nullopt;
            }
            c.day = *n;
        }
        c.seconds = 7200;
        if (accept('/')) {
            const auto t = clock(167);
            if (!t) {
                return std::nullopt;
            }
            c.seconds = *t;
        }
        return c;
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

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
        if (auto rule = PosixRule::zone(zoneId.toStdString(), id)) {
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
    if (!rule.isEmpty() && PosixRule::zone(rule.toStdString(), toIcu(rule))) {
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

// Stretches of time over which a zone keeps one UTC offset, learned from ICU as they are needed:
// inside one, wall-clock fields are plain arithmetic. Reading thousands of reminder stamps then
// costs a lookup each instead of a full ICU field computation.
class OffsetSpans {
public:
    using Span = Calendar::OffsetSpan;

    // The span holding t, or nothing where the zone's rules are not simple enough.
    const Span* at(const icu::BasicTimeZone& zone, std::int64_t t) {
        if (t < -kLimit || t > kLimit) {
            return nullptr;
        }
        auto it = spans_.upper_bound(t);
        if (it != spans_.begin()) {
            const Span& span = std::prev(it)->second;
            if (t < span.to) {
                return &span;
            }
        }
        if (spans_.size() >= kMaxSpans) {
            spans_.clear();
        }
        UErrorCode status = U_ZERO_ERROR;
        int32_t raw = 0;
        int32_t dst = 0;
        zone.getOffset(static_cast<UDate>(t), false, raw, dst, status);
        if (U_FAILURE(status)) {
            return nullptr;
        }
        icu::TimeZoneTransition transition;
        Span span{std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(), raw + dst};
        if (zone.getPreviousTransition(static_cast<UDate>(t), true, transition)) {
            span.from = static_cast<std::int64_t>(transition.getTime());
        }
        if (zone.getNextTransition(static_cast<UDate>(t), false, transition)) {
            span.to = static_cast<std::int64_t>(transition.getTime());
        }
        if (span.from > t || span.to <= t) {
            return nullptr;
        }
        return &spans_.insert_or_assign(span.from, span).first->second;
    }

private:
    static constexpr std::int64_t kLimit = 100'000'000'000'000; // about ±3 000 years around 1970
    static constexpr std::size_t kMaxSpans = 4096;
    std::map<std::int64_t, Span> spans_;
};

// The spans of the last few zones this thread used (a working calendar and UTC side by side must
// not evict each other).
OffsetSpans& spansFor(const QString& zone) {
    struct Slot {
        QString zone;
        std::unique_ptr<OffsetSpans> spans;
    };
    thread_local std::vector<Slot> slots;
    for (auto it = slots.begin(); it != slots.end(); ++it) {
        if (it->zone == zone) {
            std::rotate(slots.begin(), it, it + 1);
            return *slots.front().spans;
        }
    }
    if (slots.size() >= 4) {
        slots.pop_back();
    }
    slots.insert(slots.begin(), Slot{zone, std::make_unique<OffsetSpans>()});
    return *slots.front().spans;
}

} // namespace

Calendar Calendar::system() {
    QString locale = QLocale::system().name();
    if (locale == QLatin1String("C") || locale.isEmpty()) {
        locale = QStringLiteral("en_US");
    }
    if (!qEnvironmentVariableIsSet("TZ")) {
        return Calendar(hostZoneId(), locale);
    }
    const QString tz = qEnvironmentVariable("TZ");
    const auto zone = zoneFromTZ(tz);
    if (!zone) {
        warnUnknownZone(tz);
    }
    return Calendar(zone.value_or(QStringLiteral("UTC")), locale);
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
    if (fileOnly || !PosixRule::zone(value.toStdString(), toIcu(value))) {
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
    const LocalDateTime c = components(t);
    return addingOnWallClock(make(), c, t, UCAL_DATE, days);
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
    auto dayNumber = [](const LocalDateTime& c) {
        const std::int64_t y = c.month <= 2 ? c.year - 1 : c.year;
        const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
        const std::int64_t yoe = y - era * 400;
        const std::int64_t mp = (c.month + 9) % 12;
        const std::int64_t doy = (153 * mp + 2) / 5 + c.day - 1;
        const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe;
    };
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

Clock& Clock::system() {
    static SystemClock clock;
    return clock;
}

Instant SystemClock::now() const {
    return std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

} // namespace plim
