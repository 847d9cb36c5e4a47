// sonivex-cli-extras: the parts of sonivex-cli that need Qt or FluidSynth (the piano-roll picture and the audio
// export), as a program of their own. sonivex-cli runs it only for --piano-roll and --render (see extras.h),
// so every other run of the tool starts without those libraries.
//
//   sonivex-cli-extras piano-roll SONG TARGET WIDTH HEIGHT BEFORE [DATA_FOLDER...]
//       Draws the piano roll of the song file SONG at WIDTH x HEIGHT into the PNG file TARGET. When BEFORE is
//       1, standard input holds the song as it stood before the last command, whose changes are outlined;
//       when it is 0, nothing is outlined. Drum lanes and instruments are named from the genmidi.ini of the
//       first DATA_FOLDER that holds one.
//   sonivex-cli-extras render [--soundfont FONT] SONG TARGET [SILENCED]
//       Renders SONG into the sound file TARGET (its extension names the format) and prints its length in
//       seconds. SILENCED lists the tracks whose notes are left out, counted from 1 and parted by commas
//       ("2,5"). FONT is the SoundFont to render with (else the default one); one that FluidSynth cannot
//       load fails the render, and nothing is written.
//   sonivex-cli-extras render-many [--soundfont FONT] THREADS
//       Renders song after song with one load of the SoundFont, on THREADS render threads. First answers
//       "ready" (or "failed MESSAGE", and exits with status 1, when FONT cannot be loaded). Then reads
//       requests from standard input until it ends, each the song's path and the target's, each ended by a
//       NUL byte, and answers each with one line on standard output:
//         kept SECONDS       TARGET is already a whole sound file of its format (see SoundFileSeconds), of
//                            that length; it is left as it is
//         written SECONDS    TARGET was rendered, of that length
//         failed MESSAGE     it was not; MESSAGE (on one line) follows the target's name in a message
//   sonivex-cli-extras play SONG [PORT]
//       Plays SONG in real time to the MIDI output port PORT (a name as list-ports prints it), or without one
//       to the built-in synthesizer, and returns at its end. SIGINT or SIGTERM stops it early, with the notes
//       released (exit status 0).
//   sonivex-cli-extras list-ports
//       Prints the MIDI output ports, one a line.
//
// Exit status 0: done. 1: failed, the reason on standard output. 2: a part this program was built without, or
// arguments it does not understand.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "reader/files.h"

#ifdef SONIVEX_HAVE_PIANO_ROLL
#include "app/session.h"
#include "app/app_platform.h"
#include "roll/piano_roll_image.h"
#include "roll/piano_roll_song.h"
#endif
#ifdef SONIVEX_HAVE_PLAYER
#include <signal.h>

#include <chrono>
#include <memory>

#include "playback/player/audio_exporter.h"
#include "playback/player/midi_player.h"
#include "playback/player/port_player.h"
#endif

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kNotOffered = 2;

int Fail(const std::string& problem) {
    std::fputs(problem.c_str(), stdout);
    return kFailed;
}

// A whole number above 0.
[[maybe_unused]] bool ReadSize(const char* text, int& value) {
    const char* end = text + std::strlen(text);
    const auto [at, ec] = std::from_chars(text, end, value);
    return ec == std::errc{} && at == end && value > 0;
}

#ifdef SONIVEX_HAVE_PIANO_ROLL
// Everything on standard input.
sonivex::Bytes ReadInput() {
    sonivex::Bytes bytes;
    std::uint8_t block[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, block, sizeof block);
        if (n > 0) {
            bytes.insert(bytes.end(), block, block + n);
        } else if (n == 0 || errno != EINTR) {
            return bytes;
        }
    }
}

int DrawPianoRoll(int argc, char** argv) {
    int width = 0;
    int height = 0;
    if (argc < 7 || !ReadSize(argv[4], width) || !ReadSize(argv[5], height)) return kNotOffered;
    const char* song = argv[2];
    const char* target = argv[3];
    const bool withBefore = std::strcmp(argv[6], "1") == 0;
    try {
        const std::optional<sonivex::Bytes> now = sonivex::ReadWholeFile(song);
        if (!now) return Fail(std::string(song) + " could not be read");
        const sonivex::Bytes before = withBefore ? ReadInput() : sonivex::Bytes{};
        sonivex::Folders folders;
        for (int i = 7; i < argc; ++i) folders.data.emplace_back(argv[i]);
        sonivex::SilentPlatform platform;  // the names come from genmidi.ini only; nothing is shown
        sonivex::Session session(platform, folders);
        sonivex::PianoRollModel model;
        sonivex::LoadPianoRoll(session, *now, withBefore ? &before : nullptr, model);
        const std::string problem = sonivex::WritePianoRollPng(model, width, height, target);
        return problem.empty() ? kDone : Fail(problem);
    } catch (const std::exception& e) {
        return Fail(std::string(target) + " could not be drawn: " + e.what());
    }
}
#endif

