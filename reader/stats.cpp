#include "stats.h"

#include "data_files.h"
#include "text.h"

namespace sonivex {

namespace {

void AddDrumRow(SongSession& s) {
    SongModel& m = s.song;
    m.ChannelRows.push_back({m.CurrentTrack, kDrumChannel + 1, std::nullopt, "DRUM TRACK"});
}

void AddProgramRow(SongSession& s, const TrackDecoder& d, int program) {
    SongModel& m = s.song;
    m.ChannelRows.push_back({m.CurrentTrack, d.CurrentChannel + 1, program + 1, ProgramName(s, program)});
}

}  // namespace

bool CountsStatistics(const SongModel& m) { return !m.QuietParse; }

void CountNote(SongSession& s, const TrackDecoder& d, int key, int velocity) {
    SongModel& m = s.song;
    m.ChannelUsed[static_cast<std::size_t>(d.CurrentChannel & 0x0F)] = true;
    m.TrackHasNotes = true;
    m.TrackHasNoteEvents = true;
    if (d.CurrentChannel == kDrumChannel && !m.DrumRowDone) {
        if (!m.QuietParse) AddDrumRow(s);
        m.DrumRowDone = true;
    }
    if (!CountsStatistics(m)) return;
    if (d.CurrentChannel == kDrumChannel) {
        ++m.Counts.DrumNoteCount[key];
    } else {
        ++m.Counts.NoteCount[key];
    }
    ++m.Counts.VelocityCount[velocity];
    if (velocity > m.MaxVelocity) m.MaxVelocity = velocity;
    if (velocity < m.MinVelocity && velocity >= 1) m.MinVelocity = velocity;
}

void NoteTiming(SongSession& s, const TrackDecoder& d, int key, std::int32_t delta) {
    SongModel& m = s.song;
    if (!CountsStatistics(m)) return;
    if (d.NoteIsOn) {
        if (d.CurrentChannel == kDrumChannel) {
            m.Counts.InstrumentTicks[128 + key] += delta;
        } else {
            m.Counts.InstrumentTicks[m.Counts.ChannelProgram[d.CurrentChannel]] += delta;
        }
    }
}

void CountController(SongSession& s, const TrackDecoder& d, int controller) {
    SongModel& m = s.song;
    m.ChannelUsed[static_cast<std::size_t>(d.CurrentChannel & 0x0F)] = true;
    if (!CountsStatistics(m)) return;
    ++m.Counts.ControllerEvents[controller];
}

void CountPitchBend(SongSession& s) {
    SongModel& m = s.song;
    if (!CountsStatistics(m)) return;
    ++m.Counts.PitchBendCount;
}

void CountProgramChange(SongSession& s, const TrackDecoder& d, int program, std::int64_t position) {
    SongModel& m = s.song;
    if (!CountsStatistics(m)) {
        m.ChannelUsed[static_cast<std::size_t>(d.CurrentChannel & 0x0F)] = true;
        if (program > 127) s.Message("ERROR: Invalid Instrument");
        return;
    }
    ++m.Counts.ProgramChangeTotal;
    m.Counts.ChannelProgram[d.CurrentChannel] = program;
    m.ChannelUsed[static_cast<std::size_t>(d.CurrentChannel & 0x0F)] = true;
    if (program > 127) s.Message("ERROR: Invalid Instrument");
    if (d.CurrentChannel == kDrumChannel) return;
    m.ProgramChangePos[m.ProgramChangeCount] = position;
    m.ProgramChangeProgram[m.ProgramChangeCount] = program;
    m.ProgramChangeTrack[m.ProgramChangeCount] = m.CurrentTrack;
    ++m.ProgramChangeCount;
    if (!m.QuietParse) AddProgramRow(s, d, program);
}

}  // namespace sonivex
