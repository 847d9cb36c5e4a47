#include "track_mix.h"

#include "app/session.h"
#include "playback/media.h"

namespace sonivex {

namespace {

void SetFlag(Session& s, std::vector<bool>& flags, int track, bool on) {
    if (track < 0 || track >= s.song.TracksFound) return;
    const auto at = static_cast<std::size_t>(track);
    if (flags.size() <= at) flags.resize(at + 1, false);
    flags[at] = on;
    UpdateSilencedTracks(s);
    MediaSilence(s.media, kMediaAlias);
}

}  // namespace

SilencedTracks TrackMix::Silenced(int trackCount) const {
    bool anySolo = false;
    for (int track = 0; track < trackCount; ++track) anySolo = anySolo || Soloed(track);
    std::vector<std::int32_t> silent;
    for (int track = 0; track < trackCount; ++track) {
        if (Muted(track) || (anySolo && !Soloed(track))) silent.push_back(track);
    }
    return SilencedTracks(std::move(silent));
}

void MuteTrack(Session& s, int track, bool muted) { SetFlag(s, s.mix.muted, track, muted); }

void SoloTrack(Session& s, int track, bool soloed) { SetFlag(s, s.mix.soloed, track, soloed); }

void UpdateSilencedTracks(Session& s) { s.media.Silenced = s.mix.Silenced(s.song.TracksFound); }

void ClearTrackMix(Session& s) {
    s.mix = TrackMix{};
    s.media.Silenced = SilencedTracks{};
}

}  // namespace sonivex
