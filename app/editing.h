// The editing commands as the window starts them: each reads its request from the window's controls and runs
// in the frame that every edit shares.
#pragma once

#include "app/session.h"
#include "edit/edit_commands.h"

namespace sonivex {

// The frame of every editing command: the busy pointer; the song closed for playback while it changes; the
// change and its report; the report in the pane; the song opened for playback again and Save offered. A
// command that Prepare refuses changes nothing.
void RunEditingCommand(Session& s, EditingCommand& command);

// "Apply" in the Instruments frame, "Drum<>Melody", "Copy Track" and "Apply" in the Effects frame. Each does
// nothing while its list shows no choice.
void ApplyStyle(Session& s);
void SwitchDrumMelody(Session& s);
void CopyTrack(Session& s);
void ApplyEffect(Session& s);

// Transpose, Tempo and the choice of a track's instrument, for the Edit menu and the instrument list of the
// window and for sonivex-cli, which fill the request. Each runs in the frame of every edit and is kept for
// Undo (Undo and Redo step over it like any edit); one that changed the song leaves unsaved changes. Returns
// whether it changed the song: a refused request (its message shown) or one with nothing to do changes
// nothing.
bool TransposeSong(Session& s, const TransposeRequest& request);
bool ChangeTempo(Session& s, const TempoRequest& request);
bool ChooseInstrument(Session& s, const InstrumentRequest& request);

// What the window shows of the last report run: its text in the pane, and Save offered when a repair changed
// the working copy.
void ShowReport(Session& s);

// Opens the working copy for playback again after it changed, and places the device's window in the media
// frame.
void ReopenMedia(Session& s);

// Opens `path` for playback and places the device's window in the media frame.
void OpenForPlayback(Session& s, const std::string& path);

}  // namespace sonivex
