#include "notes/NotesDocument.h"
#include "reminders/EntryReminders.h"
#include "reminders/Reminder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace plim {

namespace {

constexpr std::array<const char*, 7> kDayWords = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};

QString clockText(TimeOfDay t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d", t.minutes / 60, t.minutes % 60);
    return QString::fromLatin1(buf);
}

// Digits at [from, from + count) of s as a number; -1 unless every one is an ASCII digit.
int digitsAt(QStringView s, qsizetype from, qsizetype count) {
    int n = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t ch = s[i].unicode();
        if (ch < u'0' || ch > u'9') {
            return -1;
        }
        n = n * 10 + (ch - u'0');
    }
    return n;
}

// "yyyy-MM-dd" with a month and day of one or two digits; the calendar checks the ranges.
std::optional<LocalDateTime> stampDate(QStringView date) {
    const qsizetype dash = date.indexOf(u'-', 5);
    if (date.size() < 8 || date[4] != u'-' || dash < 6 || dash > 7 || date.size() - dash - 1 < 1 ||
        date.size() - dash - 1 > 2) {
        return std::nullopt;
    }
    LocalDateTime c;
    c.year = digitsAt(date, 0, 4);
    c.month = digitsAt(date, 5, dash - 5);
    c.day = digitsAt(date, dash + 1, date.size() - dash - 1);
    if (c.year < 0 || c.month < 0 || c.day < 0) {
        return std::nullopt;
    }
    return c;
}

QString joined(const QList<QStringView>& words) {
    QString out;
    for (QStringView w : words) {
        if (!out.isEmpty()) {
            out += u' ';
        }
        out += w;
    }
    return out;
}

bool canRing(Entry::State state) {
    return state == Entry::State::Open || state == Entry::State::Note;
}

bool mayHoldReminder(const std::optional<QString>& comment) {
    return comment && Reminder::mayHold(*comment);
}

} // namespace

// --- Days and rules ---

QString Days::text() const {
    if (std::holds_alternative<EveryDay>(value)) {
        return QStringLiteral("day");
    }
    if (std::holds_alternative<Weekdays>(value)) {
        return QStringLiteral("weekday");
    }
    QList<int> list = std::get<On>(value).weekdays;
    std::sort(list.begin(), list.end());
    QStringList words;
    for (int day : list) {
        if (day >= 1 && day <= 7) { // a number that names no day has no word
            words.append(QString::fromLatin1(kDayWords[static_cast<std::size_t>(day - 1)]));
        }
    }
    return words.join(u' ');
}

QString Rule::text() const {
    if (const auto* interval = std::get_if<Interval>(&value)) {
        return Reminder::amount(interval->minutes) + u' ' + clockText(interval->window.start) + u'-' +
               clockText(interval->window.end);
    }
    const auto& times = std::get<Times>(value);
    QList<TimeOfDay> sorted = times.times;
    std::sort(sorted.begin(), sorted.end());
    QString out = times.days.text();
    for (TimeOfDay t : sorted) {
        out += u' ';
        out += clockText(t);
    }
    return out;
}

// --- The words of a reminder ---

QString Reminder::amount(int minutes) {
    if (minutes % 60 == 0) {
        return QString::number(minutes / 60) + u'h';
    }
    return QString::number(minutes) + u'm';
}

QString Reminder::stamp(Instant t, const Calendar& calendar) {
    const LocalDateTime c = calendar.components(t);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", c.year, c.month, c.day, c.hour, c.minute);
    return QString::fromLatin1(buf);
}

std::optional<Instant> Reminder::readStamp(QStringView date, QStringView time, const Calendar& calendar) {
    const auto day = stampDate(date);
    const qsizetype colon = time.indexOf(u':');
    if (!day || colon < 1 || colon > 2 || time.size() != colon + 3) {
        return std::nullopt;
    }
    const int hour = digitsAt(time, 0, colon);
    const int minute = digitsAt(time, colon + 1, 2);
    if (hour < 0 || minute < 0) {
        return std::nullopt;
    }
    return calendar.date(day->year, day->month, day->day, hour, minute, 0);
}

std::optional<Instant> Reminder::readStampDate(QStringView date, const Calendar& calendar) {
    const auto day = stampDate(date);
    return day ? calendar.date(day->year, day->month, day->day) : std::nullopt;
}

QString Reminder::clauses(const Calendar& calendar) const {
    QString out = QStringLiteral("remind ") + stamp(next, calendar);
    if (rule) {
        out += QLatin1String(" every ");
        out += rule->text();
        if (routine) {
            out += QLatin1String(" routine");
        }
    }
    return out;
}

bool Reminder::mayHold(QStringView comment) {
    // Called for every entry of every load, on comments of a few words: a plain scan beats the
    // general string search's set-up.
    return std::u16string_view(comment.utf16(), static_cast<std::size_t>(comment.size())).find(u"remind") !=
           std::u16string_view::npos;
}

