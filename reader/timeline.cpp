#include "timeline.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <utility>

namespace sonivex {

namespace {

constexpr std::uint32_t kDefaultMicrosPerQuarter = 500000;

// Ticks are counted in 64 bits while decoding, so that no run of large delta times can wrap; the public fields
// hold them clamped to 32 bits.
using Tick = std::uint64_t;

std::uint32_t Clamp32(Tick tick) {
    return tick > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                            : static_cast<std::uint32_t>(tick);
}

// A cursor over one chunk's bytes that reports the end instead of reading past it.
class ByteCursor {
public:
    ByteCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool AtEnd() const { return next_ >= size_; }
    std::size_t Left() const { return size_ - next_; }

    // The next byte, or false at the end.
    bool Byte(std::uint8_t& out) {
        if (next_ >= size_) return false;
        out = data_[next_++];
        return true;
    }
    // Skips `count` bytes, or false (and the cursor at the end) when fewer are left.
    bool Skip(std::uint64_t count) {
        if (count > Left()) {
            next_ = size_;
            return false;
        }
        next_ += static_cast<std::size_t>(count);
        return true;
    }
    // A variable-length number; longer numbers than 64 bits keep their low bits. False when cut off.
    bool VarLen(std::uint64_t& out) {
        out = 0;
        std::uint8_t b = 0;
        do {
            if (!Byte(b)) return false;
            out = (out << 7) | (b & 0x7F);
        } while (b & 0x80);
        return true;
    }
    const std::uint8_t* Here() const { return data_ + next_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t next_ = 0;
};

// Data bytes after the status byte of a channel or system-common message; 0 for statuses that carry none.
int DataLength(std::uint8_t status) {
    switch (status & 0xF0) {
        case 0xC0:
        case 0xD0:
            return 1;
        case 0xF0:
            break;
        default:
            return 2;
    }
    switch (status) {
        case 0xF1:
        case 0xF3:
            return 1;
        case 0xF2:
            return 2;
        default:
            return 0;
    }
}

struct Tempo64 {
    Tick tick;
    std::uint32_t microsPerQuarter;
    std::int32_t track;
};

// Seconds at `tick` under the tempo changes (sorted by tick) for which `counts(change)` holds, from 500000 us
// per quarter until the first of them.
template <typename Change, typename TickType, typename Counts>
double SecondsUnder(const std::vector<Change>& changes, TickType tick, int division, Counts counts) {
    if (division <= 0) return 0;
    double micros = 0;
    TickType from = 0;
    std::uint32_t tempo = kDefaultMicrosPerQuarter;
    for (const Change& change : changes) {
        if (!counts(change)) continue;
        if (change.tick >= tick) break;
        micros += static_cast<double>(change.tick - from) * tempo;
        from = change.tick;
        tempo = change.microsPerQuarter;
    }
    micros += static_cast<double>(tick - from) * tempo;
    return micros / 1e6 / division;
}

// Seconds at `tick` under `map`, counting only the track `onlyTrack` when it is 0 or more.
double SecondsOnMap(const std::vector<Tempo64>& map, Tick tick, int division, std::int32_t onlyTrack) {
    return SecondsUnder(map, tick, division,
                        [onlyTrack](const Tempo64& change) { return onlyTrack < 0 || change.track == onlyTrack; });
}

struct OpenNote {
    std::uint8_t velocity;
    Tick start;
    std::uint32_t order;
};

struct TrackDecode {
    TrackSummary summary;
    Tick lastTick = 0;
    std::vector<TimedNote> notes;
};

// Notes still sounding, per channel and key, oldest first: a note-off ends the oldest one. Made once per file
// and emptied after each track, touching only the keys that track used.
struct SoundingNotes {
    std::vector<OpenNote> byKey[16 * 128];
    std::vector<int> used;  // indexes of byKey that hold notes

    std::vector<OpenNote>& At(int channel, int key) { return byKey[channel * 128 + key]; }
};

// The marks of every track that go into the whole file's lists: tempo changes and signatures.
struct SharedMarks {
    std::vector<Tempo64>& tempos;
    std::vector<TimeSignatureMark>& timeSignatures;
    std::vector<KeySignatureMark>& keySignatures;
};

// Decodes one track chunk's bytes, event by event. Tempo and signature marks go straight into the shared lists.
class TrackDecoder {
public:
    TrackDecoder(std::int32_t track, SoundingNotes& open, SharedMarks marks)
        : track_(track), open_(open), marks_(marks) {}

