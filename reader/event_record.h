// One decoded event of a track, as the parser records it and the listing, the effects and the writer read it.
#pragma once

#include <array>
#include <cstdint>

// The drum channel and its rule (kDrumChannel, IsDrumNoteStatus) are the song-wide ones.
#include "midi/drums.h"

namespace sonivex {

// What kind of row a record is, for the rows whose kind matters to a reader.
enum class RowKind : std::int32_t {
    Unwritten = 0,     // a record that no parse has written: every field reads 0
    Other = -1,        // meta, system-exclusive and pressure rows
    DrumProgram = -2,  // a program change on channel 10
    Note = -3,         // Note On or Note Off
    Program = -4,      // a program change on any other channel
    Controller = -5,
    PitchBend = -10,
};

// A field that holds no value: a reader neither lists it nor writes it.
inline constexpr std::int32_t kAbsent = -1;
// Status of a text row (Text, Lyric or Marker); such a row also carries kTextMarker.
inline constexpr std::int32_t kTextStatus = -1;
// TextMark of a text row, which the writer copies back as the event's own bytes.
inline constexpr std::int32_t kTextMarker = -2;
// Status of a Set Tempo row and of a Time Signature row (their meta types).
inline constexpr std::int32_t kTempoRow = 81;
inline constexpr std::int32_t kTimeSignatureRow = 88;
// Status of a system-exclusive row.
inline constexpr std::int32_t kSysexRow = 240;
inline constexpr std::int32_t kSysexContinuationRow = 247;
// A program change on the drum channel: it chooses a drum kit.
inline constexpr int kDrumProgramStatus = 0xC0 | kDrumChannel;

// NoteState of a note row.
inline constexpr std::int32_t kNoteSounds = 1;
inline constexpr std::int32_t kNoteSilent = 0;

struct EventRecord {
    // The status byte; its negation for a running-status repeat whose status byte was not in the file.
    std::int32_t Status = kAbsent;
    std::int32_t Data1 = kAbsent;  // first data byte (beats per minute of a tempo row, numerator of a time signature)
    std::int32_t Data2 = kAbsent;  // second data byte (the denominator of a time signature as a plain number)
    std::int32_t Delta = kAbsent;  // the delta time after the event
    RowKind Kind = RowKind::Other;
    std::int32_t TextMark = kAbsent;
    std::int32_t NoteState = kAbsent;  // kNoteSounds, kNoteSilent, or kAbsent for rows that are no notes

    bool operator==(const EventRecord&) const = default;

    // A record that no parse wrote (every field 0).
    static constexpr EventRecord Unwritten() { return {0, 0, 0, 0, RowKind::Unwritten, 0, 0}; }

    bool IsNote() const { return Kind == RowKind::Note; }
    bool IsText() const { return TextMark == kTextMarker; }

    // The seven numbers in the order the record is laid out as text.
    std::array<std::int32_t, 7> Fields() const {
        return {Status, Data1, Data2, Delta, static_cast<std::int32_t>(Kind), TextMark, NoteState};
    }
    static EventRecord FromFields(const std::array<std::int32_t, 7>& f) {
        return {f[0], f[1], f[2], f[3], static_cast<RowKind>(f[4]), f[5], f[6]};
    }
};

}  // namespace sonivex
