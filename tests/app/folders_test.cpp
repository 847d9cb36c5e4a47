#include "app/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>

#include "app/commands.h"
#include "support/fake_media.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

namespace fs = std::filesystem;

// A fresh home folder with a program beside its data files (a build tree), and the environment of a user
// who set no XDG variables.
struct Home {
    fs::path root;
    fs::path home;
    fs::path program;
    FolderEnvironment env;

    Home() {
        std::random_device rd;
        root = fs::temp_directory_path() / ("sonivex-folders-" + std::to_string(rd()) + std::to_string(rd()));
        home = root / "home";
        program = root / "build" / "bin";
        fs::create_directories(home);
        fs::create_directories(program);
        for (const char* name : {kNameFileName, kStyleFileName, kEffectsFileName}) {
            fs::copy_file(fs::path(SONIVEX_DATA_DIR) / name, program / name);
        }
        env.home = home.string();
    }
    ~Home() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    Home(const Home&) = delete;
    Home& operator=(const Home&) = delete;

    fs::path Runs() const { return UserStateFolder(env) / "run"; }

    RunFolders Make() {
        std::string error;
        std::optional<RunFolders> run = MakeRunFolders(env, program, std::nullopt, error);
        EXPECT_TRUE(run.has_value()) << error;
        return std::move(*run);
    }
};

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void WriteSong(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

unsigned Mode(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

std::vector<fs::path> Entries(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) found.push_back(entry.path());
    return found;
}

TEST(UserFolders, FollowTheXdgVariablesWhenTheyHoldAbsolutePaths) {
    FolderEnvironment env{"/home/ann", "", ""};
    EXPECT_EQ(UserConfigFolder(env), fs::path("/home/ann/.config/sonivex"));
    EXPECT_EQ(UserStateFolder(env), fs::path("/home/ann/.local/state/sonivex"));
    env.configHome = "/cfg";
    env.stateHome = "/var/state";
    EXPECT_EQ(UserConfigFolder(env), fs::path("/cfg/sonivex"));
    EXPECT_EQ(UserStateFolder(env), fs::path("/var/state/sonivex"));
    // A relative path in an XDG variable is ignored, as if it were unset.
    env.configHome = "cfg";
    env.stateHome = "state";
    EXPECT_EQ(UserConfigFolder(env), fs::path("/home/ann/.config/sonivex"));
    EXPECT_EQ(UserStateFolder(env), fs::path("/home/ann/.local/state/sonivex"));
}

TEST(DataFolders, AreTheBuildTreeBesideTheProgramElseTheSharedFolderOfTheInstallation) {
    Home h;
    EXPECT_EQ(ProgramDataFolder(h.program), h.program);
    const fs::path installed = h.root / "usr" / "bin";
    fs::create_directories(installed);
    EXPECT_EQ(ProgramDataFolder(installed), h.root / "usr" / "share" / "sonivex");
}

TEST(DataFolders, TakeTheUsersOwnFileFirstAndTheProgramsOtherwise) {
    Home h;
    h.env.configHome = (h.root / "config").string();
    RunFolders run = h.Make();
    ScriptedPlatform platform;
    Session s(platform, run.folders);
    EXPECT_EQ(s.DataFile(kStyleFileName), h.program / kStyleFileName);
    Write(h.root / "config" / "sonivex" / kStyleFileName, "Mine=1\r\n");
    EXPECT_EQ(s.DataFile(kStyleFileName), h.root / "config" / "sonivex" / kStyleFileName);
    EXPECT_EQ(s.DataFile(kEffectsFileName), h.program / kEffectsFileName);
    // A file missing everywhere is named where the program's own would be.
    EXPECT_EQ(s.DataFile("absent.dat"), h.program / "absent.dat");

    // The user's style list is the one that Open shows.
    FormLoad(s);
    platform.Files({(h.root / "song.mid").string()});
    WriteSong(h.root / "song.mid", MidiFile().Add(Track().NoteOn(0, 0, 60, 90).End(96)).Build());
    OpenCommand(s);
    EXPECT_EQ(s.form.Combo1.items, std::vector<std::string>{"Mine"});
    End1(s);
}

TEST(RunFolders, AreMadeWithMode700InTheStateFolderAndRemovedAtTheEnd) {
    Home h;
    fs::path work;
    {
        RunFolders run = h.Make();
        work = run.folders.work;
        EXPECT_EQ(work.parent_path(), h.Runs());
        EXPECT_TRUE(fs::is_directory(work));
        EXPECT_EQ(Mode(work), 0700u);
        // The parents that did not exist are made private as well.
        EXPECT_EQ(Mode(h.home / ".local"), 0700u);
        EXPECT_EQ(Mode(h.home / ".local" / "state" / "sonivex"), 0700u);
        EXPECT_EQ(run.folders.logs, h.home / ".local" / "state" / "sonivex" / "logs");
        EXPECT_TRUE(fs::is_directory(run.folders.logs));
        Write(work / kWorkingCopyName, "x");
    }
    EXPECT_FALSE(fs::exists(work));
    EXPECT_TRUE(Entries(h.Runs()).empty());
}

TEST(RunFolders, OfADeadRunAreRemovedByTheNextStartWhileALiveRunKeepsItsFolder) {
    Home h;
    RunFolders live = h.Make();
    Write(live.folders.work / kWorkingCopyName, "live");

    // A run that died: its process ends without removing its folder, which releases its lock.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string error;
        std::optional<RunFolder> dying = RunFolder::Make(h.Runs(), error);
        if (dying) Write(dying->Path() / kWorkingCopyName, "dead");
        ::_exit(dying ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(Entries(h.Runs()).size(), 2u);

    RunFolders next = h.Make();
    std::vector<fs::path> left = Entries(h.Runs());
    std::sort(left.begin(), left.end());
    std::vector<fs::path> expected{live.folders.work, next.folders.work};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    EXPECT_EQ(TestSession::ReadText(live.folders.work / kWorkingCopyName), "live");
}

TEST(RunFolders, WithoutALockFileAreNoRunsAndGoToo) {
    Home h;
    Write(h.Runs() / "77-0123456789abcdef" / kNotesFileName, "x");
    RunFolders run = h.Make();
    EXPECT_FALSE(fs::exists(h.Runs() / "77-0123456789abcdef"));
    EXPECT_EQ(Entries(h.Runs()), std::vector<fs::path>{run.folders.work});
}

TEST(RunFolders, CannotBeMadeWhereAFileIsInTheWay) {
    Home h;
    Write(h.home / ".local" / "state", "a file, not a folder");
    std::string error;
    EXPECT_FALSE(MakeRunFolders(h.env, h.program, std::nullopt, error).has_value());
    EXPECT_NE(error.find(".local/state"), std::string::npos) << error;
}

TEST(ProgramFolder, KeepsEverythingInThatFolderAndMakesNothingElse) {
    Home h;
    std::string error;
    const fs::path dir = h.root / "program folder";
    fs::create_directories(dir);
    std::optional<RunFolders> run = MakeRunFolders(h.env, h.program, dir, error);
    ASSERT_TRUE(run.has_value());
    EXPECT_FALSE(run->run.has_value());
    EXPECT_EQ(run->folders.data, std::vector<fs::path>{dir});
    EXPECT_EQ(run->folders.work, dir);
    EXPECT_EQ(run->folders.logs, dir / "logs");
    EXPECT_FALSE(fs::exists(h.home / ".local"));
}

// A folder outside the program's with a file in it, which nothing the program does may change.
struct Outside {
    fs::path folder;
    explicit Outside(const fs::path& root) : folder(root / "outside") {
        Write(folder / "precious.txt", "precious");
        fs::create_directories(folder / "inner");
    }
    bool Untouched() const {
        return TestSession::ReadText(folder / "precious.txt") == "precious" && fs::is_directory(folder / "inner") &&
               Entries(folder).size() == 2;
    }
};

TEST(RunFolders, AreRefusedWhereALinkStandsForTheStateRunOrLogsFolder) {
    for (const std::string planted : {"", "run", "logs"}) {
        Home h;
        Outside outside(h.root);
        const fs::path state = UserStateFolder(h.env);
        fs::create_directories(planted.empty() ? state.parent_path() : state);
        ::chmod(state.parent_path().c_str(), 0700);
        fs::create_symlink(outside.folder, planted.empty() ? state : state / planted);
        std::string error;
        EXPECT_FALSE(MakeRunFolders(h.env, h.program, std::nullopt, error).has_value()) << planted;
        const fs::path named = planted.empty() ? state : state / planted;
        EXPECT_EQ(error, "Cannot use the folder " + named.string() + ": it is a link, not a folder");
        EXPECT_TRUE(outside.Untouched()) << planted;
    }
}

TEST(RunFolders, AreRefusedInAStateFolderThatOthersCanWriteTo) {
    Home h;
    const fs::path state = UserStateFolder(h.env);
    fs::create_directories(state);
    ::chmod(state.c_str(), 0775);
    std::string error;
    EXPECT_FALSE(MakeRunFolders(h.env, h.program, std::nullopt, error).has_value());
    EXPECT_EQ(error, "Cannot use the folder " + state.string() + ": other users can write to it");
    EXPECT_FALSE(fs::exists(state / "run"));
}

TEST(RunFolders, OfAnotherUserAreLeftAlone) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a folder to another user here";
    Home h;
    { RunFolders first = h.Make(); }
    const fs::path theirs = h.Runs() / "12-0123456789abcdef";
    Write(theirs / "x", "theirs");
    ASSERT_EQ(::chown(theirs.c_str(), 4242, 4242), 0);
    RunFolders run = h.Make();
    EXPECT_TRUE(fs::exists(theirs / "x"));
}

TEST(DeadRuns, AreRemovedWithoutFollowingALinkAtAnyDepth) {
    Home h;
    Outside outside(h.root);
    { RunFolders first = h.Make(); }
    // A dead run's folder holding links to the outside folder, at the top and deeper down.
    const fs::path dead = h.Runs() / "41-00000000deadbeef";
    fs::create_directories(dead / "deeper" / "still");
    fs::create_symlink(outside.folder, dead / "link");
    fs::create_symlink(outside.folder / "precious.txt", dead / "deeper" / "still" / "file link");
    // A link that looks like a run folder, and folders of other names.
    fs::create_symlink(outside.folder, h.Runs() / "42-00000000deadbeef");
    Write(h.Runs() / "77-left" / "x", "not a run folder's name");
    Write(h.Runs() / "notes" / "x", "nor this");

    EXPECT_EQ(RemoveDeadRuns(h.Runs()), 1);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::is_symlink(h.Runs() / "42-00000000deadbeef"));
    EXPECT_TRUE(fs::exists(h.Runs() / "77-left" / "x"));
    EXPECT_TRUE(fs::exists(h.Runs() / "notes" / "x"));
    EXPECT_TRUE(outside.Untouched());
}

