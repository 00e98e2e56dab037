// The drawer's header ("N open · N now") as each open pays for it after a change of one day: the
// counts kept day by day (what the store keeps), against counting the whole document.
#include "SyntheticNotes.h"

#include "notes/NotesDocument.h"
#include "reminders/EntryReminders.h"
#include "store/EntryCounts.h"

#include <benchmark/benchmark.h>

namespace {

using namespace plim;

template <typename Count>
void countsAfterAChange(benchmark::State& state, Count count) {
    NotesDocument doc = NotesDocument::parse(bench::syntheticNotes(static_cast<int>(state.range(0))));
    const Calendar calendar(QStringLiteral("Europe/Berlin"));
    const Anchors anchors;
    const Instant now = *calendar.date(2026, 3, 14, 12, 0);
    EntryCounts counts;
    counts.update(doc, calendar, anchors);
    for (auto _ : state) {
        state.PauseTiming();
        // A capture: today's day detached and one entry more.
        doc.sections.first().items.append(NotesDocument::parseEntry(u"[ ] captured  <!-- 12:00 -->"));
        doc.sections.first().items.removeLast();
        state.ResumeTiming();
        benchmark::DoNotOptimize(count(doc, counts, calendar, anchors, now));
    }
}

void BM_DrawerCounts(benchmark::State& state) {
    countsAfterAChange(state, [](const NotesDocument& doc, EntryCounts& counts, const Calendar& calendar,
                                 const Anchors& anchors, Instant now) {
        counts.update(doc, calendar, anchors);
        return counts.open() + counts.ringing(now);
    });
}

void BM_DrawerCountsWhole(benchmark::State& state) {
    countsAfterAChange(state, [](const NotesDocument& doc, EntryCounts&, const Calendar& calendar,
                                 const Anchors& anchors, Instant now) {
        return EntryReminders::openCount(doc, calendar, anchors) +
               EntryReminders::ringing(doc, now, calendar, anchors).size();
    });
}

} // namespace

BENCHMARK(BM_DrawerCounts)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawerCountsWhole)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
