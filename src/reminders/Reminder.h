#pragma once

#include "base/Calendar.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <compare>
#include <optional>
#include <variant>

namespace plim {

// Minutes after local midnight, 0...1439.
struct TimeOfDay {
    int minutes = 0;
    friend auto operator<=>(const TimeOfDay&, const TimeOfDay&) = default;
};

// A daily window; start < end, never across midnight.
struct Window {
    TimeOfDay start;
    TimeOfDay end;
    friend bool operator==(const Window&, const Window&) = default;
};

// The two times of day that the when-language resolves against; built fresh from the settings.
struct Anchors {
    int dayStart = 510;
    int dayEnd = 1230;
    friend bool operator==(const Anchors&, const Anchors&) = default;
};

// The days a times rule rings on. Weekdays are numbered 1 = Sunday ... 7 = Saturday.
struct Days {
    struct On {
        QList<int> weekdays; // ascending, no duplicates, each 1...7
        friend bool operator==(const On&, const On&) = default;
    };
    struct EveryDay {
        friend bool operator==(const EveryDay&, const EveryDay&) = default;
    };
    struct Weekdays { // Monday to Friday
        friend bool operator==(const Weekdays&, const Weekdays&) = default;
    };
    std::variant<On, EveryDay, Weekdays> value;

    bool matches(int weekday) const;
    // The stored word(s): "day", "weekday", "mon thu".
    QString text() const;
    // In full words: "every day", "every weekday", "every Mon and Thu".
    QString phrase() const;

    friend bool operator==(const Days&, const Days&) = default;
};

struct Rule {
    // Every `minutes` minutes, only inside `window` of each day.
    struct Interval {
        int minutes = 0;
        Window window;
        friend bool operator==(const Interval&, const Interval&) = default;
    };
    // At each time (ascending, no duplicates, not empty) on the days.
    struct Times {
        Days days;
        QList<TimeOfDay> times;
        friend bool operator==(const Times&, const Times&) = default;
    };
    std::variant<Interval, Times> value;

    // The words of a repeat after "every"; `weekday` is the day that "week" means.
    static std::optional<Rule> parse(const QStringList& words, const Anchors& anchors, int weekday);
    // The stored words after "every": "3h 09:00-21:00", "mon thu 18:00".
    QString text() const;
    // In full words: "every 3h, 08:30–20:30", "every day at 20:30".
    QString phrase() const;
    // Short words for rows and subtitles: "every 3h", "twice a day", "weekdays", "Mon and Thu".
    QString shortWords() const;

    friend bool operator==(const Rule&, const Rule&) = default;
};

struct Reminder {
    Instant next;             // rings from here on
    std::optional<Rule> rule; // absent for a one-time reminder
    bool routine = false;     // only with a rule

    // --- Words in an entry's comment ---
    // "remind 2026-03-14 20:30 every day 20:30 routine"
    QString clauses(const Calendar& calendar) const;
    // "1h", "3h", "90m".
    static QString amount(int minutes);
    struct Split; // defined below: it holds a Reminder
    // Whether a comment can hold reminder words at all: a test that costs far less than splitting.
    static bool mayHold(QStringView comment);
    // Reads a comment's words: the reminder found and the words that are not part of it.
    static Split split(QStringView comment, const Calendar& calendar, const Anchors& anchors);
    // The "yyyy-MM-dd HH:mm" local wall-clock stamp of the remind clause, always written with two
    // digits; read as its date reader reads it, which also takes a month, day or hour of one
    // digit ("2026-3-14 9:00").
    static QString stamp(Instant t, const Calendar& calendar);
    static std::optional<Instant> readStamp(QStringView date, QStringView time, const Calendar& calendar);
    // The stamp's date word alone, as local midnight (or the first moment) of that day.
    static std::optional<Instant> readStampDate(QStringView date, const Calendar& calendar);

    // --- The when-language ---
    static std::optional<Reminder> parse(QStringView text, Instant now, const Anchors& anchors,
                                         const Calendar& calendar);

    // --- Ring schedule ---
    // The first ring of the rule strictly after t; none for a one-time reminder.
    std::optional<Instant> ring(Instant after, const Calendar& calendar) const;
    // The first ring strictly after t, counted on from `next`.
    std::optional<Instant> nextRing(Instant after, const Calendar& calendar) const;
    // nextRing, and whether it stays the answer for every later moment before that ring (false where
    // a long-overdue rule restarted its count at `after`, or may have run out of range).
    struct Upcoming {
        std::optional<Instant> ring;
        bool steady = true;
    };
    Upcoming upcoming(Instant after, const Calendar& calendar) const;
    // Rings due at or before t from `next` on, capped at 999.
    int unansweredRings(Instant at, const Calendar& calendar) const;

    // --- Wording ---
    QString moment(Instant now, bool todayWord, const Calendar& calendar) const;
    QString summary(Instant now, bool shortForm, const Calendar& calendar) const;
    QString label(Instant now, const Calendar& calendar) const;
    QString subtitle(int ring) const;
    static QString ordinal(int n);

    friend bool operator==(const Reminder&, const Reminder&) = default;
};

struct Reminder::Split {
    std::optional<Reminder> reminder;
    std::optional<QString> rest;
};

// The wall-clock time of day of t: hour * 60 + minute.
TimeOfDay timeOfDay(Instant t, const Calendar& calendar);

} // namespace plim
