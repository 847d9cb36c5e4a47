// The report's session: the reader's session with the report's own state.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "reader/session.h"
#include "report/report_value.h"

namespace sonivex {

// The report's own state: texts, times, the used-instrument table, groups, style and complexity.
struct ReportState {
    std::string PaneText;  // the report as the pane shows it; empty while a run is going or after it stopped
    Report Built;          // the report being made, then the last one made
    bool LogHeaderDone = false;
    bool LogFileInfoDone = false;
    std::unordered_map<int, std::uint64_t> TrackSeconds;  // the playing time of each track that has one
    Int32 VelocitySpanSum;
    Int32 VelocityTrackCount;
    bool HasDrumTrack = false;

    // Instrument groups.
    Table<Int32, 0, 16> GroupWeight;
    Table<Int16, 0, 16> GroupNumber;
    Int32 GroupWeightTotal;

    // Seed of the random generator, drawn from the clock at every report run.
    std::uint32_t RandomSeed = 0;
};

struct ReportSession : SongSession {
    using SongSession::SongSession;

    ReportState report;
};

}  // namespace sonivex
