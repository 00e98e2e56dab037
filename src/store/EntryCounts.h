#pragma once

#include "notes/NotesDocument.h"
#include "reminders/Reminder.h"

#include <QString>

#include <optional>
#include <vector>

namespace plim {

// The counts the drawer and the tray show ("12 open · 2 now"), kept day by day with the items they
// were counted from: after a change, only the days it touched are counted again, so that asking
// costs a look at each day rather than reading every reminder of the file.
class EntryCounts {
public:
    // Brings the counts up to `doc`. A new zone or new day times count every day again.
    void update(const NotesDocument& doc, const Calendar& calendar, const Anchors& anchors);
    // Open entries, routines left out (NotesDocument::openCount).
    int open() const { return open_; }
    // Entries ringing at `at` (the length of NotesDocument::ringing).
    int ringing(Instant at) const;

    // An entry that can ring, as its reminder stands at a moment.
    struct Reminding {
        const Entry* entry; // valid while the document is not changed
        bool ringing;
        std::optional<Instant> upcoming; // Reminder::nextRing
    };
    // Every entry that can ring, in the document's order, at `now`. The calendar and anchors are
    // those of the last update. A repeat's next ring is kept from one call to the next while it
    // still lies ahead, so that asking again costs no calendar work.
    std::vector<Reminding> reminders(Instant now, const Calendar& calendar, const Anchors& anchors) const;

private:
    struct Fact {
        qsizetype item = 0; // in the day's items
        Instant next;
        bool rule = false;
        // The next ring as last asked at `from`; it holds from there up to the ring itself.
        mutable bool known = false;
        mutable Instant from;
        mutable std::optional<Instant> upcoming;
    };
    struct Day {
        QList<Item> items; // holding the list keeps its address from being reused by another
        int open = 0;
        std::vector<Instant> rings; // sorted: the count for a moment is a search
        std::vector<Fact> facts;    // the entries that can ring, in order
    };
    static Day count(const QList<Item>& items, const Calendar& calendar, const Anchors& anchors);

    QList<DaySection> sections_; // the days last counted
    std::vector<Day> days_;
    int open_ = 0;
    QString zone_;
    Anchors anchors_;
};

} // namespace plim
