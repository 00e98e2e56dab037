#include "base/OffsetSpans.h"

#include <unicode/basictz.h>
#include <unicode/tztrans.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace plim {

const OffsetSpans::Span* OffsetSpans::at(const icu::BasicTimeZone& zone, std::int64_t t) {
    if (t < -kLimit || t > kLimit) {
        return nullptr;
    }
    auto it = spans_.upper_bound(t);
    if (it != spans_.begin()) {
        const Span& span = std::prev(it)->second;
        if (t < span.to) {
            return &span;
        }
    }
    if (spans_.size() >= kMaxSpans) {
        spans_.clear();
    }
    UErrorCode status = U_ZERO_ERROR;
    int32_t raw = 0;
    int32_t dst = 0;
    zone.getOffset(static_cast<UDate>(t), false, raw, dst, status);
    if (U_FAILURE(status)) {
        return nullptr;
    }
    icu::TimeZoneTransition transition;
    Span span{std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(), raw + dst};
    if (zone.getPreviousTransition(static_cast<UDate>(t), true, transition)) {
        span.from = static_cast<std::int64_t>(transition.getTime());
    }
    if (zone.getNextTransition(static_cast<UDate>(t), false, transition)) {
        span.to = static_cast<std::int64_t>(transition.getTime());
    }
    if (span.from > t || span.to <= t) {
        return nullptr;
    }
    return &spans_.insert_or_assign(span.from, span).first->second;
}

OffsetSpans& spansFor(const QString& zone) {
    struct Slot {
        QString zone;
        std::unique_ptr<OffsetSpans> spans;
    };
    thread_local std::vector<Slot> slots;
    for (auto it = slots.begin(); it != slots.end(); ++it) {
        if (it->zone == zone) {
            std::rotate(slots.begin(), it, it + 1);
            return *slots.front().spans;
        }
    }
    if (slots.size() >= 4) {
        slots.pop_back();
    }
    slots.insert(slots.begin(), Slot{zone, std::make_unique<OffsetSpans>()});
    return *slots.front().spans;
}

} // namespace plim
