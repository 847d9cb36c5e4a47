// The editing commands' session: the report's session with the settings of the effect being applied.
#pragma once

#include <string>

#include "report/report_session.h"

namespace sonivex {

// The effect settings that the Effects frame's "Apply" prepares and the transformation reads.
struct EffectState {
    Int16 EffectCode;
    Int16 EffectKind;
    Int16 ValueColumn;
    std::string NoteOrVolume;
    std::string SelectMode;
    std::string AllowZero;
    Int16 StepFactor;
    Int32 TargetValue;
    Table<Int16, 0, 1024> ValueMap;
    Int16 KeyNumber;
    Int16 KeyLastIndex;
    Int16 KeyAlteration;
    Table<Int16, 0, 6> ScaleNotes;
    std::string ClefChoice;
};

struct EditSession : ReportSession {
    using ReportSession::ReportSession;

    EffectState effects;
};

}  // namespace sonivex
