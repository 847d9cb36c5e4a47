#include "files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <system_error>

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

}  // namespace

std::optional<Bytes> ReadFileRange(const std::filesystem::path& path, std::uint64_t offset, std::uint64_t count) {
    FilePtr f = OpenFile(path, "rb");
    if (!f) return std::nullopt;
    Bytes out;
    if (std::fseek(f.get(), static_cast<long>(offset), SEEK_SET) != 0) return out;
    // What the file holds from there is read straight into place at once; a file that cannot tell its size
    // (or grew meanwhile) gives the rest block by block.
    struct stat info {};
    if (::fstat(::fileno(f.get()), &info) == 0 && S_ISREG(info.st_mode)) {
        const auto size = static_cast<std::uint64_t>(info.st_size);
        out.resize(static_cast<std::size_t>(size > offset ? std::min(count, size - offset) : 0));
        const std::size_t got = std::fread(out.data(), 1, out.size(), f.get());
        if (got < out.size()) {
            out.resize(got);
            return out;
        }
        count -= got;
        const int next = count == 0 ? EOF : std::fgetc(f.get());
        if (next == EOF) return out;
        std::ungetc(next, f.get());
    }
    constexpr std::uint64_t kBlock = 1 << 16;
    while (count > 0) {
        const auto want = static_cast<std::size_t>(std::min(count, kBlock));
        const std::size_t before = out.size();
        out.resize(before + want);
        const std::size_t got = std::fread(out.data() + before, 1, want, f.get());
        out.resize(before + got);
        if (got < want) break;
        count -= got;
    }
    return out;
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

Replaced ReplaceThroughScratch(const std::filesystem::path& file, const std::filesystem::path& scratch,
                               std::string_view bytes) {
    if (!WriteWholeFile(scratch, bytes)) {
        RemoveIfPresent(scratch);
        return Replaced::ScratchNotWritten;
    }
    std::error_code ec;
    std::filesystem::rename(scratch, file, ec);
    if (ec) {
        RemoveIfPresent(scratch);
        return Replaced::NotRenamed;
    }
    return Replaced::Done;
}

bool CopyFileBlocks(const std::filesystem::path& from, const std::filesystem::path& to) {
    FilePtr in = OpenFile(from, "rb");
    if (!in) return false;
    FilePtr out = OpenFile(to, "wb");
    if (!out) return false;
    char block[65536];
    for (;;) {
        std::size_t got = std::fread(block, 1, sizeof block, in.get());
        if (got > 0 && std::fwrite(block, 1, got, out.get()) != got) return false;
        if (got < sizeof block) break;
    }
    return std::ferror(in.get()) == 0 && std::fflush(out.get()) == 0;
}

bool FileExists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

void RemoveIfPresent(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

std::optional<std::vector<std::string>> ReadTextLines(const std::filesystem::path& path) {
    std::optional<Bytes> bytes = ReadWholeFile(path);
    if (!bytes) return std::nullopt;
    std::vector<std::string> lines;
    std::string line;
    bool pending = false;  // a line has started that the end of the file closes
    for (std::size_t i = 0; i < bytes->size(); ++i) {
        char c = static_cast<char>((*bytes)[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes->size() && (*bytes)[i + 1] == '\n') ++i;
            lines.push_back(line);
            line.clear();
            pending = false;
        } else {
            line += c;
            pending = true;
        }
    }
    if (pending) lines.push_back(line);
    return lines;
}

}  // namespace sonivex
