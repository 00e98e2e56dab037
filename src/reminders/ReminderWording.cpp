#include "reminders/Reminder.h"

#include <algorithm>
#include <cstdlib>

namespace plim {

namespace {

const QString kSeparator = QStringLiteral(" \u00b7 ");

// "09:00": the 24-hour clock whatever the locale.
QString clockText(TimeOfDay time) {
    return QStringLiteral("%1:%2")
        .arg(time.minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(time.minutes % 60, 2, 10, QLatin1Char('0'));
}

// "Mon"; the English name, since the phrases around it are English.
QString dayName(int weekday) {
    static const char16_t* const names[] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
    return QString::fromUtf16(names[weekday - 1]);
}

// "08:30", "08:30 and 20:30", "08:30, 12:00 and 20:30".
QString listOfTimes(QList<TimeOfDay> times) {
    std::sort(times.begin(), times.end());
    QStringList shown;
    for (const TimeOfDay time : times) {
        shown.append(clockText(time));
    }
    if (shown.size() < 2) {
        return shown.join(QString());
    }
    const QString last = shown.takeLast();
    return shown.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

} // namespace

QString Days::phrase() const {
    if (std::holds_alternative<EveryDay>(value)) {
        return QStringLiteral("every day");
    }
    if (std::holds_alternative<Weekdays>(value)) {
        return QStringLiteral("every weekday");
    }
    QList<int> list = std::get<On>(value).weekdays;
    std::sort(list.begin(), list.end());
    QStringList names;
    for (const int weekday : list) {
        if (weekday >= 1 && weekday <= 7) {
            names.append(dayName(weekday));
        }
    }
    return QStringLiteral("every ") + names.join(QStringLiteral(" and "));
}

QString Rule::phrase() const {
    if (const auto* every = std::get_if<Interval>(&value)) {
        return QStringLiteral("every ") + Reminder::amount(every->minutes) + QStringLiteral(", ") +
               clockText(every->window.start) + QStringLiteral("\u2013") + clockText(every->window.end);
    }
    const auto& times = std::get<Times>(value);
    const QString at = listOfTimes(times.times);
    if (at.isEmpty()) {
        return times.days.phrase();
    }
    return times.days.phrase() + QStringLiteral(" at ") + at;
}

QString Rule::shortWords() const {
    if (const auto* every = std::get_if<Interval>(&value)) {
        return QStringLiteral("every ") + Reminder::amount(every->minutes);
    }
    const auto& times = std::get<Times>(value);
    if (std::holds_alternative<Days::EveryDay>(times.days.value)) {
        return times.times.size() == 2 ? QStringLiteral("twice a day") : QStringLiteral("every day");
    }
    if (std::holds_alternative<Days::Weekdays>(times.days.value)) {
        return QStringLiteral("weekdays");
    }
    return times.days.phrase().remove(QStringLiteral("every "));
}

QString Reminder::ordinal(int n) {
    const long long magnitude = std::llabs(static_cast<long long>(n));
    QString suffix = QStringLiteral("th");
    const long long lastTwo = magnitude % 100;
    if (lastTwo < 11 || lastTwo > 13) {
        switch (magnitude % 10) {
        case 1:
            suffix = QStringLiteral("st");
            break;
        case 2:
            suffix = QStringLiteral("nd");
            break;
        case 3:
            suffix = QStringLiteral("rd");
            break;
        default:
            break;
        }
    }
    return QString::number(n) + suffix;
}

QString Reminder::moment(Instant now, bool todayWord, const Calendar& calendar) const {
    const QString time = clockText(timeOfDay(next, calendar));
    const std::int64_t days = calendar.daysBetween(now, next);
    if (days == 0) {
        return todayWord ? QStringLiteral("today ") + time : time;
    }
    if (days == 1) {
        return QStringLiteral("tomorrow ") + time;
    }
    if (days == -1) {
        return QStringLiteral("yesterday ") + time;
    }
    if (days >= -6 && days <= 6) {
        return calendar.format(next, u"EEE") + QLatin1Char(' ') + time;
    }
    const bool sameYear = calendar.components(next).year == calendar.components(now).year;
    return calendar.format(next, sameYear ? u"MMM d" : u"MMM d yy") + QStringLiteral(", ") + time;
}

QString Reminder::summary(Instant now, bool shortForm, const Calendar& calendar) const {
    const QString when = moment(now, true, calendar);
    if (!rule) {
        return when;
    }
    if (shortForm) {
        return when + kSeparator + rule->shortWords() + (routine ? kSeparator + QStringLiteral("routine") : QString());
    }
    return when + kSeparator + QStringLiteral("then ") + rule->phrase() +
           (routine ? kSeparator + QStringLiteral("routine") : QStringLiteral(" until done"));
}

QString Reminder::label(Instant now, const Calendar& calendar) const {
    QStringList parts;
    const QString when = moment(now, false, calendar);
    parts.append(next <= now ? QStringLiteral("rang ") + when : when);
    if (rule) {
        parts.append(rule->shortWords());
        if (routine) {
            parts.append(QStringLiteral("routine"));
        }
    }
    const int rings = unansweredRings(now, calendar);
    if (rings >= 2) {
        parts.append(ordinal(rings) + QStringLiteral(" ring"));
    }
    return parts.join(kSeparator);
}

QString Reminder::subtitle(int ring) const {
    QStringList parts;
    if (rule) {
        if (routine) {
            parts.append(QStringLiteral("routine"));
        }
        parts.append(rule->shortWords());
    }
    if (ring >= 2) {
        parts.append(ordinal(ring) + QStringLiteral(" ring"));
    }
    return parts.join(kSeparator);
}

} // namespace plim
