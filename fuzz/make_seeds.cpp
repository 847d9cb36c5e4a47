// sonivex-fuzz-seeds: writes a starting corpus for sonivex-fuzz into the folder given as its argument. Small
// files, sound ones of every format and event kind, and damaged ones that lead the load and the report into
// their repairs, warnings and error paths. The fuzzer mutates from here much faster than from random bytes.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

void PutBe16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void PutBe32(Bytes& out, std::uint32_t v) {
    PutBe16(out, v >> 16);
    PutBe16(out, v & 0xFFFF);
}

// A variable-length number: seven bits a byte, most significant first, the top bit set on all but the last.
// Values above 0x0FFFFFFF come out as five bytes, which readers must refuse or survive.
void PutVarLen(Bytes& out, std::uint32_t v) {
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

// The body of one track chunk, written event by event. Every event starts with its delta time; Running()
// leaves the status byte out, and Raw() writes whatever bytes a damaged file needs.
class Track {
public:
    Track& Event(std::uint32_t delta, std::uint8_t status, std::initializer_list<std::uint8_t> data) {
        PutVarLen(bytes_, delta);
        bytes_.push_back(status);
        bytes_.insert(bytes_.end(), data);
        return *this;
    }
    Track& Running(std::uint32_t delta, std::initializer_list<std::uint8_t> data) {
        PutVarLen(bytes_, delta);
        bytes_.insert(bytes_.end(), data);
        return *this;
    }
    Track& NoteOn(std::uint32_t delta, int channel, int key, int velocity) {
        return Event(delta, Status(0x90, channel), {Data(key), Data(velocity)});
    }
    Track& NoteOff(std::uint32_t delta, int channel, int key) {
        return Event(delta, Status(0x80, channel), {Data(key), 0x40});
    }
    Track& Note(std::uint32_t delta, int channel, int key, int velocity, std::uint32_t length) {
        return NoteOn(delta, channel, key, velocity).NoteOff(length, channel, key);
    }
    Track& Program(std::uint32_t delta, int channel, int program) {
        return Event(delta, Status(0xC0, channel), {Data(program)});
    }
    Track& Controller(std::uint32_t delta, int channel, int number, int value) {
        return Event(delta, Status(0xB0, channel), {Data(number), Data(value)});
    }
    Track& PitchBend(std::uint32_t delta, int channel, int value14) {
        return Event(delta, Status(0xE0, channel), {Data(value14 & 0x7F), Data(value14 >> 7)});
    }
    Track& Meta(std::uint32_t delta, std::uint8_t type, const Bytes& data) {
        PutVarLen(bytes_, delta);
        bytes_.push_back(0xFF);
        bytes_.push_back(type);
        PutVarLen(bytes_, static_cast<std::uint32_t>(data.size()));
        Append(bytes_, data);
        return *this;
    }
    Track& Text(std::uint32_t delta, std::uint8_t type, const std::string& text) {
        return Meta(delta, type, Bytes(text.begin(), text.end()));
    }
    Track& Tempo(std::uint32_t delta, std::uint32_t microsPerQuarter) {
        return Meta(delta, 0x51, {static_cast<std::uint8_t>(microsPerQuarter >> 16),
                                  static_cast<std::uint8_t>(microsPerQuarter >> 8),
                                  static_cast<std::uint8_t>(microsPerQuarter)});
    }
    Track& TimeSignature(std::uint32_t delta, int numerator, int denominatorPower, int clocks, int per32nds) {
        return Meta(delta, 0x58, {Data(numerator), Data(denominatorPower), Data(clocks), Data(per32nds)});
    }
    Track& KeySignature(std::uint32_t delta, int sharps, int minor) {
        return Meta(delta, 0x59, {static_cast<std::uint8_t>(sharps), Data(minor)});
    }
    Track& Sysex(std::uint32_t delta, const Bytes& data, std::uint8_t kind = 0xF0) {
        PutVarLen(bytes_, delta);
        bytes_.push_back(kind);
        PutVarLen(bytes_, static_cast<std::uint32_t>(data.size()));
        Append(bytes_, data);
        return *this;
    }
    Track& Raw(const Bytes& data) {
        Append(bytes_, data);
        return *this;
    }
    Track& End(std::uint32_t delta = 0) { return Meta(delta, 0x2F, {}); }

    const Bytes& Body() const { return bytes_; }

private:
    static std::uint8_t Status(int kind, int channel) { return static_cast<std::uint8_t>(kind | (channel & 0x0F)); }
    static std::uint8_t Data(int v) { return static_cast<std::uint8_t>(v & 0xFF); }
    Bytes bytes_;
};

Bytes Chunk(const std::string& id, const Bytes& body, std::uint32_t declaredLength) {
    Bytes out(id.begin(), id.end());
    PutBe32(out, declaredLength);
    Append(out, body);
    return out;
}

Bytes Chunk(const std::string& id, const Bytes& body) {
    return Chunk(id, body, static_cast<std::uint32_t>(body.size()));
}

Bytes Header(int format, int tracks, int division) {
    Bytes body;
    PutBe16(body, static_cast<std::uint32_t>(format));
    PutBe16(body, static_cast<std::uint32_t>(tracks));
    PutBe16(body, static_cast<std::uint32_t>(division));
    return Chunk("MThd", body);
}

// A whole file whose header counts the tracks given.
Bytes Smf(int format, int division, const std::vector<Track>& tracks) {
    Bytes out = Header(format, static_cast<int>(tracks.size()), division);
    for (const Track& t : tracks) Append(out, Chunk("MTrk", t.Body()));
    return out;
}

// A short tune on one channel: notes of varied length and velocity.
Track& Melody(Track& t, int channel, int base) {
    const int steps[] = {0, 2, 4, 5, 7, 9, 11, 12};
    for (int i = 0; i < 8; ++i) t.Note(i == 0 ? 0 : 24, channel, base + steps[i], 40 + i * 10, 96 + 24 * (i % 3));
    return t;
}

// A bar of a basic rock beat on channel 10: bass drum, snare, closed hi-hat.
Track& Beat(Track& t) {
    for (int i = 0; i < 8; ++i) {
        t.NoteOn(i == 0 ? 0 : 60, 9, 42, 70 + (i % 2) * 20);
        if (i % 4 == 0) t.NoteOn(0, 9, 36, 110);
        if (i % 4 == 2) t.NoteOn(0, 9, 38, 100);
        t.NoteOn(60, 9, 42, 0);  // a velocity of 0 ends a note
        if (i % 4 == 0) t.NoteOn(0, 9, 36, 0);
        if (i % 4 == 2) t.NoteOn(0, 9, 38, 0);
    }
    return t;
}

Track ConductorTrack() {
    Track t;
    t.Text(0, 0x03, "Conductor")
        .Text(0, 0x02, "(C) Sonivex test corpus")
        .Meta(0, 0x54, {0x60, 0x00, 0x03, 0x00, 0x00})  // SMPTE offset: 1 h, 30 fps
        .TimeSignature(0, 4, 2, 24, 8)
        .KeySignature(0, 0, 0)
        .Tempo(0, 500000)
        .Text(0, 0x06, "Intro")
        .Tempo(384, 400000)
        .TimeSignature(0, 3, 2, 24, 8)
        .Text(0, 0x06, "Verse")
        .Tempo(384, 600000)
        .End(384);
    return t;
}

struct Seed {
    std::string name;
    Bytes bytes;
};

std::vector<Seed> SoundSeeds() {
    std::vector<Seed> seeds;

    {
        Track t;
        t.Text(0, 0x03, "Format 0").Tempo(0, 500000).TimeSignature(0, 4, 2, 24, 8).KeySignature(0, 2, 0);
        t.Program(0, 0, 0);
        Melody(t, 0, 60).End();
        seeds.push_back({"format0-notes.mid", Smf(0, 96, {t})});
    }
    {
        // Running status throughout, note-ons with velocity 0 instead of note-offs.
        Track t;
        t.Tempo(0, 750000).Event(0, 0x91, {60, 100});
        for (int i = 1; i < 24; ++i) {
            const auto key = static_cast<std::uint8_t>(60 + i % 12);
            t.Running(0, {key, 90}).Running(48, {key, 0});
        }
        t.Event(0, 0xB1, {7, 100}).Running(10, {10, 64}).Running(10, {11, 127});
        t.End();
        seeds.push_back({"format0-running-status.mid", Smf(0, 120, {t})});
    }
    {
        Track piano, bass, strings, drums;
        piano.Text(0, 0x03, "Piano").Text(0, 0x04, "Acoustic Grand").Program(0, 0, 0);
        Melody(piano, 0, 60).End();
        bass.Text(0, 0x03, "Bass").Program(0, 1, 33);
        Melody(bass, 1, 36).End();
        strings.Text(0, 0x03, "Strings").Program(0, 2, 48).Controller(0, 2, 7, 90);
        Melody(strings, 2, 72).Program(10, 2, 49).End();
        drums.Text(0, 0x03, "Drums").Program(0, 9, 0);
        Beat(drums).End();
        seeds.push_back({"format1-band.mid", Smf(1, 192, {ConductorTrack(), piano, bass, strings, drums})});
    }
    {
        // Drum kits chosen by program change on channel 10, with bank select before them.
        Track t;
        t.Text(0, 0x03, "Kits").Controller(0, 9, 0, 0).Controller(0, 9, 32, 0).Program(0, 9, 0);
        Beat(t).Program(0, 9, 16);
        Beat(t).Program(0, 9, 25);
        Beat(t).Program(0, 9, 40).Program(0, 9, 127);
        for (int key = 27; key <= 87; ++key) t.Note(12, 9, key, 100, 12);
        t.End();
        seeds.push_back({"format1-drum-kits.mid", Smf(1, 96, {ConductorTrack(), t})});
    }
    {
        // Independent patterns, each with its own tempo.
        std::vector<Track> tracks(3);
        for (int i = 0; i < 3; ++i) {
            tracks[i].Text(0, 0x03, "Pattern " + std::to_string(i + 1)).Tempo(0, 300000 + 200000 * i);
            Melody(tracks[i], i, 48 + 12 * i).End();
        }
        seeds.push_back({"format2-patterns.mid", Smf(2, 96, tracks)});
    }
    {
        // Bank select, volume, pan, expression, sustain, effects depths, an RPN for the bend range, reset.
        Track t;
        t.Program(0, 3, 24);
        const int numbers[] = {0, 32, 1, 7, 10, 11, 64, 91, 93, 101, 100, 6, 38, 121, 123, 120, 5, 65, 84, 127};
        int value = 0;
        for (int number : numbers) t.Controller(3, 3, number, value = (value + 37) % 128);
        Melody(t, 3, 55).Controller(0, 3, 64, 0).End();
        seeds.push_back({"controllers.mid", Smf(0, 96, {t})});
    }
    {
        Track t;
        t.Program(0, 4, 30).NoteOn(0, 4, 64, 100).PitchBend(0, 4, 0x2000);
        for (int v = 0; v <= 0x3FFF; v += 0x0400) {
            t.Running(6, {static_cast<std::uint8_t>(v & 0x7F), static_cast<std::uint8_t>(v >> 7)});
        }
        t.PitchBend(6, 4, 0x3FFF).PitchBend(6, 4, 0).PitchBend(6, 4, 0x2000).NoteOff(0, 4, 64).End();
        seeds.push_back({"pitch-bend.mid", Smf(0, 96, {t})});
    }
    {
        // GM and GS resets, a master volume message and a message continued in a second packet.
        Track t;
        t.Sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
            .Sysex(10, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7})
            .Sysex(10, {0x7F, 0x7F, 0x04, 0x01, 0x00, 0x7F, 0xF7})
            .Sysex(10, {0x43, 0x10, 0x4C})
            .Sysex(5, {0x00, 0x00, 0x7E, 0x00, 0xF7}, 0xF7);
        Melody(t, 0, 60).End();
        seeds.push_back({"sysex.mid", Smf(0, 96, {t})});
    }
    {
        Track t;
        t.Text(0, 0x01, "Some text")
            .Text(0, 0x02, "Copyright line")
            .Text(0, 0x03, "Track name")
            .Text(0, 0x04, "Instrument")
            .Text(0, 0x05, "La")
            .Text(0, 0x06, "Marker")
            .Text(0, 0x07, "Cue")
            .Text(0, 0x08, "Program name")
            .Text(0, 0x09, "Device")
            .Meta(0, 0x20, {5})
            .Meta(0, 0x21, {1})
            .Meta(0, 0x00, {0x00, 0x07})
            .Meta(0, 0x7F, {0x00, 0x00, 0x41, 0x01, 0x02})
            .Meta(0, 0x7F, {0x43, 0x7B, 0x00})
            .Text(0, 0x01, std::string(200, 'x'));
        Melody(t, 5, 62).End();
        seeds.push_back({"meta-events.mid", Smf(0, 96, {t})});
    }
    {
        // A tempo change every beat, from very slow to very fast.
        Track t;
        for (std::uint32_t micros : {60000000u / 20, 60000000u / 60, 500000u, 60000000u / 240, 60000000u / 500,
                                     1u, 0xFFFFFFu}) {
            t.Tempo(0, micros).Note(0, 0, 60, 100, 96);
        }
        t.End();
        seeds.push_back({"tempo-changes.mid", Smf(0, 96, {t})});
    }
    {
        Track t;
        for (int sharps = -7; sharps <= 7; ++sharps) {
            t.KeySignature(0, sharps, (sharps + 7) % 2).Note(0, 0, 60 + sharps, 80, 48);
        }
        t.End();
        seeds.push_back({"key-signatures.mid", Smf(0, 96, {t})});
    }
    {
        // Delta times of one to four bytes, up to the largest a variable-length number can hold.
        Track t;
        for (std::uint32_t delta : {0x7Fu, 0x80u, 0x3FFFu, 0x4000u, 0x1FFFFFu, 0x200000u, 0x0FFFFFFFu}) {
            t.Note(delta, 0, 60, 100, delta);
        }
        t.End();
        seeds.push_back({"long-deltas.mid", Smf(0, 96, {t})});
    }
    {
        // One track per channel, each with its own instrument.
        std::vector<Track> tracks(16);
        for (int ch = 0; ch < 16; ++ch) {
            tracks[ch].Text(0, 0x03, "Channel " + std::to_string(ch + 1)).Program(0, ch, ch * 8 + 3);
            if (ch == 9) {
                Beat(tracks[ch]).End();
            } else {
                Melody(tracks[ch], ch, 40 + ch * 2).End();
            }
        }
        seeds.push_back({"sixteen-channels.mid", Smf(1, 480, tracks)});
    }
    {
        // Every program once, spread over the melodic channels.
        Track t;
        for (int program = 0; program < 128; ++program) {
            const int ch = program % 15 < 9 ? program % 15 : program % 15 + 1;
            t.Program(0, ch, program).Note(0, ch, 48 + program % 24, 1 + program % 127, 30);
        }
        t.End();
        seeds.push_back({"all-programs.mid", Smf(0, 96, {t})});
    }
    {
        // An empty track between two with notes, and the smallest possible division.
        Track a, empty, b;
        Melody(a, 0, 60).End();
        empty.End();
        Melody(b, 1, 50).End();
        seeds.push_back({"empty-track.mid", Smf(1, 1, {a, empty, b})});
    }
    {
        Track t;
        t.End();
        seeds.push_back({"smallest.mid", Smf(0, 0x7FFF, {t})});
    }
    {
        // Aftertouch of both kinds, and the system messages that should not appear in a file.
        Track t;
        t.NoteOn(0, 0, 60, 100).Event(10, 0xA0, {60, 50}).Event(10, 0xD0, {70}).Running(10, {20});
        t.NoteOff(10, 0, 60).Raw({0x00, 0xF8, 0x00, 0xFE}).End();
        seeds.push_back({"aftertouch.mid", Smf(0, 96, {t})});
    }
    return seeds;
}

