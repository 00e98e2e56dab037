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

// The answer as a number, -1 for none, so that a table says both in one column.
template <class T, class F>
std::int64_t orMinusOne(const std::optional<T>& value, F&& number) {
    return value ? static_cast<std::int64_t>(number(*value)) : -1;
}

// --- Times of day ---

struct TimeCase {
    const char* word;
    int minutes; // -1: not a time
};

class TimeWord : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeWord, ReadsClockAndNamedTimes) {
    const auto t = words::time(QString::fromUtf8(GetParam().word), kAnchors);
    EXPECT_EQ(orMinusOne(t, [](TimeOfDay v) { return v.minutes; }), GetParam().minutes) << GetParam().word;
}

INSTANTIATE_TEST_SUITE_P(
    Words, TimeWord,
    ::testing::Values(TimeCase{"9", 540}, TimeCase{"17", 1020}, TimeCase{"0", 0}, TimeCase{"930", 570},
                      TimeCase{"1730", 1050}, TimeCase{"9:05", 545}, TimeCase{"9.30", 570}, TimeCase{"9.30pm", 1290},
                      TimeCase{"23:59", 1439}, TimeCase{"00:00", 0}, TimeCase{"12am", 0}, TimeCase{"12pm", 720},
                      TimeCase{"12:30am", 30}, TimeCase{"1230am", 30}, TimeCase{"9p", 1260}, TimeCase{"9a", 540},
                      TimeCase{"4pm", 960}, TimeCase{"11:45pm", 1425}, TimeCase{"noon", 720}, TimeCase{"midday", 720},
                      TimeCase{"midnight", 0}, TimeCase{"morning", 510}, TimeCase{"evening", 1230},
                      TimeCase{"night", 1230}, TimeCase{"tonight", 1230},
                      // Not times.
                      TimeCase{"9:5", -1}, TimeCase{"25:00", -1}, TimeCase{"24:00", -1}, TimeCase{"9:60", -1},
                      TimeCase{"13pm", -1}, TimeCase{"0am", -1}, TimeCase{"0pm", -1}, TimeCase{"12345", -1},
                      TimeCase{"", -1}, TimeCase{"am", -1}, TimeCase{"a", -1}, TimeCase{"9:30:00", -1},
                      TimeCase{":30", -1}, TimeCase{"9:", -1}, TimeCase{"-9", -1}, TimeCase{"+9", -1},
                      TimeCase{"9.5", -1}, TimeCase{"9 am", -1}, TimeCase{"9AM", -1}, TimeCase{"9pmpm", -1},
                      TimeCase{"nine", -1}, TimeCase{"\u0669", -1}, TimeCase{"99999999999999999999:00", -1},
                      TimeCase{"00000000000000000009:00", 540}));

// --- Windows ---

struct WindowCase {
    const char* words;
    int start; // -1: no window
    int end;
};

class WindowWords : public ::testing::TestWithParam<WindowCase> {};

TEST_P(WindowWords, NeedsTwoTimesInOrder) {
    const auto& c = GetParam();
    const auto w = words::window(split(c.words), kAnchors);
    EXPECT_EQ(orMinusOne(w, [](Window v) { return v.start.minutes; }), c.start) << c.words;
    EXPECT_EQ(orMinusOne(w, [](Window v) { return v.end.minutes; }), c.start < 0 ? -1 : c.end) << c.words;
}

INSTANTIATE_TEST_SUITE_P(
    Words, WindowWords,
    ::testing::Values(WindowCase{"9-17", 540, 1020}, WindowCase{"8:30-18", 510, 1080}, WindowCase{"9am-5pm", 540, 1020},
                      WindowCase{"-9-17", 540, 1020}, WindowCase{"from 9 to 17", 540, 1020},
                      WindowCase{"between 9am and 5pm", 540, 1020}, WindowCase{"from 9 - 17", 540, 1020},
                      WindowCase{"between 9 till 17", 540, 1020}, WindowCase{"9 to 5pm", 540, 1020},
                      WindowCase{"9 until 17", 540, 1020}, WindowCase{"9 till 17", 540, 1020},
                      WindowCase{"9 - 17", 540, 1020}, WindowCase{"morning-evening", 510, 1230},
                      WindowCase{"0-23:59", 0, 1439},
                      // Not windows.
                      WindowCase{"9 and 5", -1, 0}, WindowCase{"17-9", -1, 0}, WindowCase{"9-9", -1, 0},
                      WindowCase{"9-12-15", -1, 0}, WindowCase{"9-", -1, 0}, WindowCase{"at 9 to 17", -1, 0},
                      WindowCase{"from 9 by 17", -1, 0}, WindowCase{"9 17", -1, 0}, WindowCase{"", -1, 0},
                      WindowCase{"from 9 to 17 daily", -1, 0}, WindowCase{"9-25", -1, 0},
                      WindowCase{"from 5pm to 9am", -1, 0}));

