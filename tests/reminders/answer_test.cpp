#include "notes/NotesDocument.h"
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

const QString kBerlin = u"Europe/Berlin"_s;
const QString kNewYork = u"America/New_York"_s;
const Anchors kAnchors{510, 1230};
const QString kNow = u"2026-03-11 10:07:25"_s;

enum class Kind { Snooze, Done, Dismiss, Stop };

struct AnswerCase {
    std::string name;
    QStringList file; // the notes file, line by line
    QString target;   // text of the entry answered
    Kind kind;
    QStringList expect;    // the file afterwards
    QString snoozeTo = {}; // "yyyy-MM-dd HH:mm:ss" for a snooze
    QString zone = kBerlin;
    QString now = kNow; // "yyyy-MM-dd HH:mm:ss"
};

void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << c.name;
}

Instant wallTime(const Calendar& calendar, const QString& text) {
    const QStringList parts = text.split(QLatin1Char(' '));
    const QStringList date = parts.value(0).split(QLatin1Char('-'));
    const QStringList time = parts.value(1).split(QLatin1Char(':'));
    return at(calendar, date.value(0).toInt(), date.value(1).toInt(), date.value(2).toInt(), time.value(0).toInt(),
              time.value(1).toInt(), time.value(2).toInt());
}

QString fileText(const QStringList& lines) {
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

std::optional<QUuid> idOf(const NotesDocument& document, const QString& text) {
    for (const Entry& entry : document.allEntries()) {
        if (entry.text == text) {
            return entry.id;
        }
    }
    return std::nullopt;
}

NotesDocument::Answer makeAnswer(Kind kind, Instant snoozeTo) {
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

class Answering : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(Answering, ChangesTheFileAsExpected) {
    const AnswerCase& c = GetParam();
    const Calendar cal(c.zone);
    NotesDocument document = NotesDocument::parse(fileText(c.file));
    const auto id = idOf(document, c.target);
    ASSERT_TRUE(id) << "no entry " << c.target.toStdString();
    const auto place = document.location(*id);
    const Instant snoozeTo = c.snoozeTo.isEmpty() ? Instant{} : wallTime(cal, c.snoozeTo);

    document.answer(*id, makeAnswer(c.kind, snoozeTo), wallTime(cal, c.now), cal, kAnchors);

    EXPECT_EQ(document.serialized(), fileText(c.expect));
    // The answered entry keeps its identity; its place only moves when a new day is put on top.
    const auto after = document.location(*id);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->item, place->item);
}

const QString kToday = u"## 2026-03-11 Wednesday"_s;
const QString kYesterday = u"## 2026-03-10 Tuesday"_s;

std::vector<AnswerCase> answerCases() {
    const QString oneTime = u"- [ ] ! call Ann  <!-- 09:02 carried 2026-03-10 remind 2026-03-11 09:00 -->"_s;
    const QString oneTimeNote = u"- ! idea  <!-- remind 2026-03-11 09:00 -->"_s;
    const QString repeat = u"- [ ] ! stretch  <!-- 08:00 remind 2026-03-11 09:00 every 3h 08:30-20:30 -->"_s;
    const QString daily = u"- [ ] read mail  <!-- remind 2026-03-11 09:00 every day 09:00 -->"_s;
    const QString routine = u"- [ ] water the plants  <!-- 08:15 remind 2026-03-11 09:00 every day 09:00 routine -->"_s;
    const QString other = u"- [ ] something else  <!-- 08:00 -->"_s;
    const QString snoozeTo = u"2026-03-11 14:37:45"_s;

    return {
        // One-time reminders.
        {"OneTimeSnoozeDropsSeconds",
         {kToday, {}, oneTime},
         u"call Ann"_s,
         Kind::Snooze,
         {kToday, {}, u"- [ ] ! call Ann  <!-- 09:02 carried 2026-03-10 remind 2026-03-11 14:37 -->"_s},
         snoozeTo},
        {"OneTimeDoneFinishesTheEntry",
         {kToday, {}, oneTime, other},
         u"call Ann"_s,
         Kind::Done,
         {kToday, {}, u"- [x] ~~call Ann~~  <!-- 09:02 carried 2026-03-10 -->"_s, other}},
        {"OneTimeDoneOnANoteStrikesIt",
         {kToday, {}, oneTimeNote},
         u"idea"_s,
         Kind::Done,
         {kToday, {}, u"- ~~idea~~"_s}},
        {"OneTimeDismissKeepsTheEntry",
         {kToday, {}, oneTime},
         u"call Ann"_s,
         Kind::Dismiss,
         {kToday, {}, u"- [ ] ! call Ann  <!-- 09:02 carried 2026-03-10 -->"_s}},
        {"OneTimeDismissAheadOfItsRing",
         {kToday, {}, u"- [ ] later  <!-- remind 2026-03-11 16:00 -->"_s},
         u"later"_s,
         Kind::Dismiss,
         {kToday, {}, u"- [ ] later"_s},
         QString(),
         kNewYork},
        {"OneTimeStopKeepsTheEntry", {kToday, {}, oneTimeNote}, u"idea"_s, Kind::Stop, {kToday, {}, u"- ! idea"_s}},
        // Repeats that are not routines.
        {"RepeatSnoozeKeepsTheRule",
         {kToday, {}, repeat},
         u"stretch"_s,
         Kind::Snooze,
         {kToday, {}, u"- [ ] ! stretch  <!-- 08:00 remind 2026-03-11 14:37 every 3h 08:30-20:30 -->"_s},
         snoozeTo},
        {"RepeatDoneFinishesTheEntry",
         {kToday, {}, repeat},
         u"stretch"_s,
         Kind::Done,
         {kToday, {}, u"- [x] ~~stretch~~  <!-- 08:00 -->"_s}},
        {"IntervalDismissWaitsForTheNextRing",
         {kToday, {}, repeat},
         u"stretch"_s,
         Kind::Dismiss,
         {kToday, {}, u"- [ ] ! stretch  <!-- 08:00 remind 2026-03-11 12:00 every 3h 08:30-20:30 -->"_s}},
        {"TimesDismissWaitsForTomorrow",
         {kToday, {}, daily},
         u"read mail"_s,
         Kind::Dismiss,
         {kToday, {}, u"- [ ] read mail  <!-- remind 2026-03-12 09:00 every day 09:00 -->"_s},
         QString(),
         kNewYork},
        {"RepeatStopKeepsTheEntry",
         {kToday, {}, repeat},
         u"stretch"_s,
         Kind::Stop,
         {kToday, {}, u"- [ ] ! stretch  <!-- 08:00 -->"_s}},
        // Routines.
        {"RoutineDoneWhileRingingLogsIt",
         {kToday, {}, routine, other},
         u"water the plants"_s,
         Kind::Done,
         {kToday,
          {},
          u"- [ ] water the plants  <!-- 08:15 remind 2026-03-12 09:00 every day 09:00 routine -->"_s,
          other,
          u"- [x] ~~water the plants~~  <!-- 10:07 -->"_s}},
        {"RoutineDoneAheadSkipsTheComingRing",
         {kToday, {}, routine},
         u"water the plants"_s,
         Kind::Done,
         {kToday,
          {},
          u"- [ ] water the plants  <!-- 08:15 remind 2026-03-12 09:00 every day 09:00 routine -->"_s,
          u"- [x] ~~water the plants~~  <!-- 08:40 -->"_s},
         QString(),
         kNewYork,
         u"2026-03-11 08:40:00"_s},
        {"RoutineDoneADayAheadSkipsThatDay",
         {kToday, {}, u"- [ ] water the plants  <!-- remind 2026-03-12 09:00 every day 09:00 routine -->"_s},
         u"water the plants"_s,
         Kind::Done,
         {kToday,
          {},
          u"- [ ] water the plants  <!-- remind 2026-03-13 09:00 every day 09:00 routine -->"_s,
          u"- [x] ~~water the plants~~  <!-- 10:07 -->"_s}},
        {"RoutineDoneOpensTodayOnTop",
         {kYesterday, {}, routine},
         u"water the plants"_s,
         Kind::Done,
         {kToday,
          {},
          u"- [x] ~~water the plants~~  <!-- 10:07 -->"_s,
          {},
          kYesterday,
          {},
          u"- [ ] water the plants  <!-- 08:15 remind 2026-03-12 09:00 every day 09:00 routine -->"_s}},
        {"RoutineDoneLogsBelowRawLines",
         {kToday, {}, routine, u"see the red folder"_s},
         u"water the plants"_s,
         Kind::Done,
         {kToday,
          {},
          u"- [ ] water the plants  <!-- 08:15 remind 2026-03-12 09:00 every day 09:00 routine -->"_s,
          u"see the red folder"_s,
          u"- [x] ~~water the plants~~  <!-- 10:07 -->"_s}},
        {"RoutineOnTheShortlistStaysThere",
         {kToday, {}, u"- ! stretch  <!-- remind 2026-03-11 09:00 every 3h 08:30-20:30 routine -->"_s},
         u"stretch"_s,
         Kind::Done,
         {kToday,
          {},
          u"- ! stretch  <!-- remind 2026-03-11 12:00 every 3h 08:30-20:30 routine -->"_s,
          u"- [x] ~~stretch~~  <!-- 10:07 -->"_s}},
        {"RoutineSnooze",
         {kToday, {}, routine},
         u"water the plants"_s,
         Kind::Snooze,
         {kToday, {}, u"- [ ] water the plants  <!-- 08:15 remind 2026-03-11 14:37 every day 09:00 routine -->"_s},
         snoozeTo},
        {"RoutineDismiss",
         {kToday, {}, routine},
         u"water the plants"_s,
         Kind::Dismiss,
         {kToday, {}, u"- [ ] water the plants  <!-- 08:15 remind 2026-03-12 09:00 every day 09:00 routine -->"_s}},
        {"RoutineStop",
         {kToday, {}, routine},
         u"water the plants"_s,
         Kind::Stop,
         {kToday, {}, u"- [ ] water the plants  <!-- 08:15 -->"_s}},
        // Nothing to answer.
        {"DoneEntryIgnored",
         {kToday, {}, u"- [x] ~~paid~~  <!-- remind 2026-03-11 09:00 -->"_s},
         u"paid"_s,
         Kind::Stop,
         {kToday, {}, u"- [x] ~~paid~~  <!-- remind 2026-03-11 09:00 -->"_s}},
        {"CarriedEntryIgnored",
         {kToday, {}, u"- [>] moved  <!-- remind 2026-03-11 09:00 -->"_s},
         u"moved"_s,
         Kind::Done,
         {kToday, {}, u"- [>] moved  <!-- remind 2026-03-11 09:00 -->"_s}},
        {"StruckEntryIgnored",
         {kToday, {}, u"- ~~gone~~  <!-- remind 2026-03-11 09:00 -->"_s},
         u"gone"_s,
         Kind::Dismiss,
         {kToday, {}, u"- ~~gone~~  <!-- remind 2026-03-11 09:00 -->"_s}},
        {"EntryWithoutReminderIgnored",
         {kToday, {}, u"- [ ] ! plain  <!-- 08:00 carried 2026-03-10 -->"_s},
         u"plain"_s,
         Kind::Done,
         {kToday, {}, u"- [ ] ! plain  <!-- 08:00 carried 2026-03-10 -->"_s}},
    };
}

INSTANTIATE_TEST_SUITE_P(Table, Answering, ::testing::ValuesIn(answerCases()), CaseName());

TEST(Answering, UnknownEntryChangesNothing) {
    const Calendar cal(kBerlin);
    const QString text =
        fileText({kYesterday, {}, u"- [ ] a  <!-- remind 2026-03-10 09:00 every day 09:00 routine -->"_s});
    NotesDocument document = NotesDocument::parse(text);
    for (Kind kind : {Kind::Snooze, Kind::Done, Kind::Dismiss, Kind::Stop}) {
        document.answer(QUuid::createUuid(), makeAnswer(kind, at(cal, 2026, 3, 11, 12, 0)), at(cal, 2026, 3, 11, 10, 7),
                        cal, kAnchors);
        EXPECT_EQ(document.serialized(), text);
    }
}

TEST(Answering, EachRoutineLogGetsItsOwnIdentity) {
    const Calendar cal(kBerlin);
    NotesDocument document = NotesDocument::parse(
        fileText({kToday, {}, u"- [ ] drink  <!-- remind 2026-03-11 09:00 every 1h 08:30-20:30 routine -->"_s}));
    const QUuid id = *idOf(document, u"drink"_s);
    const Instant now = at(cal, 2026, 3, 11, 10, 7);
    document.answer(id, {NotesDocument::Answer::Done{}}, now, cal, kAnchors);
    document.answer(id, {NotesDocument::Answer::Done{}}, now, cal, kAnchors);

    const QList<Entry> entries = document.sections.value(0).entries();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].id, id);
    EXPECT_EQ(entries[0].state, Entry::State::Open);
    EXPECT_NE(entries[1].id, entries[2].id);
    EXPECT_NE(entries[1].id, id);
    for (const Entry& log : {entries[1], entries[2]}) {
        EXPECT_EQ(log.state, Entry::State::Done);
        EXPECT_EQ(log.text, u"drink"_s);
        EXPECT_EQ(log.time, u"10:07"_s);
        EXPECT_FALSE(log.comment);
    }
    // Ringing at 10:07, the first done moves on to 11:00; the second comes ahead of that ring and skips it.
    const auto reminder = entries[0].reminder(cal, kAnchors);
    ASSERT_TRUE(reminder);
    EXPECT_EQ(describe(cal, reminder->next), "2026-03-11 12:00:00 +01:00");
}

} // namespace
