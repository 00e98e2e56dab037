#include "notes/NotesStore.h"
#include "notes/Preferences.h"
#include "reminders/ReminderScheduler.h"

#include "ReminderBuilders.h"
#include "SchedulerFakes.h"
#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

const Calendar kBerlin(u"Europe/Berlin"_s);
const Calendar kNewYork(u"America/New_York"_s);
const Calendar kTokyo(u"Asia/Tokyo"_s);

// 14 March 2026 (a Saturday) in Berlin.
Instant march14(int hour, int minute = 0, int second = 0) {
    return at(kBerlin, 2026, 3, 14, hour, minute, second);
}

QString notes(const QStringList& lines) {
    return u"## 2026-03-14 Saturday\n\n"_s + lines.join(u'\n') + u'\n';
}

// An open entry with a reminder: line("call Ann", "remind 2026-03-14 09:00").
QString line(const QString& text, const QString& words, const QString& mark = u"[ ] "_s) {
    return u"- "_s + mark + text + u"  <!-- 08:00 "_s + words + u" -->"_s;
}

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(u"plim.md"_s);
        prefs = std::make_unique<Preferences>(dir.filePath(u"plim.conf"_s));
        prefs->setValue(PreferenceKey::reminderDelivery, u"notification"_s, Preferences::Announce::No);
        clock = std::make_unique<ManualClock>(march14(8), kBerlin);
    }

    void start(const QStringList& lines) {
        scheduler.reset();
        store.reset();
        ASSERT_TRUE(writeAll(path, notes(lines).toUtf8()));
        store = std::make_unique<NotesStore>(*prefs, *clock, NotesStore::Options{path, false});
        store->load();
        auto n = std::make_unique<FakeNotifier>();
        auto e = std::make_unique<FakeSystemEvents>();
        notifier = n.get();
        events = e.get();
        notifier->holding = holdFirst;
        scheduler = std::make_unique<ReminderScheduler>(*store, std::move(n), std::move(e));
        scheduler->onOpen = [this](std::optional<QUuid> id) { opened.append(id); };
        scheduler->onUnreadable = [this](QUuid id, QString phrase) { unreadable.append({id, phrase}); };
        scheduler->onSnoozeAsk = [this](QUuid id) { asked.append(id); };
    }

    QUuid id(const QString& text) const { return plim::test::entryId(store->document(), text); }
    Entry entry(const QString& text) const { return *store->document().entry(id(text)); }
    static QString identifier(const QUuid& entryID) {
        return u"entry."_s + entryID.toString(QUuid::WithoutBraces).toUpper();
    }
    quint32 shownFor(const QString& text) const { return notifier->idOf(identifier(id(text))); }

    // The timer fires at `t` (the computer may have slept since it was armed).
    void fireAt(Instant t) {
        clock->set(t);
        events->fire();
    }
    QByteArray file() const { return readAll(path); }

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<Preferences> prefs;
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<NotesStore> store;
    FakeNotifier* notifier = nullptr;
    FakeSystemEvents* events = nullptr;
    std::unique_ptr<ReminderScheduler> scheduler;
    bool holdFirst = false;
    QList<std::optional<QUuid>> opened;
    QList<std::pair<QUuid, QString>> unreadable;
    QList<QUuid> asked;
};

// --- The pass: timer and pending deliveries ---

TEST_F(SchedulerTest, NothingToRingArmsNoTimer) {
    start({u"- [ ] plain entry  <!-- 07:00 -->"_s, line(u"gone"_s, u"remind 2026-03-14 07:00"_s, u"[x] "_s)});
    EXPECT_EQ(scheduler->timerDeadline(), std::nullopt);
    EXPECT_EQ(events->armed, std::nullopt);
    EXPECT_TRUE(scheduler->pending().isEmpty());
    EXPECT_EQ(notifier->requests, 0);
}

