#include "notes/NotesDocument.h"

#include "notes/NotesSyntax.h"

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

QList<TextEdit> captureEdits(QStringView text, QStringView fileText, Instant day, const Calendar& calendar,
                             const std::optional<QString>& comment) {
    const QString nl = crlfLineEnds(fileText) ? QStringLiteral("\r\n") : QStringLiteral("\n");
    const QString headingLine = heading(day, calendar);
    QString entry = formatEntry(text, comment);
    if (nl.size() > 1) {
        entry.replace(u'\n', nl);
    }
    const qsizetype size = fileText.size();
    const qsizetype begin = startsWithByteOrderMark(fileText) ? 1 : 0;

    // Works on positions rather than a list of lines: only the preamble, the top day and the blank
    // lines at the end are scanned, whatever the size of the file. A line runs from its start to
    // its "\n" (or the end of the text); its carriage returns before that are its line end.
    const auto lineEndAt = [&](qsizetype from) {
        const qsizetype lf = fileText.indexOf(u'\n', from);
        return lf < 0 ? size : lf;
    };
    const auto lineStartBefore = [&](qsizetype lineEnd) {
        const qsizetype lf = lineEnd > begin ? fileText.lastIndexOf(u'\n', lineEnd - 1) : -1;
        return lf < begin ? begin : lf + 1;
    };
    const auto content = [&](qsizetype from, qsizetype lineEnd) {
        return withoutLineEnd(fileText.sliced(from, lineEnd - from));
    };
    // The end (the "\n" or the end of the text) of the last non-blank line in [from, to), if any.
    const auto lastNonBlank = [&](qsizetype from, qsizetype to) -> std::optional<qsizetype> {
        qsizetype lineEnd = to < size && to > from && fileText[to - 1] == u'\n' ? to - 1 : to;
        while (true) {
            const qsizetype lineStart = std::max(from, lineStartBefore(lineEnd));
            if (!isBlank(content(lineStart, lineEnd))) {
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
        lacking = fileText.endsWith(u'\r') ? QStringLiteral("\n") : nl;
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
        if (fileText.sliced(pos, lineEnd - pos).startsWith(u"## ")) {
            headingStart = pos;
            headingEnd = lineEnd;
            break;
        }
        pos = lineEnd + 1;
    }

    if (headingStart < 0) {
        return {TextEdit{tail, size, lacking + nl + headingLine + nl + nl + entry + nl}};
    }
    if (content(headingStart, headingEnd) != headingLine) {
        // Another day (or a heading typed differently) is on top: a new day goes above it.
        return withTail({TextEdit{headingStart, headingStart, headingLine + nl + nl + entry + nl + nl}});
    }
    // The day is on top: the entry goes after its last non-blank line, before the next heading.
    const qsizetype nextHit = headingEnd < *last ? fileText.indexOf(u"\n## ", headingEnd) : -1;
    const qsizetype nextStart = nextHit < 0 || nextHit >= *last ? -1 : nextHit + 1;
    const qsizetype dayLast = nextStart < 0 ? *last : *lastNonBlank(headingStart, nextStart);
    const QString gap = dayLast == headingEnd ? nl : QString();
    if (nextStart < 0) {
        return {TextEdit{tail, size, lacking + gap + entry + nl}};
    }
    return withTail({TextEdit{dayLast + 1, nextStart, gap + entry + nl + nl}});
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
