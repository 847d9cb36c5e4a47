// The edit history: the working copies that editing commands started from, for Undo and Redo, and the working
// copy just before the last command, so a picture can show what that command changed. Plain data with no
// file access: the commands in app/undo_redo.h read and write the working copy around it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include "reader/files.h"

namespace sonivex {

// The least number of steps that Undo can go back.
inline constexpr std::size_t kUndoSteps = 50;

// One state of the working copy: its bytes and the facts of the song that an edit changes beside them (the
// writer updates the file length and, after a copy, the track count without reading the file again).
struct WorkingCopyState {
    Bytes bytes;
    std::int64_t fileLength = 0;
    std::int64_t trackCount = 0;
};

class EditHistory {
public:
    using State = std::shared_ptr<const WorkingCopyState>;

    // `limit` is the number of undo steps kept; 0 keeps none (then an edit is still the "last command").
    explicit EditHistory(std::size_t limit = kUndoSteps) : limit_(limit) {}

    // Forgets every step and the previous working copy, as Open does; the song as it now stands is the song as
    // opened.
    void Clear();

    // An editing command ran that started from `before` and left `after`. An edit that changed no byte makes
    // no undo step (and keeps the redo steps), but still is the last command. Otherwise the redo steps are
    // dropped, and the oldest undo step goes when there are more than the limit.
    void Recorded(State before, const State& after);

    // Undo: the state to restore, or null when there is none. `current` (the working copy as it stands)
    // becomes the next Redo step and the previous working copy.
    State Undo(State current);

    // Redo: the state to restore, or null when there is none. `current` becomes the next Undo step and the
    // previous working copy.
    State Redo(State current);

    // The state that Undo or Redo would restore, without taking it; null when there is none.
    State NextUndo() const { return undo_.empty() ? nullptr : undo_.back(); }
    State NextRedo() const { return redo_.empty() ? nullptr : redo_.back(); }

    // The working copy's bytes just before the last command that changed it (an edit, Undo or Redo); null
    // after Open and when no command has run since.
    const Bytes* Previous() const { return previous_ ? &previous_->bytes : nullptr; }

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    std::size_t UndoCount() const { return undo_.size(); }
    std::size_t RedoCount() const { return redo_.size(); }

    // True while the working copy is the song as opened: after Open, and after Undo has gone back over every
    // edit since (not when the oldest steps were dropped on the way).
    bool AtSongAsOpened() const { return undo_.empty() && openedKept_; }

    // The working copy as it now stands was saved (Open counts as a save of the song as opened).
    void MarkSaved() { saved_ = undo_.size(); }

    // True while the working copy is the one last saved or opened: Undo and Redo step back to it, an edit
    // after an Undo past it loses it.
    bool AtSavedSong() const { return saved_ && *saved_ == undo_.size(); }

private:
    void DropOldest();

    std::size_t limit_;
    std::deque<State> undo_;  // oldest first
    std::deque<State> redo_;  // the next Redo last
    State previous_;
    // Every step since Open is kept, so the oldest undo step is the song as opened; false once one was dropped.
    bool openedKept_ = true;
    // The number of undo steps at the saved working copy; none once that copy cannot come back.
    std::optional<std::size_t> saved_ = 0;
};

}  // namespace sonivex
