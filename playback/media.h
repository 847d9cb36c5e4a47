// The media channel: the only place that builds media command strings. One operation per command; each
// stores the command in LastMediaCommand and its result in LastMediaError. Failures are silent.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "playback/audio_export.h"
#include "playback/media_interface.h"
#include "playback/silenced_tracks.h"

namespace sonivex {

inline constexpr const char* kMediaAlias = "VAVidev1";

// The device's answer to "Status ALIAS mode" once playing has ended.
inline constexpr const char* kStoppedMode = "stopped";

// The media channel's state: the device alias's parent window, the last command and its result, and whether a
// play command is running.
struct MediaState {
    std::intptr_t MediaWindow = 0;
    std::int32_t LastMediaError = 0;
    std::string LastMediaCommand;
    bool Playing = false;
    MediaInterface* Device = nullptr;  // the back-end that performs the commands; none fails every command
    AudioExporter* Exporter = nullptr;  // renders the song to a sound file; none makes export unavailable
    std::string MediaLink;  // a link made for the open file (its path without blanks); removed by Close
    // The tracks that playback and audio export leave silent (mute and solo); every open sends them again.
    SilencedTracks Silenced;
};

// Opens the file for playback under the alias. The command names the file by its form without blanks (see
// ShortPath; a link goes into `linkFolder`); the caller's path is left as it is, so the song
// model, the report and every message keep the user's path. When tracks are silenced, the opened song is told
// so at once (MediaSilence), so that an edit's reopening keeps them silent.
void MediaOpen(MediaState& media, const std::string& path, const std::string& alias,
               const std::filesystem::path& linkFolder);

// Tells the player of the alias which tracks to leave silent (`media.Silenced`), from now on, while it plays
// too: "Set ALIAS silence N ...", the tracks counted from 1 as the track list shows them; "Set ALIAS silence"
// when every track sounds.
void MediaSilence(MediaState& media, const std::string& alias);

// Closes the alias; Playing becomes false on success. A link made by MediaOpen is removed.
void MediaClose(MediaState& media, const std::string& alias);

void MediaPause(MediaState& media, const std::string& alias);

// Where a play command stops when it is given no frame: the end of the song, its length asked for first.
inline constexpr std::nullopt_t kToTheEnd = std::nullopt;

// Plays from frame `from` to frame `to`, or to the end (kToTheEnd); Playing becomes true on success.
void MediaPlay(MediaState& media, const std::string& alias, std::int64_t from, std::optional<std::int64_t> to);

// Stops; Playing becomes false on success.
void MediaStop(MediaState& media, const std::string& alias);

// Moves the position to frame `to`: playing goes on from there, paused or stopped stays so at it.
void MediaSeek(MediaState& media, const std::string& alias, std::int64_t to);

// Places the device's window.
void MediaPlaceWindow(MediaState& media, const std::string& alias, int x, int y, int width, int height);

// The length in frames after switching the time format to frames; -1 when the query fails.
std::int32_t MediaLength(MediaState& media, const std::string& alias);

// The position in frames; -1 when the query fails.
std::int32_t MediaPosition(MediaState& media, const std::string& alias);

// The back-end's text for an error code.
std::string MediaErrorText(MediaState& media, int code);

// A form of an existing file's path without blanks that names the same file: the path itself when it has
// none; otherwise a new link in `linkFolder` named from a hash of the path. The path itself again when the
// link cannot be made or its own path holds a blank.
std::string ShortPath(const std::string& path, const std::filesystem::path& linkFolder);

// Sends a command to the back-end without touching LastMediaCommand or LastMediaError (the playback poll's
// mode query). Returns the back-end's result; the reply is cut at its first NUL character.
int MediaQuery(MediaState& media, const std::string& command, std::string& reply);

}  // namespace sonivex
