// The data files of the program folder: instrument and drum names (genmidi.ini) and styles (style1.dat).
#pragma once

#include <string>
#include <vector>

#include "session.h"

namespace sonivex {

// The name of a melody program: the text after the first "=" of entry program + 2 of genmidi.ini, whose
// entries are its lines split at commas, blanks around them dropped and quotes taken off.
// RunError(52) when the file cannot be opened, RunError(62) when it has too few entries.
std::string ProgramName(SongSession& s, int program);

// The drum-name line for a key of 27 or more: line key - 26 after the line "RHYTHM:" (for lower keys the
// line "RHYTHM:" itself).
// RunError(52) when the file cannot be opened, RunError(62) without "RHYTHM:" or with too few lines.
const std::string& DrumLine(SongSession& s, int key);

// Forgets the names read so far, so the next look-up reads genmidi.ini again.
void ForgetNames(SongSession& s);

// The entries of one text line as a comma-delimited read takes them.
std::vector<std::string> DelimitedEntries(const std::string& line);

// One line of style1.dat: the name before the first "=" and the program numbers (counted from 1) that stand
// before the word "drum".
struct StyleLine {
    std::string name;
    std::vector<int> programs;
};

// Splits a style line. RunError(5) for a line without "=", RunError(9) for more than 40 numbers,
// RunError(6) for a number beyond 16 bits.
StyleLine ParseStyleLine(const std::string& line);

}  // namespace sonivex
