#include "notes/NotesDocument.h"

#include "notes/NotesSyntax.h"

#include <cstring>
#include <vector>

namespace plim {

using namespace syntax;

namespace {

QUuid uuidFrom(const Fnv2& h) {
    const auto byteOf = [&](int shift) { return static_cast<uchar>(h.b >> shift); };
    return QUuid(static_cast<uint>(h.a >> 32), static_cast<ushort>(h.a >> 16), static_cast<ushort>(h.a), byteOf(56),
                 byteOf(48), byteOf(40), byteOf(32), byteOf(24), byteOf(16), byteOf(8), byteOf(0));
}

// How many entries of each text a section has received so far. Keyed by the hash state after
// heading + "|" + text (already needed for the identity), confirmed by comparing the text itself.
// Slots are reused from section to section; a generation number clears them in O(1).
class TextCounts {
public:
    void clear() {
        ++generation_;
        used_ = 0;
        if (generation_ == 0) { // wrapped around: forget every slot for real
            for (Slot& s : slots_) {
                s.generation = 0;
            }
            generation_ = 1;
        }
    }

    // The number of earlier entries with this text, counting this one in.
    std::uint64_t next(std::uint64_t hash, QStringView text) {
        if ((used_ + 1) * 2 > slots_.size()) {
            grow();
        }
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& s = slots_[i];
            if (s.generation != generation_) {
                s = Slot{hash, text, 1, generation_};
                ++used_;
                return 0;
            }
            if (s.hash == hash && s.text == text) {
                return s.count++;
            }
        }
    }

private:
    struct Slot {
        std::uint64_t hash = 0;
        QStringView text; // points into an entry already stored in the section
        std::uint64_t count = 0;
        unsigned generation = 0;
    };

    void grow() {
        std::vector<Slot> old(std::max<std::size_t>(64, slots_.size() * 2));
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& s : old) {
            if (s.generation != generation_) {
                continue;
            }
            std::size_t i = s.hash & mask;
            while (slots_[i].generation == generation_) {
                i = (i + 1) & mask;
            }
            slots_[i] = s;
        }
    }

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
    unsigned generation_ = 1;
};

bool hasAngleBracket(QStringView s) {
    for (const QChar c : s) {
        if (c == u'<' || c == u'>') {
            return true;
        }
    }
    return false;
}

// Every "<!--", then every "-->", taken out left to right.
QString withoutCommentMarks(QStringView s) {
    const auto removeAll = [](QStringView from, QStringView mark) {
        QString out;
        out.reserve(from.size());
        qsizetype pos = 0;
        for (qsizetype hit = from.indexOf(mark); hit >= 0; hit = from.indexOf(mark, pos)) {
            out.append(from.sliced(pos, hit - pos));
            pos = hit + mark.size();
        }
        out.append(from.sliced(pos));
        return out;
    };
    // Removing one kind of mark can join the pieces of another ("<-->!--"); repeat until none is
    // left, so that the comment written back never holds a mark and reads back the same.
    QString out = removeAll(removeAll(s, u"<!--"), u"-->");
    while (out.contains(u"<!--") || out.contains(u"-->")) {
        out = removeAll(removeAll(out, u"<!--"), u"-->");
    }
    return out;
}

// Stamps are nearly always plain "HH:mm"; share one string per value instead of allocating each.
QString stampString(QStringView stamp) {
    static const QList<QString> shared = [] {
        QList<QString> all;
        all.reserve(24 * 60);
        for (int m = 0; m < 24 * 60; ++m) {
            all.append(
                QStringLiteral("%1:%2").arg(m / 60, 2, 10, QLatin1Char('0')).arg(m % 60, 2, 10, QLatin1Char('0')));
        }
        return all;
    }();
    if (stamp.size() == 5) {
        const char16_t* p = stamp.utf16();
        const auto digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
        if (digit(p[0]) && digit(p[1]) && digit(p[3]) && digit(p[4])) {
            const int hour = (p[0] - u'0') * 10 + (p[1] - u'0');
            const int minute = (p[3] - u'0') * 10 + (p[4] - u'0');
            if (hour < 24 && minute < 60) {
                return shared[hour * 60 + minute];
            }
        }
    }
    return stamp.toString();
}

bool isStruckThrough(QStringView s) {
    return s.size() >= 4 && s[0] == u'~' && s[1] == u'~' && s[s.size() - 2] == u'~' && s[s.size() - 1] == u'~';
}

// Output targets of the writer: the first pass counts, the second copies into a pre-sized string.
struct CountingSink {
    bool crlf = false;
    qsizetype size = 0;
    void put(QStringView s) { size += s.size(); }
    void newline() { size += crlf ? 2 : 1; }
    void put(char16_t) { ++size; }
    template <std::size_t N>
    void put(const char16_t (&)[N]) {
        size += N - 1;
    }
};

