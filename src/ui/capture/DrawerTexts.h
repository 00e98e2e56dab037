#pragma once

#include "base/Calendar.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace plim {

// The line under the drawer's editor: the key hints, a confirmation, or a trouble.
struct DrawerHint {
    enum class Tone { Muted, Accent, Error };
    QString text;
    Tone tone = Tone::Muted;
    friend bool operator==(const DrawerHint&, const DrawerHint&) = default;
};

// A key hint: its words, the fewest that still say it, and how long it stays where a narrow
// drawer has no room for every hint (the higher, the longer).
struct DrawerHintItem {
    QString full;
    QString brief;
    int keep = 0;
};

// The drawer's words, from what it holds.
namespace DrawerTexts {

// "Saturday, Mar 14" in the user's language.
QString date(const Calendar& calendar, Instant now);
// "3 open", "3 open · 1 now".
QString count(int open, int ringing);
// The key hints: those of the when field while it is open; else the editor's, with "remind" when
// there is text to remind of and "undo" while the last capture can be taken back.
QList<DrawerHintItem> hintItems(bool whenOpen, bool hasText, bool undoable);
// The hints in full on one line, at their described spacing.
QString hintLine(const QList<DrawerHintItem>& items);
// Text refused for its length; `refused` says what did not happen ("clipboard not saved",
// "not pasted"), `most` is how many characters one entry takes.
QString tooLong(QStringView refused, qsizetype characters, qsizetype most);
// A stored draft too long for the drawer, kept whole in the file at `path`.
QString draftKept(const QString& path);
// The confirmation of a capture with a reminder; `summary` says when it rings.
QString savedWithReminder(const QString& summary);

} // namespace DrawerTexts

} // namespace plim
