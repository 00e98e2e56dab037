#pragma once

// Character classes and scanners shared by the notes file reader and writer. The trailing comment
// and the time stamp follow ICU regular expression semantics, scanned by hand because a regex engine
// costs more than the rest of the reader together.

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace plim::syntax {

// ICU's \s: the Unicode White_Space property.
constexpr bool isRegexSpace(char16_t c) {
    if (c < 0x80) {
        return c == u' ' || (c >= 0x09 && c <= 0x0d);
    }
    return c == 0x85 || c == 0xa0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200a) || c == 0x2028 || c == 0x2029 ||
           c == 0x202f || c == 0x205f || c == 0x3000;
}

// What ICU's "." does not match without DOTALL.
constexpr bool isLineTerminator(char16_t c) {
    return (c >= 0x0a && c <= 0x0d) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Line breaks of a typed capture: line feed, carriage return, and the other Unicode ones.
constexpr bool isCaptureLineBreak(char16_t c) {
    return isLineTerminator(c);
}

constexpr bool isSpaceOrTab(char16_t c) {
    return c == u' ' || c == u'\t';
}

inline QStringView trimSpacesAndTabs(QStringView s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isSpaceOrTab(s[b].unicode())) {
        ++b;
    }
    while (e > b && isSpaceOrTab(s[e - 1].unicode())) {
        --e;
    }
    return s.sliced(b, e - b);
}

inline bool isBlank(QStringView s) {
    return trimSpacesAndTabs(s).isEmpty();
}

// A line's carriage returns before its line feed (or the end of the text) are part of its line end.
inline QStringView withoutLineEnd(QStringView line) {
    qsizetype e = line.size();
    while (e > 0 && line[e - 1] == u'\r') {
        --e;
    }
    return line.first(e);
}

constexpr char16_t byteOrderMark = 0xfeff;

inline bool startsWithByteOrderMark(QStringView text) {
    return !text.isEmpty() && text.front() == QChar(byteOrderMark);
}

// Whether the text's first line ends in CR LF: the style its new lines are written in.
inline bool crlfLineEnds(QStringView text) {
    const qsizetype lf = text.indexOf(u'\n');
    return lf > 0 && text[lf - 1] == u'\r';
}

// How many backslashes stand right before position `at`.
inline qsizetype backslashesBefore(QStringView s, qsizetype at) {
    qsizetype i = at;
    while (i > 0 && s[i - 1] == u'\\') {
        --i;
    }
    return at - i;
}

// Text is written with every comment opener escaped the CommonMark way, so that no opener typed
// into an entry is ever taken for its trailing comment: the backslashes right before "<!--" are
// doubled and one is added. Only openers after an odd run of backslashes were escaped.
template <class Sink>
void putEscaped(Sink& out, QStringView s) {
    qsizetype hit = s.indexOf(u'<') < 0 ? -1 : s.indexOf(u"<!--");
    if (hit < 0) {
        out.put(s);
        return;
    }
    qsizetype pos = 0;
    for (; hit >= 0; hit = s.indexOf(u"<!--", hit + 4)) {
        out.put(s.sliced(pos, hit - pos));
        for (qsizetype i = backslashesBefore(s, hit); i >= 0; --i) {
            out.put(u'\\');
        }
        pos = hit;
    }
    out.put(s.sliced(pos));
}

// The text an escaped line stands for, appended to `out`.
void appendUnescaped(QString& out, QStringView s);

// The first match of "\s*<!--(.*?)-->\s*$" whose "<!--" is not escaped (after an odd run of
// backslashes): [start, end) is the whole match, [open, close) runs from the "<!--" to the end of
// the final "-->".
struct CommentMatch {
    qsizetype start = 0;
    qsizetype open = 0;
    qsizetype close = 0;
    qsizetype end = 0;
    friend bool operator==(const CommentMatch&, const CommentMatch&) = default;
};
std::optional<CommentMatch> findTrailingComment(QStringView line);

// Length of the match of "^\d{2}:\d{2}" when followed by "(\s+|$)", and the length including that
// whitespace; \d is any Unicode decimal digit.
struct StampMatch {
    qsizetype stamp = 0;
    qsizetype withSpace = 0;
};
std::optional<StampMatch> matchTimeStamp(QStringView content);

// Two 64-bit FNV-1a hashes over the UTF-8 form of UTF-16 text, encoded on the fly the way
// QString::toUtf8 does (a lone surrogate becomes '?').
struct Fnv2 {
    static constexpr std::uint64_t prime = 0x100000001b3ULL;
    std::uint64_t a = 0xcbf29ce484222325ULL;
    std::uint64_t b = 0x84222325cbf29ce4ULL;

    void byte(std::uint8_t x) {
        a = (a ^ x) * prime;
        b = (b ^ x) * prime;
    }
    void feed(QStringView s);
    void feedNumber(std::uint64_t n);
};

} // namespace plim::syntax
