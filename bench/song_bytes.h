// The byte helpers of the benchmarks' generated songs.
#pragma once

#include <cstdint>
#include <vector>

namespace sonivex::bench {

using Bytes = std::vector<std::uint8_t>;

// A variable-length number: seven bits a byte, most significant first, the top bit set on all but the last.
inline void Vlq(Bytes& out, std::uint32_t v) {
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

// `v` in `bytes` bytes, most significant first, as the chunk headers hold their numbers.
inline void Big(Bytes& out, std::uint32_t v, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// The header chunk of a song of `tracks` tracks at `division` ticks per quarter.
inline Bytes SongHeader(int format, int tracks, int division) {
    Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    Big(file, static_cast<std::uint32_t>(format), 2);
    Big(file, static_cast<std::uint32_t>(tracks), 2);
    Big(file, static_cast<std::uint32_t>(division), 2);
    return file;
}

// Appends a track chunk holding `data` (its events, End of Track included).
inline void AppendTrack(Bytes& file, const Bytes& data) {
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    Big(file, static_cast<std::uint32_t>(data.size()), 4);
    file.insert(file.end(), data.begin(), data.end());
}

// A fixed sequence of pseudo-random numbers (xorshift), the same on every machine.
class XorShift {
public:
    std::uint32_t operator()() {
        seed_ ^= seed_ << 13;
        seed_ ^= seed_ >> 17;
        seed_ ^= seed_ << 5;
        return seed_;
    }

private:
    std::uint32_t seed_ = 2463534242u;
};

}  // namespace sonivex::bench
