// Times a seek on a long song: how long the player takes, while it plays a dense 10-minute song, from the
// Seek call until its position reports the new place (the controllers before it sent, the play set up again).
//
// Usage: sonivex-seek-bench
// Builds the song itself (16 channels, a note every eighth, a controller and a pitch bend every beat, 120
// beats a minute for 10 minutes: about 300 000 events), plays it on the silent output and seeks 40 times
// across it. Prints the median and the slowest seek against the target of 50 ms; not a test: the exit status
// is 0 whatever the times.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "playback/player/midi_player.h"
#include "song_bytes.h"

namespace {

using Clock = std::chrono::steady_clock;
using sonivex::bench::Bytes;

constexpr int kDivision = 480;
constexpr int kBeats = 1200;  // 10 minutes at 120 beats a minute

// One channel's track: a note every eighth, a volume change and a pitch bend every beat.
Bytes ChannelTrack(int channel, sonivex::bench::XorShift& next) {
    Bytes data = {0x00, static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(channel * 7)};
    if (channel == 0) data.insert(data.end(), {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
    const auto status = [channel](int kind) { return static_cast<std::uint8_t>(kind | channel); };
    for (int beat = 0; beat < kBeats; ++beat) {
        data.insert(data.end(), {0x00, status(0xB0), 7, static_cast<std::uint8_t>(64 + next() % 64)});
        data.insert(data.end(), {0x00, status(0xE0), 0, static_cast<std::uint8_t>(next() % 128)});
        for (int eighth = 0; eighth < 2; ++eighth) {
            const auto key = static_cast<std::uint8_t>(36 + next() % 60);
            data.insert(data.end(), {0x00, status(0x90), key, 90});
            sonivex::bench::Vlq(data, kDivision / 2);
            data.insert(data.end(), {status(0x80), key, 0});
        }
    }
    data.insert(data.end(), {0x00, 0xFF, 0x2F, 0x00});
    return data;
}

std::filesystem::path WriteSong() {
    sonivex::bench::XorShift next;
    Bytes file = sonivex::bench::SongHeader(1, 16, kDivision);
    for (int channel = 0; channel < 16; ++channel) sonivex::bench::AppendTrack(file, ChannelTrack(channel, next));
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("sonivex-seek-bench-" + std::to_string(::getpid()) + ".mid");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
    return path;
}

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main() {
    ::setenv("SONIVEX_AUDIO", "none", 1);
    const std::filesystem::path song = WriteSong();
    std::unique_ptr<sonivex::MidiPlayer> player = sonivex::MidiPlayer::Create();
    if (player == nullptr || !player->Open(song.string())) {
        std::fputs("sonivex-seek-bench: the player could not open the song\n", stderr);
        std::filesystem::remove(song);
        return 1;
    }
    const std::int64_t length = player->LengthTicks();
    player->Play(0, length);
    std::vector<double> times;
    for (int i = 0; i < 40; ++i) {
        // Back and forth across the whole song, the far end last.
        const std::int64_t target = (i % 2 == 0 ? i : 40 - i) * length / 40;
        const Clock::time_point start = Clock::now();
        player->Seek(target);
        while (player->PositionTicks() < target) std::this_thread::yield();
        times.push_back(Milliseconds(Clock::now() - start));
    }
    std::filesystem::remove(song);
    std::sort(times.begin(), times.end());
    std::printf("seek on a 10-minute song of %lld ticks: median %.2f ms, slowest %.2f ms (target 50 ms)\n",
                static_cast<long long>(length), times[times.size() / 2], times.back());
    return 0;
}
