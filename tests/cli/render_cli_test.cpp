// --soundfont and --batch --render-to, through the built sonivex-cli and its helper program.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <set>

#include "cli/batch_audio.h"
#include "support/cli_run.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSecondFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

void WriteFile(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// A short tune on a piano and a string part, under a second, whose notes end at different ticks.
Bytes Tune(int program, int key) {
    return MidiFile(1, 96)
        .Add(Track().Tempo(0, 400000).Program(0, 0, program).NoteOn(0, 0, key, 100).NoteOff(96, 0, key)
                 .NoteOn(0, 0, key + 4, 90).NoteOff(48, 0, key + 4).End())
        .Add(Track().Program(0, 1, 48).NoteOn(0, 1, key - 12, 80).NoteOff(120, 1, key - 12).End())
        .Build();
}

// The sound of a WAV file: the bytes of its data chunk; empty when it has none.
Bytes WavData(const fs::path& file) {
    const Bytes bytes = TestSession::ReadBytes(file);
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 |
                                   static_cast<std::uint32_t>(bytes[at + 7]) << 24;
        if (std::memcmp(&bytes[at], "data", 4) == 0) {
            const std::size_t end = std::min<std::size_t>(bytes.size(), at + 8 + size);
            return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at + 8), bytes.begin() + static_cast<std::ptrdiff_t>(end));
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

double WavSeconds(const fs::path& file) { return static_cast<double>(WavData(file).size()) / 4 / 44100; }

// The value of a member of a JSON line, as its text stands (a string keeps its quotes); empty when missing.
std::string Member(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return "";
    const std::size_t from = at + key.size();
    std::size_t to = from;
    if (line[from] == '"') {
        for (to = from + 1; to < line.size() && line[to] != '"'; ++to) {
            if (line[to] == '\\') ++to;
        }
        ++to;
    } else {
        to = line.find_first_of(",}", from);
    }
    return line.substr(from, to - from);
}

// Each song's JSON line, by its "file" member (without quotes).
std::map<std::string, std::string> LinesBySong(const std::string& text) {
    std::map<std::string, std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find('\n', from);
        const std::string line = text.substr(from, end - from);
        const std::string file = Member(line, "file");
        if (file.size() >= 2) lines[file.substr(1, file.size() - 2)] = line;
        if (end == std::string::npos) break;
        from = end + 1;
    }
    return lines;
}

// Every file below `folder`, relative to it.
std::set<std::string> FilesBelow(const fs::path& folder) {
    std::set<std::string> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_directory()) files.insert(it->path().lexically_relative(folder).string());
    }
    return files;
}

// A song collection in folders of its own; the names each song's audio file gets, below the output folder.
struct Collection {
    TestSession t;
    fs::path root = t.folder().parent_path() / "collection";
    fs::path audio = t.folder().parent_path() / "audio";
    std::map<std::string, std::string> targets;  // song path -> audio file below `audio`

    Collection() {
        Add("pop/one.mid", Tune(0, 60), "pop/one.wav");
        Add("pop/two.mid", Tune(24, 64), "pop/two.mid.wav");  // a .kar of the same name is beside it
        Add("pop/two.kar", Tune(40, 67), "pop/two.kar.wav");
        Add("jazz/deep/three.midi", Tune(56, 55), "jazz/deep/three.wav");
        Add("broken.mid", Bytes{'R', 'I', 'F', 'F', 1, 2, 3}, "broken.wav");
    }
    void Add(const std::string& song, const Bytes& bytes, const std::string& target) {
        WriteFile(root / song, bytes);
        targets[(root / song).string()] = target;
    }
    CliRun Batch(const std::string& more = "") {
        return RunCli(t, "--batch --no-log --jobs 2 --render-to " + Quoted(audio) + " " + more + " " + Quoted(root));
    }
};

bool CanRender(TestSession& t) {
    const fs::path song = t.WriteSong(Tune(0, 60), "probe.mid");
    return RunCli(t, Quoted(song) + " --render " + Quoted(t.folder().parent_path() / "probe.wav")).status != 2;
}

