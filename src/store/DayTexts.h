#pragma once

#include "notes/NotesDocument.h"
#include "store/CompactText.h"

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
    // copied from the UTF-8 kept of them, which `next` then keeps.
    QString serialize(const NotesDocument& doc, DayTexts* next, QByteArray* bytes = nullptr) const;
    // `text` kept for undo, made of the days' UTF-8 as kept, when it is the very text (not an
    // equal copy) this object last made with its bytes. Days written anew share what `neighbour`
    // holds of them.
    std::optional<CompactText> compactOf(const QString& text, const CompactText* neighbour);
    // The same, of the text last made with bytes, whichever it is.
    CompactText compact(const CompactText* neighbour);
    // Only the UTF-8 of the document's serialized() text, as `serialize` makes it.
    QByteArray encode(const NotesDocument& doc, DayTexts* next) const;
    // The days `encode` would keep in `next`, each with its UTF-8, without the whole text.
    void encodeDays(const NotesDocument& doc, DayTexts* next) const;
    // Whether these are the days of `doc` as it is now, each with its UTF-8 (what `encode` of it
    // would keep).
    bool describes(const NotesDocument& doc) const;
    // The text of `compact`, as CompactText::toString makes it: a chunk that is a kept day's UTF-8
    // is not decoded again, the day's text is taken. `whole`: whether it is all UTF-8 (then the text
    // encodes to the very bytes again).
    QString decode(const CompactText& compact, bool* whole = nullptr) const;
    // Whether the two give the same text.
    bool sameText(const DayTexts& other) const;
    // Forgets which text it last made with its bytes.
    void dropBytes();
    bool isEmpty() const { return days_.empty() && !preamble_; }
    void clear() {
        days_.clear();
        frame_.clear();
        between_.clear();
        preambleText_.clear();
        dropBytes();
    }

private:
    struct Frame {
        QString preamble; // what comes before the first day
        qsizetype lead = 0;
        QString frame; // two empty days
        QString between;
    };
    static Frame frameOf(const NotesDocument& doc);
    void build(const NotesDocument& doc, DayTexts* next, QString* text, QByteArray* bytes, bool join = true) const;

    struct Day {
        QString heading;
        QList<Item> items;          // holding the list keeps its address from being reused by another
        QString text;               // the day alone written as a document: heading, empty line, items
        CompactText::ChunkPtr utf8; // its UTF-8, when made
        bool fresh = false;         // encoded by the serialize that made this list
        bool trailing = false;      // `utf8` ends with what comes between it and the next day
        bool exact = false;         // `utf8` decodes to `text` (it holds no lone surrogate)
    };
    std::vector<Day> days_;
    QString frame_;   // two empty days as the document's writer wrote them then
    QString between_; // what comes between two days in that frame
    QString preambleText_;
    QString text_;                   // the text last made with its bytes
    CompactText::ChunkPtr preamble_; // that text's UTF-8 before the first day
};

} // namespace plim
