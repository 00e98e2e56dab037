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

// Wednesday 11 March 2026 10:07, the moment most examples are seen from.
constexpr Wall kNow{2026, 3, 11, 10, 7};

TEST(Wording, MomentNamesTheRingRelativeToNow) {
    const Calendar berlin(u"Europe/Berlin"_s, u"en_US"_s);
    const Calendar newYork(u"America/New_York"_s, u"en_US"_s);
    const Calendar german(u"Europe/Berlin"_s, u"de_DE"_s);
    struct Case {
        const Calendar* cal;
        Wall now;
        Wall next;
        bool todayWord;
        QString expected;
    };
    const Case cases[] = {
        {&berlin, kNow, {2026, 3, 11, 16, 0}, false, u"16:00"_s},
        {&berlin, kNow, {2026, 3, 11, 16, 0}, true, u"today 16:00"_s},
        {&newYork, kNow, {2026, 3, 11, 9, 0}, false, u"09:00"_s},
        {&berlin, kNow, {2026, 3, 12, 8, 30}, true, u"tomorrow 08:30"_s},
        {&newYork, kNow, {2026, 3, 10, 21, 0}, false, u"yesterday 21:00"_s},
        {&berlin, kNow, {2026, 3, 14, 8, 30}, false, u"Sat 08:30"_s},
        // Six days either way is a weekday, seven a date; another year adds it.
        {&berlin, kNow, {2026, 3, 17, 9, 0}, false, u"Tue 09:00"_s},
        {&berlin, kNow, {2026, 3, 5, 9, 0}, false, u"Thu 09:00"_s},
        {&berlin, kNow, {2026, 3, 18, 9, 0}, false, u"Mar 18, 09:00"_s},
        {&newYork, kNow, {2026, 3, 4, 9, 0}, false, u"Mar 4, 09:00"_s},
        {&berlin, kNow, {2027, 3, 1, 8, 30}, false, u"Mar 1 27, 08:30"_s},
        {&berlin, kNow, {2025, 12, 31, 23, 59}, false, u"Dec 31 25, 23:59"_s},
        // Days are counted on the calendar: 47 hours across a lost hour are still two days.
        {&newYork, {2026, 3, 7, 23, 30}, {2026, 3, 9, 0, 30}, false, u"Mon 00:30"_s},
        {&berlin, {2026, 3, 28, 23, 30}, {2026, 3, 29, 23, 0}, false, u"tomorrow 23:00"_s},
        // Names from the user's language, the words around them in English.
        {&german, kNow, {2026, 3, 14, 8, 30}, false, u"Sa. 08:30"_s},
        {&german, kNow, {2027, 3, 1, 8, 30}, false, u"März 1 27, 08:30"_s},
        {&german, kNow, {2026, 3, 12, 8, 30}, false, u"tomorrow 08:30"_s},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(once(wall(*c.cal, c.next)).moment(wall(*c.cal, c.now), c.todayWord, *c.cal), c.expected)
            << describe(*c.cal, wall(*c.cal, c.next));
    }
}

TEST(Wording, RulesInShortAndFullWords) {
    const std::tuple<Rule, QString, QString> cases[] = {
        {interval(180, hm(8, 30), hm(20, 30)), u"every 3h"_s, u"every 3h, 08:30–20:30"_s},
        {interval(90, hm(9, 0), hm(17, 0)), u"every 90m"_s, u"every 90m, 09:00–17:00"_s},
        {times(everyDay(), {hm(20, 30)}), u"every day"_s, u"every day at 20:30"_s},
        {times(everyDay(), {hm(8, 30), hm(20, 30)}), u"twice a day"_s, u"every day at 08:30 and 20:30"_s},
        {times(everyDay(), {hm(20, 30), hm(8, 5), hm(12, 0)}), u"every day"_s,
         u"every day at 08:05, 12:00 and 20:30"_s},
        {times(weekdays(), {hm(9, 0), hm(17, 0)}), u"weekdays"_s, u"every weekday at 09:00 and 17:00"_s},
        {times(onDays({2, 5}), {hm(18, 0)}), u"Mon and Thu"_s, u"every Mon and Thu at 18:00"_s},
        {times(onDays({7, 3, 5}), {hm(7, 0)}), u"Tue and Thu and Sat"_s, u"every Tue and Thu and Sat at 07:00"_s},
        {times(onDays({1}), {hm(0, 0)}), u"Sun"_s, u"every Sun at 00:00"_s},
    };
    for (const auto& [rule, shortWords, phrase] : cases) {
        EXPECT_EQ(rule.shortWords(), shortWords) << phrase.toStdString();
        EXPECT_EQ(rule.phrase(), phrase);
    }
}

