#include "folders.h"

#include "reader/files.h"
#include "save_file.h"

#include <fcntl.h>
#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>
#include <utility>
#include <system_error>
#include <vector>

namespace sonivex {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLockName = "lock";
constexpr const char* kRunsName = "run";
// A run folder is made under a hidden name and renamed once its lock is held, so that a cleaner never sees
// a visible folder without a held lock. A hidden one older than this was left by a run that died while
// starting.
constexpr auto kStaleStartingFolder = std::chrono::minutes(10);
constexpr std::string_view kStartingPrefix = ".starting-";
// Folders nested deeper than this in a run folder are not the program's: they are left alone.
constexpr int kDeepestRemoved = 64;

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// An XDG variable counts only when it holds an absolute path.
fs::path BaseFolder(const std::string& variable, const std::string& home, const char* underHome) {
    if (!variable.empty() && fs::path(variable).is_absolute()) return variable;
    return fs::path(home) / underHome;
}

// This user's home folder from /etc/passwd; empty when it has no entry. The file is read as it stands, so
// that a statically linked program needs no name-service modules at run time.
std::string HomeFromPasswd() {
    const std::optional<std::vector<std::string>> lines = ReadTextLines("/etc/passwd");
    if (!lines) return "";
    const std::string uid = std::to_string(::getuid());
    for (const std::string& line : *lines) {
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (std::size_t colon; (colon = line.find(':', from)) != std::string::npos; from = colon + 1) {
            fields.push_back(line.substr(from, colon - from));
        }
        fields.push_back(line.substr(from));
        if (fields.size() >= 6 && fields[2] == uid) return fields[5];
    }
    return "";
}

// Makes `folder` and its missing parents with mode 700. Returns false with the reason in `error`.
bool MakeFolders(const fs::path& folder, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return true;
    const fs::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder && !MakeFolders(parent, error)) return false;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "Cannot make the folder " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    if (!fs::is_directory(folder, ec)) {
        error = "Cannot make the folder " + folder.string() + ": a file of that name is in the way";
        return false;
    }
    return true;
}

// Makes `folder` (its parent exists) when it is missing, then checks that it is fit for this user's files.
bool MakeOwnFolder(const fs::path& folder, std::string& error) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "Cannot make the folder " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    if (const std::optional<std::string> problem = FolderNotOwn(folder)) {
        error = "Cannot use the folder " + folder.string() + ": " + *problem;
        return false;
    }
    return true;
}

// True for the name of a run folder: "PID-RANDOM" (see UniqueNamePart).
bool IsRunFolderName(std::string_view name) { return ProcessOfNamePart(name).has_value(); }

