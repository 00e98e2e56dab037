#include "reminders/Reminder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

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

// --- Counting rings without stepping ---
//
// Where the zone keeps one UTC offset, local time is the instant plus that offset, and the schedule
// is plain arithmetic on local milliseconds: a times rule rings at fixed minutes of its days, an
// interval rule repeats one day's pattern from each opening of its window, so the rings of months
// are counted in a few operations. Around an offset change local time is still arithmetic on the
// two offsets, with wall-clock times resolved as the calendar resolves them; there the count steps
// ring by ring, as the schedule itself does.

constexpr std::int64_t kMinuteMs = 60'000;
constexpr std::int64_t kDayMs = 86'400'000;
// Computing a ring reads days and times within a day or so of its result; rings kept this far from
// an offset change that local time does not describe never meet it.
constexpr std::int64_t kFarFromChangeMs = 3 * kDayMs;
// A change of half a day or more (a whole day skipped or repeated) also moves the days the calendar
// steps through: only the calendar itself goes past one.
constexpr std::int64_t kDayShiftMs = 12 * 3'600'000;
// Far beyond any date in use (the year 5000), well before the calendar's own ends.
constexpr std::int64_t kCountedLimitMs = 95'000'000'000'000;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// 1 = Sunday ... 7 = Saturday of a day counted from 1970-01-01, a Thursday.
int weekdayOfDay(std::int64_t day) {
    return static_cast<int>((day % 7 + 7 + 4) % 7) + 1;
}

// Local time around one offset change at `change` (none: one offset throughout). A wall-clock time
// that the change skips resolves to the change itself (the next existing time); one that happens
// twice, to its first occurrence. Holds for the rings up to `to`.
struct LocalTime {
    std::int64_t change = std::numeric_limits<std::int64_t>::max();
    std::int64_t before = 0; // offset before the change
    std::int64_t after = 0;  // offset from the change on
    std::int64_t to = 0;

    std::int64_t local(std::int64_t t) const { return t + (t < change ? before : after); }
    std::int64_t instant(std::int64_t wall) const {
        if (wall - before < change) {
            return wall - before;
        }
        return std::max(change, wall - after);
    }
};

// Local time for the rings after t, from the zone's stretches of one offset: the one holding t and
// the next, or, just after the clock went back, the one before (whose times were repeated).
std::optional<LocalTime> localTimeAfter(std::int64_t t, const Calendar& calendar) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    const auto spanAt = [&](std::int64_t ms) { return calendar.steadyOffset(Instant(milliseconds(ms))); };
    // Rings stay a few days short of a change that the local time does not describe.
    const auto shortOf = [](std::int64_t change) { return change == kMax ? kMax : change - kFarFromChangeMs; };
    // Changes of less than half a day between stretches longer than that.
    // A stretch open at either end is long: its length does not fit in 64 bits.
    const auto isLong = [](const Calendar::OffsetSpan& s) {
        std::int64_t length = 0;
        return __builtin_sub_overflow(s.to, s.from, &length) || length > kFarFromChangeMs;
    };
    const auto near = [&](const Calendar::OffsetSpan& a, const Calendar::OffsetSpan& b) {
        return std::abs(a.offset - b.offset) < kDayShiftMs && isLong(a) && isLong(b);
    };
    const auto here = spanAt(t);
    if (!here) {
        return std::nullopt;
    }
    if (here->from != std::numeric_limits<std::int64_t>::min()) {
        const auto previous = spanAt(here->from - 1);
        if (!previous || !near(*previous, *here)) {
            if (t - here->from < kFarFromChangeMs) {
                return std::nullopt;
            }
        } else if (t - here->from < previous->offset - here->offset) {
            return LocalTime{here->from, previous->offset, here->offset, shortOf(here->to)};
        }
    }
    const auto following = here->to == kMax ? std::nullopt : spanAt(here->to);
    LocalTime out{kMax, here->offset, here->offset, shortOf(here->to)};
    if (following && near(*here, *following)) {
        out = LocalTime{here->to, here->offset, following->offset, std::max(here->to - 1, shortOf(following->to))};
    }
    out.to = std::min(out.to, kCountedLimitMs);
    return out;
}

