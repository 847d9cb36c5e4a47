#include "open_command.h"

#include "name_tables.h"
#include "reader/files.h"
#include "reader/load.h"
#include "report/report.h"

namespace sonivex {

void StartUp(Session& s) {
    FillNameTables(s.names);
    std::error_code ec;
    std::filesystem::create_directories(s.ProgramFile(kLogFolderName), ec);
}

OpenOutcome OpenChosenFile(Session& s, const std::string& chosen, const std::string& sourcePath) {
    SongModel& m = s.song;
    m.SourcePath = sourcePath;
    if (!FileExists(sourcePath)) {
        s.Message(chosen + " does not exist", Icon::Warning);
        return OpenOutcome::Missing;
    }
    s.platform.SetBusy(true);
    m.FileValid = 1;
    s.form.mnuSave.enabled = false;
    s.form.SaveButton.enabled = false;
    LoadFile(s);
    if (m.FileValid == 0) {
        s.Message("Error!");
        return OpenOutcome::Rejected;
    }
    const ReportOutcome report = BuildReport(s);
    s.platform.SetBusy(false);
    return report == ReportOutcome::Done ? OpenOutcome::Reported : OpenOutcome::ReportStopped;
}

void ShutdownFiles(Session& s) {
    s.CloseAllFiles();
    if (!s.song.TempFileName.empty()) RemoveIfPresent(s.ProgramFile(s.song.TempFileName));
    if (s.song.NotesFileInUse == 1) {
        RemoveIfPresent(s.ProgramFile(kNotesFileName));
        s.song.Notes.Forget();
    }
}

}  // namespace sonivex
