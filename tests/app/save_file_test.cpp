// Files that the program writes beside the user's own: a save never writes through a planted link, keeps the
// mode of the file it replaces, and leaves no scratch file behind that the next save does not remove.
#include "app/save_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/commands.h"
#include "app/folders.h"
#include "reader/files.h"
#include "support/fake_media.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

namespace fs = std::filesystem;

unsigned Mode(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A session with a song open, and a folder for the user's files apart from the program folder.
struct OpenSong {
    TestSession t;
    FakeMedia device;
    fs::path mine;
    Bytes song = MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build();

    OpenSong() {
        t->media.Device = &device;
        FormLoad(*t);
        mine = t.folder().parent_path() / "mine";
        fs::create_directories(mine);
        t.platform().Files({t.WriteSong(song).string()});
        OpenCommand(*t);
    }
    ~OpenSong() { End1(*t); }

    SaveOutcome SaveAs(const fs::path& target) {
        t.platform().Files({target.string()});
        t.platform().Answers({Answer::Yes});
        return SaveCommand(*t);
    }
};

TEST(SaveCopy, WritesTheFileALinkLeadsToAndKeepsTheLink) {
    OpenSong o;
    const fs::path real = o.mine / "real.mid";
    WriteText(real, "old");
    fs::create_symlink("real.mid", o.mine / "link.mid");
    ASSERT_EQ(o.SaveAs(o.mine / "link.mid"), SaveOutcome::Saved);
    EXPECT_TRUE(fs::is_symlink(o.mine / "link.mid"));
    EXPECT_EQ(TestSession::ReadBytes(real), o.song);

    // A link whose file does not exist yet: the file is made where it leads.
    fs::create_symlink(o.mine / "new.mid", o.mine / "dangling.mid");
    ASSERT_EQ(o.SaveAs(o.mine / "dangling.mid"), SaveOutcome::Saved);
    EXPECT_TRUE(fs::is_symlink(o.mine / "dangling.mid"));
    EXPECT_EQ(TestSession::ReadBytes(o.mine / "new.mid"), o.song);
    EXPECT_EQ(Names(o.mine), (std::vector<std::string>{"dangling.mid", "link.mid", "new.mid", "real.mid"}));
}

TEST(SaveCopy, NeverFollowsAnotherUsersLink) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a link to another user here";
    OpenSong o;
    const fs::path secret = o.mine / "secret.txt";
    WriteText(secret, "secret");
    const fs::path planted = o.mine / "planted.mid";
    fs::create_symlink(secret, planted);
    ASSERT_EQ(::lchown(planted.c_str(), 4242, 4242), 0);
    // Root owns what it makes: seen as another user, this is a stranger's link.
    EXPECT_EQ(FollowLinks(planted), planted);
    EXPECT_EQ(o.SaveAs(planted), SaveOutcome::Failed);
    EXPECT_EQ(o.t.platform().messages.back(), planted.string() + " could not be saved: it is another user's link");
    EXPECT_EQ(TestSession::ReadText(secret), "secret");
}

TEST(SaveCopy, KeepsThePermissionBitsOfTheFileItReplaces) {
    OpenSong o;
    const fs::path target = o.mine / "private.mid";
    WriteText(target, "old");
    ::chmod(target.c_str(), 0600);
    ASSERT_EQ(o.SaveAs(target), SaveOutcome::Saved);
    EXPECT_EQ(Mode(target), 0600u);
    ::chmod(target.c_str(), 0640);
    ASSERT_EQ(o.SaveAs(target), SaveOutcome::Saved);
    EXPECT_EQ(Mode(target), 0640u);
    EXPECT_EQ(TestSession::ReadBytes(target), o.song);

    // A new file gets what the umask allows, as any program's.
    const mode_t mask = ::umask(022);
    ASSERT_EQ(o.SaveAs(o.mine / "fresh.mid"), SaveOutcome::Saved);
    ::umask(mask);
    EXPECT_EQ(Mode(o.mine / "fresh.mid"), 0644u);
}

TEST(SaveCopy, KeepsTheGroupOfTheFileItReplacesWhereItMaySetIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file another group here";
    OpenSong o;
    const fs::path target = o.mine / "shared.mid";
    WriteText(target, "old");
    ASSERT_EQ(::chown(target.c_str(), static_cast<uid_t>(-1), 4242), 0);
    ASSERT_EQ(o.SaveAs(target), SaveOutcome::Saved);
    struct stat info {};
    ::stat(target.c_str(), &info);
    EXPECT_EQ(info.st_gid, 4242u);
}

TEST(SaveCopy, RefusesATargetThatIsNoRegularFileAndSaysWhy) {
    OpenSong o;
    const fs::path pipe = o.mine / "pipe.mid";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(o.SaveAs(pipe), SaveOutcome::Failed);
    EXPECT_EQ(o.t.platform().messages.back(), pipe.string() + " could not be saved: it is not a regular file");
    EXPECT_EQ(SaveCopy(o.t.folder() / "no such file", o.mine / "x.mid"), "No such file or directory");
    EXPECT_FALSE(fs::exists(o.mine / "x.mid"));
}

// The name a scratch file of process `pid` gets for `name`.
std::string ScratchOf(const std::string& name, pid_t pid) {
    return "." + name + "." + std::to_string(pid) + "-0123456789abcdef.sonivex-saving";
}