// A rule's schedule on local milliseconds, as ring() computes it through the calendar.
class LocalRule {
public:
    explicit LocalRule(const Rule& rule) {
        if (const auto* times = std::get_if<Rule::Times>(&rule.value)) {
            for (const TimeOfDay t : times->times) {
                if (t.minutes >= 0 && t.minutes <= 1439) {
                    minutes_.push_back(t.minutes);
                }
            }
            std::sort(minutes_.begin(), minutes_.end());
            minutes_.erase(std::unique(minutes_.begin(), minutes_.end()), minutes_.end());
            for (int weekday = 1; weekday <= 7; ++weekday) {
                matching_[weekday] = times->days.matches(weekday);
                perWeek_ += matching_[weekday] ? 1 : 0;
            }
            valid_ = !minutes_.empty() && perWeek_ > 0;
            return;
        }
        const auto& every = std::get<Rule::Interval>(rule.value);
        interval_ = true;
        length_ = std::int64_t{every.minutes} * kMinuteMs;
        start_ = every.window.start.minutes;
        end_ = every.window.end.minutes;
        valid_ = every.minutes > 0 && start_ >= 0 && start_ <= 1439;
    }

    // When false, the calendar decides (the rule may never ring).
    bool valid() const { return valid_; }

    // The ring strictly after t, when it lies where `time` holds.
    std::optional<std::int64_t> ring(std::int64_t t, const LocalTime& time) const {
        const auto inside = [&](std::int64_t r) {
            return r <= time.to ? std::optional<std::int64_t>(r) : std::nullopt;
        };
        if (interval_) {
            const std::int64_t candidate = t + length_;
            if (candidate > time.to) {
                return std::nullopt;
            }
            const std::int64_t local = time.local(candidate);
            const std::int64_t day = floorDiv(local, kDayMs);
            const std::int64_t tod = (local - day * kDayMs) / kMinuteMs;
            if (tod < start_) {
                return inside(std::max(time.instant(day * kDayMs + start_ * kMinuteMs), candidate));
            }
            if (tod <= end_) {
                return candidate;
            }
            return inside(time.instant((day + 1) * kDayMs + start_ * kMinuteMs));
        }
        const std::int64_t today = floorDiv(time.local(t), kDayMs);
        for (std::int64_t day = today; day < today + 8; ++day) {
            if (!matching_[weekdayOfDay(day)]) {
                continue;
            }
            for (const int m : minutes_) {
                const std::int64_t candidate = time.instant(day * kDayMs + m * kMinuteMs);
                if (candidate > t) {
                    return inside(candidate);
                }
            }
        }
        return std::nullopt;
    }

    struct Counted {
        std::int64_t rings = 0; // after the cursor up to the limit; at least `room` when capped
        std::int64_t last = 0;  // the last of them (the cursor when none)
    };

    // The rings after `from` up to `to`, both local milliseconds of one offset.
    Counted count(std::int64_t from, std::int64_t to, std::int64_t room) const {
        return interval_ ? countInterval(from, to, room) : countTimes(from, to);
    }

private:
    Counted countTimes(std::int64_t from, std::int64_t to) const {
        const auto n = static_cast<std::int64_t>(minutes_.size());
        // Times at or before a moment of its day.
        const auto upTo = [&](std::int64_t day, std::int64_t inDay) -> std::int64_t {
            if (!matching_[weekdayOfDay(day)]) {
                return 0;
            }
            return std::upper_bound(minutes_.begin(), minutes_.end(), inDay / kMinuteMs) - minutes_.begin();
        };
        const std::int64_t fromDay = floorDiv(from, kDayMs);
        const std::int64_t toDay = floorDiv(to, kDayMs);
        // The days [fromDay, toDay) whole, then the part of each end day up to its moment.
        const std::int64_t weeks = (toDay - fromDay) / 7;
        std::int64_t rings = weeks * perWeek_ * n;
        for (std::int64_t day = fromDay + weeks * 7; day < toDay; ++day) {
            rings += matching_[weekdayOfDay(day)] ? n : 0;
        }
        rings += upTo(toDay, to - toDay * kDayMs) - upTo(fromDay, from - fromDay * kDayMs);
        if (rings <= 0) {
            return Counted{0, from};
        }
        // The last ring: the latest time by `to` on the last matching day.
        for (std::int64_t day = toDay;; --day) {
            const std::int64_t before =
                day == toDay ? upTo(day, to - day * kDayMs) : (matching_[weekdayOfDay(day)] ? n : 0);
            if (before > 0) {
                return Counted{rings, day * kDayMs + minutes_[static_cast<std::size_t>(before - 1)] * kMinuteMs};
            }
        }
    }

