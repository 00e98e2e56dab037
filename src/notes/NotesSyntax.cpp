#include "notes/NotesSyntax.h"

#include <unicode/uchar.h>

#include <bit>
#include <cstring>

namespace plim::syntax {

std::optional<CommentMatch> findTrailingComment(QStringView line) {
    const char16_t* p = line.utf16();
    const qsizetype n = line.size();

    // The final "-->" can only be followed by whitespace, so it ends where the trailing whitespace starts.
    qsizetype close = n;
    while (close > 0 && isRegexSpace(p[close - 1])) {
        --close;
    }
    if (close < 7 || p[close - 3] != u'-' || p[close - 2] != u'-' || p[close - 1] != u'>') {
        return std::nullopt;
    }
    const qsizetype arrow = close - 3;

    // The first "<!--" before it wins, unless a line terminator lies between the two: the lazy
    // ".*?" of the expression cannot cross one.
    const QStringView before = line.first(arrow);
    qsizetype from = 0;
    while (true) {
        const auto isOpener = [&](qsizetype at) {
            return p[at + 1] == u'!' && p[at + 2] == u'-' && p[at + 3] == u'-' && backslashesBefore(line, at) % 2 == 0;
        };
        qsizetype open = before.indexOf(u'<', from);
        while (open >= 0 && open + 4 <= arrow && !isOpener(open)) {
            open = before.indexOf(u'<', open + 1);
        }
        if (open < 0 || open + 4 > arrow) {
            return std::nullopt;
        }
        qsizetype terminator = arrow - 1;
        while (terminator >= open + 4 && !isLineTerminator(p[terminator])) {
            --terminator;
        }
        if (terminator < open + 4) {
            // Leading white space joins the comment, but not past a line terminator: that stays with
            // the text, or writing the comment back after two spaces would let an earlier "<!--"
            // reach it on the next read.
            qsizetype start = open;
            while (start > 0 && isRegexSpace(p[start - 1]) && !isLineTerminator(p[start - 1])) {
                --start;
            }
            return CommentMatch{start, open, close, n};
        }
        from = terminator + 1;
    }
}

namespace {

// Reads one \d at i (a code point, so possibly a surrogate pair); returns its length in UTF-16 units.
qsizetype decimalDigitAt(const char16_t* p, qsizetype n, qsizetype i) {
    if (i >= n) {
        return 0;
    }
    const char16_t c = p[i];
    if (c < 0x80) {
        return (c >= u'0' && c <= u'9') ? 1 : 0;
    }
    if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
        const char32_t cp = QChar::surrogateToUcs4(c, p[i + 1]);
        return u_charType(static_cast<UChar32>(cp)) == U_DECIMAL_DIGIT_NUMBER ? 2 : 0;
    }
    return u_charType(c) == U_DECIMAL_DIGIT_NUMBER ? 1 : 0;
}

} // namespace

std::optional<StampMatch> matchTimeStamp(QStringView content) {
    const char16_t* p = content.utf16();
    const qsizetype n = content.size();
    qsizetype i = 0;
    for (int part = 0; part < 2; ++part) {
        if (part == 1) {
            if (i >= n || p[i] != u':') {
                return std::nullopt;
            }
            ++i;
        }
        for (int digit = 0; digit < 2; ++digit) {
            const qsizetype len = decimalDigitAt(p, n, i);
            if (len == 0) {
                return std::nullopt;
            }
            i += len;
        }
    }
    const qsizetype stamp = i;
    if (i < n && !isRegexSpace(p[i])) {
        return std::nullopt;
    }
    while (i < n && isRegexSpace(p[i])) {
        ++i;
    }
    return StampMatch{stamp, i};
}

void appendUnescaped(QString& out, QStringView s) {
    qsizetype hit = s.indexOf(u'\\') < 0 ? -1 : s.indexOf(u"\\<!--");
    if (hit < 0) {
        out.append(s);
        return;
    }
    qsizetype pos = 0;
    for (; hit >= 0; hit = s.indexOf(u"\\<!--", hit + 5)) {
        const qsizetype opener = hit + 1;
        const qsizetype run = backslashesBefore(s, opener);
        if (run % 2 == 1) {
            // Each pair stands for one backslash; the odd one is the escape.
            out.append(s.sliced(pos, opener - run - pos));
            out.append(QString(run / 2, u'\\'));
            pos = opener;
        }
    }
    out.append(s.sliced(pos));
}

namespace {

// Feeds the character at p[i] (two for a surrogate pair) as UTF-8; gives the index after it.
qsizetype feedOne(Fnv2& h, const char16_t* p, qsizetype i, qsizetype n) {
    const char16_t c = p[i];
    if (c < 0x80) {
        h.byte(static_cast<std::uint8_t>(c));
    } else if (c < 0x800) {
        h.byte(static_cast<std::uint8_t>(0xc0 | (c >> 6)));
        h.byte(static_cast<std::uint8_t>(0x80 | (c & 0x3f)));
    } else if (!QChar::isSurrogate(c)) {
        h.byte(static_cast<std::uint8_t>(0xe0 | (c >> 12)));
        h.byte(static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3f)));
        h.byte(static_cast<std::uint8_t>(0x80 | (c & 0x3f)));
    } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
        const char32_t cp = QChar::surrogateToUcs4(c, p[i + 1]);
        h.byte(static_cast<std::uint8_t>(0xf0 | (cp >> 18)));
        h.byte(static_cast<std::uint8_t>(0x80 | ((cp >> 12) & 0x3f)));
        h.byte(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3f)));
        h.byte(static_cast<std::uint8_t>(0x80 | (cp & 0x3f)));
        return i + 2;
    } else {
        h.byte('?');
    }
    return i + 1;
}

} // namespace

void Fnv2::feed(QStringView s) {
    const char16_t* p = s.utf16();
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        // Mostly ASCII: four characters at a time, each one byte.
        while (i + 4 <= n) {
            std::uint64_t four;
            std::memcpy(&four, p + i, sizeof four);
            if ((four & 0xff80ff80ff80ff80ULL) != 0) {
                break;
            }
            if constexpr (std::endian::native != std::endian::little) {
                four =
                    (four >> 48) | ((four >> 16) & 0xffff0000ULL) | ((four << 16) & 0xffff00000000ULL) | (four << 48);
            }
            byte(static_cast<std::uint8_t>(four));
            byte(static_cast<std::uint8_t>(four >> 16));
            byte(static_cast<std::uint8_t>(four >> 32));
            byte(static_cast<std::uint8_t>(four >> 48));
            i += 4;
        }
        if (i < n) {
            i = feedOne(*this, p, i, n);
        }
    }
}

void Fnv2::feedNumber(std::uint64_t n) {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    while (count > 0) {
        byte(static_cast<std::uint8_t>(digits[--count]));
    }
}

} // namespace plim::syntax
