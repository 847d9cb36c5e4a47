// Loading a file: the working copy, the header checks, the track chunks and the log file.
#pragma once

#include "session.h"

namespace sonivex {

// Copies the file named by SourcePath to the working copy in the program folder, checks its header and its
// track chunks, sets the caption and opens the log file. Every fault shows a message that begins with
// FileTitle and clears FileValid; the chosen file itself is only read.
void LoadFile(Session& s);

// Walks the chunks of the working copy after the header: records where each track chunk starts
// (TrackStart, TrackHeaders, TracksFound) and warns about tracks that do not end with End of Track. A chunk
// that is not "MTrk" before the declared track count, or a 74th track, clears FileValid.
void ReadTrackChunks(Session& s);

// The log file's name for a file title: SONG.MID gives song.txt.
std::string LogFileName(const std::string& fileTitle);

// The part of a path after its last "/" or "\".
std::string PathTail(const std::string& path);

}  // namespace sonivex
