#include "playback/player/audio_exporter.h"

#include <fluidsynth.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <future>
#include <mutex>
#include <thread>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <system_error>

#include "playback/player/part_keys.h"
#include "playback/player/sequencer.h"
#include "playback/player/synth_engine.h"

#ifdef SONIVEX_HAVE_SNDFILE
#include <sndfile.h>
#else
#include "playback/player/wav_file.h"
#endif

namespace sonivex {

namespace {

constexpr int kBlockFrames = 4096;
// The song is rendered a second at a time: every call that renders makes the synthesizer's threads meet, so
// fewer, longer calls render faster. Events still sound on time, as the sequencer renders up to each one.
constexpr int kSongBlockFrames = static_cast<int>(SynthEngine::kSampleRate);
// The release ends where the sound stays this far below the loudest sample: 60 dB down.
constexpr float kFadedLevel = 0.001f;
// Below this (-100 dBFS) the synthesizer's output is silence: its effects leave a little noise even without a
// note, which normalising must not raise to full scale.
constexpr float kSilence = 0.00001f;
// Share of the progress that rendering takes; normalising and writing the file take the rest.
constexpr double kRenderShare = 0.9;

// The level below which a release counts as faded, for a sound whose loudest sample is `peak`.
float Faded(float peak) { return std::max(peak * kFadedLevel, kSilence); }

bool Continue(const ExportProgress& progress, double fraction) { return !progress || progress(fraction); }

float PeakOf(const std::vector<float>& left, const std::vector<float>& right, std::size_t from, std::size_t to) {
    float peak = 0;
    for (std::size_t i = from; i < to; ++i) peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    return peak;
}

// Frames too few to be worth a thread of their own.
constexpr std::size_t kLeastFramesAThread = std::size_t{1} << 16;

// Shares the frames [0, count) out in pieces, one for each of up to `threads` threads, and calls
// `work(piece, from, to)` for each, side by side; the first piece is the caller's thread's, as is every piece
// whose thread cannot be started.
template <typename Work>
void SideBySide(std::size_t count, int threads, const Work& work) {
    const std::size_t pieces =
        std::clamp<std::size_t>(count / kLeastFramesAThread, 1, static_cast<std::size_t>(std::max(1, threads)));
    const std::size_t each = count / pieces;
    const auto run = [&, each, pieces](std::size_t piece) {
        work(piece, piece * each, piece + 1 == pieces ? count : (piece + 1) * each);
    };
    std::vector<std::thread> others;
    std::size_t piece = 1;
    try {
        for (; piece < pieces; ++piece) others.emplace_back(run, piece);
    } catch (const std::system_error&) {
    }
    for (std::size_t left = piece; left < pieces; ++left) run(left);
    run(0);
    for (std::thread& t : others) t.join();
}

// Starts `work` on a thread of its own, whose future waits for it; an empty future when no thread can be
// started: then `work` does not run, and what it holds is let go here.
template <typename Work>
std::future<void> OnAThread(Work work) {
    try {
        return std::async(std::launch::async, std::move(work));
    } catch (const std::system_error&) {
        return {};
    }
}

// The loudest sample of either channel, found by `threads` side by side.
float PeakOf(const RenderedSound& sound, int threads) {
    std::vector<float> peaks(static_cast<std::size_t>(std::max(1, threads)), 0.0f);
    SideBySide(sound.left.size(), threads, [&](std::size_t piece, std::size_t from, std::size_t to) {
        peaks[piece] = PeakOf(sound.left, sound.right, from, to);
    });
    return *std::max_element(peaks.begin(), peaks.end());
}

// The factor that brings a sound whose loudest sample is `peak` to `peakDb` dB below full scale; 1 for silence.
double NormalisingFactor(float peak, double peakDb) {
    return peak <= kSilence ? 1 : std::pow(10.0, peakDb / 20.0) / peak;
}

// A new file beside `target` for the sound, made exclusively under a name of this process's own, so that no
// file or link that is there is ever written through; it takes the permission bits of the file it will
// replace. Nothing when it cannot be made.
struct Scratch {
    std::filesystem::path path;
    int fd = -1;
};
std::optional<Scratch> MakeScratch(const std::filesystem::path& target) {
    std::random_device device;
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    for (int attempt = 0; attempt < 16; ++attempt) {
        char random[24];
        std::snprintf(random, sizeof random, "%08x%08x", device(), device());
        const std::string name =
            AudioScratchName(target.filename().string(), std::to_string(::getpid()) + "-" + random);
        const int fd = ::open((folder / name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return std::nullopt;
        struct stat replaced {};
        if (::stat(target.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode)) {
            if (::fchown(fd, static_cast<uid_t>(-1), replaced.st_gid) != 0) errno = 0;  // not ours to give
            ::fchmod(fd, replaced.st_mode & 07777);
        }
        return Scratch{folder / name, fd};
    }
    return std::nullopt;
}

#ifdef SONIVEX_HAVE_SNDFILE
// The frames converted and written at a time: enough to keep the writes few, few enough to stay in the cache.
constexpr std::int64_t kWriteFrames = 1 << 15;

// The sample `v` of a sound scaled by `factor`, as 16 bits: clipped to the range and rounded to the nearest
// step, half steps to the even one, as the sound file library rounds. Adding 1.5 x 2^23 and taking it away
// rounds a float below 2^22 to a whole number (in the processor's rounding: to the nearest, ties to even)
// without a call into the maths library, so that a loop converts many samples at once.
std::int16_t Pcm16(float v, double factor) {
    constexpr float kRounder = 12582912.0f;
    float steps = static_cast<float>(v * factor) * 32767.0f;
    steps = steps > -32768.0f ? steps : -32768.0f;  // also a NaN
    steps = steps < 32767.0f ? steps : 32767.0f;
    return static_cast<std::int16_t>((steps + kRounder) - kRounder);
}

// Writes the sound, scaled by `factor`, through the sound file library: as 16-bit samples for WAV and FLAC,
// as floats for Ogg Vorbis.
bool WriteFrames(SNDFILE* file, const RenderedSound& sound, double factor, AudioFormat format,
                 const ExportProgress& progress, bool& cancelled) {
    const std::int64_t total = sound.Frames();
    const bool pcm = format != AudioFormat::Ogg;
    std::vector<std::int16_t> shorts(pcm ? static_cast<std::size_t>(kWriteFrames) * 2 : 0);
    std::vector<float> floats(pcm ? 0 : static_cast<std::size_t>(kWriteFrames) * 2);
    for (std::int64_t at = 0; at < total; at += kWriteFrames) {
        const std::int64_t count = std::min<std::int64_t>(kWriteFrames, total - at);
        const float* left = &sound.left[static_cast<std::size_t>(at)];
        const float* right = &sound.right[static_cast<std::size_t>(at)];
        if (pcm) {
            for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
                shorts[2 * i] = Pcm16(left[i], factor);
                shorts[2 * i + 1] = Pcm16(right[i], factor);
            }
        } else {
            for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
                floats[2 * i] = static_cast<float>(left[i] * factor);
                floats[2 * i + 1] = static_cast<float>(right[i] * factor);
            }
        }
        const sf_count_t written =
            pcm ? sf_writef_short(file, shorts.data(), count) : sf_writef_float(file, floats.data(), count);
        if (written != count) return false;
        if (!Continue(progress, static_cast<double>(at + count) / static_cast<double>(total))) {
            cancelled = true;
            return false;
        }
    }
    return true;
}

// Writes the sound, scaled by `factor`, as the named format to the scratch file. False when the file cannot
// be made or a write fails; `progress` hears the share written, and cancelling it also returns false (with
// `cancelled` set).
bool WriteSound(const RenderedSound& sound, double factor, AudioFormat format, const Scratch& scratch,
                const ExportProgress& progress, bool& cancelled) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(SynthEngine::kSampleRate);
    info.channels = 2;
    switch (format) {
    case AudioFormat::Wav: info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16; break;
    case AudioFormat::Flac: info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16; break;
    case AudioFormat::Ogg: info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS; break;
    }
    SNDFILE* file = sf_open_fd(scratch.fd, SFM_WRITE, &info, SF_TRUE);
    if (file == nullptr) {
        ::close(scratch.fd);
        return false;
    }
    const bool ok = WriteFrames(file, sound, factor, format, progress, cancelled);
    return sf_close(file) == 0 && ok;
}

// The frames of the sound file open at `fd` (left open), when it is a file of `format`, 44.1 kHz stereo.
std::optional<std::int64_t> SoundFileFrames(int fd, AudioFormat format, off_t) {
    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    if (file == nullptr) return std::nullopt;
    sf_close(file);
    int type = SF_FORMAT_WAV;
    if (format == AudioFormat::Flac) type = SF_FORMAT_FLAC;
    if (format == AudioFormat::Ogg) type = SF_FORMAT_OGG;
    if ((info.format & SF_FORMAT_TYPEMASK) != type || info.channels != 2 ||
        info.samplerate != static_cast<int>(SynthEngine::kSampleRate) || info.frames < 0) {
        return std::nullopt;
    }
    return info.frames;
}
#else
// Writes the sound, scaled by `factor`, as a WAV file under the scratch name; false for another format, when
// the file cannot be made or a write fails, and when `progress` cancels (with `cancelled` set).
bool WriteSound(const RenderedSound& sound, double factor, AudioFormat format, const Scratch& scratch,
                const ExportProgress& progress, bool& cancelled) {
    ::close(scratch.fd);  // the writer opens the file that was made for it by its name
    if (format != AudioFormat::Wav) return false;
    WavWriter wav;
    if (!wav.Open(scratch.path, static_cast<int>(SynthEngine::kSampleRate))) return false;
    const std::int64_t total = sound.Frames();
    std::vector<float> left(kBlockFrames);
    std::vector<float> right(kBlockFrames);
    for (std::int64_t at = 0; at < total; at += kBlockFrames) {
        const int count = static_cast<int>(std::min<std::int64_t>(kBlockFrames, total - at));
        for (int i = 0; i < count; ++i) {
            left[static_cast<std::size_t>(i)] = static_cast<float>(sound.left[static_cast<std::size_t>(at + i)] * factor);
            right[static_cast<std::size_t>(i)] = static_cast<float>(sound.right[static_cast<std::size_t>(at + i)] * factor);
        }
        wav.Write(left.data(), right.data(), count);
        if (!Continue(progress, static_cast<double>(at + count) / static_cast<double>(total))) {
            cancelled = true;
            wav.Finish();
            return false;
        }
    }
    return wav.Finish();
}

std::uint32_t LittleEndian(const unsigned char* at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
    return value;
}

// The frames of the WAV file open at `fd` (left open), of `size` bytes, when its header is the one WavWriter
// writes (16-bit stereo at 44.1 kHz) and its data is all there.
std::optional<std::int64_t> SoundFileFrames(int fd, AudioFormat format, off_t size) {
    constexpr int kHeader = 44;
    unsigned char h[kHeader];
    if (format != AudioFormat::Wav || ::pread(fd, h, kHeader, 0) != kHeader) return std::nullopt;
    const bool wav = std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVEfmt ", 8) == 0 &&
                     LittleEndian(h + 20, 2) == 1 && LittleEndian(h + 22, 2) == 2 &&
                     LittleEndian(h + 24, 4) == static_cast<std::uint32_t>(SynthEngine::kSampleRate) &&
                     LittleEndian(h + 34, 2) == 16 && std::memcmp(h + 36, "data", 4) == 0;
    const std::int64_t data = LittleEndian(h + 40, 4);
    if (!wav || kHeader + data > size) return std::nullopt;
    return data / 4;
}
#endif

bool CanWrite(AudioFormat format) {
#ifdef SONIVEX_HAVE_SNDFILE
    (void)format;
    return true;
#else
    return format == AudioFormat::Wav;
#endif
}

// The end of an export: the rendered sound, whose loudest sample is `peak`, normalised and written under a
// scratch name, then renamed to `target`.
ExportResult WriteExport(const RenderedSound& sound, float peak, AudioFormat format,
                         const std::filesystem::path& target, const ExportProgress& progress) {
    const auto failed = [](const std::string& problem) { return ExportResult{ExportStatus::Failed, problem, 0}; };
    const auto removeScratch = [](const std::filesystem::path& scratch) {
        std::error_code ec;
        std::filesystem::remove(scratch, ec);
    };
    const double factor = NormalisingFactor(peak, kExportPeakDb);
    const std::optional<Scratch> scratch = MakeScratch(target);
    if (!scratch) return failed(std::string("could not be written: ") + std::strerror(errno));
    bool cancelled = false;
    errno = 0;
    const bool written = WriteSound(sound, factor, format, *scratch, [&](double share) {
        return Continue(progress, kRenderShare + share * (1 - kRenderShare));
    }, cancelled);
    if (!written) {
        const int error = errno;
        removeScratch(scratch->path);
        if (cancelled) return {ExportStatus::Cancelled, "", 0};
        return failed(error != 0 ? "could not be written: " + std::string(std::strerror(error)) : "could not be written");
    }
    if (::rename(scratch->path.c_str(), target.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        removeScratch(scratch->path);
        return failed("could not be written: " + reason);
    }
    return {ExportStatus::Written, "", static_cast<double>(sound.Frames()) / SynthEngine::kSampleRate};
}

}  // namespace

std::optional<RenderedSound> RenderSound(const MidiSequence& song, const ExportProgress& progress,
                                         int renderThreads, const SilencedTracks& silenced,
                                         const SoundFontChoice& soundFont) {
    const SynthEngine fontOf(SampleLoading::AllAtOnce, 1, soundFont);
    return RenderSound(fontOf, song, progress, renderThreads, silenced);
}

namespace {

constexpr auto kLongestReleaseFrames = static_cast<std::int64_t>(kLongestReleaseSeconds * SynthEngine::kSampleRate);

// The song's sound, to which the parts add theirs a block at a time as they render it: the song's frames
// start as silence, which the first part to reach a block adds to as the second does after it. As a sum of
// two does not depend on which came first, the sound is the same at every run.
class PartsSum {
public:
    // Silence for the `songFrames`, written now (so that the memory is the process's before rendering starts),
    // with room for the release after them.
    explicit PartsSum(std::int64_t songFrames) {
        const auto frames = static_cast<std::size_t>(songFrames);
        const auto most = static_cast<std::size_t>(songFrames + kLongestReleaseFrames);
        for (std::vector<float>* channel : {&sound_.left, &sound_.right}) {
            channel->reserve(most);
            channel->resize(frames);
        }
        sound_.songFrames = songFrames;
    }

