#include "delivery/ReminderScheduler.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"

#include "delivery/SchedulerFakes.h"
#include "reminders/ReminderBuilders.h"
#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

const Calendar kBerlin(u"Europe/Berlin"_s);
const Calendar kNewYork(u"America/New_York"_s);
const Calendar kTokyo(u"Asia/Tokyo"_s);
const QString kEvery3h = u"remind 2026-03-14 09:00 every 3h 08:30-20:30"_s;

// 14 March 2026 (a Saturday) in Berlin.
Instant march14(int hour, int minute = 0, int second = 0) {
    return at(kBerlin, 2026, 3, 14, hour, minute, second);
}

// "remind 2026-03-14 09:00" for remind(9).
QString remind(int hour) {
    return u"remind 2026-03-14 %1:00"_s.arg(hour, 2, 10, QChar(u'0'));
}

QString notes(const QStringList& lines) {
    return u"## 2026-03-14 Saturday\n\n"_s + lines.join(u'\n') + u'\n';
}

// An entry with a reminder: line("call Ann", remind(9)).
QString line(const QString& text, const QString& words, const QString& mark = u"[ ] "_s) {
    return u"- "_s + mark + text + u"  <!-- 08:00 "_s + words + u" -->"_s;
}

class SchedulerTest : public ::testing::Test, public TempNotes {
protected:
    SchedulerTest()
        : TempNotes(march14(8), kBerlin) {
        prefs->setValue(PreferenceKey::reminderDelivery, u"notification"_s, Preferences::Announce::No);
    }

    // A fresh store and scheduler on `lines`, at 08:00.
    void start(const QStringList& lines) {
        scheduler.reset();
        store.reset();
        calls.clear();
        clock->set(march14(8));
        ASSERT_TRUE(writeAll(path, notes(lines).toUtf8()));
        store = open();
        auto n = std::make_unique<FakeNotifier>();
        auto e = std::make_unique<FakeSystemEvents>();
        notifier = n.get();
        events = e.get();
        scheduler = std::make_unique<ReminderScheduler>(*store, std::move(n), std::move(e));
        QObject::connect(scheduler.get(), &ReminderScheduler::openRequested,
                         [this](std::optional<QUuid> id) { calls.append(u"open "_s + name(id)); });
        QObject::connect(scheduler.get(), &ReminderScheduler::unreadable, [this](QUuid id, QString phrase) {
            calls.append(u"unreadable "_s + name(id) + u": "_s + phrase);
        });
        QObject::connect(scheduler.get(), &ReminderScheduler::snoozeAsked,
                         [this](QUuid id) { calls.append(u"ask "_s + name(id)); });
    }

    QString name(const std::optional<QUuid>& entryID) const {
        if (!entryID) {
            return u"now"_s;
        }
        const auto e = store->document().entry(*entryID);
        return e ? e->text : u"gone"_s;
    }
    QUuid id(const QString& text) const { return plim::test::entryId(store->document(), text); }
    Entry entry(const QString& text) const { return *store->document().entry(id(text)); }
    quint32 shownFor(const QString& text) const {
        return notifier->idOf(u"entry."_s + id(text).toString(QUuid::WithoutBraces).toUpper());
    }
    // The entries whose notification is on screen, sorted.
    QStringList delivered() const {
        QStringList out;
        for (const QUuid& e : scheduler->delivered()) {
            out.append(name(e));
        }
        out.sort();
        return out;
    }

    // The timer fires as armed for a ring at `hour`:00.
    void fireAfter(int hour) {
        clock->set(march14(hour, 0, 1));
        events->fire();
    }
    QByteArray file() const { return readAll(path); }

    std::unique_ptr<NotesStore> store;
    FakeNotifier* notifier = nullptr;
    FakeSystemEvents* events = nullptr;
    std::unique_ptr<ReminderScheduler> scheduler;
    QStringList calls; // openRequested, unreadable and snoozeAsked, in order
};

