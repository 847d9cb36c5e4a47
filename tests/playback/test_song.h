// The small songs the player's tests play, and scratch files to hold them.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "support/midi_builder.h"

namespace sonivex::test {

inline constexpr int kTicksPerQuarter = 96;
inline constexpr double kSecondsPerTick = 0.5 / kTicksPerQuarter;  // 120 beats a minute

// Three piano quarter notes at 120 beats a minute: 288 ticks, 1.5 seconds.
inline Bytes ThreeNotes() {
    Track t;
    t.Tempo(0, 500000).Program(0, 0, 0);
    t.NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60);
    t.NoteOn(0, 0, 64, 100).NoteOff(96, 0, 64);
    t.NoteOn(0, 0, 67, 100).NoteOff(96, 0, 67);
    return MidiFile(0, kTicksPerQuarter).Add(t.End()).Build();
}

// A file in the temporary folder, deleted when the test ends.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& suffix) {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("sonivex-player-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + suffix);
    }
    ScratchFile(const Bytes& bytes, const std::string& suffix) : ScratchFile(suffix) {
        std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                     static_cast<std::streamsize>(bytes.size()));
    }
    ~ScratchFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string name() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

}  // namespace sonivex::test
