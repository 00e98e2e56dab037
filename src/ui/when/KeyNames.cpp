#include "ui/when/KeyNames.h"

#include <QStringList>

namespace plim {

namespace {

// The desktop's name of a modifier symbol; empty for any other character.
QStringView modifierName(QChar c) {
    switch (c.unicode()) {
    case 0x2318: // ⌘ command
    case 0x2303: // ⌃ control
        return u"Ctrl";
    case 0x2325: // ⌥ option
        return u"Alt";
    case 0x21E7: // ⇧ shift
        return u"Shift";
    default:
        return {};
    }
}

} // namespace

QString keyText(QStringView described) {
    QString out;
    out.reserve(described.size() + 8);
    qsizetype i = 0;
    while (i < described.size()) {
        if (modifierName(described[i]).isEmpty()) {
            out.append(described[i]);
            ++i;
            continue;
        }
        // A run of modifier symbols: each named once (command and control are both Ctrl here).
        QStringList names;
        while (i < described.size() && !modifierName(described[i]).isEmpty()) {
            const QString name = modifierName(described[i]).toString();
            if (!names.contains(name)) {
                names.append(name);
            }
            ++i;
        }
        out.append(names.join(u'+'));
        const bool keyFollows = i < described.size() && !described[i].isSpace();
        if (keyFollows) {
            out.append(u'+');
        }
    }
    return out;
}

} // namespace plim
