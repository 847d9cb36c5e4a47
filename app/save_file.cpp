#include "save_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <string_view>
#include <vector>

#include "reader/files.h"

namespace sonivex {

namespace {

constexpr std::string_view kScratchSuffix = ".sonivex-saving";
// The other scratch files made beside a target: an audio export's or a picture's, and the working copy's.
constexpr std::string_view kPartSuffix = ".part";
constexpr std::string_view kWorkingScratchPrefix = "dffhedc.";

// The process id of "PID-RANDOM" (decimal digits, a dash, 16 lower-case hex digits); nothing for anything else.
std::optional<pid_t> ProcessOf(std::string_view id) {
    const std::size_t dash = id.find('-');
    if (dash == std::string_view::npos || dash == 0 || id.size() - dash - 1 != 16) return std::nullopt;
    const std::string_view random = id.substr(dash + 1);
    if (!std::all_of(random.begin(), random.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); })) {
        return std::nullopt;
    }
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(id.data(), id.data() + dash, pid);
    if (error != std::errc() || end != id.data() + dash || pid <= 0) return std::nullopt;
    return pid;
}

// The process that made a scratch file of one of the program's names, ".NAME.PID-RANDOM.sonivex-saving",
// ".NAME.PID-RANDOM.part" or "dffhedc.PID-RANDOM"; nothing for any other name.
std::optional<pid_t> ScratchOwner(std::string_view name) {
    if (name.starts_with(kWorkingScratchPrefix)) return ProcessOf(name.substr(kWorkingScratchPrefix.size()));
    if (name.empty() || name[0] != '.') return std::nullopt;
    if (name.ends_with(kScratchSuffix)) {
        name.remove_suffix(kScratchSuffix.size());
    } else if (name.ends_with(kPartSuffix)) {
        name.remove_suffix(kPartSuffix.size());
    } else {
        return std::nullopt;
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return std::nullopt;
    return ProcessOf(name.substr(dot + 1));
}

bool Runs(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

}  // namespace

int RemoveLeftoverScratches(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return 0;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (ScratchOwner(entry->d_name)) names.emplace_back(entry->d_name);
    }
    int removed = 0;
    for (const std::string& name : names) {
        struct stat info {};
        if (::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid() || Runs(*ScratchOwner(name))) {
            continue;
        }
        if (::unlinkat(fd, name.c_str(), 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

std::optional<std::string> SaveCopy(const std::filesystem::path& from, const std::filesystem::path& target) {
    const std::filesystem::path file = FollowLinks(target);
    const std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
    RemoveLeftoverScratches(folder);

    struct stat replaced {};
    if (::lstat(file.c_str(), &replaced) == 0 && S_ISLNK(replaced.st_mode)) return std::string("it is another user's link");
    const bool replacing = ::stat(file.c_str(), &replaced) == 0;
    if (replacing && !S_ISREG(replaced.st_mode)) {
        return std::string(S_ISDIR(replaced.st_mode) ? "it is a folder" : "it is not a regular file");
    }
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return SystemReason(errno);
    int error = 0;
    std::optional<ExclusiveFile> out = ExclusiveFile::Create(folder, "." + file.filename().string() + ".",
                                                             std::string(kScratchSuffix), replacing ? 0600 : 0666, error);
    const bool copied = out && CopyOpenFile(in, out->Descriptor(), error);
    ::close(in);
    if (!copied || !out->TakeModeOf(file, error)) return SystemReason(error);
    if (!out->RenameTo(file, error, ExclusiveFile::Flush::ToDisk)) return SystemReason(error);
    return std::nullopt;
}

}  // namespace sonivex
