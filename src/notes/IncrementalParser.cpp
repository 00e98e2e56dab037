#include "notes/IncrementalParser.h"

#include "notes/NotesSyntax.h"

#include <QHash>

#include <cstring>
#include <unordered_map>

namespace plim {

namespace {

// Where each day starts in text.first(end): every line that begins with "## ", as the parser sees
// headings (the first one after a byte-order mark). `from` is 0 or a day's start.
std::vector<qsizetype> dayStarts(QStringView text, qsizetype from, qsizetype end) {
    std::vector<qsizetype> starts;
    const QStringView region = text.first(end);
    const qsizetype first = from == 0 && syntax::startsWithByteOrderMark(text) ? 1 : from;
    if (region.sliced(std::min(first, end)).startsWith(u"## ")) {
        starts.push_back(first);
    }
    // Line by line: a search for the line end is vectorised, one for the four characters is not.
    const char16_t* data = text.utf16();
    while (true) {
        const qsizetype at = region.indexOf(u'\n', from);
        if (at < 0 || at + 3 >= end) {
            break;
        }
        if (data[at + 1] == u'#' && data[at + 2] == u'#' && data[at + 3] == u' ') {
            starts.push_back(at + 1);
        }
        from = at + 1;
    }
    return starts;
}

// How many characters two texts share at their start, and at their end (counting at most `limit`).
qsizetype sharedStart(QStringView a, QStringView b) {
    const qsizetype n = std::min(a.size(), b.size());
    constexpr qsizetype kStep = 1024;
    qsizetype i = 0;
    while (i + kStep <= n && std::memcmp(a.utf16() + i, b.utf16() + i, kStep * sizeof(char16_t)) == 0) {
        i += kStep;
    }
    while (i < n && a[i] == b[i]) {
        ++i;
    }
    return i;
}

qsizetype sharedEnd(QStringView a, QStringView b, qsizetype limit) {
    const qsizetype n = std::min({a.size(), b.size(), limit});
    constexpr qsizetype kStep = 1024;
    const char16_t* x = a.utf16() + a.size();
    const char16_t* y = b.utf16() + b.size();
    qsizetype i = 0;
    while (i + kStep <= n && std::memcmp(x - i - kStep, y - i - kStep, kStep * sizeof(char16_t)) == 0) {
        i += kStep;
    }
    while (i < n && x[-i - 1] == y[-i - 1]) {
        ++i;
    }
    return i;
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
    preamble_ = {};
}

NotesDocument IncrementalParser::parse(const QString& text) {
    const QStringView all(text);
    const QStringView old(source_);
    // An edit usually changes one stretch of the file: the days before it and after it are the
    // earlier ones, found by position without reading them again.
    const qsizetype start = sharedStart(all, old);
    const qsizetype end = sharedEnd(all, old, std::min(all.size(), old.size()) - start);
    const qsizetype shift = all.size() - old.size();
    // Days wholly in the shared start, the next day's heading included...
    std::size_t head = 0;
    while (head < days_.size() && days_[head].from + days_[head].length + 3 <= start) {
        ++head;
    }
    // ...and days wholly in the shared end, the line end before their heading included.
    std::size_t tail = days_.size();
    while (tail > head && days_[tail - 1].from - 1 >= old.size() - end && days_[tail - 1].from >= 1) {
        --tail;
    }
    const qsizetype middleFrom = head > 0 ? days_[head - 1].from + days_[head - 1].length : 0;
    const qsizetype middleEnd = tail < days_.size() ? days_[tail].from + shift : all.size();
    const std::vector<qsizetype> starts = dayStarts(all, middleFrom, middleEnd);

    std::unordered_multimap<std::size_t, std::size_t> known;
    known.reserve(tail - head);
    for (std::size_t i = head; i < tail; ++i) {
        known.emplace(dayKey(old.sliced(days_[i].from, days_[i].length)), i);
    }
    std::vector<bool> taken(days_.size(), false);

    NotesDocument doc;
    if (head > 0) {
        doc = preamble_;
    } else {
        // The preamble (and the byte-order mark before it) as a whole parse reads it.
        doc = NotesDocument::parse(all.first(starts.empty() ? middleEnd : starts.front()));
        preamble_ = doc;
    }
    // The line end is the whole text's.
    doc.lineEnd = syntax::crlfLineEnds(all) ? NotesDocument::LineEnd::CrLf : NotesDocument::LineEnd::Lf;
    const std::size_t count = head + starts.size() + (days_.size() - tail);
    doc.sections.reserve(static_cast<qsizetype>(count));
    std::vector<Day> days;
    days.reserve(count);
    for (std::size_t i = 0; i < head; ++i) {
        doc.sections.append(days_[i].section);
        days.push_back(days_[i]);
    }
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const qsizetype from = starts[k];
        const qsizetype length = (k + 1 < starts.size() ? starts[k + 1] : middleEnd) - from;
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
    for (std::size_t i = tail; i < days_.size(); ++i) {
        doc.sections.append(days_[i].section);
        days.push_back(Day{days_[i].from + shift, days_[i].length, days_[i].section});
    }
    source_ = text;
    days_ = std::move(days);
    return doc;
}

} // namespace plim
