#include "platform/linux/DBusNotifier.h"
#include "platform/linux/PortalHotKeys.h"

#include "support/FakeBusService.h"
#include "support/FakePortal.h"
#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace plim::test;

namespace {

const QString kService = u"org.freedesktop.Notifications"_s;
const QString kPath = u"/org/freedesktop/Notifications"_s;

// A notification server as the desktop runs one. It records what it is asked.
class FakeNotificationServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit FakeNotificationServer(QStringList caps, QString hangsOn = {}, std::chrono::milliseconds lateBy = {})
        : caps_(std::move(caps))
        , hangsOn_(std::move(hangsOn))
        , lateBy_(lateBy) {
        registered = service_.publish(kService, kPath, this);
    }

    bool registered = false;
    QList<QVariantList> calls; // each Notify's arguments
    QList<uint> closed;
    int capabilityReads = 0;

public Q_SLOTS:
    QStringList GetCapabilities() {
        ++capabilityReads;
        setDelayedReply(hangsOn_ == u"GetCapabilities");
        return caps_;
    }
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int timeout) {
        calls.append({app, replaces, icon, summary, body, actions, hints, timeout});
        const uint id = replaces != 0 ? replaces : static_cast<uint>(calls.size());
        if (hangsOn_ == u"Notify") {
            setDelayedReply(true);
            if (lateBy_ > 0ms) {
                QTimer::singleShot(lateBy_, this,
                                   [reply = message().createReply(id), bus = connection()] { bus.send(reply); });
            }
        }
        return id;
    }
    void CloseNotification(uint id) { closed.append(id); }

Q_SIGNALS:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);
    void NotificationReplied(uint id, const QString& text);

private:
    QStringList caps_;
    QString hangsOn_;                  // the method that does not answer...
    std::chrono::milliseconds lateBy_; // ...unless it answers this late (Notify only)
    test::FakeBusService service_;
};

NotificationContent reminderContent(const QString& body = u"about the trip"_s) {
    NotificationContent c;
    c.identifier = u"entry.0F0E0D0C-0B0A-0908-0706-050403020100"_s;
    c.title = u"call Ann"_s;
    c.body = body;
    c.subtitle = u"every 3h · 2nd ring"_s;
    c.thread = kRemindersThread;
    c.actions = {{u"done"_s, u"Done"_s, false, {}, {}},
                 {u"dismiss"_s, u"Skip"_s, false, {}, {}},
                 {u"snooze"_s, u"Snooze until…"_s, true, u"Snooze"_s, u"20m, tomorrow 9am, fri"_s}};
    return c;
}

// Posts and waits for the server's answer.
std::optional<quint32> postAndWait(DBusNotifier& notifier, const NotificationContent& content, quint32 replaces = 0) {
    bool answered = false;
    std::optional<quint32> id;
    notifier.post(content, replaces, [&](std::optional<quint32> got) {
        answered = true;
        id = got;
    });
    EXPECT_TRUE(waitFor([&] { return answered; }));
    return id;
}

std::optional<NotifierCapabilities> capabilitiesAndWait(DBusNotifier& notifier) {
    std::optional<NotifierCapabilities> caps;
    notifier.capabilities([&](const NotifierCapabilities& c) { caps = c; });
    EXPECT_TRUE(waitFor([&] { return caps.has_value(); }));
    return caps;
}

