// Times the Overview: how long the window takes, after a song's report, to build the Overview's model of it
// (the song read once more as a timeline, its lyric events looked for, the model made from the report).
//
// Usage: sonivex-overview-bench [PROGRAM_FOLDER [FILE.mid ...]]
// PROGRAM_FOLDER holds the data files (default: the folder of this program, where the build puts them).
// Without files it builds a 1 MB song (16 tracks of notes, a tempo change every bar). Prints, for each song,
// its report's time and the model's (median of 9 runs) against the target of 100 ms; not a test: the exit
// status is 0 whatever the times.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/app_platform.h"
#include "app/commands.h"
#include "app/session.h"
#include "app/window/overview_model.h"
#include "reader/files.h"
#include "song_bytes.h"

namespace {

using Clock = std::chrono::steady_clock;
using sonivex::bench::Bytes;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

using sonivex::bench::Big;
using sonivex::bench::Vlq;

// A format 1 song of about `size` bytes: a tempo track with a change every bar, then 15 tracks of notes (the
// last on the drum channel), each with a name and a program, from a fixed random sequence.
Bytes GeneratedSong(std::size_t size) {
    constexpr int kTracks = 16;
    constexpr int kDivision = 480;
    sonivex::bench::XorShift next;
    Bytes file = sonivex::bench::SongHeader(1, kTracks, kDivision);
    const std::size_t perTrack = size / (kTracks - 1) + 16;  // the tempo track is short
    for (int track = 0; track < kTracks; ++track) {
        Bytes data;
        if (track == 0) {
            for (std::uint32_t bar = 0; bar < 400; ++bar) {
                Vlq(data, bar == 0 ? 0 : 4 * kDivision);
                data.insert(data.end(), {0xFF, 0x51, 0x03});
                Big(data, 400000 + next() % 200000, 3);
            }
        } else {
            const int channel = track == kTracks - 1 ? 9 : track - 1;
            const std::string name = "Track " + std::to_string(track);
            data.insert(data.end(), {0x00, 0xFF, 0x03, static_cast<std::uint8_t>(name.size())});
            data.insert(data.end(), name.begin(), name.end());
            data.insert(data.end(), {0x00, static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(track * 5)});
            int key = 48 + track * 2;
            while (data.size() + 16 < perTrack) {
                key = std::clamp(key + static_cast<int>(next() % 7) - 3, 28, 100);
                Vlq(data, 0);
                data.insert(data.end(), {static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(key),
                                         static_cast<std::uint8_t>(40 + next() % 80)});
                Vlq(data, kDivision / 4 * (1 + next() % 4));
                data.insert(data.end(), {static_cast<std::uint8_t>(key), 0});
            }
        }
        data.insert(data.end(), {0x00, 0xFF, 0x2F, 0x00});
        sonivex::bench::AppendTrack(file, data);
    }
    return file;
}

void Bench(const std::filesystem::path& data, const std::filesystem::path& song) {
    const std::filesystem::path work = std::filesystem::temp_directory_path() / "sonivex-overview-bench";
    std::filesystem::create_directories(work);
    sonivex::SilentPlatform platform;
    sonivex::Session s(platform, sonivex::Folders{{data}, work, work / "logs"});
    s.FixedSeed = true;
    sonivex::FormLoad(s);
    auto start = Clock::now();
    const sonivex::OpenOutcome opened = sonivex::OpenCommand(s, std::filesystem::absolute(song).string());
    const double reportMs = Milliseconds(Clock::now() - start);
    if (opened != sonivex::OpenOutcome::Reported) {
        std::fprintf(stderr, "%s: the report did not run\n", song.c_str());
        return;
    }
    const sonivex::OverviewNames names = sonivex::ReadOverviewNames(s);
    std::vector<double> runs;
    sonivex::OverviewModel model;
    for (int run = 0; run < 9; ++run) {
        start = Clock::now();
        // What the window does after every command that changed the song: read it and build the model.
        const std::optional<sonivex::Bytes> bytes = sonivex::ReadWholeFile(s.WorkFile(s.song.TempFileName));
        model = sonivex::BuildOverview(s.report.Built, *bytes, names);
        runs.push_back(Milliseconds(Clock::now() - start));
    }
    std::sort(runs.begin(), runs.end());
    std::printf("%s: %ju bytes, %d tracks, %u notes\n", song.filename().c_str(),
                static_cast<std::uintmax_t>(std::filesystem::file_size(song)), model.trackCount, model.noteCount);
    std::printf("  open and report          %8.1f ms\n", reportMs);
    std::printf("  Overview model           %8.1f ms (median of %zu, best %.1f)   target < 100 ms\n",
                runs[runs.size() / 2], runs.size(), runs.front());
    sonivex::ShutdownFiles(s);
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path data = argc > 1 ? std::filesystem::path(argv[1])
                                                : std::filesystem::canonical("/proc/self/exe").parent_path();
    std::vector<std::filesystem::path> songs;
    for (int i = 2; i < argc; ++i) songs.emplace_back(argv[i]);
    std::filesystem::path generated;
    if (songs.empty()) {
        generated = std::filesystem::temp_directory_path() / "sonivex-overview-bench-1mb.mid";
        const Bytes bytes = GeneratedSong(1 << 20);
        std::ofstream(generated, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        songs.push_back(generated);
    }
    for (const std::filesystem::path& song : songs) Bench(data, song);
    if (!generated.empty()) std::filesystem::remove(generated);
    return 0;
}
