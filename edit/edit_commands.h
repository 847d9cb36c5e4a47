// The editing commands that the window's buttons start. They change the working copy, then analyse it again.
#pragma once

#include "reader/session.h"

namespace sonivex {

// "Apply" in the Instruments frame: the song gets the instruments of the chosen style.
void ApplyStyle(Session& s);

// "Drum<>Melody": turns the chosen track from drums into melody or back.
void SwitchDrumMelody(Session& s);

// "Copy Track": appends a copy of the chosen track on a free channel.
void CopyTrack(Session& s);

// "Apply" in the Effects frame: the chosen note or velocity effect on the chosen tracks.
void ApplyEffect(Session& s);

// Opens the rebuilt working copy for playback again after an edit.
void ReopenMedia(Session& s);

}  // namespace sonivex