TEST(ProgramFolder, ThatDoesNotExistIsAnErrorAndNothingIsMade) {
    Home h;
    std::string error;
    const fs::path dir = h.root / "mistyped";
    EXPECT_FALSE(MakeRunFolders(h.env, h.program, dir, error).has_value());
    EXPECT_EQ(error, "The program folder " + dir.string() + " does not exist");
    EXPECT_FALSE(fs::exists(dir));
    Write(dir, "a file");
    EXPECT_FALSE(MakeRunFolders(h.env, h.program, dir, error).has_value());
    EXPECT_EQ(error, "The program folder " + dir.string() + " is not a folder");
}

TEST(ProgramFolder, WhoseLogsIsNotAFolderOfItsOwnIsRefused) {
    Home h;
    Outside outside(h.root);
    const fs::path dir = h.root / "program";
    Write(dir / "logs", "a file in the way");
    std::string error;
    EXPECT_FALSE(MakeRunFolders(h.env, h.program, dir, error).has_value());
    EXPECT_EQ(error, "Cannot use the folder " + (dir / "logs").string() + ": it is not a folder");
    fs::remove(dir / "logs");
    fs::create_symlink(outside.folder, dir / "logs");
    EXPECT_FALSE(MakeRunFolders(h.env, h.program, dir, error).has_value());
    EXPECT_EQ(error, "Cannot use the folder " + (dir / "logs").string() + ": it is a link, not a folder");
    EXPECT_TRUE(outside.Untouched());
}