// --- The pass: timer and pending deliveries ---

// Only open entries and notes ring, however early their reminder.
TEST_F(SchedulerTest, TheSixtyEarliestRingsArePendingAndTheTimerFiresAfterTheFirst) {
    const QString early = u"remind 2026-03-14 08:30"_s;
    QStringList lines{line(u"~~done~~"_s, early, u"[x] "_s), line(u"deferred"_s, early, u"[>] "_s),
                      u"- ~~struck~~  <!-- "_s + early + u" -->"_s, u"- [ ] plain  <!-- 07:00 -->"_s};
    // Task i rings at 09:00 + 10i minutes; written latest first, so document order is not ring order.
    for (int i = 74; i >= 0; --i) {
        lines.append(line(u"task %1"_s.arg(i), u"remind "_s + Reminder::stamp(march14(9) + 10min * i, kBerlin),
                          i == 0 ? QString() : u"[ ] "_s));
    }
    start(lines);
    EXPECT_EQ(events->armed, march14(9, 0, 1));
    ASSERT_EQ(scheduler->pending().size(), 60);
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(scheduler->pending()[i],
                  (ReminderScheduler::Pending{id(u"task %1"_s.arg(i)), march14(9) + 10min * i}))
            << i;
    }
    QSignalSpy ringing(scheduler.get(), &ReminderScheduler::ringingChanged);
    fireAfter(9);
    EXPECT_EQ(ringing.size(), 1);
    EXPECT_EQ(delivered(), QStringList{u"task 0"_s}); // a note
    EXPECT_EQ(events->armed, march14(9, 10, 1));
    // The 61st moves up.
    ASSERT_EQ(scheduler->pending().size(), 60);
    EXPECT_EQ(scheduler->pending().back().entry, id(u"task 60"_s));
}

// --- Delivery over time ---

// A repeat left ringing is shown again in place; one the server could not show, or the user
// dismissed, is forgotten and comes back new at the next ring, where answers on it are not taken.
TEST_F(SchedulerTest, ARepeatIsShownAgainInPlaceUntilItsNotificationIsGone) {
    start({line(u"stretch"_s, kEvery3h)});
    const auto last = [&] {
        return std::pair(notifier->posts.back().replaces, notifier->posts.back().content.subtitle);
    };
    notifier->failing = true;
    fireAfter(9);
    EXPECT_TRUE(scheduler->delivered().isEmpty());
    notifier->failing = false;
    fireAfter(12);
    ASSERT_EQ(notifier->posts.size(), 1);
    const quint32 shown = notifier->posts[0].id;
    EXPECT_EQ(last(), std::pair(0u, u"every 3h · 2nd ring"_s));
    fireAfter(15);
    EXPECT_EQ(last(), std::pair(shown, u"every 3h · 3rd ring"_s));
    EXPECT_EQ(notifier->screen.size(), 1u);
    // Passes with nothing new change nothing.
    scheduler->reconcile();
    scheduler->reconcile();
    EXPECT_EQ(notifier->requests, 3);
    EXPECT_TRUE(notifier->closes.isEmpty());
    EXPECT_EQ(events->armed, march14(18, 0, 1));
    // A replacement that fails leaves the notification shown before in the record.
    notifier->failing = true;
    fireAfter(18);
    EXPECT_EQ(scheduler->serverId(id(u"stretch"_s)), shown);
    notifier->failing = false;
    notifier->dismiss(shown);
    EXPECT_TRUE(scheduler->delivered().isEmpty());
    ASSERT_TRUE(events->armed);
    clock->set(*events->armed);
    events->fire();
    EXPECT_EQ(notifier->posts.back().replaces, 0u);
    const QByteArray before = file();
    notifier->click(shown, u"done"_s);
    EXPECT_EQ(file(), before);
}

