// Times Undo and Redo of an edit, and the audio export, on songs given on the command line.
//
// Usage: sonivex-bench-edit-audio PROGRAM_FOLDER SONG.mid [RENDER_SONG.mid ...]
//
// PROGRAM_FOLDER holds the data files (the build's bin/ folder does). The first song is opened, a style is
// applied, then Undo and Redo are timed (best of five each). Every song after it (or the first when there is
// no other) is exported to WAV in a temporary folder, and the render's speed is shown as a multiple of real
// time. Prints one line per measurement: the wall time, and the processor time the program used. The edits run
// on one thread, so on an idle machine their wall time comes to their processor time; the export renders on
// every core, so its wall time is shorter than its processor time, by up to the number of cores.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "app/commands.h"
#include "app/undo_redo.h"
#include "playback/player/audio_exporter.h"
#include "app/app_platform.h"
#include "app/session.h"

namespace {

double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The processor time this process has used, in milliseconds.
double CpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Wall and processor milliseconds of one run of `work`.
struct Timing {
    double wall;
    double cpu;
};

template <typename Work>
Timing Time(Work work) {
    const double cpu = CpuMilliseconds();
    const auto start = std::chrono::steady_clock::now();
    work();
    return {Milliseconds(std::chrono::steady_clock::now() - start), CpuMilliseconds() - cpu};
}

// The best of five runs, wall and processor time each.
template <typename Work>
Timing BestOfFive(Work work) {
    Timing best{1e300, 1e300};
    for (int i = 0; i < 5; ++i) {
        const Timing t = work();
        best = {std::min(best.wall, t.wall), std::min(best.cpu, t.cpu)};
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: sonivex-bench-edit-audio PROGRAM_FOLDER SONG.mid [RENDER_SONG.mid ...]\n", stderr);
        return 2;
    }
    const std::filesystem::path data = argv[1];
    const std::filesystem::path work = std::filesystem::temp_directory_path() / "sonivex-bench-edit-audio";
    std::filesystem::create_directories(work);
    sonivex::Folders folders{{data}, work, work / "logs"};

    sonivex::SilentPlatform platform;
    {
        sonivex::Session s(platform, folders);
        s.FixedSeed = true;
        sonivex::FormLoad(s);
        if (sonivex::OpenCommand(s, std::filesystem::absolute(argv[2]).string()) != sonivex::OpenOutcome::Reported) {
            std::fprintf(stderr, "%s could not be opened\n", argv[2]);
            return 1;
        }
        s.form.Combo1.listIndex = 0;
        sonivex::Combo1_Click(s);
        const Timing edit = Time([&] { sonivex::CommandClick(s, sonivex::CommandButton::ApplyStyle); });
        if (!s.history.CanUndo()) {
            std::fputs("the style changed nothing: no undo step to time\n", stderr);
            return 1;
        }
        const Timing undo = BestOfFive([&] {
            const Timing back = Time([&] { sonivex::UndoCommand(s); });
            sonivex::RedoCommand(s);
            return back;
        });
        const Timing redo = BestOfFive([&] {
            sonivex::UndoCommand(s);
            return Time([&] { sonivex::RedoCommand(s); });
        });
        std::printf("%s: style %.1f ms (cpu %.1f); undo %.1f ms (cpu %.1f); redo %.1f ms (cpu %.1f); best of 5, "
                    "target under 100 ms each\n",
                    std::filesystem::path(argv[2]).filename().c_str(), edit.wall, edit.cpu, undo.wall, undo.cpu,
                    redo.wall, redo.cpu);
        sonivex::End1(s);
    }

    const std::unique_ptr<sonivex::AudioExporter> exporter = sonivex::MakeAudioExporter();
    for (int i = argc > 3 ? 3 : 2; i < argc; ++i) {
        const std::filesystem::path song = argv[i];
        const std::filesystem::path target = work / (song.stem().string() + ".wav");
        sonivex::ExportResult result;
        const Timing t = Time([&] { result = exporter->Export(song, target, {}, {}); });
        if (result.status != sonivex::ExportStatus::Written) {
            std::fprintf(stderr, "%s: export failed: %s\n", song.filename().c_str(), result.problem.c_str());
            continue;
        }
        std::printf("%s: %.1f s of sound exported in %.0f ms, %.0fx real time (cpu %.0f ms, %.0fx); target 50x\n",
                    song.filename().c_str(), result.seconds, t.wall, result.seconds * 1000 / t.wall, t.cpu,
                    result.seconds * 1000 / t.cpu);
        std::filesystem::remove(target);
    }
    std::filesystem::remove_all(work);
    return 0;
}
