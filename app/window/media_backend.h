// The media back-end that performs the media channel's command strings for the window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "playback/media_interface.h"
#include "playback/playback_settings.h"

namespace sonivex {

// Told, each time the back-end makes a player for a song, whether its sound reaches a sound output (true) or
// the song plays silently for want of one (false).
using SoundOutputNotifier = std::function<void(bool found)>;

// Told what went wrong with the chosen MIDI output port (it cannot be opened, or it went away while playing):
// the built-in synthesizer plays instead. Called on the thread that sent the media command.
using OutputProblemNotifier = std::function<void(const std::string& message)>;

class MediaBackend : public MediaInterface {
public:
    // Plays the songs opened from now on with `settings`: the song open now keeps its player until it is
    // opened again (the window reopens it). With an output port the song plays to that port; when the port
    // cannot be opened, or goes away, the built-in synthesizer plays instead and the problem is told.
    virtual void Use(const PlaybackSettings& settings) = 0;
};

// Makes the back-end, playing with `settings`; `notifier` delivers its completion notifications to the media
// frame and may be called from any thread; `soundOutput` hears whether a sound output was found, and
// `outputProblem` what went wrong with an output port. The sound library's own complaints about missing sound
// cards are kept off stderr. Returns null when there is no back-end: every media command then fails silently.
std::unique_ptr<MediaBackend> MakeMediaBackend(MediaNotifier notifier, SoundOutputNotifier soundOutput = {},
                                               OutputProblemNotifier outputProblem = {},
                                               const PlaybackSettings& settings = {});

// The names of the MIDI output ports that the Preferences dialog offers, as they stand now (Sonivex's own left
// out); none without a MIDI service.
std::vector<std::string> MidiOutputPorts();

}  // namespace sonivex
