// The media channel: the only place that builds media command strings. One operation per command; each
// stores the command in LastMediaCommand and its result in LastMediaError. Failures are silent.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "reader/session.h"

namespace sonivex {

inline constexpr const char* kMediaAlias = "VAVidev1";

// Opens the file for playback under the alias. The command names the file by its form without blanks (see
// ShortPath; a link goes into the session's work folder); the caller's path is left as it is, so the song
// model, the report and every message keep the user's path.
void MediaOpen(Session& s, const std::string& path, const std::string& alias);

// Closes the alias; Playing becomes 0 on success. A link made by MediaOpen is removed.
void MediaClose(Session& s, const std::string& alias);

void MediaPause(Session& s, const std::string& alias);

// Plays from `from` to `to`, a number or "TheEnd" (the length, asked for first); Playing becomes -1 on
// success.
void MediaPlay(Session& s, const std::string& alias, std::int64_t from, const std::string& to);

// Stops; Playing becomes 0 on success.
void MediaStop(Session& s, const std::string& alias);

// Places the device's window; a width or height of 0 means the media frame's.
void MediaPlaceWindow(Session& s, const std::string& alias, int x, int y, int width, int height);

// The length in frames after switching the time format to frames; -1 when the query fails.
std::int32_t MediaLength(Session& s, const std::string& alias);

// The position in frames; -1 when the query fails.
std::int32_t MediaPosition(Session& s, const std::string& alias);

// The back-end's text for an error code.
std::string MediaErrorText(Session& s, int code);

// A form of an existing file's path without blanks that names the same file: the path itself when it has
// none; otherwise a new link in `linkFolder` named from a hash of the path. The path itself again when the
// link cannot be made or its own path holds a blank.
std::string ShortPath(const std::string& path, const std::filesystem::path& linkFolder);

// Sends a command to the back-end without touching LastMediaCommand or LastMediaError (the playback poll's
// mode query). Returns the back-end's result; the reply is cut at its first NUL character.
int MediaQuery(Session& s, const std::string& command, std::string& reply);

}  // namespace sonivex
