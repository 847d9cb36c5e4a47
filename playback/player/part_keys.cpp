#include "playback/player/part_keys.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <numeric>
#include <optional>
#include <tuple>
#include <utility>

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

// The reverb and the chorus cost about as much as this many voices sounding all through the song.
constexpr double kReverbVoices = 5;
constexpr double kChorusVoices = 2;

// The controllers that set how much a channel sends to the reverb and to the chorus, and the one that starts a
// message that may change any of a note's generators.
constexpr int kReverbControl = 91;
constexpr int kChorusControl = 93;
constexpr int kGeneratorMessage = 99;  // NRPN, most significant byte

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
    EffectSends sends;  // what its instrument sends to the effects by itself
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

    // What `channel` sends to the effects as a new synthesizer sets its controllers.
    EffectSends SendsOfControllers(int channel) const {
        const auto above0 = [&](int control) {
            int value = 0;
            return engine_.Ready() && fluid_synth_get_cc(engine_.Synth(), channel, control, &value) == FLUID_OK &&
                   value > 0;
        };
        return {above0(kReverbControl), above0(kChorusControl)};
    }

    NoteVoices Of(int channel, int key, int velocity) {
        if (!engine_.Ready()) return {};
        fluid_synth_t* synth = engine_.Synth();
        int font = 0;
        int bank = 0;
        int program = 0;
        fluid_synth_get_program(synth, channel, &font, &bank, &program);
        const InstrumentKey instrumentKey{font, bank, program, key};
        const auto [known, fresh] = known_.try_emplace({instrumentKey, velocity / kVelocityStep});
        if (fresh) known->second = Play(channel, key, velocity, instrumentKey);
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
            found.sends.reverb = found.sends.reverb || fluid_voice_gen_get(voice, GEN_REVERBSEND) > 0;
            found.sends.chorus = found.sends.chorus || fluid_voice_gen_get(voice, GEN_CHORUSSEND) > 0;
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
    std::map<std::pair<InstrumentKey, int>, NoteVoices> known_;  // and the velocity step
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

// What the notes of each channel key cost to render, what they may send to the effects, and which keys go
// together.
struct KeyCosts {
    std::vector<double> cost = std::vector<double>(kChannelKeys, 0);
    std::vector<EffectSends> sends = std::vector<EffectSends>(kChannelKeys);
    KeyUnits units;
};

// What a channel's controller message `e` makes its notes send to the effects, from then on: a message that may
// set any generator counts as both.
EffectSends SendsOf(const SequenceEvent& e) {
    if ((e.status & 0xF0) != 0xB0) return {};
    if (e.data1 == kGeneratorMessage) return {true, true};
    return {e.data1 == kReverbControl && e.data2 > 0, e.data1 == kChorusControl && e.data2 > 0};
}

bool Glides(const SequenceEvent& e) {
    if ((e.status & 0xF0) != 0xB0) return false;
    return e.data1 == kMonoMode || e.data1 == kPortamentoControl ||
           ((e.data1 == kPortamento || e.data1 == kLegatoPedal) && e.data2 >= 64);
}

// The costs of the song's keys. Every key with a note sends to the effects that `modulated` names (those a
// modulator of the SoundFont may feed), to those that its instrument sends to, and to those that its channel
// sends to at any time in the song: a controller may raise the sends of a note that is sounding.
KeyCosts CostsOf(const SynthEngine& fontOf, const MidiSequence& song, EffectSends modulated) {
    struct Strike {
        double start = 0;
        NoteVoices voices;
    };
    VoiceProbe probe(fontOf);
    KeyCosts costs;
    std::vector<std::optional<Strike>> sounding(kChannelKeys);
    std::map<std::pair<int, int>, std::size_t> classKeys;  // a key of each channel's exclusive class
    std::vector<bool> gliding(kChannelKeys / kKeys, false);
    std::vector<EffectSends> channelSends(kChannelKeys / kKeys, modulated);
    for (std::size_t c = 0; c < channelSends.size(); ++c) {
        channelSends[c] |= probe.SendsOfControllers(static_cast<int>(c));
    }
    const auto end = [&](std::size_t key, double at) {
        if (sounding[key]) costs.cost[key] += CostOf(sounding[key]->voices, at - sounding[key]->start);
        sounding[key].reset();
    };
    for (const SequenceEvent& e : song.Events()) {
        const int channel = e.status & 0x0F;
        if (!IsNoteMessage(e)) {
            probe.Follow(e);
            if (Glides(e)) gliding[static_cast<std::size_t>(channel)] = true;
            channelSends[static_cast<std::size_t>(channel)] |= SendsOf(e);
            continue;
        }
        if ((e.status & 0xF0) == 0xA0) continue;
        const auto key = static_cast<std::size_t>(channel * kKeys + (e.data1 & 0x7F));
        end(key, e.seconds);
        if (!StartsNote(e)) continue;
        sounding[key] = Strike{e.seconds, probe.Of(channel, e.data1 & 0x7F, e.data2 & 0x7F)};
        costs.sends[key] |= sounding[key]->voices.sends;
        if (const std::optional<int> exclusiveClass = sounding[key]->voices.exclusiveClass) {
            costs.units.Join(key, classKeys.try_emplace({channel, *exclusiveClass}, key).first->second);
        }
    }
    for (std::size_t key = 0; key < kChannelKeys; ++key) {
        end(key, song.LengthSeconds());
        if (gliding[key / kKeys]) costs.units.Join(key, key / kKeys * kKeys);
        if (costs.cost[key] > 0) costs.sends[key] |= channelSends[key / kKeys];  // a note sounded
    }
    return costs;
}

// The sets of keys that one part plays, as a part's load: what each costs and sends to, the costliest first,
// and what each effect costs a part that sends to it.
struct Units {
    std::vector<std::size_t> roots;  // a key of each set
    std::vector<double> cost = std::vector<double>(kChannelKeys, 0);
    std::vector<EffectSends> sends = std::vector<EffectSends>(kChannelKeys);
    double reverbCost = 0;
    double chorusCost = 0;
};

Units UnitsOf(KeyCosts& costs, double songSeconds) {
    Units units;
    for (std::size_t key = 0; key < kChannelKeys; ++key) {
        const std::size_t unit = costs.units.Of(key);
        units.cost[unit] += costs.cost[key];
        units.sends[unit] |= costs.sends[key];
        if (unit == key) units.roots.push_back(key);
    }
    std::stable_sort(units.roots.begin(), units.roots.end(),
                     [&](std::size_t a, std::size_t b) { return units.cost[a] > units.cost[b]; });
    units.reverbCost = kReverbVoices * songSeconds;
    units.chorusCost = kChorusVoices * songSeconds;
    return units;
}

// The part that gets every set that sends to the reverb, and the one that gets every set that sends to the
// chorus; none shares those sets out like the others.
struct Gathering {
    std::optional<std::size_t> reverb;
    std::optional<std::size_t> chorus;
};

// A way of sharing the sets out: the parts (their keys not yet set), the part of each set, and the load of the
// busiest part.
struct Sharing {
    std::vector<SongPart> parts;
    std::vector<std::size_t> partOf = std::vector<std::size_t>(kChannelKeys, 0);
    double longest = 0;
};

// Shares the sets out among `count` parts: the gathered ones first, then the others, costliest first, each to
// the part that would have the least with it, counting an effect that the part would newly send to.
Sharing Share(const Units& units, std::size_t count, const Gathering& gathering) {
    Sharing sharing;
    sharing.parts.resize(count);
    std::vector<double> load(count, 0);
    const auto loadWith = [&](std::size_t p, std::size_t unit) {
        const EffectSends& has = sharing.parts[p].sends;
        return load[p] + units.cost[unit] + (units.sends[unit].reverb && !has.reverb ? units.reverbCost : 0) +
               (units.sends[unit].chorus && !has.chorus ? units.chorusCost : 0);
    };
    const auto place = [&](std::size_t unit, std::size_t p) {
        load[p] = loadWith(p, unit);
        sharing.parts[p].sends |= units.sends[unit];
        sharing.partOf[unit] = p;
    };
    const auto gatheredIn = [&](std::size_t unit) -> std::optional<std::size_t> {
        if (units.sends[unit].reverb && gathering.reverb) return gathering.reverb;
        if (units.sends[unit].chorus && gathering.chorus) return gathering.chorus;
        return std::nullopt;
    };
    for (const std::size_t unit : units.roots) {
        if (const std::optional<std::size_t> p = gatheredIn(unit)) place(unit, *p);
    }
    for (const std::size_t unit : units.roots) {
        if (gatheredIn(unit)) continue;
        std::size_t best = 0;
        for (std::size_t p = 1; p < count; ++p) {
            if (loadWith(p, unit) < loadWith(best, unit)) best = p;
        }
        place(unit, best);
    }
    sharing.longest = *std::max_element(load.begin(), load.end());
    return sharing;
}

}  // namespace

std::vector<SongPart> PartsOfSong(const SynthEngine& fontOf, const MidiSequence& song, int parts) {
    KeyCosts costs = CostsOf(fontOf, song, fontOf.FontModulatedSends());
    const Units units = UnitsOf(costs, song.LengthSeconds());
    const auto count = static_cast<std::size_t>(std::max(1, parts));
    // Sharing the notes out as they come may spread the few that send to an effect over every part, which all
    // pay for it then; gathering them in one part or two may cost less.
    std::vector<Gathering> ways{{}};
    if (count > 1) ways.insert(ways.end(), {{std::nullopt, 0}, {0, std::nullopt}, {0, 0}, {0, 1}});
    Sharing best = Share(units, count, ways.front());
    for (std::size_t way = 1; way < ways.size(); ++way) {
        Sharing other = Share(units, count, ways[way]);
        if (other.longest < best.longest) best = std::move(other);
    }
    for (std::size_t key = 0; key < kChannelKeys; ++key) best.parts[best.partOf[costs.units.Of(key)]].keys.set(key);
    return best.parts;
}

}  // namespace sonivex
