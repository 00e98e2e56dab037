#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <chrono>
#include <memory>
#include <optional>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class BasicTimeZone;
class Calendar;
U_NAMESPACE_END

namespace plim {

// An instant on the UTC time line, to the millisecond. Wall-clock values only exist inside Calendar.
using Instant = std::chrono::sys_time<std::chrono::milliseconds>;

constexpr Instant instantFromSeconds(std::int64_t seconds) {
    return Instant(std::chrono::milliseconds(seconds * 1000));
}
constexpr std::int64_t secondsSinceEpoch(Instant t) {
    return std::chrono::floor<std::chrono::seconds>(t.time_since_epoch()).count();
}

// Wall-clock fields of an instant in a calendar's zone. weekday: 1 = Sunday ... 7 = Saturday.
struct LocalDateTime {
    int year = 0;
    int month = 0; // 1...12
    int day = 0;   // 1...31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 0;
    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// The Gregorian calendar in one time zone and one locale, on ICU. A cheap value: copies share the
// immutable ICU prototype. Wall-clock times that a clock change skips resolve to the next existing
// time; a repeated wall-clock time resolves to its first occurrence.
class Calendar {
public:
    // The user's calendar: the system's current zone (TZ respected, re-read on every call) and locale.
    // A TZ that names no zone gives UTC, said once on standard error.
    static Calendar system();
    // The zone a TZ value names, read as the C library reads it: a zone name ("Europe/Berlin",
    // ":Europe/Berlin"), a zone file's path, or a POSIX rule ("CET-1CEST,M3.5.0,M10.5.0/3",
    // "<+0530>-5:30"). Gives a zone id this class takes, or none.
    static std::optional<QString> zoneFromTZ(const QString& tz);
    // A calendar for a fixed zone ("Europe/Berlin", or a POSIX rule) and locale ("en_US"). An
    // unknown zone gives an invalid calendar that behaves as UTC.
    explicit Calendar(const QString& zoneId, const QString& locale = QStringLiteral("en_US"));

    bool isValid() const { return valid_; }
    const QString& zoneId() const { return zone_; }
    const QString& localeName() const { return locale_; }

    LocalDateTime components(Instant t) const;
    int weekday(Instant t) const { return components(t).weekday; }
    // Minutes after local midnight, 0...1439.
    int minutesOfDay(Instant t) const;
    // Offset from UTC at t, in seconds, daylight saving included.
    int utcOffsetSeconds(Instant t) const;
    // A change of the zone's UTC offset (daylight saving starting or ending, a new standard time).
    struct OffsetChange {
        Instant at;
        int deltaSeconds = 0; // the offset after minus the offset before
        friend bool operator==(const OffsetChange&, const OffsetChange&) = default;
    };
    // A stretch of time with one UTC offset, in milliseconds since 1970.
    struct OffsetSpan {
        std::int64_t from; // its first millisecond
        std::int64_t to;   // the first millisecond after it
        std::int64_t offset;
    };
    // The offset changes after `from` up to and including `to`, earliest first, at most `limit`.
    QList<OffsetChange> offsetChanges(Instant from, Instant to, int limit) const;
    // The stretch of constant UTC offset that holds t, when the zone's rules tell it: inside one,
    // wall-clock time is the instant plus the offset.
    std::optional<OffsetSpan> steadyOffset(Instant t) const { return offsetSpan(t.time_since_epoch().count()); }

    // The instant of a wall-clock time. Fields must name a real date (no 30 February) and a time
    // 00:00:00...23:59:59; otherwise nothing.
    std::optional<Instant> date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) const;
    // Local midnight (or the first existing moment) of t's day.
    Instant startOfDay(Instant t) const;
    // t moved by whole calendar days, keeping its wall-clock time (never 24-hour steps).
    std::optional<Instant> addingDays(Instant t, std::int64_t days) const;
    // t moved by whole calendar months (day clamped to the month's length), keeping its wall-clock time.
    std::optional<Instant> addingMonths(Instant t, std::int64_t months) const;
    // The given time of day (minutes after midnight, seconds zero) on t's day.
    Instant settingTime(Instant t, int minutesOfDay) const;
    // Whole calendar days from a's day to b's day.
    std::int64_t daysBetween(Instant a, Instant b) const;

    // Formats with a fixed ICU pattern ("EEE", "MMM d") in this calendar's locale...
    QString format(Instant t, QStringView pattern) const;
    // ...or in "en_US_POSIX", for the file's own stamps and headings.
    QString formatPosix(Instant t, QStringView pattern) const;
    // Reads "yyyy-MM-dd" (exactly four, two and two digits) as local midnight of that day.
    std::optional<Instant> parseIsoDate(QStringView text) const;

    friend bool operator==(const Calendar& a, const Calendar& b) {
        return a.zone_ == b.zone_ && a.locale_ == b.locale_;
    }

private:
    // A working ICU calendar set up as the prototype; its fields and time are the caller's to set.
    icu::Calendar* make() const;
    QString formatIn(Instant t, QStringView pattern, const QString& locale) const;
    // The stretch of constant UTC offset around t (milliseconds since 1970), when one is known.
    std::optional<OffsetSpan> offsetSpan(std::int64_t t) const;

    std::shared_ptr<const icu::Calendar> proto_;
    const icu::BasicTimeZone* basicZone_ = nullptr; // proto_'s zone, when it can list its changes
    QString zone_;
    QString locale_;
    bool valid_ = false;
};

} // namespace plim
