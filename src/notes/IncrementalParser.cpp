#include "notes/IncrementalParser.h"

#include "notes/NotesSyntax.h"

#include <QHash>

#include <cstring>
#include <unordered_map>

namespace plim {

namespace {

// Where each day starts: every line that begins with "## ", as the parser sees headings (the
// first one after a byte-order mark).
std::vector<qsizetype> dayStarts(QStringView text) {
    std::vector<qsizetype> starts;
    const qsizetype begin = syntax::startsWithByteOrderMark(text) ? 1 : 0;
    if (text.sliced(begin).startsWith(u"## ")) {
        starts.push_back(begin);
    }
    qsizetype from = 0;
    while (true) {
        const qsizetype at = text.indexOf(u"\n## ", from);
        if (at < 0) {
            break;
        }
        starts.push_back(at + 1);
        from = at + 1;
    }
    return starts;
}

// A day is looked up by its heading line and its length; equal keys are then compared in full.
std::size_t dayKey(QStringView day) {
    qsizetype end = day.indexOf(u'\n');
    if (end < 0) {
        end = day.size();
    }
    return qHash(day.first(end), static_cast<std::size_t>(day.size()));
}

} // namespace

void IncrementalParser::clear() {
    source_.clear();
    days_.clear();
}

NotesDocument IncrementalParser::parse(const QString& text) {
    const QStringView all(text);
    const std::vector<qsizetype> starts = dayStarts(all);

    std::unordered_multimap<std::size_t, std::size_t> known;
    known.reserve(days_.size());
    const QStringView old(source_);
    for (std::size_t i = 0; i < days_.size(); ++i) {
        known.emplace(dayKey(old.sliced(days_[i].from, days_[i].length)), i);
    }
    std::vector<bool> taken(days_.size(), false);

    // The preamble (and the byte-order mark before it) as a whole parse reads it; the line end is
    // the whole text's.
    NotesDocument doc = NotesDocument::parse(all.first(starts.empty() ? all.size() : starts.front()));
    doc.lineEnd = syntax::crlfLineEnds(all) ? NotesDocument::LineEnd::CrLf : NotesDocument::LineEnd::Lf;
    doc.sections.reserve(static_cast<qsizetype>(starts.size()));
    std::vector<Day> days;
    days.reserve(starts.size());
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const qsizetype from = starts[k];
        const qsizetype length = (k + 1 < starts.size() ? starts[k + 1] : all.size()) - from;
        const QStringView day = all.sliced(from, length);
        const Day* same = nullptr;
        const auto [first, last] = known.equal_range(dayKey(day));
        for (auto it = first; it != last; ++it) {
            const Day& candidate = days_[it->second];
            // Each earlier day is taken once: two identical days must not share an identity.
            if (!taken[it->second] && candidate.length == length &&
                std::memcmp(old.utf16() + candidate.from, day.utf16(), static_cast<std::size_t>(length) * 2) == 0) {
                taken[it->second] = true;
                same = &candidate;
                break;
            }
        }
        DaySection section = same ? same->section : NotesDocument::parse(day).sections.front();
        doc.sections.append(section);
        days.push_back(Day{from, length, std::move(section)});
    }
    source_ = text;
    days_ = std::move(days);
    return doc;
}

} // namespace plim
