#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <set>
#include <tuple>

#include "playback/player/command_interpreter.h"
#include "playback/player/midi_player.h"
#include "test_song.h"

namespace sonivex::test {
namespace {

// What a fake player was asked to do, kept beyond the player's life.
struct FakeLog {
    std::string opened;
    std::vector<std::pair<std::int64_t, std::int64_t>> plays;
    int pauses = 0;
    int stops = 0;
    std::vector<std::int64_t> seeks;
    std::vector<std::vector<std::int32_t>> silenced;  // each Silence, its tracks 0-based
    bool destroyed = false;
};

// A player that plays nothing: its position moves only when the test says so.
class FakePlayer : public Player {
public:
    explicit FakePlayer(std::shared_ptr<FakeLog> log) : log_(std::move(log)) {}
    ~FakePlayer() override { log_->destroyed = true; }

    bool Open(const std::string& path) override {
        log_->opened = path;
        return path.find("missing") == std::string::npos;
    }
    void Play(std::int64_t from, std::int64_t to) override {
        log_->plays.emplace_back(from, to);
        position = from;
        mode = "playing";
    }
    void Pause() override {
        ++log_->pauses;
        if (mode == "playing") mode = "paused";
    }
    void Stop() override {
        ++log_->stops;
        mode = "stopped";
    }
    void Seek(std::int64_t tick) override {
        log_->seeks.push_back(tick);
        position = tick;
    }
    std::int64_t PositionTicks() const override { return position; }
    std::int64_t LengthTicks() const override { return 3840; }
    std::string Mode() const override { return mode; }
    void Silence(const SilencedTracks& tracks) override { log_->silenced.push_back(tracks.Tracks()); }

    std::int64_t position = 0;
    std::string mode = "stopped";

private:
    std::shared_ptr<FakeLog> log_;
};

using Notification = std::tuple<std::intptr_t, int, std::intptr_t, std::intptr_t>;

// An interpreter on fake players, recording the players it makes and the notifications it sends.
class Interpreter : public ::testing::Test {
protected:
    Interpreter()
        : media_(
              [this]() -> std::unique_ptr<Player> {
                  if (!canMakePlayers_) return nullptr;
                  logs_.push_back(std::make_shared<FakeLog>());
                  auto player = std::make_unique<FakePlayer>(logs_.back());
                  players_.push_back(player.get());
                  return player;
              },
              [this](std::intptr_t window, int message, std::intptr_t first, std::intptr_t second) {
                  notifications_.emplace_back(window, message, first, second);
              }) {}

    // Sends a command with the program's callback window; returns its result.
    int Send(const std::string& command) { return media_.SendString(command, &reply_, kWindow); }

    // Opens the program's alias as the program does.
    void OpenSong() {
        ASSERT_EQ(Send("Open /songs/x.mid type MPEGVideo Alias VAVidev1 parent 1234 Style 1073741824 notify"), 0);
    }

    std::string Status(const std::string& item) {
        std::string reply;
        EXPECT_EQ(media_.SendString("Status VAVidev1 " + item, &reply, 0), 0);
        return reply;
    }

    static constexpr std::intptr_t kWindow = 1234;
    bool canMakePlayers_ = true;
    std::vector<std::shared_ptr<FakeLog>> logs_;
    std::vector<FakePlayer*> players_;  // valid while their alias is open
    std::vector<Notification> notifications_;
    std::string reply_;
    CommandInterpreter media_;
};

TEST_F(Interpreter, OpensTheFileOfTheOpenCommandUnderItsAlias) {
    OpenSong();
    ASSERT_EQ(logs_.size(), 1u);
    EXPECT_EQ(logs_[0]->opened, "/songs/x.mid");
    EXPECT_EQ(reply_, "");
    EXPECT_EQ(Status("length"), "3840");
    EXPECT_EQ(Status("position"), "0");
    EXPECT_EQ(Status("mode"), "stopped");
}

TEST_F(Interpreter, ReadsCommandsWithoutRegardToCase) {
    ASSERT_EQ(Send("OPEN /Songs/X.MID TYPE mpegvideo ALIAS Song"), 0);
    EXPECT_EQ(logs_[0]->opened, "/Songs/X.MID");  // the path keeps its case
    EXPECT_EQ(Send("pLaY sOnG FROM 10 TO 20"), 0);
    std::string reply;
    EXPECT_EQ(media_.SendString("STATUS song MODE", &reply, 0), 0);
    EXPECT_EQ(reply, "playing");
}

TEST_F(Interpreter, UsesThePathAsAliasWhenNoneIsGiven) {
    ASSERT_EQ(Send("open /songs/y.mid"), 0);
    EXPECT_EQ(Send("play /songs/y.mid"), 0);
    EXPECT_EQ(Send("close /songs/y.mid"), 0);
}

TEST_F(Interpreter, PlaysTheRangeGiven) {
    OpenSong();
    EXPECT_EQ(Send("Play VAVidev1 from 0 to 3840 notify"), 0);
    EXPECT_EQ(Send("Play VAVidev1 to 100 from 50"), 0);
    EXPECT_EQ(logs_[0]->plays, (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 3840}, {50, 100}}));
    EXPECT_EQ(Status("mode"), "playing");
}

