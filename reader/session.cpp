#include "session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files.h"
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
    problem_.clear();
    if (off_) return false;
    path_ = path;
    // A log that replaces an older one is written over it from the start and cut to its own length at a
    // flush where the older one was longer, instead of being emptied first: emptying a file makes the file
    // system write the old one out.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (append ? O_APPEND : 0),
                 0666);
    if (fd_ < 0) {
        // A pipe without a reader or a device without a driver cannot be opened without waiting.
        problem_ = errno == ELOOP                       ? "a link is in its place"
                   : errno == ENXIO || errno == ENODEV ? "it is not a regular file"
                                                       : std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || info.st_nlink != 1) {
        problem_ = !S_ISREG(info.st_mode)           ? "it is not a regular file"
                   : info.st_uid != ::geteuid() ? "it belongs to another user"
                                                : "it has another name elsewhere";
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    written_ = 0;
    olderLength_ = append ? 0 : static_cast<std::uint64_t>(info.st_size);
    pending_.clear();
    pending_.reserve(kLogBlock + kLongestLine);
    return true;
}

void LogFile::Close() {
    if (fd_ < 0) return;
    Flush();
    ::close(fd_);
    fd_ = -1;
}

void LogFile::WriteLine(std::string_view line) {
    if (fd_ < 0) return;
    pending_ += line;
    pending_ += "\r\n";
    if (pending_.size() >= kLogBlock) Flush();
}

void LogFile::Flush() {
    if (fd_ < 0) return;
    written_ += WriteAll(fd_, pending_.data(), pending_.size());  // on a full disk the lines are lost, as a log's are
    pending_.clear();
    // What an older, longer log held beyond what is written goes; a cut that fails is tried at the next flush.
    if (written_ < olderLength_ && ::ftruncate(fd_, static_cast<off_t>(written_)) == 0) olderLength_ = written_;
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
