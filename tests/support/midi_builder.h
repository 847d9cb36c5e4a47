// Builds Standard MIDI File bytes inline for the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace sonivex::test {

using Bytes = std::vector<std::uint8_t>;

// The bytes of a variable-length number (any value below 2^28).
inline Bytes Vlq(std::uint32_t v) {
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    Bytes out;
    while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
    return out;
}

// The event bytes of one track: append events with their delta times, then End() for FF 2F 00.
class Track {
public:
    // Raw bytes, as they are.
    Track& Raw(std::initializer_list<int> bytes) {
        for (int b : bytes) data_.push_back(static_cast<std::uint8_t>(b));
        return *this;
    }
    Track& Raw(const Bytes& bytes) {
        for (std::uint8_t b : bytes) data_.push_back(b);
        return *this;
    }
    Track& Delta(std::uint32_t ticks) { return Raw(Vlq(ticks)); }
    // A delta time followed by an event's bytes.
    Track& At(std::uint32_t ticks, std::initializer_list<int> event) { return Delta(ticks).Raw(event); }
    // A meta event: delta, FF, type, length, data.
    Track& Meta(std::uint32_t ticks, int type, const std::string& data) {
        Delta(ticks).Raw({0xFF, type}).Raw(Vlq(static_cast<std::uint32_t>(data.size())));
        data_.insert(data_.end(), data.begin(), data.end());
        return *this;
    }
    Track& Meta(std::uint32_t ticks, int type, std::initializer_list<int> data) {
        Delta(ticks).Raw({0xFF, type}).Raw(Vlq(static_cast<std::uint32_t>(data.size()))).Raw(data);
        return *this;
    }
    Track& Tempo(std::uint32_t ticks, std::uint32_t microseconds) {
        return Meta(ticks, 0x51, {int(microseconds >> 16) & 0xFF, int(microseconds >> 8) & 0xFF, int(microseconds) & 0xFF});
    }
    Track& Name(std::uint32_t ticks, const std::string& name) { return Meta(ticks, 0x03, name); }
    Track& NoteOn(std::uint32_t ticks, int channel, int key, int velocity) {
        return At(ticks, {0x90 | channel, key, velocity});
    }
    Track& NoteOff(std::uint32_t ticks, int channel, int key) { return At(ticks, {0x80 | channel, key, 64}); }
    Track& Program(std::uint32_t ticks, int channel, int program) { return At(ticks, {0xC0 | channel, program}); }
    Track& End(std::uint32_t ticks = 0) { return At(ticks, {0xFF, 0x2F, 0x00}); }

    const Bytes& Data() const { return data_; }

private:
    Bytes data_;
};

// A whole file: the header chunk, then track chunks.
class MidiFile {
public:
    explicit MidiFile(int format = 1, int division = 96) : format_(format), division_(division) {}

    // Adds an MTrk chunk whose length field is the data's length.
    MidiFile& Add(const Track& track) { return Chunk("MTrk", track.Data(), track.Data().size()); }
    // Adds a chunk with any id and any declared length.
    MidiFile& Chunk(const std::string& id, const Bytes& data, std::uint32_t declared) {
        Bytes chunk(id.begin(), id.end());
        for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back(static_cast<std::uint8_t>(declared >> shift));
        chunk.insert(chunk.end(), data.begin(), data.end());
        chunks_.push_back(chunk);
        return *this;
    }
    // Bytes after the last chunk.
    MidiFile& Tail(const Bytes& bytes) {
        tail_ = bytes;
        return *this;
    }
    // Declares a track count other than the number of chunks added.
    MidiFile& DeclareTracks(int count) {
        declared_ = count;
        return *this;
    }

    Bytes Build() const {
        Bytes out{'M', 'T', 'h', 'd', 0, 0, 0, 6};
        const int tracks = declared_ >= 0 ? declared_ : static_cast<int>(chunks_.size());
        for (int v : {format_, tracks, division_}) {
            out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
            out.push_back(static_cast<std::uint8_t>(v & 0xFF));
        }
        for (const Bytes& c : chunks_) out.insert(out.end(), c.begin(), c.end());
        out.insert(out.end(), tail_.begin(), tail_.end());
        return out;
    }

private:
    int format_;
    int division_;
    int declared_ = -1;
    std::vector<Bytes> chunks_;
    Bytes tail_;
};

}  // namespace sonivex::test
