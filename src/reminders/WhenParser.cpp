#include "reminders/WhenParser.h"

#include "reminders/RuleWords.h"

#include <algorithm>
#include <array>

namespace plim::WhenParser {

namespace {

using namespace std::chrono;

constexpr std::array<std::u16string_view, 12> kMonthNames = {u"january",   u"february", u"march",    u"april",
                                                             u"may",       u"june",     u"july",     u"august",
                                                             u"september", u"october",  u"november", u"december"};

// Far beyond any stamp, well inside what the calendar can compute.
constexpr std::int64_t kFarMillis = 400'000'000'000'000; // about 12 700 years from 1970

bool isOneOf(QStringView word, std::initializer_list<std::u16string_view> list) {
    return std::any_of(list.begin(), list.end(), [&](std::u16string_view w) { return word == QStringView(w); });
}

// Day D (any moment of it) at time of day T: a skipped time moves to the next existing one, a
// repeated one is taken at its first occurrence.
std::optional<Instant> onDayAt(Instant day, TimeOfDay t, const Calendar& calendar) {
    const LocalDateTime c = calendar.components(day);
    return calendar.date(c.year, c.month, c.day, t.minutes / 60, t.minutes % 60, 0);
}

// The optional single time after the day words at index i: dayStart without one.
std::optional<TimeOfDay> trailingTime(const QStringList& words, qsizetype i, const Anchors& anchors) {
    if (words.size() == i) {
        return RuleWords::anchorTime(anchors.dayStart);
    }
    if (words.size() == i + 1) {
        return RuleWords::time(words[i], anchors);
    }
    return std::nullopt;
}

// Today at t if that is still ahead, else tomorrow at t.
std::optional<Instant> todayOrTomorrow(Instant now, TimeOfDay t, const Calendar& calendar) {
    const Instant today = calendar.startOfDay(now);
    if (const auto d = onDayAt(today, t, calendar); d && *d > now) {
        return d;
    }
    const auto tomorrow = calendar.addingDays(today, 1);
    if (!tomorrow) {
        return std::nullopt;
    }
    return onDayAt(*tomorrow, t, calendar);
}

// The first day `first`...7 days after today with that weekday whose time t is later than now.
std::optional<Instant> nextWeekday(Instant now, int weekday, int first, TimeOfDay t, const Calendar& calendar) {
    const Instant today = calendar.startOfDay(now);
    for (int offset = first; offset <= 7; ++offset) {
        const auto day = calendar.addingDays(today, offset);
        if (!day || calendar.weekday(*day) != weekday) {
            continue;
        }
        if (const auto d = onDayAt(*day, t, calendar); d && *d > now) {
            return d;
        }
    }
    return std::nullopt;
}

} // namespace

QStringList normalized(QStringView text) {
    QString s = text.toString().toLower();
    s.replace(u',', u' ');
    s.replace(QLatin1String("a.m."), QLatin1String("am"));
    s.replace(QLatin1String("p.m."), QLatin1String("pm"));

    QStringList words;
    qsizetype start = -1;
    auto flush = [&](qsizetype end) {
        if (start < 0) {
            return;
        }
        QString word = s.mid(start, end - start);
        start = -1;
        if ((word == u"am" || word == u"pm") && !words.isEmpty() && !words.last().isEmpty() &&
            words.last().front().unicode() >= u'0' && words.last().front().unicode() <= u'9') {
            words.last() += word;
        } else {
            words.append(std::move(word));
        }
    };
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isSpace()) {
            flush(i);
        } else if (start < 0) {
            start = i;
        }
    }
    flush(s.size());
    return words;
}

