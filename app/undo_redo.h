// Undo and Redo over the working copy, and the bookkeeping around the editing commands that makes them
// possible. The working copy is kept whole in memory before every edit; Undo and Redo put a kept copy back in
// its place and analyse the song again, as an edit does.
#pragma once

#include <functional>

#include "app/session.h"

namespace sonivex {

// Runs an editing command: keeps the working copy as it stands before `command`, runs it, and records the
// step in the session's history (no undo step when the command changed no byte). Without a readable working
// copy the command still runs and nothing is recorded. Returns whether the command changed the working copy.
bool RunRecordedEdit(Session& s, const std::function<void()>& command);

// Undo: puts the working copy back as it was before the last edit not yet undone, reads its track chunks,
// runs the report and opens it for playback again. Returns false, changing nothing, when there is nothing to
// undo or the working copy cannot be replaced (a message names the file).
bool UndoCommand(Session& s);

// Redo: puts back the working copy that the last Undo replaced, as Undo does. False when there is nothing to
// redo or the working copy cannot be replaced.
bool RedoCommand(Session& s);

// Enables Undo and Redo (menu items and toolbar buttons) as the history allows.
void ShowHistoryControls(Session& s);

}  // namespace sonivex
