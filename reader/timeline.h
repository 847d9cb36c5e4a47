// A plain decoder of a Standard MIDI File's bytes into timed notes, the tempo map and the signatures, for exact
// playing times and for drawing. It shares nothing with the session and never throws on damaged input: it reads
// the events as the player plays them (midi/track_events.h) and times them by the same tempo maps
// (midi/song_tempo.h), so what is drawn and measured is what plays.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "midi/tempo_map.h"

namespace sonivex {

// One note: a note-on with velocity above 0 and the note-off (or note-on with velocity 0) that ends it.
struct TimedNote {
    std::int32_t track;        // 0-based index of the track chunk
    std::uint8_t channel;      // 0..15
    std::uint8_t key;          // 0..127
    std::uint8_t velocity;     // of the note-on, 1..127
    std::uint32_t startTick;   // absolute ticks from the track's start
    std::uint32_t endTick;     // the matching note-off; a note never ended ends at its track's last tick
    std::uint32_t order;       // position of its note-on among the track's events (0-based), to match notes across edits
};

struct TempoChange {
    std::uint32_t tick;
    std::uint32_t microsPerQuarter;
    std::int32_t track;
};

struct TimeSignatureMark {
    std::uint32_t tick;
    int numerator;
    int denominator;  // 4 for x/4; 0 when the power byte is too large to give a number
    std::int32_t track;
};

struct KeySignatureMark {
    std::uint32_t tick;
    int sharpsFlats;  // -7..7 in a well-formed file, as the signed byte reads
    bool minor;
    std::int32_t track;
};

struct ProgramMark {
    std::uint32_t tick;
    std::uint8_t channel;  // 0..15
    std::uint8_t program;  // 0..127, as the file stores it
    std::int32_t track;
};

struct TrackSummary {
    std::string name;                    // first track-name meta event, bytes as read
    std::vector<int> channels;           // channels used by channel events, ascending
    std::vector<int> programs;           // program numbers (0..127) of program changes, in order of appearance
    std::uint32_t eventCount = 0;        // events read (channel, meta, sysex)
    std::uint32_t noteCount = 0;         // note-ons with velocity > 0
    std::uint32_t lastTick = 0;          // absolute tick of the track's last event
    double seconds = 0;                  // the track's playing time up to its last event
    bool drums = false;                  // a note-on or note-off on the drum channel (midi/drums.h)
    std::optional<std::uint8_t> lowestKey;   // of the note-ons above, none without any
    std::optional<std::uint8_t> highestKey;
};

// Whether a reading lists the song's notes (the roll and the player need them; the facts of a batch need only
// the tracks' counts and key ranges, and skip the work of pairing every note-on with its note-off).
enum class TimelineNotes { List, Skip };

struct Timeline {
    int format = 0;    // 0, 1, 2 from the header
    int division = 0;  // ticks per quarter; 0 for time-code divisions, which have no bars (their times count frames)
    std::vector<TrackSummary> tracks;
    // The Set Tempo events that time the song (a tempo of 0 is passed over), sorted by tick, stable by track
    // order. Format 0 and 1: one map for all tracks. Format 2: each track's own changes, tagged by track, which
    // apply to that track only. A time-code division lists them but counts frames instead.
    std::vector<TempoChange> tempos;
    SongTempo tempo;  // the maps that turn the ticks into seconds
    std::vector<TimeSignatureMark> timeSignatures;  // sorted by tick, stable by track order
    std::vector<KeySignatureMark> keySignatures;    // sorted by tick, stable by track order
    std::vector<TimedNote> notes;                   // sorted by (track, startTick, order)
    std::vector<ProgramMark> programChanges;        // listed with the notes: sorted by tick, stable by track order
    double durationSeconds = 0;  // up to the last event of any track (format 2: the longest track)

    // Seconds at an absolute tick of a track: format 0 and 1 use the merged tempo map (the track is ignored),
    // format 2 that track's own. 500000 microseconds per quarter hold until the first change.
    double SecondsAt(std::uint32_t tick, std::int32_t track = 0) const;
    // The map that times a track; in format 2 a track that is not there gets one in which every time is 0.
    const TempoMap& MapOf(std::int32_t track) const;
};

// Decodes the bytes of a whole file. Bytes that do not start with an MThd chunk give an empty timeline (no
// tracks); chunks other than MTrk are skipped; a header that declares fewer tracks than the file holds is
// believed. A track ends at its end-of-track event, its chunk's end or the first event cut off.
Timeline ReadTimeline(std::span<const std::uint8_t> bytes, TimelineNotes notes = TimelineNotes::List);

}  // namespace sonivex
