// A FluidSynth synthesizer with a General MIDI sound font, as every output of the player sets it up.
#pragma once

#include <filesystem>
#include <optional>

#include <fluidsynth/types.h>

namespace sonivex {

// The sound font the player uses from `folder`: FluidR3_GM.sf2 when it is there, else the first *.sf2 file
// by name; nothing when the folder holds none.
std::optional<std::filesystem::path> FindSoundFont(const std::filesystem::path& folder = "/usr/share/sounds/sf2");

// When the sound font's samples are read: all of them as it loads (what playing in real time needs), or each
// instrument's as a program change first chooses it (far quicker for a render, which may wait on the disk).
enum class SampleLoading { AllAtOnce, WhenChosen };

// The threads that render the voices for one synthesizer: one for every core of the machine (at least one).
int RenderThreadsOfMachine();

class SynthEngine {
public:
    static constexpr double kSampleRate = 44100;

    // Makes the synthesizer and loads the sound font of FindSoundFont(). Without a sound font (or when it
    // fails to load) the synthesizer still runs, silently: every note finds no instrument. `renderThreads`
    // (clamped to 1..256) share the voices of each rendered block; the sound is the same, up to rounding, for
    // any number.
    explicit SynthEngine(SampleLoading loading = SampleLoading::AllAtOnce, int renderThreads = 1);
    ~SynthEngine();
    SynthEngine(const SynthEngine&) = delete;
    SynthEngine& operator=(const SynthEngine&) = delete;

    // False when FluidSynth could not make the synthesizer; nothing else may be used then.
    bool Ready() const { return synth_ != nullptr; }

    bool HasInstruments() const { return hasInstruments_; }

    fluid_settings_t* Settings() const { return settings_; }
    fluid_synth_t* Synth() const { return synth_; }

private:
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    bool hasInstruments_ = false;
};

}  // namespace sonivex
