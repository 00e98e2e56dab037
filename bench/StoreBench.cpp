// The cost of a capture and of a recorded change, against the floor of writing the same bytes once.
#include "SyntheticNotes.h"

#include "store/NotesStore.h"
#include "store/Preferences.h"
#include "store/TextFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace plim;

struct Fixture {
    explicit Fixture(int entries)
        : prefs(dir.filePath(QStringLiteral("plim.conf")))
        , clock(instantFromSeconds(1773475200), Calendar(QStringLiteral("Europe/Berlin"))) { // 2026-03-14 09:00
        path = dir.filePath(QStringLiteral("plim.md"));
        text = bench::syntheticNotes(entries);
        writeTextFileAtomically(path, text);
        store = std::make_unique<NotesStore>(prefs, clock, NotesStore::Options{path, false});
        store->load();
    }
    QTemporaryDir dir;
    Preferences prefs;
    ManualClock clock;
    QString path;
    QString text;
    std::unique_ptr<NotesStore> store;
};

// Read the file, write a temporary, fsync it, rename it over the file, fsync the folder: what any
// safe save of a change to this file costs at least (scripts/perf/write_floor.c as a process).
void BM_WriteFloor(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    const QByteArray target = QFile::encodeName(f.path);
    const QByteArray temp = target + ".tmp";
    const QByteArray folder = QFile::encodeName(f.dir.path());
    QByteArray bytes(f.text.toUtf8().size() + 64, Qt::Uninitialized);
    for (auto _ : state) {
        const int in = ::open(target.constData(), O_RDONLY | O_CLOEXEC);
        const ssize_t got = ::read(in, bytes.data(), static_cast<size_t>(bytes.size()));
        ::close(in);
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        [[maybe_unused]] const ssize_t n =
            ::write(fd, bytes.constData(), static_cast<size_t>(std::max<ssize_t>(got, 0)));
        ::fsync(fd);
        ::close(fd);
        ::rename(temp.constData(), target.constData());
        const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::fsync(dir);
        ::close(dir);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_Capture(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    int n = 0;
    for (auto _ : state) {
        if (!f.store->append(QStringLiteral("captured thought %1").arg(++n), std::nullopt, f.clock.now())) {
            state.SkipWithError(f.store->error() ? qPrintable(f.store->error()->message()) : "nothing captured");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * f.text.toUtf8().size());
}

void BM_RecordedChange(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    const QUuid id = f.store->document().allEntries().at(3).id;
    for (auto _ : state) {
        f.store->toggleDone(id);
    }
    state.SetBytesProcessed(state.iterations() * f.text.toUtf8().size());
}

// An undo: the previous text read back and written (the change it undoes is made outside the timing).
void BM_Undo(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    const QUuid id = f.store->document().allEntries().at(f.store->document().allEntries().size() / 2).id;
    for (auto _ : state) {
        state.PauseTiming();
        f.store->toggleDone(id);
        state.ResumeTiming();
        f.store->undo();
    }
    state.SetBytesProcessed(state.iterations() * f.text.toUtf8().size());
}

// Fifty undo steps of the file, against the file's own size.
void BM_UndoHistoryMemory(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    const QList<Entry> entries = f.store->document().allEntries();
    for (auto _ : state) {
        for (int i = 0; i < NotesStore::undoLimit; ++i) {
            f.store->toggleDone(entries.at(i * 97 % entries.size()).id);
        }
    }
    const double fileBytes = static_cast<double>(f.text.toUtf8().size());
    state.counters["history_MB"] = static_cast<double>(f.store->historyBytes()) / 1e6;
    state.counters["file_MB"] = fileBytes / 1e6;
    state.counters["history_per_file"] = static_cast<double>(f.store->historyBytes()) / fileBytes;
}

} // namespace

BENCHMARK(BM_WriteFloor)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Capture)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordedChange)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Undo)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoHistoryMemory)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
