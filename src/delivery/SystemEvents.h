#pragma once

#include "base/Calendar.h"

#include <QObject>

#include <optional>

namespace plim {

// The one-shot ring timer and the system's time events. The timer runs on the wall clock, so a
// deadline that passes while the computer sleeps fires at wake, and a clock that is set fires
// `clockChanged` instead of leaving the timer at a stale moment.
class SystemEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SystemEvents() override = default;

    // Arms the timer for `deadline` (a past one fires at once), replacing any earlier one; none
    // disarms it.
    virtual void arm(std::optional<Instant> deadline) = 0;

Q_SIGNALS:
    void fired();
    void clockChanged();
    void dayChanged();
    void timeZoneChanged();
    void woke();
};

} // namespace plim
