#include "NoDesktop.h"
#include "SyntheticNotes.h"

#include "base/Clock.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"
#include "ui/manage/ManageListView.h"
#include "ui/manage/ManageModel.h"
#include "ui/manage/ManageWindow.h"
#include "ui/manage/SweepView.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <QScrollBar>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#define RUNNING_ON_VALGRIND 0
#endif
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>

// The notes window drawn offscreen over the synthetic file. Each figure runs from the input to the
// first painted frame that shows what the input leads to: the frame is read back from the screen
// and compared with the one the window settles on, so a frame with an empty or half laid-out list
// does not end it. Events are processed as the program's loop would. "Time" is that wall time;
// "cpu_ms" the process's CPU time over the same stretch (steadier on a loaded machine). For a key
// that changes the file, "store_ms" is the part up to the store's announcement of the change (its
// write included) and "window_ms" the rest, from the announcement to the frame.
//
// Each figure has its anchor, timed by turns with it, round by round: a bare Qt list view (default
// delegate, rows of one line) in a window of the list's size, over the texts the notes window
// lists, its rows replaced (a model reset) by those the window lists after the key: the filtered
// rows for the filter's keys, the same rows with one changed for a key that changes an entry.
// "anchor_ms" is its time to the painted rows, "ratio" the figure over it, "load" the load average
// over the last minute when the figure ended.

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

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Wall and CPU time since it started, with the stretches spent reading frames back left out. Under
// callgrind (--collect-atstart=no) it counts the instructions of the same stretches.
class Stopwatch {
public:
    Stopwatch() {
        wall_.start();
        cpu_ = cpuMs();
        CALLGRIND_TOGGLE_COLLECT;
    }
    ~Stopwatch() {
        if (!paused_) {
            CALLGRIND_TOGGLE_COLLECT;
        }
    }
    Stopwatch(const Stopwatch&) = delete;
    Stopwatch& operator=(const Stopwatch&) = delete;
    void pause() {
        CALLGRIND_TOGGLE_COLLECT;
        paused_ = true;
        pausedWall_ = wall_.nsecsElapsed();
        pausedCpu_ = cpuMs();
    }
    void resume() {
        leftOutWall_ += wall_.nsecsElapsed() - pausedWall_;
        leftOutCpu_ += cpuMs() - pausedCpu_;
        paused_ = false;
        CALLGRIND_TOGGLE_COLLECT;
    }
    // While paused: up to the pause.
    double wallMs() const { return double((paused_ ? pausedWall_ : wall_.nsecsElapsed()) - leftOutWall_) / 1e6; }
    double cpuMsNow() const { return (paused_ ? pausedCpu_ : cpuMs()) - cpu_ - leftOutCpu_; }

private:
    QElapsedTimer wall_;
    bool paused_ = false;
    double cpu_ = 0;
    qint64 pausedWall_ = 0;
    qint64 leftOutWall_ = 0;
    double pausedCpu_ = 0;
    double leftOutCpu_ = 0;
};

// The pixels of a widget as the screen holds them: what the last frame painted there shows.
QImage onScreen(QWidget& widget) {
    QWidget* top = widget.window();
    const QPoint at = widget.mapTo(top, QPoint(0, 0));
    return top->screen()->grabWindow(top->winId(), at.x(), at.y(), widget.width(), widget.height()).toImage();
}

