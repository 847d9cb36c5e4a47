// Transpose, Tempo and a track's instrument: the changes they make to a song, planned from its bytes as a
// SongPatch that touches only what the edit means (a key, a tempo, a program) and inserts an event only where
// the song lacks one. The commands of edit_commands.h plan from the working copy and write through the writer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "edit/edit_commands.h"
#include "edit/song_patch.h"
#include "midi/chunks.h"

namespace sonivex {

// The song as an edit plans on it: its bytes, its header and its track chunks as the track list numbers them
// (track k at k - 1).
struct SongBytes {
    std::span<const std::uint8_t> file;
    SmfHeader header;
    std::vector<TrackChunk> tracks;
};

// What an edit would do: the patch, or the message that refuses it (the patch is then empty). An empty patch
// without a refusal changes nothing.
struct EditPlan {
    SongPatch patch;
    std::optional<std::string> refusal;
};

// Moves the key of every Note On, Note Off and key pressure event off the drum channel, in every track or the
// one asked for. Refused, naming how many notes, when a key would leave 0 to 127; refused too when there is no
// melody note to move, or a track cannot be read to its end.
EditPlan PlanTranspose(const SongBytes& song, const TransposeRequest& request);

// Scales every Set Tempo event by 100 / percent, rounded to the nearest microsecond. A song without one gets
// one at tick 0 of its first track (in a song of independent tracks, every track without one gets its own),
// at 500,000 microseconds scaled. Refused for a song timed in frames, and when a tempo would leave what a Set
// Tempo event can hold.
EditPlan PlanTempo(const SongBytes& song, const TempoRequest& request);

// Sets every program change of the track to the program. A track without one gets one at tick 0 for each
// channel its events use; a track with no channel event at all is refused.
EditPlan PlanInstrument(const SongBytes& song, const InstrumentRequest& request);

// The track chunks of `file` where the song's track table (TrackStart) puts them, their lengths as the length
// fields give them, cut at the next chunk and at the end of the file.
std::vector<TrackChunk> TrackChunksOf(std::span<const std::uint8_t> file, const std::vector<std::int64_t>& starts);

}  // namespace sonivex
