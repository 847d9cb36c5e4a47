// A song read and reported without a window: what opening it does, for the batch and for tests.
#pragma once

#include <string>

#include "report/report_session.h"

namespace sonivex {

enum class AnalysisOutcome {
    Refused,   // the load refused the file; its messages and "Error!" were shown
    Reported,  // the report is in s.report.Built (and its text in s.report.PaneText)
    Stopped,   // an error stopped the report; its messages were shown
};

// Loads the song at `path` into the session's working copy, checks its header and track chunks and reports it.
// A runtime error shows its messages and refuses the song. A caller that holds the working copy
// (WorkingCopyHeld) for this call has the song read from the disk once for the load, the report and whatever
// it reads of the same bytes afterwards.
AnalysisOutcome AnalyseFile(ReportSession& s, const std::string& path);

}  // namespace sonivex
