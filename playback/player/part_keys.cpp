#include "playback/player/part_keys.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <numeric>
#include <optional>
#include <tuple>

#include "playback/player/sequencer.h"

namespace sonivex {

namespace {

constexpr int kKeys = 128;
constexpr std::size_t kChannelKeys = MidiSequence::KeySet().size();

// The controllers after which a channel's notes glide from one key to the next or play legato.
constexpr int kPortamentoControl = 84;
constexpr int kPortamento = 65;
constexpr int kLegatoPedal = 68;
constexpr int kMonoMode = 126;

// What the voices of a note cost, in seconds of one voice sounding: a voice of a looped sample sounds until
// its note ends and through its release, counted up to kLongestRelease; one of a sample played once stops with
// the sample, if not sooner. Starting a voice costs about kVoiceStart.
constexpr double kLongestRelease = 10;
constexpr double kVoiceStart = 0.05;

// The probe renders at kProbeRate, the lowest rate FluidSynth takes: a voice's samples and envelopes last as
// long at any rate, and the fewer frames, the sooner it knows. It plays a sample that plays once for
// kProbeSeconds at a time, until it ends or for at most kLongestRelease.
constexpr double kProbeRate = 8000;
constexpr double kProbeSeconds = 0.02;

// The notes of one instrument, key and velocity step start the same voices, near enough for sharing out.
constexpr int kVelocityStep = 8;

// The voices that one note starts.
struct NoteVoices {
    int looped = 0;
    int oneShots = 0;
    double loopedRelease = 0;   // the longest release of its looped voices, in seconds
    double oneShotRelease = 0;  // and of the others
    double oneShotLength = 0;   // how long those sound on average when their note is held, in seconds
    std::optional<int> exclusiveClass;
};

// The cost of a note whose voices are `v`, when it sounds for `seconds` until its note-off.
double CostOf(const NoteVoices& v, double seconds) {
    return v.looped * (seconds + std::min(v.loopedRelease, kLongestRelease)) +
           v.oneShots * std::min(seconds + v.oneShotRelease, v.oneShotLength) + (v.looped + v.oneShots) * kVoiceStart;
}

// A synthesizer of the SoundFont, without effects, that follows the song's programs and controllers and tells
// which voices a note starts: it plays each instrument, key and velocity step once, alone, and lets the samples
// of each instrument and key that play once ring out to learn how long they last.
class VoiceProbe {
public:
    explicit VoiceProbe(const SynthEngine& fontOf) : engine_(fontOf, fontOf.Loading(), 1, kProbeRate) {
        if (!engine_.Ready()) return;
        fluid_synth_reverb_on(engine_.Synth(), -1, 0);
        fluid_synth_chorus_on(engine_.Synth(), -1, 0);
        voices_.resize(static_cast<std::size_t>(std::max(0, fluid_synth_get_polyphony(engine_.Synth()))) + 1);
    }

    void Follow(const SequenceEvent& e) {
        if (engine_.Ready()) SendMessage(engine_.Synth(), e);
    }

    NoteVoices Of(int channel, int key, int velocity) {
        if (!engine_.Ready()) return {};
        fluid_synth_t* synth = engine_.Synth();
        int font = 0;
        int bank = 0;
        int program = 0;
        fluid_synth_get_program(synth, channel, &font, &bank, &program);
        const auto [known, fresh] = known_.try_emplace({font, bank, program, key, velocity / kVelocityStep});
        if (fresh) known->second = Play(channel, key, velocity, {font, bank, program, key});
        return known->second;
    }

private:
    using InstrumentKey = std::tuple<int, int, int, int>;  // font, bank, program, key

    NoteVoices Play(int channel, int key, int velocity, const InstrumentKey& instrumentKey) {
        fluid_synth_t* synth = engine_.Synth();
        fluid_synth_noteon(synth, channel, key, velocity);
        std::fill(voices_.begin(), voices_.end(), nullptr);
        fluid_synth_get_voicelist(synth, voices_.data(), static_cast<int>(voices_.size()) - 1, -1);
        NoteVoices found;
        for (fluid_voice_t* voice : voices_) {
            if (voice == nullptr) break;
            const auto mode = static_cast<int>(fluid_voice_gen_get(voice, GEN_SAMPLEMODE));
            const double release = std::exp2(fluid_voice_gen_get(voice, GEN_VOLENVRELEASE) / 1200.0);
            if (mode == 1 || mode == 3) {
                ++found.looped;
                found.loopedRelease = std::max(found.loopedRelease, release);
            } else {
                ++found.oneShots;
                found.oneShotRelease = std::max(found.oneShotRelease, release);
            }
            const auto exclusiveClass = static_cast<int>(fluid_voice_gen_get(voice, GEN_EXCLUSIVECLASS));
            if (exclusiveClass != 0) found.exclusiveClass = exclusiveClass;  // 0 is the SoundFont's none
        }
        // A sample rings as long at any velocity, near enough: it is measured at the first one.
        if (found.oneShots > 0) {
            const auto [length, fresh] = oneShotLengths_.try_emplace(instrumentKey);
            if (fresh) length->second = OneShotLength(found);
            found.oneShotLength = length->second;
        }
        // The voices end at once; a block rendered frees them for the next note.
        fluid_synth_all_sounds_off(synth, channel);
        Render(64);
        return found;
    }

