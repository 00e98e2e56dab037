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

struct Wall {
    int y, mo, d, h, mi;
};

// Wednesday 11 March 2026 10:07, the moment every example is seen from.
constexpr Wall kNow{2026, 3, 11, 10, 7};

Instant wall(const Calendar& calendar, const Wall& w) {
    return at(calendar, w.y, w.mo, w.d, w.h, w.mi);
}

// --- moment ---

struct MomentCase {
    std::string name;
    QString zone;
    QString locale;
    Wall now;
    Wall next;
    bool todayWord;
    QString expected;
};

void PrintTo(const MomentCase& c, std::ostream* os) {
    *os << c.name;
}

class Moment : public ::testing::TestWithParam<MomentCase> {};

TEST_P(Moment, NamesTheRingRelativeToNow) {
    const MomentCase& c = GetParam();
    const Calendar cal(c.zone, c.locale);
    EXPECT_EQ(once(wall(cal, c.next)).moment(wall(cal, c.now), c.todayWord, cal), c.expected);
}

std::vector<MomentCase> momentCases() {
    const QString berlin = QStringLiteral("Europe/Berlin");
    const QString newYork = QStringLiteral("America/New_York");
    const QString en = QStringLiteral("en_US");
    const QString de = QStringLiteral("de_DE");
    return {
        {"Today", berlin, en, kNow, {2026, 3, 11, 16, 0}, false, u"16:00"_s},
        {"TodayWithTheWord", berlin, en, kNow, {2026, 3, 11, 16, 0}, true, u"today 16:00"_s},
        {"EarlierToday", newYork, en, kNow, {2026, 3, 11, 9, 0}, false, u"09:00"_s},
        {"Tomorrow", berlin, en, kNow, {2026, 3, 12, 8, 30}, true, u"tomorrow 08:30"_s},
        {"Yesterday", newYork, en, kNow, {2026, 3, 10, 21, 0}, false, u"yesterday 21:00"_s},
        {"InThreeDays", berlin, en, kNow, {2026, 3, 14, 8, 30}, false, u"Sat 08:30"_s},
        {"SixDaysAhead", berlin, en, kNow, {2026, 3, 17, 9, 0}, false, u"Tue 09:00"_s},
        {"SixDaysAgo", berlin, en, kNow, {2026, 3, 5, 9, 0}, false, u"Thu 09:00"_s},
        {"SevenDaysAheadIsADate", berlin, en, kNow, {2026, 3, 18, 9, 0}, false, u"Mar 18, 09:00"_s},
        {"SevenDaysAgoIsADate", newYork, en, kNow, {2026, 3, 4, 9, 0}, false, u"Mar 4, 09:00"_s},
        {"NextYear", berlin, en, kNow, {2027, 3, 1, 8, 30}, false, u"Mar 1 27, 08:30"_s},
        {"LastYear", berlin, en, kNow, {2025, 12, 31, 23, 59}, false, u"Dec 31 25, 23:59"_s},
        // Days are counted on the calendar: 47 hours across a lost hour are still two days.
        {"TwoDaysAcrossSpringForward", newYork, en, {2026, 3, 7, 23, 30}, {2026, 3, 9, 0, 30}, false, u"Mon 00:30"_s},
        {"TomorrowAcrossSpringForward",
         berlin,
         en,
         {2026, 3, 28, 23, 30},
         {2026, 3, 29, 23, 0},
         false,
         u"tomorrow 23:00"_s},
        {"GermanWeekday", berlin, de, kNow, {2026, 3, 14, 8, 30}, false, u"Sa. 08:30"_s},
        {"GermanDate", berlin, de, kNow, {2026, 3, 18, 9, 0}, false, u"März 18, 09:00"_s},
        {"GermanDateOfAnotherYear", berlin, de, kNow, {2027, 3, 1, 8, 30}, false, u"März 1 27, 08:30"_s},
        {"GermanKeepsEnglishWords", berlin, de, kNow, {2026, 3, 12, 8, 30}, false, u"tomorrow 08:30"_s},
    };
}

INSTANTIATE_TEST_SUITE_P(Examples, Moment, ::testing::ValuesIn(momentCases()), CaseName());

// --- rule words ---

struct RuleWordsCase {
    std::string name;
    Rule rule;
    QString shortWords;
    QString phrase;
};

void PrintTo(const RuleWordsCase& c, std::ostream* os) {
    *os << c.name;
}

