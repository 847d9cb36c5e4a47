#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "playback/player/part_keys.h"
#include "test_song.h"

namespace sonivex::test {
namespace {

constexpr std::size_t Key(int channel, int key) { return static_cast<std::size_t>(channel * 128 + key); }

// The part that plays `key`, when exactly one does.
std::optional<std::size_t> PartOf(const std::vector<SongPart>& parts, std::size_t key) {
    std::optional<std::size_t> found;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        if (!parts[p].keys[key]) continue;
        if (found) return std::nullopt;
        found = p;
    }
    return found;
}

// Busy piano chords on three channels, with hi-hats and a gliding lead among them.
MidiSequence BusySong() {
    Track t;
    t.Tempo(0, 500000).Program(0, 4, 80).At(0, {0xB4, 65, 127});
    for (int beat = 0; beat < 16; ++beat) {
        for (int c = 0; c < 3; ++c) t.NoteOn(0, c, 48 + 7 * c + beat % 5, 90);
        t.NoteOn(0, 9, beat % 2 == 0 ? 42 : 46, 100).NoteOn(0, 4, 70 + beat % 7, 100);
        for (int c = 0; c < 3; ++c) t.NoteOff(c == 0 ? 96 : 0, c, 48 + 7 * c + beat % 5);
        t.NoteOff(0, 9, beat % 2 == 0 ? 42 : 46).NoteOff(0, 4, 70 + beat % 7);
    }
    return *MidiSequence::Parse(MidiFile(0, kTicksPerQuarter).Add(t.End()).Build());
}

TEST(PartsOfSong, GivesEveryKeyToOnePartAndKeepsKeysThatActOnEachOtherTogether) {
    if (!FindSoundFont()) GTEST_SKIP() << "no sound font installed";
    const SynthEngine font;
    const MidiSequence song = BusySong();
    const std::vector<SongPart> parts = PartsOfSong(font, song, 2);
    ASSERT_EQ(parts.size(), 2u);
    for (std::size_t key = 0; key < MidiSequence::KeySet().size(); ++key) ASSERT_TRUE(PartOf(parts, key)) << key;
    // The hi-hats share an exclusive class; the lead's channel glides.
    EXPECT_EQ(PartOf(parts, Key(9, 42)), PartOf(parts, Key(9, 46)));
    for (int key = 0; key < 128; ++key) EXPECT_EQ(PartOf(parts, Key(4, key)), PartOf(parts, Key(4, 70))) << key;
    // The piano's keys are shared out, so that both parts have notes to play.
    std::size_t first = 0;
    for (int c = 0; c < 3; ++c) {
        for (int key = 48; key < 80; ++key) first += *PartOf(parts, Key(c, key)) == 0 ? 1 : 0;
    }
    EXPECT_GT(first, 0u);
    EXPECT_LT(first, 3u * 32u);

    const std::vector<SongPart> one = PartsOfSong(font, song, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_TRUE(one[0].keys.all());
}

// A crash cymbal rings for seconds after each stroke, as its sample plays to the end: it costs more to render
// than two piano keys held as long, and the parts share it out so.
TEST(PartsOfSong, CostsASampleThatPlaysOnceByHowLongItRings) {
    const std::optional<std::filesystem::path> font = FindSoundFont();
    if (!font || font->filename() != "FluidR3_GM.sf2") GTEST_SKIP() << "needs FluidR3_GM.sf2, whose crash cymbal rings";
    Track t;
    t.Tempo(0, 500000).Program(0, 0, 0);
    constexpr std::uint32_t kHeld = 6 * kTicksPerQuarter;  // 3 seconds
    for (int stroke = 0; stroke < 8; ++stroke) {
        t.NoteOn(0, 9, 49, 100);
        if (stroke < 3) t.NoteOn(0, 0, 60, 100).NoteOn(0, 0, 64, 100);
        t.NoteOff(kHeld, 9, 49);
        if (stroke < 3) t.NoteOff(0, 0, 60).NoteOff(0, 0, 64);
    }
    const SynthEngine engine;
    const std::vector<SongPart> parts =
        PartsOfSong(engine, *MidiSequence::Parse(MidiFile(0, kTicksPerQuarter).Add(t.End()).Build()), 2);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(PartOf(parts, Key(0, 60)), PartOf(parts, Key(0, 64)));
    EXPECT_NE(PartOf(parts, Key(0, 60)), PartOf(parts, Key(9, 49)));
}

bool FluidR3Installed() {
    const std::optional<std::filesystem::path> font = FindSoundFont();
    return font && font->filename() == "FluidR3_GM.sf2";
}

MidiSequence PianoAndGuitar(bool guitarChorus) {
    Track t;
    t.Tempo(0, 500000).Program(0, 0, 0).Program(0, 1, 24).At(0, {0xB1, 93, guitarChorus ? 100 : 0});
    // 16 seconds of piano chords; a few short guitar notes, which cost less than the chorus would.
    for (int beat = 0; beat < 32; ++beat) {
        t.NoteOn(0, 0, 60 + beat % 12, 90).NoteOn(0, 0, 64 + beat % 12, 90);
        if (beat < 8) t.NoteOn(0, 1, 48 + beat, 90).NoteOff(kTicksPerQuarter / 8, 1, 48 + beat);
        const std::uint32_t rest = beat < 8 ? kTicksPerQuarter * 7 / 8 : kTicksPerQuarter;
        t.NoteOff(rest, 0, 60 + beat % 12).NoteOff(0, 0, 64 + beat % 12);
    }
    return *MidiSequence::Parse(MidiFile(0, kTicksPerQuarter).Add(t.End()).Build());
}

// FluidR3's piano and nylon guitar send to the reverb and not to the chorus: the chorus is left out of every
// part, unless the song turns it up for the guitar, whose few notes then gather in one part, which alone has
// it.
TEST(PartsOfSong, GivesAPartOnlyTheEffectsItsNotesAreSentTo) {
    if (!FluidR3Installed()) GTEST_SKIP() << "needs FluidR3_GM.sf2, whose instruments' sends it knows";
    const SynthEngine font;
    for (const SongPart& part : PartsOfSong(font, PianoAndGuitar(false), 2)) {
        EXPECT_EQ(part.sends, (EffectSends{true, false}));
    }

    const std::vector<SongPart> parts = PartsOfSong(font, PianoAndGuitar(true), 2);
    const std::optional<std::size_t> guitar = PartOf(parts, Key(1, 48));
    ASSERT_TRUE(guitar);
    for (int key = 48; key < 56; ++key) EXPECT_EQ(PartOf(parts, Key(1, key)), guitar) << key;
    for (std::size_t p = 0; p < parts.size(); ++p) EXPECT_EQ(parts[p].sends, (EffectSends{true, p == *guitar})) << p;
}

// A SoundFont file of the chunks the modulator scan reads: a preset and an instrument modulator list, with a
// record sending to each of `destinations`, among the other chunks of a font's parts.
Bytes SoundFontWithModulators(const std::vector<int>& destinations) {
    const auto le = [](Bytes& out, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const auto chunk = [&](const std::string& id, const Bytes& data) {
        Bytes out(id.begin(), id.end());
        le(out, static_cast<std::uint32_t>(data.size()), 4);
        out.insert(out.end(), data.begin(), data.end());
        if (data.size() % 2 != 0) out.push_back(0);
        return out;
    };
    const auto list = [&](const std::string& type, const std::vector<Bytes>& chunks) {
        Bytes data(type.begin(), type.end());
        for (const Bytes& c : chunks) data.insert(data.end(), c.begin(), c.end());
        return chunk("LIST", data);
    };
    Bytes modulators;
    for (const int destination : destinations) {
        le(modulators, 0x025B, 2);  // controller 91
        le(modulators, static_cast<std::uint32_t>(destination), 2);
        le(modulators, 500, 2);
        le(modulators, 0, 4);
    }
    modulators.resize(modulators.size() + 10, 0);  // the list's closing record
    const Bytes parts = list("pdta", {chunk("phdr", Bytes(76, 0)), chunk("pbag", Bytes(8, 0)), chunk("pmod", modulators),
                                      chunk("pgen", Bytes(4, 0)), chunk("inst", Bytes(44, 0)), chunk("ibag", Bytes(8, 0)),
                                      chunk("imod", Bytes(10, 0)), chunk("igen", Bytes(4, 0)), chunk("shdr", Bytes(92, 0))});
    const Bytes body = [&] {
        Bytes b{'s', 'f', 'b', 'k'};
        const Bytes info = list("INFO", {chunk("ifil", {2, 0, 1, 0})});
        const Bytes samples = list("sdta", {chunk("smpl", Bytes(93, 0))});
        for (const Bytes& c : {info, samples, parts}) {
            b.insert(b.end(), c.begin(), c.end());
        }
        return b;
    }();
    return chunk("RIFF", body);
}

TEST(ModulatedSends, FindsTheEffectsThatASoundFontsModulatorsFeed) {
    const auto sendsOf = [](const Bytes& bytes) {
        const ScratchFile font(bytes, ".sf2");
        return ModulatedSends(font.path());
    };
    EXPECT_EQ(sendsOf(SoundFontWithModulators({})), (EffectSends{false, false}));
    EXPECT_EQ(sendsOf(SoundFontWithModulators({48, 15})), (EffectSends{false, true}));
    EXPECT_EQ(sendsOf(SoundFontWithModulators({16})), (EffectSends{true, false}));
    // What cannot be read as a SoundFont may send to either: here the instruments' modulators are cut short.
    Bytes cut = SoundFontWithModulators({});
    cut.resize(cut.size() - 120);
    EXPECT_EQ(sendsOf(cut), (EffectSends{true, true}));
    EXPECT_EQ(sendsOf(Bytes{'R', 'I', 'F', 'F'}), (EffectSends{true, true}));
    EXPECT_EQ(ModulatedSends(std::filesystem::path("/nonexistent/font.sf2")), (EffectSends{true, true}));
    EXPECT_EQ(ModulatedSends(std::nullopt), (EffectSends{true, true}));
}

}  // namespace
}  // namespace sonivex::test