TEST_F(Interpreter, PlaysFromTheCurrentPositionToTheEndWhenNoRangeIsGiven) {
    OpenSong();
    players_[0]->position = 700;
    EXPECT_EQ(Send("Play VAVidev1"), 0);
    EXPECT_EQ(Send("Play VAVidev1 to 800"), 0);
    players_[0]->position = 750;
    EXPECT_EQ(Send("Play VAVidev1 from 0"), 0);
    EXPECT_EQ(logs_[0]->plays,
              (std::vector<std::pair<std::int64_t, std::int64_t>>{{700, 3840}, {700, 800}, {0, 3840}}));
}

TEST_F(Interpreter, ResumesAtThePausedPosition) {
    // The program's own sequence: play, pause, ask for the position, play from there to the length.
    OpenSong();
    EXPECT_EQ(Send("Play VAVidev1 from 0 to 3840 notify"), 0);
    players_[0]->position = 1234;
    EXPECT_EQ(Send("Pause VAVidev1 notify"), 0);
    EXPECT_EQ(Status("mode"), "paused");
    const std::string position = Status("position");
    EXPECT_EQ(position, "1234");
    EXPECT_EQ(media_.SendString("Set VAVidev1 time format frames", &reply_, 0), 0);
    const std::string length = Status("length");
    EXPECT_EQ(Send("Play VAVidev1 from " + position + " to " + length + " notify"), 0);
    EXPECT_EQ(logs_[0]->plays.back(), std::make_pair(std::int64_t{1234}, std::int64_t{3840}));
    EXPECT_EQ(Status("mode"), "playing");
}

TEST_F(Interpreter, PassesPauseAndStopToThePlayer) {
    OpenSong();
    EXPECT_EQ(Send("Pause VAVidev1 notify"), 0);
    EXPECT_EQ(Send("Stop VAVidev1 notify"), 0);
    EXPECT_EQ(logs_[0]->pauses, 1);
    EXPECT_EQ(logs_[0]->stops, 1);
}

TEST_F(Interpreter, SeeksToATickOrToEitherEndOfTheSong) {
    OpenSong();
    EXPECT_EQ(Send("Seek VAVidev1 to 1200 notify"), 0);
    EXPECT_EQ(Status("position"), "1200");
    EXPECT_EQ(Send("SEEK vavidev1 TO END"), 0);
    EXPECT_EQ(Send("seek VAVidev1 to start"), 0);
    EXPECT_EQ(logs_[0]->seeks, (std::vector<std::int64_t>{1200, 3840, 0}));
    // A play with no range goes on from the position sought.
    EXPECT_EQ(Send("Seek VAVidev1 to 640"), 0);
    EXPECT_EQ(Send("Play VAVidev1"), 0);
    EXPECT_EQ(logs_[0]->plays.back(), std::make_pair(std::int64_t{640}, std::int64_t{3840}));
}

TEST_F(Interpreter, RejectsASeekOutsideTheSongOrWithoutAPlace) {
    OpenSong();
    EXPECT_EQ(Send("Seek VAVidev1 to 3841"), kMediaOutOfRange);
    EXPECT_EQ(Send("Seek VAVidev1 to -1"), kMediaOutOfRange);
    EXPECT_EQ(Send("Seek VAVidev1"), kMediaMissingParameter);
    EXPECT_EQ(Send("Seek VAVidev1 to"), kMediaMissingParameter);
    EXPECT_EQ(Send("Seek VAVidev1 to middle"), kMediaMissingParameter);
    EXPECT_EQ(Send("Seek VAVidev1 from 10"), kMediaUnrecognizedKeyword);
    EXPECT_EQ(Send("Seek VAVidev1 to 10 20"), kMediaUnrecognizedKeyword);
    EXPECT_EQ(Send("Seek Other to 10"), kMediaUnknownAlias);
    EXPECT_TRUE(logs_[0]->seeks.empty());
}

