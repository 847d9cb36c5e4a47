// The editing commands' session: the report's session with the settings of the effect being applied.
#pragma once

#include <string>

#include "report/report_session.h"

namespace sonivex {

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
    Int16 EffectCode;
    Int16 EffectKind;
    Int16 ValueColumn;
    EffectTarget NoteOrVolume = EffectTarget::Notes;
    Selection SelectMode = Selection::All;
    bool AllowZero = true;  // a change may leave a value below 1
    Int16 StepFactor;
    Int32 TargetValue;
    Table<Int16, 0, 1024> ValueMap;
    Int16 KeyNumber;
    Int16 KeyLastIndex;
    Int16 KeyAlteration;
    Table<Int16, 0, 6> ScaleNotes;
    Clef ClefChoice = Clef::None;
};

struct EditSession : ReportSession {
    using ReportSession::ReportSession;

    EffectState effects;
};

}  // namespace sonivex
