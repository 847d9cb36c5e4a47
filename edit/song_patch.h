// A change of the working copy that the writer makes by keeping every byte it does not name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sonivex {

// A change of the working copy that keeps every byte it does not name: single bytes replaced where they stand,
// and whole events inserted into track chunks, whose length fields grow with them. Offsets are 0-based in the
// working copy as it stands.
struct SongPatch {
    struct Replacement {
        std::size_t offset;
        std::uint8_t byte;
    };
    struct Insertion {
        std::size_t chunk;   // the offset of the "MTrk" of the chunk that takes the bytes
        std::size_t before;  // the offset of the byte that the inserted bytes come before
        std::string bytes;   // a delta time and an event, so that every later event keeps its time
    };
    std::vector<Replacement> replacements;
    std::vector<Insertion> insertions;

    bool Empty() const { return replacements.empty() && insertions.empty(); }
};

}  // namespace sonivex
