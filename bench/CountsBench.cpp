// The drawer's header ("N open · N now") as each open pays for it: after a capture, the counts the
// store keeps day by day, against counting the whole document as it was done before.
#include "SyntheticNotes.h"

#include "notes/Preferences.h"
#include "store/NotesStore.h"
#include "store/TextFile.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using namespace plim;

struct Fixture {
    explicit Fixture(int entries)
        : prefs(dir.filePath(QStringLiteral("plim.conf")))
        , clock(instantFromSeconds(1773475200), Calendar(QStringLiteral("Europe/Berlin"))) { // 2026-03-14 09:00
        const QString path = dir.filePath(QStringLiteral("plim.md"));
        writeTextFileAtomically(path, bench::syntheticNotes(entries));
        store = std::make_unique<NotesStore>(prefs, clock, NotesStore::Options{path, false});
        store->load();
        store->counts();
    }
    QTemporaryDir dir;
    Preferences prefs;
    ManualClock clock;
    std::unique_ptr<NotesStore> store;
};

template <typename Count>
void countsAfterCapture(benchmark::State& state, Count count) {
    Fixture f(static_cast<int>(state.range(0)));
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.store->append(QStringLiteral("captured thought %1").arg(++n), std::nullopt, f.clock.now());
        state.ResumeTiming();
        benchmark::DoNotOptimize(count(*f.store, f.clock));
    }
}

void BM_DrawerCounts(benchmark::State& state) {
    countsAfterCapture(state, [](const NotesStore& store, const Clock& clock) {
        const EntryCounts& counts = store.counts();
        return counts.open() + counts.ringing(clock.now());
    });
}

void BM_DrawerCountsWhole(benchmark::State& state) {
    countsAfterCapture(state, [](const NotesStore& store, const Clock& clock) {
        const Calendar calendar = clock.calendar();
        const Anchors anchors = store.preferences().anchors();
        return store.document().openCount(calendar, anchors) +
               store.document().ringing(clock.now(), calendar, anchors).size();
    });
}

} // namespace

BENCHMARK(BM_DrawerCounts)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawerCountsWhole)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
