#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "support/test_session.h"

namespace sonivex::test {
namespace {

struct CliRun {
    int status;
    std::string err;
};

// Runs sonivex-cli with no display and no platform chosen, as on a server.
CliRun RunCli(TestSession& t, const std::string& args) {
    const auto err = t.folder().parent_path() / "err.txt";
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + std::string(SONIVEX_CLI) +
                                " --program-folder '" + t.folder().string() + "' " + args + " > /dev/null 2> '" +
                                err.string() + "' < /dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, TestSession::ReadText(err)};
}

std::string Quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

Bytes Song() {
    return MidiFile()
        .Add(Track().Name(0, "Lead").NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).NoteOn(0, 0, 64, 90).NoteOff(96, 0, 64).End())
        .Add(Track().Name(0, "Kit").NoteOn(0, 9, 36, 100).NoteOff(96, 9, 36).End())
        .Build();
}

#ifdef SONIVEX_HAVE_PIANO_ROLL

// The width and height in a PNG file's header chunk; 0 x 0 when the file is no PNG.
std::pair<std::uint32_t, std::uint32_t> PngSize(const Bytes& png) {
    const Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 24 || !std::equal(signature.begin(), signature.end(), png.begin())) return {0, 0};
    const auto big = [&](std::size_t at) {
        return std::uint32_t{png[at]} << 24 | std::uint32_t{png[at + 1]} << 16 | std::uint32_t{png[at + 2]} << 8 |
               png[at + 3];
    };
    return {big(16), big(20)};
}

TEST(PianoRollCli, DrawsAPictureOfTheGivenSizeWithoutADisplay) {
    TestSession t;
    const auto song = t.WriteSong(Song());
    const auto picture = t.folder().parent_path() / "roll.png";
    const CliRun run = RunCli(t, Quoted(song) + " --piano-roll " + Quoted(picture) + " --size 640x360");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");  // nothing from Qt mixes with the messages
    EXPECT_EQ(PngSize(TestSession::ReadBytes(picture)), std::make_pair(640u, 360u));
}

TEST(PianoRollCli, DrawsAtTheDefaultSizeAfterTheCommandsBeforeIt) {
    TestSession t;
    const auto song = t.WriteSong(Song());
    const auto before = t.folder().parent_path() / "before.png";
    const auto after = t.folder().parent_path() / "after.png";
    // Two pictures in one run: before and after Copy Track.
    const CliRun run = RunCli(t, Quoted(song) + " --piano-roll " + Quoted(before) + " --copy-track 0 --copy --piano-roll " +
                                     Quoted(after));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(PngSize(TestSession::ReadBytes(before)), std::make_pair(1600u, 900u));
    EXPECT_EQ(PngSize(TestSession::ReadBytes(after)), std::make_pair(1600u, 900u));
    EXPECT_NE(TestSession::ReadBytes(before), TestSession::ReadBytes(after));
}

TEST(PianoRollCli, RefusesABadSizeAndNamesAPictureItCannotWrite) {
    TestSession t;
    const std::string song = Quoted(t.WriteSong(Song()));
    const std::string out = Quoted(t.folder().parent_path() / "x.png");
    for (const char* size : {"0x10", "640", "x480", "640x", "20000x10", "6a0x480", "-640x480"}) {
        EXPECT_EQ(RunCli(t, song + " --piano-roll " + out + " --size " + size).status, 2) << size;
    }
    EXPECT_EQ(RunCli(t, song + " --piano-roll").status, 2);
    const CliRun unwritable = RunCli(t, song + " --piano-roll " + Quoted(t.folder() / "no-such-folder" / "x.png"));
    EXPECT_EQ(unwritable.status, 4);
    EXPECT_NE(unwritable.err.find("message: "), std::string::npos);
    EXPECT_NE(unwritable.err.find("x.png could not be written"), std::string::npos);
}

#else

TEST(PianoRollCli, SaysThePictureIsUnavailableWithoutQt) {
    TestSession t;
    const CliRun run = RunCli(t, Quoted(t.WriteSong(Song())) + " --piano-roll x.png");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--piano-roll is not available"), std::string::npos);
}

#endif

}  // namespace
}  // namespace sonivex::test