TEST(SaveCopy, RemovesTheScratchFilesOfSavesThatWereKilled) {
    OpenSong o;
    // A save killed while it writes: its scratch file stays behind.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int error = 0;
        std::optional<ExclusiveFile> scratch =
            ExclusiveFile::Create(o.mine, ".song.mid.", ".sonivex-saving", 0600, error);
        if (scratch) scratch->WriteAllOf("half a song", error);
        ::raise(SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(Names(o.mine).size(), 1u);
    EXPECT_EQ(Names(o.mine)[0].rfind(".song.mid." + std::to_string(child) + "-", 0), 0u);

    // A living process's scratch, a file of a name like it but not of that form, and a link stay.
    WriteText(o.mine / ScratchOf("other.mid", ::getpid()), "in use");
    WriteText(o.mine / ".notes.sonivex-saving", "not a scratch of this form");
    fs::create_symlink("/etc/hostname", o.mine / ScratchOf("link.mid", child));

    ASSERT_EQ(o.SaveAs(o.mine / "song.mid"), SaveOutcome::Saved);
    EXPECT_EQ(Names(o.mine), (std::vector<std::string>{ScratchOf("link.mid", child), ".notes.sonivex-saving",
                                                       ScratchOf("other.mid", ::getpid()), "song.mid"}));
}

TEST(LeftoverScratches, OfEveryKindAreRemovedWhenTheirProcessHasEnded) {
    TestSession t;
    const fs::path folder = t.folder().parent_path() / "leftovers";
    fs::create_directories(folder);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string id = std::to_string(child) + "-0123456789abcdef";
    for (const std::string& name : {".song.wav." + id + ".part", ".roll.png." + id + ".part", "dffhedc." + id,
                                    ".song.mid." + id + ".sonivex-saving"}) {
        WriteText(folder / name, "left by a killed run");
    }
    // Names that only look alike stay.
    for (const std::string& name : {std::string("dffhedc"), "dffhedc." + std::to_string(child), "song." + id + ".part",
                                    ".song.mid." + std::to_string(child) + "-0123.sonivex-saving"}) {
        WriteText(folder / name, "not a scratch file");
    }
    EXPECT_EQ(RemoveLeftoverScratches(folder), 4);
    EXPECT_EQ(Names(folder).size(), 4u);

    // A program folder is cleared of them when a run starts there.
    WriteText(t.folder() / ("dffhedc." + id), "left by a killed run");
    std::string error;
    ASSERT_TRUE(MakeRunFolders({}, t.folder(), t.folder(), error).has_value()) << error;
    EXPECT_FALSE(fs::exists(t.folder() / ("dffhedc." + id)));
}

TEST(SaveCopy, LeavesAnotherUsersScratchFilesAlone) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user here";
    OpenSong o;
    const fs::path theirs = o.mine / ScratchOf("song.mid", 999999);
    WriteText(theirs, "theirs");
    ASSERT_EQ(::chown(theirs.c_str(), 4242, 4242), 0);
    // Seen from another user: root owns nothing of this.
    ASSERT_EQ(RemoveLeftoverScratches(o.mine), 0);
    EXPECT_TRUE(fs::exists(theirs));
}

TEST(WorkingFiles, AreNeverWrittenThroughALinkPlantedInTheProgramFolder) {
    TestSession t;
    FakeMedia device;
    t->media.Device = &device;
    FormLoad(*t);
    const fs::path victim = t.folder().parent_path() / "victim.txt";
    WriteText(victim, "precious");
    ::chmod(victim.c_str(), 0600);
    // Links where the working copy, the writer's scratch file and the log would go.
    fs::create_symlink(victim, t.folder() / kWorkingCopyName);
    fs::create_symlink(victim, t.folder() / kScratchFileName);
    fs::create_directories(t.folder() / kLogFolderName);
    fs::create_symlink(victim, t.folder() / kLogFolderName / "song.txt");

    const Bytes song = MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Add(Track().NoteOn(0, 1, 62, 90).End(96)).Build();
    t.platform().Files({t.WriteSong(song).string()});
    ASSERT_EQ(OpenCommand(*t), OpenOutcome::Reported);
    t->form.Combo5.listIndex = 0;
    CommandClick(*t, CommandButton::CopyTrack);
    End1(*t);

    EXPECT_EQ(TestSession::ReadText(victim), "precious");
    EXPECT_EQ(Mode(victim), 0600u);
    // The log that could not be written is named in a message; the link stays as it was.
    const fs::path log = t.folder() / kLogFolderName / "song.txt";
    EXPECT_NE(std::find(t.platform().messages.begin(), t.platform().messages.end(),
                        log.string() + " could not be written: a link is in its place"),
              t.platform().messages.end());
    EXPECT_TRUE(fs::is_symlink(log));
    EXPECT_TRUE(fs::is_symlink(t.folder() / kScratchFileName));
}

TEST(LogFile, LeavesAFileThatIsNotThisUsersOwnPlainFileAlone) {
    TestSession t;
    const fs::path folder = t.folder().parent_path();
    const fs::path original = folder / "original.txt";
    WriteText(original, "keep");
    fs::create_hard_link(original, folder / "second name.txt");
    LogFile log;
    EXPECT_FALSE(log.Open(folder / "second name.txt", false));
    EXPECT_EQ(log.Problem(), "it has another name elsewhere");
    ASSERT_EQ(::mkfifo((folder / "pipe.txt").c_str(), 0600), 0);
    EXPECT_FALSE(log.Open(folder / "pipe.txt", false));
    EXPECT_EQ(log.Problem(), "it is not a regular file");
    EXPECT_EQ(TestSession::ReadText(original), "keep");
    EXPECT_TRUE(log.Open(folder / "fine.txt", false));
    EXPECT_EQ(log.Problem(), "");
}

}  // namespace
}  // namespace sonivex::test