// Counts the paints of the widgets of a window.
class Paints final : public QObject {
public:
    QWidget* window = nullptr;
    QWidget* anchor = nullptr;
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            (static_cast<QWidget*>(watched)->window() == window ||
             static_cast<QWidget*>(watched)->window() == anchor)) {
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
        qApp->installEventFilter(&paints);
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
        QObject::connect(store.get(), &NotesStore::changed, [this] {
            changedWall = watch ? watch->wallMs() : 0;
            changedCpu = watch ? watch->cpuMsNow() : 0;
        });
        store->load();
        malloc_trim(0);
        storeMegabytes = residentMegabytes() - unloaded;
    }
    ~Fixture() {
        qApp->removeEventFilter(&paints);
        bare.reset();
        close();
    }

    // Builds the model and the window and shows it: what opening the window first costs.
    void open() {
        model = std::make_unique<ManageModel>(*store, desktop, login);
        window = std::make_unique<ManageWindow>(*model, theme, desktop);
        paints.window = window.get();
        window->present();
        store->keepReady(true); // as the program's window does while shown
    }
    void close() {
        store->keepReady(false);
        window.reset();
        model.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Runs what is left over (the rest of a layout done in steps, posted events): until a tenth of a
    // second passes with nothing painted, the list's height the same and the program all but idle.
    void settle() {
        QTimer wake;
        wake.start(5);
        QElapsedTimer all;
        all.start();
        for (;;) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            const int height = window ? window->list().verticalScrollBar()->maximum() : 0;
            const int painted = paints.count;
            const double cpu = cpuMs();
            QElapsedTimer quiet;
            quiet.start();
            while (quiet.elapsed() < 100) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            const bool idle = cpuMs() - cpu < 10 && paints.count == painted &&
                              height == (window ? window->list().verticalScrollBar()->maximum() : 0);
            if (idle || all.elapsed() > 60000) {
                return;
            }
        }
    }
    // Processes events until a frame shows `expected` where `region` is; ten seconds at most. It
    // waits for events as the program's loop does, rather than spinning: spinning would count
    // its own turns as the program's time.
    bool until(QWidget& region, const QImage& expected, Stopwatch& watching) {
        int seen = paints.count;
        QTimer wake;
        wake.start(1);
        while (watching.wallMs() < 10000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (paints.count != seen) {
                seen = paints.count;
                watching.pause();
                const bool shown = onScreen(region) == expected;
                if (shown) {
                    return true;
                }
                watching.resume();
            }
        }
        return false;
    }
    // A key where the window's keyboard is.
    void press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* to = window->focusWidget() != nullptr ? window->focusWidget() : window.get();
        QTest::keyClick(to, Qt::Key(key), mods);
    }
    ManageListView& list() { return window->list(); }
    // The list has the keyboard, with the entry in the middle of the screen.
    void centre(const QUuid& id) {
        settle();
        list().scrollTo(list().rows().index(list().rows().rowOf(id)), QAbstractItemView::PositionAtCenter);
        list().setFocus();
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
    std::unique_ptr<QListView> bare; // the anchor's list, once a figure has one
    Paints paints;
    Stopwatch* watch = nullptr; // the figure being timed, if any
    double changedWall = 0;     // when the store last announced a change, on `watch`
    double changedCpu = 0;
    double before = 0;
    double storeMegabytes = 0; // what reading the file into the store added
    bool ok = false;
};

// One side of a figure: `setup` (not timed) brings it back to where each round starts, `act` is
// timed until `region` (the part of the window that shows the result) shows what the act leads to.
struct Side {
    std::function<QWidget*()> region;
    std::function<void()> setup;
    std::function<void()> act;
    QImage expected[2]; // acts that alternate leave one of two frames
    int round = 0;
};

// Reads what `side` settles on after its act, twice. False when the act changes nothing on screen.
bool settledFrames(Fixture& f, Side& side) {
    // A round first to come to the steady state of the rounds (the window opened elsewhere).
    side.setup();
    side.act();
    f.settle();
    for (QImage& settled : side.expected) {
        side.setup();
        f.settle();
        const QImage before = side.region() != nullptr ? onScreen(*side.region()) : QImage();
        side.act();
        f.settle();
        settled = onScreen(*side.region());
        if (settled == before) {
            return false;
        }
    }
    return true;
}

// The anchor's side over the bare list: `rows` listed, then `act` on it.
Side bareSide(Fixture& f, QAbstractItemModel& model, std::function<void()> setup, std::function<void()> act) {
    if (!f.bare) {
        f.bare = std::make_unique<QListView>();
        f.bare->setUniformItemSizes(true);
        f.bare->setFont(f.list().font());
        const QSize size = f.list().size();
        f.bare->resize(size);
        // The notes window keeps the keyboard.
        f.bare->setAttribute(Qt::WA_ShowWithoutActivating);
        f.paints.anchor = f.bare.get();
    }
    f.bare->setModel(&model);
    f.bare->show();
    f.settle();
    return Side{[&f] { return f.bare->viewport(); }, std::move(setup), std::move(act), {}, 0};
}

