// Loading a file: the working copy, the header checks, the track chunks and the log file.
#pragma once

#include <cstdint>
#include <string_view>

#include "session.h"

namespace sonivex {

// `count` bytes of the working copy from 0-based `offset` (fewer at its end, none when it cannot be read):
// from the bytes held in memory while something holds them, else from the file.
Bytes ReadWorkingCopyRange(SongSession& s, std::uint64_t offset, std::uint64_t count);

// While it lives, the working copy is held in the song model: read from the disk at its first read, or taken as
// written when the load makes it, and kept in step with every replacement. Holders nest; the bytes go when the
// outermost one does. A copy that cannot be read is not held, and every read goes to the file as without it.
class WorkingCopyHeld {
public:
    explicit WorkingCopyHeld(SongSession& s);
    WorkingCopyHeld(const WorkingCopyHeld&) = delete;
    WorkingCopyHeld& operator=(const WorkingCopyHeld&) = delete;
    ~WorkingCopyHeld();

private:
    SongModel& song_;
};

// Copies the file named by SourcePath to the working copy in the program folder, checks its header and its
// track chunks, sets the caption and opens the log file. Every fault shows a message that begins with
// FileTitle and clears FileValid; the chosen file itself is only read.
void LoadFile(SongSession& s);

// Walks the chunks of the working copy after the header: records where each track chunk starts
// (TrackStart, TrackHeaders, TracksFound) and warns about tracks that do not end with End of Track. A chunk
// that is not "MTrk" before the declared track count, or a track chunk beyond kMaxTracks, clears FileValid;
// one met after the declared tracks is trailing data.
void ReadTrackChunks(SongSession& s);

// Puts `bytes` in the working copy's place: written whole to the scratch file first, then renamed, so the
// working copy is either as it was or wholly new. False (after a message naming the file) when either step
// fails.
bool ReplaceWorkingCopy(SongSession& s, std::string_view bytes);

// The data length of a chunk as the program reads it: the three low bytes of the 4-byte length field of the
// chunk header at `header` (8 bytes); the top byte is ignored.
std::int64_t ChunkDataLength(const std::uint8_t* header);

// Writes `length` into the three low bytes of the length field of the chunk header at `header` (8 bytes),
// the way ChunkDataLength reads it back; the top byte is left as it is.
void SetChunkDataLength(std::uint8_t* header, std::int64_t length);

// The log file's name for a file title: SONG.MID gives song.txt.
std::string LogFileName(const std::string& fileTitle);

// The part of a path after its last "/" or "\".
std::string PathTail(const std::string& path);

}  // namespace sonivex