TEST(DBusNotifier, SendsWhatTheServerCanShow) {
    const QString kAll = u"default|Open|done|Done|dismiss|Skip|snooze|Snooze until…"_s;
    const QString kRing = u"every 3h · 2nd ring"_s;
    // The server's capabilities, the entry's further lines, the thread: the actions and body sent.
    const std::tuple<QString, QString, QString, QString, QString> cases[] = {
        {u"body"_s, u"about the trip"_s, kRemindersThread, {}, kRing + u"\nabout the trip"_s},
        {u"actions body"_s, {}, kRemindersThread, kAll, kRing},
        {u"actions inline-reply"_s, u"x"_s, kRemindersThread, QString(kAll).replace(u"|snooze"_s, u"|inline-reply"_s),
         kRing + u"\nx"_s},
        // The user's text is not taken for markup.
        {u"body-markup"_s, u"<b>a</b> & b"_s, kRemindersThread, {}, kRing + u"\n&lt;b&gt;a&lt;/b&gt; &amp; b"_s},
        // What is not a reminder does not sound like one.
        {u"body"_s, {}, u"plim.problems"_s, {}, kRing},
    };
    for (const auto& [caps, body, thread, actions, expectedBody] : cases) {
        SCOPED_TRACE(caps.toStdString());
        FakeNotificationServer server(caps.split(u' '));
        ASSERT_TRUE(server.registered);
        DBusNotifier notifier;
        NotificationContent content = reminderContent(body);
        content.thread = thread;
        ASSERT_EQ(postAndWait(notifier, content), 1u);
        ASSERT_EQ(server.calls.size(), 1);
        QVariantMap hints{{u"desktop-entry"_s, u"plim"_s},
                          {u"urgency"_s, QVariant::fromValue(uchar{1})},
                          {u"image-path"_s, u"plim"_s},
                          {u"x-dunst-stack-tag"_s, reminderContent().identifier}};
        if (thread == kRemindersThread) {
            hints.insert(u"category"_s, u"x-plim.reminder"_s);
            hints.insert(u"sound-name"_s, u"alarm-clock-elapsed"_s);
        }
        if (caps.contains(u"inline-reply"_s)) {
            hints.insert(u"x-kde-reply-placeholder-text"_s, u"20m, tomorrow 9am, fri"_s);
            hints.insert(u"x-kde-reply-submit-button-text"_s, u"Snooze"_s);
        }
        EXPECT_EQ(server.calls[0], (QVariantList{u"plim"_s, 0u, u"plim"_s, u"call Ann"_s, expectedBody,
                                                 actions.split(u'|', Qt::SkipEmptyParts), hints, -1}));
        // The urgency a byte, or servers refuse it.
        EXPECT_EQ(server.calls[0][6].toMap().value(u"urgency"_s).typeId(), QMetaType::UChar);
    }
}

TEST(DBusNotifier, ReplacesClosesReadsCapabilitiesOnceAndHearsTheServer) {
    FakeNotificationServer server({u"actions"_s, u"inline-reply"_s, u"persistence"_s});
    DBusNotifier notifier;
    QStringList heard;
    QObject::connect(&notifier, &Notifier::actionInvoked,
                     [&](quint32 id, const QString& action) { heard.append(u"%1 %2"_s.arg(id).arg(action)); });
    QObject::connect(&notifier, &Notifier::replied,
                     [&](quint32 id, const QString& text) { heard.append(u"%1 replied %2"_s.arg(id).arg(text)); });
    QObject::connect(&notifier, &Notifier::closed, [&](quint32 id) { heard.append(u"%1 closed"_s.arg(id)); });
    const auto first = postAndWait(notifier, reminderContent());
    ASSERT_EQ(first, 1u);
    EXPECT_EQ(postAndWait(notifier, reminderContent(), *first), first);
    notifier.close(*first);
    EXPECT_TRUE(waitFor([&] { return server.closed == QList<uint>{*first}; }));
    EXPECT_EQ(capabilitiesAndWait(notifier), (NotifierCapabilities{true, true, true, true}));
    EXPECT_EQ(server.capabilityReads, 1);
    ASSERT_EQ(server.calls.size(), 2);
    EXPECT_EQ(server.calls[1][1].toUInt(), *first);

    Q_EMIT server.ActionInvoked(1, u"inline-reply"_s); // the text comes on its own
    Q_EMIT server.ActionInvoked(1, u"done"_s);
    Q_EMIT server.NotificationReplied(1, u"1h"_s);
    Q_EMIT server.NotificationClosed(1, 2);
    const QStringList expected{u"1 done"_s, u"1 replied 1h"_s, u"1 closed"_s};
    EXPECT_TRUE(waitFor([&] { return heard.size() >= expected.size(); }));
    EXPECT_EQ(heard, expected);
}

// --- A server that is missing or does not answer ---

// Past the time limit a post counts as not shown; a server that shows it later still gives its id.
// Without a server it is not shown either, and the capabilities say so.
TEST(DBusNotifier, AHungOrLateServerNeverBlocks) {
    using Answers = QList<std::optional<quint32>>;
    // The method that hangs (none: no server), how late it answers after all: the answers.
    const std::tuple<QString, std::chrono::milliseconds, Answers> cases[] = {
        {u""_s, 0ms, {std::nullopt}}, // no server at all
        {u"GetCapabilities"_s, 0ms, {std::nullopt}},
        {u"Notify"_s, 0ms, {std::nullopt}},
        {u"Notify"_s, 300ms, {std::nullopt, 1u}},
    };
    for (const auto& [hung, lateBy, expected] : cases) {
        SCOPED_TRACE(hung.toStdString() + " " + std::to_string(lateBy.count()));
        std::optional<FakeNotificationServer> server;
        if (!hung.isEmpty()) {
            server.emplace(QStringList{u"actions"_s}, hung, lateBy);
        }
        DBusNotifier notifier(QDBusConnection::sessionBus(), DBusNotifier::Options{150ms});
        Answers answers;
        QElapsedTimer timer;
        timer.start();
        notifier.post(reminderContent(), 0, [&](std::optional<quint32> got) {
            answers.append(got);
            EXPECT_GE(timer.elapsed(), server ? 120 : 0);
        });
        notifier.close(5);
        EXPECT_LT(timer.elapsed(), 100);
        EXPECT_TRUE(answers.isEmpty());
        ASSERT_TRUE(waitFor([&] { return answers.size() == expected.size(); }));
        EXPECT_EQ(answers, expected);
        if (!server) {
            EXPECT_FALSE(capabilitiesAndWait(notifier)->available);
        }
    }
}