TEST_F(SchedulerTest, TimerFiresOneSecondAfterTheFirstRing) {
    start({line(u"later"_s, u"remind 2026-03-14 11:00"_s), line(u"sooner"_s, u"remind 2026-03-14 09:00"_s)});
    EXPECT_EQ(events->armed, march14(9, 0, 1));
    const QList<ReminderScheduler::Pending> expected{{id(u"sooner"_s), march14(9)}, {id(u"later"_s), march14(11)}};
    EXPECT_EQ(scheduler->pending(), expected);

    QSignalSpy ringing(scheduler.get(), &ReminderScheduler::ringingChanged);
    fireAt(march14(9, 0, 1));
    EXPECT_EQ(ringing.size(), 1);
    ASSERT_EQ(notifier->posts.size(), 1);
    EXPECT_EQ(notifier->posts[0].content.title, u"sooner"_s);
    EXPECT_EQ(notifier->posts[0].replaces, 0u);
    EXPECT_EQ(events->armed, march14(11, 0, 1));
    EXPECT_EQ(scheduler->delivered(), QList<QUuid>{id(u"sooner"_s)});
}

TEST_F(SchedulerTest, OnlyTheSixtyEarliestRingsArePending) {
    QStringList lines;
    std::vector<Instant> rings;
    // Written latest first, so document order is not ring order.
    for (int i = 74; i >= 0; --i) {
        const Instant ring = march14(9) + std::chrono::minutes(10 * i);
        rings.push_back(ring);
        lines.append(line(u"task %1"_s.arg(i), u"remind "_s + Reminder::stamp(ring, kBerlin)));
    }
    start(lines);
    std::sort(rings.begin(), rings.end());
    const auto& pending = scheduler->pending();
    ASSERT_EQ(pending.size(), 60);
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(pending[i].ring, rings[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(pending[i].entry, id(u"task %1"_s.arg(i))) << i;
    }
    // Once the earliest has rung, the 61st moves up.
    fireAt(march14(9, 0, 1));
    ASSERT_EQ(scheduler->pending().size(), 60);
    EXPECT_EQ(scheduler->pending().back().entry, id(u"task 60"_s));
}

TEST_F(SchedulerTest, RingsOnlyOpenEntriesAndNotes) {
    struct Case {
        QString mark;
        bool rings;
    };
    const std::vector<Case> cases{
        {u"[ ] "_s, true}, {u""_s, true}, {u"[x] "_s, false}, {u"[>] "_s, false}, {u"~~"_s, false}};
    QStringList lines;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const QString text = u"entry %1"_s.arg(i);
        if (cases[i].mark == u"~~") {
            lines.append(u"- ~~"_s + text + u"~~  <!-- remind 2026-03-14 09:00 -->"_s);
        } else {
            lines.append(line(cases[i].mark == u"[x] " ? u"~~"_s + text + u"~~"_s : text, u"remind 2026-03-14 09:00"_s,
                              cases[i].mark));
        }
    }
    start(lines);
    const auto isPending = [&](const QUuid& entryID) {
        return std::any_of(scheduler->pending().begin(), scheduler->pending().end(),
                           [&](const auto& p) { return p.entry == entryID; });
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(isPending(id(u"entry %1"_s.arg(i))), cases[i].rings) << i;
    }
    fireAt(march14(9, 0, 1));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(scheduler->delivered().contains(id(u"entry %1"_s.arg(i))), cases[i].rings) << i;
    }
}

TEST_F(SchedulerTest, RunningThePassAgainChangesNothing) {
    start({line(u"call Ann"_s, u"remind 2026-03-14 09:00"_s), line(u"water"_s, u"remind 2026-03-14 12:00"_s)});
    fireAt(march14(9, 0, 1));
    const auto pending = scheduler->pending();
    const int requests = notifier->requests;
    const qsizetype closes = notifier->closes.size();
    scheduler->reconcile();
    scheduler->reconcile();
    EXPECT_EQ(scheduler->pending(), pending);
    EXPECT_EQ(notifier->requests, requests);
    EXPECT_EQ(notifier->closes.size(), closes);
    EXPECT_EQ(events->armed, march14(12, 0, 1));
}

// --- Delivery over time ---

