#include "playback/player/wav_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace sonivex {

namespace {

constexpr int kChannels = 2;
constexpr int kBytesPerSample = 2;
constexpr int kHeaderSize = 44;

// Little-endian numbers and tags, written into a fixed buffer front to back.
class LittleEndian {
public:
    explicit LittleEndian(char* out) : out_(out) {}
    LittleEndian& U16(std::uint32_t v) {
        *out_++ = static_cast<char>(v & 0xFF);
        *out_++ = static_cast<char>((v >> 8) & 0xFF);
        return *this;
    }
    LittleEndian& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    LittleEndian& Tag(const char (&tag)[5]) {
        for (int i = 0; i < 4; ++i) *out_++ = tag[i];
        return *this;
    }

private:
    char* out_;
};

using HeaderBytes = std::array<char, kHeaderSize>;

// The canonical 44-byte header: RIFF chunk, "fmt " chunk for PCM, and the head of the "data" chunk.
HeaderBytes Header(int sampleRate, std::uint32_t dataBytes) {
    HeaderBytes h{};
    LittleEndian(h.data())
        .Tag("RIFF")
        .U32(kHeaderSize - 8 + dataBytes)
        .Tag("WAVE")
        .Tag("fmt ")
        .U32(16)
        .U16(1)  // PCM
        .U16(kChannels)
        .U32(static_cast<std::uint32_t>(sampleRate))
        .U32(static_cast<std::uint32_t>(sampleRate * kChannels * kBytesPerSample))
        .U16(kChannels * kBytesPerSample)
        .U16(8 * kBytesPerSample)
        .Tag("data")
        .U32(dataBytes);
    return h;
}

std::int16_t ToSample(float v) {
    const float clipped = std::clamp(v, -1.0f, 1.0f);
    return static_cast<std::int16_t>(std::lround(clipped * std::numeric_limits<std::int16_t>::max()));
}

}  // namespace

bool WavWriter::Open(const std::filesystem::path& path, int sampleRate) {
    out_.open(path, std::ios::binary | std::ios::trunc);
    frames_ = 0;
    if (!out_) return false;
    const HeaderBytes header = Header(sampleRate, 0);
    out_.write(header.data(), static_cast<std::streamsize>(header.size()));
    sampleRate_ = sampleRate;
    return static_cast<bool>(out_);
}

void WavWriter::Write(const float* left, const float* right, int frames) {
    std::vector<char> bytes(static_cast<std::size_t>(frames) * kChannels * kBytesPerSample);
    LittleEndian out(bytes.data());
    for (int i = 0; i < frames; ++i) {
        out.U16(static_cast<std::uint16_t>(ToSample(left[i]))).U16(static_cast<std::uint16_t>(ToSample(right[i])));
    }
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    frames_ += frames;
}

bool WavWriter::Finish() {
    if (frames_ > kMostFrames) {
        out_.close();
        return false;
    }
    const std::int64_t dataBytes = frames_ * kChannels * kBytesPerSample;
    const HeaderBytes header = Header(sampleRate_, static_cast<std::uint32_t>(dataBytes));
    out_.seekp(0);
    out_.write(header.data(), static_cast<std::streamsize>(header.size()));
    out_.close();
    return !out_.fail();
}

}  // namespace sonivex
