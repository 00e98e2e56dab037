#include "platform/linux/DBusNotifier.h"

#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

// A notification server as the desktop runs one, recording what it is asked.
class FakeNotificationServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString app;
        uint replaces = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
        uint id = 0;
    };

    FakeNotificationServer(QStringList caps, bool hang)
        : caps_(std::move(caps))
        , hang_(hang) {}

    QList<Call> calls() const {
        QMutexLocker lock(&mutex_);
        return calls_;
    }
    QList<uint> closed() const {
        QMutexLocker lock(&mutex_);
        return closed_;
    }
    int capabilityReads() const {
        QMutexLocker lock(&mutex_);
        return capabilityReads_;
    }

public Q_SLOTS:
    QStringList GetCapabilities() {
        QMutexLocker lock(&mutex_);
        ++capabilityReads_;
        if (hang_) {
            setDelayedReply(true); // and never answer
            return {};
        }
        return caps_;
    }
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int timeout) {
        QMutexLocker lock(&mutex_);
        if (hang_) {
            setDelayedReply(true);
            return 0;
        }
        const uint id = replaces != 0 ? replaces : nextId_++;
        calls_.append(Call{app, replaces, icon, summary, body, actions, hints, timeout, id});
        return id;
    }
    void CloseNotification(uint id) {
        {
            QMutexLocker lock(&mutex_);
            closed_.append(id);
        }
        Q_EMIT NotificationClosed(id, 3);
    }

Q_SIGNALS:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);
    void NotificationReplied(uint id, const QString& text);

private:
    mutable QMutex mutex_;
    QStringList caps_;
    bool hang_ = false;
    QList<Call> calls_;
    QList<uint> closed_;
    int capabilityReads_ = 0;
    uint nextId_ = 1;
};

// The fake server on a bus connection of its own, served by a thread of its own, as a real server
// is a separate process: the program's calls and the server's signals really cross the bus.
class ServerOnTheBus {
public:
    explicit ServerOnTheBus(QStringList caps, bool hang = false)
        : name_(u"fake-notification-server-%1"_s.arg(++count_)) {
        server_ = new FakeNotificationServer(std::move(caps), hang);
        server_->moveToThread(&thread_);
        thread_.start();
        QMetaObject::invokeMethod(
            server_,
            [this] {
                QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_);
                registered_ = bus.registerObject(u"/org/freedesktop/Notifications"_s, server_,
                                                 QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) &&
                              bus.registerService(u"org.freedesktop.Notifications"_s);
            },
            Qt::BlockingQueuedConnection);
    }
    ~ServerOnTheBus() {
        QMetaObject::invokeMethod(
            server_,
            [this] {
                QDBusConnection bus(name_);
                bus.unregisterService(u"org.freedesktop.Notifications"_s);
                bus.unregisterObject(u"/org/freedesktop/Notifications"_s);
                QDBusConnection::disconnectFromBus(name_);
                delete server_;
            },
            Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    ServerOnTheBus(const ServerOnTheBus&) = delete;
    ServerOnTheBus& operator=(const ServerOnTheBus&) = delete;

    bool registered() const { return registered_; }
    const FakeNotificationServer& server() const { return *server_; }

    void invoke(uint id, const QString& action) {
        QMetaObject::invokeMethod(server_, [this, id, action] { Q_EMIT server_->ActionInvoked(id, action); });
    }
    void reply(uint id, const QString& text) {
        QMetaObject::invokeMethod(server_, [this, id, text] { Q_EMIT server_->NotificationReplied(id, text); });
    }
    void dismiss(uint id) {
        QMetaObject::invokeMethod(server_, [this, id] { Q_EMIT server_->NotificationClosed(id, 2); });
    }

private:
    static inline std::atomic<int> count_{0};
    QString name_;
    QThread thread_;
    FakeNotificationServer* server_ = nullptr; // deleted on its own thread
    bool registered_ = false;
};

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s) {
    return QTest::qWaitFor(condition, static_cast<int>(timeout.count()));
}

