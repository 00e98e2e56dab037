#include "notes/NotesDocument.h"

#include "notes/NotesSyntax.h"

#include <algorithm>

namespace plim::NotesFormat {

using namespace syntax;

QString heading(Instant t, const Calendar& calendar) {
    return QStringLiteral("## ") + calendar.formatPosix(t, u"yyyy-MM-dd EEEE");
}

namespace {

struct StringSink {
    QString& out;
    void put(QStringView s) { out.append(s); }
    void put(char16_t c) { out.append(QChar(c)); }
};

} // namespace

QString formatEntry(QStringView text, const std::optional<QString>& comment) {
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && isRegexSpace(text[b].unicode())) {
        ++b;
    }
    while (e > b && isRegexSpace(text[e - 1].unicode())) {
        --e;
    }
    text = text.sliced(b, e - b);

    QString out;
    out.reserve(text.size() + 32 + (comment ? comment->size() : 0));
    StringSink sink{out};
    out.append(u"- [ ] ");
    bool first = true;
    qsizetype from = 0;
    while (true) {
        qsizetype end = from;
        while (end < text.size() && !isCaptureLineBreak(text[end].unicode())) {
            ++end;
        }
        if (first) {
            putEscaped(sink, text.sliced(from, end - from));
            if (comment && !comment->isEmpty()) {
                out.append(u"  <!-- ");
                out.append(*comment);
                out.append(u" -->");
            }
            first = false;
        } else {
            out.append(u"\n  ");
            putEscaped(sink, text.sliced(from, end - from));
        }
        if (end >= text.size()) {
            break;
        }
        // A pasted "\r\n" is one line break, not two.
        from = end + ((text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ? 2 : 1);
    }
    return out;
}

namespace {

// The units a capture's edits are counted in: UTF-16 code units of the text, or bytes of its UTF-8
// (every character looked for is ASCII, so a scan of the bytes finds the same lines).
template <class View>
struct Units;

template <>
struct Units<QStringView> {
    static constexpr char16_t lf = u'\n';
    static constexpr char16_t cr = u'\r';
    static constexpr QStringView headingMark = u"## ";
    static constexpr QStringView nextHeading = u"\n## ";
    static qsizetype byteOrderMarkSize(QStringView t) { return startsWithByteOrderMark(t) ? 1 : 0; }
    static bool crlfLineEnds(QStringView t) { return syntax::crlfLineEnds(t); }
    static QStringView withoutLineEnd(QStringView l) { return syntax::withoutLineEnd(l); }
    static bool isBlank(QStringView l) { return syntax::isBlank(l); }
    static const QString& encode(const QString& s) { return s; }
};

template <>
struct Units<QByteArrayView> {
    static constexpr char lf = '\n';
    static constexpr char cr = '\r';
    static constexpr QByteArrayView headingMark = "## ";
    static constexpr QByteArrayView nextHeading = "\n## ";
    static qsizetype byteOrderMarkSize(QByteArrayView t) { return t.startsWith("\xEF\xBB\xBF") ? 3 : 0; }
    static bool crlfLineEnds(QByteArrayView t) {
        const qsizetype lf = t.indexOf('\n');
        return lf > 0 && t[lf - 1] == '\r';
    }
    static QByteArrayView withoutLineEnd(QByteArrayView l) {
        qsizetype e = l.size();
        while (e > 0 && l[e - 1] == '\r') {
            --e;
        }
        return l.first(e);
    }
    static bool isBlank(QByteArrayView l) {
        return std::all_of(l.begin(), l.end(), [](char c) { return c == ' ' || c == '\t'; });
    }
    static QByteArray encode(const QString& s) { return s.toUtf8(); }
};

template <class View>
QList<TextEdit> editsIn(QStringView text, View fileText, Instant day, const Calendar& calendar,
                        const std::optional<QString>& comment) {
    using U = Units<View>;
    const QString nl = U::crlfLineEnds(fileText) ? QStringLiteral("\r\n") : QStringLiteral("\n");
    const QString headingLine = heading(day, calendar);
    const auto headingUnits = U::encode(headingLine);
    QString entry = formatEntry(text, comment);
    if (nl.size() > 1) {
        entry.replace(u'\n', nl);
    }
    const qsizetype size = fileText.size();
    const qsizetype begin = U::byteOrderMarkSize(fileText);

    // Works on positions rather than a list of lines: only the preamble, the top day and the blank
    // lines at the end are scanned, whatever the size of the file. A line runs from its start to
    // its "\n" (or the end of the text); its carriage returns before that are its line end.
    const auto lineEndAt = [&](qsizetype from) {
        const qsizetype lf = fileText.indexOf(U::lf, from);
        return lf < 0 ? size : lf;
    };
    const auto lineStartBefore = [&](qsizetype lineEnd) {
        const qsizetype lf = lineEnd > begin ? fileText.lastIndexOf(U::lf, lineEnd - 1) : -1;
        return lf < begin ? begin : lf + 1;
    };
    const auto content = [&](qsizetype from, qsizetype lineEnd) {
        return U::withoutLineEnd(fileText.sliced(from, lineEnd - from));
    };
    // The end (the "\n" or the end of the text) of the last non-blank line in [from, to), if any.
    const auto lastNonBlank = [&](qsizetype from, qsizetype to) -> std::optional<qsizetype> {
        qsizetype lineEnd = to < size && to > from && fileText[to - 1] == U::lf ? to - 1 : to;
        while (true) {
            const qsizetype lineStart = std::max(from, lineStartBefore(lineEnd));
            if (!U::isBlank(content(lineStart, lineEnd))) {
                return lineEnd;
            }
            if (lineStart <= from) {
                return std::nullopt;
            }
            lineEnd = lineStart - 1;
        }
    };
    // Right after the line that ends at lineEnd, past its line end; for a last line without one,
    // the end it lacks is added.
    const auto afterLine = [&](qsizetype lineEnd, QString& lacking) {
        if (lineEnd < size) {
            return lineEnd + 1;
        }
        lacking = fileText.endsWith(U::cr) ? QStringLiteral("\n") : nl;
        return size;
    };

    const auto last = lastNonBlank(begin, size);
    if (!last) {
        return {TextEdit{begin, size, headingLine + nl + nl + entry + nl}};
    }
    QString lacking;
    const qsizetype tail = afterLine(*last, lacking);
    // The blank lines after the last line go; that line ends in a line end.
    const auto withTail = [&](QList<TextEdit> edits) {
        if (tail < size || !lacking.isEmpty()) {
            edits.append(TextEdit{tail, size, lacking});
        }
        return edits;
    };

    qsizetype headingStart = -1;
    qsizetype headingEnd = -1;
    for (qsizetype pos = begin; pos <= *last;) {
        const qsizetype lineEnd = lineEndAt(pos);
        if (fileText.sliced(pos, lineEnd - pos).startsWith(U::headingMark)) {
            headingStart = pos;
            headingEnd = lineEnd;
            break;
        }
        pos = lineEnd + 1;
    }

    if (headingStart < 0) {
        return {TextEdit{tail, size, lacking + nl + headingLine + nl + nl + entry + nl}};
    }
    if (content(headingStart, headingEnd) != View(headingUnits)) {
        // Another day (or a heading typed differently) is on top: a new day goes above it.
        return withTail({TextEdit{headingStart, headingStart, headingLine + nl + nl + entry + nl + nl}});
    }
    // The day is on top: the entry goes after its last non-blank line, before the next heading.
    const qsizetype nextHit = headingEnd < *last ? fileText.indexOf(U::nextHeading, headingEnd) : -1;
    const qsizetype nextStart = nextHit < 0 || nextHit >= *last ? -1 : nextHit + 1;
    const qsizetype dayLast = nextStart < 0 ? *last : *lastNonBlank(headingStart, nextStart);
    const QString gap = dayLast == headingEnd ? nl : QString();
    if (nextStart < 0) {
        return {TextEdit{tail, size, lacking + gap + entry + nl}};
    }
    return withTail({TextEdit{dayLast + 1, nextStart, gap + entry + nl + nl}});
}

} // namespace

QList<TextEdit> captureEdits(QStringView text, QStringView fileText, Instant day, const Calendar& calendar,
                             const std::optional<QString>& comment) {
    return editsIn(text, fileText, day, calendar, comment);
}

QList<TextEdit> captureEdits(QStringView text, QByteArrayView fileUtf8, Instant day, const Calendar& calendar,
                             const std::optional<QString>& comment) {
    return editsIn(text, fileUtf8, day, calendar, comment);
}

QString applyEdits(QStringView fileText, const QList<TextEdit>& edits) {
    qsizetype size = fileText.size();
    for (const TextEdit& e : edits) {
        size += e.text.size() - (e.to - e.from);
    }
    QString out;
    out.reserve(size);
    qsizetype at = 0;
    for (const TextEdit& e : edits) {
        out.append(fileText.sliced(at, e.from - at));
        out.append(e.text);
        at = e.to;
    }
    out.append(fileText.sliced(at));
    return out;
}

QString appending(QStringView text, QStringView fileText, Instant day, const Calendar& calendar,
                  const std::optional<QString>& comment) {
    return applyEdits(fileText, captureEdits(text, fileText, day, calendar, comment));
}

} // namespace plim::NotesFormat
