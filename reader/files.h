// Small file-system helpers: whole-file and ranged reads, existence, removal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
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

// Copies a file in blocks, replacing the target. False when either side fails.
bool CopyFileBlocks(const std::filesystem::path& from, const std::filesystem::path& to);

// True for an existing regular file (read-only and hidden files included).
bool FileExists(const std::filesystem::path& path);

// Deletes a file when it is there; a missing file is no error.
void RemoveIfPresent(const std::filesystem::path& path);

// The text lines of a file, each without its line end (CR LF, LF or a lone CR). Nothing when it cannot be
// opened.
std::optional<std::vector<std::string>> ReadTextLines(const std::filesystem::path& path);

}  // namespace sonivex
