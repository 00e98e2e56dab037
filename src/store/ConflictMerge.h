#pragma once

#include "notes/NotesDocument.h"
#include "reminders/Reminder.h"

#include <QList>
#include <QString>

namespace plim {

// The copies sync tools leave beside a file that two computers changed at once, and merging them
// back by entry identity.
namespace ConflictCopies {

// Which file a copy was made of.
enum class Of { Notes, Trash };

struct Found {
    QString path;
    Of of = Of::Notes;
    friend bool operator==(const Found&, const Found&) = default;
};

// Whether `name` (a file name, no folder) is a sync tool's conflict copy of the file `original`.
bool isCopyOf(QStringView name, QStringView original);
// The conflict copies of the notes file and of its trash file, in the notes file's folder, sorted
// by name.
QList<Found> find(const QString& notesPath);

// Whether a copy is the user's own: a regular file of theirs that nobody else may write to, as the
// notes file's own folder normally ensures. Anyone able to drop a file into a shared folder could
// otherwise put entries and reminders into the notes.
struct Ownership {
    bool exists = false;
    bool own = false;
    QString why; // when not own: "belongs to nobody, not to you", "others may write to it", ...
    quint64 device = 0;
    quint64 inode = 0;
};
Ownership ownership(const QString& path);

} // namespace ConflictCopies

// What a merge took over from the copy.
struct MergeCounts {
    int added = 0;   // entries the notes lacked
    int done = 0;    // entries the copy had done (or struck) that were open here
    int updated = 0; // other changes of an entry: shortlist, reminder, text of a comment
    int removed = 0; // entries the copy deleted, untouched here since the common ancestor
    int lines = 0;   // lines that are not entries
    friend bool operator==(const MergeCounts&, const MergeCounts&) = default;
};

struct MergeOutcome {
    NotesDocument document;
    MergeCounts counts;
};

// Merges a conflict copy into the notes by entry identity, losing nothing of either side. With the
// last text both sides agreed on (`ancestor`), an entry changed or deleted on one side only follows
// that side; where both changed it, or without an ancestor: a done (carried, struck) state wins over
// an open one, a shortlist mark stays, and of two reminders the one that rings first from `now`
// stays. Entries only in the copy are added to their day in the copy's order; entries only in the
// notes stay unless the ancestor shows the copy deleted them. An ancestor that holds an entry
// neither side has is older than some text both sides shared since: it is not used.
MergeOutcome mergeNotes(const NotesDocument* ancestor, const NotesDocument& notes, const NotesDocument& copy,
                        Instant now, const Calendar& calendar, const Anchors& anchors);

// "3 entries added, 1 marked done, from NAME"; "nothing new from NAME".
QString mergeSummary(const MergeCounts& counts, const QString& copyName);

} // namespace plim
