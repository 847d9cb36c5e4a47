// The MIDI file writer: rebuilds tracks of the working copy from their event records, or appends a copy of one
// as a new last track.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "edit/edit_session.h"
#include "edit/rewrite_mode.h"
#include "edit/song_patch.h"
#include "reader/load.h"

namespace sonivex {

inline constexpr int kDrumProgram = 117;

// A rewrite of the working copy in one pass: tracks rebuilt one after another into a new working copy, which
// replaces the old one once, at Finish. The working copy is held in memory while the rewrite lives, and its
// tracks are decoded from there; positions and track starts stay those of the working copy until Finish.
class SongRewrite {
public:
    explicit SongRewrite(EditSession& s);
    SongRewrite(const SongRewrite&) = delete;
    SongRewrite& operator=(const SongRewrite&) = delete;

    // Rebuilds track CurrentTrack from the records that ParseTrack has just made, as `mode` says;
    // tracks come in ascending order, each at most once. Bytes before the track's first recorded event and
    // all other tracks are copied unchanged; meta and system-exclusive events keep their own bytes. With
    // ChunkMessages::Show, the messages follow that a walk over the track chunks of the song rebuilt so far
    // would show (those of the working copy's walk but for the tracks rebuilt, which end with End of Track).
    // Shows "No free channel" or "Too many tracks" and rebuilds nothing when it cannot, and returns whether
    // it rebuilt the track.
    bool RebuildTrack(RewriteMode mode, ChunkMessages messages);

    // Copies what follows the last rebuilt track and puts the new song in the working copy's place, then walks
    // its track chunks (showing their messages as `messages` says). Nothing happens when no track was
    // rebuilt; a file that cannot be read or written is named in a message and the working copy stays as it
    // was. Called once; the rewrite holds nothing afterwards.
    void Finish(ChunkMessages messages);

private:
    EditSession& session_;
    std::optional<WorkingCopyHeld> held_;
    std::span<const std::uint8_t> file_;            // the working copy being rewritten
    std::array<std::uint8_t, 14> header_{};          // the new header chunk, written first
    std::optional<NewWorkingCopy> out_;              // made at the first rebuild
    std::int64_t copied_ = 14;                       // the 1-based source position the new copy has reached
    std::optional<std::int64_t> tracksAfterCopy_;    // the header's new track count when a track was copied
    std::vector<ChunkFinding> findings_;             // of the walk over the working copy's track chunks
    std::vector<bool> rebuilt_;                      // by track number
    std::string track_;                              // the track being rebuilt, from its chunk header on
};

// Rebuilds track CurrentTrack alone, as one rewrite: the working copy is replaced and its track chunks walked,
// with their messages.
void RewriteTrack(EditSession& s, RewriteMode mode);

// Runs `work` with a rewrite of the working copy whose tracks it rebuilds (each with ChunkMessages::Show), and
// finishes the rewrite, also when `work` ends in an error: the tracks rebuilt until then stay rebuilt, and the
// error goes on to the caller.
void RewriteTracks(EditSession& s, const std::function<void(SongRewrite&)>& work);

// The channel for a copied or switched track: the first channel that no track uses and that suits `mode`; none
// when there is none.
std::optional<int> ChooseNewChannel(const SongModel& m, RewriteMode mode);

// A delta time as a variable-length number: one to three bytes below 2,097,152 ticks, four above.
std::string DeltaBytes(std::int64_t ticks);

// The working copy with `patch` applied, written whole to a new working copy that replaces the old one; then its
// track chunks are walked again (their messages skipped: the walk at the load showed them). Returns false, the
// working copy as it was, when it cannot be read or written (a message names the file), or when an insertion
// would make a chunk longer than its length field can say (a message says so).
bool WritePatchedSong(EditSession& s, const SongPatch& patch);

}  // namespace sonivex
