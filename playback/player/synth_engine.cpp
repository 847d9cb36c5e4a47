#include "playback/player/synth_engine.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace sonivex {

namespace {

// The most threads FluidSynth renders with.
constexpr int kMostRenderThreads = 256;

// FluidSynth writes its messages to stderr by default. The player reports what matters through its
// results, and a windowed program has no console to show the rest, so the messages are dropped.
void QuietFluidSynthLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, nullptr, nullptr);
    });
}

}  // namespace

std::optional<std::filesystem::path> FindSoundFont(const std::filesystem::path& folder) {
    std::error_code ec;
    const std::filesystem::path preferred = folder / "FluidR3_GM.sf2";
    if (std::filesystem::is_regular_file(preferred, ec)) return preferred;

    std::vector<std::filesystem::path> fonts;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::filesystem::path& p = it->path();
        if (p.extension() == ".sf2" && std::filesystem::is_regular_file(p, ec)) fonts.push_back(p);
    }
    if (fonts.empty()) return std::nullopt;
    return *std::min_element(fonts.begin(), fonts.end());
}

int RenderThreadsOfMachine() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

std::optional<std::filesystem::path> SoundFontOf(const SoundFontChoice& choice) {
    return choice ? choice : FindSoundFont();
}

std::optional<std::string> SoundFontProblem(const std::filesystem::path& font) {
    const SynthEngine probe(SampleLoading::WhenChosen, 1, font);
    if (!probe.Ready()) return "The synthesizer could not be started to load " + font.string();
    if (probe.LoadedSoundFont() != font) return font.string() + " could not be loaded as a SoundFont";
    return std::nullopt;
}

namespace {

// The generators of how much a voice sends to the effects, as a SoundFont's modulators name them.
constexpr int kChorusGenerator = 15;
constexpr int kReverbGenerator = 16;

// A chunk of a RIFF file, as its header tells: its name and the bytes of its data.
struct Chunk {
    std::string id;
    std::uint32_t size = 0;
};

std::optional<Chunk> ReadChunk(std::istream& in) {
    unsigned char header[8];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return std::nullopt;
    const std::uint32_t size =
        header[4] | header[5] << 8 | header[6] << 16 | static_cast<std::uint32_t>(header[7]) << 24;
    return Chunk{std::string(reinterpret_cast<const char*>(header), 4), size};
}

// The effects that the modulators of a SoundFont's presets and instruments send to, read from `in` at the
// first of the `size` bytes of chunks of its "pdta" list; nothing when the list lacks either modulator chunk
// or is cut short.
std::optional<EffectSends> SendsOfModulators(std::istream& in, std::uint32_t size) {
    constexpr std::uint32_t kRecord = 10;  // source, destination, amount, amount source, transform
    EffectSends sends;
    int lists = 0;
    for (std::uint32_t at = 0; at + 8 <= size;) {
        const std::optional<Chunk> chunk = ReadChunk(in);
        at += 8;
        if (!chunk || chunk->size > size - at) return std::nullopt;
        at += chunk->size;
        if (chunk->id != "pmod" && chunk->id != "imod") {
            if (!in.seekg(chunk->size, std::ios::cur)) return std::nullopt;
            continue;
        }
        ++lists;
        std::vector<unsigned char> records(chunk->size);
        if (!in.read(reinterpret_cast<char*>(records.data()), static_cast<std::streamsize>(records.size()))) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i + kRecord <= records.size(); i += kRecord) {
            const int destination = records[i + 2] | records[i + 3] << 8;
            sends |= EffectSends{destination == kReverbGenerator, destination == kChorusGenerator};
        }
    }
    if (lists != 2) return std::nullopt;
    return sends;
}