    Counted countInterval(std::int64_t from, std::int64_t to, std::int64_t room) const {
        const LocalTime steady{std::numeric_limits<std::int64_t>::max(), 0, 0, to};
        const std::int64_t opening = start_ * kMinuteMs;
        const auto isOpening = [&](std::int64_t t) { return t - floorDiv(t, kDayMs) * kDayMs == opening; };
        // Each ring depends only on the time of day of the one before, so from one opening of the
        // window to the next the pattern repeats: once a whole round is seen, the rounds that fit
        // are skipped.
        Counted out{0, from};
        std::optional<Counted> firstOpening;
        while (out.rings < room) {
            const auto following = ring(out.last, steady);
            if (!following) {
                break;
            }
            out = Counted{out.rings + 1, *following};
            if (!isOpening(*following)) {
                continue;
            }
            if (!firstOpening) {
                firstOpening = out;
                continue;
            }
            const std::int64_t roundRings = out.rings - firstOpening->rings;
            const std::int64_t roundLength = out.last - firstOpening->last;
            const std::int64_t rounds = (to - out.last) / roundLength;
            if (rounds >= (room - out.rings + roundRings - 1) / roundRings) {
                return Counted{room, out.last};
            }
            out = Counted{out.rings + rounds * roundRings, out.last + rounds * roundLength};
            firstOpening = out;
        }
        return out;
    }

    std::vector<int> minutes_;
    bool matching_[8] = {};
    std::int64_t perWeek_ = 0;
    bool interval_ = false;
    std::int64_t length_ = 0;
    std::int64_t start_ = 0;
    std::int64_t end_ = 0;
    bool valid_ = false;
};

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
    return upcoming(after, calendar).ring;
}

Reminder::Upcoming Reminder::upcoming(Instant after, const Calendar& calendar) const {
    if (next > after) {
        return {next, true};
    }
    if (!rule) {
        return {std::nullopt, true};
    }
    // A rule's rings are a fixed sequence, but one that rings nowhere may only have run out of range.
    const auto onSequence = [](std::optional<Instant> ring) { return Upcoming{ring, ring.has_value()}; };
    if (std::holds_alternative<Rule::Times>(rule->value)) {
        return onSequence(ring(after, calendar));
    }
    // Step on from the rings already scheduled, so the interval keeps its cadence.
    Instant cursor = next;
    if (const auto skip = skipDays(std::get<Rule::Interval>(rule->value), next, after, calendar)) {
        if (skip->capped) {
            return {ring(after, calendar), false};
        }
        cursor = skip->cursor;
    }
    for (int step = 0; step < kMaxCatchUpSteps; ++step) {
        const auto following = ring(cursor, calendar);
        if (!following) {
            return {std::nullopt, false};
        }
        if (*following > after) {
            return onSequence(following);
        }
        cursor = *following;
    }
    // Away so long that stepping gave up: the rule still rings, so restart its count at `after` rather than
    // end a repeat that was never answered.
    return {ring(after, calendar), false};
}

int Reminder::unansweredRings(Instant at, const Calendar& calendar) const {
    if (next > at) {
        return 0;
    }
    if (!rule) {
        return 1;
    }
    const LocalRule local(*rule);
    const std::int64_t end = at.time_since_epoch().count();
    std::int64_t count = 1;
    std::int64_t cursor = next.time_since_epoch().count();
    while (count < kMaxCountedRings) {
        const auto time = local.valid() ? localTimeAfter(cursor, calendar) : std::nullopt;
        if (time && cursor < time->to) {
            // Up to the change the offset is one: the rings there are counted at once.
            const std::int64_t limit = std::min({end, time->to, time->change - 1});
            if (cursor < limit) {
                const auto counted = local.count(cursor + time->before, limit + time->before, kMaxCountedRings - count);
                count += counted.rings;
                cursor = counted.last - time->before;
                if (count >= kMaxCountedRings || limit == end) {
                    break;
                }
            }
            // Across the change, one ring at a time.
            if (const auto following = local.ring(cursor, *time)) {
                if (*following > end) {
                    break;
                }
                cursor = *following;
                ++count;
                continue;
            }
        }
        const auto following = ring(Instant(milliseconds(cursor)), calendar);
        if (!following || *following > at) {
            break;
        }
        cursor = following->time_since_epoch().count();
        ++count;
    }
    return static_cast<int>(std::min<std::int64_t>(count, kMaxCountedRings));
}

} // namespace plim
