// The MIDI ports of port_player.h through RtMidi.
#include <RtMidi.h>

#ifdef SONIVEX_HAVE_JACK
#include <jack/jack.h>
#endif
#ifdef SONIVEX_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>
#include <utility>

#include "playback/player/port_player.h"

namespace sonivex {

namespace {

#ifdef SONIVEX_HAVE_JACK
void IgnoreJackMessage(const char*) {}
#endif
#ifdef SONIVEX_HAVE_ALSA
void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
#endif

// JACK when its server answers (without starting one), else the ALSA sequencer when it opens; nothing when
// neither does. Asked first, because RtMidi writes to stderr about a service it cannot open.
std::optional<RtMidi::Api> ChooseApi() {
    QuietenSoundLibraries();
#ifdef SONIVEX_HAVE_JACK
    jack_status_t status{};
    if (jack_client_t* probe = jack_client_open("Sonivex-probe", JackNoStartServer, &status)) {
        jack_client_close(probe);
        return RtMidi::UNIX_JACK;
    }
#endif
#ifdef SONIVEX_HAVE_ALSA
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) return std::nullopt;
    snd_seq_close(sequencer);
#endif
    return RtMidi::LINUX_ALSA;
}

constexpr const char* kNoService = "no MIDI service answers (neither a JACK server nor the ALSA sequencer)";

// Under JACK a new connection is made by the server in its own time: waits, for at most a second, until the
// port `target` is connected to one of Sonivex's, so that the first messages of a play are not held back or
// lost while it is made.
void AwaitJackConnection(RtMidi::Api api, const std::string& target) {
#ifdef SONIVEX_HAVE_JACK
    if (api != RtMidi::UNIX_JACK) return;
    jack_client_t* client = jack_client_open("Sonivex-watch", JackNoStartServer, nullptr);
    if (client == nullptr) return;
    const std::string own = std::string(kPortClientName);
    constexpr int kTries = 200;
    for (int i = 0; i < kTries; ++i) {
        bool connected = false;
        if (jack_port_t* port = jack_port_by_name(client, target.c_str())) {
            if (const char** names = jack_port_get_all_connections(client, port)) {
                for (const char** name = names; *name != nullptr; ++name) {
                    connected = connected || std::string(*name).rfind(own, 0) == 0;
                }
                jack_free(names);
            }
        }
        if (connected) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    jack_client_close(client);
#else
    (void)api;
    (void)target;
#endif
}

bool IsOwnPort(const std::string& name) { return name.rfind(std::string(kPortClientName) + ":", 0) == 0; }

std::vector<std::string> OutputPortsOf(RtMidiOut& out) {
    std::vector<std::string> names;
    const unsigned count = out.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        std::string name = out.getPortName(i);
        if (!name.empty() && !IsOwnPort(name)) names.push_back(std::move(name));
    }
    return names;
}

std::string PortList(const std::vector<std::string>& names) {
    if (names.empty()) return "there are no output ports";
    std::string list = "the output ports are: ";
    for (std::size_t i = 0; i < names.size(); ++i) list += (i == 0 ? "" : ", ") + names[i];
    return list;
}

class RtMidiOutput : public MidiOutput {
public:
    // Throws RtMidiError when the MIDI service does not answer.
    explicit RtMidiOutput(RtMidi::Api api) : out_(api, kPortClientName) {
        out_.setErrorCallback(&RtMidiOutput::Record, this);
    }
    RtMidiOutput(const RtMidiOutput&) = delete;
    RtMidiOutput& operator=(const RtMidiOutput&) = delete;

    RtMidiOut& Out() { return out_; }
    void ConnectedTo(std::string port) { port_ = std::move(port); }
    const std::optional<std::string>& Error() const { return error_; }

    bool Send(std::span<const std::uint8_t> message) override {
        if (error_) return false;
        out_.sendMessage(message.data(), message.size());
        return !error_;
    }

    std::optional<std::string> Problem() override {
        if (error_) return error_;
        if (!port_) return std::nullopt;
        const std::vector<std::string> ports = OutputPortsOf(out_);
        if (std::find(ports.begin(), ports.end(), *port_) != ports.end()) return std::nullopt;
        return "the output port " + *port_ + " went away";
    }

private:
    static void Record(RtMidiError::Type type, const std::string& text, void* self) {
        if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) return;
        static_cast<RtMidiOutput*>(self)->error_ = "MIDI output failed: " + text;
    }

    RtMidiOut out_;
    std::optional<std::string> port_;   // the port connected to; nothing for the port of its own
    std::optional<std::string> error_;  // what RtMidi reported
};

// Opens the output; its failures come as exceptions of RtMidi or as its recorded errors.
std::unique_ptr<MidiOutput> OpenOutput(const std::optional<std::string>& portName, std::string& problem) {
    const std::optional<RtMidi::Api> api = ChooseApi();
    if (!api) {
        problem = kNoService;
        return nullptr;
    }
    auto output = std::make_unique<RtMidiOutput>(*api);
    if (!portName) {
        output->Out().openVirtualPort(kPortOutputName);
    } else {
        const std::vector<std::string> ports = OutputPortsOf(output->Out());
        const auto found = std::find(ports.begin(), ports.end(), *portName);
        if (found == ports.end()) {
            problem = "no output port is named " + *portName + ": " + PortList(ports);
            return nullptr;
        }
        // The port's number among all the service's ports, Sonivex's own included.
        const unsigned count = output->Out().getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            if (output->Out().getPortName(i) != *portName) continue;
            output->Out().openPort(i, kPortOutputName);
            output->ConnectedTo(*portName);
            AwaitJackConnection(*api, *portName);
            break;
        }
    }
    // RtMidi counts only a connection to another port as open, not a port of its own.
    if (output->Error() || (portName && !output->Out().isPortOpen())) {
        problem = output->Error().value_or("the output port could not be opened");
        return nullptr;
    }
    return output;
}

}  // namespace

void QuietenSoundLibraries() {
#ifdef SONIVEX_HAVE_JACK
    jack_set_error_function(IgnoreJackMessage);
    jack_set_info_function(IgnoreJackMessage);
#endif
#ifdef SONIVEX_HAVE_ALSA
    snd_lib_error_set_handler(IgnoreAlsaMessage);
#endif
}

std::vector<std::string> ListOutputPorts() {
    try {
        const std::optional<RtMidi::Api> api = ChooseApi();
        if (!api) return {};
        RtMidiOut out(*api, kPortClientName);
        return OutputPortsOf(out);
    } catch (const std::exception&) {
        return {};  // no MIDI service: no ports
    }
}

std::unique_ptr<MidiOutput> OpenPortOutput(const std::optional<std::string>& portName, std::string& problem) {
    try {
        return OpenOutput(portName, problem);
    } catch (const RtMidiError& e) {
        problem = std::string(kNoService) + ": " + e.getMessage();
    } catch (const std::exception& e) {
        problem = std::string("the MIDI output could not be opened: ") + e.what();
    }
    return nullptr;
}

std::unique_ptr<PortPlayer> MakePortPlayer(const std::optional<std::string>& portName, std::string& problem) {
    std::unique_ptr<MidiOutput> output = OpenPortOutput(portName, problem);
    if (!output) return nullptr;
    return std::make_unique<PortPlayer>(std::move(output));
}

}  // namespace sonivex