    // Every event up to the end of the track, the end of the bytes or the first event cut off.
    TrackDecode Decode(ByteCursor cursor) {
        while (!cursor.AtEnd() && NextEvent(cursor)) {
        }
        return Finish();
    }

private:
    // One event; false when the track ends with it or it is cut off.
    bool NextEvent(ByteCursor& cursor) {
        std::uint64_t delta = 0;
        if (!cursor.VarLen(delta)) return false;
        std::uint8_t status = 0;
        if (!cursor.Byte(status)) return false;
        const Tick at = now_ + delta < now_ ? std::numeric_limits<Tick>::max() : now_ + delta;

        std::uint8_t data[2] = {0, 0};
        int have = 0;
        if (status < 0x80) {
            // not a status byte: the running status's data begins here
            if (runningStatus_ == 0) return false;
            data[have++] = status;
            status = runningStatus_;
        }
        if (status == 0xFF) return MetaEvent(cursor, at);
        if (status == 0xF0 || status == 0xF7) {
            std::uint64_t length = 0;
            if (!cursor.VarLen(length) || !cursor.Skip(length)) return false;
            CountEvent(at);
            return true;
        }
        const int need = DataLength(status);
        while (have < need) {
            if (!cursor.Byte(data[have++])) return false;
        }
        if (status < 0xF0) runningStatus_ = status;
        const std::uint32_t eventOrder = CountEvent(at);
        if (status < 0xF0) ChannelEvent(status, data, at, eventOrder);
        return true;
    }

    // Moves the track's time to the event at `at` and counts it; its place in the track's order.
    std::uint32_t CountEvent(Tick at) {
        now_ = at;
        ++out_.summary.eventCount;
        return order_++;
    }

    // A meta event: the track's name, tempo and signature marks. False at the end of the track or when cut off.
    bool MetaEvent(ByteCursor& cursor, Tick at) {
        std::uint8_t type = 0;
        std::uint64_t length = 0;
        if (!cursor.Byte(type) || !cursor.VarLen(length) || length > cursor.Left()) return false;
        const std::uint8_t* bytes = cursor.Here();
        cursor.Skip(length);
        CountEvent(at);
        // Missing data bytes of a short event read as 0, as a player takes them.
        auto byteAt = [&](std::uint64_t i) -> std::uint8_t { return i < length ? bytes[i] : 0; };
        if (type == 0x03 && !nameSeen_) {
            out_.summary.name.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
            nameSeen_ = true;
        } else if (type == 0x51) {
            const std::uint32_t micros = (std::uint32_t{byteAt(0)} << 16) | (std::uint32_t{byteAt(1)} << 8) | byteAt(2);
            marks_.tempos.push_back({at, micros, track_});
        } else if (type == 0x58) {
            const int power = byteAt(1);
            const int denominator = power < 31 ? (1 << power) : 0;
            marks_.timeSignatures.push_back({Clamp32(at), byteAt(0), denominator, track_});
        } else if (type == 0x59) {
            marks_.keySignatures.push_back({Clamp32(at), static_cast<std::int8_t>(byteAt(0)), byteAt(1) != 0, track_});
        } else if (type == 0x2F) {
            return false;
        }
        return true;
    }

    // A channel message: its channel is used; programs are listed and notes start or end.
    void ChannelEvent(std::uint8_t status, const std::uint8_t (&data)[2], Tick at, std::uint32_t eventOrder) {
        const int channel = status & 0x0F;
        channelUsed_[channel] = true;
        const int kind = status & 0xF0;
        const std::uint8_t key = data[0] & 0x7F;
        const std::uint8_t velocity = data[1] & 0x7F;
        if (kind == 0xC0) {
            out_.summary.programs.push_back(data[0] & 0x7F);
        } else if (kind == 0x90 && velocity > 0) {
            ++out_.summary.noteCount;
            std::vector<OpenNote>& sounding = open_.At(channel, key);
            if (sounding.empty()) open_.used.push_back(channel * 128 + key);
            sounding.push_back({velocity, at, eventOrder});
        } else if (kind == 0x80 || kind == 0x90) {
            std::vector<OpenNote>& sounding = open_.At(channel, key);
            if (!sounding.empty()) {
                const OpenNote& first = sounding.front();
                out_.notes.push_back({track_, static_cast<std::uint8_t>(channel), key, first.velocity,
                                      Clamp32(first.start), Clamp32(at), first.order});
                sounding.erase(sounding.begin());
            }
        }
    }

