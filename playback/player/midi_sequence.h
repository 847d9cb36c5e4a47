// A MIDI file read for playing: its events in time order, and the clock that turns ticks into seconds.
#pragma once

#include <bitset>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "midi/tempo_map.h"

namespace sonivex {

// One message for the synthesizer, at its tick from the start of the song.
struct SequenceEvent {
    std::int64_t tick = 0;            // on the song's clock (format 2: the first track's ticks at that time)
    double seconds = 0;               // from the start of the song, by its track's tempo map
    std::int32_t track = 0;           // 0-based index of the track chunk
    std::uint8_t status = 0;          // a channel status byte (0x80 to 0xEF), or 0xF0 for system exclusive
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;           // 0 for the one-data-byte messages (program, channel pressure)
    std::vector<std::uint8_t> sysex;  // for 0xF0: the bytes between F0 and the closing F7
};

// A note-off, note-on or key pressure message.
bool IsNoteMessage(const SequenceEvent& e);
// A note-on of a velocity above 0.
bool StartsNote(const SequenceEvent& e);

// The indexes of the messages before `end` that leave a synthesizer as the song has it there, in the song's
// order: all of them but the notes, and but those whose state a later one of the same channel and kind
// replaces (a controller's value, the program, the channel pressure, the pitch bend). A play from the middle
// of a long song then sends a few hundred messages instead of every controller the song ever changed.
std::vector<std::size_t> SetUpMessages(const std::vector<SequenceEvent>& events, std::size_t end);

class MidiSequence {
public:
    // Reads Standard MIDI File bytes as the timeline reads them (midi/track_events.h): the header's number of
    // MTrk chunks, other chunks skipped, system common and real-time bytes passed over. Nothing when the bytes
    // do not start with a header chunk or its time division is 0. A track that breaks off (cut short, or a
    // data byte with no status to run on) keeps the events before the break.
    static std::optional<MidiSequence> Parse(const std::vector<std::uint8_t>& bytes);

    // Parse() on a file's contents; nothing when the file cannot be read either.
    static std::optional<MidiSequence> Read(const std::filesystem::path& path);

    // The channel and system exclusive messages of all tracks, by time; messages of one time keep their
    // order, track by track.
    const std::vector<SequenceEvent>& Events() const { return events_; }

    // The tick of the latest track end: the end-of-track event, or the last event of a track without one
    // (format 2: the clock's first tick at or after the latest end).
    std::int64_t LengthTicks() const { return length_; }
    // The time of the latest track end, each track timed by its own map: the song's length.
    double LengthSeconds() const { return lengthSeconds_; }

    // The notes of a channel's key: bit channel * 128 + key.
    using KeySet = std::bitset<16 * 128>;

    // The same song with only the note messages (note-off, note-on, key pressure) of the keys that `keep`
    // marks, and every other message; its length and clock stay as they were.
    MidiSequence WithNotesOf(const KeySet& keep) const;

    // The time from the start of the song to a tick of its clock: the tempo map of every track (format 2: of
    // the first track; a time-code division counts frames).
    double SecondsAt(std::int64_t tick) const;

    // The last tick reached at a time (0 before the start); the inverse of SecondsAt on whole ticks.
    std::int64_t TickAt(double seconds) const;

private:
    std::vector<SequenceEvent> events_;
    TempoMap clock_;
    std::int64_t length_ = 0;
    double lengthSeconds_ = 0;
};

}  // namespace sonivex
