#include "edit_commands.h"

namespace sonivex {

// The editing commands are not built yet: their buttons do nothing visible.
void ApplyStyle(Session&) {}
void ApplyEffect(Session&) {}

}  // namespace sonivex
