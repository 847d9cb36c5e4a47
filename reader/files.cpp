#include "files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <limits>
#include <memory>
#include <system_error>
#include <utility>

namespace sonivex {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenFile(const std::filesystem::path& path, const char* mode) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return nullptr;
    return FilePtr(std::fopen(path.c_str(), mode));
}

// Reads up to `size` bytes at `at` (from the current position when `at` is negative), retrying after signals
// and short reads; fewer only at the end of the file or on an error.
std::size_t ReadAt(int fd, std::uint8_t* into, std::size_t size, off_t at) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = at < 0 ? ::read(fd, into + done, size - done)
                                 : ::pread(fd, into + done, size - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// Reads up to `count` bytes from `offset` of the open file `fd`, which fstat described as `info`.
Bytes ReadOpenFile(const FileDescriptor& fd, const struct stat& info, std::uint64_t offset, std::uint64_t count) {
    Bytes out;
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return out;
    auto at = static_cast<off_t>(offset);
    // What the file holds from there is read straight into place at once; a file that cannot tell its size
    // (or grew meanwhile) gives the rest block by block.
    if (S_ISREG(info.st_mode)) {
        const auto size = static_cast<std::uint64_t>(info.st_size);
        out.resize(static_cast<std::size_t>(size > offset ? std::min(count, size - offset) : 0));
        const std::size_t got = ReadAt(fd.get(), out.data(), out.size(), at);
        if (got < out.size()) {
            out.resize(got);
            return out;
        }
        count -= got;
        at += static_cast<off_t>(got);
    } else if (offset > 0 && ::lseek(fd.get(), at, SEEK_SET) < 0) {
        return out;  // a pipe or a device that cannot skip to the offset
    }
    // Block by block through a small buffer, so that a file that has nothing more costs one short read.
    std::uint8_t block[4096];
    while (count > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof block));
        const std::size_t got = ReadAt(fd.get(), block, want, S_ISREG(info.st_mode) ? at : -1);
        out.insert(out.end(), block, block + got);
        if (got < want) break;
        count -= got;
        at += static_cast<off_t>(got);
    }
    return out;
}

}  // namespace

std::optional<Bytes> ReadFileRange(const std::filesystem::path& path, std::uint64_t offset, std::uint64_t count) {
    // Plain system calls: a song is read with four of them (open, fstat, read, close), and a run reads several
    // small files.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
    return ReadOpenFile(fd, info, offset, count);
}

std::optional<Bytes> ReadWholeFile(const std::filesystem::path& path) {
    return ReadFileRange(path, 0, UINT64_MAX);
}

bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes) {
    FilePtr f = OpenFile(path, "wb");
    if (!f) return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) return false;
    return std::fflush(f.get()) == 0;
}

bool WriteWholeFile(const std::filesystem::path& path, const Bytes& bytes) {
    return WriteWholeFile(path, AsText(bytes));
}

void FileDescriptor::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::vector<std::string> NamesInFolder(int folder) {
    std::vector<std::string> names;
    const int listing = ::dup(folder);
    if (listing < 0) return names;
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

namespace {

constexpr std::size_t kRandomDigits = 16;

}  // namespace

std::string UniqueNamePart() {
    // Eight bytes from the kernel's generator: one system call, where opening a random device per name would
    // cost a file for every scratch file made.
    std::uint32_t words[2] = {0, 0};
    if (::getrandom(words, sizeof words, 0) != static_cast<ssize_t>(sizeof words)) {
        std::random_device device;
        std::uniform_int_distribution<std::uint32_t> any;
        words[0] = any(device);
        words[1] = any(device);
    }
    char random[24];
    std::snprintf(random, sizeof random, "%08x%08x", words[0], words[1]);
    return std::to_string(::getpid()) + "-" + random;
}

std::optional<int> ProcessOfNamePart(std::string_view part) {
    const std::size_t dash = part.find('-');
    if (dash == 0 || dash == std::string_view::npos || part.size() - dash - 1 != kRandomDigits) return std::nullopt;
    const std::string_view random = part.substr(dash + 1);
    if (!std::all_of(random.begin(), random.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); })) {
        return std::nullopt;
    }
    int pid = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + dash, pid);
    if (error != std::errc() || end != part.data() + dash || pid <= 0) return std::nullopt;
    return pid;
}

std::string SystemReason(int error) { return std::strerror(error); }

