#include "writer.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "reader/files.h"
#include "reader/parse.h"

namespace sonivex {

namespace {

// A row that the writer copies back as the event's own bytes.
bool IsMetaOrSysexRow(const EventRecord& f) {
    const std::int32_t status = f.Status;
    return f.IsText() || status == kTempoRow || status == kTimeSignatureRow || status == kSysexRow ||
           status == kSysexContinuationRow || status == -kSysexRow || status == -kSysexContinuationRow;
}

void Put(std::string& out, std::int64_t byte) { out += static_cast<char>(byte & 0xFF); }

using FileView = std::span<const std::uint8_t>;

// The bytes of the working copy from 1-based position `from` to `to`, both included; none when the span lies
// outside the file.
FileView Span(FileView file, std::int64_t from, std::int64_t to) {
    if (from < 1 || to < from || to > static_cast<std::int64_t>(file.size())) return {};
    return file.subspan(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from + 1));
}

void PutSpan(std::string& out, FileView file, std::int64_t from, std::int64_t to) {
    const FileView span = Span(file, from, to);
    out.append(reinterpret_cast<const char*>(span.data()), span.size());
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
    int newChannel;   // the channel the moved events go to (when any move)
    const DrumNoteMap* drumMap;  // the new drum keys of a substitution
};

// The rebuild that `mode` asks for; nothing (after a message) when no track or channel is free.
std::optional<Rebuild> PlanRebuild(EditSession& s, RewriteMode mode) {
    const SongModel& m = s.song;
    Rebuild plan{mode, mode == RewriteMode::CopyTrack, false, 0, &s.drumNoteMap};
    const bool moves = plan.copy || plan.mode == RewriteMode::SwitchDrumMelody;
    if (plan.copy && m.TracksFound >= kMaxTracks) {
        s.Message("Too many tracks");
        return std::nullopt;
    }
    if (moves) {
        const std::optional<int> channel = ChooseNewChannel(m, mode);
        if (!channel) {
            s.Message("No free channel");
            return std::nullopt;
        }
        plan.newChannel = *channel;
    }
    plan.drumSource = moves && m.DrumRowDone;
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
        const bool substitutes = plan.mode == RewriteMode::SubstituteDrums && f.IsNote() && m.DrumRowDone;
        if (substitutes && data <= 127) data = (*plan.drumMap)[data];
        Put(out, data);
    }
    if (f.Data2 >= 0) Put(out, f.Data2);
}

