// The report's session: the reader's session with the report's own state.
#pragma once

#include <cstdint>
#include <string>

#include "reader/session.h"

namespace sonivex {

// The report's own state: texts, times, the used-instrument table, groups, style and complexity.
struct ReportState {
    Int16 ReportPhase;
    std::string PaneText;  // the report as the pane shows it; empty while a run is going or after it stopped
    std::string HeaderText;
    std::string SummaryText;
    std::string MainTenText;
    std::string TrackText;
    std::string FormatName;
    Int16 LogHeaderDone;
    Int16 LogFileInfoDone;
    std::uint64_t LongestSeconds = 0;  // the playing time of the longest track, in whole seconds
    Int32 VelocitySpanSum;
    Int32 VelocityTrackCount;
    Int16 ScratchFileMissing;
    Int16 HasDrumTrack;

    // Used-instrument table.
    GrowingTable<std::string, 0> InstrumentName;
    GrowingTable<Int32, 0> InstrumentWeight;
    GrowingTable<Int16, 0> InstrumentKind;
    GrowingTable<Int16, 0> InstrumentNumber;
    Int32 InstrumentCount;
    Int32 MelodyInstrumentCount;
    Int32 RhythmInstrumentCount;

    // Instrument groups.
    Table<Int32, 0, 16> GroupWeight;
    Table<Int16, 0, 16> GroupNumber;
    Int32 GroupWeightTotal;
    std::string FirstGroupName;
    std::string SecondGroupName;

    // Style and complexity.
    Table<Int16, 1, 40> StylePrograms;
    std::string StyleLineName;
    Int32 StyleMatches;
    std::string BestStyle;
    Int32 BestMatches;
    Int32 BestScore;
    Int32 ComplexScore;

    // Seed of the random generator, drawn from the clock at every report run.
    std::uint32_t RandomSeed = 0;
};

struct ReportSession : SongSession {
    using SongSession::SongSession;

    ReportState report;
};

}  // namespace sonivex