std::optional<ExclusiveFile> ExclusiveFile::Create(const std::filesystem::path& folder, const std::string& prefix,
                                                   const std::string& suffix, unsigned mode, int& error) {
    // A name that is taken already (by a file, a link or another process's scratch) is never opened: another
    // random part is tried.
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::filesystem::path path = folder / (prefix + UniqueNamePart() + suffix);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) return ExclusiveFile(std::move(path), fd);
        if (errno != EEXIST) break;
    }
    error = errno;
    return std::nullopt;
}

ExclusiveFile::ExclusiveFile(ExclusiveFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {
    other.path_.clear();
}

ExclusiveFile::~ExclusiveFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
}

bool ExclusiveFile::TakeModeOf(const std::filesystem::path& replaced, int& error) {
    struct stat info {};
    if (::stat(replaced.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return true;
    // The group first: changing it may clear the set-id bits, which the mode then puts back. A group that is
    // not this process's to give leaves this user's, as on any new file.
    if (::fchown(fd_, static_cast<uid_t>(-1), info.st_gid) != 0) errno = 0;
    if (::fchmod(fd_, info.st_mode & 07777) == 0) return true;
    error = errno;
    return false;
}

bool ExclusiveFile::WriteAllOf(std::string_view bytes, int& error) {
    errno = 0;
    if (WriteAll(fd_, bytes.data(), bytes.size()) == bytes.size()) return true;
    error = errno != 0 ? errno : EIO;
    return false;
}

bool ExclusiveFile::RenameTo(const std::filesystem::path& target, int& error, Flush flush) {
    // A kept file's bytes reach the disk before its name does, so a crash never leaves it empty or cut short.
    const bool flushed = flush == Flush::No || ::fdatasync(fd_) == 0 || errno == EINVAL || errno == EROFS;
    const int flushError = errno;
    const bool closed = ::close(std::exchange(fd_, -1)) == 0;
    if (!flushed || !closed) {
        error = !flushed ? flushError : errno;
        return false;  // the destructor removes the file
    }
    if (::rename(path_.c_str(), target.c_str()) != 0) {
        error = errno;
        return false;
    }
    path_.clear();
    return true;
}

namespace {

// The scratch file's mode for a file that will take the place of the one at `file`: a new file gets what the
// umask allows.
constexpr unsigned kNewFileMode = 0666;

}  // namespace

std::filesystem::path FollowLinks(const std::filesystem::path& path) {
    constexpr int kLongestChain = 40;  // as the system's own limit
    std::filesystem::path at = path;
    for (int step = 0; step < kLongestChain; ++step) {
        struct stat info {};
        if (::lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return at;
        // Another user's link (planted in a folder others can write to) is never followed.
        if (info.st_uid != ::geteuid() && info.st_uid != 0) return at;
        std::error_code ec;
        const std::filesystem::path next = std::filesystem::read_symlink(at, ec);
        if (ec) return at;
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    return path;
}

Replacement ReplaceThroughScratch(const std::filesystem::path& file, const ScratchName& scratch,
                                  std::string_view bytes) {
    int error = 0;
    std::optional<ExclusiveFile> out = ExclusiveFile::Create(scratch.folder, scratch.prefix, scratch.suffix,
                                                             kNewFileMode, error);
    if (!out || !out->TakeModeOf(file, error) || !out->WriteAllOf(bytes, error)) {
        return {Replaced::ScratchNotWritten, error};
    }
    if (!out->RenameTo(file, error)) return {Replaced::NotRenamed, error};
    return {};
}

Replacement CopyThroughScratch(const std::filesystem::path& from, const std::filesystem::path& to,
                               const ScratchName& scratch, unsigned mode) {
    const FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0) return {Replaced::SourceNotRead, errno};
    struct stat info {};
    if (::fstat(in.get(), &info) != 0) return {Replaced::SourceNotRead, errno};
    if (!S_ISREG(info.st_mode)) return {Replaced::SourceNotRead, S_ISDIR(info.st_mode) ? EISDIR : EINVAL};
    int error = 0;
    std::optional<ExclusiveFile> out = ExclusiveFile::Create(scratch.folder, scratch.prefix, scratch.suffix, mode, error);
    if (!out) return {Replaced::ScratchNotWritten, error};
    if (!CopyOpenFile(in.get(), out->Descriptor(), error)) {
        // A read that failed is the source's fault; a write that failed, the scratch file's.
        return {error == EIO || error == EISDIR ? Replaced::SourceNotRead : Replaced::ScratchNotWritten, error};
    }
    if (!out->RenameTo(to, error)) return {Replaced::NotRenamed, error};
    return {};
}

bool CopyOpenFile(int in, int out, int& error) {
    // The system copies from file to file without the bytes passing through the program; where it cannot
    // (another kind of file system, a pipe), a buffer takes them in blocks from where it stopped.
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF) {
                error = errno;
                return false;
            }
            break;
        }
    }
    std::vector<char> block(1 << 16);
    for (;;) {
        const ssize_t got = ::read(in, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = errno == EISDIR ? EISDIR : EIO;
            return false;
        }
        if (got == 0) return true;
        const auto size = static_cast<std::size_t>(got);
        errno = 0;
        if (WriteAll(out, block.data(), size) != size) {
            error = errno != 0 ? errno : EIO;
            return false;
        }
    }
}