std::vector<Seed> DamagedSeeds() {
    std::vector<Seed> seeds;
    Track tune;
    tune.Program(0, 0, 5);
    Melody(tune, 0, 60).End();

    {
        // The chunk claims 200 bytes more than the file holds.
        Bytes file = Header(0, 1, 96);
        Append(file, Chunk("MTrk", tune.Body(), static_cast<std::uint32_t>(tune.Body().size() + 200)));
        seeds.push_back({"truncated-track.mid", file});
    }
    {
        // The file ends in the middle of an event.
        Bytes file = Smf(0, 96, {tune});
        file.resize(file.size() - 7);
        seeds.push_back({"cut-mid-event.mid", file});
    }
    {
        Track t;
        t.Tempo(0, 500000);
        Melody(t, 0, 60);
        Track u;
        Melody(u, 1, 40).End();
        seeds.push_back({"missing-end-of-track.mid", Smf(1, 96, {t, u})});
    }
    {
        // A misspelt track id, then an unknown chunk between two tracks.
        Bytes file = Header(1, 3, 96);
        Append(file, Chunk("MTrx", tune.Body()));
        Append(file, Chunk("XFIH", {1, 2, 3, 4, 5, 6}));
        Append(file, Chunk("MTrk", tune.Body()));
        Append(file, Chunk("MTrk", tune.Body()));
        seeds.push_back({"bad-chunk-ids.mid", file});
    }
    {
        Bytes file = Smf(0, 96, {tune});
        Append(file, {0x00, 0x00, 0x0A, 0x0D, 'j', 'u', 'n', 'k', 0xFF, 0x90, 0x3C});
        seeds.push_back({"bytes-after-last-track.mid", file});
    }
    seeds.push_back({"zero-division.mid", Smf(0, 0, {tune})});
    seeds.push_back({"smpte-division.mid", Smf(0, 0xE728, {tune})});
    {
        Bytes file = Header(0, 1, 96);
        Append(file, Chunk("MTrk", tune.Body(), 0xFFFFFFF0u));
        seeds.push_back({"huge-track-length.mid", file});
    }
    {
        // A text event and a sysex message that claim far more bytes than the track has.
        Track t;
        t.Raw({0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F, 'a', 'b'});
        Track u;
        u.Raw({0x00, 0xF0, 0x87, 0xFF, 0xFF, 0x7F, 0x7E, 0x7F});
        seeds.push_back({"huge-event-lengths.mid", Smf(1, 96, {t, u, tune})});
    }
    {
        Track t;
        t.TimeSignature(0, 4, 2, 0, 8).TimeSignature(96, 0, 0, 0, 0).TimeSignature(96, 7, 30, 24, 8);
        Melody(t, 0, 60).End();
        seeds.push_back({"time-signature-zero-clocks.mid", Smf(0, 96, {t})});
    }
    {
        // After the tempo a data byte stands where the next status byte belongs; a meta event sets no
        // running status to fall back on.
        Track t;
        t.Tempo(0, 500000).Running(0, {0x3C, 0x64}).Running(96, {0x3C, 0x00});
        Melody(t, 0, 60).End();
        seeds.push_back({"tempo-then-data-byte.mid", Smf(0, 96, {t})});
    }
    {
        // Note data before any status byte at all.
        Track t;
        t.Running(0, {0x40, 0x50}).Running(10, {0x40, 0x00});
        Melody(t, 0, 60).End();
        seeds.push_back({"data-byte-first.mid", Smf(0, 96, {t})});
    }
    {
        Track t;
        t.Meta(0, 0x60, {1, 2, 3}).Meta(0, 0x7E, {}).Meta(0, 0x0A, {'?'}).Meta(0, 0xFF, {0});
        Melody(t, 0, 60).End();
        seeds.push_back({"unknown-meta-types.mid", Smf(0, 96, {t})});
    }
    {
        // Four-byte numbers everywhere, and a five-byte one that no writer may produce.
        Track t;
        t.Raw({0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x64});
        t.Raw({0xFF, 0xFF, 0xFF, 0x7F, 0x80, 0x3C, 0x40});
        t.Raw({0x00, 0xFF, 0x01, 0x80, 0x80, 0x80, 0x03, 'a', 'b', 'c'});
        t.Raw({0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3E, 0x64});
        t.End();
        seeds.push_back({"four-byte-numbers.mid", Smf(0, 96, {t})});
    }
    {
        // The header counts five tracks but there are two.
        Bytes file = Header(1, 5, 96);
        Append(file, Chunk("MTrk", tune.Body()));
        Append(file, Chunk("MTrk", tune.Body()));
        seeds.push_back({"fewer-tracks-than-counted.mid", file});
    }
    {
        Bytes file = Header(0, 0, 96);
        Append(file, Chunk("MTrk", tune.Body()));
        seeds.push_back({"zero-tracks-counted.mid", file});
    }
    seeds.push_back({"format-3.mid", Smf(3, 96, {tune})});
    {
        // A header chunk of 8 bytes.
        Bytes file = Chunk("MThd", {0, 1, 0, 1, 0, 96, 0, 0});
        Append(file, Chunk("MTrk", tune.Body()));
        seeds.push_back({"long-header.mid", file});
    }
    seeds.push_back({"header-only.mid", Header(0, 1, 96)});
    {
        // A tempo of zero, a tempo of two bytes and a key signature beyond seven sharps.
        Track t;
        t.Tempo(0, 0).Meta(0, 0x51, {0x07, 0xA1}).KeySignature(0, 9, 2).KeySignature(0, -8, 1);
        t.Meta(0, 0x58, {4, 2}).Meta(0, 0x59, {});
        Melody(t, 0, 60).End();
        seeds.push_back({"bad-meta-data.mid", Smf(0, 96, {t})});
    }
    {
        // More tracks than the report has room for.
        std::vector<Track> tracks(110, tune);
        seeds.push_back({"too-many-tracks.mid", Smf(1, 96, tracks)});
    }
    {
        // More sysex messages and program changes than the tables of one track hold.
        Track t;
        for (int i = 0; i < 210; ++i) t.Sysex(1, {0x7E, 0x7F, 0x09, 0x01, 0xF7});
        t.Program(0, 0, 0);
        for (int i = 0; i < 2100; ++i) t.Running(1, {static_cast<std::uint8_t>(i % 128)});
        t.Note(0, 0, 60, 100, 10).End();
        seeds.push_back({"crowded-track.mid", Smf(0, 96, {t})});
    }
    {
        // More text lines than a track's part of the report holds.
        Track t;
        for (int i = 0; i < 120; ++i) t.Text(1, 0x01, "line " + std::to_string(i));
        Melody(t, 0, 60).End();
        seeds.push_back({"many-text-lines.mid", Smf(0, 96, {t})});
    }
    {
        // Notes of every velocity and every key, no note ever ended.
        Track t;
        for (int i = 0; i < 128; ++i) t.NoteOn(1, i % 16, i, i);
        t.End();
        seeds.push_back({"notes-never-ended.mid", Smf(0, 96, {t})});
    }
    return seeds;
}

bool Save(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: sonivex-fuzz-seeds FOLDER\n\nWrites the starting corpus of sonivex-fuzz "
                             "into FOLDER.\n");
        return 2;
    }
    const fs::path folder = argv[1];
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "sonivex-fuzz-seeds: cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
        return 1;
    }
    int written = 0;
    for (const auto& list : {SoundSeeds(), DamagedSeeds()}) {
        for (const Seed& seed : list) {
            if (!Save(folder / seed.name, seed.bytes)) {
                std::fprintf(stderr, "sonivex-fuzz-seeds: cannot write %s\n", (folder / seed.name).c_str());
                return 1;
            }
            ++written;
        }
    }
    std::printf("sonivex-fuzz-seeds: %d files in %s\n", written, folder.c_str());
    return 0;
}
