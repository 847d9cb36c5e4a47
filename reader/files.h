// Small file-system helpers: whole-file and ranged reads, existence, removal.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sonivex {

using Bytes = std::vector<std::uint8_t>;

// A run of bytes with what keeps them alive: a view into bytes that its owner shares (a held working copy,
// which a repair may replace while a track is being read), or bytes of its own.
struct SharedBytes {
    std::shared_ptr<const void> keep;
    std::span<const std::uint8_t> view;

    static SharedBytes Own(Bytes bytes) {
        auto own = std::make_shared<const Bytes>(std::move(bytes));
        const std::span<const std::uint8_t> view(*own);
        return {std::move(own), view};
    }
};

// The bytes seen as text, for writing.
inline std::string_view AsText(const Bytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The whole file, or nothing when it cannot be opened.
std::optional<Bytes> ReadWholeFile(const std::filesystem::path& path);

// Up to `count` bytes from the 0-based `offset`; fewer at the end of the file.
std::optional<Bytes> ReadFileRange(const std::filesystem::path& path, std::uint64_t offset, std::uint64_t count);

// Writes the bytes as the whole file, replacing it. False when it cannot be written.
bool WriteWholeFile(const std::filesystem::path& path, const Bytes& bytes);

bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);

// A file descriptor, closed when it goes out of scope (which also ends a lock taken through it). Move-only;
// -1 holds none.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = other.release();
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Close(); }

    int get() const { return fd_; }
    // Hands the descriptor over to a new owner.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    void Close();
    int fd_;
};

// The names in the open folder `folder` ("." and ".." left out); none when it cannot be read.
std::vector<std::string> NamesInFolder(int folder);

// A name part that no other process or run has: "PID-RANDOM", this process's id, a dash and 16 lower-case hex
// digits. Scratch files and run folders carry it, so a leftover tells whose it was.
std::string UniqueNamePart();

// The process id in such a name part; nothing for any other text.
std::optional<int> ProcessOfNamePart(std::string_view part);

// The system's text for an error number ("No space left on device").
std::string SystemReason(int error);

// A file made new for this process alone: created exclusively (never through a link, never over a file that
// is there) under a name that holds the process's id and a random part, `prefix` + "PID-RANDOM" + `suffix`, in
// `folder`. It is removed when this object goes, unless it was renamed into place. Move-only.
class ExclusiveFile {
public:
    // Makes the file with `mode` (the umask applies). Nothing, with the system's error number in `error`, when it
    // cannot be made.
    static std::optional<ExclusiveFile> Create(const std::filesystem::path& folder, const std::string& prefix,
                                               const std::string& suffix, unsigned mode, int& error);

    ExclusiveFile(ExclusiveFile&& other) noexcept;
    ExclusiveFile& operator=(ExclusiveFile&&) = delete;
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;
    ~ExclusiveFile();

    int Descriptor() const { return fd_; }
    const std::filesystem::path& Path() const { return path_; }

    // Gives the file the permission bits of the regular file `replaced` (and its group, where this process may
    // set it), when there is one. False, with the error number, when the bits cannot be set.
    bool TakeModeOf(const std::filesystem::path& replaced, int& error);
    // Writes the bytes whole. False, with the error number, when a write fails.
    bool WriteAllOf(std::string_view bytes, int& error);
    // Closes the file and gives it the name `target`, replacing what has that name (a link there is replaced,
    // not followed); with Flush::ToDisk its bytes reach the disk first. False, with the error number, when that
    // fails; the file is then removed.
    enum class Flush { No, ToDisk };
    bool RenameTo(const std::filesystem::path& target, int& error, Flush flush = Flush::No);

private:
    ExclusiveFile(std::filesystem::path path, int fd) : path_(std::move(path)), fd_(fd) {}

    std::filesystem::path path_;
    int fd_ = -1;
};

// How replacing a file through a scratch file went, and the system's error number where it failed.
enum class Replaced { Done, SourceNotRead, ScratchNotWritten, NotRenamed };
struct Replacement {
    Replaced status = Replaced::Done;
    int error = 0;
};

