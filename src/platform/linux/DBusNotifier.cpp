#include "platform/linux/DBusNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <memory>
#include <utility>

namespace plim {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kInlineReply = QStringLiteral("inline-reply");

constexpr uchar kNormalUrgency = 1;

QDBusMessage call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

} // namespace

DBusNotifier::DBusNotifier(QObject* parent)
    : DBusNotifier(QDBusConnection::sessionBus(), Options{}, parent) {}

DBusNotifier::DBusNotifier(const QDBusConnection& bus, Options options, QObject* parent)
    : Notifier(parent)
    , bus_(bus)
    , options_(options) {
    if (!bus_.isConnected()) {
        return;
    }
    // No sender named: naming the service would make Qt ask the bus for its owner and wait for
    // the answer. Only our own ids are acted on.
    bus_.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(onActionInvoked(uint, QString)));
    bus_.connect(QString(), kPath, kInterface, QStringLiteral("NotificationReplied"), this,
                 SLOT(onReplied(uint, QString)));
    bus_.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
    // Another server may bring other capabilities.
    auto* watcher = new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] { serverCapabilities_.reset(); });
}

DBusNotifier::~DBusNotifier() {
    if (shown_.isEmpty() || !bus_.isConnected()) {
        return;
    }
    for (const quint32 id : std::as_const(shown_)) {
        QDBusMessage message = call(QStringLiteral("CloseNotification"));
        message << uint{id};
        message.setAutoStartService(false);
        bus_.send(message);
    }
    // The program may end right after: one answer from the bus itself means the messages before it
    // have left, whatever the notification server does. The bus answers at once, or the wait is short.
    const QDBusMessage ping =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    bus_.call(ping, QDBus::Block, 1000);
}

NotifierCapabilities DBusNotifier::capabilitiesFrom(const QStringList& serverCapabilities) {
    NotifierCapabilities caps;
    caps.available = true;
    caps.actions = serverCapabilities.contains(QStringLiteral("actions"));
    caps.inlineReply = caps.actions && serverCapabilities.contains(kInlineReply);
    caps.persistence = serverCapabilities.contains(QStringLiteral("persistence"));
    return caps;
}

void DBusNotifier::capabilities(CapabilitiesAnswer answer) {
    if (serverCapabilities_) {
        // Answered later all the same, so callers see one behaviour.
        QMetaObject::invokeMethod(
            this,
            [this, answer = std::move(answer)] {
                answer(capabilitiesFrom(serverCapabilities_.value_or(QStringList())));
            },
            Qt::QueuedConnection);
        return;
    }
    waiting_.append(std::move(answer));
    readCapabilities();
}

void DBusNotifier::readCapabilities() {
    if (reading_) {
        return;
    }
    reading_ = true;
    const QDBusPendingCall pending =
        bus_.asyncCall(call(QStringLiteral("GetCapabilities")), static_cast<int>(options_.timeout.count()));
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        reading_ = false;
        const QDBusPendingReply<QStringList> reply = *w;
        NotifierCapabilities caps;
        if (!reply.isError()) {
            serverCapabilities_ = reply.value();
            caps = capabilitiesFrom(*serverCapabilities_);
        }
        const auto answers = std::exchange(waiting_, {});
        for (const CapabilitiesAnswer& answer : answers) {
            answer(caps);
        }
    });
}

void DBusNotifier::post(const NotificationContent& content, quint32 replaces, Posted posted) {
    capabilities([this, content, replaces, posted = std::move(posted)](const NotifierCapabilities& caps) {
        if (!caps.available) {
            posted(std::nullopt);
            return;
        }
        send(content, replaces, posted);
    });
}

