#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QString>
#include <QVariant>

#include <chrono>

namespace plim {

// The desktop's settings portal on a bus: values read without waiting for them, and the changes
// it announces. Values come unwrapped (a variant, never a D-Bus variant inside one).
class PortalSettings : public QObject {
    Q_OBJECT
public:
    // Follows the portal's announced changes from now on; none when the bus is not connected.
    PortalSettings(const QDBusConnection& bus, std::chrono::milliseconds timeout, QObject* parent = nullptr);
    ~PortalSettings() override;

    // Asks for one setting; the answer comes as `valueRead`, and nothing comes when there is no
    // portal, no such setting, or no answer within the timeout.
    void read(const QString& group, const QString& key);

Q_SIGNALS:
    void valueRead(const QString& group, const QString& key, const QVariant& value);
    void changed(const QString& group, const QString& key, const QVariant& value);

private Q_SLOTS:
    // The portal's signal, connected by name.
    void onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void read(const QString& group, const QString& key, bool useReadOne);

    QDBusConnection bus_;
    std::chrono::milliseconds timeout_;
};

} // namespace plim
