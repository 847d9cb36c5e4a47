// sonivex-cli-extras: the parts of sonivex-cli that need Qt or FluidSynth (the piano-roll picture and the audio
// export), as a program of their own. sonivex-cli runs it only for --piano-roll and --render (see extras.h),
// so every other run of the tool starts without those libraries.
//
//   sonivex-cli-extras piano-roll SONG TARGET WIDTH HEIGHT BEFORE [DATA_FOLDER...]
//       Draws the piano roll of the song file SONG at WIDTH x HEIGHT into the PNG file TARGET. When BEFORE is
//       1, standard input holds the song as it stood before the last command, whose changes are outlined;
//       when it is 0, nothing is outlined. Drum lanes and instruments are named from the genmidi.ini of the
//       first DATA_FOLDER that holds one.
//   sonivex-cli-extras render SONG TARGET [SILENCED]
//       Renders SONG into the sound file TARGET (its extension names the format) and prints its length in
//       seconds. SILENCED lists the tracks whose notes are left out, counted from 1 and parted by commas
//       ("2,5").
//   sonivex-cli-extras play SONG [PORT]
//       Plays SONG in real time to the MIDI output port PORT (a name as list-ports prints it), or without one
//       to the built-in synthesizer, and returns at its end. SIGINT or SIGTERM stops it early, with the notes
//       released (exit status 0).
//   sonivex-cli-extras list-ports
//       Prints the MIDI output ports, one a line.
//
// Exit status 0: done. 1: failed, the reason on standard output. 2: a part this program was built without, or
// arguments it does not understand.
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
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

bool ReadSize(const char* text, int& value) {
    const char* end = text + std::strlen(text);
    const auto [at, ec] = std::from_chars(text, end, value);
    return ec == std::errc{} && at == end && value > 0;
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

int RenderAudio(int argc, char** argv) {
    if (argc != 4 && argc != 5) return kNotOffered;
    const std::optional<sonivex::SilencedTracks> silenced =
        argc == 5 ? ReadSilenced(argv[4]) : std::optional<sonivex::SilencedTracks>(sonivex::SilencedTracks());
    if (!silenced) return kNotOffered;
    try {
        const sonivex::ExportResult result = sonivex::MakeAudioExporter()->Export(argv[2], argv[3], {}, *silenced);
        if (result.status != sonivex::ExportStatus::Written) return Fail(result.problem);
        char text[64];
        const auto written = std::to_chars(text, text + sizeof text, result.seconds);  // whatever the locale
        std::fwrite(text, 1, static_cast<std::size_t>(written.ptr - text), stdout);
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
#endif
    return kNotOffered;
}
