#include "playback/player/midi_sequence.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace sonivex {

namespace {

constexpr std::uint32_t kDefaultTempo = 500000;  // microseconds per quarter note until a tempo event says otherwise
constexpr std::uint8_t kMeta = 0xFF;
constexpr std::uint8_t kSysex = 0xF0;
constexpr std::uint8_t kSysexContinuation = 0xF7;
constexpr std::uint8_t kEndOfTrack = 0x2F;
constexpr std::uint8_t kSetTempo = 0x51;

// The bytes of one chunk, read front to back; every read says whether the bytes were there.
class ByteSource {
public:
    ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}

    bool Empty() const { return left_ == 0; }

    bool Byte(std::uint8_t& out) {
        if (left_ == 0) return false;
        out = *data_++;
        --left_;
        return true;
    }

    // A variable-length number: at most four bytes of seven bits.
    bool VarLen(std::uint32_t& out) {
        out = 0;
        for (int i = 0; i < 4; ++i) {
            std::uint8_t b;
            if (!Byte(b)) return false;
            out = (out << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) return true;
        }
        return false;
    }

    bool Take(std::size_t count, const std::uint8_t*& out) {
        if (count > left_) return false;
        out = data_;
        data_ += count;
        left_ -= count;
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t left_;
};

std::uint32_t BigEndian(const std::uint8_t* p, int count) {
    std::uint32_t v = 0;
    for (int i = 0; i < count; ++i) v = (v << 8) | p[i];
    return v;
}

struct TempoChange {
    std::int64_t tick;
    std::uint32_t microseconds;
};

// How reading one event of a track ended.
enum class EventRead {
    kRead,        // the whole event was there
    kEndOfTrack,  // the end-of-track meta event
    kBroken,      // cut off, or bytes that cannot start an event: the track ends before them
};

// Reads a meta event after its FF byte; a tempo change goes into `tempo` at tick `at`.
EventRead ReadMeta(ByteSource& in, std::int64_t at, std::vector<TempoChange>& tempo) {
    std::uint8_t type;
    std::uint32_t length;
    const std::uint8_t* data;
    if (!in.Byte(type) || !in.VarLen(length) || !in.Take(length, data)) return EventRead::kBroken;
    if (type == kEndOfTrack) return EventRead::kEndOfTrack;
    if (type == kSetTempo && length >= 3) {
        const std::uint32_t microseconds = BigEndian(data, 3);
        if (microseconds > 0) tempo.push_back({at, microseconds});
    }
    return EventRead::kRead;
}

// Reads a system exclusive event after its F0 or F7 byte (`first`); a whole message goes into `events`.
EventRead ReadSysex(ByteSource& in, std::uint8_t first, std::int64_t at, std::vector<SequenceEvent>& events) {
    std::uint32_t length;
    const std::uint8_t* data;
    if (!in.VarLen(length) || !in.Take(length, data)) return EventRead::kBroken;
    // A continuation packet (F7) carries the rest of a message split across events, or raw bytes;
    // neither is a whole message that the synthesizer could take on its own.
    if (first == kSysex) {
        SequenceEvent e;
        e.tick = at;
        e.status = kSysex;
        e.sysex.assign(data, data + length);
        if (!e.sysex.empty() && e.sysex.back() == kSysexContinuation) e.sysex.pop_back();
        events.push_back(std::move(e));
    }
    return EventRead::kRead;
}

// Reads a channel message whose first byte is `first`: its status, or its first data byte under the
// `running` status, which a status byte replaces.
EventRead ReadChannelMessage(ByteSource& in, std::uint8_t first, std::int64_t at, std::uint8_t& running,
                             std::vector<SequenceEvent>& events) {
    std::uint8_t status = first;
    std::uint8_t data1;
    if (first & 0x80) {
        if (first >= 0xF0) return EventRead::kBroken;  // system common and real-time bytes have no place in a file
        running = first;
        if (!in.Byte(data1)) return EventRead::kBroken;
    } else {
        if (running == 0) return EventRead::kBroken;  // a data byte with no status to run on
        status = running;
        data1 = first;
    }
    std::uint8_t data2 = 0;
    const std::uint8_t kind = status & 0xF0;
    if (kind != 0xC0 && kind != 0xD0 && !in.Byte(data2)) return EventRead::kBroken;
    SequenceEvent e;
    e.tick = at;
    e.status = status;
    e.data1 = data1 & 0x7F;
    e.data2 = data2 & 0x7F;
    events.push_back(std::move(e));
    return EventRead::kRead;
}

// Reads one track's events into `events` and its tempo changes into `tempo`; returns the track's end tick:
// that of its end-of-track event, or of the last whole event before the track breaks off.
std::int64_t ReadTrack(ByteSource in, std::vector<SequenceEvent>& events, std::vector<TempoChange>& tempo) {
    std::int64_t tick = 0;
    // Running status survives meta and system exclusive events here: some writers rely on it, and a correct
    // file never puts a data byte where it would matter.
    std::uint8_t running = 0;
    while (!in.Empty()) {
        std::uint32_t delta;
        std::uint8_t first;
        if (!in.VarLen(delta) || !in.Byte(first)) break;
        const std::int64_t at = tick + delta;
        EventRead read;
        if (first == kMeta) {
            read = ReadMeta(in, at, tempo);
        } else if (first == kSysex || first == kSysexContinuation) {
            read = ReadSysex(in, first, at, events);
        } else {
            read = ReadChannelMessage(in, first, at, running, events);
        }
        if (read == EventRead::kBroken) break;
        tick = at;
        if (read == EventRead::kEndOfTrack) break;
    }
    return tick;
}

}  // namespace