// Holds the two combinations as the program does at start.
std::unique_ptr<PortalHotKeys> holdingTwo(std::chrono::milliseconds answerWithin = 5s) {
    auto keys = std::make_unique<PortalHotKeys>(QDBusConnection::sessionBus(), answerWithin);
    keys->describe(kCtrlAltSpace, u"capture"_s, u"Open or close the capture drawer"_s);
    EXPECT_EQ(keys->grab(kCtrlAltSpace), std::nullopt);
    keys->describe(kCtrlAltShiftV, u"captureClipboard"_s, u"Save the clipboard as a note"_s);
    EXPECT_EQ(keys->grab(kCtrlAltShiftV), std::nullopt);
    return keys;
}

// The default combinations are in the binding test.
TEST(PortalHotKeys, TriggersInTheShortcutsNotation) {
    const std::pair<QKeyCombination, std::optional<QString>> cases[] = {
        {QKeyCombination(Qt::MetaModifier, Qt::Key_F5), u"LOGO+F5"_s},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_BracketLeft), u"CTRL+bracketleft"_s},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_PageUp), u"CTRL+Prior"_s},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_Launch0), std::nullopt},
    };
    for (const auto& [combination, trigger] : cases) {
        EXPECT_EQ(PortalHotKeys::trigger(combination), trigger) << combination.toCombined();
    }
}

TEST(PortalHotKeys, BindsWhatIsHeldUnderStableIdsAndRunsWhatIsActivated) {
    // The user gave the capture other keys in the desktop's settings some time ago.
    FakePortal portal({.triggers = {{u"capture"_s, u"Super+C"_s}}});
    ASSERT_TRUE(portal.registered);
    auto keys = holdingTwo();
    QSignalSpy pressed(keys.get(), &GlobalHotKeys::pressed);
    QSignalSpy keysChanged(keys.get(), &GlobalHotKeys::keysChanged);
    ASSERT_TRUE(waitFor([&] { return portal.binds.size() == 1; }));
    ASSERT_EQ(portal.sessions.size(), 1);
    EXPECT_EQ(portal.bindSessions, portal.sessions);
    const QList<PortalShortcut> expected = {
        {u"capture"_s,
         {{u"description"_s, u"Open or close the capture drawer"_s}, {u"preferred_trigger"_s, u"CTRL+ALT+space"_s}}},
        {u"captureClipboard"_s,
         {{u"description"_s, u"Save the clipboard as a note"_s}, {u"preferred_trigger"_s, u"CTRL+ALT+SHIFT+v"_s}}},
    };
    EXPECT_EQ(portal.binds.front(), expected);
    // The keys are the desktop's: its choice, else what was asked for.
    ASSERT_TRUE(waitFor([&] { return keys->keysOf(kCtrlAltSpace) == u"Super+C"_s; }));
    EXPECT_EQ(keys->keysOf(kCtrlAltShiftV), u"CTRL+ALT+SHIFT+v"_s);
    EXPECT_EQ(keysChanged.size(), 1);

    // Another session's shortcut, and an id never bound, run nothing.
    portal.activate(portal.sessions.front() + u"x"_s, u"capture"_s);
    portal.activate(portal.sessions.front(), u"manage"_s);
    portal.activate(portal.sessions.front(), u"capture"_s);
    ASSERT_TRUE(waitFor([&] { return pressed.size() == 1; }));
    QTest::qWait(50);
    ASSERT_EQ(pressed.size(), 1);
    EXPECT_EQ(pressed.front().front().value<QKeyCombination>(), kCtrlAltSpace);
    EXPECT_TRUE(keys->isAvailable());

    // One let go of stays bound, without a new bind (and dialog), but runs nothing.
    keys->release(kCtrlAltShiftV);
    portal.activate(portal.sessions.front(), u"captureClipboard"_s);
    QTest::qWait(100);
    EXPECT_EQ(pressed.size(), 1);
    EXPECT_EQ(portal.binds.size(), 1);

    // Other keys for the capture: bound in a fresh session under the same id, so the desktop's list
    // keeps one entry for it; the old session's shortcuts no longer run.
    keys->release(kCtrlAltSpace);
    keys->describe(kCtrlAltN, u"capture"_s, u"Open or close the capture drawer"_s);
    EXPECT_EQ(keys->grab(kCtrlAltN), std::nullopt);
    ASSERT_TRUE(waitFor([&] { return portal.binds.size() == 2; }));
    ASSERT_EQ(portal.sessions.size(), 2);
    EXPECT_EQ(portal.bindSessions.back(), portal.sessions.back());
    ASSERT_EQ(portal.binds.back().size(), 1);
    EXPECT_EQ(portal.binds.back().front().id, u"capture"_s);
    EXPECT_EQ(portal.binds.back().front().properties.value(u"preferred_trigger"_s), u"CTRL+ALT+n"_s);
    ASSERT_TRUE(waitFor([&] { return keys->keysOf(kCtrlAltN) == u"Super+C"_s; }));
    portal.activate(portal.sessions.front(), u"capture"_s);
    portal.activate(portal.sessions.back(), u"capture"_s);
    ASSERT_TRUE(waitFor([&] { return pressed.size() == 2; }));
    QTest::qWait(50);
    ASSERT_EQ(pressed.size(), 2);
    EXPECT_EQ(pressed.back().front().value<QKeyCombination>(), kCtrlAltN);

    // The user changes the keys in the desktop's settings.
    portal.changeShortcuts(portal.sessions.back(), {{u"capture"_s, {{u"trigger_description"_s, u"Super+X"_s}}}});
    ASSERT_TRUE(waitFor([&] { return keys->keysOf(kCtrlAltN) == u"Super+X"_s; }));
    EXPECT_EQ(keysChanged.size(), 2);
}

