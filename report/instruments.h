// Instrument statistics after all tracks: the ranked instrument list, the "Main 10" lists, the group shares,
// the style guessed from style1.dat and the complexity figure.
#pragma once

#include "report/report_session.h"

namespace sonivex {

// Builds and ranks the report's used-instrument list, its melody and rhythm counts and its "Main 10" lists.
void BuildInstrumentList(ReportSession& s);

// Ranks the groups and gives the report their shares and its main groups, the style and the complexity.
void AppendGroupsAndStyle(ReportSession& s);

// The best-matching style line of style1.dat for the program changes of the analysis ("unknown" when there
// were none).
void ClassifyStyle(ReportSession& s);

}  // namespace sonivex