struct CopyingSink {
    char16_t* out;
    bool crlf = false;
    void newline() {
        if (crlf) {
            *out++ = u'\r';
        }
        *out++ = u'\n';
    }
    void put(QStringView s) {
        if (s.isEmpty()) { // a null string has no data pointer at all
            return;
        }
        std::memcpy(out, s.utf16(), static_cast<std::size_t>(s.size()) * sizeof(char16_t));
        out += s.size();
    }
    void put(char16_t c) { *out++ = c; }
    template <std::size_t N>
    void put(const char16_t (&s)[N]) {
        for (std::size_t i = 0; i + 1 < N; ++i) {
            *out++ = s[i];
        }
    }
};

template <class Sink>
void writeEntry(const Entry& e, Sink& out) {
    const QStringView text = e.text;
    qsizetype lineEnd = text.indexOf(u'\n');
    const QStringView first = lineEnd < 0 ? text : text.first(lineEnd);

    out.put(u"- ");
    switch (e.state) {
    case Entry::State::Open:
        out.put(u"[ ] ");
        break;
    case Entry::State::Done:
        out.put(u"[x] ");
        break;
    case Entry::State::Carried:
        out.put(u"[>] ");
        break;
    case Entry::State::Note:
    case Entry::State::Struck:
        break;
    }
    if (e.active) {
        out.put(u"! ");
    }
    const bool strike = e.state == Entry::State::Done || e.state == Entry::State::Struck;
    if (strike) {
        out.put(u"~~");
    }
    putEscaped(out, first);
    if (strike) {
        out.put(u"~~");
    }
    // Time and comment, those present, joined by one space; written only when that is not empty.
    const bool both = e.time && e.comment;
    if (both || (e.time && !e.time->isEmpty()) || (e.comment && !e.comment->isEmpty())) {
        out.put(u"  <!-- ");
        if (e.time) {
            out.put(QStringView(*e.time));
        }
        if (both) {
            out.put(u' ');
        }
        if (e.comment) {
            out.put(QStringView(*e.comment));
        }
        out.put(u" -->");
    }
    out.newline();
    while (lineEnd >= 0) {
        const qsizetype from = lineEnd + 1;
        lineEnd = text.indexOf(u'\n', from);
        out.put(u"  ");
        putEscaped(out, text.sliced(from, (lineEnd < 0 ? text.size() : lineEnd) - from));
        out.newline();
    }
}

template <class Sink>
void writeDocument(const NotesDocument& doc, Sink& out) {
    if (doc.byteOrderMark) {
        out.put(byteOrderMark);
    }
    for (const QString& line : doc.preamble) {
        out.put(QStringView(line));
        out.newline();
    }
    if (!doc.preamble.isEmpty()) {
        out.newline();
    }
    for (qsizetype s = 0; s < doc.sections.size(); ++s) {
        const DaySection& section = doc.sections[s];
        out.put(u"## ");
        out.put(QStringView(section.heading));
        out.newline();
        out.newline();
        bool afterEntry = false;
        for (const Item& item : section.items) {
            if (const auto* entry = std::get_if<Entry>(&item)) {
                writeEntry(*entry, out);
                afterEntry = true;
            } else {
                const QStringView raw = std::get<RawLine>(item).text;
                // Right under an entry, an indented line would be read back as part of that entry,
                // changing its text and identity; the blank line keeps it a line of its own.
                if (afterEntry && raw.startsWith(u"  ")) {
                    out.newline();
                }
                out.put(raw);
                out.newline();
                afterEntry = false;
            }
        }
        if (s + 1 < doc.sections.size()) {
            out.newline();
        }
    }
}

} // namespace

// --- Reading -------------------------------------------------------------------------------------