// Texts of the entries the window lists.
QStringList listedTexts(Fixture& f) {
    QStringList texts;
    for (const Entry& e : f.model->list().entries()) {
        texts << e.text;
    }
    return texts;
}

// The rows the window lists under the filter `from`, replaced by those it lists under `to`.
struct BareFilter {
    BareFilter(Fixture& f, const QString& from, const QString& to) {
        f.model->setFilter(from);
        texts[0] = listedTexts(f);
        f.model->setFilter(to);
        texts[1] = listedTexts(f);
        f.model->setFilter(QString());
        side = bareSide(
            f, rows, [this] { rows.setStringList(texts[0]); }, [this] { rows.setStringList(texts[1]); });
    }
    QStringList texts[2];
    QStringListModel rows;
    Side side;
};

// The rows the window lists, replaced by the same with the entry at `row` changed, and back, each
// time with that row in the middle of the screen.
struct BareChange {
    BareChange(Fixture& f, qsizetype row) {
        texts[0] = listedTexts(f);
        texts[1] = texts[0];
        at = std::clamp<qsizetype>(row, 0, texts[0].size() - 1);
        if (!texts[1].isEmpty()) {
            texts[1][at] = QStringLiteral("\u2713 ") + texts[1][at];
        }
        rows.setStringList(texts[0]);
        side = bareSide(
            f, rows, [] {},
            [this, &f] {
                rows.setStringList(texts[++n % 2]);
                f.bare->scrollTo(rows.index(int(at)), QAbstractItemView::PositionAtCenter);
            });
    }
    QStringList texts[2];
    qsizetype at = 0;
    int n = 0;
    QStringListModel rows;
    Side side;
};

// Processes events until `side` shows its next expected frame; its wall time in ms, or -1. With
// `watched`, the store's announcement of a change during the act is noted on `watch`.
double timeOnce(Fixture& f, Side& side, Stopwatch& watch, bool watched) {
    side.setup();
    f.settle();
    if (watched) {
        f.watch = &watch;
        f.changedWall = 0;
        f.changedCpu = 0;
    }
    watch.resume();
    side.act();
    const bool shown = f.until(*side.region(), side.expected[side.round++ % 2], watch);
    return shown ? watch.wallMs() : -1;
}

// Times the notes window's side until its rows are on screen, by turns with the anchor's side (if
// any), round by round.
void untilShown(benchmark::State& state, Fixture& f, Side window, Side* anchor = nullptr) {
    if (!f.ok) {
        state.SkipWithError("no notes file");
        return;
    }
    // Under callgrind only the window's instructions count.
    if (RUNNING_ON_VALGRIND) {
        anchor = nullptr;
    }
    if (!settledFrames(f, window) || (anchor != nullptr && !settledFrames(f, *anchor))) {
        state.SkipWithError("the input changes nothing on screen");
        return;
    }
    double cpu = 0;
    double store = 0;
    double storeCpu = 0;
    double windowMs = 0;
    double windowCpu = 0;
    double anchored = 0;
    double timed = 0;
    for (auto _ : state) {
        double ms = 0;
        {
            Stopwatch watch;
            watch.pause();
            ms = timeOnce(f, window, watch, true);
            f.watch = nullptr;
            if (ms < 0) {
                state.SkipWithError("the rows were never painted");
                return;
            }
            cpu += watch.cpuMsNow();
            store += f.changedWall;
            storeCpu += f.changedCpu;
            windowMs += ms - f.changedWall;
            windowCpu += watch.cpuMsNow() - f.changedCpu;
        }
        state.SetIterationTime(ms / 1e3);
        timed += ms;
        if (anchor != nullptr) {
            Stopwatch watch;
            watch.pause();
            const double a = timeOnce(f, *anchor, watch, false);
            if (a < 0) {
                state.SkipWithError("the anchor's rows were never painted");
                return;
            }
            anchored += a;
        }
    }
    if (RUNNING_ON_VALGRIND) {
        // The instructions callgrind collected are those of this many rounds.
        std::fprintf(stderr, "timed rounds: %d\n", window.round);
    }
    using benchmark::Counter;
    state.counters["cpu_ms"] = Counter(cpu, Counter::kAvgIterations);
    if (store > 0) {
        state.counters["store_ms"] = Counter(store, Counter::kAvgIterations);
        state.counters["store_cpu_ms"] = Counter(storeCpu, Counter::kAvgIterations);
        state.counters["window_ms"] = Counter(windowMs, Counter::kAvgIterations);
        state.counters["window_cpu_ms"] = Counter(windowCpu, Counter::kAvgIterations);
    }
    if (anchor != nullptr && anchored > 0) {
        state.counters["anchor_ms"] = Counter(anchored, Counter::kAvgIterations);
        state.counters["ratio"] = timed / anchored;
    }
    double load[1] = {0};
    if (getloadavg(load, 1) == 1) {
        state.counters["load"] = load[0];
    }
}

