#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QString>

#include <type_traits>

namespace plim::test {

// What a fake D-Bus service stands on: a bus connection of its own, so the program's calls and the
// service's signals really cross the bus, with the service's name and object registered while it
// lives. The fake shares the test's thread, which is sound because the program never waits for it.
class FakeBusService {
public:
    // On the session bus, or the bus at `address`.
    explicit FakeBusService(const QString& address = {})
        : name_(QStringLiteral("fake-service-%1").arg(++count_)) {
        if (address.isEmpty()) {
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_);
        } else {
            QDBusConnection::connectToBus(address, name_);
        }
    }
    ~FakeBusService() {
        QDBusConnection bus(name_);
        if (!service_.isEmpty()) {
            bus.unregisterService(service_);
            bus.unregisterObject(path_);
        }
        QDBusConnection::disconnectFromBus(name_);
    }
    FakeBusService(const FakeBusService&) = delete;
    FakeBusService& operator=(const FakeBusService&) = delete;

    // Called once the object can answer: its slots and signals, or all messages to a virtual one.
    template <typename Object>
    bool publish(const QString& service, const QString& path, Object* object) {
        service_ = service;
        path_ = path;
        QDBusConnection bus(name_);
        if constexpr (std::is_base_of_v<QDBusVirtualObject, Object>) {
            return bus.registerVirtualObject(path, object) && bus.registerService(service);
        } else {
            return bus.registerObject(path, object,
                                      QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) &&
                   bus.registerService(service);
        }
    }

    QDBusConnection bus() const { return QDBusConnection(name_); }

private:
    static inline int count_ = 0;
    QString name_;
    QString service_;
    QString path_;
};

} // namespace plim::test