#ifdef SONIVEX_HAVE_PLAYER
// The tracks of a SILENCED argument, 0-based; nothing when it is not a list of track numbers from 1.
std::optional<sonivex::SilencedTracks> ReadSilenced(const char* text) {
    std::vector<std::int32_t> tracks;
    const char* at = text;
    const char* end = text + std::strlen(text);
    while (at < end) {
        std::int32_t track = 0;
        const auto [next, ec] = std::from_chars(at, end, track);
        if (ec != std::errc{} || track < 1 || (next != end && *next != ',')) return std::nullopt;
        tracks.push_back(track - 1);
        at = next == end ? end : next + 1;
    }
    return sonivex::SilencedTracks(std::move(tracks));
}

// Seconds as text, whatever the locale.
std::string SecondsText(double seconds) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, seconds);
    return std::string(text, written.ptr);
}

// The SoundFont of a "--soundfont FONT" at argv[at], which then moves past it; the default one without it.
sonivex::SoundFontChoice ReadSoundFont(int argc, char** argv, int& at) {
    if (at + 1 >= argc || std::strcmp(argv[at], "--soundfont") != 0) return std::nullopt;
    at += 2;
    return std::filesystem::path(argv[at - 1]);
}

// FluidSynth's own libraries write warnings to stderr (libinstpatch on a file that is no SoundFont). This
// program reports on stdout, and the tool's stderr is for its own messages: the warnings go nowhere.
void QuietStandardError() {
    const int none = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (none < 0) return;
    ::dup2(none, STDERR_FILENO);
    ::close(none);
}

int RenderAudio(int argc, char** argv) {
    QuietStandardError();
    int at = 2;
    const sonivex::SoundFontChoice soundFont = ReadSoundFont(argc, argv, at);
    if (argc - at != 2 && argc - at != 3) return kNotOffered;
    const std::optional<sonivex::SilencedTracks> silenced =
        argc - at == 3 ? ReadSilenced(argv[at + 2]) : std::optional<sonivex::SilencedTracks>(sonivex::SilencedTracks());
    if (!silenced) return kNotOffered;
    try {
        const sonivex::ExportResult result =
            sonivex::SynthAudioExporter(soundFont, sonivex::RenderThreadsOfMachine(), sonivex::SampleLoading::AllAtOnce,
                                        sonivex::SoundFontUse::OneExport)
                .Export(argv[at], argv[at + 1], {}, *silenced);
        if (result.status != sonivex::ExportStatus::Written) return Fail(result.problem);
        const std::string seconds = SecondsText(result.seconds);
        std::fwrite(seconds.data(), 1, seconds.size(), stdout);
        return kDone;
    } catch (const std::exception& e) {
        return Fail(std::string("could not be written: ") + e.what());
    }
}

// Blocks SIGINT and SIGTERM for every thread made from now on, so that the play loop takes them in its own time.
sigset_t BlockStopSignals() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    return stop;
}

// Waits until `player` stops by itself, or a stop signal comes and stops it; the reason for a play that
// failed, else nothing.
std::optional<std::string> PlayToTheEnd(sonivex::Player& player, const sigset_t& stop,
                                        const std::function<std::optional<std::string>()>& problem) {
    constexpr long kLookEveryNanoseconds = 20'000'000;
    player.Play(0, player.LengthTicks());
    const timespec wait{0, kLookEveryNanoseconds};
    while (player.Mode() == "playing") {
        if (::sigtimedwait(&stop, nullptr, &wait) > 0) {
            player.Stop();
            return std::nullopt;
        }
    }
    return problem();
}

