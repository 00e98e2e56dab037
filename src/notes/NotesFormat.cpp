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

    QList<QStringView> lines = fileText.split(u'\n');
    while (!lines.isEmpty() && isBlank(lines.last())) {
        lines.removeLast();
    }
    if (lines.isEmpty()) {
        return headingLine + QStringLiteral("\n\n") + entry + QLatin1Char('\n');
    }

    const auto isHeading = [](QStringView line) { return line.startsWith(u"## "); };
    qsizetype firstHeading = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (isHeading(lines[i])) {
            firstHeading = i;
            break;
        }
    }

    // The entry goes in as one element: joining with "\n" gives its own lines back.
    QList<QStringView> out;
    out.reserve(lines.size() + 5);
    if (firstHeading >= 0 && lines[firstHeading] == headingLine) {
        qsizetype next = firstHeading + 1;
        while (next < lines.size() && !isHeading(lines[next])) {
            ++next;
        }
        qsizetype last = next - 1;
        while (last > firstHeading && isBlank(lines[last])) {
            --last;
        }
        out.append(lines.first(last + 1));
        if (last == firstHeading) {
            out.append(QStringView());
        }
        out.append(entry);
        if (next < lines.size()) {
            out.append(QStringView());
            out.append(lines.sliced(next));
        }
    } else if (firstHeading >= 0) {
        out.append(lines.first(firstHeading));
        out.append({headingLine, QStringView(), entry, QStringView()});
        out.append(lines.sliced(firstHeading));
    } else {
        out.append(lines);
        out.append({QStringView(), headingLine, QStringView(), entry});
    }

    qsizetype size = 0;
    for (const QStringView line : out) {
        size += line.size() + 1;
    }
    QString result;
    result.reserve(size);
    for (const QStringView line : out) {
        result.append(line);
        result.append(u'\n');
    }
    return result;
}

} // namespace plim::NotesFormat
