#include "reminders/RuleWords.h"

#include <algorithm>
#include <array>

namespace plim::RuleWords {

namespace {

constexpr std::array<std::u16string_view, 7> kWeekdayNames = {u"sunday",   u"monday", u"tuesday", u"wednesday",
                                                              u"thursday", u"friday", u"saturday"};

bool isAsciiDigit(QChar ch) {
    return ch.unicode() >= u'0' && ch.unicode() <= u'9';
}

bool allDigits(QStringView s) {
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar ch) { return isAsciiDigit(ch); });
}

bool isOneOf(QStringView word, std::initializer_list<std::u16string_view> list) {
    return std::any_of(list.begin(), list.end(), [&](std::u16string_view w) { return word == QStringView(w); });
}

bool startsName(QStringView prefix, std::u16string_view name) {
    return QStringView(name).startsWith(prefix);
}

} // namespace

TimeOfDay anchorTime(int minutes) {
    return TimeOfDay{std::clamp(minutes, 0, 1439)};
}

Window defaultWindow(const Anchors& anchors) {
    const TimeOfDay start = anchorTime(anchors.dayStart);
    const TimeOfDay end = anchorTime(anchors.dayEnd);
    if (start < end) {
        return Window{start, end};
    }
    return Window{TimeOfDay{0}, TimeOfDay{1439}};
}

// GCC 12 with the sanitizers warns that moving a Rule holding an interval reads the other
// alternative's fields uninitialised; it does not.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
std::optional<Rule> intervalRule(int minutes, Window window) {
    return Rule{Rule::Interval{minutes, window}};
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

std::optional<std::int64_t> integer(QStringView word, bool allowSign) {
    bool negative = false;
    if (allowSign && !word.isEmpty() && (word.front() == u'+' || word.front() == u'-')) {
        negative = word.front() == u'-';
        word = word.mid(1);
    }
    if (!allDigits(word)) {
        return std::nullopt;
    }
    std::int64_t n = 0;
    for (QChar ch : word) {
        const int digit = ch.unicode() - u'0';
        // Accumulate downwards so that the most negative value fits too.
        if (__builtin_mul_overflow(n, 10, &n) || __builtin_sub_overflow(n, digit, &n)) {
            return std::nullopt;
        }
    }
    if (!negative) {
        if (n == std::numeric_limits<std::int64_t>::min()) {
            return std::nullopt;
        }
        n = -n;
    }
    return n;
}

std::optional<int> unitMinutes(QStringView word) {
    if (isOneOf(word, {u"m", u"min", u"mins", u"minute", u"minutes"})) {
        return 1;
    }
    if (isOneOf(word, {u"h", u"hr", u"hrs", u"hour", u"hours"})) {
        return 60;
    }
    if (isOneOf(word, {u"d", u"day", u"days"})) {
        return 1440;
    }
    if (isOneOf(word, {u"w", u"wk", u"wks", u"week", u"weeks"})) {
        return 10080;
    }
    return std::nullopt;
}

std::optional<std::int64_t> compactDuration(QStringView word) {
    std::int64_t total = 0;
    std::int64_t number = 0;
    bool inGroup = false; // digits seen for the current group
    bool anyGroup = false;
    qsizetype unitStart = -1;

    auto close = [&](qsizetype unitEnd) -> bool {
        int unit = 0;
        if (unitStart < 0) {
            if (!anyGroup) {
                return false; // a bare number is no length
            }
            unit = 1;
        } else {
            const auto u = unitMinutes(word.mid(unitStart, unitEnd - unitStart));
            if (!u) {
                return false;
            }
            unit = *u;
        }
        std::int64_t minutes = 0;
        if (__builtin_mul_overflow(number, unit, &minutes) || __builtin_add_overflow(total, minutes, &total)) {
            return false;
        }
        anyGroup = true;
        inGroup = false;
        number = 0;
        unitStart = -1;
        return true;
    };

    for (qsizetype i = 0; i < word.size(); ++i) {
        const QChar ch = word[i];
        if (isAsciiDigit(ch)) {
            if (unitStart >= 0 && !close(i)) {
                return std::nullopt;
            }
            if (__builtin_mul_overflow(number, 10, &number) ||
                __builtin_add_overflow(number, ch.unicode() - u'0', &number)) {
                return std::nullopt;
            }
            inGroup = true;
        } else if (ch.isLetter()) {
            if (!inGroup) {
                return std::nullopt; // a letter before any digit
            }
            if (unitStart < 0) {
                unitStart = i;
            }
        } else {
            return std::nullopt;
        }
    }
    if (!inGroup || !close(word.size())) {
        return std::nullopt;
    }
    return total;
}

std::optional<Duration> duration(const QStringList& words) {
    if (words.isEmpty()) {
        return std::nullopt;
    }
    if (const auto compact = compactDuration(words[0])) {
        return Duration{*compact, 1};
    }
    if (words.size() >= 2) {
        const auto n = integer(words[0]);
        const auto unit = unitMinutes(words[1]);
        if (n && unit) {
            std::int64_t minutes = 0;
            if (__builtin_mul_overflow(*n, *unit, &minutes)) {
                return std::nullopt;
            }
            return Duration{minutes, 2};
        }
    }
    if (isOneOf(words[0], {u"minute", u"hour", u"day", u"week"})) {
        return Duration{*unitMinutes(words[0]), 1};
    }
    return std::nullopt;
}

std::optional<Window> window(const QStringList& words, const Anchors& anchors) {
    QStringView from;
    QStringView to;
    if (words.size() == 4 && isOneOf(words[0], {u"from", u"between"}) &&
        isOneOf(words[2], {u"to", u"-", u"and", u"until", u"till"})) {
        from = words[1];
        to = words[3];
    } else if (words.size() == 3 && isOneOf(words[1], {u"to", u"-", u"until", u"till"})) {
        from = words[0];
        to = words[2];
    } else if (words.size() == 1) {
        const auto pieces = QStringView(words[0]).split(u'-', Qt::SkipEmptyParts);
        if (pieces.size() != 2) {
            return std::nullopt;
        }
        from = pieces[0];
        to = pieces[1];
    } else {
        return std::nullopt;
    }
    const auto start = time(from, anchors);
    const auto end = time(to, anchors);
    if (!start || !end || !(*start < *end)) {
        return std::nullopt;
    }
    return Window{*start, *end};
}

std::optional<TimeOfDay> time(QStringView word, const Anchors& anchors) {
    if (word == u"morning") {
        return anchorTime(anchors.dayStart);
    }
    if (isOneOf(word, {u"evening", u"night", u"tonight"})) {
        return anchorTime(anchors.dayEnd);
    }
    if (isOneOf(word, {u"noon", u"midday"})) {
        return TimeOfDay{12 * 60};
    }
    if (word == u"midnight") {
        return TimeOfDay{0};
    }

    QString text = word.toString();
    text.replace(u'.', u':');
    enum class Meridiem { None, Am, Pm } meridiem = Meridiem::None;
    for (std::u16string_view suffix : {u"am", u"pm", u"a", u"p"}) {
        const QStringView s(suffix);
        if (text.size() > s.size() && text.endsWith(s)) {
            meridiem = s.front() == u'a' ? Meridiem::Am : Meridiem::Pm;
            text.chop(s.size());
            break;
        }
    }

    const auto pieces = QStringView(text).split(u':');
    if (pieces.size() > 2 || !std::all_of(pieces.begin(), pieces.end(), allDigits)) {
        return std::nullopt;
    }
    std::optional<std::int64_t> hour;
    std::optional<std::int64_t> minute;
    if (pieces.size() == 2) {
        if (pieces[1].size() != 2) {
            return std::nullopt;
        }
        hour = integer(pieces[0], false);
        minute = integer(pieces[1], false);
    } else {
        const QStringView digits = pieces[0];
        if (digits.size() <= 2) {
            hour = integer(digits, false);
            minute = 0;
        } else if (digits.size() <= 4) {
            hour = integer(digits.first(digits.size() - 2), false);
            minute = integer(digits.last(2), false);
        } else {
            return std::nullopt;
        }
    }
    if (!hour || !minute) {
        return std::nullopt;
    }
    if (meridiem != Meridiem::None) {
        if (*hour < 1 || *hour > 12) {
            return std::nullopt;
        }
        if (meridiem == Meridiem::Am) {
            *hour = *hour == 12 ? 0 : *hour;
        } else if (*hour != 12) {
            *hour += 12;
        }
    }
    if (*hour > 23 || *minute > 59) {
        return std::nullopt;
    }
    return TimeOfDay{static_cast<int>(*hour * 60 + *minute)};
}

std::optional<int> weekday(QStringView name) {
    if (name.size() >= 4 && name.endsWith(u's')) {
        name.chop(1);
    }
    if (name.size() < 2) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kWeekdayNames.size(); ++i) {
        if (startsName(name, kWeekdayNames[i])) {
            return static_cast<int>(i) + 1;
        }
    }
    return std::nullopt;
}

} // namespace plim::RuleWords

