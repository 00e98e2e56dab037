#include "reminders/Reminder.h"
#include "reminders/RuleWords.h"
#include "reminders/WhenParser.h"

#include "ReminderBuilders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plim::test;
namespace words = plim::RuleWords;

namespace {

const char* const kBerlin = "Europe/Berlin";
const char* const kNewYork = "America/New_York";
constexpr Wall kWed{2026, 3, 11, 10, 7, 25};

// Rows "phrase=what it rings at, as its stamp and rule are written" ('|' between rows), read at
// `now` in `zone`: the reminder has no seconds, and its written words read back to it.
void checkPhrases(const char* zone, Wall now, const char* rows, Anchors anchors = kAnchors) {
    const Calendar cal(QString::fromUtf8(zone));
    for (const QString& row : QString::fromUtf8(rows).split(u'|')) {
        const QString phrase = row.section(u'=', 0, 0);
        SCOPED_TRACE(phrase.toStdString() + " in " + zone);
        const auto r = Reminder::parse(phrase, wall(cal, now), anchors, cal);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->clauses(cal).mid(7).toStdString(), row.section(u'=', 1).toStdString());
        EXPECT_EQ(r->next, WhenParser::startOfMinute(r->next, cal));
        const auto back = Reminder::split(r->clauses(cal), cal, anchors);
        EXPECT_EQ(back.reminder, r);
        EXPECT_FALSE(back.rest.has_value());
    }
}

// Seen from Wednesday 11 March 2026 10:07:25, in two zones on either side of the ocean: the wall
// clock must not depend on the zone.
TEST(Phrase, ResolvesAgainstNowInEveryZone) {
    for (const char* zone : {kBerlin, kNewYork}) {
        checkPhrases(zone, kWed,
                     "20m=2026-03-11 10:27|1h30m=2026-03-11 11:37|90 min=2026-03-11 11:37|in 2 hours=2026-03-11 12:07|"
                     "in an hour=2026-03-11 11:07|3d=2026-03-14 10:07|tonight=2026-03-11 20:30|"
                     "later=2026-03-11 20:30|morning=2026-03-12 08:30|tomorrow=2026-03-12 08:30|"
                     "tmrw 9=2026-03-12 09:00|16:00=2026-03-11 16:00|4 p.m.=2026-03-11 16:00|9am=2026-03-12 09:00|"
                     "noon=2026-03-11 12:00|fridays=2026-03-13 08:30|fri 3pm=2026-03-13 15:00|"
                     "on friday at 3pm=2026-03-13 15:00|wed 9am=2026-03-18 09:00|wed 5pm=2026-03-11 17:00|"
                     "next wed=2026-03-18 08:30|next sat=2026-03-14 08:30|weekend=2026-03-14 08:30|"
                     "next week=2026-03-16 08:30|nov 2 9am=2026-11-02 09:00|2 nov 9am=2026-11-02 09:00|"
                     "mar 1=2027-03-01 08:30|2026-03-11 8am=2026-03-11 08:00|2026-3-14=2026-03-14 08:30|"
                     "every 3h=2026-03-11 13:07 every 3h 08:30-20:30|"
                     "every 90 minutes 9-17=2026-03-11 11:37 every 90m 09:00-17:00|"
                     "hourly=2026-03-11 11:07 every 1h 08:30-20:30|daily 7:15=2026-03-12 07:15 every day 07:15|"
                     "twice a day=2026-03-11 20:30 every day 08:30 20:30|"
                     "every weekday 9am=2026-03-12 09:00 every weekday 09:00|"
                     "weekdays 9am=2026-03-12 09:00 every weekday 09:00|"
                     "every week=2026-03-18 08:30 every wed 08:30|"
                     "every day at 9am and 9pm=2026-03-11 21:00 every day 09:00 21:00");
    }
}

