// Playing to a MIDI port, and through the built-in synthesizer once the port fails: the player that the window
// makes for a song when the user chose an output port.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "playback/player/player.h"

namespace sonivex {

// Why a port player stopped working (its port went away); nothing while it works.
using PortProblem = std::function<std::optional<std::string>()>;

// Told once, when the player gives up its port, what happened: the port's problem and that the built-in
// synthesizer plays from now on. Called on the thread that called the player.
using FallbackNotice = std::function<void(const std::string& message)>;

// Plays through `port` while `problem` says nothing. At the first call that finds a problem (any member, the
// position and mode that the window polls included) the port player is let go (it has released its notes), a
// player of `makeSynthesizer` opens the song at the position reached, stopped there, with the same silenced
// tracks, and `notice` hears why. Without a song open, the synthesizer player opens none.
class PortWithFallback : public Player {
public:
    PortWithFallback(std::unique_ptr<Player> port, PortProblem problem, PlayerFactory makeSynthesizer,
                     FallbackNotice notice);

    bool Open(const std::string& path) override;
    void Play(std::int64_t fromTick, std::int64_t toTick) override;
    void Pause() override;
    void Stop() override;
    void Seek(std::int64_t tick) override;
    std::int64_t PositionTicks() const override;
    std::int64_t LengthTicks() const override;
    std::string Mode() const override;
    void Silence(const SilencedTracks& tracks) override;

    // True once the built-in synthesizer plays instead of the port.
    bool FellBack() const { return port_ == nullptr; }

private:
    // The player that plays now, after giving up the port if it failed.
    Player* Current() const;

    mutable std::unique_ptr<Player> port_;
    PortProblem problem_;
    PlayerFactory makeSynthesizer_;
    FallbackNotice notice_;
    mutable std::unique_ptr<Player> synthesizer_;
    std::string path_;  // the song open now; empty without one
    SilencedTracks silenced_;
};

}  // namespace sonivex
