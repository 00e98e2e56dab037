#include "reminders/RuleWords.h"

#include "ReminderBuilders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
namespace words = plim::RuleWords;

namespace {

QStringList split(const char* text) {
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
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

struct RuleCase {
    std::string name;
    const char* words;
    std::optional<Rule> rule;
    int weekday = 4;
    Anchors anchors = kAnchors;
};

void PrintTo(const RuleCase& c, std::ostream* os) {
    *os << c.words;
}

class RuleWordsParse : public ::testing::TestWithParam<RuleCase> {};

TEST_P(RuleWordsParse, ReadsIntervalsAndTimes) {
    const auto& c = GetParam();
    const auto rule = Rule::parse(split(c.words), c.anchors, c.weekday);
    EXPECT_EQ(rule, c.rule) << c.words << " read as " << (rule ? rule->text().toStdString() : "none");
}

std::vector<RuleCase> ruleCases() {
    return {
        // The stored words read back to the rule that wrote them.
        {"StoredInterval", "3h 09:00-21:00", interval(180, hm(9, 0), hm(21, 0))},
        {"StoredDay", "day 20:30", times(everyDay(), {hm(20, 30)})},
        {"StoredDays", "mon thu 18:00", times(onDays({2, 5}), {hm(18, 0)})},
        {"StoredTwoTimes", "day 09:00 21:00", times(everyDay(), {hm(9, 0), hm(21, 0)})},
        // Defaults from the anchors and the weekday.
        {"DayAlone", "day", times(everyDay(), {hm(8, 30)})},
        {"WeekIsTheGivenDay", "week", times(onDays({4}), {hm(8, 30)})},
        {"WeekOnSunday", "week 7pm", times(onDays({1}), {hm(19, 0)}), 1},
        {"WeekWithoutADay", "week", std::nullopt, 0},
        {"IntervalDefaultWindow", "3h", interval(180, hm(8, 30), hm(20, 30))},
        {"HourWord", "hour", interval(60, hm(8, 30), hm(20, 30))},
        {"LongestInterval", "1439m", interval(1439, hm(8, 30), hm(20, 30))},
        {"SpelledInterval", "90 minutes 9-17", interval(90, hm(9, 0), hm(17, 0))},
        {"FromTo", "2h from 9 to 5pm", interval(120, hm(9, 0), hm(17, 0))},
        {"CustomAnchors", "3h", interval(180, hm(7, 0), hm(22, 0)), 4, Anchors{420, 1320}},
        // A day that does not run forwards is no window: the interval keeps to the whole day.
        {"ReversedAnchors", "3h", interval(180, hm(0, 0), hm(23, 59)), 4, Anchors{1320, 360}},
        {"EqualAnchors", "2h", interval(120, hm(0, 0), hm(23, 59)), 4, Anchors{540, 540}},
        // Named times mean every day.
        {"Morning", "morning", times(everyDay(), {hm(8, 30)})},
        {"Night", "night", times(everyDay(), {hm(20, 30)})},
        {"WeekdaysTwoTimes", "weekdays 9am and 5pm", times(weekdays(), {hm(9, 0), hm(17, 0)})},
        {"AtAndAmpersand", "day at 9 & 5pm", times(everyDay(), {hm(9, 0), hm(17, 0)})},
        {"TimesSortedWithoutRepeats", "day 9 9 8", times(everyDay(), {hm(8, 0), hm(9, 0)})},
        {"DaysSortedWithoutRepeats", "fri mon mon 9", times(onDays({2, 6}), {hm(9, 0)})},
        {"TwoDays", "tue thu", times(onDays({3, 5}), {hm(8, 30)})},
        {"PluralDay", "sundays 10", times(onDays({1}), {hm(10, 0)})},
        // No rule.
        {"Empty", "", std::nullopt},
        {"FillerEndsTheRun", "tue and thu", std::nullopt},
        {"TwoDaysIsNoInterval", "2d", std::nullopt},
        {"ADayIsNoInterval", "1440m", std::nullopt},
        {"ZeroIsNoInterval", "0m", std::nullopt},
        {"NegativeIsNoInterval", "-5 minutes", std::nullopt},
        {"WindowBackwards", "3h 17-9", std::nullopt},
        {"NotAWindow", "3h 9-17 extra", std::nullopt},
        {"NotATime", "day 25:00", std::nullopt},
        {"NotADay", "fortnight", std::nullopt},
        {"HugeInterval", "99999999999999999999m", std::nullopt},
        {"HugeWeeks", "9999999999 weeks", std::nullopt},
    };
}

INSTANTIATE_TEST_SUITE_P(Words, RuleWordsParse, ::testing::ValuesIn(ruleCases()), CaseName());

} // namespace
