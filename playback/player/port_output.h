// The raw MIDI output that a PortPlayer writes to: a port of the system's MIDI service (port_player.h makes
// one through RtMidi), or a recorder in the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sonivex {

class MidiOutput {
public:
    virtual ~MidiOutput() = default;

    // Sends one whole message (a channel message, or F0 ... F7) at once. False when the output can no longer
    // take messages; Problem() then says why.
    virtual bool Send(std::span<const std::uint8_t> message) = 0;

    // Why the output no longer works (its port went away, the MIDI service stopped); nothing while it works.
    // Asked between messages, a few times a second while playing.
    virtual std::optional<std::string> Problem() = 0;
};

}  // namespace sonivex
