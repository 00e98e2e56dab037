#pragma once

#include "notes/NotesDocument.h"

#include <QString>

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
    QString serialize(const NotesDocument& doc, DayTexts* next) const;
    void clear() {
        days_.clear();
        frame_.clear();
    }

private:
    struct Day {
        QString heading;
        QList<Item> items; // holding the list keeps its address from being reused by another
        QString text;      // the day alone written as a document: heading, empty line, items
    };
    std::vector<Day> days_;
    QString frame_; // two empty days as the document's writer wrote them then
};

} // namespace plim