    std::int64_t SongFrames() const { return sound_.songFrames; }

    // Adds the `frames` of `left` and `right` that a part rendered at frame `at`.
    void Add(std::int64_t at, const float* left, const float* right, int frames) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto from = static_cast<std::size_t>(at);
        const std::size_t end = from + static_cast<std::size_t>(frames);
        if (end > sound_.left.size()) {
            sound_.left.resize(end);
            sound_.right.resize(end);
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(frames); ++i) {
            sound_.left[from + i] += left[i];
            sound_.right[from + i] += right[i];
        }
    }

    // The sum, once every part has rendered.
    RenderedSound Take() { return std::move(sound_); }

private:
    std::mutex mutex_;
    RenderedSound sound_;
};

// The song is rendered in this many parts, each by a synthesizer of its own that plays some of its notes;
// their sum is the song's sound. FluidSynth's own threads share the voices of one synthesizer in an order
// that changes from run to run, which can end a voice a block sooner or later; parts of one thread each
// sound the same at every run, on every machine, whether they render side by side or one after the other.
constexpr int kParts = 2;
static_assert(kParts <= 2, "PartsSum adds blocks in the order they come, which only two parts may do");

// Renders `part` of the song on a new synthesizer that borrows the SoundFont of `fontOf` into `sum`, with only
// the effects of `sends` (see SongPart): the song's frames, then its release, until the part's voices are done
// and its sound has faded (see Faded), at most kLongestReleaseFrames. Stops when `progress` cancels (and sets
// `stop`) or `stop` is set by another part.
void RenderPart(const SynthEngine& fontOf, const MidiSequence& part, EffectSends sends,
                const SilencedTracks& silenced, std::int64_t songFrames, PartsSum& sum, const ExportProgress& progress,
                std::atomic<bool>& stop) {
    SynthEngine engine(fontOf, fontOf.Loading(), 1);
    if (!engine.Ready()) return;
    if (!sends.reverb) fluid_synth_reverb_on(engine.Synth(), -1, 0);
    if (!sends.chorus) fluid_synth_chorus_on(engine.Synth(), -1, 0);
    std::vector<float> left(static_cast<std::size_t>(std::max(kSongBlockFrames, kBlockFrames)));
    std::vector<float> right(left.size());
    Sequencer sequencer(engine.Synth(), SynthEngine::kSampleRate);
    sequencer.Load(part);
    sequencer.Silence(silenced);
    sequencer.Start(0, sequencer.LengthTicks());
    float peak = 0;
    for (std::int64_t done = 0;;) {
        const std::int64_t release = done - songFrames;
        if (release >= kLongestReleaseFrames) return;
        const int frames =
            static_cast<int>(release >= 0 ? std::min<std::int64_t>(kBlockFrames, kLongestReleaseFrames - release)
                                          : std::min<std::int64_t>(kSongBlockFrames, -release));
        sequencer.Render(left.data(), right.data(), frames);
        const float blockPeak = PeakOf(left, right, 0, static_cast<std::size_t>(frames));
        peak = std::max(peak, blockPeak);
        sum.Add(done, left.data(), right.data(), frames);
        done += frames;
        if (release < 0) {
            if (stop || !Continue(progress, static_cast<double>(done) / static_cast<double>(songFrames))) {
                stop = true;
                return;
            }
        } else if (fluid_synth_get_active_voice_count(engine.Synth()) == 0 && blockPeak <= Faded(peak)) {
            return;
        }
    }
}

// A song's sound and its loudest sample.
struct LoudestSound {
    RenderedSound sound;
    float peak = 0;
};

// The frames from the song's first tick to its last.
std::int64_t SongFrames(const MidiSequence& song) {
    return std::max<std::int64_t>(0, std::llround(song.LengthSeconds() * SynthEngine::kSampleRate));
}

// RenderSound into `sum`, made for the song's frames, with the loudest sample, which the sum of the parts
// finds, for normalising.
std::optional<LoudestSound> RenderLoudest(const SynthEngine& fontOf, const MidiSequence& song, PartsSum& sum,
                                          const ExportProgress& progress, int renderThreads,
                                          const SilencedTracks& silenced) {
    const std::int64_t songFrames = sum.SongFrames();
    const std::vector<SongPart> plan = PartsOfSong(fontOf, song, kParts);
    std::array<std::exception_ptr, kParts> failures;
    std::atomic<bool> stop{false};
    // Samples read as instruments are chosen are counted by the SoundFont without a lock: two synthesizers
    // choosing at once could each drop samples that the other plays. Only a SoundFont read whole is shared by
    // parts that render side by side.
    const bool together = renderThreads > 1 && fontOf.Loading() != SampleLoading::WhenChosen;
    const auto render = [&](int p) {
        // Side by side, the first part (on the caller's thread) tells the progress; one after the other, each
        // tells its share.
        const ExportProgress heard = together ? (p == 0 ? progress : ExportProgress{})
                                              : ExportProgress([&, p](double share) {
                                                    return Continue(progress, (p + share) / kParts);
                                                });
        try {
            const SongPart& part = plan[static_cast<std::size_t>(p)];
            RenderPart(fontOf, song.WithNotesOf(part.keys), part.sends, silenced, songFrames, sum, heard, stop);
        } catch (...) {
            failures[static_cast<std::size_t>(p)] = std::current_exception();
            stop = true;
        }
    };
    std::vector<std::thread> others;
    for (int p = 1; together && p < kParts; ++p) others.emplace_back(render, p);
    render(0);
    for (int p = 1; !together && p < kParts && !stop; ++p) render(p);
    for (std::thread& t : others) t.join();
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
    if (stop) return std::nullopt;

    RenderedSound sound = sum.Take();
    // The faded end of the release is cut: the sound ends after its last sample above the faded level (so the
    // loudest sample stays, unless all is silence).
    const float peak = PeakOf(sound, renderThreads);
    const float faded = Faded(peak);
    std::size_t end = sound.left.size();
    const auto songEnd = static_cast<std::size_t>(songFrames);
    while (end > songEnd && std::max(std::fabs(sound.left[end - 1]), std::fabs(sound.right[end - 1])) <= faded) --end;
    sound.left.resize(end);
    sound.right.resize(end);
    return LoudestSound{std::move(sound), peak};
}

}  // namespace

