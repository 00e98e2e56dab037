#include "notes/NotesDocument.h"

#include "notes/NotesSyntax.h"

namespace plim::NotesFormat {

using namespace syntax;

QString heading(Instant t, const Calendar& calendar) {
    return QStringLiteral("## ") + calendar.formatPosix(t, u"yyyy-MM-dd EEEE");
}

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
    out.append(u"- [ ] ");
    bool first = true;
    qsizetype from = 0;
    while (true) {
        qsizetype end = from;
        while (end < text.size() && !isCaptureLineBreak(text[end].unicode())) {
            ++end;
        }
        if (first) {
            out.append(text.sliced(from, end - from));
            if (comment && !comment->isEmpty()) {
                out.append(u"  <!-- ");
                out.append(*comment);
                out.append(u" -->");
            }
            first = false;
        } else {
            out.append(u"\n  ");
            out.append(text.sliced(from, end - from));
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
    const QString headingLine = heading(day, calendar);
    const QString entry = formatEntry(text, comment);

    // Works on positions rather than a list of lines: only the preamble and the top day are
    // scanned, whatever the size of the file.
    const auto lineEndAt = [&](qsizetype from, qsizetype limit) {
        const qsizetype nl = fileText.indexOf(u'\n', from);
        return (nl < 0 || nl > limit) ? limit : nl;
    };
    const auto blankLine = [&](qsizetype from, qsizetype to) { return isBlank(fileText.sliced(from, to - from)); };

    // Without its trailing blank lines the text ends at `end` (the end of its last non-blank line).
    qsizetype end = fileText.size();
    while (end > 0) {
        const qsizetype nl = fileText.lastIndexOf(u'\n', end - 1);
        const qsizetype lineStart = nl < 0 ? 0 : nl + 1;
        if (!blankLine(lineStart, end)) {
            break;
        }
        end = nl < 0 ? 0 : nl;
    }
    if (end == 0 && (fileText.isEmpty() || blankLine(0, lineEndAt(0, fileText.size())))) {
        return {TextEdit{0, fileText.size(), headingLine + QStringLiteral("\n\n") + entry + QLatin1Char('\n')}};
    }
    const QStringView kept = fileText.first(end);
    // The file ends in exactly one line end after its last non-blank line.
    const auto withTail = [&](QList<TextEdit> edits) {
        if (fileText.sliced(end) != u"\n") {
            edits.append(TextEdit{end, fileText.size(), QStringLiteral("\n")});
        }
        return edits;
    };

    qsizetype headingStart = -1;
    qsizetype headingEnd = -1;
    for (qsizetype pos = 0; pos <= end;) {
        const qsizetype lineEnd = lineEndAt(pos, end);
        if (kept.sliced(pos, lineEnd - pos).startsWith(u"## ")) {
            headingStart = pos;
            headingEnd = lineEnd;
            break;
        }
        pos = lineEnd + 1;
    }

    if (headingStart < 0) {
        return {TextEdit{end, fileText.size(),
                         QStringLiteral("\n\n") + headingLine + QStringLiteral("\n\n") + entry + QLatin1Char('\n')}};
    }
    if (kept.sliced(headingStart, headingEnd - headingStart) != headingLine) {
        // Another day (or a heading typed differently) is on top: a new day goes above it.
        return withTail({TextEdit{headingStart, headingStart,
                                  headingLine + QStringLiteral("\n\n") + entry + QStringLiteral("\n\n")}});
    }
    // The day is on top: the entry goes after its last non-blank line, before the next heading.
    const qsizetype nextHit = headingEnd < end ? kept.indexOf(u"\n## ", headingEnd) : -1;
    const qsizetype nextStart = nextHit < 0 ? -1 : nextHit + 1;
    qsizetype lastEnd = nextStart < 0 ? end : nextStart - 1;
    while (lastEnd > headingEnd) {
        const qsizetype nl = kept.lastIndexOf(u'\n', lastEnd - 1);
        const qsizetype lineStart = nl + 1;
        if (!blankLine(lineStart, lastEnd)) {
            break;
        }
        lastEnd = nl;
    }
    QString inserted = lastEnd == headingEnd ? QStringLiteral("\n\n") : QStringLiteral("\n");
    inserted += entry;
    if (nextStart < 0) {
        return {TextEdit{lastEnd, fileText.size(), inserted + QLatin1Char('\n')}};
    }
    return withTail({TextEdit{lastEnd, nextStart, inserted + QStringLiteral("\n\n")}});
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
