// Playing to a MIDI port instead of the built-in synthesizer: a synthesizer of the system, another program or
// a keyboard, through RtMidi's JACK or ALSA sequencer back-end.
//
// The MIDI service: JACK when a JACK server answers (the one JACK_DEFAULT_SERVER names, else the default
// server; none is started), else the ALSA sequencer. Sonivex's own client there is named "Sonivex" and its
// output port "out" ("Sonivex:out" under JACK), so that other programs can connect to it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "playback/player/player.h"
#include "playback/player/port_output.h"
#include "playback/player/port_sequencer.h"

namespace sonivex {

// The name of Sonivex's client and of its output port on the MIDI service.
inline constexpr const char* kPortClientName = "Sonivex";
inline constexpr const char* kPortOutputName = "out";

// Plays a song to a MidiOutput with the song's own timing, on a timing thread of its own that follows a steady
// clock. Stop, Pause, Open and the destructor send All Notes Off and Reset All Controllers on the song's
// channels. When the output stops working (its port went away), playing stops, Mode() is "stopped" and
// Problem() says why, for the caller to show and to fall back to the built-in synthesizer. All members may be
// called from any thread.
class PortPlayer : public Player {
public:
    explicit PortPlayer(std::unique_ptr<MidiOutput> output);
    ~PortPlayer() override;
    PortPlayer(const PortPlayer&) = delete;
    PortPlayer& operator=(const PortPlayer&) = delete;

    bool Open(const std::string& path) override;
    void Play(std::int64_t fromTick, std::int64_t toTick) override;
    void Pause() override;
    void Stop() override;
    void Seek(std::int64_t tick) override;
    std::int64_t PositionTicks() const override;
    std::int64_t LengthTicks() const override;
    std::string Mode() const override;
    void Silence(const SilencedTracks& tracks) override;

    // Why the last play stopped short (the output port went away, say); nothing while the output works.
    std::optional<std::string> Problem() const;

private:
    using Clock = std::chrono::steady_clock;
    double Now() const { return std::chrono::duration<double>(Clock::now() - origin_).count(); }
    Clock::time_point TimeAt(double seconds) const;
    void Run();
    void TimeMessages();
    void CheckOutput(double now);

    const Clock::time_point origin_ = Clock::now();
    std::unique_ptr<MidiOutput> output_;
    mutable std::mutex mutex_;  // guards everything below and the output
    PortSequencer sequencer_;
    std::optional<std::string> problem_;
    double nextCheck_ = 0;  // when the timing thread next asks the output whether it still works
    std::condition_variable wake_;
    bool quit_ = false;
    std::thread timing_;  // started last, when everything it reads is made
};

// The ALSA and JACK libraries write their failures to stderr (an audio driver that finds no sound card, a MIDI
// service that does not answer); from this call on they stay quiet, their callers reporting what failed. It
// changes the libraries' handlers for the whole process; the port functions below call it.
void QuietenSoundLibraries();

// The output ports of the MIDI service, as they stand at this call, by name; Sonivex's own are left out. Empty
// when there are none or no MIDI service answers.
std::vector<std::string> ListOutputPorts();

// A player that plays to the output port named `portName` (a name as ListOutputPorts gives it), or, without
// one, to a port of its own ("Sonivex:out") that other programs connect to. Nothing, with the reason in
// `problem`, when no MIDI service answers, no port has that name, or Sonivex was built without RtMidi.
std::unique_ptr<PortPlayer> MakePortPlayer(const std::optional<std::string>& portName, std::string& problem);

// The MidiOutput behind MakePortPlayer, for callers that drive one themselves; the same failures.
std::unique_ptr<MidiOutput> OpenPortOutput(const std::optional<std::string>& portName, std::string& problem);

}  // namespace sonivex