void untilShown(benchmark::State& state, Fixture& f, const std::function<QWidget*()>& region,
                const std::function<void()>& setup, const std::function<void()>& act, Side* anchor = nullptr) {
    untilShown(state, f, Side{region, setup, act, {}, 0}, anchor);
}

// The notes window's list, where most figures end.
std::function<QWidget*()> listed(Fixture& f) {
    return [&f] { return f.window ? f.list().viewport() : nullptr; };
}

// The row of the entry `id` among those the window lists.
qsizetype rowOf(Fixture& f, const QUuid& id) {
    const QList<Entry> entries = f.model->list().entries();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].id == id) {
            return i;
        }
    }
    return 0;
}

// The window opened on the list, which then has the keyboard at its first entry.
Fixture& opened(Fixture& f) {
    f.open();
    f.list().setFocus();
    f.settle();
    return f;
}

// Opening the window on the file for the first time: the model built, the window laid out and its
// rows painted. Memory: "store_rss_mb" is what reading the file into the store adds to the program,
// "window_rss_mb" what the model and the window add to that; "rss_mb" all the run added, the
// benchmark's own copy of the file's text included.
void BM_WindowOpen(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    double grown = 0;
    double window = 0;
    double opening = 0;
    untilShown(
        state, f, listed(f),
        [&] {
            if (f.window) {
                grown = std::max(grown, residentMegabytes() - f.before);
                window = std::max(window, residentMegabytes() - opening);
                f.close();
            }
            f.settle();
            malloc_trim(0);
            opening = residentMegabytes();
        },
        [&] { f.open(); });
    state.counters["rss_mb"] = grown;
    state.counters["window_rss_mb"] = window;
    state.counters["store_rss_mb"] = f.storeMegabytes;
}

// The first keystroke in the filter field ("a", in most entries): after the file changed (second
// argument 0), when only the changed day's texts are read again, or the first since the window
// opened (1), when every text is.
void BM_WindowFilterKeystroke(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    const bool opened = state.range(1) == 1;
    f.open();
    const QUuid id = f.model->list().entries().value(f.model->list().entries().size() / 2).id;
    BareFilter anchor(f, QString(), QStringLiteral("a"));
    untilShown(
        state, f, listed(f),
        [&] {
            if (opened) {
                f.close();
                f.open();
                f.settle();
            }
            f.window->filterField().setFocus();
            f.window->filterField().clear();
            f.model->setFilter(QString());
            if (!opened) {
                f.store->toggleDone(id);
            }
        },
        [&] { f.press(Qt::Key_A); }, &anchor.side);
}

// Two filters in the field, and the key between them.
void filterStep(benchmark::State& state, const QString& from, const QString& to, int key) {
    Fixture f(static_cast<int>(state.range(0)));
    f.open();
    QLineEdit& field = f.window->filterField();
    BareFilter anchor(f, from, to);
    untilShown(
        state, f, listed(f),
        [&] {
            field.setFocus();
            field.setText(from);
            f.model->setFilter(from);
        },
        [&] { f.press(key); }, &anchor.side);
}

// A further keystroke narrowing the filter ("an" after "a").
void BM_WindowFilterNarrow(benchmark::State& state) {
    filterStep(state, QStringLiteral("a"), QStringLiteral("an"), Qt::Key_N);
}

