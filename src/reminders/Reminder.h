#pragma once

#include "notes/Calendar.h"

#include <QList>
#include <QString>

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

    friend bool operator==(const Rule&, const Rule&) = default;
};

struct Reminder {
    Instant next;               // rings from here on
    std::optional<Rule> rule;   // absent for a one-time reminder
    bool routine = false;       // only with a rule

    friend bool operator==(const Reminder&, const Reminder&) = default;
};

} // namespace plim
