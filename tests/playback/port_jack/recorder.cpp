// sonivex-jack-recorder NAME: a JACK client with one MIDI input port, NAME:input, that prints each message it
// receives as "MICROSECONDS HEX-BYTES", one a line, the time on JACK's clock. Its first line, "ready", comes
// once its first processing cycle ran: from then on nothing sent to the port is lost.
//
// The time is when the recorder's processing cycle ran, plus the message's frame offset in that cycle: on the
// dummy back-end the frame count, and the cycle times the server estimates from it, drift from real time
// when the machine is busy; the clock read in the cycle does not. Runs until SIGINT or SIGTERM, then prints
// what is left.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
constexpr std::size_t kLongestMessage = 256;  // longer system exclusive messages are cut: no test sends one

struct Recording {
    jack_client_t* client = nullptr;
    jack_port_t* input = nullptr;
    jack_ringbuffer_t* buffer = nullptr;
    std::atomic<bool> running{false};
};

// One message in the buffer: its time, its length, then its bytes.
int Process(jack_nframes_t frames, void* data) {
    auto* r = static_cast<Recording*>(data);
    r->running = true;
    const jack_time_t now = jack_get_time();
    const double microsecondsPerFrame = 1e6 / jack_get_sample_rate(r->client);
    void* port = jack_port_get_buffer(r->input, frames);
    const std::uint32_t count = jack_midi_get_event_count(port);
    for (std::uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, port, i) != 0) continue;
        const std::uint64_t time = now + static_cast<std::uint64_t>(event.time * microsecondsPerFrame);
        const std::uint32_t size = static_cast<std::uint32_t>(std::min(event.size, kLongestMessage));
        if (jack_ringbuffer_write_space(r->buffer) < sizeof time + sizeof size + size) continue;
        jack_ringbuffer_write(r->buffer, reinterpret_cast<const char*>(&time), sizeof time);
        jack_ringbuffer_write(r->buffer, reinterpret_cast<const char*>(&size), sizeof size);
        jack_ringbuffer_write(r->buffer, reinterpret_cast<const char*>(event.buffer), size);
    }
    return 0;
}

void PrintRecorded(jack_ringbuffer_t* buffer) {
    std::uint64_t time = 0;
    std::uint32_t size = 0;
    unsigned char bytes[kLongestMessage];
    while (jack_ringbuffer_read_space(buffer) >= sizeof time + sizeof size) {
        jack_ringbuffer_read(buffer, reinterpret_cast<char*>(&time), sizeof time);
        jack_ringbuffer_read(buffer, reinterpret_cast<char*>(&size), sizeof size);
        jack_ringbuffer_read(buffer, reinterpret_cast<char*>(bytes), size);
        std::printf("%" PRIu64 " ", time);
        for (std::uint32_t i = 0; i < size; ++i) std::printf("%02x", bytes[i]);
        std::printf("\n");
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: sonivex-jack-recorder NAME\n", stderr);
        return 2;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // before JACK makes its threads, so that they inherit it

    Recording r;
    r.buffer = jack_ringbuffer_create(kBufferBytes);
    r.client = jack_client_open(argv[1], JackNoStartServer, nullptr);
    if (r.client == nullptr) {
        std::fputs("sonivex-jack-recorder: no JACK server answers\n", stderr);
        return 1;
    }
    r.input = jack_port_register(r.client, "input", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (r.input == nullptr || jack_set_process_callback(r.client, Process, &r) != 0 || jack_activate(r.client) != 0) {
        std::fputs("sonivex-jack-recorder: the input port could not be made\n", stderr);
        return 1;
    }
    const timespec look{0, 10'000'000};
    bool ready = false;
    while (sigtimedwait(&stop, nullptr, &look) < 0) {
        if (!ready && r.running) {
            std::puts("ready");
            ready = true;
        }
        PrintRecorded(r.buffer);
    }
    jack_deactivate(r.client);
    jack_client_close(r.client);
    PrintRecorded(r.buffer);
    jack_ringbuffer_free(r.buffer);
    return 0;
}
