// Ticks to seconds and back through a song's tempo changes: 500,000 microseconds per quarter note hold until
// the first change. A song of format 0 or 1 has one map for all its tracks, a song of format 2 one per track.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sonivex {

inline constexpr std::uint32_t kDefaultMicrosPerQuarter = 500000;

struct TempoPoint {
    std::uint64_t tick;
    std::uint32_t microsPerQuarter;
};

class TempoMap {
public:
    // A map of `changes` (in any order; changes at one tick keep their order, the last one holds) at `division`
    // ticks per quarter note. A division of 0 or below makes every time 0 (SongTempoBuilder gives a time-code
    // division a fixed map of its own).
    TempoMap(int division, std::vector<TempoPoint> changes);
    TempoMap() : TempoMap(0, {}) {}

    int Division() const { return division_; }
    const std::vector<TempoPoint>& Changes() const { return changes_; }

    // The time at `tick`, in seconds.
    double SecondsAt(std::uint64_t tick) const;
    // The whole seconds at `tick`, exactly: the floor of the sum over the map's segments of ticks x
    // microseconds per quarter / (ticks per quarter x 1,000,000).
    std::uint64_t WholeSecondsAt(std::uint64_t tick) const;
    // The first tick at or after `seconds`; 0 for times at or before the start or a map whose times are all 0.
    std::uint64_t TickAt(double seconds) const;

private:
    // Microseconds x ticks per quarter up to `tick`.
    unsigned __int128 ScaledMicrosAt(std::uint64_t tick) const;

    int division_;
    std::vector<TempoPoint> changes_;
    // scaled_[i]: microseconds x division at changes_[i].tick.
    std::vector<unsigned __int128> scaled_;
};

// The maps of a whole song: one shared by every track, or (format 2) each track's own.
class SongTempo {
public:
    // One map for every track.
    static SongTempo Shared(TempoMap map);
    // Each track's own map, by track index from 0.
    static SongTempo PerTrack(std::vector<TempoMap> maps);

    // The map that times `track` (0-based); a track without a map of its own gets an empty one.
    const TempoMap& Of(std::size_t track) const;

private:
    std::vector<TempoMap> maps_;
    bool shared_ = true;
    TempoMap empty_;
};

}  // namespace sonivex
