#include "edit_commands.h"

namespace sonivex {

// The editing commands are not built yet: their buttons do nothing visible.
void ApplyEffect(Session&) {}

}  // namespace sonivex
