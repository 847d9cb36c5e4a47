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

}  // namespace sonivex::bench