TEST(Phrase, ResolvesAgainstTheMomentAndAnchors) {
    // A weekday said on that weekday, before and after its time; "next" skips today.
    checkPhrases(kBerlin, {2026, 3, 11, 7, 0},
                 "wed=2026-03-11 08:30|next wed=2026-03-18 08:30|every wed=2026-03-11 08:30 every wed 08:30");
    checkPhrases(kBerlin, kWed,
                 "wed=2026-03-18 08:30|th 7pm=2026-03-12 19:00|next week 9=2026-03-16 09:00|"
                 // A time already past means tomorrow; the current minute has passed.
                 "10:07=2026-03-12 10:07|10:08=2026-03-11 10:08|midnight=2026-03-12 00:00|at 930pm=2026-03-11 21:30|"
                 "each 45 mins between 10am and 11am=2026-03-11 10:52 every 45m 10:00-11:00|"
                 // Routine and until done, wherever they stand.
                 "routine every day 20:30=2026-03-11 20:30 every day 20:30 routine|"
                 "every day until done 9pm=2026-03-11 21:00 every day 21:00|"
                 "every 3h until done routine=2026-03-11 13:07 every 3h 08:30-20:30 routine|"
                 "20m until done=2026-03-11 10:27|"
                 // Words in another dress.
                 "Tomorrow, 9 A.M.=2026-03-12 09:00|9.30 p.m.=2026-03-11 21:30|in\t2\nhours=2026-03-11 12:07|"
                 // Far ahead, yet still a stamp.
                 "in 400000 weeks=9692-04-30 11:07|9999-12-31 23:59=9999-12-31 23:59");
    // Across clock changes a skipped time rings at the next existing one, a repeated one at its first
    // (else it would not read back); a length is elapsed time, a day keeps the wall clock. So in a POSIX rule.
    checkPhrases(kBerlin, {2026, 3, 28, 10, 0},
                 "sun 2:30=2026-03-29 03:00|1d=2026-03-29 11:00|tomorrow 10am=2026-03-29 10:00");
    checkPhrases(kBerlin, {2026, 10, 24, 10, 0}, "sun 2:30=2026-10-25 02:30");
    checkPhrases(kBerlin, {2026, 3, 29, 1, 30}, "in 2 hours=2026-03-29 04:30");
    checkPhrases("CET-1CEST,M3.5.0,M10.5.0/3", {2026, 3, 28, 10, 0}, "sun 2:30=2026-03-29 03:00");
    checkPhrases(kBerlin, {2026, 3, 14, 7, 0}, "weekend=2026-03-21 08:30");
    checkPhrases(kBerlin, {2026, 3, 11, 21, 0}, "tonight=2026-03-12 20:30");
    // A day and month is the first one not before today.
    checkPhrases(kBerlin, {2026, 12, 30, 15, 0},
                 "dec 31=2026-12-31 08:30|jan 1=2027-01-01 08:30|dec 30=2026-12-30 08:30|"
                 "dec 29 9am=2027-12-29 09:00|ja. 2nd 7:45=2027-01-02 07:45");
    checkPhrases(kBerlin, {2026, 12, 31, 23, 30}, "tomorrow=2027-01-01 08:30");
    checkPhrases(kBerlin, {2027, 12, 1, 9, 0}, "feb 29=2028-02-29 08:30");
    // The first ring of an interval keeps to its window.
    checkPhrases(kBerlin, {2026, 3, 11, 19, 0}, "every 3h=2026-03-12 08:30 every 3h 08:30-20:30");
    checkPhrases(kBerlin, {2026, 3, 11, 4, 0}, "every 3h=2026-03-11 08:30 every 3h 08:30-20:30");
    // Other anchors; a day that does not run forwards has no window.
    checkPhrases(kBerlin, kWed, "tonight=2026-03-11 22:00", Anchors{420, 1320});
    checkPhrases(kBerlin, kWed, "every 3h=2026-03-11 13:07 every 3h 00:00-23:59", Anchors{1320, 360});
    checkPhrases(kBerlin, kWed, "twice daily=2026-03-12 09:00 every day 09:00", Anchors{540, 540});
}

