#pragma once

#include "base/Calendar.h"
#include "notes/NotesDocument.h"
#include "store/Preferences.h"
#include "ui/manage/ManageList.h"

#include <QHash>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>

namespace plim {

class Clock;

// The words on the notes list's rows that depend on the calendar and the clock: a day in words, a
// reminder's label, the day an entry is written under. Worked out once and kept, since every
// painted row asks: a day's label per calendar, a reminder's per minute.
class RowLabels {
public:
    explicit RowLabels(const Clock& clock);

    // The calendar, day times and today the list was loaded with: a new calendar or new day times
    // forget the labels made with the old.
    void load(const Calendar& calendar, const Anchors& anchors, const QString& todayHeading);
    void setAnchors(const Anchors& anchors);
    const Calendar& calendar() const { return calendar_; }
    const Anchors& anchors() const { return anchors_; }
    const QString& todayHeading() const { return todayHeading_; }

    // A heading in words ("Thursday, Mar 12"); one that is no day as it is.
    QString heading(const QString& heading) const;
    // A heading that is the current day's ("yyyy-MM-dd Weekday").
    bool isToday(const QString& heading) const { return heading == todayHeading_; }
    bool isRinging(const Entry& entry) const;
    // Whether an entry may show a reminder's label, read without the calendar: one that can ring,
    // with a comment that may hold a reminder.
    static bool mayShowReminder(const Entry& entry);
    std::optional<QString> reminder(const Entry& entry) const;

    // What an entry row shows beside its text: the time it was captured, its reminder, and the day
    // it is written under where it stands away from that day (empty when it shows none of them).
    struct OfEntry {
        QString stamp;
        QString reminder;
        QString day;
    };
    OfEntry entry(const ManageList::Row& row) const;
    // The day it is written under, when the row names it.
    QString awayDay(const ManageList::Row& row) const;

private:
    const Clock& clock_;
    Calendar calendar_{QStringLiteral("UTC")};
    Anchors anchors_;
    QString todayHeading_;
    // heading's answers since the last load (which may bring a new calendar).
    mutable QHash<QString, QString> headingLabels_;
    // reminder's answers in the current minute: a repeat's label counts the rings it missed, many
    // steps of the calendar for an old one, and every painted row asks.
    struct KnownLabel {
        QString comment;
        std::int64_t minute = 0;
        std::optional<QString> label;
    };
    mutable QHash<QUuid, KnownLabel> reminderLabels_;
};

} // namespace plim
