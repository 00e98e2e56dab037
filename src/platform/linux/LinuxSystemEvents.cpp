#include "platform/linux/LinuxSystemEvents.h"

#include <QDBusConnection>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QStringList>

#include <cerrno>
#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>
#include <utility>

namespace plim {

namespace {

const QString kLocaltime = QStringLiteral("/etc/localtime");

timespec toTimespec(Instant t) {
    const std::int64_t ms = t.time_since_epoch().count();
    if (ms <= 0) {
        return timespec{0, 1}; // all zero would disarm; a moment long past fires at once
    }
    return timespec{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000L};
}

} // namespace

// --- RealtimeTimer ---

RealtimeTimer::RealtimeTimer(QObject* parent)
    : QObject(parent)
    , fd_(::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC)) {
    if (fd_ < 0) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &RealtimeTimer::onReadable);
}

RealtimeTimer::~RealtimeTimer() {
    notifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool RealtimeTimer::arm(std::optional<Instant> deadline) {
    deadline_ = deadline;
    if (fd_ < 0) {
        return false;
    }
    itimerspec when{};
    if (deadline) {
        when.it_value = toTimespec(*deadline);
    }
    if (::timerfd_settime(fd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &when, nullptr) == 0) {
        return true;
    }
    // A kernel that cannot tell of clock changes still keeps the wall-clock deadline.
    return errno == EINVAL && ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &when, nullptr) == 0;
}

void RealtimeTimer::onReadable() {
    std::uint64_t expirations = 0;
    const ssize_t n = ::read(fd_, &expirations, sizeof expirations);
    if (n == static_cast<ssize_t>(sizeof expirations)) {
        deadline_.reset();
        Q_EMIT fired();
        return;
    }
    if (n < 0 && errno == ECANCELED) {
        // Arming again clears the cancellation; a deadline that the clock jumped past fires now.
        arm(deadline_);
        Q_EMIT clockChanged();
    }
}

// --- LinuxSystemEvents ---

LinuxSystemEvents::LinuxSystemEvents(const Clock& clock, QObject* parent)
    : SystemEvents(parent)
    , clock_(clock)
    , ring_(std::make_unique<RealtimeTimer>())
    , midnight_(std::make_unique<RealtimeTimer>())
    , etc_(std::make_unique<QFileSystemWatcher>()) {
    connect(ring_.get(), &RealtimeTimer::fired, this, &SystemEvents::fired);
    connect(ring_.get(), &RealtimeTimer::clockChanged, this, &LinuxSystemEvents::clockWasSet);
    connect(midnight_.get(), &RealtimeTimer::fired, this, [this] {
        armMidnight();
        Q_EMIT dayChanged();
    });
    connect(midnight_.get(), &RealtimeTimer::clockChanged, this, &LinuxSystemEvents::clockWasSet);
    armMidnight();

    // A new zone replaces the /etc/localtime link; a watch on the link itself would follow it to the
    // zone file, which does not change.
    localtime_ = localtimeIdentity();
    etc_->addPath(QFileInfo(kLocaltime).absolutePath());
    connect(etc_.get(), &QFileSystemWatcher::directoryChanged, this, &LinuxSystemEvents::zoneMayHaveChanged);

    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        // No sender named, so nothing waits for the bus to look the owner up.
        system.connect(QString(), QStringLiteral("/org/freedesktop/login1"),
                       QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                       SLOT(onPrepareForSleep(bool)));
        system.connect(QString(), QStringLiteral("/org/freedesktop/timedate1"),
                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"), this,
                       SLOT(onTimedateProperties(QString, QVariantMap, QStringList)));
    }
}

LinuxSystemEvents::~LinuxSystemEvents() = default;

void LinuxSystemEvents::arm(std::optional<Instant> deadline) {
    ring_->arm(deadline);
}

std::optional<Instant> LinuxSystemEvents::ringDeadline() const {
    return ring_->deadline();
}

std::optional<Instant> LinuxSystemEvents::midnightDeadline() const {
    return midnight_->deadline();
}

Instant LinuxSystemEvents::nextMidnight(Instant t, const Calendar& calendar) {
    // Counted from noon, which every day has.
    const auto tomorrow = calendar.addingDays(calendar.settingTime(t, 12 * 60), 1);
    if (!tomorrow) {
        return t + std::chrono::hours(24);
    }
    return calendar.startOfDay(*tomorrow);
}

void LinuxSystemEvents::armMidnight() {
    midnight_->arm(nextMidnight(clock_.now(), clock_.calendar()));
}

void LinuxSystemEvents::clockWasSet() {
    // Both timers report the same change.
    if (std::exchange(clockChangePending_, true)) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            clockChangePending_ = false;
            armMidnight();
            Q_EMIT clockChanged();
        },
        Qt::QueuedConnection);
}

void LinuxSystemEvents::onPrepareForSleep(bool sleeping) {
    if (!sleeping) {
        Q_EMIT woke();
    }
}

void LinuxSystemEvents::onTimedateProperties(const QString& interface, const QVariantMap& changed,
                                             const QStringList& invalidated) {
    const QString zone = QStringLiteral("Timezone");
    if (interface == u"org.freedesktop.timedate1" && (changed.contains(zone) || invalidated.contains(zone))) {
        reportZoneChange();
    }
}

QByteArray LinuxSystemEvents::localtimeIdentity() {
    QByteArray identity = QFileInfo(kLocaltime).symLinkTarget().toUtf8();
    QFile file(kLocaltime);
    if (file.open(QIODevice::ReadOnly)) {
        identity += '\0';
        identity += file.read(256 * 1024);
    }
    return identity;
}

void LinuxSystemEvents::zoneMayHaveChanged() {
    const QByteArray now = localtimeIdentity();
    if (now == localtime_) {
        return; // another file in /etc
    }
    reportZoneChange();
}

void LinuxSystemEvents::reportZoneChange() {
    localtime_ = localtimeIdentity();
    if (std::exchange(zoneChangePending_, true)) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            zoneChangePending_ = false;
            armMidnight();
            Q_EMIT timeZoneChanged();
        },
        Qt::QueuedConnection);
}

} // namespace plim
