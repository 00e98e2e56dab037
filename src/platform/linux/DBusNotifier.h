#pragma once

#include "delivery/Notifier.h"

#include <QDBusConnection>
#include <QSet>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <optional>

namespace plim {

// The desktop's notification server (org.freedesktop.Notifications) on the session bus. Nothing
// here waits for the server: every call is asynchronous with a time limit, so a missing or hung
// server costs nothing but the notification.
class DBusNotifier final : public Notifier {
    Q_OBJECT
public:
    struct Options {
        // How long a call may wait for the server's answer.
        std::chrono::milliseconds timeout{5000};
        // How long after that a notification's id is still taken: a busy server may show it late.
        std::chrono::milliseconds lateAnswer{120000};
        // The program's icon: a name in the desktop's icon theme, or a file:// address.
        QString icon = QStringLiteral("plim");
    };

    // The session bus.
    explicit DBusNotifier(QObject* parent = nullptr);
    DBusNotifier(const QDBusConnection& bus, Options options, QObject* parent = nullptr);
    // Takes what it showed off the screen: once the program is gone, answers to it reach no one.
    ~DBusNotifier() override;

    void post(const NotificationContent& content, quint32 replaces, Posted posted) override;
    void close(quint32 serverId) override;
    // Read from the server once; a failed read is tried again on the next call.
    void capabilities(CapabilitiesAnswer answer) override;

    // The pieces of a Notify call, for a server that reports `serverCapabilities`.
    static QStringList actionList(const NotificationContent& content, const QStringList& serverCapabilities);
    static QVariantMap hints(const NotificationContent& content, const QStringList& serverCapabilities,
                             const QString& icon);
    static QString bodyText(const NotificationContent& content, const QStringList& serverCapabilities);
    static NotifierCapabilities capabilitiesFrom(const QStringList& serverCapabilities);

private Q_SLOTS:
    // Signals of the server, connected by name.
    void onActionInvoked(uint id, const QString& action);
    void onReplied(uint id, const QString& text);
    void onClosed(uint id, uint reason);

private:
    void readCapabilities();
    void send(const NotificationContent& content, quint32 replaces, const Posted& posted);

    QDBusConnection bus_;
    Options options_;
    std::optional<QStringList> serverCapabilities_;
    bool reading_ = false;
    QList<CapabilitiesAnswer> waiting_;
    QSet<quint32> shown_; // what the server showed for us and has not closed
};

} // namespace plim
