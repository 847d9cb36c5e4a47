// Where one run of a program reads its data files and writes its working files and logs.
//
// The data files come from the user's configuration folder first (a user's own styles and curves), then from
// the program's data folder: beside the executable in the build tree, `<prefix>/share/sonivex` when
// installed. Each run works in a folder of its own under the user's state folder, made with mode 700, locked
// while the run lives and removed when it ends; the folder of a run that died is removed by the next start.
// Logs go to `logs/` in the user's state folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "app/session.h"

namespace sonivex {

// The environment values that decide the folders; an empty string is an unset variable.
struct FolderEnvironment {
    std::string home;        // HOME
    std::string configHome;  // XDG_CONFIG_HOME
    std::string stateHome;   // XDG_STATE_HOME

    // The values of this process's environment (HOME falls back to the user's entry in /etc/passwd when
    // unset).
    static FolderEnvironment OfThisProcess();
};

// `$XDG_CONFIG_HOME/sonivex`, or `~/.config/sonivex` when the variable is unset or not an absolute path.
std::filesystem::path UserConfigFolder(const FolderEnvironment& env);

// `$XDG_STATE_HOME/sonivex`, or `~/.local/state/sonivex` when the variable is unset or not an absolute path.
std::filesystem::path UserStateFolder(const FolderEnvironment& env);

// Why the state folder cannot be found ("HOME is not set", "HOME is not an absolute path"); nothing when
// UserStateFolder is an absolute path.
std::optional<std::string> StateFolderProblem(const FolderEnvironment& env);

// The data folder that comes with the program: the executable's own folder when it holds genmidi.ini (the
// build tree), else `../share/sonivex` beside it (an installed program), whether or not that exists.
std::filesystem::path ProgramDataFolder(const std::filesystem::path& executableFolder);

// Why a folder is not fit to hold this user's working files or logs: it must be a real folder (not a link),
// owned by this user, and not writable by anyone else. Nothing when it is fit; a missing folder is not fit.
std::optional<std::string> FolderNotOwn(const std::filesystem::path& folder);

// The folder of one run: `runs/<pid>-<random>`, made with mode 700 and locked while this object lives; the
// destructor removes it with everything in it. Move-only.
class RunFolder {
public:
    // Removes the folders that dead runs left in `runs`, then makes a new one. `runs` must exist and be fit
    // (FolderNotOwn). Returns nothing and sets `error` when the folder cannot be made or locked.
    static std::optional<RunFolder> Make(const std::filesystem::path& runs, std::string& error);

    RunFolder(RunFolder&& other) noexcept;
    RunFolder& operator=(RunFolder&& other) noexcept;
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    ~RunFolder();

    const std::filesystem::path& Path() const { return path_; }

private:
    RunFolder(std::filesystem::path path, int runs, int lock) : path_(std::move(path)), runs_(runs), lock_(lock) {}
    void Release();

    std::filesystem::path path_;
    int runs_ = -1;  // the open folder of the runs, which the run folder is removed from by name
    int lock_ = -1;  // the descriptor of the lock file, held locked while the run lives
};

// Removes every folder in `runs` that a run which has ended left behind: only folders of the run folders' own
// name, owned by this user, whose lock no living process holds (or that have no lock file), and never through
// a link at any depth: a link is removed as a link. Returns how many it removed.
int RemoveDeadRuns(const std::filesystem::path& runs);

// An exclusive lock on a folder, held while this object lives: one run at a time works in a program folder.
class FolderLock {
public:
    enum class Wait { UntilFree, No };
    // Locks `folder`, waiting for another holder to let go unless told not to. Nothing, with the reason in
    // `error` ("DIR is in use by another Sonivex run"), when it cannot be locked.
    static std::optional<FolderLock> Take(const std::filesystem::path& folder, Wait wait, std::string& error);

    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&&) = delete;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

private:
    explicit FolderLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// The folders of one run of a program, and the run folder or program-folder lock that it owns.
struct RunFolders {
    Folders folders;
    std::optional<RunFolder> run;       // none when a program folder holds everything
    std::optional<FolderLock> program;  // the program folder's lock, while it holds everything
};

// Works out the folders of a run. With a program folder, everything is in it as it stands: it must exist (it
// is not made), it is locked for the run (waiting for another run that holds it, unless told not to), the
// scratch files of runs killed while they wrote are removed from it, and its `logs/` is made there when
// missing. Otherwise the data folders are the user's configuration folder and
// ProgramDataFolder, and a new run folder and the logs folder are made in the user's state folder. The state,
// run and logs folders must be fit (FolderNotOwn): otherwise nothing is touched. Returns nothing and sets
// `error` to a message that names the folder and why.
std::optional<RunFolders> MakeRunFolders(const FolderEnvironment& env, const std::filesystem::path& executableFolder,
                                         const std::optional<std::filesystem::path>& programFolder,
                                         std::string& error, FolderLock::Wait wait = FolderLock::Wait::UntilFree);

}  // namespace sonivex
