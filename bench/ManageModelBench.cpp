#include "NoDesktop.h"
#include "SyntheticNotes.h"

#include "base/Clock.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"
#include "ui/manage/ManageModel.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace plim;
using bench::NoDesktop;
using bench::NoLogin;

// The notes window over a notes file of `entries` entries, on the morning of its newest day.
struct Window {
    explicit Window(int entries)
        : prefs(dir.filePath(QStringLiteral("plim.conf")))
        , clock(*Calendar(QStringLiteral("Europe/Berlin")).date(2026, 3, 14, 12, 0),
                Calendar(QStringLiteral("Europe/Berlin"))) {
        const QString path = dir.filePath(QStringLiteral("plim.md"));
        QFile file(path);
        ok = file.open(QIODevice::WriteOnly) && file.write(bench::syntheticNotes(entries).toUtf8()) > 0;
        file.close();
        store = std::make_unique<NotesStore>(prefs, clock, NotesStore::Options{path, false});
        store->load();
        model = std::make_unique<ManageModel>(*store, desktop, login);
        ok = ok && !model->list().sections().isEmpty();
    }

    QTemporaryDir dir;
    Preferences prefs;
    ManualClock clock;
    NoDesktop desktop;
    NoLogin login;
    std::unique_ptr<NotesStore> store;
    std::unique_ptr<ManageModel> model;
    bool ok = false;
};

// What every change of the notes file costs the window: re-reading the sections, their reminders
// and the lists.
void BM_ManageReload(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    if (!w.ok) {
        state.SkipWithError("no notes file");
        return;
    }
    for (auto _ : state) {
        w.model->reload();
        benchmark::DoNotOptimize(w.model->list().visibleSections());
    }
    state.counters["visible"] = static_cast<double>(w.model->list().entries().size());
}

// Opening the window for the first time: nothing of an earlier load is known.
void BM_ManageFirstLoad(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ManageModel model(*w.store, w.desktop, w.login);
        benchmark::DoNotOptimize(model.list().visibleSectionCount());
    }
}

// The Later view's reload: every waiting entry sorted by when it comes back.
void BM_ManageReloadLater(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    w.model->showLater();
    for (auto _ : state) {
        w.model->reload();
        benchmark::DoNotOptimize(w.model->list().visibleSections());
    }
    state.counters["visible"] = static_cast<double>(w.model->list().entries().size());
}

// One keystroke in the filter field: the list rebuilt with a new filter.
void BM_ManageFilterKeystroke(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    const QString filters[] = {QStringLiteral("m"), QStringLiteral("mi"), QStringLiteral("mil"),
                               QStringLiteral("milk")};
    w.model->setFilter(filters[0]);
    std::size_t i = 0;
    for (auto _ : state) {
        w.model->setFilter(filters[++i % 4]);
        benchmark::DoNotOptimize(w.model->list().visibleSections());
    }
}

// Runs `prepare` outside the timing, then what each iteration measures. The model is cut off from
// the store's announcements so that a change can be made without its reload.
template <typename Prepare, typename Measure>
void timed(benchmark::State& state, Window& w, Prepare prepare, Measure measure) {
    QObject::disconnect(w.store.get(), &NotesStore::changed, w.model.get(), nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        prepare();
        state.ResumeTiming();
        measure();
        benchmark::DoNotOptimize(w.model->list().visibleSections());
    }
}

// A reload after a change through the store (an entry marked done, then open again): every other
// day's items are shared with the previous load.
void BM_ManageReloadAfterChange(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    const QUuid id = w.model->list().entries().at(w.model->list().entries().size() / 2).id;
    timed(
        state, w, [&] { w.store->toggleDone(id); }, [&] { w.model->reload(); });
}

// A reload after the file was read again (an outside edit, undo): nothing is shared.
void BM_ManageReloadAfterReread(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    const QUuid id = w.model->list().entries().at(w.model->list().entries().size() / 2).id;
    timed(
        state, w,
        [&] {
            w.store->toggleDone(id);
            w.store->undo();
        },
        [&] { w.model->reload(); });
}

// The first keystroke in the filter field after a change of the file: nothing of an earlier filter
// can be reused.
void BM_ManageFirstKeystrokeAfterChange(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    const QUuid id = w.model->list().entries().at(w.model->list().entries().size() / 2).id;
    timed(
        state, w,
        [&] {
            w.model->setFilter(QString());
            w.store->toggleDone(id);
            w.model->reload();
        },
        [&] { w.model->setFilter(QStringLiteral("m")); });
}

// Moving the selection one row: what an arrow key costs.
void BM_ManageMoveSelection(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    int delta = 1;
    for (auto _ : state) {
        w.model->moveSelection(delta);
        delta = -delta;
    }
}

// A window that shows every row of the list, done entries too, with the day the entry was written
// on and whether that is today.
void BM_ManageLabelRows(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    w.model->setShowCompleted(true);
    const QList<ManageModel::Row> rows = w.model->list().rows();
    for (auto _ : state) {
        qsizetype today = 0;
        for (const ManageModel::Row& row : rows) {
            if (row.kind == ManageModel::Row::Kind::Entry) {
                benchmark::DoNotOptimize(w.model->dayLabel(row));
                today += w.model->isInToday(row) ? 1 : 0;
            }
        }
        benchmark::DoNotOptimize(today);
    }
    state.counters["rows"] = static_cast<double>(rows.size());
}

} // namespace

BENCHMARK(BM_ManageReload)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManageFirstLoad)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManageReloadLater)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManageFilterKeystroke)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManageReloadAfterChange)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManageReloadAfterReread)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManageFirstKeystrokeAfterChange)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManageMoveSelection)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ManageLabelRows)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