// --- Lengths of time ---

struct CompactCase {
    const char* word;
    std::int64_t minutes; // -1: not a length
};

class CompactLength : public ::testing::TestWithParam<CompactCase> {};

TEST_P(CompactLength, AddsNumberAndUnitGroups) {
    const auto m = words::compactDuration(QString::fromUtf8(GetParam().word));
    EXPECT_EQ(orMinusOne(m, [](std::int64_t v) { return v; }), GetParam().minutes) << GetParam().word;
}

INSTANTIATE_TEST_SUITE_P(
    Words, CompactLength,
    ::testing::Values(CompactCase{"20m", 20}, CompactCase{"1h30m", 90}, CompactCase{"1h30", 90},
                      CompactCase{"2d", 2880}, CompactCase{"1w2d", 12960}, CompactCase{"1hr30min", 90},
                      CompactCase{"3hours", 180}, CompactCase{"10mins", 10}, CompactCase{"0m", 0},
                      CompactCase{"1w1w", 20160}, CompactCase{"007m", 7}, CompactCase{"2wk", 20160},
                      CompactCase{"9223372036854775807m", 9223372036854775807},
                      CompactCase{"153722867280912930h", 9223372036854775800},
                      // Not lengths.
                      CompactCase{"90", -1}, CompactCase{"1.5h", -1}, CompactCase{"h", -1}, CompactCase{"m5", -1},
                      CompactCase{"1x", -1}, CompactCase{"5mh", -1}, CompactCase{"1h-30m", -1}, CompactCase{"", -1},
                      CompactCase{"1H", -1}, CompactCase{"1h30x", -1},
                      // Too large for 64 bits: no length, never a wrapped one.
                      CompactCase{"99999999999999999999m", -1}, CompactCase{"9223372036854775808m", -1},
                      CompactCase{"153722867280912931h", -1}, CompactCase{"9223372036854775807m1m", -1},
                      CompactCase{"999999999999999w", -1}));

struct DurationCase {
    const char* words;
    std::int64_t minutes; // meaningful when used > 0
    int used;             // 0: no length
};

class LengthPhrase : public ::testing::TestWithParam<DurationCase> {};

TEST_P(LengthPhrase, CountsTheWordsItTakes) {
    const auto& c = GetParam();
    const auto d = words::duration(split(c.words));
    EXPECT_EQ(orMinusOne(d, [](words::Duration v) { return v.used; }), c.used == 0 ? -1 : c.used) << c.words;
    EXPECT_EQ(orMinusOne(d, [](words::Duration v) { return v.minutes; }), c.used == 0 ? -1 : c.minutes) << c.words;
}

INSTANTIATE_TEST_SUITE_P(
    Words, LengthPhrase,
    ::testing::Values(DurationCase{"90 minutes", 90, 2}, DurationCase{"2 hours", 120, 2},
                      DurationCase{"3 days", 4320, 2}, DurationCase{"1 week", 10080, 2}, DurationCase{"hour", 60, 1},
                      DurationCase{"minute", 1, 1}, DurationCase{"day", 1440, 1}, DurationCase{"week", 10080, 1},
                      DurationCase{"-5 minutes", -5, 2}, DurationCase{"+5 m", 5, 2}, DurationCase{"1h30m extra", 90, 1},
                      DurationCase{"hour 9-17", 60, 1}, DurationCase{"2 h 9-17", 120, 2},
                      // Not lengths.
                      DurationCase{"5", 0, 0}, DurationCase{"5 apples", 0, 0}, DurationCase{"hours", 0, 0},
                      DurationCase{"", 0, 0}, DurationCase{"five minutes", 0, 0}, DurationCase{"1.5 hours", 0, 0},
                      DurationCase{"99999999999999999999 weeks", 0, 0}, DurationCase{"1000000000000000 weeks", 0, 0},
                      DurationCase{"-9223372036854775808 w", 0, 0}));

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
