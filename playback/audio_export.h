// The audio export channel: what the commands ask of a renderer that turns the working copy into a sound
// file. The FluidSynth player implements it (playback/player/audio_exporter.h); a build without the player
// has none, and the commands then say that export is unavailable.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "playback/silenced_tracks.h"

namespace sonivex {

enum class AudioFormat { Wav, Flac, Ogg };

// The format that a file name's extension names (.wav, .flac, .ogg, in any case); nothing for any other name.
std::optional<AudioFormat> AudioFormatOf(const std::filesystem::path& name);

// The name under which an export writes its target until the sound is whole, beside the target: "." and the
// target's file name, "." and a name part of the writing process's own, then ".part". Renamed to the target
// at the end, so a file under the target's name is always whole; one left under this name was cut off.
std::string AudioScratchName(std::string_view targetName, std::string_view ownPart);

// The own name part of such a scratch name; nothing for any other name.
std::optional<std::string_view> OwnPartOfAudioScratch(std::string_view name);

// Told how far an export has got, from 0 to 1; returns false to cancel it.
using ExportProgress = std::function<bool(double fraction)>;

enum class ExportStatus { Written, Cancelled, Failed };

struct ExportResult {
    ExportStatus status = ExportStatus::Failed;
    std::string problem;  // for Failed: what went wrong, to be shown after the target's name
    double seconds = 0;   // for Written: the length of the sound written
};

class AudioExporter {
public:
    virtual ~AudioExporter() = default;

    // Renders the MIDI file `song` to `target` in the format its extension names, 44.1 kHz stereo, without
    // the notes of the `silenced` tracks (as playback leaves them out). The target is written under a scratch
    // name beside it and renamed at the end, so a cancelled or failed export leaves no new file and an existing
    // target as it was. `progress` may be empty.
    virtual ExportResult Export(const std::filesystem::path& song, const std::filesystem::path& target,
                                const ExportProgress& progress, const SilencedTracks& silenced) = 0;
};

}  // namespace sonivex