// The same wall clocks give the same words in either zone.
TEST(Wording, SummaryAndLabel) {
    const Rule threeHours = interval(180, hm(8, 30), hm(20, 30));
    const Rule evening = times(everyDay(), {hm(20, 30)});
    struct Given {
        Wall next;
        std::optional<Rule> rule;
        bool routine;
        Wall now;
    };
    struct Words {
        QString summaryShort;
        QString summaryLong;
        QString label;
    };
    const std::pair<Given, Words> cases[] = {
        {{{2026, 3, 11, 16, 0}, std::nullopt, false, kNow}, {u"today 16:00"_s, u"today 16:00"_s, u"16:00"_s}},
        {{{2026, 3, 11, 9, 0}, std::nullopt, false, kNow}, {u"today 09:00"_s, u"today 09:00"_s, u"rang 09:00"_s}},
        {{{2026, 3, 10, 21, 0}, std::nullopt, false, kNow},
         {u"yesterday 21:00"_s, u"yesterday 21:00"_s, u"rang yesterday 21:00"_s}},
        {{{2026, 3, 11, 13, 7}, threeHours, false, kNow},
         {u"today 13:07 · every 3h"_s, u"today 13:07 · then every 3h, 08:30–20:30 until done"_s,
          u"13:07 · every 3h"_s}},
        {{{2026, 3, 11, 9, 0}, threeHours, false, {2026, 3, 11, 15, 10}},
         {u"today 09:00 · every 3h"_s, u"today 09:00 · then every 3h, 08:30–20:30 until done"_s,
          u"rang 09:00 · every 3h · 3rd ring"_s}},
        {{{2026, 3, 12, 20, 30}, evening, true, kNow},
         {u"tomorrow 20:30 · every day · routine"_s, u"tomorrow 20:30 · then every day at 20:30 · routine"_s,
          u"tomorrow 20:30 · every day · routine"_s}},
        {{{2026, 3, 10, 20, 30}, evening, true, {2026, 3, 11, 21, 0}},
         {u"yesterday 20:30 · every day · routine"_s, u"yesterday 20:30 · then every day at 20:30 · routine"_s,
          u"rang yesterday 20:30 · every day · routine · 2nd ring"_s}},
        {{{2026, 3, 12, 9, 0}, times(weekdays(), {hm(9, 0)}), false, kNow},
         {u"tomorrow 09:00 · weekdays"_s, u"tomorrow 09:00 · then every weekday at 09:00 until done"_s,
          u"tomorrow 09:00 · weekdays"_s}},
    };
    for (const QString& zone : {u"Europe/Berlin"_s, u"America/New_York"_s}) {
        const Calendar cal(zone, u"en_US"_s);
        for (const auto& [c, words] : cases) {
            const Reminder r{wall(cal, c.next), c.rule, c.routine};
            const Instant now = wall(cal, c.now);
            EXPECT_EQ(r.summary(now, true, cal), words.summaryShort) << zone.toStdString();
            EXPECT_EQ(r.summary(now, false, cal), words.summaryLong) << zone.toStdString();
            EXPECT_EQ(r.label(now, cal), words.label) << zone.toStdString();
        }
    }
}

TEST(Wording, SubtitleIsRoutineThenRuleThenRing) {
    const Instant t = wall(Calendar(u"Europe/Berlin"_s), kNow);
    const std::tuple<Reminder, int, QString> cases[] = {
        {repeat(t, times(everyDay(), {hm(20, 30)}), true), 2, u"routine · every day · 2nd ring"_s},
        {repeat(t, interval(180, hm(8, 30), hm(20, 30))), 1, u"every 3h"_s},
        {repeat(t, times(weekdays(), {hm(9, 0)})), 4, u"weekdays · 4th ring"_s},
        {repeat(t, times(everyDay(), {hm(9, 0), hm(21, 0)}), true), 1, u"routine · twice a day"_s},
        {once(t), 1, QString()},
        {once(t), 3, u"3rd ring"_s},
        // A routine mark without a rule means nothing.
        {Reminder{t, std::nullopt, true}, 2, u"2nd ring"_s},
    };
    for (const auto& [reminder, ring, expected] : cases) {
        EXPECT_EQ(reminder.subtitle(ring), expected);
    }
    const std::pair<int, QString> ordinals[] = {
        {0, u"0th"_s},     {1, u"1st"_s},     {2, u"2nd"_s},     {3, u"3rd"_s},   {4, u"4th"_s},   {11, u"11th"_s},
        {12, u"12th"_s},   {13, u"13th"_s},   {21, u"21st"_s},   {22, u"22nd"_s}, {23, u"23rd"_s}, {101, u"101st"_s},
        {111, u"111th"_s}, {112, u"112th"_s}, {113, u"113th"_s}, {-1, u"-1st"_s}};
    for (const auto& [n, expected] : ordinals) {
        EXPECT_EQ(Reminder::ordinal(n), expected) << n;
    }
}

} // namespace
