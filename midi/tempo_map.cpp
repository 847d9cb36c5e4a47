#include "tempo_map.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace sonivex {

namespace {

constexpr unsigned __int128 kMicrosPerSecond = 1000000;

}  // namespace

TempoMap::TempoMap(int division, std::vector<TempoPoint> changes) : division_(division), changes_(std::move(changes)) {
    std::stable_sort(changes_.begin(), changes_.end(),
                     [](const TempoPoint& a, const TempoPoint& b) { return a.tick < b.tick; });
    scaled_.reserve(changes_.size());
    unsigned __int128 sum = 0;
    std::uint64_t from = 0;
    std::uint32_t tempo = kDefaultMicrosPerQuarter;
    for (const TempoPoint& change : changes_) {
        sum += static_cast<unsigned __int128>(change.tick - from) * tempo;
        scaled_.push_back(sum);
        from = change.tick;
        tempo = change.microsPerQuarter;
    }
}

unsigned __int128 TempoMap::ScaledMicrosAt(std::uint64_t tick) const {
    // The last change at or before `tick` sets the tempo from its tick on.
    const auto after = std::upper_bound(changes_.begin(), changes_.end(), tick,
                                        [](std::uint64_t t, const TempoPoint& change) { return t < change.tick; });
    if (after == changes_.begin()) return static_cast<unsigned __int128>(tick) * kDefaultMicrosPerQuarter;
    const auto last = static_cast<std::size_t>(after - changes_.begin()) - 1;
    return scaled_[last] + static_cast<unsigned __int128>(tick - changes_[last].tick) * changes_[last].microsPerQuarter;
}

double TempoMap::SecondsAt(std::uint64_t tick) const {
    if (division_ <= 0) return 0;
    return static_cast<double>(static_cast<long double>(ScaledMicrosAt(tick)) / 1e6L / division_);
}

std::uint64_t TempoMap::WholeSecondsAt(std::uint64_t tick) const {
    if (division_ <= 0) return 0;
    return static_cast<std::uint64_t>(ScaledMicrosAt(tick) / (kMicrosPerSecond * static_cast<unsigned>(division_)));
}

std::uint64_t TempoMap::TickAt(double seconds) const {
    if (division_ <= 0 || !(seconds > 0)) return 0;
    const long double wanted = static_cast<long double>(seconds) * 1e6L * division_;
    // The segment in which the wanted time falls: the last change whose own time is not after it.
    const auto after = std::upper_bound(scaled_.begin(), scaled_.end(), wanted,
                                        [](long double w, unsigned __int128 s) { return w < static_cast<long double>(s); });
    const auto segment = static_cast<std::size_t>(after - scaled_.begin());
    std::uint64_t from = 0;
    std::uint32_t tempo = kDefaultMicrosPerQuarter;
    long double base = 0;
    if (segment > 0) {
        from = changes_[segment - 1].tick;
        tempo = changes_[segment - 1].microsPerQuarter;
        base = static_cast<long double>(scaled_[segment - 1]);
    }
    if (tempo == 0) return from;
    // A millionth of a tick of slack, so that a time computed from a tick gives that tick back.
    const long double ticks = std::ceil((wanted - base) / tempo - 1e-6L);
    return from + static_cast<std::uint64_t>(std::max<long double>(ticks, 0));
}

SongTempo SongTempo::Shared(TempoMap map) {
    SongTempo tempo;
    tempo.maps_.push_back(std::move(map));
    tempo.shared_ = true;
    return tempo;
}

SongTempo SongTempo::PerTrack(std::vector<TempoMap> maps) {
    SongTempo tempo;
    tempo.maps_ = std::move(maps);
    tempo.shared_ = false;
    return tempo;
}

const TempoMap& SongTempo::Of(std::size_t track) const {
    if (shared_) return maps_.empty() ? empty_ : maps_.front();
    return track < maps_.size() ? maps_[track] : empty_;
}

}  // namespace sonivex