TEST_F(Interpreter, RejectsAPositionOutsideTheSong) {
    OpenSong();
    EXPECT_EQ(Send("Play VAVidev1 from 0 to -1 notify"), kMediaOutOfRange);  // a failed length query
    EXPECT_EQ(Send("Play VAVidev1 from 0 to 3841"), kMediaOutOfRange);
    EXPECT_EQ(Send("Play VAVidev1 from 3000 to 2000"), kMediaOutOfRange);
    EXPECT_EQ(Send("Play VAVidev1 from -5"), kMediaOutOfRange);
    EXPECT_EQ(Send("Play VAVidev1 from 3840 to 3840"), 0);
    EXPECT_EQ(logs_[0]->plays.size(), 1u);
}

TEST_F(Interpreter, RejectsMissingAndMalformedNumbers) {
    OpenSong();
    EXPECT_EQ(Send("Play VAVidev1 from"), kMediaMissingParameter);
    EXPECT_EQ(Send("Play VAVidev1 from ten"), kMediaMissingParameter);
    EXPECT_EQ(Send("Play VAVidev1 from 1x"), kMediaMissingParameter);
    EXPECT_EQ(Send("Play VAVidev1 from +1"), kMediaMissingParameter);
    EXPECT_EQ(Send("Play VAVidev1 at 5"), kMediaUnrecognizedKeyword);
    EXPECT_EQ(Send("Open /songs/z.mid alias Other parent"), kMediaMissingParameter);
    EXPECT_EQ(Send("Open /songs/z.mid alias Other style big"), kMediaMissingParameter);
    EXPECT_TRUE(logs_[0]->plays.empty());
}

TEST_F(Interpreter, AcceptsWindowPlacementWithoutEffect) {
    OpenSong();
    EXPECT_EQ(Send("Put VAVidev1 window at 0 0 25 17 notify"), 0);
    EXPECT_EQ(Send("Put VAVidev1 window at -3 4 0 0"), 0);
    EXPECT_EQ(Send("Put VAVidev1 window"), 0);
    EXPECT_EQ(Send("Put VAVidev1 window at 0 0 25"), kMediaMissingParameter);
    EXPECT_EQ(Send("Put VAVidev1 window at 0 0 25 x"), kMediaMissingParameter);
    EXPECT_EQ(Send("Put VAVidev1 window at 0 0 25 17 18"), kMediaUnrecognizedKeyword);
    EXPECT_EQ(Send("Put VAVidev1 destination"), kMediaUnrecognizedKeyword);
    EXPECT_TRUE(logs_[0]->plays.empty());
    EXPECT_EQ(logs_[0]->stops, 0);
}

TEST_F(Interpreter, AcceptsTheFramesTimeFormatOnly) {
    OpenSong();
    EXPECT_EQ(Send("Set VAVidev1 time format frames"), 0);
    EXPECT_EQ(Send("Set VAVidev1 time format milliseconds"), kMediaUnsupportedTimeFormat);
    EXPECT_EQ(Send("Set VAVidev1 time format"), kMediaMissingParameter);
    EXPECT_EQ(Send("Set VAVidev1 audio all off"), kMediaUnrecognizedKeyword);
}

TEST_F(Interpreter, RepliesOnlyToStatusCommands) {
    OpenSong();
    reply_ = "left over";
    EXPECT_EQ(Send("Stop VAVidev1"), 0);
    EXPECT_EQ(reply_, "");
    EXPECT_EQ(Send("Status VAVidev1 length"), 0);
    EXPECT_EQ(reply_, "3840");
    EXPECT_EQ(Send("Status VAVidev1 volume"), kMediaUnrecognizedKeyword);
    EXPECT_EQ(reply_, "");
    EXPECT_EQ(Send("Status VAVidev1"), kMediaMissingParameter);
    EXPECT_EQ(media_.SendString("Status VAVidev1 position", nullptr, 0), 0);  // no reply wanted
}