Reminder::Split Reminder::split(QStringView comment, const Calendar& calendar, const Anchors& anchors) {
    const QList<QStringView> words = comment.split(u' ', Qt::SkipEmptyParts);
    Split result;
    if (!mayHold(comment)) {
        if (!words.isEmpty()) {
            result.rest = joined(words);
        }
        return result;
    }

    QList<QStringView> rest;
    qsizetype i = 0;
    while (i < words.size()) {
        if (words[i] == u"remind" && i + 2 < words.size()) {
            if (const auto date = readStamp(words[i + 1], words[i + 2], calendar)) {
                qsizetype j = i + 3;
                std::optional<Rule> rule;
                bool routine = false;
                if (j < words.size() && words[j] == u"every") {
                    ++j;
                    QStringList ruleWords;
                    while (j < words.size() && words[j] != u"routine" && words[j] != u"remind" &&
                           words[j] != u"carried") {
                        ruleWords.append(words[j].toString());
                        ++j;
                    }
                    rule = Rule::parse(ruleWords, anchors, calendar.weekday(*date));
                }
                if (j < words.size() && words[j] == u"routine") {
                    ++j;
                    routine = rule.has_value();
                }
                result.reminder = Reminder{*date, rule, routine};
                i = j;
                continue;
            }
        }
        rest.append(words[i]);
        ++i;
    }
    if (!rest.isEmpty()) {
        result.rest = joined(rest);
    }
    return result;
}

// --- Entry ---

std::optional<Reminder> EntryReminders::reminder(const Entry& entry, const Calendar& calendar, const Anchors& anchors) {
    if (!mayHoldReminder(entry.comment)) {
        return std::nullopt;
    }
    return Reminder::split(*entry.comment, calendar, anchors).reminder;
}

void EntryReminders::setReminder(Entry& entry, const std::optional<Reminder>& newReminder, const Calendar& calendar,
                                 const Anchors& anchors) {
    std::optional<QString> rest;
    if (entry.comment) {
        Reminder::Split current = Reminder::split(*entry.comment, calendar, anchors);
        if (current.reminder == newReminder) {
            return; // the comment stays as it was, spacing included
        }
        rest = std::move(current.rest);
    } else if (!newReminder) {
        return;
    }
    QString words = rest.value_or(QString());
    if (newReminder) {
        if (!words.isEmpty()) {
            words += u' ';
        }
        words += newReminder->clauses(calendar);
    }
    if (words.isEmpty()) {
        entry.comment.reset();
    } else {
        entry.comment = std::move(words);
    }
}

bool EntryReminders::isRoutine(const Entry& entry, const Calendar& calendar, const Anchors& anchors) {
    if (!canRing(entry.state)) {
        return false;
    }
    const auto r = reminder(entry, calendar, anchors);
    return r && r->rule && r->routine;
}

bool EntryReminders::isRinging(const Entry& entry, Instant at, const Calendar& calendar, const Anchors& anchors) {
    if (!canRing(entry.state)) {
        return false;
    }
    const auto r = reminder(entry, calendar, anchors);
    return r && r->next <= at;
}

// --- Document ---

int EntryReminders::openCount(const NotesDocument& document, const Calendar& calendar, const Anchors& anchors) {
    int count = 0;
    for (const DaySection& section : document.sections) {
        for (const Item& item : section.items) {
            const auto* e = std::get_if<Entry>(&item);
            if (e && e->state == Entry::State::Open && !isRoutine(*e, calendar, anchors)) {
                ++count;
            }
        }
    }
    return count;
}

void EntryReminders::setReminder(NotesDocument& document, const QUuid& id, const std::optional<Reminder>& reminder,
                                 const Calendar& calendar, const Anchors& anchors) {
    for (DaySection& section : document.sections) {
        for (Item& item : section.items) {
            auto* e = std::get_if<Entry>(&item);
            if (!e || e->id != id) {
                continue;
            }
            if (reminder) {
                if (e->state == Entry::State::Done) {
                    e->state = Entry::State::Open;
                } else if (e->state == Entry::State::Struck) {
                    e->state = Entry::State::Note;
                }
            }
            setReminder(*e, reminder, calendar, anchors);
            return;
        }
    }
}

QList<Entry> EntryReminders::ringing(const NotesDocument& document, Instant at, const Calendar& calendar,
                                     const Anchors& anchors) {
    QList<Entry> out;
    for (const DaySection& section : document.sections) {
        for (const Item& item : section.items) {
            const auto* e = std::get_if<Entry>(&item);
            if (e && canRing(e->state) && mayHoldReminder(e->comment) && isRinging(*e, at, calendar, anchors)) {
                out.append(*e);
            }
        }
    }
    return out;
}

} // namespace plim