// Each pass shows what has come due, whatever runs it, withdraws what no longer is, and arms the
// timer for the next ring.
TEST_F(SchedulerTest, EveryPassShowsWhatIsDueAndArmsTheNext) {
    // Plain functions rather than pointers to the signals: the sanitizer misreads a call through those.
    using Event = void (*)(SystemEvents&);
    const Event fired = [](SystemEvents& e) { Q_EMIT e.fired(); };
    const Event dayChanged = [](SystemEvents& e) { Q_EMIT e.dayChanged(); };
    const Event clockChanged = [](SystemEvents& e) { Q_EMIT e.clockChanged(); };
    const Event timeZoneChanged = [](SystemEvents& e) { Q_EMIT e.timeZoneChanged(); };
    struct Step {
        Instant at;
        const Calendar* zone;
        Event event;
        bool shown;
        std::optional<Instant> armed;
        QString subtitle = {};
    };
    const auto nineOn = [](const Calendar& c) { return at(c, 2026, 3, 14, 9, 0, 1); };
    const struct {
        std::string name;
        QString words;
        std::vector<Step> steps;
    } cases[] = {
        // Asleep from 08:00 to 14:10: the wall-clock timer fires at wake, not six hours late.
        {"wake", kEvery3h, {{march14(14, 10), &kBerlin, fired, true, march14(15, 0, 1), u"every 3h · 2nd ring"_s}}},
        // The midnight pass comes at the very moment of the ring.
        {"midnight",
         u"remind 2026-03-15 00:00"_s,
         {{at(kBerlin, 2026, 3, 15), &kBerlin, dayChanged, true, std::nullopt}}},
        {"clock jumps past the ring and back",
         remind(9),
         {{march14(10), &kBerlin, clockChanged, true, std::nullopt},
          {march14(8, 30), &kBerlin, clockChanged, false, march14(9, 0, 1)},
          {march14(9, 0, 1), &kBerlin, fired, true, std::nullopt}}},
        // The same wall-clock time in New York is five hours later; in Tokyo it is already past.
        {"another time zone",
         remind(9),
         {{march14(8), &kNewYork, timeZoneChanged, false, nineOn(kNewYork)},
          {march14(8), &kTokyo, timeZoneChanged, true, std::nullopt}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start({line(u"call Ann"_s, c.words)});
        QSignalSpy ringing(scheduler.get(), &ReminderScheduler::ringingChanged);
        bool wasShown = false;
        for (const Step& step : c.steps) {
            clock->setCalendar(*step.zone);
            clock->set(step.at);
            const qsizetype told = ringing.size();
            step.event(*events);
            EXPECT_EQ(shownFor(u"call Ann"_s) != 0, step.shown);
            EXPECT_EQ(events->armed, step.armed);
            if (step.shown != std::exchange(wasShown, step.shown)) {
                EXPECT_GT(ringing.size(), told) << "a change of what rings is told";
            }
            if (step.shown) {
                EXPECT_EQ(notifier->posts.back().content.subtitle, step.subtitle);
            }
        }
    }
}

// Only the days a change touched are read again: a repeat on another day keeps ringing on time
// after today was edited, and its next ring is worked out again once that ring has come.
TEST_F(SchedulerTest, ARepeatOnAnotherDayRingsAfterAnEditOfToday) {
    start({u"- [ ] plain"_s, QString(), u"## 2026-03-13 Friday"_s, QString(),
           line(u"stretch"_s, u"remind 2026-03-13 09:00 every day 09:00"_s)});
    store->toggleDone(id(u"plain"_s));
    EXPECT_EQ(scheduler->pending(), (QList<ReminderScheduler::Pending>{{id(u"stretch"_s), march14(9)}}));
    fireAfter(9);
    ASSERT_EQ(notifier->posts.size(), 2); // the summary of the start, then the ring
    EXPECT_EQ(notifier->posts.back().content.title, u"stretch"_s);
    EXPECT_EQ(events->armed, at(kBerlin, 2026, 3, 15, 9, 0, 1));
}

// --- What stops a notification ---

TEST_F(SchedulerTest, AnEntryThatStopsRingingIsWithdrawn) {
    using Snooze = NotesDocument::Answer::Snooze;
    const std::vector<std::pair<std::string, std::function<void(NotesStore&, const QUuid&)>>> cases{
        {"done", [](NotesStore& s, const QUuid& e) { s.toggleDone(e); }},
        {"deleted", [](NotesStore& s, const QUuid& e) { s.deleteEntry(e); }},
        {"reminder removed", [](NotesStore& s, const QUuid& e) { s.setReminder(e, std::nullopt); }},
        {"snoozed", [](NotesStore& s, const QUuid& e) { s.answer(e, NotesDocument::Answer{Snooze{march14(12)}}); }},
    };
    for (const auto& [what, change] : cases) {
        SCOPED_TRACE(what);
        start({line(u"call Ann"_s, remind(9)), line(u"water"_s, remind(9))});
        fireAfter(9);
        const quint32 shown = shownFor(u"call Ann"_s);
        ASSERT_NE(shown, 0u);
        change(*store, id(u"call Ann"_s));
        EXPECT_TRUE(notifier->closes.contains(shown));
        EXPECT_EQ(notifier->screen.size(), 1u);
        EXPECT_EQ(delivered(), QStringList{u"water"_s});
    }
}

TEST_F(SchedulerTest, RingingOnlyAsADotWithdrawsEverything) {
    const std::vector<std::pair<QLatin1String, QVariant>> cases{
        {PreferenceKey::reminderDelivery, u"dot"_s},
        {PreferenceKey::ringOnThisMac, false},
    };
    for (const auto& [key, value] : cases) {
        SCOPED_TRACE(value.toString().toStdString());
        prefs->setValue(PreferenceKey::reminderDelivery, u"notification"_s, Preferences::Announce::No);
        prefs->remove(PreferenceKey::ringOnThisMac, Preferences::Announce::No);
        start({line(u"overdue"_s, remind(7)), line(u"call Ann"_s, remind(9)), line(u"water"_s, remind(12))});
        fireAfter(9);
        ASSERT_EQ(notifier->screen.size(), 2u); // the summary and "call Ann"
        prefs->setValue(key, value);
        EXPECT_TRUE(notifier->screen.empty());
        EXPECT_TRUE(scheduler->pending().isEmpty());
        EXPECT_TRUE(scheduler->delivered().isEmpty());
        // The timer still runs for the dot.
        EXPECT_EQ(events->armed, march14(12, 0, 1));
        fireAfter(12);
        EXPECT_TRUE(notifier->screen.empty());
    }
}

// --- The summary at start ---

TEST_F(SchedulerTest, StartShowsOneSummaryOfWhatIsRinging) {
    for (const auto& [ringing, title] : {std::pair{1, u"1 reminder is ringing"_s}, {3, u"3 reminders are ringing"_s}}) {
        QStringList lines{line(u"later"_s, remind(9))};
        for (int i = 0; i < ringing; ++i) {
            lines.append(line(u"overdue %1"_s.arg(i), u"remind 2026-03-1%1 07:00"_s.arg(i + 1)));
        }
        start(lines);
        ASSERT_EQ(notifier->posts.size(), 1);
        EXPECT_EQ(notifier->posts[0].content.title, title);
        EXPECT_TRUE(notifier->posts[0].content.actions.isEmpty());
        if (ringing == 1) { // it leaves once nothing rings
            store->toggleDone(id(u"overdue 0"_s));
            EXPECT_FALSE(scheduler->summaryDelivered());
        } else {
            notifier->click(notifier->posts[0].id, u"default"_s);
            EXPECT_EQ(calls, QStringList{u"open now"_s});
        }
        EXPECT_TRUE(notifier->screen.empty());
    }
}

// --- Answers from a notification ---

// An answer from a notification turns into a store command: the entry's line afterwards (empty:
// the file is untouched) and what was asked of the program (empty: nothing).
TEST_F(SchedulerTest, AnAnswerTurnsIntoAStoreCommand) {
    const QString daily = u"remind 2026-03-14 09:00 every day 09:00"_s;
    const struct {
        QString reminder;
        QString action;
        std::optional<QString> reply; // typed into the notification
        QString after;
        QString call = {};
    } cases[] = {
        {remind(9), u"done"_s, {}, u"- [x] ~~call Ann~~  <!-- 08:00 -->"_s},
        {remind(9), u"dismiss"_s, {}, u"- [ ] call Ann  <!-- 08:00 -->"_s},
        {daily, u"dismiss"_s, {}, line(u"call Ann"_s, u"remind 2026-03-15 09:00 every day 09:00"_s)},
        {remind(9), u"quick-snooze"_s, {}, line(u"call Ann"_s, u"remind 2026-03-14 09:30"_s)},
        // A typed snooze snoozes a repeat; a typed repeat replaces the reminder.
        {daily, u"snooze"_s, u" 1h\n"_s, line(u"call Ann"_s, u"remind 2026-03-14 10:10 every day 09:00"_s)},
        {remind(9), u"snooze"_s, u"every day 20:30"_s,
         line(u"call Ann"_s, u"remind 2026-03-14 20:30 every day 20:30"_s)},
        {remind(9), u"snooze"_s, u"  "_s, QString()},
        {remind(9), u"snooze"_s, u"  next blue moon \n"_s, QString(), u"unreadable call Ann: next blue moon"_s},
        {remind(9), u"snooze"_s, {}, QString(), u"ask call Ann"_s},
        {remind(9), u"default"_s, {}, QString(), u"open call Ann"_s},
        {remind(9), u"archive"_s, {}, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action.toStdString() + " " + c.reply.value_or(c.reminder).toStdString());
        start({line(u"call Ann"_s, c.reminder)});
        fireAfter(9);
        const quint32 shown = shownFor(u"call Ann"_s);
        ASSERT_NE(shown, 0u);
        const QByteArray before = file();
        clock->set(march14(9, 10));
        if (c.reply) {
            notifier->reply(shown, *c.reply);
        } else {
            notifier->click(shown, c.action);
        }
        EXPECT_EQ(QString::fromUtf8(file()), c.after.isEmpty() ? QString::fromUtf8(before) : notes({c.after}));
        EXPECT_TRUE(notifier->closes.contains(shown));
        EXPECT_EQ(calls, c.call.isEmpty() ? QStringList() : QStringList{c.call});
    }
}

TEST_F(SchedulerTest, AnAnswerForAnEntryThatIsGoneDoesNothing) {
    start({line(u"call Ann"_s, remind(9))});
    const QUuid gone = id(u"call Ann"_s);
    ASSERT_TRUE(store->deleteEntry(gone));
    const QByteArray before = file();
    const int undo = store->undoDepth();
    for (const QString& action : {u"done"_s, u"dismiss"_s, u"quick-snooze"_s, u"snooze"_s}) {
        scheduler->handle(action, gone, u"1h"_s);
        scheduler->handle(action, std::nullopt, u"1h"_s);
    }
    EXPECT_EQ(file(), before);
    EXPECT_EQ(store->undoDepth(), undo);
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(SchedulerTest, QuickSnoozeFollowsTheFirstPreset) {
    start({line(u"call Ann"_s, remind(9)), line(u"water"_s, remind(10))});
    fireAfter(9);
    QStringList presets = Preferences::defaultReminderPresets();
    presets[0] = u"2h"_s;
    // Stored but not announced yet: the buttons wait for the announcement.
    prefs->setValue(PreferenceKey::reminderPresets, presets, Preferences::Announce::No);
    EXPECT_EQ(scheduler->content(entry(u"water"_s), march14(10)).actions[1].title, u"Snooze 20m"_s);
    Q_EMIT prefs->changed();
    EXPECT_EQ(scheduler->content(entry(u"water"_s), march14(10)).actions[1].title, u"Snooze 2h"_s);
    fireAfter(10);

    // The notification shown earlier still says 20m, and so does its button.
    clock->set(march14(10, 5));
    notifier->click(shownFor(u"call Ann"_s), u"quick-snooze"_s);
    EXPECT_EQ(entry(u"call Ann"_s).comment, u"remind 2026-03-14 10:25"_s);
    notifier->click(shownFor(u"water"_s), u"quick-snooze"_s);
    EXPECT_EQ(entry(u"water"_s).comment, u"remind 2026-03-14 12:05"_s);
}

// --- Notifications on their way, and gone ---

TEST_F(SchedulerTest, WhatChangesBeforeTheServerAnswersStillCounts) {
    start({line(u"call Ann"_s, remind(9)), line(u"stretch"_s, kEvery3h)});
    notifier->holding = true;
    fireAfter(9);
    store->toggleDone(id(u"call Ann"_s)); // withdrawn while on its way
    fireAfter(12);                        // replaced while on its way
    EXPECT_EQ(delivered(), QStringList{u"stretch"_s});
    notifier->release();
    ASSERT_EQ(notifier->posts.size(), 3);
    ASSERT_EQ(notifier->screen.size(), 1u);
    EXPECT_EQ(notifier->screen.begin()->second.subtitle, u"every 3h · 2nd ring"_s);
    EXPECT_EQ(scheduler->serverId(id(u"stretch"_s)), notifier->screen.begin()->first);
}

TEST_F(SchedulerTest, ANotificationShownLateIsWithdrawnOrKept) {
    start({line(u"call Ann"_s, remind(9)), line(u"water"_s, remind(9))});
    notifier->late = true;
    fireAfter(9);
    EXPECT_TRUE(scheduler->delivered().isEmpty());
    store->toggleDone(id(u"call Ann"_s));
    notifier->release();
    // "call Ann" stopped ringing meanwhile; "water" still rings, and its buttons work.
    ASSERT_EQ(notifier->screen.size(), 1u);
    EXPECT_EQ(delivered(), QStringList{u"water"_s});
    notifier->click(shownFor(u"water"_s), u"done"_s);
    EXPECT_EQ(entry(u"water"_s).state, Entry::State::Done);
    EXPECT_TRUE(notifier->screen.empty());
}

// --- Content ---

TEST_F(SchedulerTest, ContentCarriesTitleBodyAndButtons) {
    // words, category, subtitle, buttons: identifier=title, and [button: placeholder] where it takes typed text
    const QString snooze = u"snooze=Snooze until… [Snooze: 20m, tomorrow 9am, fri]"_s;
    const QString repeating = u"done=Done, dismiss=Skip, "_s + snooze;
    const std::vector<std::array<QString, 4>> cases{
        {remind(7), u"once"_s, u""_s,
         u"done=Done, quick-snooze=Snooze 20m, "_s + snooze + u", dismiss=Stop reminding"_s},
        {u"remind 2026-03-14 07:00 every day 07:00"_s, u"untilDone"_s, u"every day"_s, repeating},
        {u"remind 2026-03-13 07:00 every day 07:00 routine"_s, u"routine"_s, u"routine · every day · 2nd ring"_s,
         repeating},
    };
    const QString text = u"call Ann\nabout the trip\nand the keys"_s;
    for (const auto& [words, category, subtitle, buttons] : cases) {
        SCOPED_TRACE(category.toStdString());
        start({line(u"call Ann"_s, words), u"  about the trip"_s, u"  and the keys"_s, line(u"water"_s, words)});
        const NotificationContent content = scheduler->content(entry(text), clock->now());
        EXPECT_EQ(content.entry, id(text).toString(QUuid::WithoutBraces).toUpper());
        EXPECT_EQ(content.identifier, u"entry."_s + content.entry);
        EXPECT_EQ(content.title, u"call Ann"_s);
        EXPECT_EQ(content.body, u"about the trip\nand the keys"_s);
        EXPECT_EQ(content.subtitle, subtitle);
        EXPECT_EQ(content.category, category);
        QStringList shown;
        for (const NotificationAction& a : content.actions) {
            shown.append(a.identifier + u'=' + a.title +
                         (a.textInput ? u" ["_s + a.textInputButton + u": "_s + a.placeholder + u']' : QString()));
        }
        EXPECT_EQ(shown.join(u", "), buttons);
        EXPECT_EQ(scheduler->content(entry(u"water"_s), clock->now()).body, QString());
    }
}

// --- Permission and settings ---

TEST_F(SchedulerTest, StatusFollowsTheServerAndTheDelivery) {
    using Status = ReminderScheduler::Status;
    const NotifierCapabilities none{false, false, false, false};
    const NotifierCapabilities banners{true, true, false, false};
    const NotifierCapabilities persistent{true, false, true, true};
    // The delivery (empty: not chosen), what the server can do, the status.
    const std::tuple<QString, NotifierCapabilities, Status> cases[] = {
        {u"notification"_s, none, Status::Denied},
        {u"notification"_s, banners, Status::Temporary},
        {u"notification"_s, persistent, Status::Persistent},
        {u"dot"_s, banners, Status::Off},
        {u""_s, persistent, Status::Off},
        {u"dot"_s, none, Status::Denied},
    };
    start({});
    for (const auto& [delivery, caps, expected] : cases) {
        SCOPED_TRACE(delivery.toStdString());
        if (delivery.isEmpty()) {
            prefs->remove(PreferenceKey::reminderDelivery, Preferences::Announce::No);
        } else {
            prefs->setValue(PreferenceKey::reminderDelivery, delivery, Preferences::Announce::No);
        }
        notifier->caps = caps;
        std::optional<Status> got;
        scheduler->status([&](Status s) { got = s; });
        EXPECT_EQ(got, expected);
    }
}

// What rang while only the dot rang is no backlog of notifications.
TEST_F(SchedulerTest, RequestingNotificationsAnnouncesOnceTheServerAnswered) {
    prefs->setValue(PreferenceKey::reminderDelivery, u"dot"_s, Preferences::Announce::No);
    start({line(u"overdue"_s, remind(7)), line(u"call Ann"_s, remind(9))});
    EXPECT_TRUE(scheduler->pending().isEmpty());
    notifier->holding = true;
    QSignalSpy announced(prefs.get(), &Preferences::changed);
    scheduler->requestNotifications();
    EXPECT_EQ(prefs->reminderDelivery(), ReminderDelivery::Notification);
    EXPECT_EQ(announced.size(), 0);
    notifier->release();
    EXPECT_EQ(announced.size(), 1);
    EXPECT_EQ(notifier->requests, 0);
    EXPECT_EQ(scheduler->pending().size(), 1);
    fireAfter(9);
    EXPECT_EQ(notifier->requests, 1);
}

TEST(SchedulerSettings, OpensTheDesktopsOwnNotificationSettings) {
    using Command = ReminderScheduler::Command;
    const Command gnome{u"gnome-control-center"_s, {u"notifications"_s}};
    const Command plasma{u"systemsettings"_s, {u"kcm_notifications"_s}};
    const Command plasma5{u"systemsettings5"_s, {u"kcm_notifications"_s}};
    const std::vector<std::pair<QString, QList<Command>>> cases{
        {u"GNOME"_s, {gnome}}, {u"ubuntu:GNOME"_s, {gnome}}, {u"KDE"_s, {plasma, plasma5}}, {u"X-Cinnamon"_s, {}},
        {u""_s, {}},           {u"gnome-flashback"_s, {}},
    };
    for (const auto& [desktop, expected] : cases) {
        EXPECT_EQ(ReminderScheduler::notificationSettingsCommands(desktop), expected) << desktop.toStdString();
    }
}

} // namespace
