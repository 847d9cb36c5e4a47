#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playback/player/port_fallback.h"

namespace sonivex::test {
namespace {

// A player that writes down what it was asked.
class ScriptedPlayer : public Player {
public:
    explicit ScriptedPlayer(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}

    bool Open(const std::string& path) override {
        log_.push_back(name_ + " open " + path);
        return true;
    }
    void Play(std::int64_t from, std::int64_t) override {
        log_.push_back(name_ + " play " + std::to_string(from));
        mode_ = "playing";
    }
    void Pause() override { mode_ = "paused"; }
    void Stop() override { mode_ = "stopped"; }
    void Seek(std::int64_t tick) override {
        log_.push_back(name_ + " seek " + std::to_string(tick));
        position = tick;
    }
    std::int64_t PositionTicks() const override { return position; }
    std::int64_t LengthTicks() const override { return 1000; }
    std::string Mode() const override { return mode_; }
    void Silence(const SilencedTracks& tracks) override {
        log_.push_back(name_ + " silence " + std::to_string(tracks.Tracks().size()));
    }

    std::int64_t position = 0;

private:
    std::vector<std::string>& log_;
    std::string name_;
    std::string mode_ = "stopped";
};

TEST(PortWithFallback, PlaysThroughThePortUntilItFailsThenThroughTheSynthesizerWhereItWas) {
    std::vector<std::string> log;
    std::optional<std::string> problem;
    std::vector<std::string> notices;
    auto port = std::make_unique<ScriptedPlayer>(log, "port");
    ScriptedPlayer* portPlayer = port.get();
    PortWithFallback player(
        std::move(port), [&] { return problem; },
        [&]() -> std::unique_ptr<Player> { return std::make_unique<ScriptedPlayer>(log, "synth"); },
        [&](const std::string& text) { notices.push_back(text); });
    player.Silence(SilencedTracks({2}));
    ASSERT_TRUE(player.Open("song.mid"));
    player.Play(0, 1000);
    EXPECT_EQ(player.Mode(), "playing");
    EXPECT_FALSE(player.FellBack());

    portPlayer->position = 480;
    portPlayer->Stop();  // as the port player does when its port goes away
    problem = "The MIDI port Synth:in went away";
    EXPECT_EQ(player.Mode(), "stopped");  // the window's poll finds it
    EXPECT_TRUE(player.FellBack());
    EXPECT_EQ(player.PositionTicks(), 480);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0],
              "The MIDI port Synth:in went away. Sonivex plays through the built-in synthesizer (FluidSynth) from now on.");
    player.Play(480, 1000);
    EXPECT_EQ(log, (std::vector<std::string>{"port silence 1", "port open song.mid", "port play 0", "synth silence 1",
                                             "synth open song.mid", "synth seek 480", "synth play 480"}));
    EXPECT_EQ(notices.size(), 1u);
}

TEST(PortWithFallback, WithoutASynthesizerFallsSilent) {
    std::vector<std::string> log;
    PortWithFallback player(
        std::make_unique<ScriptedPlayer>(log, "port"), [] { return std::optional<std::string>("gone"); },
        [] { return std::unique_ptr<Player>(); }, nullptr);
    EXPECT_FALSE(player.Open("song.mid"));
    player.Play(0, 10);
    EXPECT_EQ(player.Mode(), "stopped");
    EXPECT_EQ(player.LengthTicks(), 0);
}

}  // namespace
}  // namespace sonivex::test