Entry NotesDocument::parseEntry(QStringView line) {
    line = withoutLineEnd(line);
    Entry e;
    e.state = Entry::State::Note;
    // A checkbox is followed by a space; one followed at once by the trailing comment counts too,
    // because the comment is written back after two spaces and would then read as a checkbox.
    qsizetype markLength = 0;
    if (line.size() >= 4 && line[0] == u'[' && line[2] == u']') {
        if (line[3] == u' ') {
            markLength = 4;
        } else if (const auto m = findTrailingComment(line.sliced(3)); m && m->start == 0) {
            markLength = 3;
        }
    }
    if (markLength > 0) {
        switch (line[1].unicode()) {
        case u' ':
            e.state = Entry::State::Open;
            break;
        case u'x':
        case u'X':
            e.state = Entry::State::Done;
            break;
        case u'>':
            e.state = Entry::State::Carried;
            break;
        default:
            break;
        }
        if (e.state != Entry::State::Note) {
            line = line.sliced(markLength);
        }
    }
    if (line.size() >= 2 && line[0] == u'!' && line[1] == u' ') {
        e.active = true;
        line = line.sliced(2);
    } else if (line.size() >= 2 && line[0] == u'!') {
        // As with the checkbox: "!" right before the comment is the mark, as it reads once written.
        if (const auto m = findTrailingComment(line.sliced(1)); m && m->start == 0) {
            e.active = true;
            line = line.sliced(1);
        }
    }

    QStringView text = line;
    if (const auto m = findTrailingComment(line)) {
        // The comment content is what lies between the outer "<!--" and "-->" (all markers inside
        // removed). The whitespace the match takes around the comment only separates it from the
        // text: it is left out here, so a carriage return or other line-end space never lands in
        // the stamp or the comment.
        const QStringView inner = line.sliced(m->open + 4, m->close - 3 - (m->open + 4));
        QString buffer;
        QStringView content;
        if (hasAngleBracket(inner)) {
            buffer = withoutCommentMarks(line.sliced(m->open, m->close - m->open));
            content = trimSpacesAndTabs(buffer);
        } else {
            content = trimSpacesAndTabs(inner);
        }
        if (const auto stamp = matchTimeStamp(content)) {
            // Only the digits and the colon: the whitespace after them is not part of the stamp.
            e.time = stampString(content.first(stamp->stamp));
            content = content.sliced(stamp->withSpace);
        }
        if (!content.isEmpty()) {
            e.comment = content.toString();
        }
        // The match runs to the end of the line: everything after "-->" is white space. An empty
        // comment is not written back, so the text then ends the line: carriage returns at its
        // end would be read as the line end.
        text = line.first(m->start);
        if (!e.time && !e.comment) {
            text = withoutLineEnd(text);
        }
    }

    // Strike marks count once the comment is cut out.
    if (isStruckThrough(text)) {
        const QStringView inner = text.sliced(2, text.size() - 4);
        // Open and carried entries are written without the marks: drop them only when the bare
        // text reads back as the same text, or the next read would see a shortlist mark, marks of
        // its own, or a line end in it. (A "<!--" in it is written escaped.)
        const bool plainWrite = e.state == Entry::State::Open || e.state == Entry::State::Carried;
        const QStringView firstLine =
            inner.first(std::min(inner.size(), inner.indexOf(u'\n') < 0 ? inner.size() : inner.indexOf(u'\n')));
        const bool spaceBeforeComment = (e.time || e.comment) && !firstLine.isEmpty() &&
                                        isRegexSpace(firstLine.back().unicode()) &&
                                        !isLineTerminator(firstLine.back().unicode());
        const bool lineEndAfter = !e.time && !e.comment && firstLine.endsWith(u'\r');
        const bool misread = (!e.active && firstLine.startsWith(u"! ")) || isStruckThrough(firstLine) ||
                             spaceBeforeComment || lineEndAfter;
        if (!plainWrite || !misread) {
            text = inner;
            if (e.state == Entry::State::Note) {
                e.state = Entry::State::Struck;
            }
        }
    }
    appendUnescaped(e.text, text);
    return e;
}

QUuid NotesDocument::stableID(QStringView key) {
    Fnv2 h;
    h.feed(key);
    return uuidFrom(h);
}

NotesDocument NotesDocument::parse(QStringView text) {
    NotesDocument doc;
    doc.lineEnd = crlfLineEnds(text) ? LineEnd::CrLf : LineEnd::Lf;
    if (startsWithByteOrderMark(text)) {
        doc.byteOrderMark = true;
        text = text.sliced(1);
    }
    DaySection section;
    bool inSection = false;
    Fnv2 headingHash; // state after heading + "|"
    TextCounts counts;
    Entry pending;
    bool hasPending = false;

    const auto finishPending = [&] {
        if (!hasPending) {
            return;
        }
        hasPending = false;
        Fnv2 h = headingHash;
        h.feed(pending.text);
        section.items.append(std::move(pending));
        Entry& stored = std::get<Entry>(section.items.back());
        const std::uint64_t n = counts.next(h.a ^ (h.b << 1), stored.text);
        h.byte('|');
        h.feedNumber(n);
        stored.id = uuidFrom(h);
    };

    const char16_t* p = text.utf16();
    const qsizetype size = text.size();
    qsizetype pos = 0;
    while (pos <= size) {
        qsizetype end = text.indexOf(u'\n', pos);
        if (end < 0) {
            end = size;
        }
        const QStringView line = withoutLineEnd(QStringView(p + pos, end - pos));
        pos = end + 1;
        const qsizetype len = line.size();
        const char16_t* l = line.utf16();

        if (len >= 3 && l[0] == u'#' && l[1] == u'#' && l[2] == u' ') {
            finishPending();
            // Days hold similar numbers of lines: size the next one like the last.
            const qsizetype expected = inSection ? section.items.size() + 8 : 32;
            if (inSection) {
                doc.sections.append(std::move(section));
            }
            section = DaySection{QUuid::createUuid(), line.sliced(3).toString(), {}};
            section.items.reserve(expected);
            inSection = true;
            headingHash = Fnv2{};
            headingHash.feed(section.heading);
            headingHash.byte('|');
            counts.clear();
        } else if (!inSection) {
            if (!isBlank(line)) {
                doc.preamble.append(line.toString());
            }
        } else if (len >= 2 && l[0] == u'-' && l[1] == u' ') {
            finishPending();
            pending = parseEntry(line.sliced(2));
            hasPending = true;
        } else if (hasPending && len >= 2 && l[0] == u' ' && l[1] == u' ') {
            pending.text.reserve(pending.text.size() + len - 1);
            pending.text.append(u'\n');
            appendUnescaped(pending.text, line.sliced(2));
        } else {
            finishPending();
            if (!isBlank(line)) {
                section.items.append(RawLine{line.toString()});
            }
        }
    }
    finishPending();
    if (inSection) {
        doc.sections.append(std::move(section));
    }
    return doc;
}

