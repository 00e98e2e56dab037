#include "delivery/ReminderScheduler.h"
#include "reminders/EntryReminders.h"
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
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace plim::test;

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

// Whatever happens (time passes, the timer fires late, the clock, day or zone changes, entries are
// done, deleted, snoozed or lose their reminder, delivery goes to the dot and back, the server holds
// its answers or shows posts late), every pass arms the timer a moment after the earliest ring to
// come and keeps the 60 earliest rings pending (none for the dot); an entry whose pending ring came
// is shown, and withdrawn once it stops ringing.
TEST_F(SchedulerTest, EveryPassKeepsTimerPendingAndNotificationsInStepWithTheFile) {
    std::mt19937 random(5);
    const auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    const QString marks[] = {u"[ ] "_s, u"[ ] "_s, QString(), u"[x] "_s, u"[>] "_s};
    const QString rules[] = {QString(), u" every 3h 08:30-20:30"_s, u" every day 09:00"_s,
                             u" every 20m 09:00-12:00 routine"_s};
    QStringList lines;
    for (int i = 0; i < 180; ++i) {
        const QString words = u"remind "_s + Reminder::stamp(march14(7) + 7min * (below(300) - 100), kBerlin);
        lines.append(i % 7 == 0 ? line(u"~~task %1~~"_s.arg(i), words, QString())
                                : line(u"task %1"_s.arg(i), words + rules[below(std::size(rules))], marks[below(5)]));
        if (i == 90) {
            lines.append({QString(), u"## 2026-03-13 Friday"_s, QString()});
        }
    }
    start(lines);
    QSignalSpy ringingSpy(scheduler.get(), &ReminderScheduler::ringingChanged);
    const Calendar* zones[] = {&kBerlin, &kNewYork, &kTokyo};
    QSet<QUuid> shown; // at the start only the summary is
    QList<ReminderScheduler::Pending> pendingBefore = scheduler->pending();
    const auto ringingNow = [&] {
        QSet<QUuid> ids;
        for (const Entry& e :
             EntryReminders::ringing(store->document(), clock->now(), clock->calendar(), prefs->anchors())) {
            ids.insert(e.id);
        }
        return ids;
    };
    QSet<QUuid> ringingBefore = ringingNow();
    for (int step = 0; step < 200; ++step) {
        const qsizetype told = ringingSpy.size();
        const int op = below(12);
        if (op <= 3) { // the timer fires, maybe late
            clock->set(clock->now() + 1min * below(300));
            events->fire();
        } else if (op == 4) { // the day changes right at a ring
            clock->set(events->armed.value_or(clock->now()) - ReminderScheduler::timerDelay);
            Q_EMIT events->dayChanged();
        } else if (op == 5) {
            clock->set(clock->now() - 1min * below(600));
            Q_EMIT events->clockChanged();
        } else if (op == 6) {
            clock->setCalendar(*zones[below(3)]);
            Q_EMIT events->timeZoneChanged();
        } else if (op <= 8) {
            const QList<Entry> all = store->document().allEntries();
            const QUuid e = all[below(static_cast<int>(all.size()))].id;
            const std::function<void()> changes[] = {
                [&] { store->toggleDone(e); }, [&] { store->deleteEntry(e); },
                [&] { store->setReminder(e, std::nullopt); },
                [&] { store->answer(e, {NotesDocument::Answer::Done{}}); },
                [&] { store->answer(e, {NotesDocument::Answer::Snooze{clock->now() + 1min * below(120)}}); }};
            changes[below(5)]();
        } else if (op == 9 && below(2) == 0) {
            prefs->setValue(PreferenceKey::reminderDelivery, below(4) == 0 ? u"dot"_s : u"notification"_s);
        } else if (op == 9) {
            prefs->setValue(PreferenceKey::ringOnThisMac, below(4) != 0);
        } else if (op == 10) {
            scheduler->reconcile(); // nothing new
        } else {
            // The server answers what it held; from now it may hold its answers, or show posts late.
            notifier->holding = below(3) == 0;
            notifier->late = !notifier->holding && below(2) == 0;
            notifier->release();
        }
        SCOPED_TRACE(::testing::Message() << "step " << step << " op " << op);
        if (op <= 6) {
            ASSERT_GT(ringingSpy.size(), told);
        }
        const Calendar cal = clock->calendar();
        const Instant now = clock->now();
        const Anchors anchors = prefs->anchors();
        const bool notify = prefs->reminderDelivery() == ReminderDelivery::Notification && prefs->ringOnThisMac();
        QList<ReminderScheduler::Pending> upcoming;
        for (const Entry& e : store->document().allEntries()) {
            const auto r = EntryReminders::reminder(e, cal, anchors);
            const auto ring = r ? r->nextRing(now, cal) : std::nullopt;
            if (ring && (e.state == Entry::State::Open || e.state == Entry::State::Note)) {
                upcoming.append({e.id, *ring});
            }
        }
        std::stable_sort(upcoming.begin(), upcoming.end(),
                         [](const auto& a, const auto& b) { return a.ring < b.ring; });
        ASSERT_EQ(events->armed,
                  upcoming.isEmpty() ? std::nullopt : std::optional(upcoming[0].ring + ReminderScheduler::timerDelay));
        ASSERT_EQ(scheduler->pending(), notify ? upcoming.first(std::min<qsizetype>(60, upcoming.size()))
                                               : QList<ReminderScheduler::Pending>());
        const QSet<QUuid> ringing = ringingNow();
        shown.intersect(notify ? ringing : QSet<QUuid>());
        for (const auto& p : pendingBefore) {
            if (notify && ringing.contains(p.entry) && (!ringingBefore.contains(p.entry) || p.ring <= now)) {
                shown.insert(p.entry);
            }
        }
        const QList<QUuid> delivered = scheduler->delivered();
        if (notifier->held.isEmpty()) { // what changed while the server answered counts once it has
            ASSERT_EQ(QSet<QUuid>(delivered.begin(), delivered.end()), shown);
            ASSERT_EQ(notifier->screen.size(), shown.size() + (scheduler->summaryDelivered() ? 1 : 0));
            for (const QUuid& e : delivered) {
                ASSERT_TRUE(notifier->screen.contains(scheduler->serverId(e).value_or(0)));
            }
        }
        pendingBefore = scheduler->pending();
        ringingBefore = ringing;
    }
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
    // Passes with nothing new change nothing.
    scheduler->reconcile();
    scheduler->reconcile();
    EXPECT_EQ(notifier->requests, 3);
    EXPECT_TRUE(notifier->closes.isEmpty());
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
    const auto ann = [](const QString& words) { return line(u"call Ann"_s, words); };
    // The reminder, the button, the text typed into the notification, the line afterwards, what was asked.
    const std::tuple<QString, QString, std::optional<QString>, QString, QString> cases[] = {
        {remind(9), u"done"_s, {}, u"- [x] ~~call Ann~~  <!-- 08:00 -->"_s, {}},
        {daily, u"dismiss"_s, {}, ann(u"remind 2026-03-15 09:00 every day 09:00"_s), {}},
        // A typed snooze snoozes a repeat; a typed repeat replaces the reminder.
        {daily, u"snooze"_s, u" 1h\n"_s, ann(u"remind 2026-03-14 10:10 every day 09:00"_s), {}},
        {remind(9), u"snooze"_s, u"every day 20:30"_s, ann(u"remind 2026-03-14 20:30 every day 20:30"_s), {}},
        {remind(9), u"snooze"_s, u"  "_s, {}, {}},
        {remind(9), u"snooze"_s, u"  next blue moon \n"_s, QString(), u"unreadable call Ann: next blue moon"_s},
        {remind(9), u"snooze"_s, {}, QString(), u"ask call Ann"_s},
        {remind(9), u"default"_s, {}, QString(), u"open call Ann"_s},
        {remind(9), u"archive"_s, {}, {}, {}},
    };
    for (const auto& [reminder, action, reply, after, call] : cases) {
        SCOPED_TRACE(action.toStdString() + " " + reply.value_or(reminder).toStdString());
        start({line(u"call Ann"_s, reminder)});
        fireAfter(9);
        const quint32 shown = shownFor(u"call Ann"_s);
        ASSERT_NE(shown, 0u);
        const QByteArray before = file();
        clock->set(march14(9, 10));
        if (reply) {
            notifier->reply(shown, *reply);
        } else {
            notifier->click(shown, action);
        }
        EXPECT_EQ(QString::fromUtf8(file()), after.isEmpty() ? QString::fromUtf8(before) : notes({after}));
        EXPECT_TRUE(notifier->closes.contains(shown));
        EXPECT_EQ(calls, call.isEmpty() ? QStringList() : QStringList{call});
        // Once the entry is gone, the same answer does nothing.
        const QUuid gone = id(u"call Ann"_s);
        ASSERT_TRUE(store->deleteEntry(gone));
        const QByteArray left = file();
        scheduler->handle(action, gone, reply);
        EXPECT_EQ(file(), left);
    }
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
    // The delivery (empty: not chosen), what the server can do, the status.
    const std::tuple<QString, NotifierCapabilities, Status> cases[] = {
        {u"notification"_s, {false, false, false, false}, Status::Denied},
        {u"notification"_s, {true, true, false, false}, Status::Temporary},
        {u"notification"_s, {true, false, true, true}, Status::Persistent},
        {u"dot"_s, {true, true, false, false}, Status::Off},
        {u""_s, {true, false, true, true}, Status::Off},
        {u"dot"_s, {false, false, false, false}, Status::Denied},
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
