#include "SyntheticNotes.h"

#include "notes/NotesDocument.h"
#include "reminders/Reminder.h"
#include "store/ConflictMerge.h"

#include <benchmark/benchmark.h>

namespace {

using plim::NotesDocument;
using plim::bench::syntheticNotes;

// A day of changes on one computer: a capture on top, an entry done, one line deleted further down.
QString changed(QString text, const QString& capture, double doneAt, double deleteAt) {
    text.insert(text.indexOf(QStringLiteral("- [ ] ")), QStringLiteral("- [ ] %1  <!-- 10:00 -->\n").arg(capture));
    const qsizetype done = text.indexOf(QStringLiteral("\n- [ ] "), static_cast<qsizetype>(text.size() * doneAt));
    text.replace(done + 1, 6, QStringLiteral("- [>] "));
    const qsizetype gone = text.indexOf(QStringLiteral("\n- "), static_cast<qsizetype>(text.size() * deleteAt));
    text.remove(gone + 1, text.indexOf(QLatin1Char('\n'), gone + 1) - gone);
    return text;
}

// Merging a conflict copy of a file of that many entries, both sides changed since the agreed text
// (state(1) = 1) or without it (0): the documents are parsed already, as in the store.
void BM_MergeCopy(benchmark::State& state) {
    const QString agreed = syntheticNotes(static_cast<int>(state.range(0)));
    const NotesDocument ancestor = NotesDocument::parse(agreed);
    const NotesDocument notes = NotesDocument::parse(changed(agreed, QStringLiteral("captured here"), 0.3, 0.6));
    const NotesDocument copy = NotesDocument::parse(changed(agreed, QStringLiteral("captured there"), 0.5, 0.8));
    const plim::Calendar calendar(QStringLiteral("Europe/Berlin"));
    const plim::Instant now = plim::instantFromSeconds(1773475200); // 2026-03-14
    const NotesDocument* base = state.range(1) ? &ancestor : nullptr;
    const plim::MergeOutcome check = plim::mergeNotes(base, notes, copy, now, calendar, plim::Anchors{});
    if (check.counts.added < 1) {
        state.SkipWithError("the copy's capture was not merged");
        return;
    }
    for (auto _ : state) {
        plim::MergeOutcome merged = plim::mergeNotes(base, notes, copy, now, calendar, plim::Anchors{});
        benchmark::DoNotOptimize(merged);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * agreed.toUtf8().size());
}

} // namespace

BENCHMARK(BM_MergeCopy)->Args({100000, 1})->Args({100000, 0})->Unit(benchmark::kMillisecond);
