// What the command interpreter needs of a player: one MIDI file, played between two tick positions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "playback/silenced_tracks.h"

namespace sonivex {

class Player {
public:
    virtual ~Player() = default;

    // Loads a MIDI file and leaves the player stopped at tick 0. False when the file cannot be read or is not
    // a MIDI file; the player then holds no song.
    virtual bool Open(const std::string& path) = 0;

    // Starts playing at `fromTick` and stops by itself on reaching `toTick`. Playing while already playing
    // starts again at `fromTick`. The caller keeps 0 <= fromTick <= toTick <= LengthTicks().
    virtual void Play(std::int64_t fromTick, std::int64_t toTick) = 0;

    // Holds the position while playing; Mode() becomes "paused". Does nothing unless playing.
    virtual void Pause() = 0;

    // Ends playing or pausing; the position stays where it was.
    virtual void Stop() = 0;

    // Moves the position to `tick` (clamped to the song): playing goes on from there, paused or stopped stays so at it.
    virtual void Seek(std::int64_t tick) = 0;

    // The position in MIDI ticks: advancing while playing, held otherwise.
    virtual std::int64_t PositionTicks() const = 0;

    // The tick of the song's last event (its latest end of track); 0 without a song.
    virtual std::int64_t LengthTicks() const = 0;

    // "playing", "paused" or "stopped". Reaching the stop position counts as stopped.
    virtual std::string Mode() const = 0;

    // Leaves the notes of `tracks` unplayed from now on, also while playing (a note that sounds already ends at
    // its own note-off); an empty set plays every track. Opening a song keeps the set.
    virtual void Silence(const SilencedTracks& tracks) = 0;
};

// Makes a new player for each alias opened; may return nullptr when no player can be made.
using PlayerFactory = std::function<std::unique_ptr<Player>()>;

}  // namespace sonivex
