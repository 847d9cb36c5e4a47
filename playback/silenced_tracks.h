// The tracks that playback and audio export leave silent (the window's mute and solo): their notes are not
// played, while their controllers, programs and system exclusive messages still are, so that the other tracks
// sound as they do in the whole song. A choice of the listener, never part of the song or its file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace sonivex {

class SilencedTracks {
public:
    SilencedTracks() = default;
    // The tracks by 0-based index of their track chunk, in any order; repeats and negative indexes are dropped.
    explicit SilencedTracks(std::vector<std::int32_t> tracks) : tracks_(std::move(tracks)) {
        std::erase_if(tracks_, [](std::int32_t t) { return t < 0; });
        std::sort(tracks_.begin(), tracks_.end());
        tracks_.erase(std::unique(tracks_.begin(), tracks_.end()), tracks_.end());
    }

    bool Contains(std::int32_t track) const { return std::binary_search(tracks_.begin(), tracks_.end(), track); }
    bool Empty() const { return tracks_.empty(); }
    // Ascending, 0-based.
    const std::vector<std::int32_t>& Tracks() const { return tracks_; }

    bool operator==(const SilencedTracks&) const = default;

private:
    std::vector<std::int32_t> tracks_;
};

}  // namespace sonivex
