#pragma once

#include <QByteArray>

#include <benchmark/benchmark.h>

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm-extension_api.h>
#include <cmark-gfm.h>

#include <chrono>
#include <cstdint>

namespace plim::bench {

// The anchor of reading: a general Markdown reader with its task-list extension, as a user would
// read a file of checkboxes, on the file's UTF-8 bytes.
inline void cmarkGfmParse(const QByteArray& bytes) {
    static cmark_syntax_extension* const tasklist = [] {
        cmark_gfm_core_extensions_ensure_registered();
        return cmark_find_syntax_extension("tasklist");
    }();
    cmark_parser* parser = cmark_parser_new(CMARK_OPT_DEFAULT);
    cmark_parser_attach_syntax_extension(parser, tasklist);
    cmark_parser_feed(parser, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    cmark_node* root = cmark_parser_finish(parser);
    benchmark::DoNotOptimize(root);
    cmark_node_free(root);
    cmark_parser_free(parser);
}

// Runs the anchor on `bytes` and `ours` by turns, iteration by iteration, so that the machine's
// changing load falls on both: the time reported is ours (register with UseManualTime), with the
// anchor's time and the ratio of the two as counters.
template <class Ours>
void againstCmarkGfm(benchmark::State& state, const QByteArray& bytes, Ours ours) {
    using Clock = std::chrono::steady_clock;
    std::chrono::duration<double> mine{};
    std::chrono::duration<double> anchor{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        cmarkGfmParse(bytes);
        const auto t1 = Clock::now();
        ours();
        const auto t2 = Clock::now();
        anchor += t1 - t0;
        mine += t2 - t1;
        state.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
    }
    state.counters["cmark_gfm_ms"] = benchmark::Counter(anchor.count() * 1000, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = mine.count() / anchor.count();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes.size());
}

} // namespace plim::bench
