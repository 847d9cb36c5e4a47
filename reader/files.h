// Small file-system helpers: whole-file and ranged reads, existence, removal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sonivex {

using Bytes = std::vector<std::uint8_t>;

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

// How replacing a file through a scratch file went.
enum class Replaced { Done, ScratchNotWritten, NotRenamed };

// Writes `bytes` whole to `scratch`, then gives it the name `file`, so `file` is either the old one or the
// whole new one. The scratch file does not remain after a failure.
Replaced ReplaceThroughScratch(const std::filesystem::path& file, const std::filesystem::path& scratch,
                               std::string_view bytes);

// Writes `size` bytes to the open file `fd`, going on after short writes and signals. Returns how many were
// written: fewer only when a write failed (a full disk, a closed pipe).
std::size_t WriteAll(int fd, const void* data, std::size_t size);

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

}  // namespace sonivex