TEST_F(SchedulerTest, ARepeatLeftRingingIsShownAgainInPlace) {
    start({line(u"stretch"_s, u"remind 2026-03-14 09:00 every 3h 08:30-20:30"_s)});
    const std::vector<std::pair<Instant, QString>> rings{
        {march14(9, 0, 1), u"every 3h"_s},
        {march14(12, 0, 1), u"every 3h · 2nd ring"_s},
        {march14(15, 0, 1), u"every 3h · 3rd ring"_s},
    };
    for (std::size_t i = 0; i < rings.size(); ++i) {
        fireAt(rings[i].first);
        ASSERT_EQ(notifier->posts.size(), static_cast<qsizetype>(i + 1));
        const auto& post = notifier->posts.back();
        EXPECT_EQ(post.content.subtitle, rings[i].second);
        EXPECT_EQ(post.replaces, i == 0 ? 0u : notifier->posts.front().id);
        EXPECT_EQ(notifier->screen.size(), 1u);
    }
    EXPECT_EQ(events->armed, march14(18, 0, 1));
}

TEST_F(SchedulerTest, ARingDueDuringSleepIsShownAtWake) {
    start({line(u"stretch"_s, u"remind 2026-03-14 09:00 every 3h 08:30-20:30"_s)});
    ASSERT_EQ(events->armed, march14(9, 0, 1));
    // Asleep from 08:00 to 14:10: the wall-clock timer fires at wake, not six hours late.
    fireAt(march14(14, 10));
    ASSERT_EQ(notifier->posts.size(), 1);
    EXPECT_EQ(notifier->posts[0].content.subtitle, u"every 3h · 2nd ring"_s);
    EXPECT_EQ(events->armed, march14(15, 0, 1));
}

TEST_F(SchedulerTest, TheClockJumpingPastARingAndBack) {
    start({line(u"call Ann"_s, u"remind 2026-03-14 09:00"_s)});
    QSignalSpy ringing(scheduler.get(), &ReminderScheduler::ringingChanged);

    clock->set(march14(10));
    Q_EMIT events->clockChanged();
    EXPECT_EQ(ringing.size(), 1);
    const quint32 shown = shownFor(u"call Ann"_s);
    ASSERT_NE(shown, 0u);
    EXPECT_EQ(events->armed, std::nullopt);

    clock->set(march14(8, 30));
    Q_EMIT events->clockChanged();
    EXPECT_EQ(ringing.size(), 2);
    EXPECT_TRUE(notifier->closes.contains(shown));
    EXPECT_TRUE(notifier->screen.empty());
    EXPECT_EQ(events->armed, march14(9, 0, 1));

    fireAt(march14(9, 0, 1));
    EXPECT_NE(shownFor(u"call Ann"_s), 0u);
    EXPECT_EQ(notifier->posts.size(), 2);
}

TEST_F(SchedulerTest, AnotherTimeZoneMovesTheRing) {
    start({line(u"call Ann"_s, u"remind 2026-03-14 09:00"_s)});
    ASSERT_EQ(events->armed, march14(9, 0, 1));

    // The same wall-clock time in New York is five hours later.
    clock->setCalendar(kNewYork);
    Q_EMIT events->timeZoneChanged();
    EXPECT_EQ(events->armed, at(kNewYork, 2026, 3, 14, 9, 0, 1));
    EXPECT_EQ(notifier->requests, 0);

    // In Tokyo it is already past 09:00: the reminder rings at once.
    clock->setCalendar(kTokyo);
    Q_EMIT events->timeZoneChanged();
    EXPECT_NE(shownFor(u"call Ann"_s), 0u);
    EXPECT_EQ(events->armed, std::nullopt);
}

// --- What stops a notification ---

