#include "report.h"

#include <chrono>
#include <functional>
#include <cmath>
#include <new>

#include "instruments.h"
#include "listing.h"
#include "reader/data_files.h"
#include "reader/files.h"
#include "reader/load.h"
#include "reader/meta.h"
#include "reader/parse.h"
#include "reader/tempo_scan.h"
#include "reader/text.h"

namespace sonivex {

namespace {

const char* const kCrLf = "\r\n";

// The counts, sums and histograms that every pass over the tracks starts from zero. Index 0 of the program-
// and channel-indexed tables is cleared too, so that a restart after a repair does not count program 0 twice.
void ClearCounts(SongModel& m) {
    m.ChannelProgram.Fill(0);
    m.InstrumentTicks.Fill(0);
    m.NoteCount.Fill(0);
    m.ProgramUsed.Fill(0);
    m.DrumKitUsed.Fill(0);
    m.PitchBendByteCount.Fill(0);
    m.ControllerValueCount.Fill(0);
    m.ControllerUsed.Fill(0);
    m.DrumNoteCount.Fill(0);
    m.VelocityCount.Fill(0);
    m.ControllerStats.Fill(0);
    m.DeltaValueCount.Fill(0);
    m.DeltaValueKinds = 0;
    m.DrumNoteMap.Fill(0);
    m.NoteEventCount = 0;
    m.NoteTicks = 0;
    m.PitchBendCount = 0;
    m.ProgramChangeTotal = 0;
}

void ResetStatistics(SongModel& m) {
    ClearCounts(m);
    m.TrackDataLength.Fill(0);
    m.TrackHeadingDone.Fill(0);
    m.EventDelta.Fill(0);
    m.FlushedDeltaSum = 0;
    m.TrackLines.Fill(std::string());
    m.TrackLineCount.Fill(0);
    m.ChannelTable.clear();
    m.ChannelTableStarted = 0;
    m.ChannelUsed.Fill(0);
    m.ProgramChangeCount = 0;
    m.ProgramChangePos.Fill(0);
    m.ProgramChangeProgram.Fill(0);
    m.ProgramChangeTrack.Fill(0);
    m.DrumTrack.Fill(0);
    m.MaxVelocity = 0;
    m.MinVelocity = 0;
    m.TrackHasNotes = 0;
    m.TrackHasNoteEvents = 0;
    m.DeltaValue.Fill(0);
    m.RepairsThisReport = 0;
}

// The parser's statistics start values of one pass over the tracks.
void SetStartValues(ReportSession& s) {
    SongModel& m = s.song;
    m.QuietParse = 0;
    ClearCounts(m);
    m.DrumTrack.Fill(-1);
    for (int c = 0; c <= 127; ++c) m.ControllerStats(3, c) = 128;
    m.DeltaValue.Fill(-1);
    s.report.HasDrumTrack = 0;
    s.report.VelocitySpanSum = 0;
    s.report.VelocityTrackCount = 0;
}

std::string FormatName(int format) {
    if (format == 0) return "single";
    if (format == 2) return "Multi (independent)";
    return "Multi";
}

void BuildHeader(ReportSession& s) {
    SongModel& m = s.song;
    ReportState& rep = s.report;
    rep.FormatName = FormatName(m.FileFormat);
    rep.HeaderText = "File        : " + m.SourcePath + kCrLf + "File Size   :" + Str(m.FileLength) + kCrLf +
                     "Total Tracks:" + Str(m.TrackCount) + kCrLf + "File Format : " + rep.FormatName + kCrLf +
                     "Delta Ticks :" + Str(m.TicksPerQuarter) + kCrLf;
    if (rep.LogFileInfoDone != 0) return;
    m.Log.WriteLine("File Size   :" + Str(m.FileLength));
    m.Log.WriteLine("Total Tracks:" + Str(m.TrackCount));
    m.Log.WriteLine("File Format : " + rep.FormatName);
    m.Log.WriteLine("Delta Ticks :" + Str(m.TicksPerQuarter));
    rep.LogFileInfoDone = 1;
}

// Decodes every track once, timing each through the song's tempo map. Returns false when a repair changed the
// working copy and the analysis must start again.
bool AnalyseTracks(ReportSession& s, const SongTempo& tempo) {
    SongModel& m = s.song;
    ReportState& rep = s.report;
    for (int t = 1; t <= m.TracksFound; ++t) {
        m.MaxVelocity = 0;
        m.MinVelocity = 128;
        m.TrackHasNoteEvents = 0;
        m.CurrentTrack = t;
        const TrackParse parsed = ParseTrack(s);
        if (m.FileRepaired != 0) return false;

        const std::uint64_t seconds = tempo.Of(static_cast<std::size_t>(t - 1)).WholeSecondsAt(parsed.ticks);
        const PlayTime time = PlayingTime(seconds);
        ListTrackEvents(s, time);
        if (m.EventCount >= 0) {
            AddTrackLine(m, t, "Total time: " + time.text);
            if (seconds > rep.LongestSeconds) rep.LongestSeconds = seconds;
        }
        if (m.RestartAfterRepair == 1) return false;

        if (m.TrackHasNoteEvents == 1) {
            rep.VelocitySpanSum += m.MaxVelocity + m.MinVelocity;
            ++rep.VelocityTrackCount;
        }
        if (m.DrumRowDone == 1) rep.HasDrumTrack = 1;
    }
    return true;
}

void AppendSummaryEnd(ReportSession& s) {
    ReportState& rep = s.report;
    if (rep.VelocityTrackCount > 0) {
        const auto average = static_cast<std::int64_t>(
            std::floor(static_cast<double>(rep.VelocitySpanSum) / (2.0 * rep.VelocityTrackCount)));
        rep.SummaryText += "Average Volume        :" + Str(average) + kCrLf;
    } else {
        rep.SummaryText += std::string("Average Volume        : 0") + kCrLf;
    }
    const PlayTime longest = PlayingTime(rep.LongestSeconds);
    rep.SummaryText += "Total time            :" + Str(longest.minutes) + "." + TwoDigits(longest.seconds) + kCrLf;
}

void BuildTrackText(ReportSession& s) {
    SongModel& m = s.song;
    ReportState& rep = s.report;
    for (int t = 1; t <= m.TracksFound; ++t) {
        rep.TrackText += "Tr:" + PadLeft(Dec(t), 2) + "  Length:" + Str(m.TrackDataLength[t]) + kCrLf;
        for (int l = 1; l <= m.TrackLineCount[t]; ++l) rep.TrackText += "       " + m.TrackLines(t, l) + kCrLf;
    }
}

// Forgets the event records at the end of the report.
void DeleteNotesFile(ReportSession& s) {
    s.report.ReportPhase = 0;
    s.report.ScratchFileMissing = 0;
    if (!s.song.Notes.InUse()) {
        s.report.ScratchFileMissing = 1;
        return;
    }
    s.song.Notes.Forget();
    s.song.NotesFileInUse = 0;
}

void RunReport(ReportSession& s) {
    SongModel& m = s.song;
    ReportState& rep = s.report;
    ResetAnalysis(s);
    const WorkingCopyHeld held(s);  // the tracks are read from memory during the run
    rep.RandomSeed = s.FixedSeed ? s.Seed
                                 : static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
    s.random.Seed(rep.RandomSeed);
    rep.ReportPhase = 1;
    rep.PaneText.clear();
    s.platform.LetEventsRun();
    m.MissingStatusRepaired = 0;
    m.CurrentTrack = 1;
    m.EditMode = RewriteMode::None;
    rep.LogHeaderDone = 0;
    rep.LogFileInfoDone = 0;
    m.ChannelUsed.Fill(0);

    for (;;) {  // the restart point after a repair of the working copy
        m.RestartAfterRepair = 0;
        rep.TrackText.clear();
        rep.HeaderText.clear();
        m.ChannelTable.clear();
        rep.SummaryText.clear();
        rep.MainTenText.clear();
        m.ChannelTableStarted = 0;
        m.ProgramChangeCount = 1;
        m.TrackHasNotes = 0;
        // A restart lists every track's lines anew instead of adding them a second time.
        m.TrackLines.Fill(std::string());
        m.TrackLineCount.Fill(0);
        WriteLogHeader(s);
        BuildHeader(s);
        SetStartValues(s);
        // The map is read before any track is timed, and again after a repair changed the bytes.
        const SongTempo tempo = ReadSongTempo(s);
        if (AnalyseTracks(s, tempo)) break;
    }

    BuildInstrumentList(s);
    m.CurrentTrack = 1;
    m.QuietParse = 1;
    if (m.ProgramChangeTotal == 0 && m.TrackHasNotes == 0) m.ChannelTable += std::string("No instruments") + kCrLf;
    AppendGroupsAndStyle(s);
    AppendSummaryEnd(s);

    std::string pane = rep.HeaderText + kCrLf + rep.SummaryText;
    BuildTrackText(s);
    pane += std::string(kCrLf) + m.ChannelTable + kCrLf + rep.MainTenText + kCrLf + kCrLf + rep.TrackText;
    rep.PaneText = std::move(pane);
    DeleteNotesFile(s);
}

}  // namespace

void ShowRunError(ReportSession& s, int number) {
    ++s.RunErrorCount;
    if (number == kOutOfMemory) {
        s.Message("Not enough memory");
        return;
    }
    if (number == kSubscript) s.Message("ERROR: Too many notes for array");
    s.Message("Error:" + Str(number));
}

bool RunGuarded(ReportSession& s, const std::function<void()>& work) {
    try {
        work();
        return true;
    } catch (const RunError& e) {
        ShowRunError(s, e.Number());
    } catch (const std::bad_alloc&) {
        ShowRunError(s, kOutOfMemory);
    } catch (const std::exception& e) {
        // Any other runtime error (a file system fault, a library's own error) is named and ends the work too.
        ++s.RunErrorCount;
        s.Message(std::string("Error: ") + e.what());
    }
    return false;
}

void ResetAnalysis(ReportSession& s) {
    ResetStatistics(s.song);
    s.report = ReportState{};
}

void WriteLogHeader(ReportSession& s) {
    s.ShowCaption(std::string(kAppTitle) + " - " + s.song.FileTitle);
    if (s.report.LogHeaderDone != 0) return;
    s.song.Log.WriteLine(std::string(kAppTitle) + " analysis of " + s.song.FileTitle);
    s.report.LogHeaderDone = 1;
}

ReportOutcome BuildReport(ReportSession& s) {
    ForgetNames(s);
    try {
        RunReport(s);
        s.song.Log.Flush();
        return ReportOutcome::Done;
    } catch (const RunError& e) {
        ShowRunError(s, e.Number());
    } catch (const std::bad_alloc&) {
        ShowRunError(s, kOutOfMemory);
    }
    s.song.Log.Flush();
    return ReportOutcome::Stopped;
}

}  // namespace sonivex