std::optional<MidiSequence> MidiSequence::Parse(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 14 || !std::equal(bytes.begin(), bytes.begin() + 4, "MThd")) return std::nullopt;
    const std::uint32_t headerLength = BigEndian(&bytes[4], 4);
    if (headerLength < 6) return std::nullopt;
    const std::uint32_t declaredTracks = BigEndian(&bytes[10], 2);
    const std::uint32_t division = BigEndian(&bytes[12], 2);
    if (division == 0) return std::nullopt;

    double constantSecondsPerTick = 0;  // for time-code division, where tempo events do not count
    if (division & 0x8000) {
        const int framesPerSecond = -static_cast<std::int8_t>(division >> 8);
        const int ticksPerFrame = static_cast<int>(division & 0xFF);
        if (framesPerSecond <= 0 || ticksPerFrame == 0) return std::nullopt;
        // 29 stands for the 29.97 frames a second of drop-frame time code.
        const double frameRate = framesPerSecond == 29 ? 30000.0 / 1001.0 : framesPerSecond;
        constantSecondsPerTick = 1.0 / (frameRate * ticksPerFrame);
    }

    MidiSequence sequence;
    std::vector<TempoChange> tempo;
    std::uint64_t at = 8 + static_cast<std::uint64_t>(headerLength);
    std::uint32_t tracksRead = 0;
    while (tracksRead < declaredTracks && at + 8 <= bytes.size()) {
        const std::uint8_t* chunk = &bytes[at];
        const std::uint64_t declared = BigEndian(chunk + 4, 4);
        const std::uint64_t body = at + 8;
        // A chunk that claims more bytes than the file holds ends with the file.
        const std::uint64_t size = std::min<std::uint64_t>(declared, bytes.size() - body);
        if (std::equal(chunk, chunk + 4, "MTrk")) {
            const std::int64_t end = ReadTrack(ByteSource(bytes.data() + body, size), sequence.events_, tempo);
            sequence.length_ = std::max(sequence.length_, end);
            ++tracksRead;
        }
        at = body + size;
    }

    // Tracks were appended one after another, so a stable sort keeps the order within a tick track by track.
    std::stable_sort(sequence.events_.begin(), sequence.events_.end(),
                     [](const SequenceEvent& a, const SequenceEvent& b) { return a.tick < b.tick; });

    if (constantSecondsPerTick > 0) {
        sequence.tempo_.push_back({0, 0.0, constantSecondsPerTick});
    } else {
        const double quarter = static_cast<double>(division);
        std::stable_sort(tempo.begin(), tempo.end(),
                         [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
        sequence.tempo_.push_back({0, 0.0, kDefaultTempo / 1e6 / quarter});
        for (const TempoChange& change : tempo) {
            TempoSpan& last = sequence.tempo_.back();
            const double secondsPerTick = change.microseconds / 1e6 / quarter;
            if (change.tick == last.tick) {
                last.secondsPerTick = secondsPerTick;  // of several changes at one tick the last one holds
            } else {
                const double span = static_cast<double>(change.tick - last.tick) * last.secondsPerTick;
                sequence.tempo_.push_back({change.tick, last.seconds + span, secondsPerTick});
            }
        }
    }
    return sequence;
}

std::optional<MidiSequence> MidiSequence::Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    return Parse(bytes);
}

double MidiSequence::SecondsAt(std::int64_t tick) const {
    if (tempo_.empty()) return 0;  // an empty sequence, not read from a file
    const auto after = std::upper_bound(tempo_.begin(), tempo_.end(), tick,
                                        [](std::int64_t t, const TempoSpan& span) { return t < span.tick; });
    const TempoSpan& span = after == tempo_.begin() ? tempo_.front() : *(after - 1);
    return span.seconds + static_cast<double>(tick - span.tick) * span.secondsPerTick;
}

std::int64_t MidiSequence::TickAt(double seconds) const {
    if (!(seconds > 0) || tempo_.empty()) return 0;
    const auto after = std::upper_bound(tempo_.begin(), tempo_.end(), seconds,
                                        [](double s, const TempoSpan& span) { return s < span.seconds; });
    const TempoSpan& span = *(after - 1);  // the first span starts at 0 seconds
    // The small allowance keeps a tick's own time from reading as the tick before through rounding.
    const double ticks = (seconds - span.seconds) / span.secondsPerTick + 1e-6;
    return span.tick + static_cast<std::int64_t>(std::floor(ticks));
}

}  // namespace sonivex
