#include "session.h"

#include <fcntl.h>
#include <unistd.h>

#include "name_tables.h"

namespace sonivex {

namespace {

// The log is written in blocks of this size: the block is kept in memory, made once at its full size so
// that it never moves while it fills.
constexpr std::size_t kLogBlock = 1 << 16;
constexpr std::size_t kLongestLine = 4096;  // a longer line still fits; the block then moves once

}  // namespace

bool LogFile::Open(const std::filesystem::path& path, bool append) {
    Close();
    if (off_) return false;
    path_ = path;
    // A log that replaces an older one is written over it from the start and cut to its own length at every
    // flush, instead of being emptied first: emptying a file makes the file system write the old one out.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : 0), 0666);
    if (fd >= 0) {
        file_ = ::fdopen(fd, append ? "ab" : "wb");
        if (file_ == nullptr) ::close(fd);
    }
    cutAtFlush_ = !append;
    pending_.clear();
    if (file_ != nullptr) pending_.reserve(kLogBlock + kLongestLine);
    return file_ != nullptr;
}

void LogFile::Close() {
    if (file_ == nullptr) return;
    Flush();
    std::fclose(file_);
    file_ = nullptr;
}

void LogFile::WriteLine(std::string_view line) {
    if (file_ == nullptr) return;
    pending_ += line;
    pending_ += "\r\n";
    if (pending_.size() >= kLogBlock) Flush();
}

void LogFile::Flush() {
    if (file_ == nullptr) return;
    std::fwrite(pending_.data(), 1, pending_.size(), file_);
    pending_.clear();
    std::fflush(file_);
    if (cutAtFlush_) CutAtPosition();
}

bool LogFile::CutAtPosition() {
    const long position = std::ftell(file_);
    return position >= 0 && ::ftruncate(::fileno(file_), position) == 0;
}

Folders Folders::InOne(const std::filesystem::path& programFolder) {
    return Folders{{programFolder}, programFolder, programFolder / kLogFolderName};
}

SongSession::SongSession(Platform& platformIn, Folders foldersIn) : platform(platformIn), folders(std::move(foldersIn)) {
    FillNameTables(names);
}

std::filesystem::path SongSession::DataFile(const std::string& name) const {
    if (folders.data.empty()) return name;
    for (const auto& folder : folders.data) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(folder / name, ec)) return folder / name;
    }
    return folders.data.back() / name;
}

void SongSession::Message(const std::string& text, Icon icon) {
    platform.SetBusy(false);
    platform.ShowMessage(text, Buttons::Ok, icon, kAppTitle);
}

bool SongSession::Ask(const std::string& text, Icon icon) {
    platform.SetBusy(false);
    return platform.ShowMessage(text, Buttons::YesNo, icon, kAppTitle) == Answer::Yes;
}

}  // namespace sonivex
