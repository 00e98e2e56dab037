#pragma once

#include "store/CompactText.h"

#include <QString>

#include <deque>
#include <functional>
#include <optional>

namespace plim {

// The texts a recorded change can be undone to and an undo redone to, in one queue: the steps
// before `cursor` are undone newest (nearest the cursor) first, the steps from it on redone nearest
// first. An undo or redo makes the step at the cursor the file's text and keeps the text it replaced
// in the same step, now on the other side.
class UndoHistory {
public:
    static constexpr int limit = 50;

    // A file moved along with a recorded change (a merged conflict copy), moved back by its undo.
    struct MovedFile {
        QString from;
        QString to;
    };
    struct Step {
        CompactText text;
        std::optional<MovedFile> moved;
    };
    // Makes the text to keep, sharing what it can with `neighbour` (a text likely to hold most of
    // the same days; none when the side is empty).
    using Make = std::function<CompactText(const CompactText* neighbour)>;

    int undoDepth() const { return cursor_; }
    int redoDepth() const { return static_cast<int>(steps_.size()) - cursor_; }
    // Memory held by the texts, a day shared between steps counted once.
    qsizetype bytes() const;

    // Records a change: `before` is the text it replaced. What could be redone is forgotten; the
    // oldest step goes beyond the limit.
    void record(const Make& before);
    // Takes back the newest recorded change without undoing it (it was not written after all).
    void dropNewest();
    // The file the newest recorded change moved.
    void setNewestMove(MovedFile moved);

    // The step an undo (or a redo) goes back to; none when there is nothing to undo (redo).
    const Step* next(bool undoing) const;
    // Once that step's text is the file's: the step crosses to the other side, holding `current`,
    // the text it replaced; its own text goes to `own`. Returns the file the step moved, if any.
    const std::optional<MovedFile>& cross(bool undoing, const Make& current, CompactText* own);

private:
    std::deque<Step> steps_;
    int cursor_ = 0;
};

} // namespace plim
