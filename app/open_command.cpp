#include "open_command.h"

#include <sys/stat.h>

#include <optional>
#include <system_error>
#include <vector>

#include "reader/files.h"
#include "reader/load.h"

namespace sonivex {

namespace {

// Keeps the messages of a load made aside, to be shown only if it refuses the file; shows nothing.
class KeptMessages : public Platform {
public:
    struct Kept {
        std::string text;
        Buttons buttons;
        Icon icon;
        std::string title;
    };

    Answer ShowMessage(const std::string& text, Buttons buttons, Icon icon, const std::string& title) override {
        kept.push_back({text, buttons, icon, title});
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
    void SetBusy(bool) override {}
    void SetCaption(const std::string&) override {}

    std::vector<Kept> kept;
};

// A folder of this run's own inside `parent`, made new (never over anything there, never through a link) with
// mode 700, and removed with what it holds when this object goes.
class FolderAside {
public:
    static std::optional<FolderAside> Make(const std::filesystem::path& parent) {
        std::filesystem::path path = parent / ("sonivex-open." + UniqueNamePart());
        if (::mkdir(path.c_str(), 0700) != 0) return std::nullopt;
        return FolderAside(std::move(path));
    }
    FolderAside(FolderAside&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
    FolderAside(const FolderAside&) = delete;
    FolderAside& operator=(const FolderAside&) = delete;
    FolderAside& operator=(FolderAside&&) = delete;
    ~FolderAside() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);  // links inside go as links
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    explicit FolderAside(std::filesystem::path path) : path_(std::move(path)) {}
    std::filesystem::path path_;
};

}  // namespace

bool RefusedWhenLoadedAside(Session& s, const std::string& path) {
    const std::optional<FolderAside> aside = FolderAside::Make(s.folders.work);
    if (!aside) return false;
    // The load aside writes the song's log as the load does (a refused file may have one, as it always had);
    // a load that takes the file writes it again from the start.
    KeptMessages messages;
    bool refused = false;
    {
        SongSession trial(messages, Folders{s.folders.data, aside->Path(), s.folders.logs});
        if (s.song.Log.SwitchedOff()) trial.song.Log.SwitchOff();
        trial.song.SourcePath = path;
        trial.song.FileValid = 1;
        LoadFile(trial);
        refused = trial.song.FileValid == 0;
    }
    if (!refused) return false;
    for (const KeptMessages::Kept& message : messages.kept) {
        s.platform.SetBusy(false);
        s.platform.ShowMessage(message.text, message.buttons, message.icon, message.title);
    }
    return true;
}

void ShutdownFiles(Session& s) {
    s.CloseAllFiles();
    if (!s.song.TempFileName.empty()) RemoveIfPresent(s.WorkFile(s.song.TempFileName));
    if (s.song.NotesFileInUse) {
        RemoveIfPresent(s.WorkFile(kNotesFileName));
        s.song.Notes.Forget();
    }
}

}  // namespace sonivex
