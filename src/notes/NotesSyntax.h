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

// The first match of "\s*<!--(.*?)-->\s*$": [start, end) is the whole match, [open, close) runs from
// the "<!--" to the end of the final "-->".
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
