// The pieces of "Apply" in the Instruments frame that tests check on their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "edit/edit_session.h"

namespace sonivex {

// The drum notes of a style line: the numbers after the word "drum" (any case) that follows the first "=",
// as written (rounded to whole numbers). No "drum" gives none. RunError(9) for more than 40.
std::vector<int> StyleDrumNotes(const std::string& line);

// The new program of every Program Change entry (indexed like ProgramChangePos; -1 = unchanged): the style's
// programs (counted from 1) dealt round-robin, the tracks taken from the longest to the shortest and each
// track's changes in order.
std::vector<std::int32_t> DealPrograms(const SongModel& m, const std::vector<int>& programs);

// Maps every drum note (0-127) onto the style's notes: the most frequent note of the song onto the first,
// the next onto the second, and round again. An empty list maps nothing (-1 everywhere).
DrumNoteMap DrumNoteMapFor(const SongCounts& counts, const std::vector<int>& notes);

}  // namespace sonivex
