#include "history.h"

#include <utility>

namespace sonivex {

void EditHistory::Clear() {
    undo_.clear();
    redo_.clear();
    previous_.reset();
    openedKept_ = true;
    saved_ = 0;
}

void EditHistory::Recorded(State before, const State& after) {
    previous_ = before;
    if (!before || !after || before->bytes == after->bytes) return;
    if (saved_ && *saved_ > undo_.size()) saved_.reset();  // it was among the redo steps, which go now
    redo_.clear();
    undo_.push_back(std::move(before));
    DropOldest();
}

void EditHistory::DropOldest() {
    while (undo_.size() > limit_) {
        undo_.pop_front();
        openedKept_ = false;
        if (saved_) saved_ = *saved_ == 0 ? std::nullopt : std::optional<std::size_t>(*saved_ - 1);
    }
}

EditHistory::State EditHistory::Undo(State current) {
    if (undo_.empty()) return nullptr;
    State restored = std::move(undo_.back());
    undo_.pop_back();
    previous_ = current;
    redo_.push_back(std::move(current));
    return restored;
}

EditHistory::State EditHistory::Redo(State current) {
    if (redo_.empty()) return nullptr;
    State restored = std::move(redo_.back());
    redo_.pop_back();
    previous_ = current;
    undo_.push_back(std::move(current));
    DropOldest();
    return restored;
}

}  // namespace sonivex