namespace plim {

std::optional<Rule> Rule::parse(const QStringList& words, const Anchors& anchors, int weekday) {
    using namespace RuleWords;
    if (words.isEmpty()) {
        return std::nullopt;
    }

    // A length under a day is an interval; a day or more is read as days below ("every day").
    if (const auto d = duration(words); d && d->minutes >= 1 && d->minutes <= 1439) {
        const QStringList windowWords = words.mid(d->used);
        Window w = defaultWindow(anchors);
        if (!windowWords.isEmpty()) {
            const auto given = window(windowWords, anchors);
            if (!given) {
                return std::nullopt;
            }
            w = *given;
        }
        return intervalRule(static_cast<int>(d->minutes), w);
    }

    Days days;
    QStringList timeWords;
    const QString& first = words[0];
    if (first == u"day" || first == u"days") {
        days.value = Days::EveryDay{};
        timeWords = words.mid(1);
    } else if (first == u"morning" || first == u"evening" || first == u"night" || first == u"noon") {
        days.value = Days::EveryDay{};
        timeWords = words;
    } else if (first == u"weekday" || first == u"weekdays") {
        days.value = Days::Weekdays{};
        timeWords = words.mid(1);
    } else if (first == u"week") {
        if (weekday < 1 || weekday > 7) {
            return std::nullopt;
        }
        days.value = Days::On{{weekday}};
        timeWords = words.mid(1);
    } else {
        QList<int> run;
        qsizetype i = 0;
        for (; i < words.size(); ++i) {
            const auto day = RuleWords::weekday(words[i]);
            if (!day) {
                break;
            }
            run.append(*day);
        }
        if (run.isEmpty()) {
            return std::nullopt;
        }
        std::sort(run.begin(), run.end());
        run.erase(std::unique(run.begin(), run.end()), run.end());
        days.value = Days::On{run};
        timeWords = words.mid(i);
    }

    QList<TimeOfDay> times;
    for (const QString& word : timeWords) {
        if (word == u"at" || word == u"and" || word == u"&") {
            continue;
        }
        const auto t = time(word, anchors);
        if (!t) {
            return std::nullopt;
        }
        times.append(*t);
    }
    if (times.isEmpty()) {
        times.append(anchorTime(anchors.dayStart));
    }
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return Rule{Rule::Times{days, times}};
}

} // namespace plim
