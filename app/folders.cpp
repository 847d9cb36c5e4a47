#include "folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
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
constexpr const char* kStartingPrefix = ".starting-";

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// An XDG variable counts only when it holds an absolute path.
fs::path BaseFolder(const std::string& variable, const std::string& home, const char* underHome) {
    if (!variable.empty() && fs::path(variable).is_absolute()) return variable;
    return fs::path(home) / underHome;
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

std::string RandomHex() {
    std::random_device device;
    std::uniform_int_distribution<std::uint32_t> any;
    char text[24];
    std::snprintf(text, sizeof text, "%08x%08x", any(device), any(device));
    return text;
}

// Opens and locks the lock file of a run folder without waiting. Returns the descriptor, or -1 when the file
// is missing or another process holds its lock.
int TryLock(const fs::path& folder, bool create) {
    const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0);
    const int fd = ::open((folder / kLockName).c_str(), flags, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool OlderThan(const fs::path& path, std::chrono::minutes age) {
    std::error_code ec;
    const auto written = fs::last_write_time(path, ec);
    return !ec && fs::file_time_type::clock::now() - written > age;
}

}  // namespace

FolderEnvironment FolderEnvironment::OfThisProcess() {
    FolderEnvironment env{Variable("HOME"), Variable("XDG_CONFIG_HOME"), Variable("XDG_STATE_HOME")};
    if (env.home.empty()) {
        std::vector<char> buffer(16384);
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr) {
            env.home = found->pw_dir;
        }
    }
    return env;
}

fs::path UserConfigFolder(const FolderEnvironment& env) {
    return BaseFolder(env.configHome, env.home, ".config") / "sonivex";
}

fs::path UserStateFolder(const FolderEnvironment& env) {
    return BaseFolder(env.stateHome, env.home, ".local/state") / "sonivex";
}

fs::path ProgramDataFolder(const fs::path& executableFolder) {
    std::error_code ec;
    if (fs::is_regular_file(executableFolder / kNameFileName, ec)) return executableFolder;
    return (executableFolder / ".." / "share" / "sonivex").lexically_normal();
}

int RemoveDeadRuns(const fs::path& runs) {
    int removed = 0;
    std::error_code ec;
    std::vector<fs::path> folders;
    for (fs::directory_iterator it(runs, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError) && !it->is_symlink(typeError)) folders.push_back(it->path());
    }
    for (const fs::path& folder : folders) {
        const std::string name = folder.filename().string();
        if (name.rfind(kStartingPrefix, 0) == 0) {
            if (OlderThan(folder, kStaleStartingFolder) && fs::remove_all(folder, ec) > 0) ++removed;
            continue;
        }
        const int lock = TryLock(folder, false);
        if (lock < 0) {
            // A held lock is a living run. A visible folder without a lock file is not a run's at all any more
            // (a cleaner that removed it was interrupted): it goes too.
            if (fs::exists(folder / kLockName, ec)) continue;
        }
        // The lock is held while the folder goes, so no other cleaner removes it at the same time.
        if (fs::remove_all(folder, ec) > 0) ++removed;
        if (lock >= 0) ::close(lock);
    }
    return removed;
}

std::optional<RunFolder> RunFolder::Make(const fs::path& runs, std::string& error) {
    if (!MakeFolders(runs, error)) return std::nullopt;
    RemoveDeadRuns(runs);
    const std::string name = std::to_string(::getpid()) + "-" + RandomHex();
    const fs::path starting = runs / (kStartingPrefix + name);
    const fs::path visible = runs / name;
    if (::mkdir(starting.c_str(), 0700) != 0) {
        error = "Cannot make the folder " + starting.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    ::chmod(starting.c_str(), 0700);  // whatever the umask
    const int lock = TryLock(starting, true);
    std::error_code ec;
    if (lock < 0) {
        error = "Cannot lock the folder " + starting.string() + ": " + std::strerror(errno);
        fs::remove_all(starting, ec);
        return std::nullopt;
    }
    if (::rename(starting.c_str(), visible.c_str()) != 0) {
        error = "Cannot make the folder " + visible.string() + ": " + std::strerror(errno);
        ::close(lock);
        fs::remove_all(starting, ec);
        return std::nullopt;
    }
    return RunFolder(visible, lock);
}

RunFolder::RunFolder(RunFolder&& other) noexcept : path_(std::move(other.path_)), lock_(other.lock_) {
    other.path_.clear();
    other.lock_ = -1;
}

RunFolder& RunFolder::operator=(RunFolder&& other) noexcept {
    if (this != &other) {
        Release();
        path_ = std::move(other.path_);
        lock_ = other.lock_;
        other.path_.clear();
        other.lock_ = -1;
    }
    return *this;
}

RunFolder::~RunFolder() { Release(); }

void RunFolder::Release() {
    if (!path_.empty()) {
        std::error_code ec;
        fs::remove_all(path_, ec);
        path_.clear();
    }
    if (lock_ >= 0) {
        ::close(lock_);
        lock_ = -1;
    }
}

std::optional<RunFolders> MakeRunFolders(const FolderEnvironment& env, const fs::path& executableFolder,
                                         const std::optional<fs::path>& programFolder, std::string& error) {
    if (programFolder) return RunFolders{Folders::InOne(*programFolder), std::nullopt};
    const fs::path state = UserStateFolder(env);
    if (!state.is_absolute()) {
        error = "Cannot find the home folder: HOME is not set";
        return std::nullopt;
    }
    const fs::path logs = state / kLogFolderName;
    if (!MakeFolders(logs, error)) return std::nullopt;
    std::optional<RunFolder> run = RunFolder::Make(state / kRunsName, error);
    if (!run) return std::nullopt;
    Folders folders{{}, run->Path(), logs};
    if (const fs::path config = UserConfigFolder(env); config.is_absolute()) folders.data.push_back(config);
    folders.data.push_back(ProgramDataFolder(executableFolder));
    return RunFolders{std::move(folders), std::move(run)};
}

}  // namespace sonivex