std::optional<RenderedSound> RenderSound(const SynthEngine& fontOf, const MidiSequence& song,
                                         const ExportProgress& progress, int renderThreads,
                                         const SilencedTracks& silenced) {
    PartsSum sum(SongFrames(song));
    std::optional<LoudestSound> rendered = RenderLoudest(fontOf, song, sum, progress, renderThreads, silenced);
    if (!rendered) return std::nullopt;
    return std::move(rendered->sound);
}

double Normalise(RenderedSound& sound, double peakDb) {
    const double factor = NormalisingFactor(PeakOf(sound.left, sound.right, 0, sound.left.size()), peakDb);
    for (float& v : sound.left) v = static_cast<float>(v * factor);
    for (float& v : sound.right) v = static_cast<float>(v * factor);
    return factor;
}

SynthAudioExporter::SynthAudioExporter(SoundFontChoice soundFont, int renderThreads, SampleLoading loading,
                                       SoundFontUse use)
    : soundFont_(std::move(soundFont)), renderThreads_(renderThreads), loading_(loading), use_(use) {}

SynthAudioExporter::~SynthAudioExporter() = default;

std::optional<std::string> SynthAudioExporter::Load() {
    if (!fontHolder_) fontHolder_ = std::make_unique<SynthEngine>(loading_, 1, soundFont_);
    if (soundFont_ && fontHolder_->LoadedSoundFont() != soundFont_) {
        return soundFont_->string() + " could not be loaded as a SoundFont";
    }
    return std::nullopt;
}

