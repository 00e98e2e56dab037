// Feeds arbitrary text to the when-language. Every phrase must come back (no crash, no hang), and
// every accepted phrase must survive being written into a comment and read back.
//
// Input: byte 0 picks the zone, byte 1 the anchors, byte 2 the moment; the rest is the phrase (UTF-8).

#include "reminders/Reminder.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using namespace plim;

const std::array<Calendar, 4>& calendars() {
    static const std::array<Calendar, 4> all = {
        Calendar(QStringLiteral("Europe/Berlin")), Calendar(QStringLiteral("America/New_York")),
        Calendar(QStringLiteral("Australia/Sydney")), Calendar(QStringLiteral("UTC"))};
    return all;
}

constexpr std::array<Anchors, 4> kAnchors = {Anchors{510, 1230}, Anchors{0, 1439}, Anchors{1320, 360},
                                             Anchors{540, 540}};

// Moments around the year and its clock changes, some with seconds.
constexpr std::array<std::int64_t, 8> kNows = {
    1773220045,   // 2026-03-11 09:07:25 UTC
    1774745400,   // 2026-03-29 00:50 UTC: the spring change in Europe
    1792890000,   // 2026-10-25 01:00 UTC: the autumn change in Europe
    1772953230,   // 2026-03-08 07:00:30 UTC: the spring change in New York
    1798761599,   // 2026-12-31 23:59:59 UTC
    0,            // 1970-01-01
    253402300740, // 9999-12-31 23:59 UTC
    -62135596800, // 0001-01-01 00:00 UTC
};

[[noreturn]] void fail() {
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3 || size > 4096) {
        return 0;
    }
    const Calendar& cal = calendars()[data[0] % calendars().size()];
    const Anchors& anchors = kAnchors[data[1] % kAnchors.size()];
    const Instant now = instantFromSeconds(kNows[data[2] % kNows.size()]);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 3), static_cast<qsizetype>(size - 3));

    const auto reminder = Reminder::parse(text, now, anchors, cal);
    if (!reminder) {
        return 0;
    }
    if (reminder->routine && !reminder->rule) {
        fail();
    }
    // A stamp holds the wall clock to the minute, so the words read back to the same words and
    // rule; the instant is the same unless it fell in the second pass of a repeated hour.
    const QString words = reminder->clauses(cal);
    const auto split = Reminder::split(words, cal, anchors);
    if (!split.reminder || split.rest) {
        fail();
    }
    if (split.reminder->rule != reminder->rule || split.reminder->routine != reminder->routine ||
        split.reminder->clauses(cal) != words) {
        fail();
    }
    if (split.reminder->next != reminder->next &&
        cal.utcOffsetSeconds(split.reminder->next) == cal.utcOffsetSeconds(reminder->next)) {
        fail();
    }
    return 0;
}