TEST(PhraseRejected, ShapesTheLanguageDoesNotHave) {
    const std::vector<const char*> phrases = {
        // Nothing to read, or a routine that does not repeat.
        "", "   ", "in", "at the", "every", "routine", "tomorrow routine", "20m routine", "until done",
        "routine routine every day",
        // Repeats the language does not make.
        "every 2d", "every tue and thu", "every 3h 17-9", "hourly 9-17", "hourly routine 9", "twice", "twice a week",
        "twice daily 9", "every 1440m", "every 0m", "every week 3h", "every 3h until 5pm", "weekly fri", "daily 25:00",
        // Moments with a word too many or a number that is no time, length or date.
        "tonight 9pm", "morning 9", "tomorrow 9 10", "fri 3pm 4pm", "tomorrow at noon at 1", "next", "next 9am",
        "next weekend", "9:5", "25:00", "13pm", "90", "1.5h", "0m", "in 0 minutes", "-5 minutes", "feb 29", "apr 31",
        "nov", "nov 32", "32 nov", "2026-02-30", "2026-03-11 9 10",
        // Counts no calendar can reach: no reminder, never a wrapped one.
        "every 99999999999999999999m", "in 9999999999 weeks", "99999999999999999999m", "in 9223372036854775807 minutes",
        "9223372036854775807m", "every 9223372036854775807m", "1w99999999999999999d",
        "in 99999999999999999999999999999999999999 days", "every 18446744073709551617m 9-17",
        "in 18446744073709551616 minutes", "every 99999999999999999999 minutes 9-17", "99999999999999999999:00",
        "99999999999999999999 nov", "nov 99999999999999999999th",
        // Fits 64 bits as minutes, not as milliseconds; past the year 9999, which a stamp cannot hold.
        "in 153722867280912930 minutes", "in 420000 weeks"};
    for (const char* zone : {kBerlin, kNewYork}) {
        const Calendar cal(QString::fromUtf8(zone));
        for (const char* phrase : phrases) {
            const auto r = Reminder::parse(QString::fromUtf8(phrase), wall(cal, kWed), kAnchors, cal);
            EXPECT_FALSE(r) << phrase << " read as " << r->clauses(cal).toStdString() << " in " << zone;
        }
    }
}

TEST(PhraseRejected, NowOutsideWhatAStampHolds) {
    const Calendar cal(QString::fromUtf8(kBerlin));
    for (const Instant now : {Instant::max(), Instant::min(), at(cal, 10000, 1, 1, 0, 0), at(cal, 0, 12, 31, 12, 0)}) {
        EXPECT_FALSE(Reminder::parse(u"20m", now, kAnchors, cal)) << describe(cal, now);
        EXPECT_FALSE(Reminder::parse(u"every day", now, kAnchors, cal)) << describe(cal, now);
    }
    EXPECT_TRUE(Reminder::parse(u"20m", at(cal, 9999, 12, 31, 23, 0), kAnchors, cal));
    EXPECT_FALSE(Reminder::parse(u"2h", at(cal, 9999, 12, 31, 23, 0), kAnchors, cal));
}