TEST_F(Interpreter, RejectsUnknownCommands) {
    OpenSong();
    EXPECT_EQ(Send("Rewind VAVidev1"), kMediaUnrecognizedCommand);
    EXPECT_EQ(Send(""), kMediaUnrecognizedCommand);
    EXPECT_EQ(Send("notify"), kMediaUnrecognizedCommand);
    EXPECT_EQ(Send("Stop"), kMediaMissingParameter);
    EXPECT_EQ(Send("Stop VAVidev1 now"), kMediaUnrecognizedKeyword);
    EXPECT_EQ(Send("Open /songs/z.mid alias Other shareable yes"), kMediaUnrecognizedKeyword);
    EXPECT_EQ(logs_[0]->stops, 0);
}

TEST_F(Interpreter, RejectsCommandsForAnAliasThatIsNotOpen) {
    OpenSong();
    for (const char* command : {"Close Other", "Pause Other", "Play Other from 0 to 10", "Stop Other",
                                "Put Other window at 0 0 1 1", "Set Other time format frames", "Status Other mode"}) {
        EXPECT_EQ(Send(command), kMediaUnknownAlias) << command;
    }
    EXPECT_TRUE(logs_[0]->plays.empty());
}

TEST_F(Interpreter, ClosesTheAliasAndFreesItsPlayer) {
    OpenSong();
    EXPECT_EQ(Send("Close VAVidev1 notify"), 0);
    EXPECT_TRUE(logs_[0]->destroyed);
    EXPECT_EQ(Send("Status VAVidev1 mode"), kMediaUnknownAlias);
    EXPECT_EQ(Send("Close VAVidev1 notify"), kMediaUnknownAlias);  // closing twice is harmless
    OpenSong();
    EXPECT_EQ(logs_.size(), 2u);
}

TEST_F(Interpreter, RefusesASecondOpenUnderTheSameAlias) {
    OpenSong();
    EXPECT_EQ(Send("Open /songs/y.mid type MPEGVideo Alias vavidev1 notify"), kMediaAliasInUse);
    EXPECT_EQ(logs_.size(), 1u);
    EXPECT_EQ(logs_[0]->opened, "/songs/x.mid");
}

TEST_F(Interpreter, ReportsAFileThatCannotBeOpened) {
    EXPECT_EQ(Send("Open /songs/missing.mid type MPEGVideo Alias VAVidev1 notify"), kMediaCannotOpenFile);
    EXPECT_TRUE(logs_[0]->destroyed);
    EXPECT_EQ(Send("Status VAVidev1 mode"), kMediaUnknownAlias);
}

TEST_F(Interpreter, ReportsThatNoPlayerCouldBeMade) {
    canMakePlayers_ = false;
    EXPECT_EQ(Send("Open /songs/x.mid type MPEGVideo Alias VAVidev1"), kMediaNoPlayer);
    EXPECT_EQ(Send("Status VAVidev1 mode"), kMediaUnknownAlias);
}

TEST_F(Interpreter, KeepsOnePlayerPerAlias) {
    OpenSong();
    ASSERT_EQ(Send("Open /songs/y.mid alias Second"), 0);
    EXPECT_EQ(Send("Play Second from 5 to 6"), 0);
    EXPECT_EQ(Status("mode"), "stopped");
    EXPECT_TRUE(logs_[0]->plays.empty());
    EXPECT_EQ(logs_[1]->plays.size(), 1u);
    EXPECT_EQ(Send("Close Second"), 0);
    EXPECT_FALSE(logs_[0]->destroyed);
    EXPECT_TRUE(logs_[1]->destroyed);
}

TEST_F(Interpreter, NotifiesTheCallbackWindowOfACommandEndingInNotify) {
    OpenSong();
    ASSERT_EQ(notifications_.size(), 1u);
    EXPECT_EQ(notifications_[0], Notification(kWindow, kMediaNotifyMessage, kMediaNotifySuccessful, 0));
    EXPECT_EQ(Send("Play VAVidev1 from 0 to 3840 NOTIFY"), 0);
    EXPECT_EQ(notifications_.size(), 2u);
}

TEST_F(Interpreter, DoesNotNotifyWithoutTheNotifyWordOrWithoutAWindow) {
    OpenSong();
    notifications_.clear();
    EXPECT_EQ(Send("Play VAVidev1 from 0 to 3840"), 0);
    EXPECT_EQ(media_.SendString("Stop VAVidev1 notify", nullptr, 0), 0);
    EXPECT_EQ(Send("Status VAVidev1 mode"), 0);
    EXPECT_EQ(Send("Play VAVidev1 notify from 0"), kMediaUnrecognizedKeyword);  // notify must come last
    EXPECT_TRUE(notifications_.empty());
}