std::optional<Rule> repeating(const QStringList& words, const Anchors& anchors, int weekday) {
    if (words.isEmpty()) {
        return std::nullopt;
    }
    const QString& first = words[0];
    if (first == u"every" || first == u"each") {
        return Rule::parse(words.mid(1), anchors, weekday);
    }
    if (first == u"hourly") {
        if (words.size() != 1) {
            return std::nullopt;
        }
        return RuleWords::intervalRule(60, RuleWords::defaultWindow(anchors));
    }
    if (first == u"daily") {
        return Rule::parse(QStringList{QStringLiteral("day")} + words.mid(1), anchors, weekday);
    }
    if (first == u"weekly") {
        return Rule::parse(QStringList{QStringLiteral("week")} + words.mid(1), anchors, weekday);
    }
    if (first == u"weekdays") {
        return Rule::parse(words, anchors, weekday);
    }
    if (first == u"twice") {
        const bool aDay = words.size() == 3 && words[1] == u"a" && words[2] == u"day";
        const bool daily = words.size() == 2 && words[1] == u"daily";
        if (!aDay && !daily) {
            return std::nullopt;
        }
        // Anchors set to the same or a reversed day still give an ordered list without repeats.
        QList<TimeOfDay> times{RuleWords::anchorTime(anchors.dayStart), RuleWords::anchorTime(anchors.dayEnd)};
        std::sort(times.begin(), times.end());
        times.erase(std::unique(times.begin(), times.end()), times.end());
        return Rule{Rule::Times{Days{Days::EveryDay{}}, times}};
    }
    return std::nullopt;
}

std::optional<int> month(QStringView name) {
    if (name.size() < 3) {
        return std::nullopt;
    }
    if (name.endsWith(u'.')) {
        name.chop(1);
    }
    for (std::size_t i = 0; i < kMonthNames.size(); ++i) {
        if (QStringView(kMonthNames[i]).startsWith(name)) {
            return static_cast<int>(i) + 1;
        }
    }
    return std::nullopt;
}

std::optional<int> dayNumber(QStringView word) {
    for (std::u16string_view suffix : {u"st", u"nd", u"rd", u"th"}) {
        if (word.endsWith(QStringView(suffix))) {
            word.chop(2);
            break;
        }
    }
    const auto n = RuleWords::integer(word);
    if (!n || *n < 1 || *n > 31) {
        return std::nullopt;
    }
    return static_cast<int>(*n);
}

std::optional<CalendarDate> calendarDate(const QStringList& words, Instant now, const Calendar& calendar) {
    if (words.isEmpty()) {
        return std::nullopt;
    }
    if (const auto day = Reminder::readStampDate(words[0], calendar)) {
        return CalendarDate{*day, 1};
    }
    if (words.size() < 2) {
        return std::nullopt;
    }
    auto m = month(words[0]);
    auto d = dayNumber(words[1]);
    if (!m || !d) {
        d = dayNumber(words[0]);
        m = month(words[1]);
    }
    if (!m || !d) {
        return std::nullopt;
    }
    const Instant today = calendar.startOfDay(now);
    const int year = calendar.components(now).year;
    for (int y : {year, year + 1}) {
        // A day the year does not have (30 February) is no date, not a day in the next month.
        if (const auto day = calendar.date(y, *m, *d); day && *day >= today) {
            return CalendarDate{*day, 2};
        }
    }
    return std::nullopt;
}

Instant startOfMinute(Instant t, const Calendar& calendar) {
    const Instant wholeSecond = floor<seconds>(t);
    return wholeSecond - seconds(calendar.components(t).second);
}

bool fitsStamp(Instant t, const Calendar& calendar) {
    const std::int64_t ms = t.time_since_epoch().count();
    if (ms > kFarMillis || ms < -kFarMillis) {
        return false;
    }
    const int year = calendar.components(t).year;
    return year >= 1 && year <= 9999;
}

