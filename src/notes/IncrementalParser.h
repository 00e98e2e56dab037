#pragma once

#include "notes/NotesDocument.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace plim {

// Reads notes text like NotesDocument::parse, but takes over every day whose text is exactly the
// text of a day it read last time: the day's items stay shared with everyone holding the previous
// document, and the day keeps its identity. An undo or an outside edit usually changes one day of
// a large file; the rest then costs a comparison instead of a parse, and whoever cached something
// per day (by the address of its items) can keep it.
class IncrementalParser {
public:
    // `utf8` is the text's UTF-8 when the caller has it (made from the text when null). Of it only
    // each day's place and fingerprint are kept until the next parse, not the bytes.
    NotesDocument parse(const QString& text, QByteArray utf8 = {});
    // A stretch of a text's UTF-8 with its keyedHash.
    struct Piece {
        QByteArrayView utf8;
        std::size_t print = 0;
    };
    // The same for the text whose UTF-8 is these pieces in order, without making the whole text: a
    // piece whose print is that of a whole day read last time is that day, neither decoded nor
    // hashed; the rest is decoded and read. None when the bytes are not UTF-8 or a known day does not
    // stand where a day starts (the whole text must then be read).
    std::optional<NotesDocument> parse(const std::vector<Piece>& pieces);
    // Forgets the last text (the next parse reads every day).
    void clear();

private:
    using Print = std::size_t; // keyedHash of some bytes
    // Where a day lies in the UTF-8 and in the text, and the print of its UTF-8.
    struct Day {
        qsizetype from = 0;
        qsizetype length = 0;
        qsizetype textFrom = 0;
        qsizetype textLength = 0;
        Print print = 0;
        DaySection section;
    };
    // Where a stretch of the text lies: its UTF-8 and text, where they start in the whole, and the
    // days in it (their starts in both).
    struct Stretch {
        QByteArrayView bytes;
        QStringView text;
        qsizetype at = 0;
        qsizetype textAt = 0;
        const std::vector<qsizetype>& starts;
        const std::vector<qsizetype>& textStarts;
    };
    // Appends the stretch's days to `doc` and `days`: each the earlier day `take` gives for its print
    // and length, else read anew.
    static void readDays(const Stretch& stretch, const std::function<const Day*(Print, qsizetype)>& take,
                         NotesDocument& doc, std::vector<Day>& days);
    qsizetype size_ = 0;
    qsizetype textSize_ = 0;
    Print preamblePrint_ = 0;
    std::vector<Day> days_;
    NotesDocument preamble_; // what the text before the first day reads as
};

} // namespace plim
