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

// Every pass over the tracks, a restart after a repair included, counts from a fresh value.
void ClearCounts(SongModel& m) {
    m.Counts = SongCounts{};
}

void ResetStatistics(SongModel& m) {
    ClearCounts(m);
    m.TrackDataLength.Fill(0);
    m.TrackHeadingDone.clear();
    m.TrackLines.Fill(std::string());
    m.TrackLineCount.Fill(0);
    m.ChannelRows.clear();
    m.ChannelUsed.fill(false);
    m.ProgramChangeCount = 0;
    m.ProgramChangePos.Fill(0);
    m.ProgramChangeProgram.Fill(0);
    m.ProgramChangeTrack.Fill(0);
    m.MaxVelocity = 0;
    m.MinVelocity = 0;
    m.TrackHasNotes = false;
    m.TrackHasNoteEvents = false;
    m.RepairsThisReport = 0;
}

// The parser's statistics start values of one pass over the tracks.
void SetStartValues(ReportSession& s) {
    SongModel& m = s.song;
    m.QuietParse = false;
    ClearCounts(m);
    s.report.HasDrumTrack = false;
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
    rep.Built.header = Report::Header{m.SourcePath, m.FileLength, m.TrackCount, m.FileFormat, FormatName(m.FileFormat),
                                      m.TicksPerQuarter};
    if (rep.LogFileInfoDone) return;
    const Report::Header& h = rep.Built.header;
    m.Log.WriteLine("File Size   :" + Str(h.fileSize));
    m.Log.WriteLine("Total Tracks:" + Str(h.trackCount));
    m.Log.WriteLine("File Format : " + h.formatName);
    m.Log.WriteLine("Delta Ticks :" + Str(h.ticksPerQuarter));
    rep.LogFileInfoDone = true;
}

// The track's "Total time" line and its time in the report.
void TimeTrack(ReportSession& s, int t, std::uint64_t seconds) {
    AddTrackLine(s.song, t, "Total time: " + PlayingTime(seconds).text);
    s.report.TrackSeconds[t] = seconds;
    if (seconds > s.report.Built.totalSeconds) s.report.Built.totalSeconds = seconds;
}

// What one decoded track leaves for its time: the ticks it ends at and the Set Tempo events its decoding met.
struct DecodedTrack {
    int track;
    bool recorded;  // it has recorded events, and so a time line
    TrackParse parsed;
};

// Times the decoded tracks through the map of the tempo events they met: in format 0 and 1 every track's events
// time every track, in format 2 each track has its own.
void TimeTracksAtTheEnd(ReportSession& s, std::vector<DecodedTrack>& decoded) {
    const int division = s.song.TicksPerQuarter;
    std::vector<TempoMap> maps;
    std::vector<TempoPoint> all;
    for (DecodedTrack& d : decoded) {
        if (s.song.FileFormat == 2) {
            maps.emplace_back(division, std::move(d.parsed.tempos));
        } else {
            all.insert(all.end(), d.parsed.tempos.begin(), d.parsed.tempos.end());
        }
    }
    const SongTempo tempo = s.song.FileFormat == 2 ? SongTempo::PerTrack(std::move(maps))
                                                   : SongTempo::Shared(TempoMap(division, std::move(all)));
    for (const DecodedTrack& d : decoded) {
        if (d.recorded) TimeTrack(s, d.track, tempo.Of(static_cast<std::size_t>(d.track - 1)).WholeSecondsAt(d.parsed.ticks));
    }
}

