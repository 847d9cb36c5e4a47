// File, Export Audio...: the song as it now stands (the working copy), rendered to a WAV, FLAC or Ogg Vorbis
// file through the session's audio exporter.
#pragma once

#include <string>

#include "app/session.h"

namespace sonivex {

inline constexpr const char* kAudioFilter =
    "Audio files (*.wav;*.flac;*.ogg)|*.wav;*.flac;*.ogg|WAV (*.wav)|*.wav|FLAC (*.flac)|*.flac|"
    "Ogg Vorbis (*.ogg)|*.ogg";

// Asks for a file name in a save dialog (in the song's folder, the song's name with .wav offered; a name without
// an extension gets ".wav"), asks before replacing an existing file, then exports as ExportAudio does. Does nothing without a
// song or when the dialog is cancelled.
void ExportAudioCommand(Session& s);

// Renders the working copy to `target`, the format chosen by its extension, with progress and a way to cancel
// through the platform. Without a song, without an exporter, or for a name that is not .wav, .flac or .ogg, a
// message says so and nothing is written; a failed export names the target in a message. A cancelled or
// failed export leaves no file behind.
ExportStatus ExportAudio(Session& s, const std::string& target);

}  // namespace sonivex
