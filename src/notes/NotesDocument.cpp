#include "notes/NotesDocument.h"

#include "notes/NotesSyntax.h"

#include <QHash>
#include <QMutex>
#include <QRandomGenerator>

#include <array>
#include <cstring>
#include <deque>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
                s.hash = hash;
                s.text = text;
                s.count = 1;
                s.generation = generation_;
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

// Stamps are nearly always plain "HH:mm": each of those is a string over static storage, as a
// literal is, which costs neither an allocation nor a reference count.
constexpr int kMinutes = 24 * 60;

const std::array<QString, kMinutes>& plainStamps() {
    static constexpr std::size_t kWidth = 6; // "HH:mm" and a '\0'
    static const std::array<char16_t, kMinutes* kWidth> table = [] {
        std::array<char16_t, kMinutes * kWidth> all{};
        for (std::size_t m = 0; m < kMinutes; ++m) {
            char16_t* at = all.data() + m * kWidth;
            at[0] = static_cast<char16_t>(u'0' + m / 600);
            at[1] = static_cast<char16_t>(u'0' + m / 60 % 10);
            at[2] = u':';
            at[3] = static_cast<char16_t>(u'0' + m % 60 / 10);
            at[4] = static_cast<char16_t>(u'0' + m % 10);
        }
        return all;
    }();
    static const std::array<QString, kMinutes> strings = [] {
        std::array<QString, kMinutes> all;
        for (std::size_t m = 0; m < kMinutes; ++m) {
            all[m] = QString::fromRawData(reinterpret_cast<const QChar*>(table.data() + m * kWidth), 5);
        }
        return all;
    }();
    return strings;
}

// The few stamps that are not plain, each kept once (never dropped: they are rare and small).
struct OtherStamps {
    QMutex lock;
    std::deque<QString> texts; // stays where it is as more are added
    QHash<QString, quint32> numbers;
};

OtherStamps& otherStamps() {
    static OtherStamps others;
    return others;
}

