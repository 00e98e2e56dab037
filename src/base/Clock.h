#pragma once

#include "base/Calendar.h"

namespace plim {

// The one seam through which "now" is read, so tests can fix and advance time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Instant now() const = 0;
    // The user's calendar at this moment (zone and locale can change while the program runs).
    virtual Calendar calendar() const { return Calendar::system(); }

    // The process-wide system clock.
    static Clock& system();
};

class SystemClock final : public Clock {
public:
    Instant now() const override;
};

// A clock that stands still until told otherwise; for tests and benchmarks.
class ManualClock final : public Clock {
public:
    explicit ManualClock(Instant start, Calendar calendar = Calendar(QStringLiteral("UTC")))
        : now_(start)
        , calendar_(std::move(calendar)) {}
    Instant now() const override { return now_; }
    Calendar calendar() const override { return calendar_; }
    void set(Instant t) { now_ = t; }
    void advance(std::chrono::milliseconds d) { now_ += d; }
    void setCalendar(Calendar c) { calendar_ = std::move(c); }

private:
    Instant now_;
    Calendar calendar_;
};

} // namespace plim
