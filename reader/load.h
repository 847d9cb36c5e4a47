// Loading a file: the working copy, the header checks, the track chunks and the log file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "session.h"

namespace sonivex {

// `count` bytes of the working copy from 0-based `offset` (fewer at its end, none when it cannot be read):
// from the bytes held in memory while something holds them, else from the file.
Bytes ReadWorkingCopyRange(SongSession& s, std::uint64_t offset, std::uint64_t count);
// The same range without a copy while the working copy is held: a view that keeps the held bytes alive.
SharedBytes SharedWorkingCopyRange(SongSession& s, std::uint64_t offset, std::uint64_t count);

// While it lives, the working copy is held in the song model: read from the disk at its first read, or taken as
// written when the load makes it, and kept in step with every replacement. Holders nest; the bytes go when the
// outermost one does. A copy that cannot be read is not held, and every read goes to the file as without it.
class WorkingCopyHeld {
public:
    explicit WorkingCopyHeld(SongSession& s);
    WorkingCopyHeld(const WorkingCopyHeld&) = delete;
    WorkingCopyHeld& operator=(const WorkingCopyHeld&) = delete;
    ~WorkingCopyHeld();

    // The held bytes (read at the first call); none when the working copy cannot be read. Valid until the
    // working copy is replaced.
    std::span<const std::uint8_t> View() const;

private:
    SongSession& session_;
};

// Copies the file named by SourcePath to the working copy in the program folder, checks its header and its
// track chunks, sets the caption and opens the log file. Every fault shows a message that begins with
// FileTitle and clears FileValid; the chosen file itself is only read.
void LoadFile(SongSession& s);

// A message of the walk over the track chunks.
struct ChunkFinding {
    int track = 0;              // the track that does not end with End of Track; 0 for a message about the file
    std::string text;
};

// Where the track chunks of a file lie, and what the walk over them tells the user, in order.
struct TrackChunkWalk {
    std::vector<std::int64_t> starts;  // 1-based position of track k's chunk at k - 1; one more: where the last ends
    std::vector<ChunkHeader> headers;  // track k's chunk header at k - 1
    bool invalid = false;              // the file is no valid song
    std::vector<ChunkFinding> findings;
};

// Walks the chunks of `file` after the header, as ReadTrackChunks does; changes nothing.
TrackChunkWalk WalkTrackChunks(std::span<const std::uint8_t> file, std::int64_t declaredTracks,
                               const std::string& fileTitle);

// Whether the messages of a walk over the track chunks are shown.
enum class ChunkMessages {
    Show,
    Skip,  // the caller has shown them already
};

// Walks the chunks of the working copy after the header: records where each track chunk starts
// (TrackStart, TrackHeaders, TracksFound) and warns about tracks that do not end with End of Track. A chunk
// that is not "MTrk" before the declared track count, or a track chunk beyond kMaxTracks, clears FileValid;
// one met after the declared tracks is trailing data.
void ReadTrackChunks(SongSession& s, ChunkMessages messages = ChunkMessages::Show);

// Shows one message of a walk over the track chunks.
void ShowChunkFinding(SongSession& s, const ChunkFinding& finding);

// Puts `bytes` in the working copy's place: written whole to the scratch file first, then renamed, so the
// working copy is either as it was or wholly new. False (after a message naming the file) when either step
// fails.
bool ReplaceWorkingCopy(SongSession& s, std::string_view bytes);

// A new working copy written piece by piece to the scratch file, then put in the working copy's place whole, so
// that a song never has to be in memory twice to be rewritten. A copy that is not committed leaves the working
// copy as it was and no scratch file behind.
class NewWorkingCopy {
public:
    explicit NewWorkingCopy(SongSession& s);
    NewWorkingCopy(const NewWorkingCopy&) = delete;
    NewWorkingCopy& operator=(const NewWorkingCopy&) = delete;
    ~NewWorkingCopy();

    // Adds bytes at the end.
    void Append(std::span<const std::uint8_t> bytes);
    void Append(std::string_view bytes);
    // The bytes appended so far.
    std::uint64_t Size() const { return size_; }
    // Puts the bytes appended in the working copy's place (a held copy is read again from the new file at its
    // next read). False, after a message naming the file, when the scratch file could not be written or
    // renamed; the working copy is then as it was.
    bool Commit();

private:
    void Flush();

    SongSession& session_;
    int error_ = 0;                     // the first write that failed: the copy cannot be committed
    std::optional<ExclusiveFile> out_;  // the scratch file, made new for this copy alone
    std::string pending_;               // bytes not yet written
    std::uint64_t size_ = 0;
};

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
