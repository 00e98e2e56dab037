#pragma once

#include "platform/linux/PortalHotKeys.h"

#include "support/FakeBusService.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QTimer>

#include <map>
#include <set>
#include <utility>

namespace plim::test {

using namespace Qt::Literals::StringLiterals;

inline const QString kPortalService = u"org.freedesktop.portal.Desktop"_s;
inline const QString kPortalPath = u"/org/freedesktop/portal/desktop"_s;
inline const QString kShortcutsInterface = u"org.freedesktop.portal.GlobalShortcuts"_s;
inline const QString kSettingsInterface = u"org.freedesktop.portal.Settings"_s;

// The desktop's portal: its settings, and its shortcuts answering each request through a Response
// signal on the request's path, as the real one does. Takes its shortcuts as `PortalShortcut`s: the
// program's own marshalling.
class FakePortal : public QDBusVirtualObject {
public:
    struct Options {
        bool answersSession = true;
        uint sessionResponse = 0;
        uint bindResponse = 0;
        std::set<QString> refused = {}; // ids the user turns down in the dialog
        // Keys the desktop binds to an id, whatever was asked for (what the user chose in its
        // settings); otherwise the preferred trigger.
        std::map<QString, QString> triggers = {};
        // The settings by group and key; without ReadOne, a portal from before it.
        std::map<std::pair<QString, QString>, QVariant> settings = {};
        bool readOneKnown = true;
    };

    // On the session bus, or the bus at `address`.
    explicit FakePortal(Options options, const QString& address = {})
        : options_(std::move(options))
        , service_(address) {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
        registered = service_.publish(kPortalService, kPortalPath, this);
    }

    // The user presses a bound shortcut.
    void activate(const QString& session, const QString& id, const QString& token = {}) {
        QVariantMap options;
        if (!token.isEmpty()) {
            options.insert(u"activation_token"_s, token);
        }
        QDBusMessage signal = QDBusMessage::createSignal(kPortalPath, kShortcutsInterface, u"Activated"_s);
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(0) << options;
        service_.bus().send(signal);
    }

    // The user gives shortcuts other keys in the desktop's settings.
    void changeShortcuts(const QString& session, const QList<PortalShortcut>& shortcuts) {
        QDBusMessage signal = QDBusMessage::createSignal(kPortalPath, kShortcutsInterface, u"ShortcutsChanged"_s);
        signal << QVariant::fromValue(QDBusObjectPath(session)) << QVariant::fromValue(shortcuts);
        service_.bus().send(signal);
    }

    // The user changes a setting.
    void changeSetting(const QString& group, const QString& key, const QVariant& value) {
        QDBusMessage signal = QDBusMessage::createSignal(kPortalPath, kSettingsInterface, u"SettingChanged"_s);
        signal << group << key << QVariant::fromValue(QDBusVariant(value));
        service_.bus().send(signal);
    }
    // Sends the answers to reads kept back while `holdAnswers`.
    void answerHeld() {
        for (const QDBusMessage& reply : std::exchange(held_, {})) {
            service_.bus().send(reply);
        }
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QList<QVariant> args = message.arguments();
        const QString sender = message.service().mid(1).replace(u'.', u'_');
        const auto requestPath = [&](const QVariant& options) {
            return u"%1/request/%2/%3"_s.arg(kPortalPath, sender,
                                             qdbus_cast<QVariantMap>(options).value(u"handle_token"_s).toString());
        };
        QString request;
        if (message.interface() == kSettingsInterface && args.size() == 2) {
            const bool readOne = message.member() == u"ReadOne";
            const auto found = options_.settings.find({args[0].toString(), args[1].toString()});
            if (readOne && !options_.readOneKnown) {
                connection.send(message.createErrorReply(QDBusError::UnknownMethod, u"No such method"_s));
                return true;
            }
            ++reads;
            if (found == options_.settings.end()) {
                connection.send(message.createErrorReply(u"org.freedesktop.portal.Error.NotFound"_s, u"Not found"_s));
                return true;
            }
            // Read wraps the value in one more variant.
            const QVariant value = readOne ? found->second : QVariant::fromValue(QDBusVariant(found->second));
            held_.append(message.createReply(QVariant::fromValue(QDBusVariant(value))));
            if (!holdAnswers) {
                answerHeld();
            }
            return true;
        }
        if (message.interface() == kShortcutsInterface && message.member() == u"CreateSession" && args.size() == 1) {
            const QString session = u"%1/session/%2/%3"_s.arg(
                kPortalPath, sender, qdbus_cast<QVariantMap>(args[0]).value(u"session_handle_token"_s).toString());
            sessions.append(session);
            request = requestPath(args[0]);
            if (options_.answersSession) {
                respond(request, options_.sessionResponse, {{u"session_handle"_s, session}});
            }
        } else if (message.interface() == kShortcutsInterface && message.member() == u"BindShortcuts" &&
                   args.size() == 4) {
            const auto shortcuts = qdbus_cast<QList<PortalShortcut>>(args[1]);
            binds.append(shortcuts);
            bindSessions.append(args[0].value<QDBusObjectPath>().path());
            QList<PortalShortcut> bound;
            for (const PortalShortcut& s : shortcuts) {
                if (options_.refused.count(s.id) == 0) {
                    const auto chosen = options_.triggers.find(s.id);
                    const QVariant keys = chosen != options_.triggers.end()
                                              ? QVariant(chosen->second)
                                              : s.properties.value(u"preferred_trigger"_s);
                    bound.append(
                        {s.id,
                         {{u"description"_s, s.properties.value(u"description"_s)}, {u"trigger_description"_s, keys}}});
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
    int reads = 0;            // of settings found or not
    bool holdAnswers = false; // reads are answered once told

private:
    // After the call's reply, as a real portal answers.
    void respond(const QString& request, uint response, const QVariantMap& results) {
        QTimer::singleShot(0, this, [bus = service_.bus(), request, response, results] {
            QDBusMessage signal =
                QDBusMessage::createSignal(request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
            signal << response << results;
            bus.send(signal);
        });
    }

    Options options_;
    QList<QDBusMessage> held_;
    FakeBusService service_;
};

} // namespace plim::test