    // The track's end: its channels, and the notes still sounding end with its last event.
    TrackDecode Finish() {
        out_.lastTick = now_;
        out_.summary.lastTick = Clamp32(now_);
        for (int channel = 0; channel < 16; ++channel) {
            if (channelUsed_[channel]) out_.summary.channels.push_back(channel);
        }
        for (const int slot : open_.used) {
            for (const OpenNote& note : open_.byKey[slot]) {
                out_.notes.push_back({track_, static_cast<std::uint8_t>(slot / 128),
                                      static_cast<std::uint8_t>(slot % 128), note.velocity, Clamp32(note.start),
                                      Clamp32(now_), note.order});
            }
            open_.byKey[slot].clear();
        }
        open_.used.clear();
        return std::move(out_);
    }

    const std::int32_t track_;
    SoundingNotes& open_;
    SharedMarks marks_;
    TrackDecode out_;
    bool nameSeen_ = false;
    bool channelUsed_[16] = {};
    std::uint8_t runningStatus_ = 0;
    Tick now_ = 0;
    std::uint32_t order_ = 0;
};

std::uint32_t ReadBig32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

double Timeline::SecondsAt(std::uint32_t tick, std::int32_t track) const {
    // In a song of format 2 every track keeps its own tempo map.
    return SecondsUnder(tempos, tick, division,
                        [this, track](const TempoChange& change) { return format != 2 || change.track == track; });
}

Timeline ReadTimeline(std::span<const std::uint8_t> bytes) {
    Timeline timeline;
    const std::size_t size = bytes.size();
    if (size < 14 || bytes[0] != 'M' || bytes[1] != 'T' || bytes[2] != 'h' || bytes[3] != 'd') return timeline;
    const std::uint32_t headerLength = ReadBig32(bytes.data() + 4);
    if (headerLength < 6) return timeline;
    timeline.format = (bytes[8] << 8) | bytes[9];
    const int declaredTracks = (bytes[10] << 8) | bytes[11];
    const int division = (bytes[12] << 8) | bytes[13];
    timeline.division = (division & 0x8000) ? 0 : division;

    std::vector<Tempo64> tempos;
    std::vector<Tick> lastTicks;
    auto open = std::make_unique<SoundingNotes>();
    std::uint64_t pos = 8 + std::uint64_t{headerLength};
    while (static_cast<int>(timeline.tracks.size()) < declaredTracks && pos + 8 <= size) {
        const std::uint8_t* chunk = bytes.data() + pos;
        const std::uint64_t length = ReadBig32(chunk + 4);
        const std::uint64_t dataStart = pos + 8;
        const std::uint64_t available = std::min<std::uint64_t>(length, size - dataStart);
        pos = dataStart + length;
        if (chunk[0] != 'M' || chunk[1] != 'T' || chunk[2] != 'r' || chunk[3] != 'k') continue;
        const auto track = static_cast<std::int32_t>(timeline.tracks.size());
        TrackDecoder decoder(track, *open, {tempos, timeline.timeSignatures, timeline.keySignatures});
        TrackDecode decoded = decoder.Decode(ByteCursor(bytes.data() + dataStart, static_cast<std::size_t>(available)));
        timeline.tracks.push_back(std::move(decoded.summary));
        lastTicks.push_back(decoded.lastTick);
        // A track's notes end in the order of their note-offs; by the order of their note-ons they stand in the
        // order of their starts, since a track's time only moves on.
        std::sort(decoded.notes.begin(), decoded.notes.end(),
                  [](const TimedNote& x, const TimedNote& y) { return x.order < y.order; });
        timeline.notes.insert(timeline.notes.end(), decoded.notes.begin(), decoded.notes.end());
    }

    auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
    std::stable_sort(tempos.begin(), tempos.end(), byTick);
    std::stable_sort(timeline.timeSignatures.begin(), timeline.timeSignatures.end(), byTick);
    std::stable_sort(timeline.keySignatures.begin(), timeline.keySignatures.end(), byTick);
    timeline.tempos.reserve(tempos.size());
    for (const Tempo64& t : tempos) timeline.tempos.push_back({Clamp32(t.tick), t.microsPerQuarter, t.track});

    for (std::size_t i = 0; i < timeline.tracks.size(); ++i) {
        const auto track = static_cast<std::int32_t>(i);
        const double seconds = SecondsOnMap(tempos, lastTicks[i], timeline.division, timeline.format == 2 ? track : -1);
        timeline.tracks[i].seconds = seconds;
        timeline.durationSeconds = std::max(timeline.durationSeconds, seconds);
    }
    return timeline;
}

}  // namespace sonivex
