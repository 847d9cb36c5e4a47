// The fixed name tables of keys, pitch classes, drum kits and controllers, filled once at start-up.
#pragma once

#include "reader/session.h"

namespace sonivex {

// Fills KeyNames, KeyAccidentals, NoteNames, DrumKitNames, ControllerNumbers and ControllerNames. Index 0 of
// every table stays empty; calling it again writes the same values.
void FillNameTables(NameTables& t);

}  // namespace sonivex
