#include "base/PosixZone.h"

#include "base/CalendarMath.h"

#include <unicode/simpletz.h>

#include <optional>
#include <utility>

namespace plim {

namespace {

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

} // namespace

std::unique_ptr<icu::TimeZone> posixRuleZone(std::string_view text, const icu::UnicodeString& id) {
    return PosixRule::zone(text, id);
}

} // namespace plim
