#include "CmarkGfm.h"
#include "SyntheticNotes.h"

#include "notes/IncrementalParser.h"
#include "notes/NotesDocument.h"

#include <benchmark/benchmark.h>

namespace {

using plim::NotesDocument;
using plim::bench::againstCmarkGfm;
using plim::bench::syntheticNotes;

// Sizes are reported as the file's UTF-8 bytes, the same figure for every benchmark of a size.
void reportBytes(benchmark::State& state, const QString& text) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * text.toUtf8().size());
}

// Parsing the text the store holds.
void BM_Parse(benchmark::State& state) {
    const QString text = syntheticNotes(static_cast<int>(state.range(0)));
    if (NotesDocument::parse(text).serialized() != text) {
        state.SkipWithError("the synthetic file does not round-trip");
        return;
    }
    againstCmarkGfm(state, text.toUtf8(), [&] {
        NotesDocument doc = NotesDocument::parse(text);
        benchmark::DoNotOptimize(doc);
    });
}

// What loading a file costs: decoding its UTF-8 and parsing.
void BM_ParseFromUtf8(benchmark::State& state) {
    const QByteArray bytes = syntheticNotes(static_cast<int>(state.range(0))).toUtf8();
    againstCmarkGfm(state, bytes, [&] {
        NotesDocument doc = NotesDocument::parse(QString::fromUtf8(bytes));
        benchmark::DoNotOptimize(doc);
    });
}

void BM_Serialize(benchmark::State& state) {
    const QString text = syntheticNotes(static_cast<int>(state.range(0)));
    const NotesDocument doc = NotesDocument::parse(text);
    for (auto _ : state) {
        QString out = doc.serialized();
        benchmark::DoNotOptimize(out);
    }
    reportBytes(state, text);
}

// Reading the file again after one entry of one day changed (an undo, an outside edit): the other
// days are compared, not parsed.
void BM_ReparseOneDayChanged(benchmark::State& state) {
    const QString a = syntheticNotes(static_cast<int>(state.range(0)));
    QString b = a;
    const qsizetype at = b.indexOf(QStringLiteral("- [ ] "), b.size() / 2);
    b.replace(at, 6, QStringLiteral("- [x] "));
    // With the UTF-8 the store has of each text (read or written).
    const QByteArray a8 = a.toUtf8();
    const QByteArray b8 = b.toUtf8();
    plim::IncrementalParser parser;
    parser.parse(a, a8);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        NotesDocument doc = parser.parse(flip ? b : a, flip ? b8 : a8);
        benchmark::DoNotOptimize(doc);
    }
    reportBytes(state, a);
}

} // namespace

BENCHMARK(BM_Parse)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseFromUtf8)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Serialize)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReparseOneDayChanged)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