// Where a scratch file beside its target is made and how it is named (see ExclusiveFile).
struct ScratchName {
    std::filesystem::path folder;
    std::string prefix;
    std::string suffix;
};

// The path that `path` names once every link on it is followed (the target of a link, or of a chain of links,
// which may not exist yet); `path` itself when it is no link. Only links of this user's own (or the system's)
// are followed: the chain stops at another user's link, which is returned. A chain that never ends is taken
// as it stands.
std::filesystem::path FollowLinks(const std::filesystem::path& path);

// Writes `bytes` whole to a new scratch file, then gives it the name `file`, so `file` is either the old one or
// the whole new one; a file replaced keeps its permission bits (ExclusiveFile::TakeModeOf). The scratch file
// does not remain after a failure.
Replacement ReplaceThroughScratch(const std::filesystem::path& file, const ScratchName& scratch,
                                  std::string_view bytes);

// Copies the file `from` to a new scratch file, then gives it the name `to` in the same way. The scratch file
// is made with `mode`; a failure to read `from` is SourceNotRead.
Replacement CopyThroughScratch(const std::filesystem::path& from, const std::filesystem::path& to,
                               const ScratchName& scratch, unsigned mode);

// Writes `size` bytes to the open file `fd`, going on after short writes and signals. Returns how many were
// written: fewer only when a write failed (a full disk, a closed pipe).
std::size_t WriteAll(int fd, const void* data, std::size_t size);

// Copies the open file `in` into the open file `out` from their current positions: the system copies it where
// it can, else it goes through a buffer in blocks. False, with the error number, when either side fails.
bool CopyOpenFile(int in, int out, int& error);

// Copies a file, replacing the target; the system copies it where it can, else it goes through a buffer in
// blocks. False when either side fails.
bool CopyFileBlocks(const std::filesystem::path& from, const std::filesystem::path& to);

// A file's bytes in memory, read-only: a large file mapped where it can be (mapping a page of a file that was
// just written costs a small part of reading it into fresh memory), else read; or bytes given. The bytes stay
// as they were when it was made, whatever happens to the file by its name later, as long as the file is only
// ever replaced by renaming another over it and never written or cut in place (the working copy, in a run
// folder of its own, is replaced only through its scratch file).
class FileBytes {
public:
    explicit FileBytes(Bytes bytes) : bytes_(std::move(bytes)) {}
    // The file's bytes; nothing when it cannot be read.
    static std::optional<FileBytes> Of(const std::filesystem::path& path);

    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes();

    std::span<const std::uint8_t> View() const {
        return mapped_ != nullptr ? std::span<const std::uint8_t>(mapped_, mappedSize_) : std::span<const std::uint8_t>(bytes_);
    }

private:
    FileBytes(const std::uint8_t* mapped, std::size_t size) : mapped_(mapped), mappedSize_(size) {}
    void Unmap();

    Bytes bytes_;
    const std::uint8_t* mapped_ = nullptr;
    std::size_t mappedSize_ = 0;
};

// True for an existing regular file (read-only and hidden files included).
bool FileExists(const std::filesystem::path& path);

// Deletes a file when it is there; a missing file is no error.
void RemoveIfPresent(const std::filesystem::path& path);

// The text lines of a file, each without its line end (CR LF, LF or a lone CR). Nothing when it cannot be
// opened.
std::optional<std::vector<std::string>> ReadTextLines(const std::filesystem::path& path);

// The lines of text files that are read again and again (the program's data files, at every report), kept
// while each file stays as it was: a file whose size, modification or change time or identity differs is
// read again, so an edited file is seen at the next read; a batch of songs reads each file once.
class TextFileCache {
public:
    // The file's lines as ReadTextLines gives them; none when it cannot be read.
    std::shared_ptr<const std::vector<std::string>> Lines(const std::filesystem::path& path);

private:
    struct Entry {
        std::filesystem::path path;
        std::array<std::int64_t, 7> stamp;  // device, inode, size, modification and change times
        std::shared_ptr<const std::vector<std::string>> lines;
    };
    std::vector<Entry> entries_;
};

}  // namespace sonivex