ExportResult SynthAudioExporter::Export(const std::filesystem::path& song, const std::filesystem::path& target,
                                        const ExportProgress& progress, const SilencedTracks& silenced) {
    const auto failed = [](const std::string& problem) { return ExportResult{ExportStatus::Failed, problem, 0}; };
    const std::optional<AudioFormat> format = AudioFormatOf(target);
    if (!format) return failed("is not a .wav, .flac or .ogg file name");
    if (!CanWrite(*format)) return failed("cannot be written: this build writes WAV files only");
    try {
        const std::optional<MidiSequence> sequence = MidiSequence::Read(song);
        // The memory of the song's sound is made ready while the SoundFont loads, on a core that would be idle.
        std::optional<PartsSum> sum;
        std::future<void> making;
        if (sequence && !fontHolder_) making = OnAThread([&] { sum.emplace(SongFrames(*sequence)); });
        const std::optional<std::string> problem = Load();
        if (making.valid()) making.get();
        if (problem) return failed("was not written: " + *problem);
        if (!sequence) return failed("cannot be made: the song cannot be read");
        if (!sum) sum.emplace(SongFrames(*sequence));
        const std::optional<LoudestSound> rendered = RenderLoudest(
            *fontHolder_, *sequence, *sum, [&](double share) { return Continue(progress, share * kRenderShare); },
            renderThreads_, silenced);
        if (!rendered) return {ExportStatus::Cancelled, "", 0};
        // Exporting once, the SoundFont is let go while the file is written (joined before returning).
        std::future<void> lettingGo;
        if (use_ == SoundFontUse::OneExport) {
            lettingGo = OnAThread([font = std::move(fontHolder_)]() mutable { font.reset(); });
        }
        return WriteExport(rendered->sound, rendered->peak, *format, target, progress);
    } catch (const std::bad_alloc&) {
        return failed("cannot be made: not enough memory for the sound");
    }
}

std::unique_ptr<AudioExporter> MakeAudioExporter(const SoundFontChoice& soundFont, int renderThreads) {
    return std::make_unique<SynthAudioExporter>(soundFont, renderThreads);
}

std::optional<double> SoundFileSeconds(const std::filesystem::path& file) {
    const std::optional<AudioFormat> format = AudioFormatOf(file);
    if (!format) return std::nullopt;
    // Not blocking: a FIFO under the name must not wait for a writer.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat status {};
    const std::optional<std::int64_t> frames = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)
                                                   ? SoundFileFrames(fd, *format, status.st_size)
                                                   : std::nullopt;
    ::close(fd);
    if (!frames) return std::nullopt;
    return static_cast<double>(*frames) / SynthEngine::kSampleRate;
}

}  // namespace sonivex