// Every record of the track with its delta time, each followed by the meta events that followed it in the
// source, with their own deltas.
void PutRecords(std::string& out, FileView file, const SongModel& m, const Rebuild& plan) {
    std::size_t attached = 0;
    const std::vector<AttachedMeta>& metas = m.AttachedMetas;
    for (std::int64_t r = 1; r <= static_cast<std::int64_t>(m.RecordCount); ++r) {
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

// The new data length of the rebuilt track `track` (from its chunk header to its End of Track), whose chunk
// started at `start` and ended before `nextTrack` in the working copy.
std::int64_t RebuiltLength(const SongModel& m, const Rebuild& plan, const std::string& track, std::int64_t start,
                           std::int64_t nextTrack) {
    const auto size = static_cast<std::int64_t>(track.size());
    if (plan.copy) return size - 8;
    // The declared length changes by as much as the track grew, whatever it declared.
    return ChunkDataLength(m.TrackHeaders[m.CurrentTrack].data()) + (start + size - nextTrack);
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

std::optional<int> ChooseNewChannel(const SongModel& m, RewriteMode mode) {
    const bool drumSource = m.DrumRowDone;
    for (int channel = 0; channel <= 15; ++channel) {
        if (m.ChannelUsed[static_cast<std::size_t>(channel)]) continue;
        if (mode == RewriteMode::CopyTrack) return channel;
        if (drumSource && channel != kDrumChannel) return channel;
        if (!drumSource && channel == kDrumChannel) return channel;
    }
    return std::nullopt;
}

SongRewrite::SongRewrite(EditSession& s) : session_(s) {
    held_.emplace(s);
    file_ = held_->View();
    if (!file_.empty()) std::memcpy(header_.data(), file_.data(), std::min(file_.size(), header_.size()));
    findings_ = WalkTrackChunks(file_, s.song.TrackCount, s.song.FileTitle).findings;
}

bool SongRewrite::RebuildTrack(RewriteMode mode, ChunkMessages messages) {
    EditSession& s = session_;
    SongModel& m = s.song;
    const std::optional<Rebuild> plan = PlanRebuild(s, mode);
    if (!plan) return false;
    if (!plan->copy && !m.FirstChannelEventPos) return false;  // nothing recorded: nothing to rebuild

    m.NotesFileInUse = true;
    if (!held_ || file_.empty()) {
        s.Message(s.WorkFile(m.TempFileName).string() + " could not be read", Icon::Critical);
        return false;
    }
    const auto fileLength = static_cast<std::int64_t>(file_.size());
    m.FileLength = fileLength;
    const std::int64_t start = m.TrackStart[m.CurrentTrack];
    const std::int64_t nextTrack = std::min<std::int64_t>(m.TrackStart[m.CurrentTrack + 1], fileLength + 1);
    // What comes before the rebuilt chunk is copied unchanged: the whole file for a copy, else the bytes up to
    // the track's chunk header. The header and the events before the first recorded one start the track.
    const std::int64_t unchangedTo = plan->copy ? fileLength : start - 1;
    if (unchangedTo < copied_) return false;  // tracks out of order: a programming mistake

    track_.clear();
    if (plan->copy) {
        track_.append("MTrk\0\0\0\0\0", 9);  // a length to patch, and no time before the first event
    } else {
        PutSpan(track_, file_, start, static_cast<std::int64_t>(*m.FirstChannelEventPos) - 1);
    }
    if (plan->drumSource) {
        Put(track_, 0xC0 + plan->newChannel);
        Put(track_, kDrumProgram);
        Put(track_, 0);
    }
    PutRecords(track_, file_, m, *plan);
    track_.append("\xFF\x2F\x00", 3);
    if (track_.size() >= 8) {
        SetChunkDataLength(reinterpret_cast<std::uint8_t*>(track_.data()),
                           RebuiltLength(m, *plan, track_, start, nextTrack));
    }
    if (plan->copy) {
        const int tracks = m.TracksFound + 1;
        header_[10] = static_cast<std::uint8_t>((tracks >> 8) & 0xFF);
        header_[11] = static_cast<std::uint8_t>(tracks & 0xFF);
        // Two tracks in a single-track file would not be a valid file: it becomes a multi-track one.
        if (header_[9] == 0) header_[9] = 1;
        tracksAfterCopy_ = tracks;
    }

    if (!out_) {
        out_.emplace(s);
        out_->Append(FileView(header_).first(std::min(file_.size(), header_.size())));
    }
    out_->Append(Span(file_, copied_ + 1, unchangedTo));
    out_->Append(track_);
    copied_ = plan->copy ? fileLength : nextTrack - 1;

    const auto track = static_cast<std::size_t>(static_cast<int>(m.CurrentTrack));
    if (rebuilt_.size() <= track) rebuilt_.resize(track + 1, false);
    rebuilt_[track] = true;
    if (messages == ChunkMessages::Show) {
        for (const ChunkFinding& finding : findings_) {
            const auto about = static_cast<std::size_t>(finding.track);
            if (finding.track > 0 && about < rebuilt_.size() && rebuilt_[about]) continue;
            ShowChunkFinding(s, finding);
        }
    }
    return true;
}

void SongRewrite::Finish(ChunkMessages messages) {
    SongModel& m = session_.song;
    if (out_) {
        const auto fileLength = static_cast<std::int64_t>(file_.size());
        out_->Append(Span(file_, copied_ + 1, fileLength));  // the tracks after the last one rebuilt
        const std::uint64_t size = out_->Size();
        file_ = {};
        if (size >= header_.size() && out_->Commit()) {
            if (tracksAfterCopy_) {
                m.TrackCount = *tracksAfterCopy_;
                std::copy_n(header_.begin(), m.HeaderChunk.size(), m.HeaderChunk.begin());
                m.FileFormat = m.HeaderChunk[9];
            }
            m.FileLength = static_cast<std::int64_t>(size);
            out_.reset();
            ReadTrackChunks(session_, messages);
        }
    }
    out_.reset();
    held_.reset();
    file_ = {};
}

void RewriteTrack(EditSession& s, RewriteMode mode) {
    SongRewrite rewrite(s);
    rewrite.RebuildTrack(mode, ChunkMessages::Skip);
    rewrite.Finish(ChunkMessages::Show);
}

void RewriteTracks(EditSession& s, const std::function<void(SongRewrite&)>& work) {
    SongRewrite rewrite(s);
    try {
        work(rewrite);
    } catch (...) {
        rewrite.Finish(ChunkMessages::Skip);
        throw;
    }
    rewrite.Finish(ChunkMessages::Skip);
}

bool WritePatchedSong(EditSession& s, const SongPatch& patch) {
    SongModel& m = s.song;
    const WorkingCopyHeld held(s);
    const FileView file = held.View();
    if (file.empty()) {
        s.Message(s.WorkFile(m.TempFileName).string() + " could not be read", Icon::Critical);
        return false;
    }
    // Every byte that changes where it stands: the replacements, and the length fields of the chunks that grow.
    std::map<std::size_t, std::uint8_t> replaced;
    for (const SongPatch::Replacement& r : patch.replacements) {
        if (r.offset < file.size()) replaced[r.offset] = r.byte;
    }
    std::map<std::size_t, std::int64_t> growth;
    for (const SongPatch::Insertion& insertion : patch.insertions) {
        growth[insertion.chunk] += static_cast<std::int64_t>(insertion.bytes.size());
    }
    for (const auto& [chunk, added] : growth) {
        if (chunk + 8 > file.size()) return false;  // no such chunk: a programming mistake
        std::array<std::uint8_t, 8> header{};
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(chunk), header.size(), header.begin());
        const std::int64_t length = ChunkDataLength(header.data()) + added;
        if (length > 0xFFFFFF) {
            s.Message("A track would grow beyond 16,777,215 bytes: the song was left as it was.", Icon::Warning);
            return false;
        }
        SetChunkDataLength(header.data(), length);
        for (std::size_t i = 5; i < header.size(); ++i) replaced[chunk + i] = header[i];
    }
    std::vector<const SongPatch::Insertion*> insertions;
    for (const SongPatch::Insertion& insertion : patch.insertions) insertions.push_back(&insertion);
    // Bytes inserted at one place keep the order the patch gives them.
    std::stable_sort(insertions.begin(), insertions.end(),
                     [](const auto* a, const auto* b) { return a->before < b->before; });

    NewWorkingCopy out(s);
    std::size_t at = 0;
    auto next = replaced.begin();
    // Copies the working copy up to `end`, changed bytes changed.
    const auto copyTo = [&](std::size_t end) {
        for (; next != replaced.end() && next->first < end; ++next) {
            out.Append(file.subspan(at, next->first - at));
            const std::uint8_t byte = next->second;
            out.Append(std::span<const std::uint8_t>(&byte, 1));
            at = next->first + 1;
        }
        if (end > at) out.Append(file.subspan(at, end - at));
        at = std::max(at, end);
    };
    for (const SongPatch::Insertion* insertion : insertions) {
        copyTo(std::min(insertion->before, file.size()));
        out.Append(insertion->bytes);
    }
    copyTo(file.size());
    const std::uint64_t size = out.Size();
    if (!out.Commit()) return false;
    m.FileLength = static_cast<std::int64_t>(size);
    ReadTrackChunks(s, ChunkMessages::Skip);
    return true;
}

}  // namespace sonivex
