// What a MIDI port receives of a song, and when: the MidiSequence's messages at their own times on a clock
// that the caller reads and passes in, in seconds (a steady clock for playing, a made-up one for tests).
//
// Holds no thread and no lock: PortPlayer serialises the calls. Every message goes to the MidiOutput passed to
// the call that sends it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "playback/player/midi_sequence.h"
#include "playback/player/port_output.h"
#include "playback/silenced_tracks.h"

namespace sonivex {

class PortSequencer {
public:
    enum class State { kStopped, kPlaying, kPaused };

    // Replaces the song, stopped at tick 0. The previous song's channels are released first (Release).
    void Load(MidiSequence sequence, MidiOutput& out);

    // Plays from `fromTick` until `toTick`, both clamped to the song, starting at time `now`. Sounding notes are
    // released first; then every message before `fromTick` but the notes is sent, so that the receiver's
    // programs and controllers stand as they would had it played from the start. Notes that begin at `toTick`
    // are not started.
    void Start(std::int64_t fromTick, std::int64_t toTick, double now, MidiOutput& out);

    // Holds the position and releases the notes; only while playing.
    void Pause(double now, MidiOutput& out);

    // Ends playing or pausing at the current position, and releases the notes.
    void Stop(double now, MidiOutput& out);

    // Moves the position to `tick`, clamped to the song. While playing, the play goes on from there to its stop
    // tick (to the song's end when `tick` lies past it), as Start does; otherwise only the position moves.
    void Seek(std::int64_t tick, double now, MidiOutput& out);

    // Ends playing at once, sending nothing: for an output that no longer works.
    void Halt(double now);

    // Sends every message whose time has come by `now`; on reaching the stop tick, playing ends and the notes
    // are released. A message the output refuses halts the play (Halt).
    void SendDue(double now, MidiOutput& out);

    // When SendDue next has something to do: the next message's time or the end of the play; nothing unless
    // playing.
    std::optional<double> NextTime() const;

    // All Notes Off (controller 123) and Reset All Controllers (121) on every channel the song uses, unless
    // nothing was sent since the last release.
    void Release(MidiOutput& out);

    // Starts no note of `tracks` from now on; their other messages and note-offs are still sent.
    void Silence(SilencedTracks tracks) { silenced_ = std::move(tracks); }

    State GetState() const { return state_; }
    std::int64_t PositionTicks(double now) const;
    std::int64_t LengthTicks() const { return sequence_.LengthTicks(); }
    // The channels the song's messages use, ascending (0 to 15).
    const std::vector<int>& Channels() const { return channels_; }

private:
    double TimeOf(const SequenceEvent& e) const { return startTime_ + (e.seconds - startSeconds_); }
    bool Send(const SequenceEvent& e, MidiOutput& out);
    void End(std::int64_t position, MidiOutput& out);

    MidiSequence sequence_;
    std::vector<int> channels_;
    SilencedTracks silenced_;
    bool sentSinceRelease_ = false;

    State state_ = State::kStopped;
    std::int64_t position_ = 0;  // the position while not playing

    // The current play: the next message, its range, and when on the caller's clock the song time
    // `startSeconds_` is.
    std::size_t next_ = 0;
    std::int64_t fromTick_ = 0;
    std::int64_t toTick_ = 0;
    double startTime_ = 0;
    double startSeconds_ = 0;
    double stopTime_ = 0;
};

// The bytes on the wire for a sequence event: a channel message of 2 or 3 bytes, or F0, its body and F7.
std::vector<std::uint8_t> WireBytes(const SequenceEvent& e);

}  // namespace sonivex
