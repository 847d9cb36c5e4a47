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
// of the song rendered; nothing when it cancels. Above 1, `renderThreads` render the song's parts side by
// side (see below), with `soundFont`. The notes of the `silenced` tracks are not played. Throws
// std::bad_alloc when the sound does not fit in memory.
std::optional<RenderedSound> RenderSound(const MidiSequence& song, const ExportProgress& progress,
                                         int renderThreads = RenderThreadsOfMachine(),
                                         const SilencedTracks& silenced = {},
                                         const SoundFontChoice& soundFont = std::nullopt);

// The same with the SoundFont that `fontOf` has loaded, which the render's own synthesizers borrow, so that
// many songs share one load of it. The song's notes are shared out, key by key, between two synthesizers of
// one thread each (which both get every other message), whose sum is the sound: the same at every run and for any `renderThreads` (above 1, they render side
// by side, when `fontOf` read its SoundFont whole: FluidSynth counts the samples that it reads as they are
// chosen without a lock). A synthesizer is never used for two songs: its effects would keep the last one's
// tail.
std::optional<RenderedSound> RenderSound(const SynthEngine& fontOf, const MidiSequence& song,
                                         const ExportProgress& progress, int renderThreads,
                                         const SilencedTracks& silenced = {});

// Scales every sample so that the loudest peaks at `peakDb` dB below full scale; silence (nothing above
// -100 dBFS) stays as it is.
// Returns the factor applied.
double Normalise(RenderedSound& sound, double peakDb = kExportPeakDb);

// The exporter through FluidSynth, rendering with `soundFont` on `renderThreads`. It loads the SoundFont at
// its first export (or Load), with its samples read as `loading` says (all at once by default: a SoundFont
// whose samples are read as they are chosen gives a slightly other sound, as FluidSynth measures their
// levels otherwise, and its parts cannot render side by side), and keeps it for the next ones: each
// song is rendered by a new synthesizer that borrows it, so the SoundFont is loaded once for any number of
// songs and every song sounds as it does alone. When a chosen SoundFont cannot be loaded, every export fails
// with the message that names the file and writes nothing.
//
// An exporter made for `SoundFontUse::OneExport` lets the SoundFont go as soon as the song is rendered, while
// the file is written (a program that exports one song and ends does not wait for it at its end); a later
// export loads it again.
enum class SoundFontUse { Kept, OneExport };

class SynthAudioExporter : public AudioExporter {
public:
    SynthAudioExporter(SoundFontChoice soundFont, int renderThreads,
                       SampleLoading loading = SampleLoading::AllAtOnce, SoundFontUse use = SoundFontUse::Kept);
    ~SynthAudioExporter() override;

    // Makes the synthesizer and loads the SoundFont now. Why nothing can be exported: the chosen SoundFont
    // cannot be loaded (the message names it); nothing when it was loaded, or when no SoundFont was chosen
    // (a missing default renders silence, as playback plays).
    std::optional<std::string> Load();

    ExportResult Export(const std::filesystem::path& song, const std::filesystem::path& target,
                        const ExportProgress& progress, const SilencedTracks& silenced) override;

private:
    SoundFontChoice soundFont_;
    int renderThreads_;
    SampleLoading loading_;
    SoundFontUse use_;
    std::unique_ptr<SynthEngine> fontHolder_;  // loads the SoundFont at the first export; never renders
};

// The exporter that the window and sonivex-cli hand to the commands (a SynthAudioExporter).
std::unique_ptr<AudioExporter> MakeAudioExporter(const SoundFontChoice& soundFont = std::nullopt,
                                                 int renderThreads = RenderThreadsOfMachine());

// The length in seconds of the sound in `file`, when it is a whole sound file of the format its name gives,
// 44.1 kHz stereo, as the exporter writes them; nothing for anything else (a missing file, a link, another
// kind of file, a damaged header). Never follows a link.
std::optional<double> SoundFileSeconds(const std::filesystem::path& file);

}  // namespace sonivex
