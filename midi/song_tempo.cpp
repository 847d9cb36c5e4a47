#include "song_tempo.h"

#include <utility>

namespace sonivex {

namespace {

constexpr int kSongPerTrackFormat = 2;
constexpr std::uint32_t kMicrosPerSecond = 1000000;

// A time code as a fixed tempo: a "quarter note" of frames x ticks lasting one second. 29 frames stand for the
// 30000/1001 frames of drop-frame time code: 30 x ticks per 1.001 s.
TempoMap TimeCodeMap(const TimeCode& code) {
    if (code.framesPerSecond == 29) return TempoMap(30 * code.ticksPerFrame, {{0, kMicrosPerSecond + 1000}});
    return TempoMap(code.framesPerSecond * code.ticksPerFrame, {{0, kMicrosPerSecond}});
}

}  // namespace

std::optional<std::uint32_t> TempoOf(const TrackEvent& event) {
    if (!event.IsMeta(kMetaSetTempo)) return std::nullopt;
    const auto byteAt = [&](std::size_t i) -> std::uint32_t { return i < event.body.size() ? event.body[i] : 0; };
    const std::uint32_t micros = (byteAt(0) << 16) | (byteAt(1) << 8) | byteAt(2);
    if (micros == 0) return std::nullopt;
    return micros;
}

void SongTempoBuilder::Add(std::size_t track, const TrackEvent& event) {
    const std::optional<std::uint32_t> micros = TempoOf(event);
    if (!micros) return;
    if (changes_.size() <= track) changes_.resize(track + 1);
    changes_[track].push_back({event.tick, *micros});
}

SongTempo SongTempoBuilder::Build(std::size_t trackCount) const {
    if (const std::optional<TimeCode> code = header_.TimeCodeDivision()) return SongTempo::Shared(TimeCodeMap(*code));
    const int division = header_.TicksPerQuarter().value_or(0);
    if (header_.format == kSongPerTrackFormat) {
        std::vector<TempoMap> maps;
        maps.reserve(trackCount);
        for (std::size_t track = 0; track < trackCount; ++track) {
            maps.emplace_back(division, track < changes_.size() ? changes_[track] : std::vector<TempoPoint>{});
        }
        return SongTempo::PerTrack(std::move(maps));
    }
    // Track by track into one list: the map's stable sort keeps changes at one tick in track order.
    std::vector<TempoPoint> all;
    for (const std::vector<TempoPoint>& track : changes_) all.insert(all.end(), track.begin(), track.end());
    return SongTempo::Shared(TempoMap(division, std::move(all)));
}

}  // namespace sonivex
