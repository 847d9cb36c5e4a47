#include "analyse.h"

#include "reader/load.h"
#include "report/report.h"

namespace sonivex {

AnalysisOutcome AnalyseFile(ReportSession& s, const std::string& path) {
    AnalysisOutcome outcome = AnalysisOutcome::Refused;
    RunGuarded(s, [&] {
        SongModel& m = s.song;
        const WorkingCopyHeld held(s);
        m.SourcePath = path;
        m.FileValid = true;
        LoadFile(s);
        if (!m.FileValid) {
            s.Message("Error!");
            return;
        }
        outcome = BuildReport(s) == ReportOutcome::Done ? AnalysisOutcome::Reported : AnalysisOutcome::Stopped;
    });
    return outcome;
}

}  // namespace sonivex
