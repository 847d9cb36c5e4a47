#include "writer.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "reader/files.h"
#include "reader/load.h"
#include "reader/parse.h"

namespace sonivex {

namespace {

constexpr std::int64_t kHeaderSize = 14;

// A row that the writer copies back as the event's own bytes.
bool IsMetaOrSysexRow(const EventRecord& f) {
    const std::int32_t status = f.Status;
    return f.IsText() || status == kTempoRow || status == kTimeSignatureRow || status == kSysexRow ||
           status == kSysexContinuationRow || status == -kSysexRow || status == -kSysexContinuationRow;
}

void Put(std::string& out, std::int64_t byte) { out += static_cast<char>(byte & 0xFF); }

// The bytes of the working copy from 1-based position `from` to `to`, both included; nothing when the span
// lies outside the file.
void PutSpan(std::string& out, const Bytes& file, std::int64_t from, std::int64_t to) {
    if (from < 1 || to < from || to > static_cast<std::int64_t>(file.size())) return;
    out.append(reinterpret_cast<const char*>(file.data()) + from - 1, static_cast<std::size_t>(to - from + 1));
}

// Writes a new data length into the three low length bytes of the chunk whose header starts at the 1-based
// position `start`.
void PatchLength(std::string& out, std::int64_t start, std::int64_t length) {
    const auto at = static_cast<std::size_t>(start - 1);
    if (at + 8 > out.size()) return;
    SetChunkDataLength(reinterpret_cast<std::uint8_t*>(out.data() + at), length);
}

// Whether a status byte of the record moves to the new channel.
bool MovesChannel(RewriteMode mode, bool drumSource, int channel) {
    if (mode == RewriteMode::CopyTrack) return true;
    if (mode == RewriteMode::SwitchDrumMelody) return drumSource ? channel == kDrumChannel : channel != kDrumChannel;
    return false;
}


// What the rebuild does, decided before any byte is written.
struct Rebuild {
    RewriteMode mode;
    bool copy;        // the track is appended as a new last track
    bool drumSource;  // a drum track moves to a melody channel
    int newChannel;   // the channel the moved events go to; -1 when none move
};

// The rebuild that EditMode asks for; nothing (after a message) when no track or channel is free.
std::optional<Rebuild> PlanRebuild(EditSession& s) {
    const SongModel& m = s.song;
    Rebuild plan{m.EditMode, m.EditMode == RewriteMode::CopyTrack, false, -1};
    const bool moves = plan.copy || plan.mode == RewriteMode::SwitchDrumMelody;
    if (plan.copy && m.TracksFound >= kMaxTracks) {
        s.Message("Too many tracks");
        return std::nullopt;
    }
    if (moves) {
        plan.newChannel = ChooseNewChannel(m);
        if (plan.newChannel == -1) {
            s.Message("No free channel");
            return std::nullopt;
        }
    }
    plan.drumSource = moves && m.DrumTrack[m.CurrentTrack] == 1;
    return plan;
}

// The status and data bytes of a channel event's record; absent fields are not written.
void PutChannelEvent(std::string& out, const SongModel& m, const Rebuild& plan, const EventRecord& f) {
    if (f.Status >= 0) {
        int status = f.Status;
        if (MovesChannel(plan.mode, plan.drumSource, status % 16)) status = (status & 0xF0) | plan.newChannel;
        Put(out, status);
    }
    if (f.Data1 >= 0) {
        std::int64_t data = f.Data1;
        const bool substitutes = plan.mode == RewriteMode::SubstituteDrums && f.IsNote() && m.DrumRowDone == 1;
        if (substitutes && data <= 127) data = m.DrumNoteMap[data];
        Put(out, data);
    }
    if (f.Data2 >= 0) Put(out, f.Data2);
}

// Every record of the track with its delta time, each followed by the meta events that followed it in the
// source, with their own deltas.
void PutRecords(std::string& out, const Bytes& file, const SongModel& m, const Rebuild& plan) {
    std::size_t attached = 0;
    const std::vector<AttachedMeta>& metas = m.AttachedMetas;
    for (std::int64_t r = 1; r <= static_cast<std::int64_t>(m.EventCount) + 1; ++r) {
        const EventRecord f = m.Notes.Values(r);
        const std::int64_t row = r - 1;
        while (attached < metas.size() && metas[attached].row < row) ++attached;
        if (f.Status == 0) continue;  // a deleted record: not even its delta time is written

        std::int64_t carried = 0;
        std::size_t last = attached;
        for (; last < metas.size() && metas[last].row == row; ++last) carried += metas[last].delta;

        if (IsMetaOrSysexRow(f)) {
            PutSpan(out, file, m.EventSpanStart[row], m.EventSpanEnd[row]);
        } else {
            PutChannelEvent(out, m, plan, f);
        }
        if (f.Delta >= 0) out += DeltaBytes(std::max<std::int64_t>(0, f.Delta - carried));
        for (; attached < last; ++attached) {
            PutSpan(out, file, metas[attached].start, metas[attached].end);
            out += DeltaBytes(metas[attached].delta);
        }
    }
}

// Ends the rebuilt track (whose chunk starts at 1-based position `start`), gives it its new length, copies the
// tracks after it, and for a copy counts the new track in the header.
void CloseTrack(std::string& out, const Bytes& file, const SongModel& m, const Rebuild& plan, std::int64_t start) {
    out.append("\xFF\x2F\x00", 3);
    const std::int64_t end = static_cast<std::int64_t>(out.size());  // the position of the last byte
    const std::int64_t nextTrack = std::min<std::int64_t>(m.TrackStart[m.CurrentTrack + 1], m.FileLength + 1);
    std::int64_t length = 0;
    if (plan.copy) {
        length = end - start - 7;
    } else {
        length = ChunkDataLength(m.TrackHeaders[m.CurrentTrack].data()) + (end - nextTrack + 1);
        PutSpan(out, file, nextTrack, m.FileLength);
    }
    PatchLength(out, start, length);
    if (plan.copy) {
        const int tracks = m.TracksFound + 1;
        out[10] = static_cast<char>((tracks >> 8) & 0xFF);
        out[11] = static_cast<char>(tracks & 0xFF);
        // Two tracks in a single-track file would not be a valid file: it becomes a multi-track one.
        if (out[9] == 0) out[9] = 1;
    }
}

}  // namespace

std::string DeltaBytes(std::int64_t ticks) {
    if (ticks < 0) ticks = 0;
    if (ticks > 0x0FFFFFFF) ticks = 0x0FFFFFFF;  // the largest four-byte number
    int groups = 1;
    while (groups < 4 && (ticks >> (7 * groups)) != 0) ++groups;
    std::string out;
    for (int g = groups - 1; g >= 0; --g) Put(out, ((ticks >> (7 * g)) & 0x7F) | (g > 0 ? 0x80 : 0));
    return out;
}

int ChooseNewChannel(const SongModel& m) {
    const bool drumSource = m.DrumTrack[m.CurrentTrack] == 1;
    for (int channel = 0; channel <= 15; ++channel) {
        if (m.ChannelUsed[channel] != 0) continue;
        if (m.EditMode == RewriteMode::CopyTrack) return channel;
        if (drumSource && channel != kDrumChannel) return channel;
        if (!drumSource && channel == kDrumChannel) return channel;
    }
    return -1;
}

void RewriteTrack(EditSession& s) {
    SongModel& m = s.song;
    const std::optional<Rebuild> plan = PlanRebuild(s);
    if (!plan) return;
    if (!plan->copy && m.FirstChannelEventPos < 1) return;  // nothing recorded: nothing to rebuild

    m.NotesFileInUse = 1;
    const auto workingPath = s.WorkFile(m.TempFileName);
    const std::optional<Bytes> read = ReadWholeFile(workingPath);
    if (!read) {
        s.Message(workingPath.string() + " could not be read", Icon::Critical);
        return;
    }
    const Bytes& file = *read;
    m.FileLength = static_cast<std::int64_t>(file.size());

    std::string out;
    out.reserve(file.size() + 1024);
    // Everything before the track's first recorded event is copied unchanged (in a copy: the whole file).
    const std::int64_t before = plan->copy ? static_cast<std::int64_t>(m.FileLength) : static_cast<std::int64_t>(m.FirstChannelEventPos) - 1;
    PutSpan(out, file, 1, before);
    std::int64_t start = m.TrackStart[m.CurrentTrack];
    if (plan->copy) {
        start = static_cast<std::int64_t>(out.size()) + 1;
        out.append("MTrk\0\0\0\0\0", 9);  // a length to patch, and no time before the first event
    }
    if (plan->drumSource) {
        Put(out, 0xC0 + plan->newChannel);
        Put(out, kDrumProgram);
        Put(out, 0);
    }
    PutRecords(out, file, m, *plan);
    CloseTrack(out, file, m, *plan, start);
    if (static_cast<std::int64_t>(out.size()) < kHeaderSize) return;
    if (!ReplaceWorkingCopy(s, out)) return;
    if (plan->copy) {
        m.TrackCount = m.TracksFound + 1;
        std::copy_n(out.begin(), m.HeaderChunk.size(), m.HeaderChunk.begin());
        m.FileFormat = m.HeaderChunk[9];
    }
    m.FileLength = static_cast<std::int64_t>(out.size());
    ReadTrackChunks(s);
}

}  // namespace sonivex