TEST(CliSoundFont, RendersWithTheChosenSoundFontAndNamesOneThatCannotBeLoaded) {
    TestSession t;
    if (!CanRender(t)) GTEST_SKIP() << "sonivex-cli was built without the player";
    if (!fs::exists(kSecondFont)) GTEST_SKIP() << kSecondFont << " is not installed";
    const fs::path song = t.WriteSong(Tune(0, 60), "tune.mid");
    const fs::path out = t.folder().parent_path();
    const CliRun chosen = RunCli(t, Quoted(song) + " --soundfont " + Quoted(kSecondFont) + " --render " + Quoted(out / "tim.wav"));
    const CliRun standard = RunCli(t, Quoted(song) + " --render " + Quoted(out / "fluid.wav"));
    EXPECT_EQ(chosen.status, 0) << chosen.err;
    EXPECT_EQ(standard.status, 0) << standard.err;
    const Bytes tim = WavData(out / "tim.wav");
    ASSERT_GT(tim.size(), 44100u);
    EXPECT_NE(tim, WavData(out / "fluid.wav"));  // another SoundFont's samples: another sound

    // A file that is no SoundFont, and one that is missing: named, nothing written, status 4, and nothing but
    // the message on stderr (FluidSynth's own warnings do not get through).
    const fs::path junk = out / "junk.sf2";
    WriteFile(junk, Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 's', 'f', 'b', 'k'});
    for (const fs::path& font : {junk, out / "missing.sf2"}) {
        const CliRun bad = RunCli(t, Quoted(song) + " --soundfont " + Quoted(font) + " --render " + Quoted(out / "bad.wav"));
        EXPECT_EQ(bad.status, 4);
        EXPECT_EQ(bad.err, "message: " + (out / "bad.wav").string() + " was not written: " + font.string() +
                               " could not be loaded as a SoundFont\n");
        EXPECT_FALSE(fs::exists(out / "bad.wav"));
    }
    EXPECT_EQ(RunCli(t, Quoted(song) + " --render " + Quoted(out / "x.wav") + " --soundfont").status, 2);
}

TEST(BatchRender, RendersEverySongOnceWithTheLengthOfItsOwnRender) {
    Collection c;
    if (!CanRender(c.t)) GTEST_SKIP() << "sonivex-cli was built without the player";
    const CliRun run = c.Batch();
    EXPECT_EQ(run.status, 4) << run.err;  // broken.mid has no sound
    EXPECT_NE(run.err.find("audio files: 4 written, 0 kept, 1 not written"), std::string::npos) << run.err;

    std::set<std::string> expected;
    const std::map<std::string, std::string> lines = LinesBySong(run.out);
    ASSERT_EQ(lines.size(), c.targets.size()) << run.out;
    for (const auto& [song, target] : c.targets) {
        const std::string& line = lines.at(song);
        EXPECT_EQ(Member(line, "audio_file"), "\"" + (c.audio / target).string() + "\"") << line;
        if (song.ends_with("broken.mid")) {
            EXPECT_NE(Member(line, "audio_error").find("cannot be made: the song cannot be read"), std::string::npos);
            EXPECT_EQ(Member(line, "audio_seconds"), "");
            continue;
        }
        expected.insert(target);
        // The song rendered alone, as --render does, gives the same length.
        const fs::path alone = c.t.folder().parent_path() / "alone.wav";
        ASSERT_EQ(RunCli(c.t, Quoted(song) + " --render " + Quoted(alone)).status, 0);
        const double seconds = std::stod(Member(line, "audio_seconds"));
        EXPECT_GT(seconds, 0.5);
        EXPECT_NEAR(seconds, WavSeconds(alone), 1e-9) << song;
        EXPECT_NEAR(seconds, WavSeconds(c.audio / target), 1e-9) << song;
        EXPECT_EQ(Member(line, "audio_error"), "");
    }
    EXPECT_EQ(FilesBelow(c.audio), expected);  // each song once, no scratch file left

    // Other formats: the extension changes, the length does not.
    const CliRun flac = RunCli(c.t, "--batch --no-log --render-to " + Quoted(c.t.folder().parent_path() / "flac") +
                                        " --audio-format flac " + Quoted(c.root / "pop" / "one.mid"));
    EXPECT_EQ(flac.status, 0) << flac.err;
    const Bytes head = TestSession::ReadBytes(c.t.folder().parent_path() / "flac" / "one.flac");
    ASSERT_GE(head.size(), 4u);
    EXPECT_EQ(std::string(head.begin(), head.begin() + 4), "fLaC");
    EXPECT_EQ(Member(flac.out, "audio_seconds"), Member(lines.at((c.root / "pop" / "one.mid").string()), "audio_seconds"));
}

// The process id of a child that has ended, so that a scratch name carrying it belongs to no live run.
int GoneProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

