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

class MediaBackend : public MediaInterface {
public:
    // Plays the songs opened from now on with `settings`: the song open now keeps its player until it is
    // opened again (the window reopens it). Every song plays through the built-in synthesizer for now,
    // whatever output port the settings name.
    virtual void Use(const PlaybackSettings& settings) = 0;
};

// Makes the back-end, playing with `settings`; `notifier` delivers its completion notifications to the media
// frame and may be called from any thread; `soundOutput` hears whether a sound output was found. The sound
// library's own complaints about missing sound cards are kept off stderr. Returns null when there is no
// back-end: every media command then fails silently.
std::unique_ptr<MediaBackend> MakeMediaBackend(MediaNotifier notifier, SoundOutputNotifier soundOutput = {},
                                               const PlaybackSettings& settings = {});

// The names of the MIDI output ports that the Preferences dialog offers; none until the program can play
// through a port.
std::vector<std::string> MidiOutputPorts();

}  // namespace sonivex
