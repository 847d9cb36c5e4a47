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

// The file part of shutdown: closes every file and deletes the working copy and any record file an earlier version left. The log stays.
void ShutdownFiles(Session& s);

}  // namespace sonivex
