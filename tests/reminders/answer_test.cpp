#include "notes/NotesDocument.h"
#include "reminders/EntryReminders.h"
#include "reminders/Reminder.h"

#include "ReminderBuilders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;

namespace {

const char* const kBerlin = "Europe/Berlin";
const char* const kNewYork = "America/New_York";
constexpr Wall kNow{2026, 3, 11, 10, 7, 25};

enum class Kind { Snooze, Done, Dismiss, Stop };

NotesDocument::Answer answerOf(Kind kind, Instant snoozeTo) {
    switch (kind) {
    case Kind::Snooze:
        return {NotesDocument::Answer::Snooze{snoozeTo}};
    case Kind::Done:
        return {NotesDocument::Answer::Done{}};
    case Kind::Dismiss:
        return {NotesDocument::Answer::Dismiss{}};
    case Kind::Stop:
        break;
    }
    return {NotesDocument::Answer::Stop{}};
}

// A day's lines under today's heading; lines that start with a heading of their own stand alone.
QString fileText(const char* lines) {
    const QString text = QString::fromUtf8(lines) + u'\n';
    return text.startsWith(u"## ") ? text : u"## 2026-03-11 Wednesday\n\n"_s + text;
}

// The first entry of the file is answered; a snooze is to 14:37:45 the same day.
struct AnswerCase {
    Kind kind;
    const char* before;
    const char* after; // nullptr: unchanged
    const char* zone = kBerlin;
    Wall now = kNow;
};

TEST(Answering, ChangesTheFileAsExpected) {
    const AnswerCase cases[] = {
        // One-time reminders: a done finishes the entry, a dismiss or stop only ends the reminder.
        {Kind::Snooze, "- [ ] ! call  <!-- 09:02 carried 2026-03-10 remind 2026-03-11 09:00 -->",
         "- [ ] ! call  <!-- 09:02 carried 2026-03-10 remind 2026-03-11 14:37 -->"},
        {Kind::Done, "- [ ] ! call  <!-- 09:02 carried 2026-03-10 remind 2026-03-11 09:00 -->\n- [ ] x  <!-- 08:00 -->",
         "- [x] ~~call~~  <!-- 09:02 carried 2026-03-10 -->\n- [ ] x  <!-- 08:00 -->"},
        {Kind::Done, "- ! idea  <!-- remind 2026-03-11 09:00 -->", "- ~~idea~~"},
        {Kind::Dismiss, "- [ ] ! call  <!-- 09:02 remind 2026-03-11 09:00 -->", "- [ ] ! call  <!-- 09:02 -->"},
        {Kind::Dismiss, "- [ ] later  <!-- remind 2026-03-11 16:00 -->", "- [ ] later", kNewYork}, // ahead of its ring
        {Kind::Stop, "- ! idea  <!-- remind 2026-03-11 09:00 -->", "- ! idea"},
        // Repeats: a dismiss waits for the next ring, a done finishes unless it is a routine.
        {Kind::Snooze, "- [ ] a  <!-- remind 2026-03-11 09:00 every 3h 08:30-20:30 -->",
         "- [ ] a  <!-- remind 2026-03-11 14:37 every 3h 08:30-20:30 -->"},
        {Kind::Done, "- [ ] ! a  <!-- 08:00 remind 2026-03-11 09:00 every 3h 08:30-20:30 -->",
         "- [x] ~~a~~  <!-- 08:00 -->"},
        {Kind::Dismiss, "- [ ] a  <!-- remind 2026-03-11 09:00 every 3h 08:30-20:30 -->",
         "- [ ] a  <!-- remind 2026-03-11 12:00 every 3h 08:30-20:30 -->"},
        {Kind::Dismiss, "- [ ] a  <!-- remind 2026-03-11 09:00 every day 09:00 -->",
         "- [ ] a  <!-- remind 2026-03-12 09:00 every day 09:00 -->", kNewYork},
        {Kind::Stop, "- [ ] a  <!-- 08:15 remind 2026-03-11 09:00 every day 09:00 routine -->",
         "- [ ] a  <!-- 08:15 -->"},
        // A routine's done is logged at the end of today's section; the routine moves past the ring.
        {Kind::Done, "- [ ] a  <!-- 08:15 remind 2026-03-11 09:00 every day 09:00 routine -->\nsee the red folder",
         "- [ ] a  <!-- 08:15 remind 2026-03-12 09:00 every day 09:00 routine -->\nsee the red folder\n"
         "- [x] ~~a~~  <!-- 10:07 -->"},
        // Done ahead of the ring skips it.
        {Kind::Done,
         "- [ ] a  <!-- remind 2026-03-11 09:00 every day 09:00 routine -->",
         "- [ ] a  <!-- remind 2026-03-12 09:00 every day 09:00 routine -->\n- [x] ~~a~~  <!-- 08:40 -->",
         kNewYork,
         {2026, 3, 11, 8, 40}},
        {Kind::Done, "- ! a  <!-- remind 2026-03-11 09:00 every 3h 08:30-20:30 routine -->",
         "- ! a  <!-- remind 2026-03-11 12:00 every 3h 08:30-20:30 routine -->\n- [x] ~~a~~  <!-- 10:07 -->"},
        {Kind::Done, "## 2026-03-10 Tuesday\n\n- [ ] a  <!-- remind 2026-03-11 09:00 every day 09:00 routine -->",
         "## 2026-03-11 Wednesday\n\n- [x] ~~a~~  <!-- 10:07 -->\n\n## 2026-03-10 Tuesday\n\n"
         "- [ ] a  <!-- remind 2026-03-12 09:00 every day 09:00 routine -->"},
        // Nothing to answer: the entry is finished, carried or struck, or has no reminder.
        {Kind::Stop, "- [x] ~~paid~~  <!-- remind 2026-03-11 09:00 -->", nullptr},
        {Kind::Done, "- [>] moved  <!-- remind 2026-03-11 09:00 -->", nullptr},
        {Kind::Dismiss, "- ~~gone~~  <!-- remind 2026-03-11 09:00 -->", nullptr},
        {Kind::Done, "- [ ] ! plain  <!-- 08:00 carried 2026-03-10 -->", nullptr},
    };
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.before);
        const Calendar cal(QString::fromUtf8(c.zone));
        NotesDocument document = NotesDocument::parse(fileText(c.before));
        ASSERT_FALSE(document.allEntries().isEmpty());
        const QUuid id = document.allEntries().front().id;
        const auto place = document.location(id);