TEST(PhraseAcrossClockChange, TheRepeatedHourIsWrittenAndReadAsTheFirst) {
    // The stamp holds wall-clock time only: a ring in the second pass of a repeated hour is
    // written like the first and read back as the first.
    const Calendar cal(QString::fromUtf8(kBerlin));
    const auto r = Reminder::parse(u"in 1 hour", at(cal, 2026, 10, 25, 2, 10), kAnchors, cal);
    ASSERT_TRUE(r);
    EXPECT_EQ(describe(cal, r->next), "2026-10-25 02:10:00 +01:00");
    const auto back = Reminder::split(r->clauses(cal), cal, kAnchors).reminder;
    ASSERT_TRUE(back);
    EXPECT_EQ(describe(cal, back->next), "2026-10-25 02:10:00 +02:00");
    EXPECT_EQ(back->clauses(cal), r->clauses(cal));
    // The start of a minute in the second pass stays in it.
    const Instant second = at(cal, 2026, 10, 25, 2, 30) + std::chrono::hours(1) + std::chrono::milliseconds(59'999);
    EXPECT_EQ(describe(cal, WhenParser::startOfMinute(second, cal)), "2026-10-25 02:30:00 +01:00");
    const Instant before1970 = instantFromSeconds(-61) + std::chrono::milliseconds(500);
    EXPECT_EQ(WhenParser::startOfMinute(before1970, cal), instantFromSeconds(-120));
}

// Rows "words=answer" ('|' between rows; '_' for a space in the words): the answer as a number, -1
// for none, and for windows "start-end".
template <class Read>
void checkRows(const char* rows, Read read) {
    for (const QString& row : QString::fromUtf8(rows).split(u'|')) {
        const qsizetype eq = row.lastIndexOf(u'=');
        const QString words = row.first(eq).replace(u'_', u' ');
        EXPECT_EQ(read(words).toStdString(), row.mid(eq + 1).toStdString()) << words.toStdString();
    }
}

template <class T, class F>
QString orMinusOne(const std::optional<T>& value, F&& text) {
    return value ? text(*value) : QStringLiteral("-1");
}

TEST(RuleWords, TimesOfDay) {
    checkRows("9=540|17=1020|0=0|930=570|1730=1050|9:05=545|9.30=570|9.30pm=1290|23:59=1439|00:00=0|12am=0|"
              "12pm=720|12:30am=30|1230am=30|9p=1260|9a=540|4pm=960|11:45pm=1425|noon=720|midday=720|midnight=0|"
              "morning=510|evening=1230|night=1230|tonight=1230|00000000000000000009:00=540|"
              // Not times.
              "9:5=-1|25:00=-1|24:00=-1|9:60=-1|13pm=-1|0am=-1|0pm=-1|12345=-1|=-1|am=-1|a=-1|9:30:00=-1|:30=-1|"
              "9:=-1|-9=-1|+9=-1|9.5=-1|9_am=-1|9AM=-1|9pmpm=-1|nine=-1|\u0669=-1|99999999999999999999:00=-1",
              [](const QString& w) {
                  return orMinusOne(words::time(w, kAnchors), [](TimeOfDay v) { return QString::number(v.minutes); });
              });
}

// A window needs two times in order.
TEST(RuleWords, Windows) {
    checkRows("9-17=540-1020|8:30-18=510-1080|9am-5pm=540-1020|-9-17=540-1020|from_9_to_17=540-1020|"
              "between_9am_and_5pm=540-1020|from_9_-_17=540-1020|between_9_till_17=540-1020|9_to_5pm=540-1020|"
              "9_until_17=540-1020|9_till_17=540-1020|9_-_17=540-1020|morning-evening=510-1230|0-23:59=0-1439|"
              // Not windows.
              "9_and_5=-1|17-9=-1|9-9=-1|9-12-15=-1|9-=-1|at_9_to_17=-1|from_9_by_17=-1|9_17=-1|=-1|"
              "from_9_to_17_daily=-1|9-25=-1|from_5pm_to_9am=-1",
              [](const QString& w) {
                  return orMinusOne(words::window(w.split(u' ', Qt::SkipEmptyParts), kAnchors), [](Window v) {
                      return QStringLiteral("%1-%2").arg(v.start.minutes).arg(v.end.minutes);
                  });
              });
}

// Number and unit groups add up; too large for 64 bits is no length, never a wrapped one.
TEST(RuleWords, CompactLengths) {
    checkRows("20m=20|1h30m=90|1h30=90|2d=2880|1w2d=12960|1hr30min=90|3hours=180|10mins=10|0m=0|1w1w=20160|007m=7|"
              "2wk=20160|9223372036854775807m=9223372036854775807|153722867280912930h=9223372036854775800|"
              // Not lengths.
              "90=-1|1.5h=-1|h=-1|m5=-1|1x=-1|5mh=-1|1h-30m=-1|=-1|1H=-1|1h30x=-1|99999999999999999999m=-1|"
              "9223372036854775808m=-1|153722867280912931h=-1|9223372036854775807m1m=-1|999999999999999w=-1",
              [](const QString& w) {
                  return orMinusOne(words::compactDuration(w), [](std::int64_t v) { return QString::number(v); });
              });
}

// A spelled length, with the number of words it takes: "minutes/words".
TEST(RuleWords, SpelledLengths) {
    checkRows("90_minutes=90/2|2_hours=120/2|3_days=4320/2|1_week=10080/2|hour=60/1|minute=1/1|day=1440/1|"
              "week=10080/1|-5_minutes=-5/2|+5_m=5/2|1h30m_extra=90/1|hour_9-17=60/1|2_h_9-17=120/2|"
              // Not lengths.
              "5=-1|5_apples=-1|hours=-1|=-1|five_minutes=-1|1.5_hours=-1|99999999999999999999_weeks=-1|"
              "1000000000000000_weeks=-1|-9223372036854775808_w=-1",
              [](const QString& w) {
                  return orMinusOne(words::duration(w.split(u' ', Qt::SkipEmptyParts)), [](words::Duration v) {
                      return QStringLiteral("%1/%2").arg(v.minutes).arg(v.used);
                  });
              });
}

// --- Rules ---

// Rows "words=the rule as it is stored" ('-' for none), read with these anchors on this weekday
// (a Wednesday unless told); each rule also reads back from its stored words.
void checkRules(const char* rows, Anchors anchors = kAnchors, int weekday = 4) {
    checkRows(rows, [&](const QString& words) {
        const auto rule = Rule::parse(words.split(u' ', Qt::SkipEmptyParts), anchors, weekday);
        if (rule) {
            EXPECT_EQ(Rule::parse(rule->text().split(u' '), anchors, weekday), rule) << words.toStdString();
        }
        return rule ? rule->text() : QStringLiteral("-");
    });
}

TEST(RuleWords, Rules) {
    // The stored words, then defaults from the anchors and the weekday; named times mean every day;
    // times and days come sorted, without repeats.
    checkRules("3h_09:00-21:00=3h 09:00-21:00|day_20:30=day 20:30|mon_thu_18:00=mon thu 18:00|"
               "day_09:00_21:00=day 09:00 21:00|day=day 08:30|week=wed 08:30|3h=3h 08:30-20:30|hour=1h 08:30-20:30|"
               "1439m=1439m 08:30-20:30|90_minutes_9-17=90m 09:00-17:00|2h_from_9_to_5pm=2h 09:00-17:00|"
               "morning=day 08:30|night=day 20:30|weekdays_9am_and_5pm=weekday 09:00 17:00|"
               "day_at_9_&_5pm=day 09:00 17:00|day_9_9_8=day 08:00 09:00|fri_mon_mon_9=mon fri 09:00|"
               "tue_thu=tue thu 08:30|sundays_10=sun 10:00|"
               // No rule.
               "=-|tue_and_thu=-|2d=-|1440m=-|0m=-|-5_minutes=-|3h_17-9=-|3h_9-17_extra=-|day_25:00=-|fortnight=-|"
               "99999999999999999999m=-|9999999999_weeks=-");
    checkRules("week_7pm=sun 19:00", kAnchors, 1);
    checkRules("week=-", kAnchors, 0);
    checkRules("3h=3h 07:00-22:00", Anchors{420, 1320});
    // A day that does not run forwards is no window: the interval keeps to the whole day.
    checkRules("3h=3h 00:00-23:59", Anchors{1320, 360});
    checkRules("2h=2h 00:00-23:59", Anchors{540, 540});
}

} // namespace