class RuleWords : public ::testing::TestWithParam<RuleWordsCase> {};

TEST_P(RuleWords, ShortAndFull) {
    const RuleWordsCase& c = GetParam();
    EXPECT_EQ(c.rule.shortWords(), c.shortWords);
    EXPECT_EQ(c.rule.phrase(), c.phrase);
}

std::vector<RuleWordsCase> ruleWordsCases() {
    return {
        {"ThreeHours", interval(180, hm(8, 30), hm(20, 30)), u"every 3h"_s, u"every 3h, 08:30\u201320:30"_s},
        {"NinetyMinutes", interval(90, hm(9, 0), hm(17, 0)), u"every 90m"_s, u"every 90m, 09:00\u201317:00"_s},
        {"OneTime", times(everyDay(), {hm(20, 30)}), u"every day"_s, u"every day at 20:30"_s},
        {"TwiceADay", times(everyDay(), {hm(8, 30), hm(20, 30)}), u"twice a day"_s, u"every day at 08:30 and 20:30"_s},
        {"ThreeTimesADay", times(everyDay(), {hm(8, 30), hm(12, 0), hm(20, 30)}), u"every day"_s,
         u"every day at 08:30, 12:00 and 20:30"_s},
        {"UnsortedTimes", times(everyDay(), {hm(20, 30), hm(8, 5), hm(12, 0)}), u"every day"_s,
         u"every day at 08:05, 12:00 and 20:30"_s},
        {"Weekdays", times(weekdays(), {hm(9, 0), hm(17, 0)}), u"weekdays"_s, u"every weekday at 09:00 and 17:00"_s},
        {"TwoDays", times(onDays({2, 5}), {hm(18, 0)}), u"Mon and Thu"_s, u"every Mon and Thu at 18:00"_s},
        {"ThreeDaysUnsorted", times(onDays({7, 3, 5}), {hm(7, 0)}), u"Tue and Thu and Sat"_s,
         u"every Tue and Thu and Sat at 07:00"_s},
        {"OneDay", times(onDays({1}), {hm(0, 0)}), u"Sun"_s, u"every Sun at 00:00"_s},
    };
}

INSTANTIATE_TEST_SUITE_P(Examples, RuleWords, ::testing::ValuesIn(ruleWordsCases()), CaseName());

// --- summary, label, subtitle ---

struct SentenceCase {
    std::string name;
    Wall next;
    std::optional<Rule> rule;
    bool routine;
    Wall now;
    QString summaryShort;
    QString summaryLong;
    QString label;
};

void PrintTo(const SentenceCase& c, std::ostream* os) {
    *os << c.name;
}

class Sentences : public ::testing::TestWithParam<SentenceCase> {};

TEST_P(Sentences, SummaryAndLabel) {
    const SentenceCase& c = GetParam();
    for (const QString& zone : {QStringLiteral("Europe/Berlin"), QStringLiteral("America/New_York")}) {
        const Calendar cal(zone, QStringLiteral("en_US"));
        const Reminder r{wall(cal, c.next), c.rule, c.routine};
        const Instant now = wall(cal, c.now);
        EXPECT_EQ(r.summary(now, true, cal), c.summaryShort) << zone.toStdString();
        EXPECT_EQ(r.summary(now, false, cal), c.summaryLong) << zone.toStdString();
        EXPECT_EQ(r.label(now, cal), c.label) << zone.toStdString();
    }
}

