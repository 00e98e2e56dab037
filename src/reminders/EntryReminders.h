#pragma once

#include "notes/NotesDocument.h"
#include "reminders/Reminder.h"

#include <QList>
#include <QUuid>

#include <optional>

namespace plim {

// The reminders carried in the entries' trailing comments: the document knows only the words, these
// read and write them as reminders.
namespace EntryReminders {

// The reminder carried in the entry's comment, and assigning one (other words of the comment stay).
std::optional<Reminder> reminder(const Entry& entry, const Calendar& calendar, const Anchors& anchors);
void setReminder(Entry& entry, const std::optional<Reminder>& reminder, const Calendar& calendar,
                 const Anchors& anchors);
// Open or note, with a repeating reminder marked routine.
bool isRoutine(const Entry& entry, const Calendar& calendar, const Anchors& anchors);
// Open or note, with a reminder whose next ring is at or before t.
bool isRinging(const Entry& entry, Instant at, const Calendar& calendar, const Anchors& anchors);

// Open entries, routines left out: the drawer's count.
int openCount(const NotesDocument& document, const Calendar& calendar, const Anchors& anchors);
// Writes (or removes) an entry's reminder; a done entry reopens, a struck one becomes a note.
void setReminder(NotesDocument& document, const QUuid& id, const std::optional<Reminder>& reminder,
                 const Calendar& calendar, const Anchors& anchors);
// The entries ringing at t, in document order.
QList<Entry> ringing(const NotesDocument& document, Instant at, const Calendar& calendar, const Anchors& anchors);
// The answer to a ringing reminder; `at` is where the entry was seen (see NotesDocument::location).
void answer(NotesDocument& document, const QUuid& id, const NotesDocument::Answer& answer, Instant now,
            const Calendar& calendar, const Anchors& anchors, const std::optional<EntryLocation>& at = {});

} // namespace EntryReminders

} // namespace plim
