#include "parse.h"

#include <algorithm>

#include "files.h"
#include "load.h"
#include "meta.h"
#include "stats.h"
#include "text.h"

namespace sonivex {

namespace {

void ResetEventRows(SongModel& m) { m.EventRows.fill(EventRecord{}); }

// Keeps rows 0 to 99 as the records that end at record index lastRecord (counted from 0), then starts a new block.
void FlushEventBlock(SongSession& s, TrackDecoder& d, std::int64_t lastRecord) {
    SongModel& m = s.song;
    const std::int64_t firstRecord = lastRecord - kRowsPerBlock + 1;
    if (d.KeepRecords) m.Notes.Write(firstRecord, m.EventRows);
    ResetEventRows(m);
    d.EventRow = 0;
}

// The flush at the end of a track: the whole current block, its unfilled rows of -1 included.
void FinalFlush(SongSession& s, TrackDecoder& d) {
    const std::int64_t count = static_cast<std::int64_t>(s.song.RecordCount) - 1;
    if (count < 0) return;
    FlushEventBlock(s, d, (count / kRowsPerBlock + 1) * kRowsPerBlock);
}

// Sets NoteIsOn and the NoteState of the current note row.
void MarkNoteState(TrackDecoder& d, EventRecord& row) {
    if (row.Data2 < 0) return;
    const int status = d.StatusByte;
    if (status >= 144 && status <= 159) d.NoteIsOn = row.Data2 > 0;
    if (status >= 128 && status <= 143) d.NoteIsOn = false;
    row.NoteState = kAbsent;
    if (row.IsNote() || d.CurrentChannel == kDrumChannel) row.NoteState = d.NoteIsOn ? kNoteSounds : kNoteSilent;
}

// Counts the kinds of delta times after notes, which the complexity figure counts.
void TallyDelta(SongModel& m, std::int32_t delta) {
    if (m.Counts.NoteDeltas.Insert(delta)) ++m.Counts.DeltaValueKinds;
}

// Decodes a run of channel events that share the status byte just read (the first event and its
// running-status repeats). Returns the status byte that follows the run.
int DecodeChannelRun(SongSession& s, TrackDecoder& r, int status) {
    SongModel& m = s.song;
    if (!m.FirstChannelEventPos) m.FirstChannelEventPos = static_cast<std::int32_t>(r.LastPos());
    r.CurrentChannel = status & 0x0F;
    const int kind = status & 0xF0;
    const bool twoBytes = kind != 0xC0 && kind != 0xD0;
    bool repeat = false;
    int first = r.Byte();
    for (;;) {
        // Pressure and controller events test their first data byte even in the first event of a run.
        if ((kind == 0xA0 || kind == 0xB0) && first >= 128) return first;
        const std::int64_t firstPos = r.LastPos();
        const int second = twoBytes ? r.Byte() : -1;

        EventRecord& row = m.EventRows[OpenEvent(s, r)];
        const bool negate = repeat && kind != 0x80 && kind != 0x90 && kind != 0xC0;
        row.Status = negate ? -status : status;
        row.Data1 = first;
        row.Data2 = kind == 0xB0 && second > 127 ? 127 : second;
        switch (kind) {
        case 0x80:
        case 0x90: CountNote(s, r, first, second); break;
        case 0xB0: CountController(s, r, first); break;
        case 0xC0: CountProgramChange(s, r, first, firstPos - 1); break;
        case 0xE0: CountPitchBend(s); break;
        default: break;
        }

        const std::int32_t delta = ReadDelta(r);
        row.Delta = delta;
        switch (kind) {
        case 0x80:
        case 0x90:
            row.Kind = RowKind::Note;
            if (CountsStatistics(m)) TallyDelta(m, delta);
            MarkNoteState(r, row);
            NoteTiming(s, r, first, delta);
            break;
        case 0xB0: row.Kind = RowKind::Controller; break;
        case 0xE0: row.Kind = RowKind::PitchBend; break;
        case 0xC0: row.Kind = status == kDrumProgramStatus ? RowKind::DrumProgram : RowKind::Program; break;
        default: break;
        }

        const int next = r.Byte();
        if (next >= 128) return next;
        first = next;
        repeat = true;
    }
}

void DecodeSysex(SongSession& s, TrackDecoder& r, int status) {
    SongModel& m = s.song;
    if (!m.FirstChannelEventPos) m.FirstChannelEventPos = static_cast<std::int32_t>(r.LastPos());
    const std::int64_t start = r.LastPos();
    r.Skip(ReadVarLen(r));
    const std::int64_t end = r.LastPos();
    const std::int32_t delta = ReadDelta(r);
    EventRecord& row = m.EventRows[OpenEvent(s, r)];
    row.Status = status;
    row.Delta = delta;
    m.EventSpanStart[m.RecordCount - 1] = start;
    m.EventSpanEnd[m.RecordCount - 1] = end;
}

// A byte stood where a status byte was expected. Right after a Set Tempo event it is taken as a missing
// Note On status and repaired; anywhere else it is skipped.
bool RepairsMissingStatus(const SongModel& m, int status, std::int64_t pos) {
    const bool candidate = (status >= 1 && status <= 127) || (status >= 241 && status <= 254 && status != 247);
    return candidate && pos == static_cast<std::int64_t>(m.TempoDataPos) + 4 &&
           m.RepairsThisReport < kMaxRepairsPerReport;
}

TrackEnding DecodeEvents(SongSession& s, TrackDecoder& r) {
    SongModel& m = s.song;
    try {
        ReadDelta(r);  // the delta before the first event belongs to no row
        int status = r.Byte();
        for (;;) {
            r.StatusByte = static_cast<std::uint8_t>(status);
            if (status == 255) {
                const MetaOutcome outcome = DecodeMetaEvent(s, r);
                if (outcome == MetaOutcome::EndTrack) return TrackEnding::EndOfTrack;
                if (outcome == MetaOutcome::Stop) return TrackEnding::Stopped;
                status = r.Byte();
            } else if (status >= 128 && status <= 239) {
                status = DecodeChannelRun(s, r, status);
            } else if (status == 240 || status == 247) {
                DecodeSysex(s, r, status);
                status = r.Byte();
            } else if (RepairsMissingStatus(m, status, r.LastPos())) {
                RepairMissingStatus(s);
                return TrackEnding::Stopped;
            } else {
                status = r.Byte();
            }
        }
    } catch (const TrackCut&) {
        return TrackEnding::EndOfTrack;  // the chunk or the file ended: as if End of Track stood there
    }
}

}  // namespace

int OpenEvent(SongSession& s, TrackDecoder& d) {
    SongModel& m = s.song;
    ++m.RecordCount;
    ++d.EventRow;
    if (d.EventRow == kRowsPerBlock) FlushEventBlock(s, d, m.RecordCount - 1);
    return d.EventRow;
}

bool AddDeltaToLastRow(SongSession& s, const TrackDecoder& d, std::int32_t delta) {
    SongModel& m = s.song;
    if (m.RecordCount == 0) return false;
    std::int32_t& cell = m.EventRows[d.EventRow].Delta;
    cell = Int32::Fit(static_cast<std::int64_t>(cell) + delta);
    m.AttachedMetas.push_back({m.RecordCount - 1, static_cast<std::int32_t>(d.MetaStartPos),
                              static_cast<std::int32_t>(d.MetaDataEnd), delta});
    return true;
}

std::int32_t ReadVarLen(TrackReader& r) { return r.VarLen(); }

std::int32_t ReadDelta(TrackDecoder& r) {
    try {
        const std::int32_t delta = ReadVarLen(r);
        r.Ticks += static_cast<std::uint64_t>(delta);
        return delta;
    } catch (const TrackCut&) {
        return 0;  // the track ends with the next read
    }
}

TrackChunk ReadTrackChunk(SongSession& s, int track) {
    const SongModel& m = s.song;
    const std::int64_t start = m.TrackStart[track];
    // The track's chunk ends where the next one starts, and never after the end of the file.
    std::int64_t end = m.TrackStart[track + 1];
    if (end <= start || end > static_cast<std::int64_t>(m.FileLength) + 1) end = static_cast<std::int64_t>(m.FileLength) + 1;
    TrackChunk chunk;
    chunk.bytes =
        SharedWorkingCopyRange(s, static_cast<std::uint64_t>(start - 1), static_cast<std::uint64_t>(end - start));
    const std::span<const std::uint8_t> bytes = chunk.bytes.view;
    for (std::size_t i = 0; i < chunk.header.size() && i < bytes.size(); ++i) chunk.header[i] = bytes[i];
    chunk.firstPos = start;
    chunk.headerBytes = std::min<std::int64_t>(8, static_cast<std::int64_t>(bytes.size()));
    return chunk;
}

TrackParse ParseTrack(SongSession& s, EventRecords records) {
    SongModel& m = s.song;
    m.DrumRowDone = false;
    m.FirstChannelEventPos.reset();
    m.RecordCount = 0;
    m.TrackName.clear();
    m.FileRepaired = false;
    m.AttachedMetas.clear();
    ResetEventRows(m);
    m.NotesFileInUse = true;
    m.Notes.Begin();

    TrackChunk chunk = ReadTrackChunk(s, m.CurrentTrack);
    m.TrackHeaders[m.CurrentTrack] = chunk.header;
    m.TrackLength = ChunkDataLength(chunk.header.data());
    m.TrackDataLength[m.CurrentTrack] = m.TrackLength;
    WriteTrackHeading(s);

    TrackDecoder r(std::move(chunk.bytes), chunk.firstPos);
    r.KeepRecords = records == EventRecords::Keep;
    r.Skip(chunk.headerBytes);
    m.TrackComplete = DecodeEvents(s, r) == TrackEnding::EndOfTrack;
    if (m.TrackComplete) FinalFlush(s, r);
    return TrackParse{r.Ticks, std::move(r.Tempos)};
}

}  // namespace sonivex
