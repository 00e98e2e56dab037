#pragma once

#include "notes/NotesDocument.h"

#include <QByteArray>
#include <QString>

#include <optional>

#include <vector>

namespace plim {

// A document's written form kept day by day, so that a change which leaves most days alone does
// not write them all anew. Every day is written by NotesDocument::serialized itself, so the result
// is always exactly the document's serialized() text: there is no second copy of the format's rules.
class DayTexts {
public:
    // The document's serialized() text. A day whose items are still the very list kept here (a
    // change detaches the list of every day it touches) reuses its kept text; `next` receives the
    // days of `doc`, to be kept once that text is the one in use. `next` may be this object.
    // With `bytes`, also the text's UTF-8 there: only the days not kept are encoded, the others
    // copied from the bytes this object last made, which `next` then keeps.
    QString serialize(const NotesDocument& doc, DayTexts* next, QByteArray* bytes = nullptr) const;
    // The UTF-8 of `text` when it is the very text (not an equal copy) this object last made with
    // its bytes.
    std::optional<QByteArray> bytesOf(const QString& text) const;
    // Lets the bytes go (their owner is about to change its copy in place).
    void dropBytes();
    void clear() {
        days_.clear();
        frame_.clear();
        dropBytes();
    }

private:
    struct Day {
        QString heading;
        QList<Item> items;       // holding the list keeps its address from being reused by another
        QString text;            // the day alone written as a document: heading, empty line, items
        qsizetype byteFrom = -1; // where its UTF-8 lies in `bytes_`; -1: not there
        qsizetype byteSize = 0;
    };
    std::vector<Day> days_;
    QString frame_; // two empty days as the document's writer wrote them then
    QString text_;  // the text last made with its bytes, and those bytes
    QByteArray bytes_;
};

} // namespace plim
