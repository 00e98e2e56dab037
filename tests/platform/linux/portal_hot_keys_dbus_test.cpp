#include "platform/linux/PortalHotKeys.h"

#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace plim;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString kService = u"org.freedesktop.portal.Desktop"_s;
const QString kPath = u"/org/freedesktop/portal/desktop"_s;
const QString kInterface = u"org.freedesktop.portal.GlobalShortcuts"_s;

constexpr QKeyCombination kCtrlAltSpace(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space);
constexpr QKeyCombination kCtrlAltN(Qt::ControlModifier | Qt::AltModifier, Qt::Key_N);
constexpr QKeyCombination kCtrlAltShiftV(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, Qt::Key_V);

// The desktop's portal on a bus connection of its own, answering each request through a Response
// signal on the request's path, as the real one does. It shares the test's thread: the program
// never waits for it.
class FakePortal : public QDBusVirtualObject {
    Q_OBJECT
public:
    struct Options {
        bool answersSession = true;
        uint sessionResponse = 0;
        uint bindResponse = 0;
        std::set<QString> refused; // ids the user turns down in the dialog
    };

    explicit FakePortal(Options options)
        : options_(std::move(options))
        , name_(u"fake-portal-%1"_s.arg(++count_)) {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_);
        registered = bus.registerVirtualObject(kPath, this) && bus.registerService(kService);
    }
    ~FakePortal() override {
        QDBusConnection bus(name_);
        bus.unregisterService(kService);
        bus.unregisterObject(kPath);
        QDBusConnection::disconnectFromBus(name_);
    }

    // The user presses a bound shortcut.
    void activate(const QString& session, const QString& id, const QString& token = {}) {
        QVariantMap options;
        if (!token.isEmpty()) {
            options.insert(u"activation_token"_s, token);
        }
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, u"Activated"_s);
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(0) << options;
        QDBusConnection(name_).send(signal);
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QList<QVariant> args = message.arguments();
        const QString sender = message.service().mid(1).replace(u'.', u'_');
        const auto requestPath = [&](const QVariant& options) {
            return u"%1/request/%2/%3"_s.arg(kPath, sender,
                                             qdbus_cast<QVariantMap>(options).value(u"handle_token"_s).toString());
        };
        QString request;
        if (message.interface() == kInterface && message.member() == u"CreateSession" && args.size() == 1) {
            const QString session = u"%1/session/%2/%3"_s.arg(
                kPath, sender, qdbus_cast<QVariantMap>(args[0]).value(u"session_handle_token"_s).toString());
            sessions.append(session);
            request = requestPath(args[0]);
            if (options_.answersSession) {
                respond(request, options_.sessionResponse, {{u"session_handle"_s, session}});
            }
        } else if (message.interface() == kInterface && message.member() == u"BindShortcuts" && args.size() == 4) {
            const auto shortcuts = qdbus_cast<QList<PortalShortcut>>(args[1]);
            binds.append(shortcuts);
            bindSessions.append(args[0].value<QDBusObjectPath>().path());
            QList<PortalShortcut> bound;
            for (const PortalShortcut& s : shortcuts) {
                if (options_.refused.count(s.id) == 0) {
                    bound.append(
                        {s.id,
                         {{u"description"_s, s.properties.value(u"description"_s)}, {u"trigger_description"_s, s.id}}});
                }
            }
            request = requestPath(args[3]);
            respond(request, options_.bindResponse, {{u"shortcuts"_s, QVariant::fromValue(bound)}});
        } else {
            return false;
        }
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        return true;
    }

    bool registered = false;
    QStringList sessions;
    QList<QList<PortalShortcut>> binds;
    QStringList bindSessions;

private:
    // After the call's reply, as a real portal answers.
    void respond(const QString& request, uint response, const QVariantMap& results) {
        QTimer::singleShot(0, this, [bus = QDBusConnection(name_), request, response, results] {
            QDBusMessage signal =
                QDBusMessage::createSignal(request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
            signal << response << results;
            bus.send(signal);
        });
    }

    static inline int count_ = 0;
    Options options_;
    QString name_;
};

