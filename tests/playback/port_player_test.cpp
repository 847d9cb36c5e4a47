#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "playback/player/port_player.h"
#include "port_recorder.h"
#include "test_song.h"

namespace sonivex::test {
namespace {

using namespace std::chrono_literals;
using Wire = std::vector<std::uint8_t>;

// A port player on a recorder, with the three-note song open (1.5 s).
class PortPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        player_ = std::make_unique<PortPlayer>(std::make_unique<RecordingOutput>(log_, true));
        ASSERT_TRUE(player_->Open(song_.name()));
    }
    bool WaitForStop(std::chrono::milliseconds limit) {
        const auto start = std::chrono::steady_clock::now();
        while (player_->Mode() != "stopped") {
            if (std::chrono::steady_clock::now() - start > limit) return false;
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }
    // The last `count` messages sent.
    std::vector<Wire> Last(std::size_t count) const {
        const std::vector<SentMessage> sent = log_->Sent();
        std::vector<Wire> bytes;
        for (std::size_t i = sent.size() - std::min(count, sent.size()); i < sent.size(); ++i) {
            bytes.push_back(sent[i].bytes);
        }
        return bytes;
    }

    ScratchFile song_{ThreeNotes(), ".mid"};
    std::shared_ptr<PortLog> log_ = std::make_shared<PortLog>();
    std::unique_ptr<PortPlayer> player_;
};

TEST_F(PortPlayerTest, SendsTheSongInRealTimeAndStopsAtItsEnd) {
    player_->Play(0, player_->LengthTicks());
    EXPECT_EQ(player_->Mode(), "playing");
    ASSERT_TRUE(WaitForStop(3s));
    EXPECT_EQ(player_->PositionTicks(), 288);
    EXPECT_EQ(player_->Problem(), std::nullopt);

    const std::vector<SentMessage> sent = log_->Sent();
    // The program, three notes on and off, then the release of channel 0.
    ASSERT_EQ(sent.size(), 9u);
    const std::vector<double> due{0, 0, 0.5, 0.5, 1.0, 1.0, 1.5, 1.5, 1.5};
    double worst = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        worst = std::max(worst, std::abs(sent[i].time - sent[0].time - due[i]));
    }
    std::printf("worst deviation from the song's times: %.3f ms\n", worst * 1000);
    // Within 2 ms on an idle machine; the rest of the allowance is for a busy one.
    EXPECT_LT(worst, 0.010);
    EXPECT_EQ(sent[7].bytes, (Wire{0xB0, 123, 0}));
    EXPECT_EQ(sent[8].bytes, (Wire{0xB0, 121, 0}));
}

TEST_F(PortPlayerTest, StopPauseAndTheEndOfThePlayerReleaseTheNotes) {
    const Wire notesOff{0xB0, 123, 0}, reset{0xB0, 121, 0};
    player_->Play(0, 288);
    std::this_thread::sleep_for(100ms);
    player_->Pause();
    EXPECT_EQ(player_->Mode(), "paused");
    const std::int64_t held = player_->PositionTicks();
    EXPECT_GT(held, 0);
    EXPECT_LT(held, 96);
    EXPECT_EQ(Last(2), (std::vector<Wire>{notesOff, reset}));

    player_->Play(held, 288);
    player_->Stop();
    EXPECT_EQ(player_->Mode(), "stopped");
    EXPECT_EQ(Last(2), (std::vector<Wire>{notesOff, reset}));

    player_->Play(0, 288);
    const std::size_t before = log_->Sent().size();
    player_.reset();
    EXPECT_EQ(log_->Sent().size(), before + 2);
    EXPECT_EQ(Last(2), (std::vector<Wire>{notesOff, reset}));
}

TEST_F(PortPlayerTest, APortThatGoesAwayStopsThePlayAndIsReported) {
    player_->Play(0, 288);
    std::this_thread::sleep_for(50ms);
    {
        std::lock_guard lock(log_->mutex);
        log_->problem = "the output port synth:in went away";
    }
    // The player asks its output four times a second.
    ASSERT_TRUE(WaitForStop(1s));
    EXPECT_EQ(player_->Problem(), "the output port synth:in went away");
    EXPECT_LT(player_->PositionTicks(), 288);
    {
        std::lock_guard lock(log_->mutex);
        log_->problem.reset();
    }
    player_->Play(0, 288);  // a new play starts with a clean slate
    EXPECT_EQ(player_->Problem(), std::nullopt);
}

TEST_F(PortPlayerTest, AnOutputThatThrowsEndsThePlayAndTheNextPlayIsServed) {
    player_->Play(0, 288);
    {
        std::lock_guard lock(log_->mutex);
        log_->fail = true;
    }
    ASSERT_TRUE(WaitForStop(1s));  // at the second note, half a second in
    EXPECT_EQ(player_->Problem(), "MIDI output failed: the output broke");
    {
        std::lock_guard lock(log_->mutex);
        log_->fail = false;
    }
    player_->Play(240, 288);
    ASSERT_TRUE(WaitForStop(1s));
    EXPECT_EQ(player_->PositionTicks(), 288);
}

TEST_F(PortPlayerTest, SeeksWhilePlayingAndKeepsPlaying) {
    player_->Play(0, 288);
    player_->Seek(240);
    EXPECT_EQ(player_->Mode(), "playing");
    EXPECT_GE(player_->PositionTicks(), 240);
    ASSERT_TRUE(WaitForStop(1s));  // a quarter of a second was left
}

TEST(PortPlayerFiles, RefusesAFileThatIsNotMidiAndHoldsNoSong) {
    auto log = std::make_shared<PortLog>();
    PortPlayer player(std::make_unique<RecordingOutput>(log, true));
    ScratchFile text(Bytes{'h', 'e', 'l', 'l', 'o'}, ".mid");
    EXPECT_FALSE(player.Open(text.name()));
    EXPECT_EQ(player.LengthTicks(), 0);
    player.Play(0, 0);
    EXPECT_EQ(player.Mode(), "stopped");
}

}  // namespace
}  // namespace sonivex::test
