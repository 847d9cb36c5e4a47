// The analysis report: runs the reader over every track and assembles the report pane's text and the log.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "report/play_time.h"
#include "report/report_session.h"

namespace sonivex {

enum class ReportOutcome {
    Done,     // the text is in the pane
    Stopped,  // an error stopped the analysis; its messages were shown
};

// Shows the messages of a runtime error as the report's handler does: "ERROR: Too many notes for array"
// before "Error: 9" for a table overflow, "Not enough memory", or "Error:" with the number.
void ShowRunError(ReportSession& s, int number);

// Runs a command's work; a runtime error inside it shows its messages and ends the work (returns false)
// instead of ending the program. Besides the numbered errors, any other error is shown as "Error: " and its
// text.
bool RunGuarded(ReportSession& s, const std::function<void()>& work);

// Clears the analysis state, decodes every track, writes the log and puts the report text into the pane.
// On a runtime error the user sees "ERROR: Too many notes for array" (for a table overflow) and
// "Error:" with the error number, or "Not enough memory", and the analysis stops; the program goes on.
ReportOutcome BuildReport(ReportSession& s);

// Sets every statistic, table, counter, flag and text of the analysis to zero or empty. The file facts of
// the load and the name tables stay.
void ResetAnalysis(ReportSession& s);

// Sets the window caption and, once per report run, writes the log header.
void WriteLogHeader(ReportSession& s);

}  // namespace sonivex