std::vector<SentenceCase> sentenceCases() {
    const Rule threeHours = interval(180, hm(8, 30), hm(20, 30));
    const Rule evening = times(everyDay(), {hm(20, 30)});
    return {
        {"OneTimeTomorrow",
         {2026, 3, 12, 9, 0},
         std::nullopt,
         false,
         kNow,
         u"tomorrow 09:00"_s,
         u"tomorrow 09:00"_s,
         u"tomorrow 09:00"_s},
        {"OneTimeLaterToday",
         {2026, 3, 11, 16, 0},
         std::nullopt,
         false,
         kNow,
         u"today 16:00"_s,
         u"today 16:00"_s,
         u"16:00"_s},
        {"OneTimeRang",
         {2026, 3, 11, 9, 0},
         std::nullopt,
         false,
         kNow,
         u"today 09:00"_s,
         u"today 09:00"_s,
         u"rang 09:00"_s},
        {"OneTimeRangYesterday",
         {2026, 3, 10, 21, 0},
         std::nullopt,
         false,
         kNow,
         u"yesterday 21:00"_s,
         u"yesterday 21:00"_s,
         u"rang yesterday 21:00"_s},
        {"OneTimeFriday",
         {2026, 3, 13, 8, 30},
         std::nullopt,
         false,
         kNow,
         u"Fri 08:30"_s,
         u"Fri 08:30"_s,
         u"Fri 08:30"_s},
        {"IntervalAhead",
         {2026, 3, 11, 13, 7},
         threeHours,
         false,
         kNow,
         u"today 13:07 \u00b7 every 3h"_s,
         u"today 13:07 \u00b7 then every 3h, 08:30\u201320:30 until done"_s,
         u"13:07 \u00b7 every 3h"_s},
        {"IntervalRangThreeTimes",
         {2026, 3, 11, 9, 0},
         threeHours,
         false,
         {2026, 3, 11, 15, 10},
         u"today 09:00 \u00b7 every 3h"_s,
         u"today 09:00 \u00b7 then every 3h, 08:30\u201320:30 until done"_s,
         u"rang 09:00 \u00b7 every 3h \u00b7 3rd ring"_s},
        {"RoutineTomorrow",
         {2026, 3, 12, 20, 30},
         evening,
         true,
         kNow,
         u"tomorrow 20:30 \u00b7 every day \u00b7 routine"_s,
         u"tomorrow 20:30 \u00b7 then every day at 20:30 \u00b7 routine"_s,
         u"tomorrow 20:30 \u00b7 every day \u00b7 routine"_s},
        {"RoutineRangTwice",
         {2026, 3, 10, 20, 30},
         evening,
         true,
         {2026, 3, 11, 21, 0},
         u"yesterday 20:30 \u00b7 every day \u00b7 routine"_s,
         u"yesterday 20:30 \u00b7 then every day at 20:30 \u00b7 routine"_s,
         u"rang yesterday 20:30 \u00b7 every day \u00b7 routine \u00b7 2nd ring"_s},
        {"WeekdaysPreset",
         {2026, 3, 12, 9, 0},
         times(weekdays(), {hm(9, 0)}),
         false,
         kNow,
         u"tomorrow 09:00 \u00b7 weekdays"_s,
         u"tomorrow 09:00 \u00b7 then every weekday at 09:00 until done"_s,
         u"tomorrow 09:00 \u00b7 weekdays"_s},
    };
}

INSTANTIATE_TEST_SUITE_P(Examples, Sentences, ::testing::ValuesIn(sentenceCases()), CaseName());

TEST(Subtitle, RoutineFirstThenRuleThenRing) {
    const Calendar cal(QStringLiteral("Europe/Berlin"));
    const Instant t = wall(cal, kNow);
    struct Case {
        Reminder reminder;
        int ring;
        QString expected;
    };
    const std::vector<Case> cases = {
        {repeat(t, times(everyDay(), {hm(20, 30)}), true), 2, u"routine \u00b7 every day \u00b7 2nd ring"_s},
        {repeat(t, interval(180, hm(8, 30), hm(20, 30))), 1, u"every 3h"_s},
        {repeat(t, times(weekdays(), {hm(9, 0)})), 4, u"weekdays \u00b7 4th ring"_s},
        {repeat(t, times(everyDay(), {hm(9, 0), hm(21, 0)}), true), 1, u"routine \u00b7 twice a day"_s},
        {once(t), 1, QString()},
        {once(t), 3, u"3rd ring"_s},
        // A routine mark without a rule means nothing.
        {Reminder{t, std::nullopt, true}, 2, u"2nd ring"_s},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.reminder.subtitle(c.ring), c.expected);
    }
}

TEST(Ordinal, EnglishSuffixes) {
    const std::vector<std::pair<int, QString>> cases = {
        {0, u"0th"_s},     {1, u"1st"_s},     {2, u"2nd"_s},     {3, u"3rd"_s},     {4, u"4th"_s},   {11, u"11th"_s},
        {12, u"12th"_s},   {13, u"13th"_s},   {21, u"21st"_s},   {22, u"22nd"_s},   {23, u"23rd"_s}, {101, u"101st"_s},
        {111, u"111th"_s}, {112, u"112th"_s}, {113, u"113th"_s}, {999, u"999th"_s}, {-1, u"-1st"_s},
    };
    for (const auto& [n, expected] : cases) {
        EXPECT_EQ(Reminder::ordinal(n), expected) << n;
    }
}

} // namespace
