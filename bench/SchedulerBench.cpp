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
    for (auto _ : state) {
        scheduler.reconcile();
        benchmark::DoNotOptimize(scheduler.pending());
    }
}

} // namespace

BENCHMARK(BM_SchedulerPass)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
