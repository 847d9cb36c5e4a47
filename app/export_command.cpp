#include "export_command.h"

#include <filesystem>
#include <system_error>

#include "reader/files.h"

namespace sonivex {

namespace {

bool HasSong(const Session& s) {
    return s.song.FileValid && !s.song.TempFileName.empty() && FileExists(s.WorkFile(s.song.TempFileName));
}

std::string CurrentFolder() {
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}

// The folder of the song open now (the file last saved, after a save), or the current folder.
std::string SongFolder(const Session& s) {
    const std::filesystem::path song = s.form.SongPath.empty() ? s.song.SourcePath : s.form.SongPath;
    return song.has_parent_path() ? song.parent_path().string() : CurrentFolder();
}

}  // namespace

void ExportAudioCommand(Session& s) {
    if (!HasSong(s)) return;
    const std::string offered = std::filesystem::path(s.song.SourcePath).stem().string() + ".wav";
    // The dialog starts beside the song, with the song's name.
    // The dialog adds ".wav" to a name typed without an extension.
    const std::string target =
        s.app.ChooseFile({.title = "Export audio", .filter = kAudioFilter, .initialFolder = SongFolder(s),
                               .initialName = offered, .save = true, .defaultExtension = ".wav"});
    if (target.empty()) return;
    if (AudioFormatOf(target) && FileExists(target)) {
        const Answer answer = s.platform.ShowMessage(target + " already exists, overwrite?", Buttons::YesNo,
                                                     Icon::Question, "Confirmation");
        if (answer != Answer::Yes) return;
    }
    ExportAudio(s, target);
}

ExportStatus ExportAudio(Session& s, const std::string& target) {
    if (!HasSong(s)) {
        s.Message("There is no song to export", Icon::Warning);
        return ExportStatus::Failed;
    }
    if (s.media.Exporter == nullptr) {
        s.Message("Audio export is not available in this build", Icon::Warning);
        return ExportStatus::Failed;
    }
    if (!AudioFormatOf(target)) {
        s.Message(target + ": the name must end in .wav, .flac or .ogg", Icon::Warning);
        return ExportStatus::Failed;
    }
    const std::string text = "Exporting " + std::filesystem::path(target).filename().string() + "...";
    s.platform.SetBusy(true);
    // A link at the target stays: the file it leads to is written.
    const ExportResult result = s.media.Exporter->Export(
        s.WorkFile(s.song.TempFileName), FollowLinks(target),
        [&](double fraction) { return s.app.ShowProgress(text, fraction); }, s.media.Silenced);
    s.app.EndProgress();
    s.platform.SetBusy(false);
    if (result.status == ExportStatus::Failed) s.Message(target + " " + result.problem, Icon::Critical);
    return result.status;
}

}  // namespace sonivex
