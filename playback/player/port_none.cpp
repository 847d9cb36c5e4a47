// The MIDI ports of port_player.h in a build without RtMidi: there are none.
#include "playback/player/port_player.h"

namespace sonivex {

namespace {
constexpr const char* kNotBuilt = "MIDI ports are not available: Sonivex was built without RtMidi";
}

void QuietenSoundLibraries() {}

std::vector<std::string> ListOutputPorts() { return {}; }

std::unique_ptr<MidiOutput> OpenPortOutput(const std::optional<std::string>&, std::string& problem) {
    problem = kNotBuilt;
    return nullptr;
}

std::unique_ptr<PortPlayer> MakePortPlayer(const std::optional<std::string>&, std::string& problem) {
    problem = kNotBuilt;
    return nullptr;
}

}  // namespace sonivex