bool waitFor(const std::function<bool()>& condition, int ms = 5000) {
    return QTest::qWaitFor(condition, ms);
}

// Holds the two combinations as the program does at start.
std::unique_ptr<PortalHotKeys> holdingTwo(std::chrono::milliseconds answerWithin = 5s) {
    auto keys = std::make_unique<PortalHotKeys>(QDBusConnection::sessionBus(), answerWithin);
    keys->describe(kCtrlAltSpace, u"Open or close the capture drawer"_s);
    EXPECT_EQ(keys->grab(kCtrlAltSpace), std::nullopt);
    keys->describe(kCtrlAltShiftV, u"Save the clipboard as a note"_s);
    EXPECT_EQ(keys->grab(kCtrlAltShiftV), std::nullopt);
    return keys;
}

TEST(PortalHotKeys, TriggersInTheShortcutsNotation) {
    const struct {
        QKeyCombination combination;
        std::optional<QString> trigger;
    } cases[] = {
        {kCtrlAltSpace, u"CTRL+ALT+space"_s},
        {kCtrlAltShiftV, u"CTRL+ALT+SHIFT+v"_s},
        {QKeyCombination(Qt::MetaModifier, Qt::Key_F5), u"LOGO+F5"_s},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_BracketLeft), u"CTRL+bracketleft"_s},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_PageUp), u"CTRL+Prior"_s},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_Launch0), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortalHotKeys::trigger(c.combination), c.trigger) << c.combination.toCombined();
    }
}

TEST(PortalHotKeys, BindsWhatIsHeldInOneSessionAndRunsWhatIsActivated) {
    FakePortal portal({});
    ASSERT_TRUE(portal.registered);
    auto keys = holdingTwo();
    QSignalSpy pressed(keys.get(), &GlobalHotKeys::pressed);
    ASSERT_TRUE(waitFor([&] { return portal.binds.size() == 1; }));
    ASSERT_EQ(portal.sessions.size(), 1);
    EXPECT_EQ(portal.bindSessions, portal.sessions);
    const QList<PortalShortcut> expected = {
        {u"CTRL+ALT+SHIFT+v"_s,
         {{u"description"_s, u"Save the clipboard as a note"_s}, {u"preferred_trigger"_s, u"CTRL+ALT+SHIFT+v"_s}}},
        {u"CTRL+ALT+space"_s,
         {{u"description"_s, u"Open or close the capture drawer"_s}, {u"preferred_trigger"_s, u"CTRL+ALT+space"_s}}},
    };
    EXPECT_EQ(portal.binds.front(), expected);

    // Another session's shortcut, and an id never bound, run nothing.
    portal.activate(portal.sessions.front() + u"x"_s, u"CTRL+ALT+space"_s);
    portal.activate(portal.sessions.front(), u"CTRL+q"_s);
    portal.activate(portal.sessions.front(), u"CTRL+ALT+space"_s);
    ASSERT_TRUE(waitFor([&] { return pressed.size() == 1; }));
    QTest::qWait(50);
    ASSERT_EQ(pressed.size(), 1);
    EXPECT_EQ(pressed.front().front().value<QKeyCombination>(), kCtrlAltSpace);
    EXPECT_TRUE(keys->isAvailable());

    // One let go of stays bound, without a new bind (and dialog), but runs nothing.
    keys->release(kCtrlAltShiftV);
    portal.activate(portal.sessions.front(), u"CTRL+ALT+SHIFT+v"_s);
    QTest::qWait(100);
    EXPECT_EQ(pressed.size(), 1);
    EXPECT_EQ(portal.binds.size(), 1);

    // A new one is bound in a fresh session; the old session's shortcuts no longer run.
    keys->describe(kCtrlAltN, u"Open or close the notes window"_s);
    EXPECT_EQ(keys->grab(kCtrlAltN), std::nullopt);
    ASSERT_TRUE(waitFor([&] { return portal.binds.size() == 2; }));
    ASSERT_EQ(portal.sessions.size(), 2);
    EXPECT_EQ(portal.bindSessions.back(), portal.sessions.back());
    QStringList ids;
    for (const PortalShortcut& s : portal.binds.back()) {
        ids.append(s.id);
    }
    EXPECT_EQ(ids, (QStringList{u"CTRL+ALT+n"_s, u"CTRL+ALT+space"_s}));
    portal.activate(portal.sessions.front(), u"CTRL+ALT+space"_s);
    portal.activate(portal.sessions.back(), u"CTRL+ALT+n"_s);
    ASSERT_TRUE(waitFor([&] { return pressed.size() == 2; }));
    QTest::qWait(50);
    ASSERT_EQ(pressed.size(), 2);
    EXPECT_EQ(pressed.back().front().value<QKeyCombination>(), kCtrlAltN);
}

