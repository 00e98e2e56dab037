#include "NoDesktop.h"
#include "SyntheticNotes.h"

#include "notes/Clock.h"
#include "notes/Preferences.h"
#include "store/NotesStore.h"
#include "ui/manage/ManageListView.h"
#include "ui/manage/ManageModel.h"
#include "ui/manage/ManageWindow.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <memory>

// The notes window drawn offscreen over the synthetic file: each figure runs from the input to the
// list's next painted frame, events processed as the program's loop would.

namespace {

using namespace plim;
using bench::NoDesktop;
using bench::NoLogin;

QApplication& app() {
    static int argc = 1;
    static char name[] = "plim_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *instance;
}

double residentMegabytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

// Counts the paints of a widget.
class Paints final : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count;
        }
        return QObject::eventFilter(watched, event);
    }
};

struct Fixture {
    explicit Fixture(int entries)
        : prefs(dir.filePath(QStringLiteral("plim.conf")))
        , clock(*Calendar(QStringLiteral("Europe/Berlin")).date(2026, 3, 14, 12, 0),
                Calendar(QStringLiteral("Europe/Berlin")))
        , theme(QDBusConnection(QStringLiteral("none")), Theme::Options{}) {
        app();
        // What an earlier run freed goes back to the system, so that growth is this run's.
        malloc_trim(0);
        before = residentMegabytes();
        text = bench::syntheticNotes(entries).toUtf8();
        path = dir.filePath(QStringLiteral("plim.md"));
        QFile file(path);
        ok = file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
        file.close();
        malloc_trim(0);
        const double unloaded = residentMegabytes();
        store = std::make_unique<NotesStore>(prefs, clock, NotesStore::Options{path, false});
        // Connected before the window's model: runs first when the store announces a change.
        QObject::connect(store.get(), &NotesStore::changed, [this] { sinceChange.start(); });
        store->load();
        malloc_trim(0);
        storeMegabytes = residentMegabytes() - unloaded;
    }
    ~Fixture() {
        window.reset();
        model.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Builds the model and the window and shows it: what opening the window first costs.
    void open() {
        model = std::make_unique<ManageModel>(*store, desktop, login);
        window = std::make_unique<ManageWindow>(*model, theme, desktop);
        window->list().viewport()->installEventFilter(&paints);
        const int seen = paints.count;
        window->present();
        painted(seen);
    }
    // Processes events until the list paints again (or two seconds pass).
    void painted(int seen) {
        QElapsedTimer waited;
        waited.start();
        while (paints.count == seen && waited.elapsed() < 2000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
    }
    // Runs what is left over (the rest of a batched layout, posted events) outside the timing:
    // until the list's height has stayed the same for 100 ms.
    void settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!window) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            return;
        }
        QElapsedTimer quiet;
        QElapsedTimer all;
        quiet.start();
        all.start();
        int height = -1;
        while (quiet.elapsed() < 100 && all.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            const int now = window->list().verticalScrollBar()->maximum();
            if (now != height) {
                height = now;
                quiet.restart();
            }
        }
    }
    void key(QWidget& to, Qt::Key k) {
        const int seen = paints.count;
        QTest::keyClick(&to, k, Qt::NoModifier);
        painted(seen);
    }

    QTemporaryDir dir;
    Preferences prefs;
    ManualClock clock;
    Theme theme;
    NoDesktop desktop;
    NoLogin login;
    QByteArray text;
    QString path;
    std::unique_ptr<NotesStore> store;
    std::unique_ptr<ManageModel> model;
    std::unique_ptr<ManageWindow> window;
    Paints paints;
    QElapsedTimer sinceChange; // started when the store announces a change
    double before = 0;
    double storeMegabytes = 0; // what reading the file into the store added
    bool ok = false;
};

// Opening the window on the file for the first time: the model built, the window laid out and its
// first frame painted. Memory: "store_rss_mb" is what reading the file into the store adds to the
// program, "window_rss_mb" what the model and the window add to that; "rss_mb" all the run added,
// the benchmark's own copy of the file's text included.
void BM_WindowOpen(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    double grown = 0;
    double window = 0;
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0);
        const double opening = residentMegabytes();
        state.ResumeTiming();
        f.open();
        state.PauseTiming();
        f.settle();
        grown = std::max(grown, residentMegabytes() - f.before);
        window = std::max(window, residentMegabytes() - opening);
        f.window.reset();
        f.model.reset();
        f.settle();
        state.ResumeTiming();
    }
    state.counters["rss_mb"] = grown;
    state.counters["window_rss_mb"] = window;
    state.counters["store_rss_mb"] = f.storeMegabytes;
}