// What the portal or the user turns down is lost, the rest still offered; without a portal that
// answers, shortcuts become unavailable without holding up start-up.
TEST(PortalHotKeys, WhatIsTurnedDownIsLostAndNoAnswerMeansNoShortcuts) {
    using Options = FakePortal::Options;
    // The portal (none: no portal), the combinations lost (none: all unavailable), the portal's answer to the bind.
    const std::tuple<const char*, std::optional<Options>, QList<QKeyCombination>, int> cases[] = {
        {"one left out", Options{.refused = {u"captureClipboard"_s}}, {kCtrlAltShiftV}, 2},
        {"dialog cancelled", Options{.bindResponse = 1}, {kCtrlAltSpace, kCtrlAltShiftV}, 1},
        {"no portal", std::nullopt, {}, 0},
        {"session refused", Options{.sessionResponse = 2}, {}, 0},
        {"never answers", Options{.answersSession = false}, {}, 0},
    };
    for (const auto& [name, options, expected, status] : cases) {
        SCOPED_TRACE(name);
        std::unique_ptr<FakePortal> portal = options ? std::make_unique<FakePortal>(*options) : nullptr;
        QElapsedTimer clock;
        clock.start();
        auto keys = holdingTwo(expected.isEmpty() ? 300ms : 5s);
        // The grabs are taken on trust.
        EXPECT_LT(clock.elapsed(), 200);
        EXPECT_TRUE(keys->isAvailable());
        QSignalSpy lost(keys.get(), &GlobalHotKeys::lost);
        QSignalSpy changed(keys.get(), &GlobalHotKeys::availabilityChanged);
        ASSERT_TRUE(waitFor([&] { return lost.size() + changed.size() == std::max<qsizetype>(expected.size(), 1); }));
        for (qsizetype i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(lost.at(i).at(0).value<QKeyCombination>(), expected.at(i));
            EXPECT_EQ(lost.at(i).at(1).value<GlobalHotKeys::Refusal>(), (GlobalHotKeys::Refusal{status, true}));
        }
        EXPECT_EQ(keys->isAvailable(), !expected.isEmpty());
        EXPECT_LT(clock.elapsed(), expected.isEmpty() ? 1500 : 5000);
        QTest::qWait(50);
        EXPECT_EQ(portal ? portal->binds.size() : 0, expected.isEmpty() ? 0 : 1);
    }
}

TEST(PortalHotKeys, WithoutASessionBusNothingIsOffered) {
    PortalHotKeys keys(QDBusConnection(u"not-connected"_s));
    EXPECT_FALSE(keys.isAvailable());
    EXPECT_EQ(keys.grab(kCtrlAltSpace), std::nullopt);
}

} // namespace

#include "desktop_dbus_test.moc"
