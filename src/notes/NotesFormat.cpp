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

QString appending(QStringView text, QStringView fileText, Instant day, const Calendar& calendar,
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
        return headingLine + QStringLiteral("\n\n") + entry + QLatin1Char('\n');
    }
    const QStringView kept = fileText.first(end);

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

    QString out;
    out.reserve(end + headingLine.size() + entry.size() + 8);
    if (headingStart < 0) {
        out.append(kept);
        out.append(u"\n\n");
        out.append(headingLine);
        out.append(u"\n\n");
        out.append(entry);
        out.append(u'\n');
        return out;
    }
    if (kept.sliced(headingStart, headingEnd - headingStart) != headingLine) {
        // Another day (or a heading typed differently) is on top: a new day goes above it.
        out.append(kept.first(headingStart));
        out.append(headingLine);
        out.append(u"\n\n");
        out.append(entry);
        out.append(u"\n\n");
        out.append(kept.sliced(headingStart));
        out.append(u'\n');
        return out;
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
    out.append(kept.first(lastEnd));
    if (lastEnd == headingEnd) {
        out.append(u'\n');
    }
    out.append(u'\n');
    out.append(entry);
    if (nextStart >= 0) {
        out.append(u"\n\n");
        out.append(kept.sliced(nextStart));
    }
    out.append(u'\n');
    return out;
}

} // namespace plim::NotesFormat