bool CopyFileBlocks(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code ec;
    if (std::filesystem::is_directory(to, ec)) return false;
    const ScratchName scratch{to.parent_path().empty() ? "." : to.parent_path(), "." + to.filename().string() + ".",
                              ".copying"};
    return CopyThroughScratch(from, to, scratch, kNewFileMode).status == Replaced::Done;
}

std::size_t WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::optional<FileBytes> FileBytes::Of(const std::filesystem::path& path) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
    // A small file is read: mapping and unmapping it would cost more than the pages it saves.
    constexpr off_t kSmallestMapped = 256 * 1024;
    if (S_ISREG(info.st_mode) && info.st_size >= kSmallestMapped) {
        const auto size = static_cast<std::size_t>(info.st_size);
        void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
        if (mapped != MAP_FAILED) return FileBytes(static_cast<const std::uint8_t*>(mapped), size);
    }
    return FileBytes(ReadOpenFile(fd, info, 0, UINT64_MAX));
}

FileBytes::FileBytes(FileBytes&& other) noexcept
    : bytes_(std::move(other.bytes_)), mapped_(std::exchange(other.mapped_, nullptr)),
      mappedSize_(std::exchange(other.mappedSize_, 0)) {}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        Unmap();
        bytes_ = std::move(other.bytes_);
        mapped_ = std::exchange(other.mapped_, nullptr);
        mappedSize_ = std::exchange(other.mappedSize_, 0);
    }
    return *this;
}

FileBytes::~FileBytes() { Unmap(); }

void FileBytes::Unmap() {
    if (mapped_ != nullptr) ::munmap(const_cast<std::uint8_t*>(mapped_), mappedSize_);
    mapped_ = nullptr;
    mappedSize_ = 0;
}

bool FileExists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

void RemoveIfPresent(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

std::shared_ptr<const std::vector<std::string>> TextFileCache::Lines(const std::filesystem::path& path) {
    struct stat info{};
    if (::stat(path.c_str(), &info) != 0) return nullptr;
    const std::array<std::int64_t, 7> stamp{static_cast<std::int64_t>(info.st_dev), static_cast<std::int64_t>(info.st_ino),
                                            static_cast<std::int64_t>(info.st_size), info.st_mtim.tv_sec,
                                            info.st_mtim.tv_nsec, info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
    auto entry = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.path == path; });
    if (entry != entries_.end() && entry->stamp == stamp) return entry->lines;
    std::optional<std::vector<std::string>> lines = ReadTextLines(path);
    if (!lines) return nullptr;
    auto shared = std::make_shared<const std::vector<std::string>>(std::move(*lines));
    if (entry == entries_.end()) {
        entries_.push_back({path, stamp, shared});
    } else {
        *entry = {path, stamp, shared};
    }
    return shared;
}

std::optional<std::vector<std::string>> ReadTextLines(const std::filesystem::path& path) {
    std::optional<Bytes> bytes = ReadWholeFile(path);
    if (!bytes) return std::nullopt;
    std::vector<std::string> lines;
    const char* at = reinterpret_cast<const char*>(bytes->data());
    const char* const end = at + bytes->size();
    while (at < end) {
        const char* stop = at;
        while (stop < end && *stop != '\r' && *stop != '\n') ++stop;
        lines.emplace_back(at, stop);  // the end of the file closes a last line that has no line end
        if (stop == end) break;
        at = stop + (*stop == '\r' && stop + 1 < end && stop[1] == '\n' ? 2 : 1);
    }
    return lines;
}

}  // namespace sonivex
