// The song's tempo maps from its decoded events: formats 0 and 1 time every track by the Set Tempo events of
// all tracks together, format 2 each track by its own. A time-code division counts fixed frames instead.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "chunks.h"
#include "tempo_map.h"
#include "track_events.h"

namespace sonivex {

// The tempo a Set Tempo event sets: its three data bytes, big-endian, missing bytes read as 0. Nothing for other
// events and for a value of 0, which no song can mean and which a player passes over.
std::optional<std::uint32_t> TempoOf(const TrackEvent& event);

// Collects the tempo changes of a song's tracks, track by track, as the events are decoded, and builds the maps.
class SongTempoBuilder {
public:
    explicit SongTempoBuilder(const SmfHeader& header) : header_(header) {}

    // Takes `event` of track `track` (0-based); any event that is not a Set Tempo is passed over.
    void Add(std::size_t track, const TrackEvent& event);

    // The maps: with ticks per quarter, the tempo changes (shared for formats 0 and 1, per track for format 2);
    // with a time-code division, its frames and ticks for every track, tempo events passed over; with a division
    // of 0 or a time code of no frames, maps in which every time is 0.
    SongTempo Build(std::size_t trackCount) const;

private:
    SmfHeader header_;
    std::vector<std::vector<TempoPoint>> changes_;  // by track
};

}  // namespace sonivex