std::optional<Instant> moment(QStringList words, Instant now, const Anchors& anchors, const Calendar& calendar) {
    words.removeIf([](const QString& w) { return isOneOf(w, {u"at", u"on", u"this", u"the"}); });
    if (!words.isEmpty() && words[0] == u"in") {
        words.removeFirst();
    }
    if (!words.isEmpty() && (words[0] == u"a" || words[0] == u"an")) {
        words[0] = QStringLiteral("1");
    }
    if (words.isEmpty()) {
        return std::nullopt;
    }

    // A length of time counts elapsed time: across a clock change the wall-clock hour shifts.
    if (const auto d = RuleWords::duration(words); d && d->used == words.size() && d->minutes >= 1) {
        std::int64_t ms = 0;
        std::int64_t at = 0;
        if (__builtin_mul_overflow(d->minutes, std::int64_t{60'000}, &ms) ||
            __builtin_add_overflow(now.time_since_epoch().count(), ms, &at) || at > kFarMillis) {
            return std::nullopt;
        }
        return startOfMinute(Instant(milliseconds(at)), calendar);
    }

    const QString& first = words[0];
    const qsizetype n = words.size();
    if (isOneOf(first, {u"tonight", u"evening", u"night", u"later"})) {
        if (n != 1) {
            return std::nullopt;
        }
        return todayOrTomorrow(now, RuleWords::anchorTime(anchors.dayEnd), calendar);
    }
    if (first == u"morning") {
        if (n != 1) {
            return std::nullopt;
        }
        return todayOrTomorrow(now, RuleWords::anchorTime(anchors.dayStart), calendar);
    }
    if (isOneOf(first, {u"tomorrow", u"tmrw", u"tmr"})) {
        const auto t = trailingTime(words, 1, anchors);
        const auto tomorrow = calendar.addingDays(calendar.startOfDay(now), 1);
        if (!t || !tomorrow) {
            return std::nullopt;
        }
        return onDayAt(*tomorrow, *t, calendar);
    }
    if (first == u"weekend") {
        const auto t = trailingTime(words, 1, anchors);
        if (!t) {
            return std::nullopt;
        }
        return nextWeekday(now, 7, 1, *t, calendar);
    }
    if (first == u"next") {
        if (n < 2) {
            return std::nullopt;
        }
        const auto day = words[1] == u"week" ? std::optional<int>(2) : RuleWords::weekday(words[1]);
        const auto t = trailingTime(words, 2, anchors);
        if (!day || !t) {
            return std::nullopt;
        }
        return nextWeekday(now, *day, 1, *t, calendar);
    }
    if (const auto day = RuleWords::weekday(first)) {
        const auto t = trailingTime(words, 1, anchors);
        if (!t) {
            return std::nullopt;
        }
        return nextWeekday(now, *day, 0, *t, calendar);
    }
    if (const auto date = calendarDate(words, now, calendar)) {
        const auto t = trailingTime(words, date->used, anchors);
        if (!t) {
            return std::nullopt;
        }
        return onDayAt(date->day, *t, calendar);
    }
    if (n == 1) {
        if (const auto t = RuleWords::time(first, anchors)) {
            return todayOrTomorrow(now, *t, calendar);
        }
    }
    return std::nullopt;
}

} // namespace plim::WhenParser

namespace plim {

std::optional<Reminder> Reminder::parse(QStringView text, Instant now, const Anchors& anchors,
                                        const Calendar& calendar) {
    QStringList words = WhenParser::normalized(text);

    bool routine = false;
    if (const qsizetype at = words.indexOf(QStringLiteral("routine")); at >= 0) {
        words.removeAt(at);
        routine = true;
    }
    // "until done" is filler: every repeat runs until it is done.
    if (const qsizetype at = words.indexOf(QStringLiteral("until"));
        at >= 0 && at + 1 < words.size() && words[at + 1] == u"done") {
        words.remove(at, 2);
    }
    if (words.isEmpty() || !WhenParser::fitsStamp(now, calendar)) {
        return std::nullopt;
    }

    const Instant base = WhenParser::startOfMinute(now, calendar);
    if (auto rule = WhenParser::repeating(words, anchors, calendar.weekday(base))) {
        Reminder reminder{base, std::move(rule), routine};
        const auto first = reminder.ring(base, calendar);
        if (!first || !WhenParser::fitsStamp(*first, calendar)) {
            return std::nullopt;
        }
        reminder.next = *first;
        return reminder;
    }
    if (routine) {
        return std::nullopt; // a routine must repeat
    }
    const auto date = WhenParser::moment(words, base, anchors, calendar);
    if (!date || !WhenParser::fitsStamp(*date, calendar)) {
        return std::nullopt;
    }
    return Reminder{*date, std::nullopt, false};
}

} // namespace plim
