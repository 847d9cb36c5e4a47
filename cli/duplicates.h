// Copies of one song in a collection: the files whose notes share a fingerprint (notes_hash).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonivex {

struct FingerprintedSong {
    std::string file;
    std::string notesHash;
    std::uint64_t noteCount = 0;
};

struct DuplicateGroup {
    std::string notesHash;
    std::vector<std::string> files;  // sorted by path
};

// The groups of two or more songs with the same fingerprint, each sorted by path and the groups by their first
// path. Songs without notes are left out: they all share the fingerprint of no notes without being copies.
std::vector<DuplicateGroup> DuplicateGroups(std::vector<FingerprintedSong> songs);

// One group as one JSON object on one line, without a line end: {"notes_hash":...,"count":N,"files":[...]}.
std::string DuplicateGroupToJson(const DuplicateGroup& group);

}  // namespace sonivex
