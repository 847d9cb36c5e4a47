// The editing commands' session: the report's session with the settings of the effect being applied.
#pragma once

#include <optional>
#include <string>

#include "report/report_session.h"

namespace sonivex {

// The effects of the Effects list, in the order the list shows them; every entry of effects1.dat, which the
// list shows after the fixed effects, is a TransferCurve. The table of effects.cpp says what each one needs.
enum class Effect {
    Random,             // exchanges keys at random, or moves each velocity by a random amount
    GraduallyIncrease,  // raises keys or velocities by more the later they come in the track
    Decrease,           // lowers keys or velocities by the step
    GraduallyDecrease,  // lowers keys or velocities by more the later they come in the track
    Increase,           // raises keys or velocities by the step
    RemoveFlats,        // moves every black key down to the white key below it
    KeySignature,       // alters the keys that the chosen key signature alters
    MinorMelodic,       // moves the keys 1, 4 and 6 semitones above the root by a semitone
    MinorHarmonic,      // the same, and the keys 9 and 10 above the root down and up by a semitone
    MajorScale,         // "Effect#1": moves the keys outside the root's major scale onto it
    BlueNotes,          // "Effect#2": the second up to the minor third, the fourth to the flat fifth (from a
                        // black fourth down to the third), the minor second down to the root
    TransferCurve,      // maps keys or velocities through a curve of effects1.dat
};

// Whether an effect changes the notes' keys or their velocities.
enum class EffectTarget { Notes, Volume };
// Which note records an effect may change.
enum class Selection {
    All,            // every note record
    SoundingNotes,  // Note Ons with a velocity above 0 only
};
// The clef that a key signature effect reads the scale for.
enum class Clef { None, Treble, Bass };

// The effect settings that the Effects frame's "Apply" prepares and the transformation reads.
struct EffectState {
    Effect ChosenEffect = Effect::Random;
    Int16 ValueColumn;
    EffectTarget NoteOrVolume = EffectTarget::Notes;
    Selection SelectMode = Selection::All;
    bool AllowZero = true;  // a change may leave a value below 1
    Int16 StepFactor;
    std::optional<std::int32_t> TargetValue;  // the one value that changes; none: every value
    Table<Int16, 0, 1024> ValueMap;
    Int16 KeyNumber;
    Int16 KeyLastIndex;
    Int16 KeyAlteration;
    Table<Int16, 0, 6> ScaleNotes;
    Clef ClefChoice = Clef::None;
};

// The style's drum substitution: the key each drum key becomes.
using DrumNoteMap = Table<Int16, 0, 127>;

struct EditSession : ReportSession {
    using ReportSession::ReportSession;

    EffectState effects;
    DrumNoteMap drumNoteMap;  // of the style being applied
};

}  // namespace sonivex
