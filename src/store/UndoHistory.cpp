#include "store/UndoHistory.h"

#include <utility>
#include <vector>

namespace plim {

qsizetype UndoHistory::bytes() const {
    std::vector<const CompactText*> all;
    all.reserve(steps_.size());
    for (const Step& s : steps_) {
        all.push_back(&s.text);
    }
    return CompactText::memoryUsed(all);
}

void UndoHistory::record(const Make& before) {
    CompactText text = before(cursor_ > 0 ? &steps_[size_t(cursor_) - 1].text : nullptr);
    steps_.resize(size_t(cursor_));
    if (cursor_ >= limit) {
        steps_.pop_front();
        --cursor_;
    }
    steps_.push_back(Step{std::move(text), std::nullopt});
    ++cursor_;
}

void UndoHistory::dropNewest() {
    if (cursor_ > 0) {
        steps_.erase(steps_.begin() + (cursor_ - 1));
        --cursor_;
    }
}

void UndoHistory::setNewestMove(MovedFile moved) {
    if (cursor_ > 0) {
        steps_[size_t(cursor_) - 1].moved = std::move(moved);
    }
}

const UndoHistory::Step* UndoHistory::next(bool undoing) const {
    if (undoing) {
        return cursor_ > 0 ? &steps_[size_t(cursor_) - 1] : nullptr;
    }
    return cursor_ < static_cast<int>(steps_.size()) ? &steps_[size_t(cursor_)] : nullptr;
}

const std::optional<UndoHistory::MovedFile>& UndoHistory::cross(bool undoing, const Make& current, CompactText* own) {
    // The step's own text is the file's now; the text kept in its place shares with the newest step
    // of the side it joins.
    const size_t at = size_t(undoing ? cursor_ - 1 : cursor_);
    const bool neighbour = undoing ? at + 1 < steps_.size() : at > 0;
    const CompactText* beside = neighbour ? &steps_[undoing ? at + 1 : at - 1].text : nullptr;
    *own = std::exchange(steps_[at].text, CompactText());
    steps_[at].text = current(beside);
    cursor_ += undoing ? -1 : 1;
    return steps_[at].moved;
}

} // namespace plim