TEST(ProgramFolder, IsHeldByOneRunAtATime) {
    Home h;
    const fs::path dir = h.root / "program";
    fs::create_directories(dir);
    std::string error;
    std::optional<RunFolders> first = MakeRunFolders(h.env, h.program, dir, error);
    ASSERT_TRUE(first.has_value()) << error;
    EXPECT_FALSE(MakeRunFolders(h.env, h.program, dir, error, FolderLock::Wait::No).has_value());
    EXPECT_EQ(error, dir.string() + " is in use by another Sonivex run");

    // A second run that waits goes on once the first has ended.
    std::future<bool> second = std::async(std::launch::async, [&] {
        std::string secondError;
        return MakeRunFolders(h.env, h.program, dir, secondError).has_value();
    });
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout) << "it did not wait";
    first.reset();
    EXPECT_TRUE(second.get());
}

TEST(HomeFolder, ThatIsUnsetOrRelativeIsNamedAsSuch) {
    FolderEnvironment env{"", "", ""};
    EXPECT_EQ(StateFolderProblem(env), "HOME is not set");
    env.home = "relative/home";
    EXPECT_EQ(StateFolderProblem(env), "HOME is not an absolute path (relative/home)");
    std::string error;
    EXPECT_FALSE(MakeRunFolders(env, "/nowhere", std::nullopt, error).has_value());
    EXPECT_EQ(error, "Cannot find the home folder: HOME is not an absolute path (relative/home)");
    env.stateHome = "/var/state";  // an absolute XDG_STATE_HOME needs no home folder
    EXPECT_EQ(StateFolderProblem(env), std::nullopt);
}

