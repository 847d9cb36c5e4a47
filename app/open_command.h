// What an Open came to, and the file part of shutdown.
#pragma once

#include <string>

#include "app/session.h"

namespace sonivex {

enum class OpenOutcome {
    Cancelled,      // no file was chosen
    Missing,        // the chosen file does not exist
    NoDataFile,     // style1.dat or effects1.dat is missing
    Rejected,       // the load rejected the file ("Error!" was shown)
    Reported,       // the report is in the pane
    ReportStopped,  // the report stopped on an error (its message was shown)
};

// Loads the file at `path` aside, in a session and a working copy of its own, to learn whether the load takes
// it before anything of the song open now changes. True when the load refuses it: its messages have then been
// shown, as the load shows them. False when it loads (its messages are left for the real load to show) or
// when no place aside could be made; nothing is left behind either way.
bool RefusedWhenLoadedAside(Session& s, const std::string& path);

// The file part of shutdown: closes every file and deletes the working copy and any record file an earlier version left. The log stays.
void ShutdownFiles(Session& s);

}  // namespace sonivex
