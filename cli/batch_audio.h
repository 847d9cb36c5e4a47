// The audio files of a batch run that renders (--render-to DIR): where each song's file goes, the folders
// made for them, and one long-running render process (sonivex-cli-extras render-many) for each worker, which
// loads the SoundFont once for all the worker's songs.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/extras.h"
#include "cli/json_report.h"
#include "reader/files.h"

namespace sonivex {

// The audio formats that --audio-format names, as the extension of their files (".wav"); nothing for any
// other name.
std::optional<std::string> AudioExtensionOf(const std::string& format);

// The audio file of each song of `songs`, relative to the output folder: the song's path below the folder
// that all the songs share, with the extension `extension` in place of its own. Songs of one folder whose
// names differ only in their extension ("a.mid", "a.kar") keep theirs before the new one ("a.mid.wav",
// "a.kar.wav"), so no two songs share a file. The same list gives the same files, whatever the order.
std::vector<std::filesystem::path> AudioTargets(const std::vector<std::string>& songs, const std::string& extension);

// Makes the folders of `relative` (a path without "..") below the existing folder `root`, one by one and never
// through a symbolic link: a link or a file in the way fails. Folders that exist are fine. False, with the
// reason in `problem`, when one cannot be made.
bool MakeFoldersBelow(const std::filesystem::path& root, const std::filesystem::path& relative,
                      std::string& problem);

// Removes, anywhere below `root` (links are not followed), every scratch file that an export killed before
// its end left beside its target (AudioExportScratchName). Returns how many were removed. Only safe while the
// folder is locked (LockFolder): no export of a run that is alive writes there.
std::size_t RemoveLeftoverScratch(const std::filesystem::path& root);

// Locks the folder `folder` against every other run that renders into it, without waiting: the lock is held
// as long as the descriptor is open. Nothing when another run holds it (`inUse`) or it cannot be opened.
std::optional<FileDescriptor> LockFolder(const std::filesystem::path& folder, bool& inUse);

// One worker's render process: songs rendered one after the other by one program, which loads the SoundFont
// once. When the program dies, the song it rendered fails and the next one starts a new program.
class SongRenderer {
public:
    // Starts the program and waits until its SoundFont is loaded. Nothing, with the reason in `problem` (a
    // SoundFont that cannot be loaded is named), when it does not get there.
    static std::optional<SongRenderer> Start(const std::filesystem::path& program,
                                             const std::optional<std::filesystem::path>& soundFont, int threads,
                                             std::string& problem);

    // Renders `song` to `target` (whose folder exists), or finds it a whole sound file already and keeps it.
    // `shownTarget` is the file as the song's line names it. Never throws.
    AudioFacts Render(const std::string& song, const std::filesystem::path& target, const std::string& shownTarget);

    // True when the last Render kept a file that was there.
    bool Kept() const { return kept_; }

private:
    SongRenderer(std::filesystem::path program, std::vector<std::string> arguments, HelperSession session)
        : program_(std::move(program)), arguments_(std::move(arguments)), session_(std::move(session)) {}

    std::filesystem::path program_;
    std::vector<std::string> arguments_;
    std::optional<HelperSession> session_;  // none after the program died, until the next song
    bool kept_ = false;
};

}  // namespace sonivex
