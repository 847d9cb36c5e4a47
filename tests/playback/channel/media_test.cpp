#include <gtest/gtest.h>

#include <filesystem>

#include "playback/hook.h"
#include "playback/media.h"
#include "support/fake_media.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

struct MediaSession {
    TestSession t;
    FakeMedia device;
    MediaSession() {
        t->media.Device = &device;
        t->media.MediaWindow = 4242;
    }
};

TEST(MediaChannel, BuildsEveryCommandStringExactly) {
    MediaSession m;
    m.device.replies["Status VAVidev1 length"] = "3840";
    std::string path = "/music/song.mid";
    MediaOpen(m.t->media, path, "VAVidev1", m.t->folders.work);
    MediaPause(m.t->media, "VAVidev1");
    MediaPlay(m.t->media, "VAVidev1", 96, 480);
    MediaStop(m.t->media, "VAVidev1");
    MediaPlaceWindow(m.t->media, "VAVidev1", 0, 0, 25, 17);
    MediaPlaceWindow(m.t->media, "VAVidev1", -5, 7, 30, 40);
    MediaClose(m.t->media, "VAVidev1");
    EXPECT_EQ(m.device.commands,
              (std::vector<std::string>{
                  "Open /music/song.mid type MPEGVideo Alias VAVidev1 parent 4242 Style 1073741824 notify",
                  "Pause VAVidev1 notify", "Play VAVidev1 from 96 to 480 notify", "Stop VAVidev1 notify",
                  "Put VAVidev1 window at 0 0 25 17 notify", "Put VAVidev1 window at -5 7 30 40 notify",
                  "Close VAVidev1 notify"}));
    for (std::intptr_t window : m.device.windows) EXPECT_EQ(window, 4242);
    EXPECT_EQ(m.t->media.LastMediaCommand, "Close VAVidev1 notify");
}

TEST(MediaChannel, PlaysToTheEndByAskingForTheLengthFirst) {
    MediaSession m;
    m.device.replies["Status VAVidev1 length"] = "3840  ";
    MediaPlay(m.t->media, "VAVidev1", 0, kToTheEnd);
    EXPECT_EQ(m.device.commands, (std::vector<std::string>{"Set VAVidev1 time format frames", "Status VAVidev1 length",
                                                           "Play VAVidev1 from 0 to 3840 notify"}));
    EXPECT_EQ(m.device.windows[0], 0);
    EXPECT_EQ(m.device.windows[1], 0);
    EXPECT_TRUE(m.t->media.Playing);
}

TEST(MediaChannel, KeepsFailuresSilentAndPlayingAsItWas) {
    MediaSession m;
    m.device.failures["Status"] = 263;
    m.device.failures["Play"] = 263;
    MediaPlay(m.t->media, "VAVidev1", 0, kToTheEnd);
    EXPECT_EQ(m.device.commands.back(), "Play VAVidev1 from 0 to -1 notify");
    EXPECT_EQ(m.t->media.LastMediaError, 263);
    EXPECT_FALSE(m.t->media.Playing);
    EXPECT_EQ(MediaPosition(m.t->media, "VAVidev1"), -1);
    EXPECT_EQ(MediaErrorText(m.t->media, 263), "error 263");
    EXPECT_TRUE(m.t.platform().messages.empty());

    m.device.failures.clear();
    m.t->media.Playing = true;
    m.device.failures["Stop"] = 5;
    MediaStop(m.t->media, "VAVidev1");
    EXPECT_TRUE(m.t->media.Playing);
    m.device.failures.clear();
    MediaClose(m.t->media, "VAVidev1");
    EXPECT_FALSE(m.t->media.Playing);
}

TEST(MediaChannel, FailsEveryCommandWithoutADevice) {
    TestSession t;
    MediaStop(t->media, "VAVidev1");
    EXPECT_NE(t->media.LastMediaError, 0);
    EXPECT_EQ(t->media.LastMediaCommand, "Stop VAVidev1 notify");
    EXPECT_EQ(MediaLength(t->media, "VAVidev1"), -1);
}

TEST(MediaChannel, OpensAPathWithBlanksThroughALinkInTheWorkFolderAndRemovesItAtClose) {
    TestSession t;
    const auto song = t.WriteSong({1, 2, 3}, "my song.mid");
    FakeMedia device;
    t->media.Device = &device;
    const std::string path = song.string();
    MediaOpen(t->media, path, "VAVidev1", t->folders.work);
    const std::string open = device.commands[0];
    ASSERT_EQ(open.rfind("Open ", 0), 0u);
    const std::string link = open.substr(5, open.find(" type MPEGVideo") - 5);
    EXPECT_EQ(link.find(' '), std::string::npos);
    EXPECT_EQ(std::filesystem::path(link).parent_path(), t->folders.work);
    EXPECT_TRUE(std::filesystem::equivalent(link, song));
    MediaClose(t->media, "VAVidev1");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    EXPECT_EQ(ShortPath("/no/blanks.mid", t->folders.work), "/no/blanks.mid");
}

TEST(MediaHook, ConsumesCompletionNotificationsAndPassesTheRestOn) {
    std::vector<int> passed;
    const WindowProcedure previous = [&](std::intptr_t, int message, std::intptr_t, std::intptr_t) {
        passed.push_back(message);
        return std::intptr_t{7};
    };
    EXPECT_EQ(MediaNotifyHook(1, kMediaNotifyMessage, 1, 0, previous), 0);
    EXPECT_EQ(MediaNotifyHook(1, 15, 0, 0, previous), 7);
    EXPECT_EQ(passed, (std::vector<int>{15}));
}

TEST(MediaChannel, TellsThePlayerWhichTracksToSilenceAndAgainAfterEveryOpen) {
    MediaSession m;
    m.t->media.Silenced = SilencedTracks({2, 0});
    MediaSilence(m.t->media, "VAVidev1");
    EXPECT_EQ(m.device.commands.back(), "Set VAVidev1 silence 1 3");
    EXPECT_EQ(m.device.windows.back(), 0);
    MediaOpen(m.t->media, "/music/song.mid", "VAVidev1", m.t->folders.work);
    EXPECT_EQ(m.device.commands.back(), "Set VAVidev1 silence 1 3");
    // The state keeps the open's own command.
    EXPECT_EQ(m.t->media.LastMediaCommand.rfind("Open /music/song.mid", 0), 0u);
    m.t->media.Silenced = {};
    MediaSilence(m.t->media, "VAVidev1");
    EXPECT_EQ(m.device.commands.back(), "Set VAVidev1 silence");
    // Without silenced tracks an open sends nothing more.
    const std::size_t before = m.device.commands.size();
    MediaOpen(m.t->media, "/music/song.mid", "VAVidev1", m.t->folders.work);
    EXPECT_EQ(m.device.commands.size(), before + 1);
}

}  // namespace
}  // namespace sonivex::test
