#include "reminders/Reminder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace plim {

namespace {

using std::chrono::milliseconds;

// Instants further out than this are beyond what the calendar resolves; no ring is placed there, and
// keeping inside it leaves plenty of headroom for adding any int count of minutes without overflow.
constexpr std::int64_t kLimitMillis = 8'640'000'000'000'000; // ±273,790 years around 1970

bool inRange(Instant t) {
    const std::int64_t ms = t.time_since_epoch().count();
    return ms > -kLimitMillis && ms < kLimitMillis;
}

constexpr int kTimesSearchDays = 8; // today and the seven days after it: every weekday once more
constexpr int kMaxCatchUpSteps = 20000;
constexpr int kMaxCountedRings = 999;

struct CivilDay {
    int year = 0;
    int month = 0;
    int day = 0;
    int weekday = 0;
};

CivilDay dayOf(Instant t, const Calendar& calendar) {
    const LocalDateTime c = calendar.components(t);
    return {c.year, c.month, c.day, c.weekday};
}

// The day `offset` calendar days after `day`. Counted from noon, which every day has, so a clock change at
// midnight cannot move the count onto the wrong day.
std::optional<CivilDay> shiftDay(const CivilDay& day, int offset, const Calendar& calendar) {
    const auto noon = calendar.date(day.year, day.month, day.day, 12, 0);
    if (!noon) {
        return std::nullopt;
    }
    const auto moved = calendar.addingDays(*noon, offset);
    if (!moved || !inRange(*moved)) {
        return std::nullopt;
    }
    return dayOf(*moved, calendar);
}

// A time of day on a day: the next existing time when a clock change skips it, the first occurrence when it
// happens twice.
std::optional<Instant> onDay(const CivilDay& day, TimeOfDay time, const Calendar& calendar) {
    if (time.minutes < 0 || time.minutes > 1439) {
        return std::nullopt;
    }
    return calendar.date(day.year, day.month, day.day, time.minutes / 60, time.minutes % 60, 0);
}

std::optional<Instant> timesRing(const Rule::Times& rule, Instant after, const Calendar& calendar) {
    QList<TimeOfDay> times = rule.times;
    std::sort(times.begin(), times.end());
    const CivilDay today = dayOf(after, calendar);
    for (int offset = 0; offset < kTimesSearchDays; ++offset) {
        const auto day = offset == 0 ? std::optional<CivilDay>(today) : shiftDay(today, offset, calendar);
        if (!day) {
            return std::nullopt;
        }
        if (!rule.days.matches(day->weekday)) {
            continue;
        }
        for (const TimeOfDay time : times) {
            const auto candidate = onDay(*day, time, calendar);
            if (candidate && *candidate > after) {
                return candidate;
            }
        }
    }
    return std::nullopt;
}

std::optional<Instant> intervalRing(const Rule::Interval& rule, Instant after, const Calendar& calendar) {
    // A length that does not move forward would never leave `after`.
    if (rule.minutes <= 0) {
        return std::nullopt;
    }
    const Instant candidate = after + milliseconds(std::int64_t{rule.minutes} * 60'000);
    if (!inRange(candidate)) {
        return std::nullopt;
    }
    const TimeOfDay tod = timeOfDay(candidate, calendar);
    const CivilDay day = dayOf(candidate, calendar);
    if (tod < rule.window.start) {
        // Before the window opens: wait for it. When the clock went back, the window's opening on this day
        // may already lie behind the candidate; the window is open then and the candidate stands.
        const auto opening = onDay(day, rule.window.start, calendar);
        if (!opening) {
            return std::nullopt;
        }
        if (*opening > candidate) {
            return opening;
        }
        return candidate;
    }
    if (tod <= rule.window.end) {
        return candidate;
    }
    const auto tomorrow = shiftDay(day, 1, calendar);
    if (!tomorrow) {
        return std::nullopt;
    }
    const auto opening = onDay(*tomorrow, rule.window.start, calendar);
    if (!opening || *opening <= after) {
        return std::nullopt;
    }
    return opening;
}

// --- Catching up on a long-overdue interval rule ---
//
// Stepping ring by ring from a reminder left ringing for years costs thousands of calendar
// operations. When the rule's window and interval leave a gap of more than any offset change
// between one day's last ring and the next day's opening, every day's rings start afresh at the
// opening, so the rings of a whole run of days can be skipped at once: the sequence passes
// through each day's opening, and a day without an offset change holds exactly span / minutes + 1
// rings. Days with a change hold a few more or fewer; the count is kept within bounds, and where
// those bounds cannot tell whether stepping would have given up, stepping decides.

constexpr int kMaxSkippedChangeMinutes = 180;
constexpr int kMaxSkippedChanges = 4096;

struct Skip {
    Instant cursor;      // a day's opening, at or before `after`, on the sequence from `next`
    bool capped = false; // stepping would have given up before reaching `after`
};

std::optional<Skip> skipDays(const Rule::Interval& rule, Instant next, Instant after, const Calendar& calendar) {
    const std::int64_t m = rule.minutes;
    const std::int64_t span = std::int64_t{rule.window.end.minutes} - rule.window.start.minutes;
    if (m <= 0 || span < 0 || m + span + kMaxSkippedChangeMinutes >= 24 * 60 || next > after) {
        return std::nullopt;
    }
    const std::int64_t days = calendar.daysBetween(next, after);
    if (days < 4) {
        return std::nullopt; // little to skip
    }
    const auto target = shiftDay(dayOf(after, calendar), -1, calendar);
    if (!target) {
        return std::nullopt;
    }
    const auto opening = onDay(*target, rule.window.start, calendar);
    if (!opening || *opening <= next) {
        return std::nullopt;
    }
    const QList<Calendar::OffsetChange> changes = calendar.offsetChanges(next, after, kMaxSkippedChanges);
    if (changes.size() >= kMaxSkippedChanges) {
        return std::nullopt;
    }
    for (const Calendar::OffsetChange& change : changes) {
        if (std::abs(change.deltaSeconds) > kMaxSkippedChangeMinutes * 60) {
            return std::nullopt;
        }
    }
    // From `next` the sequence is on the opening of the second day after next's day at the latest;
    // from there each whole day to the target day adds perDay rings, give or take `slack` for each
    // day with an offset change.
    const std::int64_t perDay = span / m + 1;
    const std::int64_t slack = static_cast<std::int64_t>(changes.size()) * (kMaxSkippedChangeMinutes / m + 3);
    const std::int64_t wholeDays = days - 3;
    const std::int64_t fewest = wholeDays * perDay + 1 - slack;
    const std::int64_t most = wholeDays * perDay + 2 * perDay + 4 + slack;
    // From the target's opening past `after`: the rest of that day and `after`'s own day.
    const std::int64_t toFinish = 2 * perDay + 4 + slack;
    if (fewest >= kMaxCatchUpSteps) {
        return Skip{*opening, true};
    }
    if (most + toFinish < kMaxCatchUpSteps) {
        return Skip{*opening, false};
    }
    return std::nullopt;
}

} // namespace

bool Days::matches(int weekday) const {
    if (std::holds_alternative<EveryDay>(value)) {
        return weekday >= 1 && weekday <= 7;
    }
    if (std::holds_alternative<Weekdays>(value)) {
        return weekday >= 2 && weekday <= 6;
    }
    return std::get<On>(value).weekdays.contains(weekday);
}

TimeOfDay timeOfDay(Instant t, const Calendar& calendar) {
    const LocalDateTime c = calendar.components(t);
    return TimeOfDay{c.hour * 60 + c.minute};
}

std::optional<Instant> Reminder::ring(Instant after, const Calendar& calendar) const {
    if (!rule || !inRange(after)) {
        return std::nullopt;
    }
    if (const auto* times = std::get_if<Rule::Times>(&rule->value)) {
        return timesRing(*times, after, calendar);
    }
    return intervalRing(std::get<Rule::Interval>(rule->value), after, calendar);
}

std::optional<Instant> Reminder::nextRing(Instant after, const Calendar& calendar) const {
    if (next > after) {
        return next;
    }
    if (!rule) {
        return std::nullopt;
    }
    if (std::holds_alternative<Rule::Times>(rule->value)) {
        return ring(after, calendar);
    }
    // Step on from the rings already scheduled, so the interval keeps its cadence.
    Instant cursor = next;
    if (const auto skip = skipDays(std::get<Rule::Interval>(rule->value), next, after, calendar)) {
        if (skip->capped) {
            return ring(after, calendar);
        }
        cursor = skip->cursor;
    }
    for (int step = 0; step < kMaxCatchUpSteps; ++step) {
        const auto following = ring(cursor, calendar);
        if (!following) {
            return std::nullopt;
        }
        if (*following > after) {
            return following;
        }
        cursor = *following;
    }
    // Away so long that stepping gave up: the rule still rings, so restart its count at `after` rather than
    // end a repeat that was never answered.
    return ring(after, calendar);
}

int Reminder::unansweredRings(Instant at, const Calendar& calendar) const {
    int count = 0;
    std::optional<Instant> cursor = next;
    while (cursor && *cursor <= at && count < kMaxCountedRings) {
        ++count;
        cursor = ring(*cursor, calendar);
    }
    return count;
}

} // namespace plim
