// Mute and solo of the window's track list: which tracks the listener hears. They act on playback and on the
// audio export at once ("what you hear is what you export"); they are no edit and never part of the song.
#pragma once

#include <vector>

#include "playback/silenced_tracks.h"

namespace sonivex {

struct Session;

// Each track's mute and solo, by 0-based track index; a track beyond a list's end is neither.
struct TrackMix {
    std::vector<bool> muted;
    std::vector<bool> soloed;

    bool Muted(int track) const { return Flag(muted, track); }
    bool Soloed(int track) const { return Flag(soloed, track); }
    // The tracks of a song of `trackCount` tracks that do not sound: the muted ones, and while any track is
    // soloed, every track that is not.
    SilencedTracks Silenced(int trackCount) const;

private:
    static bool Flag(const std::vector<bool>& flags, int track) {
        return track >= 0 && static_cast<std::size_t>(track) < flags.size() && flags[static_cast<std::size_t>(track)];
    }
};

// Mutes or unmutes track `track` (0-based) of the song open now, or solos it or takes its solo away; the
// player hears of it at once, the next export too. A track outside the song changes nothing.
void MuteTrack(Session& s, int track, bool muted);
void SoloTrack(Session& s, int track, bool soloed);

// Gives the media channel the silenced tracks of the session's mix for the song as it now stands (an edit may
// have added a track, which a solo leaves silent).
void UpdateSilencedTracks(Session& s);

// Every track sounds again: Open of another song starts with no mute and no solo.
void ClearTrackMix(Session& s);

}  // namespace sonivex
