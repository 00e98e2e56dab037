// What is ringing, and every reminder read from its comment, beside the cost of reading the file.
#include "SyntheticNotes.h"

#include "notes/NotesDocument.h"
#include "reminders/Reminder.h"

#include <benchmark/benchmark.h>

namespace {

using namespace plim;

void BM_RingingAndReminders(benchmark::State& state) {
    const NotesDocument doc = NotesDocument::parse(bench::syntheticNotes(static_cast<int>(state.range(0))));
    const Calendar calendar(QStringLiteral("Europe/Berlin"));
    const Anchors anchors;
    const Instant now = *calendar.date(2026, 3, 14, 12, 0);
    const QList<Entry> entries = doc.allEntries();
    qsizetype reminders = 0;
    for (auto _ : state) {
        const QList<Entry> ringing = doc.ringing(now, calendar, anchors);
        reminders = 0;
        for (const Entry& e : entries) {
            if (e.comment && e.reminder(calendar, anchors)) {
                ++reminders;
            }
        }
        benchmark::DoNotOptimize(ringing);
    }
    state.counters["reminders"] = static_cast<double>(reminders);
}

} // namespace

BENCHMARK(BM_RingingAndReminders)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