// Backspace in the filter: "an" back to "a", which lists more.
void BM_WindowFilterBackspace(benchmark::State& state) {
    filterStep(state, QStringLiteral("an"), QStringLiteral("a"), Qt::Key_Backspace);
}

// ↓ and ↑ in the list.
void BM_WindowMoveSelection(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    opened(f);
    int n = 0;
    untilShown(
        state, f, listed(f), [] {}, [&] { f.press(n++ % 2 == 0 ? Qt::Key_Down : Qt::Key_Up); });
}

// Where a list command acts: on the first entry listed, or on an open entry of a past day halfway
// down the list (which the window shows after scrolling there).
QUuid target(Fixture& f, int where) {
    const QList<Entry> entries = f.model->list().entries();
    if (where == 0) {
        return entries.value(0).id;
    }
    for (qsizetype i = entries.size() / 2; i < entries.size(); ++i) {
        if (entries[i].state == Entry::State::Open && !f.model->isInToday(entries[i].id) &&
            !f.model->labels().isRinging(entries[i]) && !entries[i].active) {
            return entries[i].id;
        }
    }
    return {};
}

// A key on an entry that changes the file; the change is undone between rounds.
void listCommand(benchmark::State& state, int key) {
    Fixture f(static_cast<int>(state.range(0)));
    opened(f);
    const QUuid on = target(f, static_cast<int>(state.range(1)));
    BareChange anchor(f, rowOf(f, on));
    bool changed = false;
    untilShown(
        state, f, listed(f),
        [&] {
            if (changed) {
                f.store->undo();
            }
            f.model->reveal(on);
            f.centre(on);
        },
        [&] {
            f.press(key);
            changed = true;
        },
        &anchor.side);
}

// Space on an entry: marked done, written, and the list drawn again (the second argument: 0 on the
// first entry, 1 halfway down). The write alone is
// BM_WindowWriteAlone.
void BM_WindowToggleDone(benchmark::State& state) {
    listCommand(state, Qt::Key_Space);
}

// Delete (⌫) on an entry: out of the notes into the trash.
void BM_WindowDelete(benchmark::State& state) {
    listCommand(state, Qt::Key_Backspace);
}

// Ctrl+Z after the first entry was trashed, or Ctrl+Shift+Z after that was undone.
void undoRedo(benchmark::State& state, bool redo) {
    Fixture f(static_cast<int>(state.range(0)));
    opened(f);
    const QUuid on = target(f, static_cast<int>(state.range(1)));
    BareChange anchor(f, rowOf(f, on));
    bool deleted = false;
    untilShown(
        state, f, listed(f),
        [&] {
            if (deleted) {
                f.store->undo();
            }
            f.model->reveal(on);
            f.centre(on);
            f.model->deleteSelection();
            if (redo) {
                f.store->undo();
            }
        },
        [&] {
            f.press(Qt::Key_Z, redo ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
            deleted = redo;
        },
        &anchor.side);
}

void BM_WindowUndo(benchmark::State& state) {
    undoRedo(state, false);
}

void BM_WindowRedo(benchmark::State& state) {
    undoRedo(state, true);
}

// Ctrl+E on a past day halfway down the list: its done entries shown.
void BM_WindowShowDone(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    opened(f);
    const QUuid on = target(f, 1);
    BareChange anchor(f, rowOf(f, on));
    untilShown(
        state, f, listed(f),
        [&] {
            f.model->setShowCompleted(false);
            f.model->reveal(on);
            f.centre(on);
        },
        [&] { f.press(Qt::Key_E, Qt::ControlModifier); }, &anchor.side);
}

// → in the sweep: the oldest open entry carried to today, the next one shown.
void BM_WindowSweepCarry(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    opened(f);
    BareChange anchor(f, 0);
    bool carried = false;
    untilShown(
        state, f, [&]() -> QWidget* { return &f.window->sweepView(); },
        [&] {
            if (carried) {
                f.store->undo();
            }
            f.model->startSweep();
        },
        [&] {
            f.press(Qt::Key_Right);
            carried = true;
        },
        &anchor.side);
}

// The write that Space makes, without the window: from the store's change until the file on disk
// holds it (read back outside the timing).
void BM_WindowWriteAlone(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    const Entry* first = f.store->document().sections.isEmpty() || f.store->document().sections[0].items.isEmpty()
                             ? nullptr
                             : std::get_if<Entry>(&f.store->document().sections[0].items[0]);
    const QUuid id = first != nullptr ? first->id : QUuid();
    const QByteArray name = QFile::encodeName(f.path);
    const auto stamp = [&] {
        struct stat s {};
        ::stat(name.constData(), &s);
        return std::tuple(s.st_ino, s.st_size, s.st_mtim.tv_sec, s.st_mtim.tv_nsec);
    };
    for (auto _ : state) {
        const auto before = stamp();
        f.store->toggleDone(id);
        // Until the file is replaced and holds the change.
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            if (stamp() != before) {
                state.PauseTiming();
                QFile file(f.path);
                const bool holds = file.open(QIODevice::ReadOnly) &&
                                   QString::fromUtf8(file.readAll()) == f.store->document().serialized();
                state.ResumeTiming();
                if (holds) {
                    break;
                }
            }
            if (waited.elapsed() > 10000) {
                state.SkipWithError("the change never reached the file");
                return;
            }
            QThread::usleep(200);
        }
    }
}