TEST(PortalHotKeys, WhatThePortalOrTheUserTurnsDownIsLost) {
    const struct {
        const char* name;
        FakePortal::Options options;
        QList<QKeyCombination> lost;
        int status;
    } cases[] = {
        {"one left out", {.refused = {u"CTRL+ALT+SHIFT+v"_s}}, {kCtrlAltShiftV}, 2},
        {"dialog cancelled", {.bindResponse = 1, .refused = {}}, {kCtrlAltShiftV, kCtrlAltSpace}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakePortal portal(c.options);
        ASSERT_TRUE(portal.registered);
        auto keys = holdingTwo();
        QSignalSpy lost(keys.get(), &GlobalHotKeys::lost);
        ASSERT_TRUE(waitFor([&] { return lost.size() == c.lost.size(); }));
        for (qsizetype i = 0; i < c.lost.size(); ++i) {
            EXPECT_EQ(lost.at(i).at(0).value<QKeyCombination>(), c.lost.at(i));
            EXPECT_EQ(lost.at(i).at(1).value<GlobalHotKeys::Refusal>().status, c.status);
        }
        // The desktop still offers shortcuts; only these were refused.
        EXPECT_TRUE(keys->isAvailable());
        QTest::qWait(50);
        EXPECT_EQ(portal.binds.size(), 1);
    }
}

TEST(PortalHotKeys, NoPortalOrOneThatNeverAnswersMakesShortcutsUnavailableWithoutWaiting) {
    const struct {
        const char* name;
        bool present;
        FakePortal::Options options;
    } cases[] = {
        {"no portal", false, {}},
        {"session refused", true, {.sessionResponse = 2, .refused = {}}},
        {"never answers", true, {.answersSession = false, .refused = {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<FakePortal> portal = c.present ? std::make_unique<FakePortal>(c.options) : nullptr;
        QElapsedTimer clock;
        clock.start();
        auto keys = holdingTwo(300ms);
        // Start-up goes on at once: the grabs are taken on trust.
        EXPECT_LT(clock.elapsed(), 200);
        EXPECT_TRUE(keys->isAvailable());
        QSignalSpy changed(keys.get(), &GlobalHotKeys::availabilityChanged);
        ASSERT_TRUE(waitFor([&] { return changed.size() == 1; }, 2000));
        EXPECT_FALSE(keys->isAvailable());
        EXPECT_LT(clock.elapsed(), 1500);
        if (portal) {
            EXPECT_TRUE(portal->binds.isEmpty());
        }
    }
}

TEST(PortalHotKeys, WithoutASessionBusNothingIsOffered) {
    PortalHotKeys keys(QDBusConnection(u"not-connected"_s));
    EXPECT_FALSE(keys.isAvailable());
    EXPECT_EQ(keys.grab(kCtrlAltSpace), std::nullopt);
}

} // namespace

#include "portal_hot_keys_dbus_test.moc"
