#include "undo_redo.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "app/editing.h"
#include "playback/media.h"
#include "reader/files.h"
#include "reader/load.h"
#include "report/report.h"

namespace sonivex {

namespace {

// The working copy as it now stands, or null when there is none or it cannot be read.
EditHistory::State CurrentState(const Session& s) {
    if (s.song.TempFileName.empty()) return nullptr;
    std::optional<Bytes> bytes = ReadWholeFile(s.WorkFile(s.song.TempFileName));
    if (!bytes) return nullptr;
    auto state = std::make_shared<WorkingCopyState>();
    state->bytes = std::move(*bytes);
    state->fileLength = s.song.FileLength;
    state->trackCount = s.song.TrackCount;
    return state;
}

// The part of Undo and Redo after the history has chosen the state and its bytes are the working copy: the
// same steps as after an edit.
void Restore(Session& s, std::int64_t fileLength, std::int64_t trackCount) {
    SongModel& m = s.song;
    m.FileLength = fileLength;
    m.TrackCount = trackCount;
    ReadTrackChunks(s);
    BuildReport(s);
    ShowReport(s);
    ReopenMedia(s);
    s.form.mnuSave.enabled = s.form.SaveButton.enabled = true;
    s.form.Clock.known = false;  // the tempo may differ; the file's time is too coarse to tell
}

enum class Direction { Back, Forward };

bool Step(Session& s, Direction direction) {
    EditHistory& h = s.history;
    if (direction == Direction::Back ? !h.CanUndo() : !h.CanRedo()) return false;
    EditHistory::State current = CurrentState(s);
    if (!current) {
        s.Message(s.WorkFile(s.song.TempFileName).string() + " could not be read", Icon::Critical);
        return false;
    }
    s.platform.SetBusy(true);
    // Closed first: the player may hold the working copy open.
    MediaClose(s.media, kMediaAlias);
    if (!ReplaceWorkingCopy(s, AsText((direction == Direction::Back ? h.NextUndo() : h.NextRedo())->bytes))) {
        ReopenMedia(s);
        s.platform.SetBusy(false);
        return false;
    }
    EditHistory::State restored =
        direction == Direction::Back ? h.Undo(std::move(current)) : h.Redo(std::move(current));
    const std::int64_t fileLength = restored->fileLength;
    const std::int64_t trackCount = restored->trackCount;
    // Its bytes are the working copy now. Let go before the report, so that the song is in memory twice at most
    // while it is analysed: the state kept for the step back and the report's own copy.
    restored.reset();
    Restore(s, fileLength, trackCount);
    // Back at the song as last saved (or opened) there is nothing to save; any other step is a change.
    s.form.UnsavedChanges = !h.AtSavedSong();
    ShowHistoryControls(s);
    s.platform.SetBusy(false);
    return true;
}

}  // namespace

bool RunRecordedEdit(Session& s, const std::function<void()>& command) {
    EditHistory::State before = CurrentState(s);
    command();
    bool changed = false;
    if (before) {
        const EditHistory::State after = CurrentState(s);
        changed = after && after->bytes != before->bytes;
        s.history.Recorded(std::move(before), after);
    }
    ShowHistoryControls(s);
    return changed;
}

bool UndoCommand(Session& s) { return Step(s, Direction::Back); }

bool RedoCommand(Session& s) { return Step(s, Direction::Forward); }

void ShowHistoryControls(Session& s) {
    FormModel& f = s.form;
    f.mnuUndo.enabled = f.UndoButton.enabled = s.history.CanUndo();
    f.mnuRedo.enabled = f.RedoButton.enabled = s.history.CanRedo();
}

}  // namespace sonivex
