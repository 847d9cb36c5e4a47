// How the window plays a song: which SoundFont the built-in synthesizer loads and where the notes go. The
// window keeps them in the user's settings; the media back-end and the audio export follow them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace sonivex {

struct PlaybackSettings {
    // The SoundFont file the user chose; none: the synthesizer's default one.
    std::optional<std::filesystem::path> soundFont;
    // The MIDI output port, by name, that the notes go to; none: the built-in synthesizer (FluidSynth).
    std::optional<std::string> outputPort;

    bool operator==(const PlaybackSettings&) const = default;
};

}  // namespace sonivex