void DBusNotifier::send(const NotificationContent& content, quint32 replaces, const Posted& posted) {
    const QStringList server = serverCapabilities_.value_or(QStringList());
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << QStringLiteral("plim") << uint{replaces} << options_.icon << content.title << bodyText(content, server)
            << actionList(content, server) << hints(content, server, options_.icon) << int{-1};
    // Past the time limit the notification counts as not shown, but the answer is still awaited:
    // a server that shows it late gives its id then, so it can be withdrawn or answered.
    const auto wait = std::min<std::int64_t>((options_.timeout + options_.lateAnswer).count(), INT_MAX);
    const QDBusPendingCall pending = bus_.asyncCall(message, static_cast<int>(wait));
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    struct Answer {
        bool late = false;
        bool given = false;
    };
    auto answer = std::make_shared<Answer>();
    QTimer::singleShot(options_.timeout, watcher, [posted, answer] {
        if (!answer->given) {
            answer->late = true;
            posted(std::nullopt);
        }
    });
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, posted, answer](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        answer->given = true;
        const QDBusPendingReply<uint> reply = *w;
        if (!reply.isError() && reply.value() != 0) {
            shown_.insert(reply.value());
            posted(reply.value());
        } else if (!answer->late) {
            posted(std::nullopt);
        }
    });
}

void DBusNotifier::close(quint32 serverId) {
    shown_.remove(serverId);
    if (serverId == 0 || !bus_.isConnected()) {
        return;
    }
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << uint{serverId};
    // Nothing to wait for, and no server to start just to close something.
    message.setAutoStartService(false);
    bus_.send(message);
}

QStringList DBusNotifier::actionList(const NotificationContent& content, const QStringList& serverCapabilities) {
    const NotifierCapabilities caps = capabilitiesFrom(serverCapabilities);
    if (!caps.actions) {
        return {};
    }
    QStringList list{QStringLiteral("default"), QStringLiteral("Open")};
    for (const NotificationAction& action : content.actions) {
        list << (action.textInput && caps.inlineReply ? kInlineReply : action.identifier) << action.title;
    }
    return list;
}

QVariantMap DBusNotifier::hints(const NotificationContent& content, const QStringList& serverCapabilities,
                                const QString& icon) {
    QVariantMap map{
        {QStringLiteral("desktop-entry"), QStringLiteral("plim")},
        {QStringLiteral("urgency"), QVariant::fromValue(kNormalUrgency)},
        {QStringLiteral("image-path"), icon},
    };
    if (content.thread == kRemindersThread) {
        // No category of the notification standard fits; a vendor one lets the desktop tell them apart.
        map.insert(QStringLiteral("category"), QStringLiteral("x-plim.reminder"));
        // The sound theme's own sound for an alarm that went off; servers without sound ignore it.
        map.insert(QStringLiteral("sound-name"), QStringLiteral("alarm-clock-elapsed"));
    }
    // One stack per subject: servers that honour the tag show only the newest notification of it.
    if (!content.identifier.isEmpty()) {
        map.insert(QStringLiteral("x-dunst-stack-tag"), content.identifier);
    }
    if (capabilitiesFrom(serverCapabilities).inlineReply) {
        for (const NotificationAction& action : content.actions) {
            if (action.textInput) {
                map.insert(QStringLiteral("x-kde-reply-placeholder-text"), action.placeholder);
                map.insert(QStringLiteral("x-kde-reply-submit-button-text"), action.textInputButton);
                break;
            }
        }
    }
    return map;
}

QString DBusNotifier::bodyText(const NotificationContent& content, const QStringList& serverCapabilities) {
    QStringList lines;
    if (!content.subtitle.isEmpty()) {
        lines.append(content.subtitle);
    }
    if (!content.body.isEmpty()) {
        lines.append(content.body);
    }
    const QString text = lines.join(u'\n');
    // Where the server reads markup, the user's text must not be taken for it.
    return serverCapabilities.contains(QStringLiteral("body-markup")) ? text.toHtmlEscaped() : text;
}

void DBusNotifier::onActionInvoked(uint id, const QString& action) {
    if (action == kInlineReply) {
        return; // the text arrives on its own
    }
    Q_EMIT actionInvoked(id, action);
}

void DBusNotifier::onReplied(uint id, const QString& text) {
    Q_EMIT replied(id, text);
}

void DBusNotifier::onClosed(uint id, uint /*reason*/) {
    shown_.remove(id);
    Q_EMIT closed(id);
}

} // namespace plim
