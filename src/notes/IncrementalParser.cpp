#include "notes/IncrementalParser.h"

#include "base/KeyedHash.h"
#include "notes/NotesSyntax.h"

#include <unordered_map>

namespace plim {

namespace {

const char16_t* units(QStringView s) {
    return s.utf16();
}
const char* units(QByteArrayView s) {
    return s.data();
}
qsizetype find(QStringView s, char16_t c, qsizetype from) {
    return s.indexOf(QChar(c), from);
}
qsizetype find(QByteArrayView s, char c, qsizetype from) {
    return s.indexOf(c, from);
}

// Where each day starts in text.first(end): every line that begins with "## ", as the parser sees
// headings (the first one after a byte-order mark, `mark` units long). `from` is 0 or a day's
// start. The same in the text and in its UTF-8: the marks are ASCII.
template <class View>
std::vector<qsizetype> dayStarts(View text, qsizetype from, qsizetype end, qsizetype mark) {
    std::vector<qsizetype> starts;
    const View region = text.first(end);
    const auto* data = units(text);
    const auto headingAt = [&](qsizetype at) {
        return at + 3 <= end && data[at] == '#' && data[at + 1] == '#' && data[at + 2] == ' ';
    };
    if (headingAt(from == 0 ? mark : from)) {
        starts.push_back(from == 0 ? mark : from);
    }
    // Found by their '#', which is rare elsewhere: a search for one character is vectorised, and
    // takes far fewer steps than one for each line end.
    for (qsizetype at = find(region, '#', from + 1); at >= 0; at = find(region, '#', at + 1)) {
        if (data[at - 1] == '\n' && headingAt(at)) {
            starts.push_back(at);
        }
    }
    return starts;
}

} // namespace

void IncrementalParser::clear() {
    size_ = 0;
    textSize_ = 0;
    preamblePrint_ = {};
    days_.clear();
    preamble_ = {};
}

NotesDocument IncrementalParser::parse(const QString& text, QByteArray utf8) {
    if (utf8.isNull()) {
        utf8 = text.toUtf8();
    }
    // Days are compared in UTF-8 and parsed from the text; a day's place is known in both.
    const QByteArrayView all(utf8);
    const QStringView allText(text);
    const qsizetype shift = all.size() - size_;
    const qsizetype textShift = text.size() - textSize_;
    const auto sameAt = [&](const Day& day, qsizetype at) {
        return at + day.length <= all.size() && keyedHash(all.sliced(at, day.length)) == day.print;
    };
    // An edit usually changes one stretch of the file: the days before it and after it are the
    // earlier ones, found by position and known by their print. Days in place at the start, the
    // preamble before them the same and the next day's heading after them...
    std::size_t head = 0;
    if (!days_.empty() && days_.front().from <= all.size() &&
        keyedHash(all.first(days_.front().from)) == preamblePrint_) {
        while (head + 1 < days_.size() && sameAt(days_[head], days_[head].from) &&
               all.sliced(days_[head].from + days_[head].length).startsWith("## ")) {
            ++head;
        }
    }
    const qsizetype headEnd = head > 0 ? days_[head - 1].from + days_[head - 1].length : 0;
    // ...and days in place at the end, each after a line end.
    std::size_t tail = days_.size();
    while (tail > head) {
        const Day& day = days_[tail - 1];
        const qsizetype at = day.from + shift;
        if (at < 1 || at < headEnd || all[at - 1] != '\n' || !sameAt(day, at)) {
            break;
        }
        --tail;
    }
    const qsizetype middleFrom = head > 0 ? days_[head - 1].from + days_[head - 1].length : 0;
    const qsizetype middleEnd = tail < days_.size() ? days_[tail].from + shift : all.size();
    const qsizetype textFrom = head > 0 ? days_[head - 1].textFrom + days_[head - 1].textLength : 0;
    const qsizetype textEnd = tail < days_.size() ? days_[tail].textFrom + textShift : text.size();
    const std::vector<qsizetype> starts = dayStarts(all, middleFrom, middleEnd, all.startsWith("\xEF\xBB\xBF") ? 3 : 0);
    const std::vector<qsizetype> textStarts =
        dayStarts(allText, textFrom, textEnd, syntax::startsWithByteOrderMark(allText) ? 1 : 0);
    if (starts.size() != textStarts.size() || textFrom > textEnd || textEnd > text.size()) {
        // Bytes that are not the text's UTF-8: nothing can be compared.
        clear();
        return NotesDocument::parse(text);
    }

    std::unordered_multimap<std::size_t, std::size_t> known;
    known.reserve(tail - head);
    for (std::size_t i = head; i < tail; ++i) {
        known.emplace(days_[i].print, i);
    }
    std::vector<bool> taken(days_.size(), false);

    NotesDocument doc;
    if (head > 0) {
        doc = preamble_;
    } else {
        // The preamble (and the byte-order mark before it) as a whole parse reads it.
        doc = NotesDocument::parse(allText.first(textStarts.empty() ? textEnd : textStarts.front()));
        preamble_ = doc;
        preamblePrint_ = keyedHash(all.first(starts.empty() ? middleEnd : starts.front()));
    }
    // The line end is the whole text's.
    doc.lineEnd = syntax::crlfLineEnds(allText) ? NotesDocument::LineEnd::CrLf : NotesDocument::LineEnd::Lf;
    const std::size_t count = head + starts.size() + (days_.size() - tail);
    doc.sections.reserve(static_cast<qsizetype>(count));
    std::vector<Day> days;
    days.reserve(count);
    for (std::size_t i = 0; i < head; ++i) {
        doc.sections.append(days_[i].section);
        days.push_back(days_[i]);
    }
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const bool last = k + 1 == starts.size();
        const qsizetype from = starts[k];
        const qsizetype length = (last ? middleEnd : starts[k + 1]) - from;
        const qsizetype dayTextFrom = textStarts[k];
        const qsizetype dayTextLength = (last ? textEnd : textStarts[k + 1]) - dayTextFrom;
        const Print dayPrint = keyedHash(all.sliced(from, length));
        const Day* same = nullptr;
        const auto [first, past] = known.equal_range(dayPrint);
        for (auto it = first; it != past; ++it) {
            const Day& candidate = days_[it->second];
            // Each earlier day is taken once: two identical days must not share an identity.
            if (!taken[it->second] && candidate.length == length && candidate.print == dayPrint) {
                taken[it->second] = true;
                same = &candidate;
                break;
            }
        }
        DaySection section;
        if (same) {
            section = same->section;
        } else {
            section = std::move(NotesDocument::parse(allText.sliced(dayTextFrom, dayTextLength)).sections.front());
            // Its list is sized for a typical day: over years of days the room left would add up.
            section.items.squeeze();
        }
        doc.sections.append(section);
        days.push_back(Day{from, length, dayTextFrom, dayTextLength, dayPrint, std::move(section)});
    }
    for (std::size_t i = tail; i < days_.size(); ++i) {
        doc.sections.append(days_[i].section);
        days.push_back(Day{days_[i].from + shift, days_[i].length, days_[i].textFrom + textShift, days_[i].textLength,
                           days_[i].print, days_[i].section});
    }
    size_ = all.size();
    textSize_ = text.size();
    days_ = std::move(days);
    return doc;
}

} // namespace plim
