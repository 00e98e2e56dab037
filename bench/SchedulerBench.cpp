#include "SyntheticNotes.h"

#include "delivery/ReminderScheduler.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace plim;

// A server that shows everything at once and a timer that never fires: what is measured is the pass.
class QuietNotifier final : public Notifier {
public:
    void post(const NotificationContent&, quint32, Posted posted) override { posted(++next_); }
    void close(quint32) override {}
    void capabilities(CapabilitiesAnswer answer) override { answer({true, true, false, true}); }

private:
    quint32 next_ = 0;
};

class QuietEvents final : public SystemEvents {
public:
    void arm(std::optional<Instant>) override {}
};

// One pass over the file (one entry in ten with a reminder, most of them long overdue), with
// notifications on: candidates, ringing, upcoming rings, the timer and the pending deliveries.
// Arg 1 times the pass a key pays: the first day changed (an entry marked done or open again)
// before each pass; 0, a pass with nothing changed, as time passing runs it.
void BM_SchedulerPass(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plim.md"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            state.SkipWithError("cannot write the notes file");
            return;
        }
        file.write(bench::syntheticNotes(static_cast<int>(state.range(0))).toUtf8());
    }
    Preferences prefs(dir.filePath(QStringLiteral("plim.conf")));
    prefs.setValue(PreferenceKey::reminderDelivery, toRaw(ReminderDelivery::Notification), Preferences::Announce::No);
    const Calendar berlin(QStringLiteral("Europe/Berlin"));
    ManualClock clock(*berlin.date(2026, 3, 14, 12, 0), berlin);
    NotesStore store(prefs, clock, NotesStore::Options{path, false});
    store.load();
    ReminderScheduler scheduler(store, std::make_unique<QuietNotifier>(), std::make_unique<QuietEvents>());
    if (scheduler.pending().isEmpty()) {
        state.SkipWithError("nothing upcoming");
        return;
    }
    // The pass runs when timed, not when the store announces the change.
    QObject::disconnect(&store, nullptr, &scheduler, nullptr);
    const QUuid first = store.document().allEntries().at(0).id;
    for (auto _ : state) {
        if (state.range(1) != 0) {
            state.PauseTiming();
            store.toggleDone(first);
            state.ResumeTiming();
        }
        scheduler.reconcile();
        benchmark::DoNotOptimize(scheduler.pending());
    }
}

} // namespace

BENCHMARK(BM_SchedulerPass)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->ArgNames({"entries", "edited"})
    ->Unit(benchmark::kMillisecond);
