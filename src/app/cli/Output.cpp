#include "app/cli/Output.h"

#include <QChar>

#include <cstdint>
#include <cstdio>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace plim::cli {

namespace {

constexpr std::size_t kFlushAt = 1 << 16;

// Each state's word in JSON and its mark in the plain listing, in the order of Entry::State.
struct StateWords {
    const char* name;
    const char* mark;
};
constexpr StateWords kStateWords[] = {
    {"open", "[ ]"}, {"done", "[x]"}, {"carried", "[>]"}, {"note", " - "}, {"struck", " ~ "}};

QString stateMark(Entry::State s) {
    return QLatin1String(kStateWords[static_cast<int>(s)].mark);
}

} // namespace

void out(const QString& s) {
    const QByteArray bytes = s.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

void err(const QString& s) {
    QString text;
    for (const QStringView line : QStringView(s).split(QLatin1Char('\n'))) {
        text += QStringLiteral("plim: ");
        text += line;
        text += QLatin1Char('\n');
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
}

QString idText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

EntryListing::EntryListing(Format format)
    : format_(format) {
    if (format_ == Format::Json) {
        buffer_.assign(kFlushAt + 4096, '\0');
        put("[\n");
    }
}

void EntryListing::entry(const Entry& e, QStringView day) {
    if (format_ == Format::Json) {
        json(e, day, nullptr);
        return;
    }
    QString line = idText(e.id).left(8) + QLatin1String("  ") + day.left(10).toString() + QLatin1String("  ") +
                   stateMark(e.state) + QLatin1Char(' ') + (e.active ? QStringLiteral("! ") : QString()) +
                   QString(e.text).replace(QLatin1Char('\n'), QLatin1String("\n") + QString(26, QLatin1Char(' ')));
    if (e.time) {
        line += QLatin1String("  ") + *e.time;
    }
    if (e.comment) {
        line += QLatin1String("  (") + *e.comment + QLatin1Char(')');
    }
    out(line + QLatin1Char('\n'));
}

void EntryListing::ringing(const Entry& e, QStringView day, const QString& label) {
    if (format_ == Format::Json) {
        json(e, day, &label);
        return;
    }
    out(idText(e.id).left(8) + QLatin1String("  ") + e.text.section(QLatin1Char('\n'), 0, 0) + QStringLiteral("  · ") +
        label + QLatin1Char('\n'));
}

void EntryListing::finish() {
    if (format_ == Format::Json) {
        put(first_ ? "]\n" : "\n]\n");
        flush();
    }
}

void EntryListing::json(const Entry& e, QStringView day, const QString* label) {
    put(first_ ? "    {\n" : ",\n    {\n");
    first_ = false;
    put(e.active ? "        \"active\": true,\n" : "        \"active\": false,\n");
    put("        \"comment\": ");
    nullableString(e.comment);
    put(",\n        \"day\": ");
    string(day);
    put(",\n        \"id\": \"");
    id(e.id);
    if (label) {
        put("\",\n        \"label\": ");
        string(*label);
        put(",\n        \"state\": \"");
    } else {
        put("\",\n        \"state\": \"");
    }
    put(kStateWords[static_cast<int>(e.state)].name);
    put("\",\n        \"text\": ");
    string(e.text);
    put(",\n        \"time\": ");
    nullableString(e.time);
    put("\n    }");
    if (used_ >= kFlushAt) {
        flush();
    }
}

char* EntryListing::room(std::size_t n) {
    if (used_ + n > buffer_.size()) {
        flush();
        if (n > buffer_.size()) {
            buffer_.resize(n);
        }
    }
    return buffer_.data() + used_;
}

void EntryListing::put(std::string_view s) {
    std::memcpy(room(s.size()), s.data(), s.size());
    used_ += s.size();
}

// As idText writes it: upper-case hex digits in groups of 8, 4, 4, 4 and 12.
void EntryListing::id(const QUuid& id) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    char* out = room(36);
    const auto hex = [&](std::uint64_t value, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
            *out++ = kHex[(value >> shift) & 0xf];
        }
    };
    hex(id.data1, 8);
    *out++ = '-';
    hex(id.data2, 4);
    *out++ = '-';
    hex(id.data3, 4);
    *out++ = '-';
    hex(std::uint64_t{id.data4[0]} << 8 | id.data4[1], 4);
    *out++ = '-';
    for (int i = 2; i < 8; ++i) {
        hex(id.data4[i], 2);
    }
    used_ += 36;
}

void EntryListing::nullableString(const std::optional<QString>& s) {
    if (s) {
        string(*s);
    } else {
        put("null");
    }
}

// As QJsonDocument escapes: quote, backslash and control characters; the rest as UTF-8, but a
// lone surrogate as \uXXXX.
void EntryListing::string(QStringView s) {
    static constexpr char kHex[] = "0123456789abcdef";
    const char16_t* p = s.utf16();
    const qsizetype n = s.size();
    char* const start = room(static_cast<std::size_t>(n) * 6 + 2);
    char* out = start;
    *out++ = '"';
    for (qsizetype i = 0; i < n; ++i) {
#ifdef __SSE2__
        // Printable ASCII other than quote and backslash, eight characters at a time.
        while (i + 8 <= n) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i special = _mm_or_si128(
                _mm_or_si128(_mm_cmplt_epi16(v, _mm_set1_epi16(0x20)), _mm_cmpgt_epi16(v, _mm_set1_epi16(0x7f))),
                _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16(u'"')), _mm_cmpeq_epi16(v, _mm_set1_epi16(u'\\'))));
            if (_mm_movemask_epi8(special) != 0) {
                break;
            }
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(v, v));
            out += 8;
            i += 8;
        }
        if (i >= n) {
            break;
        }
#endif
        const char16_t c = p[i];
        if (c >= 0x20 && c < 0x80 && c != u'"' && c != u'\\') {
            *out++ = static_cast<char>(c);
        } else if (c < 0x80) {
            *out++ = '\\';
            switch (c) {
            case u'"':
            case u'\\':
                *out++ = static_cast<char>(c);
                break;
            case u'\b':
                *out++ = 'b';
                break;
            case u'\f':
                *out++ = 'f';
                break;
            case u'\n':
                *out++ = 'n';
                break;
            case u'\r':
                *out++ = 'r';
                break;
            case u'\t':
                *out++ = 't';
                break;
            default:
                *out++ = 'u';
                *out++ = '0';
                *out++ = '0';
                *out++ = kHex[c >> 4];
                *out++ = kHex[c & 0xf];
                break;
            }
        } else if (c < 0x800) {
            *out++ = static_cast<char>(0xc0 | (c >> 6));
            *out++ = static_cast<char>(0x80 | (c & 0x3f));
        } else if (!QChar::isSurrogate(c)) {
            *out++ = static_cast<char>(0xe0 | (c >> 12));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            *out++ = static_cast<char>(0x80 | (c & 0x3f));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
            const char32_t cp = QChar::surrogateToUcs4(c, p[++i]);
            *out++ = static_cast<char>(0xf0 | (cp >> 18));
            *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
            *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            *out++ = static_cast<char>(0x80 | (cp & 0x3f));
        } else {
            *out++ = '\\';
            *out++ = 'u';
            for (int shift = 12; shift >= 0; shift -= 4) {
                *out++ = kHex[(c >> shift) & 0xf];
            }
        }
    }
    *out++ = '"';
    used_ += static_cast<std::size_t>(out - start);
}

void EntryListing::flush() {
    std::fwrite(buffer_.data(), 1, used_, stdout);
    used_ = 0;
}

} // namespace plim::cli