TEST_F(Interpreter, ReportsFailureInTheNotification) {
    EXPECT_EQ(Send("Play VAVidev1 from 0 to 10 notify"), kMediaUnknownAlias);
    EXPECT_EQ(Send("Close VAVidev1 notify"), kMediaUnknownAlias);
    ASSERT_EQ(notifications_.size(), 2u);
    EXPECT_EQ(notifications_[0], Notification(kWindow, kMediaNotifyMessage, kMediaNotifyFailed, 0));
}

TEST_F(Interpreter, NamesEveryErrorItReturns) {
    std::set<std::string> texts;
    for (int code : {kMediaUnrecognizedKeyword, kMediaUnrecognizedCommand, kMediaUnknownAlias, kMediaNoPlayer,
                     kMediaMissingParameter, kMediaCannotOpenFile, kMediaOutOfRange, kMediaAliasInUse,
                     kMediaUnsupportedTimeFormat}) {
        const std::string text = media_.ErrorString(code);
        EXPECT_NE(text, "Unknown error") << code;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), 9u);
    EXPECT_EQ(media_.ErrorString(12345), "Unknown error");
    EXPECT_EQ(media_.ErrorString(-1), "Unknown error");
}

// The program's command strings on the real player, with the silent output.
TEST(InterpreterWithMidiPlayer, PlaysASongToItsEnd) {
    ::setenv("SONIVEX_AUDIO", "none", 1);
    const ScratchFile song(ThreeNotes(), ".mid");
    int notified = 0;
    CommandInterpreter media(MidiPlayerFactory(),
                             [&](std::intptr_t, int, std::intptr_t, std::intptr_t) { ++notified; });
    std::string reply;
    const std::string open =
        "Open " + song.name() + " type MPEGVideo Alias VAVidev1 parent 99 Style 1073741824 notify";
    ASSERT_EQ(media.SendString(open, nullptr, 99), 0);
    EXPECT_EQ(media.SendString("Set VAVidev1 time format frames", &reply, 0), 0);
    EXPECT_EQ(media.SendString("Status VAVidev1 length", &reply, 0), 0);
    EXPECT_EQ(reply, "288");
    EXPECT_EQ(media.SendString("Play VAVidev1 from 192 to 288 notify", nullptr, 99), 0);
    EXPECT_EQ(media.SendString("Status VAVidev1 mode", &reply, 0), 0);
    EXPECT_EQ(reply, "playing");
    for (int i = 0; i < 300 && reply == "playing"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        media.SendString("Status VAVidev1 mode", &reply, 0);
    }
    EXPECT_EQ(reply, "stopped");
    EXPECT_EQ(media.SendString("Status VAVidev1 position", &reply, 0), 0);
    EXPECT_EQ(reply, "288");
    EXPECT_EQ(media.SendString("Open " + song.name() + " alias VAVidev1", nullptr, 0), kMediaAliasInUse);
    EXPECT_EQ(media.SendString("Close VAVidev1 notify", nullptr, 99), 0);
    EXPECT_EQ(notified, 3);
}

TEST_F(Interpreter, SilencesTheTracksItIsGivenCountedFromOne) {
    OpenSong();
    EXPECT_EQ(Send("Set VAVidev1 silence 2 5"), 0);
    EXPECT_EQ(Send("set vavidev1 SILENCE"), 0);  // every track plays again
    ASSERT_EQ(logs_[0]->silenced.size(), 2u);
    EXPECT_EQ(logs_[0]->silenced[0], (std::vector<std::int32_t>{1, 4}));
    EXPECT_TRUE(logs_[0]->silenced[1].empty());
    // Track 0 does not exist, and a track is a whole number.
    EXPECT_EQ(Send("Set VAVidev1 silence 0"), kMediaMissingParameter);
    EXPECT_EQ(Send("Set VAVidev1 silence two"), kMediaMissingParameter);
    EXPECT_EQ(Send("Set Other silence 1"), kMediaUnknownAlias);
    EXPECT_EQ(logs_[0]->silenced.size(), 2u);
}

}  // namespace
}  // namespace sonivex::test
