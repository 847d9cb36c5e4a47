#include "open_command.h"

#include "reader/files.h"

namespace sonivex {

void ShutdownFiles(Session& s) {
    s.CloseAllFiles();
    if (!s.song.TempFileName.empty()) RemoveIfPresent(s.WorkFile(s.song.TempFileName));
    if (s.song.NotesFileInUse) {
        RemoveIfPresent(s.WorkFile(kNotesFileName));
        s.song.Notes.Forget();
    }
}

}  // namespace sonivex