    // How long the voices of `v` that play their sample once sound, on average, while the note is held.
    double OneShotLength(const NoteVoices& v) {
        constexpr int kFrames = static_cast<int>(kProbeRate * kProbeSeconds);
        const auto longest = static_cast<std::int64_t>(kLongestRelease * kProbeRate);
        std::int64_t voiceFrames = 0;
        for (std::int64_t at = 0; at < longest; at += kFrames) {
            const int oneShots = fluid_synth_get_active_voice_count(engine_.Synth()) - v.looped;
            if (oneShots <= 0) break;
            voiceFrames += std::int64_t{oneShots} * kFrames;
            Render(kFrames);
        }
        return static_cast<double>(voiceFrames) / kProbeRate / v.oneShots;
    }

    void Render(int frames) {
        scratch_.resize(static_cast<std::size_t>(frames));
        fluid_synth_write_float(engine_.Synth(), frames, scratch_.data(), 0, 1, scratch_.data(), 0, 1);
    }

    SynthEngine engine_;
    std::vector<fluid_voice_t*> voices_;
    std::vector<float> scratch_;
    std::map<std::tuple<int, int, int, int, int>, NoteVoices> known_;  // font, bank, program, key, velocity step
    std::map<InstrumentKey, double> oneShotLengths_;
};

// The channel keys that must sound on one synthesizer, as sets that grow by joining two.
class KeyUnits {
public:
    KeyUnits() : parent_(kChannelKeys) { std::iota(parent_.begin(), parent_.end(), std::size_t{0}); }

    std::size_t Of(std::size_t key) {
        while (parent_[key] != key) key = parent_[key] = parent_[parent_[key]];
        return key;
    }
    void Join(std::size_t a, std::size_t b) { parent_[Of(a)] = Of(b); }

private:
    std::vector<std::size_t> parent_;
};

// What the notes of each channel key cost to render, and which keys go together.
struct KeyCosts {
    std::vector<double> cost = std::vector<double>(kChannelKeys, 0);
    KeyUnits units;
};

bool Glides(const SequenceEvent& e) {
    if ((e.status & 0xF0) != 0xB0) return false;
    return e.data1 == kMonoMode || e.data1 == kPortamentoControl ||
           ((e.data1 == kPortamento || e.data1 == kLegatoPedal) && e.data2 >= 64);
}

KeyCosts CostsOf(const SynthEngine& fontOf, const MidiSequence& song) {
    struct Strike {
        double start = 0;
        NoteVoices voices;
    };
    VoiceProbe probe(fontOf);
    KeyCosts costs;
    std::vector<std::optional<Strike>> sounding(kChannelKeys);
    std::map<std::pair<int, int>, std::size_t> classKeys;  // a key of each channel's exclusive class
    std::vector<bool> gliding(kChannelKeys / kKeys, false);
    const auto end = [&](std::size_t key, double at) {
        if (sounding[key]) costs.cost[key] += CostOf(sounding[key]->voices, at - sounding[key]->start);
        sounding[key].reset();
    };
    for (const SequenceEvent& e : song.Events()) {
        const int channel = e.status & 0x0F;
        if (!IsNoteMessage(e)) {
            probe.Follow(e);
            if (Glides(e)) gliding[static_cast<std::size_t>(channel)] = true;
            continue;
        }
        if ((e.status & 0xF0) == 0xA0) continue;
        const auto key = static_cast<std::size_t>(channel * kKeys + (e.data1 & 0x7F));
        end(key, e.seconds);
        if (!StartsNote(e)) continue;
        sounding[key] = Strike{e.seconds, probe.Of(channel, e.data1 & 0x7F, e.data2 & 0x7F)};
        if (const std::optional<int> exclusiveClass = sounding[key]->voices.exclusiveClass) {
            costs.units.Join(key, classKeys.try_emplace({channel, *exclusiveClass}, key).first->second);
        }
    }
    for (std::size_t key = 0; key < kChannelKeys; ++key) {
        end(key, song.LengthSeconds());
        if (gliding[key / kKeys]) costs.units.Join(key, key / kKeys * kKeys);
    }
    return costs;
}

}  // namespace

std::vector<MidiSequence::KeySet> KeysOfParts(const SynthEngine& fontOf, const MidiSequence& song, int parts) {
    KeyCosts costs = CostsOf(fontOf, song);
    std::vector<double> unitCost(kChannelKeys, 0);
    for (std::size_t key = 0; key < kChannelKeys; ++key) unitCost[costs.units.Of(key)] += costs.cost[key];
    std::vector<std::size_t> units;
    for (std::size_t key = 0; key < kChannelKeys; ++key) {
        if (costs.units.Of(key) == key) units.push_back(key);
    }
    // The costliest first, each to the part with the least so far.
    std::stable_sort(units.begin(), units.end(), [&](std::size_t a, std::size_t b) { return unitCost[a] > unitCost[b]; });
    std::vector<double> load(static_cast<std::size_t>(std::max(1, parts)), 0);
    std::vector<std::size_t> partOf(kChannelKeys, 0);
    for (const std::size_t unit : units) {
        partOf[unit] = static_cast<std::size_t>(std::min_element(load.begin(), load.end()) - load.begin());
        load[partOf[unit]] += unitCost[unit];
    }
    std::vector<MidiSequence::KeySet> keys(load.size());
    for (std::size_t key = 0; key < kChannelKeys; ++key) keys[partOf[costs.units.Of(key)]].set(key);
    return keys;
}

}  // namespace sonivex