constexpr quint32 kFirstOther = kMinutes + 1;

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
    } else if (!doc.preamble.isEmpty() && doc.preamble.first().startsWith(byteOrderMark)) {
        // A mark inside the text, first only after a blank line: written first, it would be read
        // back as the file's byte-order mark and the line below it as a day.
        out.newline();
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

// A day's identity only has to differ from every other's: it comes from a generator seeded once per
// thread by the system's, which costs far less than asking the system for every day read.
QUuid freshDayId() {
    thread_local QRandomGenerator random = [] {
        std::array<quint32, 8> seed;
        QRandomGenerator::system()->fillRange(seed.data(), seed.size());
        return QRandomGenerator(seed.data(), static_cast<qsizetype>(seed.size()));
    }();
    const quint64 high = random.generate64();
    const quint64 low = random.generate64();
    // A version 4 (random) identity, as QUuid::createUuid makes.
    return QUuid(static_cast<uint>(high >> 32), static_cast<ushort>(high >> 16),
                 static_cast<ushort>((high & 0x0fff) | 0x4000), static_cast<uchar>(((low >> 56) & 0x3f) | 0x80),
                 static_cast<uchar>(low >> 48), static_cast<uchar>(low >> 40), static_cast<uchar>(low >> 32),
                 static_cast<uchar>(low >> 24), static_cast<uchar>(low >> 16), static_cast<uchar>(low >> 8),
                 static_cast<uchar>(low));
}

// The strings of one read, laid one after another in shared blocks instead of one allocation each:
// a large file's hundred thousand texts then cost a few hundred allocations, and less memory. Each
// string is an ordinary QString holding a reference to its block (and followed by a '\0' there, as
// QString promises); changing one copies it out, as for any shared string. A block is at most a
// few pages, so a string kept alone keeps little else alive.
class TextBlocks {
public:
    explicit TextBlocks(qsizetype textSize)
        : left_(textSize + 1) {}
    ~TextBlocks() { release(); }
    TextBlocks(const TextBlocks&) = delete;
    TextBlocks& operator=(const TextBlocks&) = delete;

    QString take(QStringView s) {
        const qsizetype need = s.size() + 1;
        if (used_ + need > capacity_) {
            if (need > kBlock || s.isEmpty()) {
                return s.toString();
            }
            // The strings of a text never need more room than the text itself (each comes from a
            // line, and lines are separated by one character).
            release();
            capacity_ = std::clamp<qsizetype>(left_, need, kBlock);
            block_ = QString(capacity_, Qt::Uninitialized);
            // A reference for every string the block can hold, taken at once: handing them out
            // then needs no atomic operation each.
            spare_ = capacity_;
            block_.data_ptr().d_ptr()->ref_.fetchAndAddRelaxed(static_cast<int>(spare_));
            used_ = 0;
        }
        left_ -= need;
        char16_t* at = block_.data_ptr().data() + used_;
        std::memcpy(at, s.utf16(), static_cast<std::size_t>(s.size()) * sizeof(char16_t));
        at[s.size()] = u'\0';
        used_ += need;
        --spare_;
        return QString(QString::DataPointer(block_.data_ptr().d_ptr(), at, s.size()));
    }

private:
    // Gives back the references not handed out; the block's own keeps it alive meanwhile.
    void release() {
        if (spare_ > 0) {
            block_.data_ptr().d_ptr()->ref_.fetchAndSubRelaxed(static_cast<int>(spare_));
            spare_ = 0;
        }
    }

    static constexpr qsizetype kBlock = 16384;
    QString block_; // the block being filled, and one reference to it
    qsizetype capacity_ = 0;
    qsizetype used_ = 0;
    qsizetype spare_ = 0;
    qsizetype left_ = 0;
};

// What one pass over a line finds: where it ends, and the few characters the entry reader must
// look at closer. Everything else is plain text, skipped eight characters at a time.
struct LineScan {
    qsizetype end = 0;          // the "\n" that ends the line, or the end of the text
    qsizetype firstAngle = -1;  // the first '<'
    qsizetype lastUnusual = -1; // the last vertical tab, form feed or character beyond ASCII
    qsizetype carriageReturns = 0;
    qsizetype angles = 0; // '<' and '>'
    bool backslash = false;

    // Takes one character that the fast pass stopped at; true at the end of the line.
    bool take(char16_t c, qsizetype at) {
        switch (c) {
        case u'\n':
            end = at;
            return true;
        case u'<':
            if (firstAngle < 0) {
                firstAngle = at;
            }
            ++angles;
            break;
        case u'>':
            ++angles;
            break;
        case u'\\':
            backslash = true;
            break;
        case u'\r':
            ++carriageReturns;
            break;
        case u'\v':
        case u'\f':
            lastUnusual = at;
            break;
        default:
            if (c >= 0x80) {
                lastUnusual = at;
            }
            break;
        }
        return false;
    }
};

LineScan scanLine(const char16_t* p, qsizetype n) {
    LineScan s;
    qsizetype i = 0;
#ifdef __SSE2__
    // Control characters, '<', '>', '\\' and everything beyond ASCII stop the pass.
    const __m128i below = _mm_set1_epi16(0x20);
    const __m128i above = _mm_set1_epi16(0x7f);
    const __m128i open = _mm_set1_epi16(u'<');
    const __m128i close = _mm_set1_epi16(u'>');
    const __m128i backslash = _mm_set1_epi16(u'\\');
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i angles = _mm_or_si128(_mm_cmpeq_epi16(v, open), _mm_cmpeq_epi16(v, close));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmplt_epi16(v, below), _mm_cmpgt_epi16(v, above)),
                                          _mm_or_si128(angles, _mm_cmpeq_epi16(v, backslash)));
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
            const int bit = __builtin_ctz(mask);
            mask &= ~(1u << bit); // each character has two bits
            if (s.take(p[i + bit / 2], i + bit / 2)) {
                return s;
            }
        }
    }
#endif
    for (; i < n; ++i) {
        const char16_t c = p[i];
        if ((c < 0x20 || c >= 0x80 || c == u'<' || c == u'>' || c == u'\\') && s.take(c, i)) {
            return s;
        }
    }
    s.end = n;
    return s;
}

// What the scan of an entry line tells its reader; positions count from the start of the text
// being read.
struct EntryFacts {
    qsizetype firstAngle = -1;
    qsizetype lastUnusual = -1;
    qsizetype angles = -1; // '<' and '>' in the whole line; -1 when not counted
    // A backslash, or a carriage return inside the line: the reader then takes its general path.
    bool irregular = true;

    // The text read now starts `cut` characters later.
    void skip(qsizetype cut) {
        firstAngle = firstAngle < 0 ? -1 : firstAngle - cut;
        lastUnusual = std::max<qsizetype>(-1, lastUnusual - cut);
    }
};