        EntryReminders::answer(document, id, answerOf(c.kind, at(cal, 2026, 3, 11, 14, 37, 45)), wall(cal, c.now), cal,
                               kAnchors);

        EXPECT_EQ(document.serialized(), fileText(c.after ? c.after : c.before));
        // The answered entry keeps its identity; its place only moves when a new day is put on top.
        const auto after = document.location(id);
        ASSERT_TRUE(after);
        EXPECT_EQ(after->item, place->item);
    }
}

TEST(Answering, UnknownEntryChangesNothing) {
    const Calendar cal(QString::fromUtf8(kBerlin));
    const QString text =
        fileText("## 2026-03-10 Tuesday\n\n- [ ] a  <!-- remind 2026-03-10 09:00 every day 09:00 routine -->");
    NotesDocument document = NotesDocument::parse(text);
    for (Kind kind : {Kind::Snooze, Kind::Done, Kind::Dismiss, Kind::Stop}) {
        EntryReminders::answer(document, QUuid::createUuid(), answerOf(kind, at(cal, 2026, 3, 11, 12, 0)),
                               wall(cal, kNow), cal, kAnchors);
        EXPECT_EQ(document.serialized(), text);
    }
}

TEST(Answering, EachRoutineLogGetsItsOwnIdentity) {
    const Calendar cal(QString::fromUtf8(kBerlin));
    NotesDocument document =
        NotesDocument::parse(fileText("- [ ] drink  <!-- remind 2026-03-11 09:00 every 1h 08:30-20:30 routine -->"));
    const QUuid id = document.allEntries().front().id;
    EntryReminders::answer(document, id, {NotesDocument::Answer::Done{}}, wall(cal, kNow), cal, kAnchors);
    EntryReminders::answer(document, id, {NotesDocument::Answer::Done{}}, wall(cal, kNow), cal, kAnchors);

    const QList<Entry> entries = document.sections.value(0).entries();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].id, id);
    EXPECT_NE(entries[1].id, entries[2].id);
    EXPECT_NE(entries[1].id, id);
    // Ringing at 10:07, the first done moves on to 11:00; the second comes ahead of that ring and skips it.
    EXPECT_EQ(document.serialized(),
              fileText("- [ ] drink  <!-- remind 2026-03-11 12:00 every 1h 08:30-20:30 routine -->\n"
                       "- [x] ~~drink~~  <!-- 10:07 -->\n- [x] ~~drink~~  <!-- 10:07 -->"));
}

} // namespace
