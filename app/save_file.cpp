#include "save_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "reader/files.h"
#include "reader/session.h"

namespace sonivex {

namespace {

constexpr std::string_view kScratchSuffix = ".sonivex-saving";
// The other scratch files made beside a target: an audio export's or a picture's, and the working copy's.
constexpr std::string_view kPartSuffix = ".part";

// The process that made a scratch file of one of the program's names, ".NAME.PID-RANDOM.sonivex-saving",
// ".NAME.PID-RANDOM.part" or "dffhedc.PID-RANDOM"; nothing for any other name.
std::optional<int> ScratchOwner(std::string_view name) {
    const std::string_view working = kScratchFileName;  // the working copy's, "dffhedc.PID-RANDOM"
    if (name.starts_with(working) && name.size() > working.size() && name[working.size()] == '.') {
        return ProcessOfNamePart(name.substr(working.size() + 1));
    }
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
    return ProcessOfNamePart(name.substr(dot + 1));
}

bool Runs(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

}  // namespace

int RemoveLeftoverScratches(const std::filesystem::path& folder) {
    const FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return 0;
    int removed = 0;
    for (const std::string& name : NamesInFolder(fd.get())) {
        const std::optional<int> owner = ScratchOwner(name);
        struct stat info {};
        if (!owner || ::fstatat(fd.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid() || Runs(*owner)) {
            continue;
        }
        if (::unlinkat(fd.get(), name.c_str(), 0) == 0) ++removed;
    }
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