// findTrailingComment, quicker where the facts allow: when the first '<' opens the comment and
// nothing from just before it to the end of the line is a backslash, a line terminator or any
// other white space than spaces and tabs, the match is found without searching.
std::optional<CommentMatch> trailingComment(QStringView line, const EntryFacts& facts) {
    if (facts.irregular) {
        return findTrailingComment(line);
    }
    if (facts.firstAngle < 0) {
        return std::nullopt; // no "<!--" at all
    }
    const char16_t* p = line.utf16();
    const qsizetype n = line.size();
    const qsizetype open = facts.firstAngle;
    if (facts.lastUnusual >= open - 1 || open + 7 > n || p[open + 1] != u'!' || p[open + 2] != u'-' ||
        p[open + 3] != u'-') {
        return findTrailingComment(line);
    }
    qsizetype close = n;
    while (close > 0 && isSpaceOrTab(p[close - 1])) {
        --close;
    }
    if (close - 3 < open + 4 || p[close - 3] != u'-' || p[close - 2] != u'-' || p[close - 1] != u'>') {
        return std::nullopt;
    }
    qsizetype start = open;
    while (start > 0 && isSpaceOrTab(p[start - 1])) {
        --start;
    }
    if (start > 0 && facts.lastUnusual == start - 1) {
        return findTrailingComment(line); // white space of another kind may lie before
    }
    return CommentMatch{start, open, close, n};
}

// matchTimeStamp, for a comment of plain ASCII without line terminators.
std::optional<StampMatch> plainTimeStamp(QStringView content) {
    const char16_t* p = content.utf16();
    const qsizetype n = content.size();
    const auto digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    if (n < 5 || !digit(p[0]) || !digit(p[1]) || p[2] != u':' || !digit(p[3]) || !digit(p[4]) ||
        (n > 5 && !isSpaceOrTab(p[5]))) {
        return std::nullopt;
    }
    qsizetype i = 5;
    while (i < n && isSpaceOrTab(p[i])) {
        ++i;
    }
    return StampMatch{5, i};
}

// Reads an entry line (after its "- ") into a new entry.
void readEntry(QStringView line, EntryFacts& facts, TextBlocks* blocks, Entry& e);

} // namespace

Stamp::Stamp(QStringView text) {
    if (text.size() == 5) {
        const char16_t* p = text.utf16();
        const auto digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
        if (digit(p[0]) && digit(p[1]) && p[2] == u':' && digit(p[3]) && digit(p[4])) {
            const int hour = (p[0] - u'0') * 10 + (p[1] - u'0');
            const int minute = (p[3] - u'0') * 10 + (p[4] - u'0');
            if (hour < 24 && minute < 60) {
                code_ = static_cast<quint32>(1 + hour * 60 + minute);
                return;
            }
        }
    }
    OtherStamps& others = otherStamps();
    const QMutexLocker locked(&others.lock);
    const QString key = text.toString();
    auto at = others.numbers.constFind(key);
    if (at == others.numbers.constEnd()) {
        at = others.numbers.insert(key, kFirstOther + static_cast<quint32>(others.texts.size()));
        others.texts.push_back(key);
    }
    code_ = *at;
}

const QString& Stamp::operator*() const {
    if (code_ >= 1 && code_ < kFirstOther) {
        return plainStamps()[code_ - 1];
    }
    static const QString none;
    if (code_ == 0) {
        return none;
    }
    OtherStamps& others = otherStamps();
    const QMutexLocker locked(&others.lock);
    return others.texts[code_ - kFirstOther];
}

// --- Reading -------------------------------------------------------------------------------------

Entry NotesDocument::parseEntry(QStringView line) {
    Entry e;
    EntryFacts unknown;
    readEntry(withoutLineEnd(line), unknown, nullptr, e);
    return e;
}

