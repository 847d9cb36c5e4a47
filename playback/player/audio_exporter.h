// Audio export through the player's synthesizer: a whole song rendered into memory as fast as the machine
// allows, normalised, then written as WAV, FLAC or Ogg Vorbis.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "playback/audio_export.h"
#include "playback/player/midi_sequence.h"
#include "playback/player/synth_engine.h"

namespace sonivex {

// The level that normalising gives the loudest sample, in dB below full scale.
inline constexpr double kExportPeakDb = -1.0;

// The most sound kept after the song's end, while its last notes fade.
inline constexpr double kLongestReleaseSeconds = 2.0;

// A song's sound as 44.1 kHz stereo samples, full scale at 1.
struct RenderedSound {
    std::vector<float> left;
    std::vector<float> right;
    std::int64_t songFrames = 0;  // the frames up to the song's last tick; the release follows them

    std::int64_t Frames() const { return static_cast<std::int64_t>(left.size()); }
};

// Renders the song from its first tick to its last, then goes on while its notes fade: until no voice sounds
// and the sound has fallen 60 dB below the loudest sample so far (or to -100 dBFS), at most
// kLongestReleaseSeconds; the faded end of the release is cut off. `progress` (may be empty) hears the share
// of the song rendered; nothing when it cancels. `renderThreads` share the synthesizer's voices (see
// SynthEngine), which loads `soundFont`. The notes of the `silenced` tracks are not played. Throws std::bad_alloc when the sound does
// not fit in memory.
std::optional<RenderedSound> RenderSound(const MidiSequence& song, const ExportProgress& progress,
                                         int renderThreads = RenderThreadsOfMachine(),
                                         const SilencedTracks& silenced = {},
                                         const SoundFontChoice& soundFont = std::nullopt);

// Scales every sample so that the loudest peaks at `peakDb` dB below full scale; silence (nothing above
// -100 dBFS) stays as it is.
// Returns the factor applied.
double Normalise(RenderedSound& sound, double peakDb = kExportPeakDb);

// The exporter that the window and sonivex-cli hand to the commands, rendering with `soundFont`.
std::unique_ptr<AudioExporter> MakeAudioExporter(const SoundFontChoice& soundFont = std::nullopt);

}  // namespace sonivex
