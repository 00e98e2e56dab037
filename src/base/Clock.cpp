#include "base/Clock.h"

namespace plim {

Clock& Clock::system() {
    static SystemClock clock;
    return clock;
}

Instant SystemClock::now() const {
    return std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

} // namespace plim
