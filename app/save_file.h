// Saving a copy of a file under the user's chosen name, so that nothing at that name is lost or let in: the
// copy is written whole to a scratch file of this process's own beside the target and renamed into place.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace sonivex {

// Writes a copy of `from` at `target`. A link of this user's at `target` stays: the file it leads to is
// written; another user's link there is refused. A file that is
// replaced keeps its permission bits (and its group, where this process may set it); a new file gets those the
// umask allows. The copy goes to a hidden scratch file beside the file written, ".NAME.PID-RANDOM.sonivex-saving",
// made new and exclusively, and is renamed over it once it is whole and on the disk, so the file written is
// either as it was or the whole copy. Scratch files that saves of processes no longer running left in that
// folder (this user's own) are removed first. Nothing when it was saved, else the reason for a message.
std::optional<std::string> SaveCopy(const std::filesystem::path& from, const std::filesystem::path& target);

// Removes the scratch files in `folder` whose process no longer runs, this user's own only: a save's, an audio
// export's or a picture's (".NAME.PID-RANDOM.part") and the working copy's ("dffhedc.PID-RANDOM"). Returns
// how many it removed.
int RemoveLeftoverScratches(const std::filesystem::path& folder);

}  // namespace sonivex
