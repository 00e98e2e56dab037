#pragma once

#include "base/Clock.h"
#include "delivery/SystemEvents.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QFileSystemWatcher;
class QSocketNotifier;
QT_END_NAMESPACE

namespace plim {

// A wall-clock deadline on a timerfd (CLOCK_REALTIME, absolute, cancelled when the clock is set).
// Unlike a monotonic timer it does not stop counting while the computer sleeps: a deadline passed
// during sleep fires at wake.
class RealtimeTimer final : public QObject {
    Q_OBJECT
public:
    explicit RealtimeTimer(QObject* parent = nullptr);
    ~RealtimeTimer() override;

    bool isValid() const { return fd_ >= 0; }
    // Replaces any earlier deadline; none disarms. False when the system refused.
    bool arm(std::optional<Instant> deadline);
    std::optional<Instant> deadline() const { return deadline_; }

Q_SIGNALS:
    void fired();
    // The wall clock was set; the deadline stays armed.
    void clockChanged();

private:
    void onReadable();

    int fd_ = -1;
    std::optional<Instant> deadline_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// The system's time events on Linux: the ring timer, local midnight, the wall clock being set, a
// new time zone (timedated, /etc/localtime) and wake from sleep (logind). Nothing polls.
class LinuxSystemEvents final : public SystemEvents {
    Q_OBJECT
public:
    // `clock` gives the local calendar that midnight is taken in.
    explicit LinuxSystemEvents(const Clock& clock, QObject* parent = nullptr);
    ~LinuxSystemEvents() override;

    void arm(std::optional<Instant> deadline) override;
    std::optional<Instant> ringDeadline() const;
    std::optional<Instant> midnightDeadline() const;

    // The first moment of the day after t's day.
    static Instant nextMidnight(Instant t, const Calendar& calendar);

private Q_SLOTS:
    void onPrepareForSleep(bool sleeping);
    void onTimedateProperties(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    void armMidnight();
    void clockWasSet();
    void zoneMayHaveChanged();
    void reportZoneChange();
    static QByteArray localtimeIdentity();

    const Clock& clock_;
    std::unique_ptr<RealtimeTimer> ring_;
    std::unique_ptr<RealtimeTimer> midnight_;
    std::unique_ptr<QFileSystemWatcher> etc_;
    QByteArray localtime_;
    bool clockChangePending_ = false;
    bool zoneChangePending_ = false;
};

} // namespace plim
