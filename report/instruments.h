// Instrument statistics after all tracks: the ranked instrument list, the "Main 10" lists, the group shares,
// the style guessed from style1.dat and the complexity figure.
#pragma once

#include "report/report_session.h"

namespace sonivex {

// Builds and sorts the used-instrument list, appends it to the channel table, builds the "Main 10" lists and
// appends the first four summary lines.
void BuildInstrumentList(ReportSession& s);

// Sorts the groups, classifies the style, appends the group shares to the channel table and the group,
// style and complexity lines to the summary.
void AppendGroupsAndStyle(ReportSession& s);

// The best-matching style line of style1.dat for the program changes of the analysis ("unknown" when there
// were none).
void ClassifyStyle(ReportSession& s);

}  // namespace sonivex
