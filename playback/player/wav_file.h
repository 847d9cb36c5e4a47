// Writes 16-bit PCM stereo WAV files frame block by frame block.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace sonivex {

class WavWriter {
public:
    // The most frames whose size the header's 32-bit fields can hold.
    static constexpr std::int64_t kMostFrames = (0xFFFFFFFFLL - 44) / 4;  // after a 44-byte header, 4 bytes a frame

    // Creates (or replaces) the file and writes a header whose sizes Finish() fills in. False when the file
    // cannot be created.
    bool Open(const std::filesystem::path& path, int sampleRate);

    // Appends frames, each sample clipped to the range -1 to 1 and rounded to 16 bits.
    void Write(const float* left, const float* right, int frames);

    // Fills in the sizes and closes the file. False when any write failed.
    bool Finish();

    std::int64_t Frames() const { return frames_; }

private:
    std::ofstream out_;
    int sampleRate_ = 0;
    std::int64_t frames_ = 0;
};

}  // namespace sonivex