// --- Writing -------------------------------------------------------------------------------------

QString NotesDocument::serialized() const {
    const bool crlf = lineEnd == LineEnd::CrLf;
    CountingSink counter{crlf};
    writeDocument(*this, counter);
    QString out(counter.size, Qt::Uninitialized);
    CopyingSink copier{reinterpret_cast<char16_t*>(out.data()), crlf};
    writeDocument(*this, copier);
    return out;
}

QStringList NotesDocument::serialize(const Entry& entry) {
    CountingSink counter;
    writeEntry(entry, counter);
    QString text(counter.size, Qt::Uninitialized);
    CopyingSink copier{reinterpret_cast<char16_t*>(text.data())};
    writeEntry(entry, copier);
    text.chop(1); // the final line end
    return text.split(u'\n');
}

QString NotesDocument::time(Instant t, const Calendar& calendar) {
    return calendar.formatPosix(t, u"HH:mm");
}

std::optional<Instant> NotesDocument::headingDate(QStringView heading, const Calendar& calendar) {
    if (heading.size() < 10) {
        return std::nullopt;
    }
    return calendar.parseIsoDate(heading.first(10));
}

// --- Queries and edits ---------------------------------------------------------------------------

QList<Entry> DaySection::entries() const {
    QList<Entry> out;
    out.reserve(items.size());
    for (const Item& item : items) {
        if (const auto* e = std::get_if<Entry>(&item)) {
            out.append(*e);
        }
    }
    return out;
}

std::optional<EntryLocation> NotesDocument::location(const QUuid& id) const {
    for (qsizetype s = 0; s < sections.size(); ++s) {
        const QList<Item>& items = sections[s].items;
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (const auto* e = std::get_if<Entry>(&items[i]); e && e->id == id) {
                return EntryLocation{s, i};
            }
        }
    }
    return std::nullopt;
}

std::optional<Entry> NotesDocument::entry(const QUuid& id) const {
    const auto at = location(id);
    if (!at) {
        return std::nullopt;
    }
    if (const auto* e = std::get_if<Entry>(&sections[at->section].items[at->item])) {
        return *e;
    }
    return std::nullopt;
}

Entry* NotesDocument::entryAt(const EntryLocation& at) {
    if (at.section < 0 || at.section >= sections.size()) {
        return nullptr;
    }
    QList<Item>& items = sections[at.section].items;
    if (at.item < 0 || at.item >= items.size()) {
        return nullptr;
    }
    return std::get_if<Entry>(&items[at.item]);
}

std::optional<Entry> NotesDocument::remove(const QUuid& id) {
    const auto at = location(id);
    if (!at) {
        return std::nullopt;
    }
    QList<Item>& items = sections[at->section].items;
    auto* e = std::get_if<Entry>(&items[at->item]);
    if (!e) {
        return std::nullopt;
    }
    Entry taken = std::move(*e);
    items.removeAt(at->item);
    return taken;
}

QList<Entry> NotesDocument::allEntries() const {
    QList<Entry> out;
    for (const DaySection& section : sections) {
        for (const Item& item : section.items) {
            if (const auto* e = std::get_if<Entry>(&item)) {
                out.append(*e);
            }
        }
    }
    return out;
}

qsizetype NotesDocument::sectionIndex(Instant day, const Calendar& calendar) {
    const QString heading = NotesFormat::heading(day, calendar).sliced(3);
    for (qsizetype s = 0; s < sections.size(); ++s) {
        if (sections[s].heading == heading) {
            return s;
        }
    }
    sections.prepend(DaySection{QUuid::createUuid(), heading, {}});
    return 0;
}

} // namespace plim
