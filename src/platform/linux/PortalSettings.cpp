#include "platform/linux/PortalSettings.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace plim {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
// What a portal older than ReadOne answers to it.
const QString kUnknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");

// Read answers a variant inside a variant, ReadOne and SettingChanged a plain one.
QVariant unwrapped(QVariant value) {
    while (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
        value = qvariant_cast<QDBusVariant>(value).variant();
    }
    return value;
}

} // namespace

PortalSettings::PortalSettings(const QDBusConnection& bus, std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent)
    , bus_(bus)
    , timeout_(timeout) {
    if (!bus_.isConnected()) {
        return;
    }
    // No sender named: naming the service would make Qt ask the bus for its owner and wait.
    // The slot is matched by type name, which Qt knows only once the type is registered.
    qRegisterMetaType<QDBusVariant>();
    bus_.connect(QString(), kPath, kInterface, QStringLiteral("SettingChanged"), this,
                 SLOT(onSettingChanged(QString, QString, QDBusVariant)));
}

PortalSettings::~PortalSettings() = default;

void PortalSettings::read(const QString& group, const QString& key) {
    if (bus_.isConnected()) {
        read(group, key, true);
    }
}

void PortalSettings::read(const QString& group, const QString& key, bool useReadOne) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        kService, kPath, kInterface, useReadOne ? QStringLiteral("ReadOne") : QStringLiteral("Read"));
    message << group << key;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, static_cast<int>(timeout_.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, group, key, useReadOne](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusMessage reply = w->reply();
                if (reply.type() == QDBusMessage::ErrorMessage) {
                    // No portal, or no such setting. An old portal knows only Read.
                    if (useReadOne && reply.errorName() == kUnknownMethod) {
                        read(group, key, false);
                    }
                    return;
                }
                if (!reply.arguments().isEmpty()) {
                    Q_EMIT valueRead(group, key, unwrapped(reply.arguments().constFirst()));
                }
            });
}

void PortalSettings::onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value) {
    Q_EMIT changed(group, key, unwrapped(value.variant()));
}

} // namespace plim
