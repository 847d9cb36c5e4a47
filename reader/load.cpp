#include "load.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <system_error>

#include "files.h"
#include "text.h"

namespace sonivex {

namespace {

constexpr int kHeaderSize = 14;
constexpr std::int64_t kLargestFile = 0x7FFFFFFF;

bool EndsWithEndOfTrack(std::span<const std::uint8_t> file, std::int64_t dataStart, std::int64_t dataEnd) {
    // dataStart and dataEnd are 1-based; the data occupies dataStart .. dataEnd - 1.
    if (dataEnd - dataStart < 3) return false;
    const std::uint8_t* last = &file[dataEnd - 4];
    return last[0] == 0xFF && last[1] == 0x2F && last[2] == 0x00;
}

// Closes everything, shows FileTitle followed by `what` and marks the file invalid.
void Fail(SongSession& s, const std::string& what) {
    s.CloseAllFiles();
    s.Message(s.song.FileTitle + what);
    s.song.FileValid = false;
}

}  // namespace

std::int64_t ChunkDataLength(const std::uint8_t* header) {
    return header[5] * 65536 + header[6] * 256 + header[7];
}

void SetChunkDataLength(std::uint8_t* header, std::int64_t length) {
    header[5] = static_cast<std::uint8_t>((length >> 16) & 0xFF);
    header[6] = static_cast<std::uint8_t>((length >> 8) & 0xFF);
    header[7] = static_cast<std::uint8_t>(length & 0xFF);
}

std::string PathTail(const std::string& path) {
    std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string LogFileName(const std::string& fileTitle) {
    std::string lower = LowerAscii(fileTitle);
    // A title too short to lose three characters keeps its whole name.
    if (lower.size() < 3) return lower + ".txt";
    return lower.substr(0, lower.size() - 3) + "txt";
}

namespace {

// The held working copy's bytes, read at the first call while something holds them; none when it cannot be
// read. Valid until the working copy is replaced or the last holder goes.
std::shared_ptr<const FileBytes> Shared(std::optional<FileBytes> bytes) {
    return bytes ? std::make_shared<const FileBytes>(std::move(*bytes)) : nullptr;
}

std::span<const std::uint8_t> HeldWorkingCopy(SongSession& s) {
    SongModel& m = s.song;
    if (!m.WorkingCopyBytes) m.WorkingCopyBytes = Shared(FileBytes::Of(s.WorkFile(m.TempFileName)));
    return m.WorkingCopyBytes ? m.WorkingCopyBytes->View() : std::span<const std::uint8_t>{};
}

}  // namespace

TrackChunkWalk WalkTrackChunks(std::span<const std::uint8_t> file, std::int64_t declaredTracks,
                               const std::string& fileTitle) {
    TrackChunkWalk walk;
    const std::int64_t length = static_cast<std::int64_t>(file.size());
    const std::string trailing = fileTitle + ":\r\nProbably unnecessary bytes at end of file. File should be OK.";
    std::int64_t next = kHeaderSize + 1;  // 1-based position of the next byte to read

    for (;;) {
        const int k = static_cast<int>(walk.headers.size());
        walk.starts.push_back(next);
        if (k > 0 && !EndsWithEndOfTrack(file, walk.starts[k - 1] + 8, next)) {
            walk.findings.push_back({k, fileTitle + ": Invalid Track Length (" + Str(k) + ")"});
        }
        const std::int64_t remaining = length - (next - 1);
        if (remaining <= 0) break;
        if (remaining < 8) {
            // Too short for a chunk header: the tail is ignored like any unnecessary bytes at the end.
            walk.findings.push_back({0, trailing});
            break;
        }
        ChunkHeader header;
        std::memcpy(header.data(), &file[next - 1], 8);
        next += 8;
        if (std::memcmp(header.data(), "MTrk", 4) != 0) {
            // Once the declared tracks are read, anything else is trailing data, even after an extra MTrk chunk.
            if (k >= declaredTracks) {
                walk.findings.push_back({0, trailing});
            } else {
                walk.findings.push_back({0, fileTitle + ": Invalid Track ID (" + Str(k + 1) + ")"});
                walk.invalid = true;
            }
            break;
        }
        if (k == kMaxTracks) {
            walk.findings.push_back({0, fileTitle + ": Too many tracks"});
            walk.invalid = true;
            break;
        }
        walk.headers.push_back(header);
        next += ChunkDataLength(header.data());
        if (next - 1 > length) {
            // The file ends inside this track: it still counts, and ends where the file ends.
            walk.starts.push_back(length + 1);
            break;
        }
    }
    return walk;
}

void ShowChunkFinding(SongSession& s, const ChunkFinding& finding) {
    s.Message(finding.text);
}

void ReadTrackChunks(SongSession& s, ChunkMessages messages) {
    SongModel& m = s.song;
    const WorkingCopyHeld held(s);  // already held in a load and a report run: walked where it lies
    const TrackChunkWalk walk = WalkTrackChunks(held.View(), m.TrackCount, m.FileTitle);
    const int found = static_cast<int>(walk.headers.size());
    m.TracksFound = found;
    for (int k = 1; k <= found; ++k) m.TrackHeaders[k] = walk.headers[static_cast<std::size_t>(k - 1)];
    for (std::size_t i = 0; i < walk.starts.size(); ++i) {
        m.TrackStart[static_cast<std::int64_t>(i) + 1] = walk.starts[i];
    }
    if (walk.invalid) m.FileValid = false;
    if (messages == ChunkMessages::Show) {
        for (const ChunkFinding& finding : walk.findings) ShowChunkFinding(s, finding);
    }
}

namespace {

// A new working copy that could not be written (or renamed into place) is counted and named in a message with
// the system's reason; the working copy is as it was.
void ShowUnwrittenWorkingCopy(SongSession& s, bool notRenamed, int error) {
    ++s.UnwrittenResults;
    const std::string what = notRenamed ? s.WorkFile(s.song.TempFileName).string() + " could not be replaced"
                                        : s.WorkFile(kScratchFileName).string() + " could not be written";
    s.Message(what + ": " + SystemReason(error) + "\r\nThe song was left as it was.", Icon::Critical);
}

ScratchName WorkingScratch(const SongSession& s) { return {s.folders.work, std::string(kScratchFileName) + ".", ""}; }

}  // namespace

bool ReplaceWorkingCopy(SongSession& s, std::string_view bytes) {
    const auto working = s.WorkFile(s.song.TempFileName);
    const Replacement replaced = ReplaceThroughScratch(working, WorkingScratch(s), bytes);
    if (replaced.status == Replaced::Done) {
        if (s.song.WorkingCopyHolders > 0) s.song.WorkingCopyBytes = std::make_shared<const FileBytes>(Bytes(bytes.begin(), bytes.end()));
        return true;
    }
    ShowUnwrittenWorkingCopy(s, replaced.status == Replaced::NotRenamed, replaced.error);
    return false;
}

namespace {

// Appends smaller than this gather in memory and are written together.
constexpr std::size_t kWriteBlock = 1 << 20;

}  // namespace

NewWorkingCopy::NewWorkingCopy(SongSession& s)
    : session_(s), out_(ExclusiveFile::Create(s.folders.work, std::string(kScratchFileName) + ".", "", 0666, error_)) {}

// The scratch file goes with the object unless it was renamed into place.
NewWorkingCopy::~NewWorkingCopy() = default;

void NewWorkingCopy::Flush() {
    if (error_ == 0 && out_ && !pending_.empty()) out_->WriteAllOf(pending_, error_);
    pending_.clear();
}

void NewWorkingCopy::Append(std::string_view bytes) {
    size_ += bytes.size();
    if (pending_.size() + bytes.size() < kWriteBlock) {
        pending_ += bytes;
        return;
    }
    Flush();
    if (bytes.size() < kWriteBlock) {
        pending_ += bytes;
    } else if (error_ == 0 && out_) {
        out_->WriteAllOf(bytes, error_);
    }
}

void NewWorkingCopy::Append(std::span<const std::uint8_t> bytes) {
    Append(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool NewWorkingCopy::Commit() {
    const auto working = session_.WorkFile(session_.song.TempFileName);
    Flush();
    const bool written = error_ == 0 && out_ && out_->TakeModeOf(working, error_);
    const bool renamed = written && out_->RenameTo(working, error_);
    out_.reset();  // a scratch file that was not renamed goes
    if (!renamed) {
        ShowUnwrittenWorkingCopy(session_, written, error_);
        return false;
    }
    // A holder reads the new working copy from the disk when it next needs it.
    if (session_.song.WorkingCopyHolders > 0) session_.song.WorkingCopyBytes.reset();
    return true;
}

Bytes ReadWorkingCopyRange(SongSession& s, std::uint64_t offset, std::uint64_t count) {
    SongModel& m = s.song;
    if (m.WorkingCopyHolders == 0) return ReadFileRange(s.WorkFile(m.TempFileName), offset, count).value_or(Bytes{});
    const std::span<const std::uint8_t> held = HeldWorkingCopy(s);
    if (offset >= held.size()) return Bytes{};
    const std::uint64_t end = offset + std::min<std::uint64_t>(count, held.size() - offset);
    return Bytes(held.begin() + static_cast<std::ptrdiff_t>(offset), held.begin() + static_cast<std::ptrdiff_t>(end));
}

SharedBytes SharedWorkingCopyRange(SongSession& s, std::uint64_t offset, std::uint64_t count) {
    if (s.song.WorkingCopyHolders == 0) return SharedBytes::Own(ReadWorkingCopyRange(s, offset, count));
    const std::span<const std::uint8_t> held = HeldWorkingCopy(s);
    if (offset >= held.size()) return {};
    return {s.song.WorkingCopyBytes, held.subspan(static_cast<std::size_t>(offset),
                                                  static_cast<std::size_t>(std::min<std::uint64_t>(count, held.size() - offset)))};
}

WorkingCopyHeld::WorkingCopyHeld(SongSession& s) : session_(s) { ++session_.song.WorkingCopyHolders; }

WorkingCopyHeld::~WorkingCopyHeld() {
    SongModel& m = session_.song;
    if (--m.WorkingCopyHolders == 0) m.WorkingCopyBytes.reset();
}

std::span<const std::uint8_t> WorkingCopyHeld::View() const { return HeldWorkingCopy(session_); }

namespace {

// Copies the song to the working copy, which is then held as written (LoadFile holds it). Nothing, or what
// went wrong for a message that follows the file's title.
std::optional<std::string> MakeWorkingCopy(SongSession& s) {
    SongModel& m = s.song;
    const std::filesystem::path working = s.WorkFile(m.TempFileName);
    // Only this user reads the working copy.
    const Replacement copied = CopyThroughScratch(m.SourcePath, working, WorkingScratch(s), 0600);
    switch (copied.status) {
    case Replaced::Done: break;
    case Replaced::SourceNotRead: return ": Cannot read the file: " + SystemReason(copied.error);
    case Replaced::ScratchNotWritten:
    case Replaced::NotRenamed:
        return ": Cannot make the working copy in " + s.folders.work.string() + ": " + SystemReason(copied.error);
    }
    m.WorkingCopyBytes = Shared(FileBytes::Of(working));
    return std::nullopt;
}

}  // namespace

void LoadFile(SongSession& s) {
    SongModel& m = s.song;
    const WorkingCopyHeld held(s);  // the new working copy is read from the disk no more than once
    m.WorkingCopyBytes.reset();     // the old one goes
    if (!m.TempFileName.empty()) {
        RemoveIfPresent(s.WorkFile(m.TempFileName));
    } else {
        // A record file left behind by an earlier version of the program is not kept.
        RemoveIfPresent(s.WorkFile(kNotesFileName));
        m.Notes.Forget();
    }
    m.TempFileName = kWorkingCopyName;
    m.FileTitle = UpperAscii(PathTail(m.SourcePath));

    std::error_code ec;
    const auto size = std::filesystem::file_size(m.SourcePath, ec);
    if (ec || size > static_cast<std::uintmax_t>(kLargestFile)) {
        Fail(s, ec ? ": Cannot read the file: " + ec.message() : ": File too large");
        return;
    }
    m.FileLength = static_cast<std::int64_t>(size);
    s.CloseAllFiles();
    if (const std::optional<std::string> problem = MakeWorkingCopy(s)) {
        Fail(s, *problem);
        return;
    }

    const Bytes head = ReadWorkingCopyRange(s, 0, kHeaderSize);
    m.HeaderChunk.fill(0);  // a file shorter than the header reads zeros for the missing bytes
    std::copy(head.begin(), head.end(), m.HeaderChunk.begin());
    const auto& h = m.HeaderChunk;
    if (std::memcmp(h.data(), "MThd", 4) != 0) return Fail(s, " is not a MID file");
    if (h[4] != 0 || h[5] != 0 || h[6] != 0 || h[7] != 6) return Fail(s, ": Invalid Header Size");
    m.FileFormat = h[9];
    if (m.FileFormat > 2) return Fail(s, ": Invalid File Format");
    const int tracks = h[10] * 256 + h[11];
    if (tracks >= 0x8000) return Fail(s, ": Invalid Number of Tracks");
    m.TrackCount = tracks;
    ReadTrackChunks(s);
    if (m.TracksFound != m.TrackCount) m.TrackCount = m.TracksFound;
    const int division = h[12] * 256 + h[13];
    m.TicksPerQuarter = static_cast<std::int16_t>(division);
    // Zero, or time-code timing (top bit set): only ticks per quarter note are supported.
    if (division == 0 || division >= 0x8000) return Fail(s, ": Invalid Number of Delta Ticks");
    s.CloseAllFiles();

    s.ShowCaption(std::string(kAppTitle) + " - " + m.FileTitle);
    std::filesystem::create_directories(s.LogFolder(), ec);
    const std::filesystem::path log = s.LogFolder() / LogFileName(m.FileTitle);
    if (!m.Log.Open(log, false) && !m.Log.Problem().empty()) {
        s.Message(log.string() + " could not be written: " + m.Log.Problem(), Icon::Warning);
    }
}

}  // namespace sonivex
