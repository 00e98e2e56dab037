// What is ringing, and every reminder read from its comment, beside the cost of reading the file.
#include "CmarkGfm.h"
#include "SyntheticNotes.h"

#include "notes/NotesDocument.h"
#include "reminders/EntryReminders.h"
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
        const QList<Entry> ringing = EntryReminders::ringing(doc, now, calendar, anchors);
        reminders = 0;
        for (const Entry& e : entries) {
            if (e.comment && EntryReminders::reminder(e, calendar, anchors)) {
                ++reminders;
            }
        }
        benchmark::DoNotOptimize(ringing);
    }
    state.counters["reminders"] = static_cast<double>(reminders);
}

// What `due` works out once the file is read, nine months after its last day: the label of every
// ringing entry, most of them counting hundreds of unanswered rings across clock changes. Beside the
// anchor reading the same file.
void BM_DueLabels(benchmark::State& state) {
    const QString text = bench::syntheticNotes(static_cast<int>(state.range(0)));
    const NotesDocument doc = NotesDocument::parse(text);
    const Calendar calendar(QStringLiteral("Europe/Berlin"));
    const Anchors anchors;
    const Instant now = *calendar.date(2026, 12, 7, 12, 0);
    qsizetype ringing = 0;
    bench::againstCmarkGfm(state, text.toUtf8(), [&] {
        const QList<Entry> due = EntryReminders::ringing(doc, now, calendar, anchors);
        for (const Entry& e : due) {
            QString label = EntryReminders::reminder(e, calendar, anchors)->label(now, calendar);
            benchmark::DoNotOptimize(label);
        }
        ringing = due.size();
    });
    state.counters["ringing"] = static_cast<double>(ringing);
}

} // namespace

BENCHMARK(BM_DueLabels)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RingingAndReminders)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