// FluidSynth's settings for a synthesizer of the player; nothing when they cannot be made.
fluid_settings_t* MakeSettings(SampleLoading loading, int renderThreads, double sampleRate = SynthEngine::kSampleRate) {
    fluid_settings_t* settings = new_fluid_settings();
    if (settings == nullptr) return nullptr;
    fluid_settings_setnum(settings, "synth.sample-rate", sampleRate);
    if (loading == SampleLoading::WhenChosen) fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    if (loading != SampleLoading::AllLocked) fluid_settings_setint(settings, "synth.lock-memory", 0);
    fluid_settings_setint(settings, "synth.cpu-cores", std::clamp(renderThreads, 1, kMostRenderThreads));
    // FluidSynth gives its helper threads real-time priority where it may. Several threads render to a file,
    // which is no real-time work: such threads would take the cores from every other program meanwhile.
    if (renderThreads > 1) fluid_settings_setint(settings, "audio.realtime-prio", 0);
    return settings;
}

}  // namespace

SynthEngine::SynthEngine(const SynthEngine& fontOf, SampleLoading loading, int renderThreads, double sampleRate) {
    QuietFluidSynthLog();
    settings_ = MakeSettings(loading, renderThreads, sampleRate);
    if (settings_ == nullptr) return;
    synth_ = new_fluid_synth(settings_);
    if (synth_ == nullptr || fontOf.font_ == nullptr) return;
    if (fluid_synth_add_sfont(synth_, fontOf.font_) == FLUID_FAILED) return;
    borrowed_ = fontOf.font_;
    loading_ = fontOf.loading_;
    loaded_ = fontOf.loaded_;
    modulatedSends_ = fontOf.modulatedSends_;
    hasInstruments_ = true;
}

SynthEngine::SynthEngine(SampleLoading loading, int renderThreads, const SoundFontChoice& soundFont)
    : loading_(loading) {
    QuietFluidSynthLog();
    settings_ = MakeSettings(loading, renderThreads);
    if (settings_ == nullptr) return;
    synth_ = new_fluid_synth(settings_);
    if (synth_ == nullptr) return;
    if (const auto font = SoundFontOf(soundFont)) ReplaceSoundFont(*font);
}

std::optional<std::string> SynthEngine::ReplaceSoundFont(const std::filesystem::path& font) {
    const std::string problem = font.string() + " could not be loaded as a SoundFont";
    if (synth_ == nullptr || borrowed_ != nullptr) return problem;
    std::error_code ec;
    // FluidSynth would also take a folder or a device for a file; only a regular file is a SoundFont here.
    if (!std::filesystem::is_regular_file(font, ec)) return problem;
    const int id = fluid_synth_sfload(synth_, font.string().c_str(), 1);
    if (id == FLUID_FAILED) return problem;
    if (fontId_) fluid_synth_sfunload(synth_, *fontId_, 1);
    fontId_ = id;
    font_ = fluid_synth_get_sfont_by_id(synth_, id);
    loaded_ = font;
    modulatedSends_ = ModulatedSends(font);
    hasInstruments_ = true;
    return std::nullopt;
}

EffectSends ModulatedSends(const std::optional<std::filesystem::path>& font) {
    constexpr EffectSends kBoth{true, true};
    if (!font) return kBoth;
    std::ifstream in(*font, std::ios::binary);
    char form[12];
    if (!in.read(form, sizeof form) || std::memcmp(form, "RIFF", 4) != 0 || std::memcmp(form + 8, "sfbk", 4) != 0) {
        return kBoth;
    }
    while (const std::optional<Chunk> chunk = ReadChunk(in)) {
        char type[4];
        if (chunk->id == "LIST" && chunk->size >= sizeof type && in.read(type, sizeof type) &&
            std::memcmp(type, "pdta", 4) == 0) {
            return SendsOfModulators(in, chunk->size - sizeof type).value_or(kBoth);
        }
        const std::uint32_t rest = chunk->size + (chunk->size & 1) - (chunk->id == "LIST" ? sizeof type : 0);
        if (!in.seekg(rest, std::ios::cur)) break;
    }
    return kBoth;
}

SynthEngine::~SynthEngine() {
    // The borrowed SoundFont stays its owner's: taken out first, so that deleting this synthesizer leaves it.
    if (borrowed_ != nullptr) fluid_synth_remove_sfont(synth_, borrowed_);
    if (synth_ != nullptr) delete_fluid_synth(synth_);
    if (settings_ != nullptr) delete_fluid_settings(settings_);
}

}  // namespace sonivex
