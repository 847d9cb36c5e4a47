#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "playback/player/midi_player.h"
#include "test_song.h"

namespace sonivex::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A player on the silent output, whatever sound card the machine has, with the three-note song open.
class RealTimePlayer : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("SONIVEX_AUDIO", "none", 1);
        player_ = MidiPlayer::Create();
        ASSERT_NE(player_, nullptr);
        ASSERT_FALSE(player_->UsesAudioDevice());
        ASSERT_TRUE(player_->Open(song_.name()));
    }

    // Waits until the player stops by itself, for at most `limit`; returns the seconds waited.
    double WaitForStop(std::chrono::milliseconds limit) {
        const Clock::time_point start = Clock::now();
        while (player_->Mode() != "stopped" && Clock::now() - start < limit) std::this_thread::sleep_for(5ms);
        return SecondsSince(start);
    }

    ScratchFile song_{ThreeNotes(), ".mid"};
    std::unique_ptr<MidiPlayer> player_;
};

TEST_F(RealTimePlayer, KnowsTheLengthAsSoonAsTheFileIsOpen) {
    EXPECT_EQ(player_->LengthTicks(), 288);
    EXPECT_EQ(player_->PositionTicks(), 0);
    EXPECT_EQ(player_->Mode(), "stopped");
}

TEST_F(RealTimePlayer, AdvancesWithTheWallClockWhilePlaying) {
    const Clock::time_point start = Clock::now();
    player_->Play(0, 288);
    EXPECT_EQ(player_->Mode(), "playing");
    std::this_thread::sleep_for(400ms);
    const std::int64_t position = player_->PositionTicks();
    const double elapsed = SecondsSince(start);
    // The silent output renders blocks of 512 frames (about 12 ms) once their time has passed, so the song
    // may lag the clock by two blocks; the rest of the allowance is for a busy machine.
    EXPECT_GE(position, static_cast<std::int64_t>((0.4 - 0.06) / kSecondsPerTick));
    EXPECT_LE(position, static_cast<std::int64_t>(elapsed / kSecondsPerTick) + 1);
    EXPECT_EQ(player_->Mode(), "playing");
}

TEST_F(RealTimePlayer, ResumesAtThePausedPositionAndStopsAtTheEnd) {
    player_->Play(0, 288);
    std::this_thread::sleep_for(300ms);
    player_->Pause();
    EXPECT_EQ(player_->Mode(), "paused");
    const std::int64_t paused = player_->PositionTicks();
    EXPECT_GT(paused, 40);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(player_->PositionTicks(), paused);

    const Clock::time_point resumed = Clock::now();
    player_->Play(paused, 288);
    EXPECT_EQ(player_->Mode(), "playing");
    EXPECT_GE(player_->PositionTicks(), paused);
    std::this_thread::sleep_for(200ms);
    EXPECT_GT(player_->PositionTicks(), paused + 20);

    const double rest = static_cast<double>(288 - paused) * kSecondsPerTick;
    WaitForStop(std::chrono::milliseconds(static_cast<int>(rest * 1000) + 1000));
    const double took = SecondsSince(resumed);
    EXPECT_EQ(player_->Mode(), "stopped");
    EXPECT_EQ(player_->PositionTicks(), 288);
    EXPECT_GT(took, rest - 0.05);
    EXPECT_LT(took, rest + 1.0);
}

TEST_F(RealTimePlayer, StopsAtTheEndOfTheRangeGiven) {
    const Clock::time_point start = Clock::now();
    player_->Play(96, 192);
    WaitForStop(1500ms);
    const double took = SecondsSince(start);
    EXPECT_EQ(player_->Mode(), "stopped");
    EXPECT_EQ(player_->PositionTicks(), 192);
    EXPECT_GT(took, 0.45);
    EXPECT_LT(took, 1.5);
}

TEST_F(RealTimePlayer, StopKeepsThePosition) {
    player_->Play(0, 288);
    std::this_thread::sleep_for(200ms);
    player_->Stop();
    EXPECT_EQ(player_->Mode(), "stopped");
    const std::int64_t stopped = player_->PositionTicks();
    EXPECT_GT(stopped, 20);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(player_->PositionTicks(), stopped);
}

TEST_F(RealTimePlayer, PlaysAgainFromTheStartAfterTheEnd) {
    player_->Play(192, 288);
    WaitForStop(2000ms);
    ASSERT_EQ(player_->Mode(), "stopped");
    player_->Play(0, 288);
    EXPECT_EQ(player_->Mode(), "playing");
    EXPECT_LT(player_->PositionTicks(), 10);
}

TEST(MidiPlayer, RefusesFilesThatAreNotMidi) {
    ::setenv("SONIVEX_AUDIO", "none", 1);
    const auto player = MidiPlayer::Create();
    ASSERT_NE(player, nullptr);
    const ScratchFile text(Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!'}, ".mid");
    EXPECT_FALSE(player->Open(text.name()));
    EXPECT_FALSE(player->Open("/nonexistent/folder/song.mid"));
    EXPECT_EQ(player->LengthTicks(), 0);
}

}  // namespace
}  // namespace sonivex::test