TEST_F(SchedulerTest, AnEntryThatStopsRingingIsWithdrawn) {
    struct Case {
        std::string name;
        std::function<void(NotesStore&, const QUuid&)> change;
    };
    const std::vector<Case> cases{
        {"done", [](NotesStore& s, const QUuid& e) { s.toggleDone(e); }},
        {"deleted", [](NotesStore& s, const QUuid& e) { s.deleteEntry(e); }},
        {"reminder removed", [](NotesStore& s, const QUuid& e) { s.setReminder(e, std::nullopt); }},
        {"snoozed",
         [](NotesStore& s, const QUuid& e) {
             s.answer(e, NotesDocument::Answer{NotesDocument::Answer::Snooze{march14(12)}});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clock->set(march14(8));
        start({line(u"call Ann"_s, u"remind 2026-03-14 09:00"_s), line(u"water"_s, u"remind 2026-03-14 09:00"_s)});
        fireAt(march14(9, 0, 1));
        const quint32 shown = shownFor(u"call Ann"_s);
        ASSERT_NE(shown, 0u);
        c.change(*store, id(u"call Ann"_s));
        EXPECT_TRUE(notifier->closes.contains(shown));
        EXPECT_EQ(notifier->screen.size(), 1u);
        EXPECT_EQ(scheduler->delivered(), QList<QUuid>{id(u"water"_s)});
    }
}

TEST_F(SchedulerTest, RingingOnlyAsADotWithdrawsEverything) {
    struct Case {
        std::string name;
        QLatin1String key;
        QVariant value;
    };
    const std::vector<Case> cases{
        {"dot", PreferenceKey::reminderDelivery, u"dot"_s},
        {"unset", PreferenceKey::reminderDelivery, u""_s},
        {"not on this computer", PreferenceKey::ringOnThisMac, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prefs->setValue(PreferenceKey::reminderDelivery, u"notification"_s, Preferences::Announce::No);
        prefs->remove(PreferenceKey::ringOnThisMac, Preferences::Announce::No);
        clock->set(march14(8));
        start({line(u"overdue"_s, u"remind 2026-03-14 07:00"_s), line(u"call Ann"_s, u"remind 2026-03-14 09:00"_s),
               line(u"water"_s, u"remind 2026-03-14 12:00"_s)});
        fireAt(march14(9, 0, 1));
        ASSERT_EQ(notifier->screen.size(), 2u); // the summary and "call Ann"
        prefs->setValue(c.key, c.value);
        EXPECT_TRUE(notifier->screen.empty());
        EXPECT_TRUE(scheduler->pending().isEmpty());
        EXPECT_TRUE(scheduler->delivered().isEmpty());
        EXPECT_FALSE(scheduler->summaryDelivered());
        // The timer still runs for the dot.
        EXPECT_EQ(events->armed, march14(12, 0, 1));
        fireAt(march14(12, 0, 1));
        EXPECT_TRUE(notifier->screen.empty());
    }
}

TEST_F(SchedulerTest, TurningNotificationsOnShowsNoBacklog) {
    prefs->setValue(PreferenceKey::reminderDelivery, u"dot"_s, Preferences::Announce::No);
    start({line(u"overdue"_s, u"remind 2026-03-14 07:00"_s), line(u"call Ann"_s, u"remind 2026-03-14 09:00"_s)});
    EXPECT_TRUE(scheduler->pending().isEmpty());
    prefs->setValue(PreferenceKey::reminderDelivery, u"notification"_s);
    EXPECT_EQ(notifier->requests, 0);
    EXPECT_EQ(scheduler->pending().size(), 1);
    fireAt(march14(9, 0, 1));
    EXPECT_EQ(notifier->requests, 1);
}

// --- The summary at start ---

TEST_F(SchedulerTest, StartShowsOneSummaryOfWhatIsRinging) {
    struct Case {
        std::string name;
        int ringing;
        QString delivery;
        QString title; // empty: no summary
    };
    const std::vector<Case> cases{
        {"three", 3, u"notification"_s, u"3 reminders are ringing"_s},
        {"one", 1, u"notification"_s, u"1 reminder is ringing"_s},
        {"none", 0, u"notification"_s, QString()},
        {"dot", 2, u"dot"_s, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prefs->setValue(PreferenceKey::reminderDelivery, c.delivery, Preferences::Announce::No);
        QStringList lines{line(u"later"_s, u"remind 2026-03-14 09:00"_s)};
        for (int i = 0; i < c.ringing; ++i) {
            lines.append(line(u"overdue %1"_s.arg(i), u"remind 2026-03-1%1 07:00"_s.arg(i + 1)));
        }
        opened.clear();
        start(lines);
        if (c.title.isEmpty()) {
            EXPECT_EQ(notifier->requests, 0);
            continue;
        }
        ASSERT_EQ(notifier->posts.size(), 1);
        EXPECT_EQ(notifier->posts[0].content.title, c.title);
        EXPECT_TRUE(notifier->posts[0].content.actions.isEmpty());
        notifier->click(notifier->posts[0].id, u"default"_s);
        EXPECT_EQ(opened, QList<std::optional<QUuid>>{std::nullopt});
        EXPECT_TRUE(notifier->screen.empty());
    }
}

TEST_F(SchedulerTest, TheSummaryLeavesOnceNothingRings) {
    start({line(u"overdue"_s, u"remind 2026-03-14 07:00"_s)});
    ASSERT_TRUE(scheduler->summaryDelivered());
    store->toggleDone(id(u"overdue"_s));
    EXPECT_FALSE(scheduler->summaryDelivered());
    EXPECT_TRUE(notifier->screen.empty());
}

// --- Answers from a notification ---

struct AnswerCase {
    std::string name;
    QString reminder; // words of the entry's reminder
    QString action;
    std::optional<QString> reply; // text typed into the notification
    QString expectedLine;         // the entry's line afterwards; empty: the file is untouched
    QString expectedCall = {};    // "open", "ask", "unreadable <phrase>"; empty: none
};

void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << c.name;
}

class AnswerTest : public SchedulerTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswerTest, TurnsIntoAStoreCommand) {
    const AnswerCase& c = GetParam();
    start({line(u"call Ann"_s, c.reminder)});
    fireAt(march14(9, 0, 1));
    const quint32 shown = shownFor(u"call Ann"_s);
    ASSERT_NE(shown, 0u);
    const QByteArray before = file();
    clock->set(march14(9, 10));
    if (c.reply) {
        notifier->reply(shown, *c.reply);
    } else {
        notifier->click(shown, c.action);
    }
    if (c.expectedLine.isEmpty()) {
        EXPECT_EQ(file(), before);
    } else {
        EXPECT_EQ(QString::fromUtf8(file()), notes({c.expectedLine}));
    }
    EXPECT_TRUE(notifier->closes.contains(shown));
    QStringList calls;
    for (const auto& opening : opened) {
        calls.append(opening == id(u"call Ann"_s) ? u"open"_s : u"open elsewhere"_s);
    }
    for (const QUuid& asking : asked) {
        calls.append(asking == id(u"call Ann"_s) ? u"ask"_s : u"ask elsewhere"_s);
    }
    for (const auto& [entryID, phrase] : unreadable) {
        calls.append(entryID == id(u"call Ann"_s) ? u"unreadable "_s + phrase : u"unreadable elsewhere"_s);
    }
    EXPECT_EQ(calls, c.expectedCall.isEmpty() ? QStringList() : QStringList{c.expectedCall});
}

INSTANTIATE_TEST_SUITE_P(
    Scheduler, AnswerTest,
    ::testing::Values(
        AnswerCase{"Done", u"remind 2026-03-14 09:00"_s, u"done"_s, std::nullopt,
                   u"- [x] ~~call Ann~~  <!-- 08:00 -->"_s},
        AnswerCase{"StopReminding", u"remind 2026-03-14 09:00"_s, u"dismiss"_s, std::nullopt,
                   u"- [ ] call Ann  <!-- 08:00 -->"_s},
        AnswerCase{"Skip", u"remind 2026-03-14 09:00 every day 09:00"_s, u"dismiss"_s, std::nullopt,
                   line(u"call Ann"_s, u"remind 2026-03-15 09:00 every day 09:00"_s)},
        AnswerCase{"QuickSnoozeFirstPreset", u"remind 2026-03-14 09:00"_s, u"quick-snooze"_s, std::nullopt,
                   line(u"call Ann"_s, u"remind 2026-03-14 09:30"_s)},
        AnswerCase{"TypedSnoozeSnoozesARepeat", u"remind 2026-03-14 09:00 every day 09:00"_s, u"snooze"_s, u" 1h\n"_s,
                   line(u"call Ann"_s, u"remind 2026-03-14 10:10 every day 09:00"_s)},
        AnswerCase{"TypedRepeatReplacesTheReminder", u"remind 2026-03-14 09:00"_s, u"snooze"_s, u"every day 20:30"_s,
                   line(u"call Ann"_s, u"remind 2026-03-14 20:30 every day 20:30"_s)},
        AnswerCase{"EmptyTypedSnoozeDoesNothing", u"remind 2026-03-14 09:00"_s, u"snooze"_s, u"  "_s, QString()},
        AnswerCase{"UnreadableTypedSnoozeGoesBackTrimmed", u"remind 2026-03-14 09:00"_s, u"snooze"_s,
                   u"  next blue moon \n"_s, QString(), u"unreadable next blue moon"_s},
        AnswerCase{"SnoozeButtonOnlyAsks", u"remind 2026-03-14 09:00"_s, u"snooze"_s, std::nullopt, QString(),
                   u"ask"_s},
        AnswerCase{"ClickOpensTheEntry", u"remind 2026-03-14 09:00"_s, u"default"_s, std::nullopt, QString(),
                   u"open"_s},
        AnswerCase{"UnknownActionDoesNothing", u"remind 2026-03-14 09:00"_s, u"archive"_s, std::nullopt, QString()}),
    CaseName());

TEST_F(SchedulerTest, DoneOnADeletedEntryDoesNothing) {
    start({line(u"call Ann"_s, u"remind 2026-03-14 09:00"_s), line(u"water"_s, u"remind 2026-03-14 09:00"_s)});
    fireAt(march14(9, 0, 1));
    const QUuid gone = id(u"call Ann"_s);
    ASSERT_TRUE(store->deleteEntry(gone));
    const QByteArray before = file();
    const int undo = store->undoDepth();
    for (const QString& action : {u"done"_s, u"dismiss"_s, u"quick-snooze"_s}) {
        scheduler->handle(action, gone, std::nullopt);
    }
    scheduler->handle(u"snooze"_s, gone, u"1h"_s);
    scheduler->handle(u"done"_s, std::nullopt, std::nullopt);
    EXPECT_EQ(file(), before);
    EXPECT_EQ(store->undoDepth(), undo);
    EXPECT_TRUE(unreadable.isEmpty());
}

TEST_F(SchedulerTest, QuickSnoozeFollowsTheFirstPreset) {
    start({line(u"call Ann"_s, u"remind 2026-03-14 09:00"_s), line(u"water"_s, u"remind 2026-03-14 10:00"_s)});
    fireAt(march14(9, 0, 1));
    ASSERT_EQ(notifier->posts.size(), 1);
    EXPECT_EQ(notifier->posts[0].content.actions[1].title, u"Snooze 20m"_s);

    QStringList presets = Preferences::defaultReminderPresets();
    presets[0] = u"2h"_s;
    // Stored but not announced yet: the buttons wait for the announcement.
    prefs->setValue(PreferenceKey::reminderPresets, presets, Preferences::Announce::No);
    EXPECT_EQ(scheduler->content(entry(u"water"_s), march14(10)).actions[1].title, u"Snooze 20m"_s);
    Q_EMIT prefs->changed();
    EXPECT_EQ(scheduler->content(entry(u"water"_s), march14(10)).actions[1].title, u"Snooze 2h"_s);
    fireAt(march14(10, 0, 1));
    EXPECT_EQ(notifier->posts.back().content.actions[1].title, u"Snooze 2h"_s);

    // The notification shown earlier still says 20m, and so does its button.
    clock->set(march14(10, 5));
    notifier->click(shownFor(u"call Ann"_s), u"quick-snooze"_s);
    EXPECT_EQ(entry(u"call Ann"_s).comment, u"remind 2026-03-14 10:25"_s);
    notifier->click(shownFor(u"water"_s), u"quick-snooze"_s);
    EXPECT_EQ(entry(u"water"_s).comment, u"remind 2026-03-14 12:05"_s);
}

// --- Notifications on their way, and gone ---

TEST_F(SchedulerTest, AWithdrawalBeforeTheServerAnswersStillCloses) {
    start({line(u"call Ann"_s, u"remind 2026-03-14 09:00"_s)});
    notifier->holding = true;
    fireAt(march14(9, 0, 1));
    ASSERT_EQ(notifier->requests, 1);
    store->toggleDone(id(u"call Ann"_s));
    EXPECT_TRUE(scheduler->delivered().isEmpty());
    notifier->release();
    ASSERT_EQ(notifier->posts.size(), 1);
    EXPECT_TRUE(notifier->closes.contains(notifier->posts[0].id));
    EXPECT_TRUE(notifier->screen.empty());
}

TEST_F(SchedulerTest, AReplacementBeforeTheServerAnswersLeavesOneNotification) {
    start({line(u"stretch"_s, u"remind 2026-03-14 09:00 every 3h 08:30-20:30"_s)});
    notifier->holding = true;
    fireAt(march14(9, 0, 1));
    fireAt(march14(12, 0, 1));
    notifier->release();
    ASSERT_EQ(notifier->screen.size(), 1u);
    EXPECT_EQ(notifier->screen.begin()->second.subtitle, u"every 3h · 2nd ring"_s);
    EXPECT_EQ(scheduler->delivered(), QList<QUuid>{id(u"stretch"_s)});
}

TEST_F(SchedulerTest, ANotificationTheServerCouldNotShowIsForgotten) {
    start({line(u"stretch"_s, u"remind 2026-03-14 09:00 every 3h 08:30-20:30"_s)});
    notifier->failing = true;
    fireAt(march14(9, 0, 1));
    EXPECT_TRUE(scheduler->delivered().isEmpty());
    notifier->failing = false;
    fireAt(march14(12, 0, 1));
    ASSERT_EQ(notifier->posts.size(), 1);
    EXPECT_EQ(notifier->posts[0].replaces, 0u);
}

TEST_F(SchedulerTest, AFailedReplacementLeavesTheEarlierNotificationInTheRecord) {
    start({line(u"stretch"_s, u"remind 2026-03-14 09:00 every 3h 08:30-20:30"_s)});
    fireAt(march14(9, 0, 1));
    const quint32 shown = shownFor(u"stretch"_s);
    ASSERT_NE(shown, 0u);
    notifier->failing = true;
    fireAt(march14(12, 0, 1));
    notifier->failing = false;
    EXPECT_EQ(scheduler->serverId(id(u"stretch"_s)), shown);
    store->toggleDone(id(u"stretch"_s));
    EXPECT_TRUE(notifier->closes.contains(shown));
    EXPECT_TRUE(notifier->screen.empty());
}

TEST_F(SchedulerTest, ADismissedNotificationComesBackNewAtTheNextRing) {
    start({line(u"stretch"_s, u"remind 2026-03-14 09:00 every 3h 08:30-20:30"_s)});
    fireAt(march14(9, 0, 1));
    notifier->dismiss(shownFor(u"stretch"_s));
    EXPECT_TRUE(scheduler->delivered().isEmpty());
    fireAt(march14(12, 0, 1));
    ASSERT_EQ(notifier->posts.size(), 2);
    EXPECT_EQ(notifier->posts[1].replaces, 0u);
    // An answer on a notification that is gone is not taken.
    const QByteArray before = file();
    notifier->click(notifier->posts[0].id, u"done"_s);
    EXPECT_EQ(file(), before);
}

// --- Content ---

TEST_F(SchedulerTest, ContentCarriesTitleBodyAndButtons) {
    struct Case {
        std::string name;
        QString words;
        QString expectedCategory;
        QStringList expectedButtons; // identifier=title
        QString expectedSubtitle;
    };
    const std::vector<Case> cases{
        {"once",
         u"remind 2026-03-14 07:00"_s,
         u"once"_s,
         {u"done=Done"_s, u"quick-snooze=Snooze 20m"_s, u"snooze=Snooze until…"_s, u"dismiss=Stop reminding"_s},
         QString()},
        {"until done",
         u"remind 2026-03-14 07:00 every day 07:00"_s,
         u"untilDone"_s,
         {u"done=Done"_s, u"dismiss=Skip"_s, u"snooze=Snooze until…"_s},
         u"every day"_s},
        {"routine",
         u"remind 2026-03-13 07:00 every day 07:00 routine"_s,
         u"routine"_s,
         {u"done=Done"_s, u"dismiss=Skip"_s, u"snooze=Snooze until…"_s},
         u"routine · every day · 2nd ring"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start({line(u"call Ann"_s, c.words), u"  about the trip"_s, u"  and the keys"_s, line(u"water"_s, c.words)});
        const NotificationContent content =
            scheduler->content(entry(u"call Ann\nabout the trip\nand the keys"_s), clock->now());
        EXPECT_EQ(content.identifier, identifier(id(u"call Ann\nabout the trip\nand the keys"_s)));
        EXPECT_EQ(content.entry, content.identifier.mid(6));
        EXPECT_EQ(content.title, u"call Ann"_s);
        EXPECT_EQ(content.body, u"about the trip\nand the keys"_s);
        EXPECT_EQ(content.subtitle, c.expectedSubtitle);
        EXPECT_EQ(content.category, c.expectedCategory);
        EXPECT_EQ(content.thread, u"plim.reminders"_s);
        QStringList buttons;
        for (const NotificationAction& a : content.actions) {
            buttons.append(a.identifier + u'=' + a.title);
        }
        EXPECT_EQ(buttons, c.expectedButtons);
        const auto snooze = std::find_if(content.actions.begin(), content.actions.end(),
                                         [](const auto& a) { return a.identifier == u"snooze"; });
        ASSERT_NE(snooze, content.actions.end());
        EXPECT_TRUE(snooze->textInput);
        EXPECT_EQ(snooze->textInputButton, u"Snooze"_s);
        EXPECT_EQ(snooze->placeholder, u"20m, tomorrow 9am, fri"_s);
        EXPECT_EQ(scheduler->content(entry(u"water"_s), clock->now()).body, QString());
    }
}

// --- Permission, settings and the shared instance ---

TEST_F(SchedulerTest, StatusFollowsTheServer) {
    struct Case {
        NotifierCapabilities caps;
        ReminderScheduler::Status expected;
    };
    const std::vector<Case> cases{
        {{false, false, false, false}, ReminderScheduler::Status::Denied},
        {{true, true, false, false}, ReminderScheduler::Status::Temporary},
        {{true, false, true, true}, ReminderScheduler::Status::Persistent},
    };
    start({});
    for (const Case& c : cases) {
        notifier->caps = c.caps;
        std::optional<ReminderScheduler::Status> got;
        scheduler->status([&](ReminderScheduler::Status s) { got = s; });
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(SchedulerTest, RequestingNotificationsAnnouncesOnceTheServerAnswered) {
    prefs->setValue(PreferenceKey::reminderDelivery, u"dot"_s, Preferences::Announce::No);
    holdFirst = true;
    start({line(u"call Ann"_s, u"remind 2026-03-14 09:00"_s)});
    QSignalSpy announced(prefs.get(), &Preferences::changed);
    scheduler->requestNotifications();
    EXPECT_EQ(prefs->reminderDelivery(), ReminderDelivery::Notification);
    EXPECT_EQ(announced.size(), 0);
    notifier->release();
    EXPECT_EQ(announced.size(), 1);
    EXPECT_EQ(scheduler->pending().size(), 1);
}

TEST(SchedulerSettings, OpensTheDesktopsOwnNotificationSettings) {
    using Command = ReminderScheduler::Command;
    const Command gnome{u"gnome-control-center"_s, {u"notifications"_s}};
    const Command plasma{u"systemsettings"_s, {u"kcm_notifications"_s}};
    const Command plasma5{u"systemsettings5"_s, {u"kcm_notifications"_s}};
    struct Case {
        QString desktop;
        QList<Command> expected;
    };
    const std::vector<Case> cases{
        {u"GNOME"_s, {gnome}}, {u"ubuntu:GNOME"_s, {gnome}}, {u"KDE"_s, {plasma, plasma5}}, {u"X-Cinnamon"_s, {}},
        {u""_s, {}},           {u"gnome-flashback"_s, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReminderScheduler::notificationSettingsCommands(c.desktop), c.expected) << c.desktop.toStdString();
    }
}

} // namespace
