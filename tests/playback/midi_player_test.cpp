#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
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

TEST_F(RealTimePlayer, SeekingWhilePlayingGoesOnFromThereAndAPausedSeekResumesThere) {
    player_->Play(0, 288);
    player_->Seek(200);
    EXPECT_EQ(player_->Mode(), "playing");
    EXPECT_GE(player_->PositionTicks(), 200);
    std::this_thread::sleep_for(100ms);
    EXPECT_GT(player_->PositionTicks(), 200);

    player_->Pause();
    player_->Seek(48);
    EXPECT_EQ(player_->Mode(), "paused");
    EXPECT_EQ(player_->PositionTicks(), 48);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(player_->PositionTicks(), 48);
    player_->Play(player_->PositionTicks(), 288);
    std::this_thread::sleep_for(150ms);
    EXPECT_GT(player_->PositionTicks(), 48);
    EXPECT_LT(player_->PositionTicks(), 200);
}

TEST(MidiPlayer, SeeksInALongDenseSongWithoutAPause) {
    // Ten minutes at 120 beats a minute, a note and a controller every beat on each of 16 channels; the
    // seek sends every controller before the new place. The bound is generous: sonivex-seek-bench gives the
    // real figure (a few milliseconds).
    ::setenv("SONIVEX_AUDIO", "none", 1);
    MidiFile file(1, kTicksPerQuarter);
    for (int channel = 0; channel < 16; ++channel) {
        Track t;
        for (int beat = 0; beat < 1200; ++beat) {
            t.At(0, {0xB0 | channel, 7, beat % 128});
            t.NoteOn(0, channel, 40 + beat % 40, 90).NoteOff(kTicksPerQuarter, channel, 40 + beat % 40);
        }
        file.Add(t.End());
    }
    ScratchFile song(file.Build(), ".mid");
    std::unique_ptr<MidiPlayer> player = MidiPlayer::Create();
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(player->Open(song.name()));
    const std::int64_t length = player->LengthTicks();
    ASSERT_EQ(length, 1200 * kTicksPerQuarter);
    player->Play(0, length);
    double slowest = 0;
    for (const std::int64_t target : {length - 100, length / 3, length / 2, std::int64_t{10}, length - 5000}) {
        const Clock::time_point start = Clock::now();
        player->Seek(target);
        slowest = std::max(slowest, SecondsSince(start));
        EXPECT_GE(player->PositionTicks(), target);
        EXPECT_LT(player->PositionTicks(), target + 200);
    }
    EXPECT_LT(slowest, 0.5);
}

TEST(MidiPlayer, LoadsTheSoundFontItIsGivenOrTheDefault) {
    ::setenv("SONIVEX_AUDIO", "none", 1);
    const std::filesystem::path chosen = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (!std::filesystem::exists(chosen)) GTEST_SKIP() << "TimGM6mb.sf2 is not installed";
    const std::unique_ptr<MidiPlayer> player = MidiPlayer::Create(chosen);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->SoundFont(), chosen);
    EXPECT_TRUE(player->HasInstruments());
    const std::unique_ptr<MidiPlayer> byDefault = MidiPlayer::Create();
    ASSERT_NE(byDefault, nullptr);
    EXPECT_EQ(byDefault->SoundFont(), FindSoundFont());
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
