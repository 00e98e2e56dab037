#pragma once

#include <QString>
#include <QStringView>

namespace plim {

// A value fit for a message: at most about `limit` characters, its beginning and its end (where a
// path names its file) kept around "…".
inline QString shortened(QStringView text, qsizetype limit = 120) {
    if (text.size() <= limit) {
        return text.toString();
    }
    const qsizetype tail = limit / 3;
    qsizetype head = limit - tail - 1;
    // Never half a character.
    if (text.at(head - 1).isHighSurrogate()) {
        --head;
    }
    qsizetype from = text.size() - tail;
    if (text.at(from).isLowSurrogate()) {
        ++from;
    }
    return text.first(head).toString() + u'…' + text.sliced(from).toString();
}

} // namespace plim