// The floor under BM_WindowWriteAlone: the same file read, written to a temporary beside it,
// synced, renamed over it and its folder synced, as any safe save of it must.
void BM_WindowWriteFloor(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    const QByteArray target = QFile::encodeName(f.path);
    const QByteArray temp = target + ".floor";
    const QByteArray folder = QFile::encodeName(f.dir.path());
    for (auto _ : state) {
        QFile file(f.path);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const bool written = fd >= 0 &&
                             ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size() &&
                             ::fsync(fd) == 0;
        if (fd >= 0) {
            ::close(fd);
        }
        const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool synced =
            written && ::rename(temp.constData(), target.constData()) == 0 && dir >= 0 && ::fsync(dir) == 0;
        if (dir >= 0) {
            ::close(dir);
        }
        if (!synced || bytes.isEmpty()) {
            state.SkipWithError("could not write the file");
            return;
        }
    }
}

// Another program rewrote the file: from its change being noticed to the list drawn again, the
// file read and parsed again. The first entry listed is changed, one letter every other time.
void BM_WindowReloadAfterOutsideEdit(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    opened(f);
    const Entry first = f.model->list().entries().value(0);
    const QByteArray line = first.text.toUtf8() + "  <!-- " + first.time.value_or(QString()).toUtf8();
    const qsizetype at = f.text.indexOf(line);
    if (at < 0 || f.text.indexOf(line, at + 1) >= 0) {
        state.SkipWithError("the first entry's line is not found once");
        return;
    }
    int n = 0;
    untilShown(
        state, f, listed(f),
        [&] {
            QByteArray edited = f.text;
            edited[at] = (n++ % 2) ? 'X' : 'Y';
            QFile file(f.path);
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                file.write(edited);
            }
        },
        // What the watcher's notice leads to (its wait for the writer to finish left out).
        [&] { f.store->load(); });
}

// One page down the list and back up, each drawn.
void BM_WindowScrollPage(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    opened(f);
    int n = 0;
    untilShown(
        state, f, listed(f), [] {},
        [&] {
            QScrollBar& bar = *f.list().verticalScrollBar();
            bar.setValue(bar.value() + (n++ % 2 == 0 ? bar.pageStep() : -bar.pageStep()));
        });
}

} // namespace

BENCHMARK(BM_WindowOpen)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowFilterKeystroke)
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowFilterNarrow)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowFilterBackspace)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowMoveSelection)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowToggleDone)->Args({100000, 0})->Args({100000, 1})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowDelete)->Args({100000, 0})->Args({100000, 1})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowUndo)->Args({100000, 0})->Args({100000, 1})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowRedo)->Args({100000, 0})->Args({100000, 1})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowShowDone)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowSweepCarry)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowWriteAlone)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowWriteFloor)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowReloadAfterOutsideEdit)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowScrollPage)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
