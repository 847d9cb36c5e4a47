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

    // The values of this process's environment (HOME falls back to the user database when unset).
    static FolderEnvironment OfThisProcess();
};

// `$XDG_CONFIG_HOME/sonivex`, or `~/.config/sonivex` when the variable is unset or not an absolute path.
std::filesystem::path UserConfigFolder(const FolderEnvironment& env);

// `$XDG_STATE_HOME/sonivex`, or `~/.local/state/sonivex` when the variable is unset or not an absolute path.
std::filesystem::path UserStateFolder(const FolderEnvironment& env);

// The data folder that comes with the program: the executable's own folder when it holds genmidi.ini (the
// build tree), else `../share/sonivex` beside it (an installed program), whether or not that exists.
std::filesystem::path ProgramDataFolder(const std::filesystem::path& executableFolder);

// The folder of one run: `runs/<pid>-<random>`, made with mode 700 (its missing parents too) and locked while
// this object lives; the destructor removes it with everything in it. Move-only.
class RunFolder {
public:
    // Removes the folders that dead runs left in `runs`, then makes a new one. Returns nothing and sets
    // `error` when the folder cannot be made or locked.
    static std::optional<RunFolder> Make(const std::filesystem::path& runs, std::string& error);

    RunFolder(RunFolder&& other) noexcept;
    RunFolder& operator=(RunFolder&& other) noexcept;
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    ~RunFolder();

    const std::filesystem::path& Path() const { return path_; }

private:
    RunFolder(std::filesystem::path path, int lock) : path_(std::move(path)), lock_(lock) {}
    void Release();

    std::filesystem::path path_;
    int lock_ = -1;  // the descriptor of the lock file, held locked while the run lives
};

// Removes every run folder in `runs` whose lock no living process holds. Returns how many it removed.
int RemoveDeadRuns(const std::filesystem::path& runs);

// The folders of one run of a program, and the run folder that it owns.
struct RunFolders {
    Folders folders;
    std::optional<RunFolder> run;  // none when a program folder holds everything
};

// Works out the folders of a run. With a program folder, everything is in it as it stands (nothing is made or
// removed). Otherwise the data folders are the user's configuration folder and ProgramDataFolder, and a new
// run folder and the logs folder are made in the user's state folder. Returns nothing and sets `error` when
// a folder cannot be made.
std::optional<RunFolders> MakeRunFolders(const FolderEnvironment& env, const std::filesystem::path& executableFolder,
                                         const std::optional<std::filesystem::path>& programFolder,
                                         std::string& error);

}  // namespace sonivex
