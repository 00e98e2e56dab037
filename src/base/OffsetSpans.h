#pragma once

#include "base/Calendar.h"

#include <QString>

#include <cstdint>
#include <map>

namespace plim {

// Stretches of time over which a zone keeps one UTC offset, learned from ICU as they are needed:
// inside one, wall-clock fields are plain arithmetic. Reading thousands of reminder stamps then
// costs a lookup each instead of a full ICU field computation.
class OffsetSpans {
public:
    using Span = Calendar::OffsetSpan;

    // The span holding t, or nothing where the zone's rules are not simple enough.
    const Span* at(const icu::BasicTimeZone& zone, std::int64_t t);

private:
    static constexpr std::int64_t kLimit = 100'000'000'000'000; // about ±3 000 years around 1970
    static constexpr std::size_t kMaxSpans = 4096;
    std::map<std::int64_t, Span> spans_;
};

// The spans of the last few zones this thread used (a working calendar and UTC side by side must
// not evict each other).
OffsetSpans& spansFor(const QString& zone);

} // namespace plim