int PlaySong(int argc, char** argv) {
    if (argc != 3 && argc != 4) return kNotOffered;
    const sigset_t stop = BlockStopSignals();
    try {
        std::unique_ptr<sonivex::Player> player;
        std::function<std::optional<std::string>()> problem = [] { return std::optional<std::string>(); };
        if (argc == 4) {
            std::string why;
            std::unique_ptr<sonivex::PortPlayer> port = sonivex::MakePortPlayer(std::string(argv[3]), why);
            if (!port) return Fail(why);
            problem = [raw = port.get()] { return raw->Problem(); };
            player = std::move(port);
        } else {
            sonivex::QuietenSoundLibraries();  // without a sound card, the ALSA driver's attempt says so at length
            player = sonivex::MidiPlayer::Create();
            if (!player) return Fail("the built-in synthesizer could not be started");
        }
        if (!player->Open(argv[2])) return Fail(std::string(argv[2]) + " could not be read as a MIDI file");
        const std::optional<std::string> failed = PlayToTheEnd(*player, stop, problem);
        return failed ? Fail(*failed) : kDone;
    } catch (const std::exception& e) {
        return Fail(std::string("the song could not be played: ") + e.what());
    }
}

int ListPorts(int argc) {
    if (argc != 2) return kNotOffered;
    try {
        for (const std::string& name : sonivex::ListOutputPorts()) std::printf("%s\n", name.c_str());
        return kDone;
    } catch (const std::exception& e) {
        return Fail(std::string("the MIDI ports could not be listed: ") + e.what());
    }
}

// Reads NUL-ended fields from a descriptor, block by block.
class FieldReader {
public:
    explicit FieldReader(int fd) : fd_(fd) {}

    // The next field; nothing at the end of the input (a field cut off by the end counts as none).
    std::optional<std::string> Next() {
        for (;;) {
            const std::size_t nul = buffer_.find('\0', from_);
            if (nul != std::string::npos) {
                std::string field = buffer_.substr(from_, nul - from_);
                from_ = nul + 1;
                return field;
            }
            buffer_.erase(0, from_);
            from_ = 0;
            char block[4096];
            const ssize_t n = ::read(fd_, block, sizeof block);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return std::nullopt;
            buffer_.append(block, static_cast<std::size_t>(n));
        }
    }

private:
    int fd_;
    std::string buffer_;
    std::size_t from_ = 0;
};

// One answer line of render-many, the message kept on one line.
void Answer(const std::string& word, std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    const std::string line = word + (text.empty() ? "" : " " + text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

// One request of render-many: the song rendered to the target, unless the target is whole already.
void RenderRequest(sonivex::SynthAudioExporter& exporter, const std::string& song, const std::string& target) {
    try {
        if (const std::optional<double> seconds = sonivex::SoundFileSeconds(target)) {
            Answer("kept", SecondsText(*seconds));
            return;
        }
        const sonivex::ExportResult result = exporter.Export(song, target, {}, {});
        if (result.status == sonivex::ExportStatus::Written) {
            Answer("written", SecondsText(result.seconds));
        } else {
            Answer("failed", result.problem.empty() ? "was not written" : result.problem);
        }
    } catch (const std::exception& e) {
        Answer("failed", std::string("could not be written: ") + e.what());
    }
}

int RenderMany(int argc, char** argv) {
    QuietStandardError();
    int at = 2;
    const sonivex::SoundFontChoice soundFont = ReadSoundFont(argc, argv, at);
    int threads = 0;
    if (argc - at != 1 || !ReadSize(argv[at], threads)) return kNotOffered;
    try {
        // Every sample read once, at the start: the songs after it then read none.
        sonivex::SynthAudioExporter exporter(soundFont, threads, sonivex::SampleLoading::AllAtOnce);
        if (const std::optional<std::string> problem = exporter.Load()) {
            Answer("failed", *problem);
            return kFailed;
        }
        Answer("ready", "");
        FieldReader requests(STDIN_FILENO);
        for (;;) {
            const std::optional<std::string> song = requests.Next();
            const std::optional<std::string> target = song ? requests.Next() : std::nullopt;
            if (!target) return kDone;
            RenderRequest(exporter, *song, *target);
        }
    } catch (const std::exception& e) {
        Answer("failed", std::string("the synthesizer failed: ") + e.what());
        return kFailed;
    }
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const std::string part = argc > 1 ? argv[1] : "";
#ifdef SONIVEX_HAVE_PIANO_ROLL
    if (part == "piano-roll") return DrawPianoRoll(argc, argv);
#endif
#ifdef SONIVEX_HAVE_PLAYER
    if (part == "render") return RenderAudio(argc, argv);
    if (part == "play") return PlaySong(argc, argv);
    if (part == "list-ports") return ListPorts(argc);
    if (part == "render-many") return RenderMany(argc, argv);
#endif
    return kNotOffered;
}
