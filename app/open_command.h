// The parts of the main window's life that need no window: start-up of the core, opening a chosen file up
// to its report, and the file part of shutdown.
#pragma once

#include <string>

#include "reader/session.h"

namespace sonivex {

enum class OpenOutcome {
    Cancelled,      // no file was chosen
    Missing,        // the chosen file does not exist
    NoDataFile,     // style1.dat or effects1.dat is missing
    Rejected,       // the load rejected the file ("Error!" was shown)
    Reported,       // the report is in the pane
    ReportStopped,  // the report stopped on an error (its message was shown)
};

// Fills the name tables and creates the "logs" folder of the program folder.
void StartUp(Session& s);

// Opens the file the user chose: `chosen` is the name as the dialog reports it (used in the message for a
// missing file), `sourcePath` the full path that becomes SourcePath. Checks that it exists, loads it and runs
// the report.
OpenOutcome OpenChosenFile(Session& s, const std::string& chosen, const std::string& sourcePath);

// The file part of shutdown: closes every file and deletes the working copy and "notes.dat". The log stays.
void ShutdownFiles(Session& s);

}  // namespace sonivex
