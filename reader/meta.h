// Meta events: report lines of the track, checks of tempo, time and key signatures, and the two repairs of
// the working copy.
#pragma once

#include <cstdint>
#include <string>

#include "session.h"
#include "track_reader.h"

namespace sonivex {

// Repairs of the working copy that one report run may make; a file that asks for more is read as it stands.
inline constexpr int kMaxRepairsPerReport = 100;

enum class MetaOutcome {
    Continue,  // the event loop reads the next status byte
    EndTrack,  // End of Track
    Stop,      // an error or a repair ended the track
};

// Decodes the meta event whose 0xFF byte was just read.
MetaOutcome DecodeMetaEvent(SongSession& s, TrackDecoder& r);

// Adds a report line to a track; the 101st and later lines overwrite line 100.
void AddTrackLine(SongModel& m, int track, const std::string& line);

// Adds a report line to the current track (as AddTrackLine) and writes the log line: `delta`, the delta time
// that follows the event, padded to 7 characters, then the log text.
void ListLine(SongSession& s, std::int32_t delta, const std::string& trackText, const std::string& logText);

// Writes the track's heading to the log once per report run.
void WriteTrackHeading(SongSession& s);

// Blanks that pad a number's signed decimal form to 7 characters (never below 0).
int NumberPad(std::int64_t x);

// The name of a key from its count of sharps (positive) or flats (negative) and its minor flag;
// "Unknown" for counts the key table does not hold.
std::string KeyNameOf(int sf, int mi);

// Inserts the missing Note On status byte after the Set Tempo event, fixes the track's length and reads the
// track table again; the report then starts its analysis again.
void RepairMissingStatus(SongSession& s);

}  // namespace sonivex