// Decodes every track once. With the log open, each track is timed through the song's tempo map as soon as it is
// decoded (its listing ends with its time), so the map is read first; with no log, the tracks are timed at the
// end through the map of the tempo events the decoding itself met, which is the same map without a second pass
// over the bytes. Returns false when a repair changed the working copy and the analysis must start again.
bool AnalyseTracks(ReportSession& s) {
    SongModel& m = s.song;
    ReportState& rep = s.report;
    const bool listed = m.Log.IsOpen();
    const std::optional<SongTempo> tempo = listed ? std::optional<SongTempo>(ReadSongTempo(s)) : std::nullopt;
    std::vector<DecodedTrack> untimed;
    for (int t = 1; t <= m.TracksFound; ++t) {
        m.MaxVelocity = 0;
        m.MinVelocity = 128;
        m.TrackHasNoteEvents = false;
        m.CurrentTrack = t;
        TrackParse parsed = ParseTrack(s, listed ? EventRecords::Keep : EventRecords::Skip);
        if (m.FileRepaired) return false;

        const bool recorded = m.RecordCount > 0;
        if (tempo) {
            const std::uint64_t seconds = tempo->Of(static_cast<std::size_t>(t - 1)).WholeSecondsAt(parsed.ticks);
            ListTrackEvents(s, PlayingTime(seconds));
            if (recorded) TimeTrack(s, t, seconds);
        } else {
            untimed.push_back({t, recorded, std::move(parsed)});
        }
        if (m.RestartAfterRepair) return false;

        if (m.TrackHasNoteEvents) {
            rep.VelocitySpanSum += m.MaxVelocity + m.MinVelocity;
            ++rep.VelocityTrackCount;
        }
        if (m.DrumRowDone) rep.HasDrumTrack = true;
    }
    if (!tempo) TimeTracksAtTheEnd(s, untimed);
    return true;
}

std::int64_t AverageVolume(const ReportState& rep) {
    if (rep.VelocityTrackCount <= 0) return 0;
    return static_cast<std::int64_t>(std::floor(static_cast<double>(rep.VelocitySpanSum) / (2.0 * rep.VelocityTrackCount)));
}

// The tracks as the report lists them: each one's length and lines, and its time where it has one.
std::vector<Report::Track> ReportTracks(ReportSession& s) {
    const SongModel& m = s.song;
    std::vector<Report::Track> tracks;
    tracks.reserve(static_cast<std::size_t>(std::max<std::int64_t>(m.TracksFound, 0)));
    for (int t = 1; t <= m.TracksFound; ++t) {
        Report::Track track;
        track.number = t;
        track.length = m.TrackDataLength[t];
        for (int l = 1; l <= m.TrackLineCount[t]; ++l) track.lines.push_back(m.TrackLines(t, l));
        const auto time = s.report.TrackSeconds.find(t);
        if (time != s.report.TrackSeconds.end()) track.seconds = time->second;
        tracks.push_back(std::move(track));
    }
    return tracks;
}

// Forgets the event records at the end of the report.
void DeleteNotesFile(ReportSession& s) {
    if (!s.song.Notes.InUse()) return;
    s.song.Notes.Forget();
    s.song.NotesFileInUse = false;
}

void RunReport(ReportSession& s) {
    SongModel& m = s.song;
    ReportState& rep = s.report;
    ResetAnalysis(s);
    const WorkingCopyHeld held(s);  // the tracks are read from memory during the run
    rep.RandomSeed = s.FixedSeed ? s.Seed
                                 : static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
    s.random.Seed(rep.RandomSeed);
    rep.PaneText.clear();
    m.CurrentTrack = 1;
    rep.LogHeaderDone = false;
    rep.LogFileInfoDone = false;
    m.ChannelUsed.fill(false);

    for (;;) {  // the restart point after a repair of the working copy
        m.RestartAfterRepair = false;
        rep.Built = Report{};
        rep.TrackSeconds.clear();
        m.ChannelRows.clear();
        m.ProgramChangeCount = 1;
        m.TrackHasNotes = false;
        // A restart lists every track's lines anew instead of adding them a second time.
        m.TrackLines.Fill(std::string());
        m.TrackLineCount.Fill(0);
        WriteLogHeader(s);
        BuildHeader(s);
        SetStartValues(s);
        // The map is read anew after a repair changed the bytes.
        if (AnalyseTracks(s)) break;
    }

    BuildInstrumentList(s);
    m.CurrentTrack = 1;
    m.QuietParse = true;
    Report& report = rep.Built;
    report.noInstruments = m.Counts.ProgramChangeTotal == 0 && !m.TrackHasNotes;
    AppendGroupsAndStyle(s);
    report.averageVolume = AverageVolume(rep);
    report.channelRows = m.ChannelRows;
    report.tracks = ReportTracks(s);
    rep.PaneText = ReportText(report);
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
    ReportState fresh;
    s.report = std::move(fresh);
}

void WriteLogHeader(ReportSession& s) {
    s.ShowCaption(std::string(kAppTitle) + " - " + s.song.FileTitle);
    if (s.report.LogHeaderDone) return;
    s.song.Log.WriteLine(std::string(kAppTitle) + " analysis of " + s.song.FileTitle);
    s.report.LogHeaderDone = true;
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