// A session of a real run: its own run folder, a recording media back-end, and the load step done.
struct RunSession {
    RunFolders run;
    ScriptedPlatform platform;
    FakeMedia device;
    std::unique_ptr<Session> s;

    explicit RunSession(Home& h) : run(h.Make()) {
        s = std::make_unique<Session>(platform, run.folders);
        s->media.Device = &device;
        FormLoad(*s);
    }
    ~RunSession() {
        End1(*s);
        s.reset();
    }
    OpenOutcome Open(const fs::path& song) {
        platform.Files({song.string()});
        return OpenCommand(*s);
    }
};

TEST(MediaLinks, NeverReachTheReportTheLogOrAMessageAfterAnEdit) {
    Home h;
    RunSession r(h);
    const fs::path song = h.root / "my songs" / "two tracks.mid";
    // Two tracks with notes: Copy Track has something to copy, and the edit reopens the song for playback.
    WriteSong(song, MidiFile().Add(Track().NoteOn(0, 0, 60, 90).End(96)).Add(Track().NoteOn(0, 1, 64, 90).End(96)).Build());
    ASSERT_EQ(r.Open(song), OpenOutcome::Reported);
    std::string link;
    for (const std::string& command : r.device.commands) {
        if (command.rfind("Open ", 0) == 0) link = command.substr(5, command.find(" type ") - 5);
    }
    // Playback goes through a link without blanks in the run's own folder.
    ASSERT_FALSE(link.empty());
    EXPECT_EQ(link.find(' '), std::string::npos);
    EXPECT_EQ(fs::path(link).parent_path(), r.run.folders.work);

    r.s->form.Combo5.listIndex = 0;
    CommandClick(*r.s, CommandButton::CopyTrack);  // Copy Track: the report runs again on the changed song
    EXPECT_EQ(r.s->song.SourcePath, song.string());
    const std::string& report = r.s->form.RichTextBox1;
    EXPECT_EQ(report.rfind("File        : " + song.string() + "\r\n", 0), 0u) << report.substr(0, 200);
    EXPECT_NE(report.find("Total Tracks: 3"), std::string::npos);
    EXPECT_EQ(report.find(link), std::string::npos);
    EXPECT_EQ(report.find(r.run.folders.work.string()), std::string::npos);
    r.s->song.Log.Flush();
    const std::string log = TestSession::ReadText(r.s->song.Log.Path());
    EXPECT_EQ(log.find(link), std::string::npos);
    EXPECT_EQ(log.find(r.run.folders.work.string()), std::string::npos);
    for (const std::string& message : r.platform.messages) {
        EXPECT_EQ(message.find(r.run.folders.work.string()), std::string::npos) << message;
    }

    // Save names the user's file, and the saved file is the changed song.
    const fs::path saved = h.root / "my songs" / "saved copy.mid";
    r.platform.Files({saved.string()});
    EXPECT_EQ(SaveCommand(*r.s), SaveOutcome::Saved);
    EXPECT_EQ(TestSession::ReadBytes(saved), TestSession::ReadBytes(r.run.folders.work / r.s->song.TempFileName));
}

TEST(RunFolders, KeepTheWorkingFilesOfTwoSessionsApart) {
    Home h;
    RunSession first(h);
    RunSession second(h);
    EXPECT_NE(first.run.folders.work, second.run.folders.work);

    Track one = Track().NoteOn(0, 0, 60, 90).End(96);
    MidiFile twelve;
    for (int i = 0; i < 12; ++i) twelve.Add(Track().NoteOn(0, i % 9, 60 + i, 90).End(96));
    const fs::path big = h.root / "songs" / "twelve.mid";
    const fs::path small = h.root / "songs" / "one.mid";
    WriteSong(big, twelve.Build());
    WriteSong(small, MidiFile().Add(one).Build());

    // Both open before either edits: with one shared working copy the second open would replace the first's.
    ASSERT_EQ(first.Open(big), OpenOutcome::Reported);
    ASSERT_EQ(second.Open(small), OpenOutcome::Reported);
    first.s->form.Combo5.listIndex = 0;
    CommandClick(*first.s, CommandButton::CopyTrack);
    EXPECT_NE(first.s->form.RichTextBox1.find("Total Tracks: 13"), std::string::npos);
    second.s->form.Combo5.listIndex = 0;
    CommandClick(*second.s, CommandButton::CopyTrack);
    EXPECT_NE(second.s->form.RichTextBox1.find("Total Tracks: 2"), std::string::npos);
}

}  // namespace
}  // namespace sonivex::test