NotificationContent reminderContent() {
    NotificationContent c;
    c.identifier = u"entry.0F0E0D0C-0B0A-0908-0706-050403020100"_s;
    c.title = u"call Ann"_s;
    c.body = u"about the trip"_s;
    c.subtitle = u"every 3h · 2nd ring"_s;
    c.category = u"untilDone"_s;
    c.thread = u"plim.reminders"_s;
    c.entry = u"0F0E0D0C-0B0A-0908-0706-050403020100"_s;
    c.actions = {
        {u"done"_s, u"Done"_s, false, {}, {}},
        {u"dismiss"_s, u"Skip"_s, false, {}, {}},
        {u"snooze"_s, u"Snooze until…"_s, true, u"Snooze"_s, u"20m, tomorrow 9am, fri"_s},
    };
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

// --- The Notify call ---

struct NotifyCase {
    std::string name;
    QStringList caps;
    QString body; // the entry's further lines
    QStringList expectedActions;
    QString expectedBody;
    bool expectReplyHints;
};

void PrintTo(const NotifyCase& c, std::ostream* os) {
    *os << c.name;
}

class NotifyTest : public ::testing::TestWithParam<NotifyCase> {};

TEST_P(NotifyTest, SendsTheContentTheServerCanShow) {
    const NotifyCase& c = GetParam();
    ServerOnTheBus bus(c.caps);
    ASSERT_TRUE(bus.registered());
    DBusNotifier notifier;
    NotificationContent content = reminderContent();
    content.body = c.body;
    const auto id = postAndWait(notifier, content);
    ASSERT_TRUE(id.has_value());
    const auto calls = bus.server().calls();
    ASSERT_EQ(calls.size(), 1);
    const auto& call = calls[0];
    EXPECT_EQ(call.id, *id);
    EXPECT_EQ(call.app, u"plim"_s);
    EXPECT_EQ(call.replaces, 0u);
    EXPECT_EQ(call.summary, u"call Ann"_s);
    EXPECT_EQ(call.body, c.expectedBody);
    EXPECT_EQ(call.actions, c.expectedActions);
    EXPECT_EQ(call.timeout, -1);
    EXPECT_EQ(call.hints.value(u"desktop-entry"_s).toString(), u"plim"_s);
    EXPECT_EQ(call.hints.value(u"urgency"_s).typeId(), QMetaType::UChar);
    EXPECT_EQ(call.hints.value(u"urgency"_s).value<uchar>(), 1);
    EXPECT_EQ(call.hints.value(u"category"_s).toString(), u"reminder"_s);
    EXPECT_EQ(call.hints.value(u"x-dunst-stack-tag"_s).toString(), content.identifier);
    EXPECT_EQ(call.hints.contains(u"x-kde-reply-placeholder-text"_s), c.expectReplyHints);
    if (c.expectReplyHints) {
        EXPECT_EQ(call.hints.value(u"x-kde-reply-placeholder-text"_s).toString(), u"20m, tomorrow 9am, fri"_s);
        EXPECT_EQ(call.hints.value(u"x-kde-reply-submit-button-text"_s).toString(), u"Snooze"_s);
    }
}

INSTANTIATE_TEST_SUITE_P(
    DBusNotifier, NotifyTest,
    ::testing::Values(
        NotifyCase{"NoActions", {u"body"_s}, u"about the trip"_s, {}, u"every 3h · 2nd ring\nabout the trip"_s, false},
        NotifyCase{
            "Buttons",
            {u"actions"_s, u"body"_s},
            QString(),
            {u"default"_s, u"Open"_s, u"done"_s, u"Done"_s, u"dismiss"_s, u"Skip"_s, u"snooze"_s, u"Snooze until…"_s},
            u"every 3h · 2nd ring"_s,
            false},
        NotifyCase{"InlineReply",
                   {u"actions"_s, u"inline-reply"_s},
                   u"about the trip"_s,
                   {u"default"_s, u"Open"_s, u"done"_s, u"Done"_s, u"dismiss"_s, u"Skip"_s, u"inline-reply"_s,
                    u"Snooze until…"_s},
                   u"every 3h · 2nd ring\nabout the trip"_s,
                   true},
        NotifyCase{"MarkupIsEscaped",
                   {u"body-markup"_s},
                   u"<b>a</b> & b"_s,
                   {},
                   u"every 3h · 2nd ring\n&lt;b&gt;a&lt;/b&gt; &amp; b"_s,
                   false}),
    [](const auto& p) { return p.param.name; });

TEST(DBusNotifier, ReplacesClosesAndReadsCapabilitiesOnce) {
    ServerOnTheBus bus({u"actions"_s, u"persistence"_s});
    DBusNotifier notifier;
    const auto first = postAndWait(notifier, reminderContent());
    ASSERT_TRUE(first.has_value());
    const auto second = postAndWait(notifier, reminderContent(), *first);
    EXPECT_EQ(second, first);
    notifier.close(*first);
    EXPECT_TRUE(waitFor([&] { return bus.server().closed() == QList<uint>{*first}; }));
    std::optional<NotifierCapabilities> caps;
    notifier.capabilities([&](const NotifierCapabilities& c) { caps = c; });
    ASSERT_TRUE(waitFor([&] { return caps.has_value(); }));
    EXPECT_EQ(*caps, (NotifierCapabilities{true, true, false, true}));
    EXPECT_EQ(bus.server().capabilityReads(), 1);
    ASSERT_EQ(bus.server().calls().size(), 2);
    EXPECT_EQ(bus.server().calls()[1].replaces, *first);
}

TEST(DBusNotifier, ServerSignalsReachTheProgram) {
    ServerOnTheBus bus({u"actions"_s, u"inline-reply"_s});
    DBusNotifier notifier;
    QStringList heard;
    QObject::connect(&notifier, &Notifier::actionInvoked,
                     [&](quint32 id, const QString& action) { heard.append(u"%1 %2"_s.arg(id).arg(action)); });
    QObject::connect(&notifier, &Notifier::replied,
                     [&](quint32 id, const QString& text) { heard.append(u"%1 replied %2"_s.arg(id).arg(text)); });
    QObject::connect(&notifier, &Notifier::closed, [&](quint32 id) { heard.append(u"%1 closed"_s.arg(id)); });
    ASSERT_TRUE(postAndWait(notifier, reminderContent()).has_value());
    bus.invoke(1, u"inline-reply"_s); // the text comes on its own
    bus.invoke(1, u"done"_s);
    bus.reply(1, u"1h"_s);
    bus.dismiss(1);
    const QStringList expected{u"1 done"_s, u"1 replied 1h"_s, u"1 closed"_s};
    EXPECT_TRUE(waitFor([&] { return heard.size() >= expected.size(); }));
    EXPECT_EQ(heard, expected);
}

// --- A server that is missing or does not answer ---

TEST(DBusNotifier, NoServerMeansNotShownAndSaysSo) {
    DBusNotifier notifier;
    QElapsedTimer timer;
    timer.start();
    const auto id = postAndWait(notifier, reminderContent());
    EXPECT_EQ(id, std::nullopt);
    EXPECT_LT(timer.elapsed(), 2000);
    std::optional<NotifierCapabilities> caps;
    notifier.capabilities([&](const NotifierCapabilities& c) { caps = c; });
    ASSERT_TRUE(waitFor([&] { return caps.has_value(); }));
    EXPECT_FALSE(caps->available);
}

TEST(DBusNotifier, AHungServerNeverBlocks) {
    ServerOnTheBus bus({u"actions"_s}, /*hang=*/true);
    DBusNotifier notifier(QDBusConnection::sessionBus(), DBusNotifier::Options{300ms});
    bool answered = false;
    std::optional<quint32> id{42};
    QElapsedTimer timer;
    timer.start();
    notifier.post(reminderContent(), 0, [&](std::optional<quint32> got) {
        answered = true;
        id = got;
    });
    notifier.close(5);
    EXPECT_LT(timer.elapsed(), 100);
    EXPECT_FALSE(answered);
    ASSERT_TRUE(waitFor([&] { return answered; }));
    EXPECT_EQ(id, std::nullopt);
    EXPECT_GE(timer.elapsed(), 250);
}

} // namespace

#include "notifier_dbus_test.moc"
