#include <gtest/gtest.h>

#include "playback/player/part_keys.h"
#include "test_song.h"

namespace sonivex::test {
namespace {

constexpr std::size_t Key(int channel, int key) { return static_cast<std::size_t>(channel * 128 + key); }

// The part that plays `key`, when exactly one does.
std::optional<std::size_t> PartOf(const std::vector<MidiSequence::KeySet>& parts, std::size_t key) {
    std::optional<std::size_t> found;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        if (!parts[p][key]) continue;
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

TEST(KeysOfParts, GivesEveryKeyToOnePartAndKeepsKeysThatActOnEachOtherTogether) {
    if (!FindSoundFont()) GTEST_SKIP() << "no sound font installed";
    const SynthEngine font;
    const MidiSequence song = BusySong();
    const std::vector<MidiSequence::KeySet> parts = KeysOfParts(font, song, 2);
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

    const std::vector<MidiSequence::KeySet> one = KeysOfParts(font, song, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_TRUE(one[0].all());
}

// A crash cymbal rings for seconds after each stroke, as its sample plays to the end: it costs more to render
// than two piano keys held as long, and the parts share it out so.
TEST(KeysOfParts, CostsASampleThatPlaysOnceByHowLongItRings) {
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
    const std::vector<MidiSequence::KeySet> parts =
        KeysOfParts(engine, *MidiSequence::Parse(MidiFile(0, kTicksPerQuarter).Add(t.End()).Build()), 2);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(PartOf(parts, Key(0, 60)), PartOf(parts, Key(0, 64)));
    EXPECT_NE(PartOf(parts, Key(0, 60)), PartOf(parts, Key(9, 49)));
}

}  // namespace
}  // namespace sonivex::test
