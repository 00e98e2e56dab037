#include "notes/IncrementalParser.h"

#include "base/KeyedHash.h"
#include "notes/NotesSyntax.h"

#include <QStringDecoder>

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
    const auto take = [&](Print print, qsizetype length) -> const Day* {
        const auto [first, past] = known.equal_range(print);
        for (auto it = first; it != past; ++it) {
            // Each earlier day is taken once: two identical days must not share an identity.
            if (!taken[it->second] && days_[it->second].length == length) {
                taken[it->second] = true;
                return &days_[it->second];
            }
        }
        return nullptr;
    };
    readDays({all.first(middleEnd), allText.first(textEnd), 0, 0, starts, textStarts}, take, doc, days);
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

std::optional<NotesDocument> IncrementalParser::parse(const std::vector<Piece>& pieces) {
    // Days mostly come in the order read last time: looked for where the last one found stood (and
    // just after it, past a day changed or gone), else through all of them, through a table once a
    // few were not where expected.
    std::unordered_multimap<std::size_t, std::size_t> known;
    std::vector<bool> taken(days_.size(), false);
    std::size_t next = 0;
    int misses = 0;
    // Each earlier day is taken once: two identical days must not share an identity.
    const auto take = [&](Print print, qsizetype length) -> const Day* {
        const auto fits = [&](std::size_t i) {
            return !taken[i] && days_[i].print == print && days_[i].length == length;
        };
        std::optional<std::size_t> found;
        for (const std::size_t i : {next, next + 1}) {
            if (!found && i < days_.size() && fits(i)) {
                found = i;
            }
        }
        if (!found && ++misses <= 8) {
            for (std::size_t i = 0; i < days_.size() && !found; ++i) {
                if (fits(i)) {
                    found = i;
                }
            }
        } else if (!found) {
            if (known.empty()) {
                known.reserve(days_.size());
                for (std::size_t i = 0; i < days_.size(); ++i) {
                    known.emplace(days_[i].print, i);
                }
            }
            const auto [first, past] = known.equal_range(print);
            for (auto it = first; it != past && !found; ++it) {
                if (fits(it->second)) {
                    found = it->second;
                }
            }
        }
        if (!found) {
            return nullptr;
        }
        taken[*found] = true;
        next = *found + 1;
        return &days_[*found];
    };

    NotesDocument doc;
    NotesDocument preamble;
    Print preamblePrint = 0;
    bool preambleRead = false;
    std::vector<Day> days;
    days.reserve(pieces.size());
    qsizetype at = 0;     // bytes read so far
    qsizetype textAt = 0; // and their text's length
    // The pieces not known, read together once a known day or the end follows.
    QByteArray run;
    const auto readRun = [&] {
        if (preambleRead && run.isEmpty()) {
            return true;
        }
        QStringDecoder decoder(QStringDecoder::Utf8,
                               QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        const QString text = decoder.decode(run);
        if (decoder.hasError()) {
            return false;
        }
        const QByteArrayView bytes(run);
        const QStringView view(text);
        const bool first = !preambleRead;
        const std::vector<qsizetype> starts =
            dayStarts(bytes, 0, bytes.size(), first && bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0);
        const std::vector<qsizetype> textStarts =
            dayStarts(view, 0, view.size(), first && syntax::startsWithByteOrderMark(view) ? 1 : 0);
        if (starts.size() != textStarts.size()) {
            return false;
        }
        if (first) {
            // The preamble (and the byte-order mark before it) as a whole parse reads it.
            preamble = NotesDocument::parse(view.first(textStarts.empty() ? view.size() : textStarts.front()));
            preamblePrint = keyedHash(bytes.first(starts.empty() ? bytes.size() : starts.front()));
            doc = preamble;
            doc.sections.reserve(static_cast<qsizetype>(pieces.size()));
            preambleRead = true;
        } else if (starts.empty() || starts.front() != 0) {
            return false; // it goes on with the known day before it
        }
        readDays({bytes, view, at, textAt, starts, textStarts}, take, doc, days);
        at += bytes.size();
        textAt += view.size();
        run.clear();
        return true;
    };

    // The line end of the text's first line, found in its bytes.
    std::optional<bool> crlf;
    char lastByte = 0;
    qsizetype total = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const QByteArrayView bytes = pieces[i].utf8;
        // A known day stands where a day starts (after a line end, or first after the byte-order
        // mark) and ends a line unless it is the last.
        const bool dayStart =
            total == 0 ? true : lastByte == '\n' || (total == 3 && at == 0 && run.startsWith("\xEF\xBB\xBF"));
        const Day* same =
            i > 0 && dayStart && bytes.startsWith("## ") && (i + 1 == pieces.size() || bytes.endsWith('\n'))
                ? take(pieces[i].print, bytes.size())
                : nullptr;
        if (!crlf) {
            if (const qsizetype lf = bytes.indexOf('\n'); lf >= 0) {
                crlf = lf > 0 ? bytes[lf - 1] == '\r' : total > 0 && lastByte == '\r';
            }
        }
        total += bytes.size();
        if (!bytes.isEmpty()) {
            lastByte = bytes.back();
        }
        if (!same) {
            run += bytes;
            continue;
        }
        if (!readRun()) {
            return std::nullopt;
        }
        doc.sections.append(same->section);
        days.push_back(Day{at, same->length, textAt, same->textLength, same->print, same->section});
        at += same->length;
        textAt += same->textLength;
    }
    if (!readRun()) {
        return std::nullopt;
    }
    doc.lineEnd = crlf.value_or(false) ? NotesDocument::LineEnd::CrLf : NotesDocument::LineEnd::Lf;
    size_ = at;
    textSize_ = textAt;
    preamblePrint_ = preamblePrint;
    preamble_ = std::move(preamble);
    days_ = std::move(days);
    return doc;
}

void IncrementalParser::readDays(const Stretch& stretch, const std::function<const Day*(Print, qsizetype)>& take,
                                 NotesDocument& doc, std::vector<Day>& days) {
    const std::vector<qsizetype>& starts = stretch.starts;
    const std::vector<qsizetype>& textStarts = stretch.textStarts;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const bool last = k + 1 == starts.size();
        const qsizetype from = starts[k];
        const qsizetype length = (last ? stretch.bytes.size() : starts[k + 1]) - from;
        const qsizetype textFrom = textStarts[k];
        const qsizetype textLength = (last ? stretch.text.size() : textStarts[k + 1]) - textFrom;
        const Print print = keyedHash(stretch.bytes.sliced(from, length));
        DaySection section;
        if (const Day* same = take(print, length)) {
            section = same->section;
        } else {
            section = std::move(NotesDocument::parse(stretch.text.sliced(textFrom, textLength)).sections.front());
            // Its list is sized for a typical day: over years of days the room left would add up.
            section.items.squeeze();
        }
        doc.sections.append(section);
        days.push_back(
            Day{stretch.at + from, length, stretch.textAt + textFrom, textLength, print, std::move(section)});
    }
}

} // namespace plim