TEST(BatchRender, ResumesAfterAKillKeepingWholeFilesAndReplacingTheRest) {
    Collection c;
    if (!CanRender(c.t)) GTEST_SKIP() << "sonivex-cli was built without the player";
    ASSERT_EQ(c.Batch().status, 4);
    const fs::path whole = c.audio / "jazz" / "deep" / "three.wav";
    const fs::path cut = c.audio / "pop" / "one.wav";
    const fs::path missing = c.audio / "pop" / "two.kar.wav";
    const Bytes wholeBytes = TestSession::ReadBytes(whole);
    const Bytes cutBytes = TestSession::ReadBytes(cut);
    struct stat before {};
    ASSERT_EQ(::stat(whole.c_str(), &before), 0);

    // What a killed run leaves: a file that some other program cut short, a file not yet renamed into place
    // (its scratch file, half written, by a process that is gone), and a scratch file of a live process.
    WriteFile(cut, Bytes(cutBytes.begin(), cutBytes.begin() + 30));
    fs::remove(missing);
    const std::string dead = std::to_string(GoneProcess()) + "-0123456789abcdef";
    const fs::path leftover = c.audio / "pop" / (".two.kar.wav." + dead + ".part");
    const fs::path live = c.audio / "pop" / (".two.kar.wav." + std::to_string(::getpid()) + "-0123456789abcdef.part");
    WriteFile(leftover, Bytes(cutBytes.begin(), cutBytes.begin() + 1000));
    WriteFile(live, Bytes{1, 2, 3});

    const CliRun again = c.Batch();
    EXPECT_EQ(again.status, 4) << again.err;
    EXPECT_NE(again.err.find("audio files: 2 written, 2 kept, 1 not written"), std::string::npos) << again.err;
    struct stat after {};
    ASSERT_EQ(::stat(whole.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);  // kept, not written again
    EXPECT_EQ(TestSession::ReadBytes(whole), wholeBytes);
    EXPECT_EQ(WavData(cut), WavData(c.audio / "pop" / "one.wav"));
    EXPECT_EQ(TestSession::ReadBytes(cut).size(), cutBytes.size());
    EXPECT_TRUE(fs::exists(missing));
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_TRUE(fs::exists(live));  // another run's, perhaps still writing
    // The kept file's line gives its length as the first run did.
    const std::map<std::string, std::string> lines = LinesBySong(again.out);
    EXPECT_NEAR(std::stod(Member(lines.at((c.root / "jazz" / "deep" / "three.midi").string()), "audio_seconds")),
                WavSeconds(whole), 1e-9);
}

TEST(BatchRender, NeverWritesThroughALinkAndHoldsItsFolderAlone) {
    Collection c;
    if (!CanRender(c.t)) GTEST_SKIP() << "sonivex-cli was built without the player";
    // A link where the folder of pop/ would be: its songs fail, nothing lands where it points.
    const fs::path elsewhere = c.t.folder().parent_path() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directories(c.audio);
    fs::create_directory_symlink(elsewhere, c.audio / "pop");
    const CliRun linked = c.Batch();
    EXPECT_EQ(linked.status, 4);
    EXPECT_TRUE(fs::is_empty(elsewhere));
    const std::string popLine = LinesBySong(linked.out).at((c.root / "pop" / "one.mid").string());
    EXPECT_NE(Member(popLine, "audio_error").find("cannot be used as a folder"), std::string::npos) << popLine;
    EXPECT_TRUE(fs::exists(c.audio / "jazz" / "deep" / "three.wav"));

    // A second run on the same folder stops at once and writes nothing.
    bool inUse = false;
    const std::optional<FileDescriptor> lock = LockFolder(c.audio, inUse);
    ASSERT_TRUE(lock.has_value());
    const CliRun second = c.Batch();
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.out, "");
    EXPECT_NE(second.err.find(c.audio.string() + " is in use by another Sonivex run"), std::string::npos) << second.err;
}

TEST(BatchRender, RefusesABadSoundFontOrFormatBeforeTheFirstSong) {
    Collection c;
    if (!CanRender(c.t)) GTEST_SKIP() << "sonivex-cli was built without the player";
    const fs::path junk = c.t.folder().parent_path() / "junk.sf2";
    WriteFile(junk, Bytes{'n', 'o', 'p', 'e'});
    const CliRun bad = c.Batch("--soundfont " + Quoted(junk));
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "sonivex-cli: " + junk.string() + " could not be loaded as a SoundFont\n");
    EXPECT_TRUE(FilesBelow(c.audio).empty());

    EXPECT_EQ(c.Batch("--audio-format mp3").status, 2);
    EXPECT_EQ(RunCli(c.t, "--batch --soundfont " + Quoted(junk) + " " + Quoted(c.root)).status, 2);
    EXPECT_EQ(RunCli(c.t, "--batch --audio-format ogg " + Quoted(c.root)).status, 2);
}

TEST(AudioTargets, KeepEachSongsPathBelowTheSharedFolderAndNeverShareAFile) {
    const std::vector<std::string> songs{"/m/a/x.mid", "/m/a/x.KAR", "/m/b/c/y.midi", "/m/z.mid"};
    const std::vector<fs::path> targets = AudioTargets(songs, ".ogg");
    EXPECT_EQ(targets, (std::vector<fs::path>{"a/x.mid.ogg", "a/x.KAR.ogg", "b/c/y.ogg", "z.ogg"}));
    // One song: its own folder is the shared one. The order does not change a song's file.
    EXPECT_EQ(AudioTargets({"/m/a/x.mid"}, ".wav"), std::vector<fs::path>{"x.wav"});
    EXPECT_EQ(AudioTargets({"/m/z.mid", "/m/b/c/y.midi"}, ".wav"), (std::vector<fs::path>{"z.wav", "b/c/y.wav"}));
    // Folders that only begin alike are not shared.
    EXPECT_EQ(AudioTargets({"/m/ab/x.mid", "/m/abc/y.mid"}, ".wav"), (std::vector<fs::path>{"ab/x.wav", "abc/y.wav"}));
}

}  // namespace
}  // namespace sonivex::test