// The first keystroke in the filter field after the file changed: nothing of an earlier filter can
// be reused. "a" is in most entries.
void BM_WindowFilterKeystroke(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    f.open();
    const QUuid id = f.model->visibleEntries().value(f.model->visibleEntries().size() / 2).id;
    QLineEdit& field = f.window->filterField();
    field.setFocus();
    for (auto _ : state) {
        state.PauseTiming();
        f.model->setFilter(QString());
        field.clear();
        f.store->toggleDone(id);
        f.settle();
        state.ResumeTiming();
        f.key(field, Qt::Key_A);
    }
    state.counters["rows"] = f.window->list().rows().rowCount();
}

// A further keystroke narrowing the filter ("an" after "a").
void BM_WindowFilterNarrow(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    f.open();
    QLineEdit& field = f.window->filterField();
    field.setFocus();
    for (auto _ : state) {
        state.PauseTiming();
        f.model->setFilter(QString());
        f.model->setFilter(QStringLiteral("a"));
        f.settle();
        state.ResumeTiming();
        f.key(field, Qt::Key_N);
    }
}

// ↓ and ↑ in the list.
void BM_WindowMoveSelection(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    f.open();
    f.window->list().setFocus();
    f.settle();
    bool down = true;
    for (auto _ : state) {
        f.key(f.window->list(), down ? Qt::Key_Down : Qt::Key_Up);
        down = !down;
        state.PauseTiming();
        f.settle();
        state.ResumeTiming();
    }
}

// Space on an entry: marked done, written, and the list drawn again. The write alone is
// BM_WindowWriteAlone; "window_ms" is the window's share, from the store's announcement of the
// change to the painted frame.
void BM_WindowToggleDone(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    f.open();
    f.window->list().setFocus();
    f.settle();
    double window = 0;
    for (auto _ : state) {
        f.key(f.window->list(), Qt::Key_Space);
        window += double(f.sinceChange.nsecsElapsed()) / 1e6;
        state.PauseTiming();
        f.settle();
        state.ResumeTiming();
    }
    state.counters["window_ms"] = benchmark::Counter(window, benchmark::Counter::kAvgIterations);
}

// The write that Space makes, without the window: the store's change and its atomic save.
void BM_WindowWriteAlone(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    f.open();
    const QUuid id = *f.model->selectedID();
    QObject::disconnect(f.store.get(), &NotesStore::changed, f.model.get(), nullptr);
    for (auto _ : state) {
        f.store->toggleDone(id);
    }
}

// Another program rewrote the file: from its change being noticed to the list drawn again, the
// file read and parsed again ("window_ms": from the store's announcement to the painted frame).
void BM_WindowReloadAfterOutsideEdit(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    f.open();
    // Every other time one letter of the first open entry differs.
    const qsizetype at = f.text.indexOf("\n- [ ] ") + 7;
    int n = 0;
    double window = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.settle();
        QByteArray edited = f.text;
        edited[at] = (n++ % 2) ? 'X' : 'Y';
        QFile file(f.path);
        const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(edited) > 0;
        file.close();
        if (!written) {
            state.SkipWithError("could not write the file");
            return;
        }
        const int seen = f.paints.count;
        state.ResumeTiming();
        // What the watcher's notice leads to (its 300 ms wait for the writer to finish left out),
        // with the look for stale temporaries that a load adds.
        f.store->load();
        f.painted(seen);
        window += double(f.sinceChange.nsecsElapsed()) / 1e6;
    }
    state.counters["window_ms"] = benchmark::Counter(window, benchmark::Counter::kAvgIterations);
}

// One page down the list and back up (PageDown/PageUp), each drawn.
void BM_WindowScrollPage(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    f.open();
    QScrollBar& bar = *f.window->list().verticalScrollBar();
    f.settle();
    bool down = true;
    for (auto _ : state) {
        const int seen = f.paints.count;
        bar.setValue(bar.value() + (down ? bar.pageStep() : -bar.pageStep()));
        f.painted(seen);
        down = !down;
        state.PauseTiming();
        f.settle();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_WindowOpen)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowFilterKeystroke)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowFilterNarrow)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowMoveSelection)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowToggleDone)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowWriteAlone)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowReloadAfterOutsideEdit)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowScrollPage)->Arg(100000)->Unit(benchmark::kMillisecond);
