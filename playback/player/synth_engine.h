// A FluidSynth synthesizer with a General MIDI sound font, as every output of the player sets it up.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <fluidsynth/types.h>

namespace sonivex {

// The sound font the player uses from `folder`: FluidR3_GM.sf2 when it is there, else the first *.sf2 file
// by name; nothing when the folder holds none.
std::optional<std::filesystem::path> FindSoundFont(const std::filesystem::path& folder = "/usr/share/sounds/sf2");

// When the sound font's samples are read: all of them as it loads, locked in memory (what playing in real time
// needs: no note waits for a sample that the system has paged out); all of them as it loads, left to the
// system's paging (a render, which keeps no time, saves locking and unlocking them); or each instrument's as a
// program change first chooses it (far quicker for a render, which may wait on the disk).
enum class SampleLoading { AllLocked, AllAtOnce, WhenChosen };

// The threads that render the voices for one synthesizer: one for every core of the machine (at least one).
int RenderThreadsOfMachine();

// Which SoundFont a synthesizer loads: a file the user chose, or (none) the default of FindSoundFont().
using SoundFontChoice = std::optional<std::filesystem::path>;

// The file that `choice` names: the chosen file, or the default one; nothing when there is no default.
std::optional<std::filesystem::path> SoundFontOf(const SoundFontChoice& choice);

// Why FluidSynth cannot load `font` as a SoundFont (a message naming the file); nothing when it can. Loads it
// in a synthesizer of its own, so it takes as long as a load.
std::optional<std::string> SoundFontProblem(const std::filesystem::path& font);

// Which of the synthesizer's effects some sound is sent to.
struct EffectSends {
    bool reverb = false;
    bool chorus = false;

    EffectSends& operator|=(const EffectSends& other) {
        reverb = reverb || other.reverb;
        chorus = chorus || other.chorus;
        return *this;
    }
    bool operator==(const EffectSends&) const = default;
};

// The effects that a modulator of the SoundFont `font` may send a note to, whatever its instrument's own
// sends: FluidSynth's own modulators send to them only as the reverb and chorus controllers say. Both when
// the file cannot be read as a SoundFont.
EffectSends ModulatedSends(const std::optional<std::filesystem::path>& font);

class SynthEngine {
public:
    static constexpr double kSampleRate = 44100;

    // Makes the synthesizer and loads the SoundFont of `soundFont`. Without a SoundFont (or when it fails
    // to load) the synthesizer still runs, silently: every note finds no instrument. `renderThreads`
    // (clamped to 1..256) share the voices of each rendered block; the sound is the same, up to rounding, for
    // any number.
    explicit SynthEngine(SampleLoading loading = SampleLoading::AllAtOnce, int renderThreads = 1,
                         const SoundFontChoice& soundFont = std::nullopt);
    // A synthesizer of its own (in the state of a new one) that plays the SoundFont `fontOf` has loaded,
    // without loading it again: many songs rendered one after the other, each by a fresh synthesizer, share
    // one load. `fontOf` must outlive it and must not replace its SoundFont meanwhile. It renders
    // `sampleRate` frames a second (FluidSynth takes 8000 to 96000).
    SynthEngine(const SynthEngine& fontOf, SampleLoading loading, int renderThreads, double sampleRate = kSampleRate);
    ~SynthEngine();
    SynthEngine(const SynthEngine&) = delete;
    SynthEngine& operator=(const SynthEngine&) = delete;

    // False when FluidSynth could not make the synthesizer; nothing else may be used then.
    bool Ready() const { return synth_ != nullptr; }

    bool HasInstruments() const { return hasInstruments_; }

    // When the samples of its SoundFont are read (for a synthesizer that borrows one: its owner's).
    SampleLoading Loading() const { return loading_; }

    // The effects that a modulator of the SoundFont loaded now may send a note to (see ModulatedSends): both
    // when none is loaded.
    const EffectSends& FontModulatedSends() const { return modulatedSends_; }
    // The SoundFont file loaded now; nothing when none is.
    const std::optional<std::filesystem::path>& LoadedSoundFont() const { return loaded_; }

    // Loads `font` in place of the SoundFont loaded now. When FluidSynth cannot load it, the one before stays
    // and the result is the message that names the file; nothing when it was loaded. Not while rendering.
    std::optional<std::string> ReplaceSoundFont(const std::filesystem::path& font);

    fluid_settings_t* Settings() const { return settings_; }
    fluid_synth_t* Synth() const { return synth_; }

private:
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    bool hasInstruments_ = false;
    std::optional<std::filesystem::path> loaded_;
    EffectSends modulatedSends_{true, true};
    std::optional<int> fontId_;  // FluidSynth's id of the loaded SoundFont
    SampleLoading loading_ = SampleLoading::AllAtOnce;
    fluid_sfont_t* font_ = nullptr;      // the SoundFont it loaded, which others may borrow
    fluid_sfont_t* borrowed_ = nullptr;  // the SoundFont of another synthesizer that this one plays
};

}  // namespace sonivex
