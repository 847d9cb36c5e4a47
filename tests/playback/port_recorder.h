// A MidiOutput for the port player's tests: it keeps every message with the steady-clock time it came, and can
// be told to refuse messages or to report its port gone.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "playback/player/port_output.h"

namespace sonivex::test {

struct SentMessage {
    std::vector<std::uint8_t> bytes;
    double time = 0;  // by the recorder's clock, set by the test
};

// What the recorder saw, shared with the test that outlives it or not.
struct PortLog {
    std::mutex mutex;
    std::vector<SentMessage> sent;
    bool refuse = false;                  // Send fails
    bool fail = false;                    // Send throws
    std::optional<std::string> problem;   // what Problem() reports
    double clock = 0;                     // the time stamped on the next message, for tests that drive time

    std::vector<SentMessage> Sent() {
        std::lock_guard lock(mutex);
        return sent;
    }
};

class RecordingOutput : public MidiOutput {
public:
    // `steady`: stamp messages with the seconds since the recorder was made instead of the log's clock.
    RecordingOutput(std::shared_ptr<PortLog> log, bool steady) : log_(std::move(log)), steady_(steady) {}

    bool Send(std::span<const std::uint8_t> message) override {
        const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - origin_).count();
        std::lock_guard lock(log_->mutex);
        if (log_->refuse) return false;
        if (log_->fail) throw std::runtime_error("the output broke");
        log_->sent.push_back({{message.begin(), message.end()}, steady_ ? now : log_->clock});
        return true;
    }
    std::optional<std::string> Problem() override {
        std::lock_guard lock(log_->mutex);
        return log_->problem;
    }

private:
    std::shared_ptr<PortLog> log_;
    bool steady_;
    std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();
};

}  // namespace sonivex::test