namespace {

void readEntry(QStringView line, EntryFacts& facts, TextBlocks* blocks, Entry& e) {
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
            facts.skip(markLength);
        }
    }
    if (line.size() >= 2 && line[0] == u'!' && line[1] == u' ') {
        e.active = true;
        line = line.sliced(2);
        facts.skip(2);
    } else if (line.size() >= 2 && line[0] == u'!') {
        // As with the checkbox: "!" right before the comment is the mark, as it reads once written.
        if (const auto m = findTrailingComment(line.sliced(1)); m && m->start == 0) {
            e.active = true;
            line = line.sliced(1);
            facts.skip(1);
        }
    }

    QStringView text = line;
    if (const auto m = trailingComment(line, facts)) {
        // The comment content is what lies between the outer "<!--" and "-->" (all markers inside
        // removed). The whitespace the match takes around the comment only separates it from the
        // text: it is left out here, so a carriage return or other line-end space never lands in
        // the stamp or the comment.
        const QStringView inner = line.sliced(m->open + 4, m->close - 3 - (m->open + 4));
        QString buffer;
        QStringView content;
        // A line whose only angle brackets are the comment's own has none inside it.
        if (facts.angles != 2 && hasAngleBracket(inner)) {
            buffer = withoutCommentMarks(line.sliced(m->open, m->close - m->open));
            content = trimSpacesAndTabs(buffer);
        } else {
            content = trimSpacesAndTabs(inner);
        }
        // Past the scan's last unusual character, the comment is plain ASCII on one line.
        const bool plain = !facts.irregular && facts.lastUnusual < m->open;
        if (const auto stamp = plain ? plainTimeStamp(content) : matchTimeStamp(content)) {
            // Only the digits and the colon: the whitespace after them is not part of the stamp.
            e.time = Stamp(content.first(stamp->stamp));
            content = content.sliced(stamp->withSpace);
        }
        if (!content.isEmpty()) {
            e.comment = blocks ? blocks->take(content) : content.toString();
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
        const auto misread = [&] {
            const qsizetype lf = inner.indexOf(u'\n');
            const QStringView firstLine = lf < 0 ? inner : inner.first(lf);
            const char16_t last = firstLine.isEmpty() ? u'\0' : firstLine.back().unicode();
            const bool spaceBeforeComment = (e.time || e.comment) && isRegexSpace(last) && !isLineTerminator(last);
            const bool lineEndAfter = !e.time && !e.comment && last == u'\r';
            const bool shortlist = firstLine.size() >= 2 && firstLine[0] == u'!' && firstLine[1] == u' ';
            return (!e.active && shortlist) || isStruckThrough(firstLine) || spaceBeforeComment || lineEndAfter;
        };
        const bool plainWrite = e.state == Entry::State::Open || e.state == Entry::State::Carried;
        if (!plainWrite || !misread()) {
            text = inner;
            if (e.state == Entry::State::Note) {
                e.state = Entry::State::Struck;
            }
        }
    }
    if (facts.irregular) {
        appendUnescaped(e.text, text);
    } else if (!text.isEmpty()) {
        e.text = blocks ? blocks->take(text) : text.toString(); // no backslash: nothing escaped
    }
}

} // namespace

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
    bool hasPending = false; // the last item is an entry that may still get more lines

    const auto finishPending = [&] {
        if (!hasPending) {
            return;
        }
        hasPending = false;
        Entry& stored = std::get<Entry>(section.items.back());
        Fnv2 h = headingHash;
        h.feed(stored.text);
        const std::uint64_t n = counts.next(h.a ^ (h.b << 1), stored.text);
        h.byte('|');
        h.feedNumber(n);
        stored.id = uuidFrom(h);
    };

    const char16_t* p = text.utf16();
    const qsizetype size = text.size();
    TextBlocks blocks(size);
    qsizetype pos = 0;
    while (pos <= size) {
        const LineScan scan = scanLine(p + pos, size - pos);
        const QStringView line = withoutLineEnd(QStringView(p + pos, scan.end));
        pos += scan.end + 1;
        const qsizetype len = line.size();
        const char16_t* l = line.utf16();

        if (len >= 3 && l[0] == u'#' && l[1] == u'#' && l[2] == u' ') {
            finishPending();
            // Days hold similar numbers of lines: size the next one like the last.
            const qsizetype expected = inSection ? section.items.size() + 8 : 32;
            if (inSection) {
                doc.sections.append(std::move(section));
            }
            section = DaySection{freshDayId(), blocks.take(line.sliced(3)), {}};
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
            // Carriage returns inside the line end lines for the comment's expression.
            const bool irregular = scan.backslash || scan.carriageReturns > scan.end - len;
            section.items.resize(section.items.size() + 1); // an empty entry, read in place
            Entry& e = std::get<Entry>(section.items.back());
            EntryFacts facts{scan.firstAngle, scan.lastUnusual, scan.angles, irregular};
            facts.skip(2);
            readEntry(line.sliced(2), facts, &blocks, e);
            hasPending = true;
        } else if (hasPending && len >= 2 && l[0] == u' ' && l[1] == u' ') {
            QString& pending = std::get<Entry>(section.items.back()).text;
            pending.reserve(pending.size() + len - 1);
            pending.append(u'\n');
            if (scan.backslash) {
                appendUnescaped(pending, line.sliced(2));
            } else {
                pending.append(line.sliced(2));
            }
        } else {
            finishPending();
            if (!isBlank(line)) {
                section.items.resize(section.items.size() + 1);
                section.items.back().emplace<RawLine>(RawLine{blocks.take(line)});
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

std::optional<EntryLocation> NotesDocument::location(const QUuid& id, const std::optional<EntryLocation>& hint) const {
    if (hint && hint->section >= 0 && hint->section < sections.size()) {
        const QList<Item>& items = sections[hint->section].items;
        if (hint->item >= 0 && hint->item < items.size()) {
            if (const auto* e = std::get_if<Entry>(&items[hint->item]); e && e->id == id) {
                return hint;
            }
        }
    }
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

std::optional<Entry> NotesDocument::entry(const QUuid& id, const std::optional<EntryLocation>& hint) const {
    const auto at = location(id, hint);
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

std::optional<Entry> NotesDocument::remove(const QUuid& id, const std::optional<EntryLocation>& hint) {
    const auto at = location(id, hint);
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
