#include "ui/capture/DrawerTexts.h"

#include "base/Shortened.h"
#include "ui/when/KeyNames.h"

#include <QStringList>

namespace plim::DrawerTexts {

namespace {

// Large numbers in groups of three, apart by a narrow space that never breaks: "100 000".
QString groupedNumber(qsizetype n) {
    QString digits = QString::number(n);
    if (n <= 9'999) {
        return digits;
    }
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3) {
        digits.insert(i, QChar(0x202F));
    }
    return digits;
}

QString sizeText(qsizetype characters) {
    if (characters >= 1'000'000) {
        return QString::number(double(characters) / 1e6, 'f', 1) + QStringLiteral(" million characters");
    }
    return groupedNumber(characters) + QStringLiteral(" characters");
}

} // namespace

QString date(const Calendar& calendar, Instant now) {
    return calendar.format(now, u"EEEE, MMM d");
}

QString count(int open, int ringing) {
    QString text = QString::number(open) + QStringLiteral(" open");
    if (ringing > 0) {
        text += QStringLiteral(" · ") + QString::number(ringing) + QStringLiteral(" now");
    }
    return text;
}

QList<DrawerHintItem> hintItems(bool whenOpen, bool hasText, bool undoable) {
    struct Described {
        const char16_t* full;
        const char16_t* brief;
        int keep;
    };
    QList<Described> described;
    if (whenOpen) {
        described = {{u"↩ save with reminder", u"↩ save", 9},
                     {u"↑↓ presets", u"↑↓ presets", 7},
                     {u"⇥ routine", u"⇥ routine", 6},
                     {u"esc back to the note", u"esc back", 8}};
    } else {
        described = {{u"↩ save", u"↩ save", 9}, {u"⌘↩ keep open", u"⌘↩ keep open", 7}};
        if (hasText) {
            described.append({u"⌘R remind", u"⌘R remind", 8});
        }
        described.append({{u"⌘⇧V clip", u"⌘⇧V clip", 5},
                          {u"esc keep draft", u"esc draft", 3},
                          {u"⌥ peek", u"⌥ peek", 4},
                          {u"⌘O notes", u"⌘O notes", 6}});
        if (undoable) {
            described.append({u"⌘Z undo last capture", u"⌘Z undo", 8});
        }
    }
    QList<DrawerHintItem> items;
    for (const Described& d : std::as_const(described)) {
        items.append({keyText(d.full), keyText(d.brief), d.keep});
    }
    return items;
}

QString hintLine(const QList<DrawerHintItem>& items) {
    QStringList words;
    for (const DrawerHintItem& item : items) {
        words << item.full;
    }
    return words.join(QStringLiteral("    "));
}

QString tooLong(QStringView refused, qsizetype characters, qsizetype most) {
    return refused.toString() + QStringLiteral(" · ") + sizeText(characters) + QStringLiteral(", at most ") +
           groupedNumber(most) + QStringLiteral(" fit in one entry");
}

QString draftKept(const QString& path) {
    return QStringLiteral("draft too long for the drawer · kept whole in ") + shortened(path, 60);
}

QString savedWithReminder(const QString& summary) {
    return QStringLiteral("saved · rings ") + summary;
}

} // namespace plim::DrawerTexts
