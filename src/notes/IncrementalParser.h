#pragma once

#include "notes/NotesDocument.h"

#include <QString>

#include <vector>

namespace plim {

// Reads notes text like NotesDocument::parse, but takes over every day whose text is exactly the
// text of a day it read last time: the day's items stay shared with everyone holding the previous
// document, and the day keeps its identity. An undo or an outside edit usually changes one day of
// a large file; the rest then costs a comparison instead of a parse, and whoever cached something
// per day (by the address of its items) can keep it.
class IncrementalParser {
public:
    NotesDocument parse(const QString& text);
    // Forgets the last text (the next parse reads every day).
    void clear();

private:
    struct Day {
        qsizetype from = 0;
        qsizetype length = 0;
        DaySection section;
    };
    QString source_;
    std::vector<Day> days_;
    NotesDocument preamble_; // what the text before the first day reads as
};

} // namespace plim