// Removes the entry `name` of the open folder `parent`: a folder with everything in it, anything else (a link
// too) as it is. Never follows a link: a folder is opened only after it was seen as a folder, and only when
// what is opened is that very folder.
void RemoveEntryAt(int parent, const std::string& name, int depth) {
    struct stat seen {};
    if (::fstatat(parent, name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISDIR(seen.st_mode)) {
        ::unlinkat(parent, name.c_str(), 0);
        return;
    }
    if (depth > kDeepestRemoved) return;
    FileDescriptor folder(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat opened {};
    if (folder.get() < 0 || ::fstat(folder.get(), &opened) != 0 || opened.st_dev != seen.st_dev ||
        opened.st_ino != seen.st_ino) {
        return;
    }
    for (const std::string& inner : NamesInFolder(folder.get())) RemoveEntryAt(folder.get(), inner, depth + 1);
    ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

bool OlderThan(const struct stat& info, std::chrono::minutes age) {
    const auto changed = std::chrono::system_clock::from_time_t(info.st_mtime);
    return std::chrono::system_clock::now() - changed > age;
}

// Removes the run folder `name` of the open runs folder when it is a dead run's (see RemoveDeadRuns).
bool RemoveWhenDead(int runs, const std::string& name) {
    const bool starting = name.rfind(kStartingPrefix, 0) == 0;
    if (!IsRunFolderName(starting ? std::string_view(name).substr(kStartingPrefix.size()) : name)) return false;
    struct stat info {};
    if (::fstatat(runs, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid()) {
        return false;
    }
    if (starting) {
        if (!OlderThan(info, kStaleStartingFolder)) return false;
        RemoveEntryAt(runs, name, 0);
        return true;
    }
    const FileDescriptor folder(::openat(runs, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0) return false;
    const FileDescriptor lock(::openat(folder.get(), kLockName, O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    // A held lock is a living run. A folder without a lock file is not a run's any more (a cleaner that removed
    // it was interrupted): it goes too. A lock that is not a plain file is no run's: the folder stays.
    if (lock.get() < 0 && errno != ENOENT) return false;
    if (lock.get() >= 0 && ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) return false;
    // The lock is held while the folder goes, so no other cleaner removes it at the same time.
    RemoveEntryAt(runs, name, 0);
    return true;
}

int RemoveDeadRunsAt(int runs) {
    int removed = 0;
    for (const std::string& name : NamesInFolder(runs)) {
        if (RemoveWhenDead(runs, name)) ++removed;
    }
    return removed;
}

}  // namespace

FolderEnvironment FolderEnvironment::OfThisProcess() {
    FolderEnvironment env{Variable("HOME"), Variable("XDG_CONFIG_HOME"), Variable("XDG_STATE_HOME")};
    if (env.home.empty()) env.home = HomeFromPasswd();
    return env;
}

fs::path UserConfigFolder(const FolderEnvironment& env) {
    return BaseFolder(env.configHome, env.home, ".config") / "sonivex";
}

fs::path UserStateFolder(const FolderEnvironment& env) {
    return BaseFolder(env.stateHome, env.home, ".local/state") / "sonivex";
}

std::optional<std::string> StateFolderProblem(const FolderEnvironment& env) {
    if (UserStateFolder(env).is_absolute()) return std::nullopt;
    if (env.home.empty()) return "HOME is not set";
    return "HOME is not an absolute path (" + env.home + ")";
}

fs::path ProgramDataFolder(const fs::path& executableFolder) {
    std::error_code ec;
    if (fs::is_regular_file(executableFolder / kNameFileName, ec)) return executableFolder;
    return (executableFolder / ".." / "share" / "sonivex").lexically_normal();
}

std::optional<std::string> FolderNotOwn(const fs::path& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return std::string(std::strerror(errno));
    if (S_ISLNK(info.st_mode)) return "it is a link, not a folder";
    if (!S_ISDIR(info.st_mode)) return "it is not a folder";
    if (info.st_uid != ::geteuid()) return "it belongs to another user";
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "other users can write to it";
    return std::nullopt;
}

int RemoveDeadRuns(const fs::path& runs) {
    const FileDescriptor folder(::open(runs.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0) return 0;
    return RemoveDeadRunsAt(folder.get());
}

std::optional<RunFolder> RunFolder::Make(const fs::path& runs, std::string& error) {
    FileDescriptor folder(::open(runs.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0) {
        error = "Cannot use the folder " + runs.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    RemoveDeadRunsAt(folder.get());
    const std::string name = UniqueNamePart();
    const std::string starting = std::string(kStartingPrefix) + name;
    const auto fail = [&](const std::string& what) {
        error = what + " " + (runs / starting).string() + ": " + std::strerror(errno);
        RemoveEntryAt(folder.get(), starting, 0);
        return std::nullopt;
    };
    if (::mkdirat(folder.get(), starting.c_str(), 0700) != 0) return fail("Cannot make the folder");
    ::fchmodat(folder.get(), starting.c_str(), 0700, 0);  // whatever the umask
    FileDescriptor lock;
    {
        const FileDescriptor made(::openat(folder.get(), starting.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (made.get() < 0) return fail("Cannot make the folder");
        lock = FileDescriptor(::openat(made.get(), kLockName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    }
    if (lock.get() < 0 || ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) return fail("Cannot lock the folder");
    if (::renameat(folder.get(), starting.c_str(), folder.get(), name.c_str()) != 0) {
        return fail("Cannot make the folder");
    }
    return RunFolder(runs / name, folder.release(), lock.release());
}

RunFolder::RunFolder(RunFolder&& other) noexcept
    : path_(std::move(other.path_)), runs_(std::exchange(other.runs_, -1)), lock_(std::exchange(other.lock_, -1)) {
    other.path_.clear();
}

RunFolder& RunFolder::operator=(RunFolder&& other) noexcept {
    if (this != &other) {
        Release();
        path_ = std::move(other.path_);
        runs_ = std::exchange(other.runs_, -1);
        lock_ = std::exchange(other.lock_, -1);
        other.path_.clear();
    }
    return *this;
}

RunFolder::~RunFolder() { Release(); }

void RunFolder::Release() {
    // Removed by name from the runs folder held open, with the lock still held.
    if (!path_.empty() && runs_ >= 0) RemoveEntryAt(runs_, path_.filename().string(), 0);
    path_.clear();
    for (int* fd : {&lock_, &runs_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

std::optional<FolderLock> FolderLock::Take(const fs::path& folder, Wait wait, std::string& error) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) {
        error = "Cannot use the folder " + folder.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    int locked = 0;
    do {
        locked = ::flock(fd.get(), LOCK_EX | (wait == Wait::No ? LOCK_NB : 0));
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        error = errno == EWOULDBLOCK ? folder.string() + " is in use by another Sonivex run"
                                     : "Cannot lock the folder " + folder.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return FolderLock(fd.release());
}

FolderLock::FolderLock(FolderLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

namespace {

std::optional<RunFolders> InProgramFolder(const fs::path& folder, FolderLock::Wait wait, std::string& error) {
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (!fs::exists(status)) {
        error = "The program folder " + folder.string() + " does not exist";
        return std::nullopt;
    }
    if (!fs::is_directory(status)) {
        error = "The program folder " + folder.string() + " is not a folder";
        return std::nullopt;
    }
    std::optional<FolderLock> lock = FolderLock::Take(folder, wait, error);
    if (!lock) return std::nullopt;
    RemoveLeftoverScratches(folder);  // what runs that were killed while writing left here
    Folders folders = Folders::InOne(folder);
    if (!MakeOwnFolder(folders.logs, error)) return std::nullopt;
    return RunFolders{std::move(folders), std::nullopt, std::move(lock)};
}

}  // namespace

std::optional<RunFolders> MakeRunFolders(const FolderEnvironment& env, const fs::path& executableFolder,
                                         const std::optional<fs::path>& programFolder, std::string& error,
                                         FolderLock::Wait wait) {
    if (programFolder) return InProgramFolder(*programFolder, wait, error);
    if (const std::optional<std::string> problem = StateFolderProblem(env)) {
        error = "Cannot find the home folder: " + *problem;
        return std::nullopt;
    }
    const fs::path state = UserStateFolder(env);
    if (!MakeFolders(state, error)) return std::nullopt;
    if (const std::optional<std::string> problem = FolderNotOwn(state)) {
        error = "Cannot use the folder " + state.string() + ": " + *problem;
        return std::nullopt;
    }
    const fs::path logs = state / kLogFolderName;
    const fs::path runs = state / kRunsName;
    if (!MakeOwnFolder(logs, error) || !MakeOwnFolder(runs, error)) return std::nullopt;
    std::optional<RunFolder> run = RunFolder::Make(runs, error);
    if (!run) return std::nullopt;
    Folders folders{{}, run->Path(), logs};
    if (const fs::path config = UserConfigFolder(env); config.is_absolute()) folders.data.push_back(config);
    folders.data.push_back(ProgramDataFolder(executableFolder));
    return RunFolders{std::move(folders), std::move(run), std::nullopt};
}

}  // namespace sonivex
