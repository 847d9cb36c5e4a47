#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "playback/player/midi_player.h"
#include "playback/player/synth_engine.h"
#include "test_song.h"

namespace sonivex::test {
namespace {

std::uint32_t Little(const Bytes& b, std::size_t at, int count) {
    std::uint32_t v = 0;
    for (int i = count - 1; i >= 0; --i) v = (v << 8) | b[at + i];
    return v;
}

// The i-th 16-bit sample after the 44-byte header, left and right channels taking turns.
int Sample(const Bytes& wav, std::size_t i) {
    return static_cast<std::int16_t>(Little(wav, 44 + 2 * i, 2));
}

Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The three notes of ThreeNotes() on a drawbar organ, which holds its level to the note-off and then falls
// silent within a few milliseconds: where the sound ends shows where the song ends.
Bytes ThreeOrganNotes() {
    Track t;
    t.Tempo(0, 500000).Program(0, 0, 16);
    t.NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60);
    t.NoteOn(0, 0, 64, 100).NoteOff(96, 0, 64);
    t.NoteOn(0, 0, 67, 100).NoteOff(96, 0, 67);
    return MidiFile(0, kTicksPerQuarter).Add(t.End()).Build();
}

TEST(RenderToWav, WritesTheWholeSongAsSixteenBitStereo) {
    const ScratchFile midi(ThreeOrganNotes(), ".mid");
    const ScratchFile wav(".wav");
    const std::optional<double> seconds = RenderToWav(midi.name(), wav.name());
    ASSERT_TRUE(seconds);

    const Bytes b = ReadAll(wav.path());
    ASSERT_GE(b.size(), 44u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(Little(b, 4, 4), b.size() - 8);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Little(b, 16, 4), 16u);
    EXPECT_EQ(Little(b, 20, 2), 1u);  // PCM
    EXPECT_EQ(Little(b, 22, 2), 2u);
    EXPECT_EQ(Little(b, 24, 4), 44100u);
    EXPECT_EQ(Little(b, 28, 4), 44100u * 4);
    EXPECT_EQ(Little(b, 32, 2), 4u);
    EXPECT_EQ(Little(b, 34, 2), 16u);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    const std::uint32_t dataBytes = Little(b, 40, 4);
    ASSERT_EQ(dataBytes, b.size() - 44);
    const std::size_t frames = dataBytes / 4;
    EXPECT_DOUBLE_EQ(*seconds, frames / 44100.0);

    // The song takes 1.5 seconds; what rings on after it is cut after two seconds at most.
    EXPECT_GE(*seconds, 1.5);
    EXPECT_LE(*seconds, 3.5 + 0.02);

    if (!FindSoundFont()) GTEST_SKIP() << "no sound font installed";
    // Not silent, and the sound spans the song: the samples above a quarter of the loudest begin at once
    // and end within 5% of the song's 1.5 seconds. The reverb that rings on stays far below that.
    int loudest = 0;
    for (std::size_t i = 0; i < frames * 2; ++i) loudest = std::max(loudest, std::abs(Sample(b, i)));
    EXPECT_GT(loudest, 500);
    std::size_t firstLoud = frames;
    std::size_t lastLoud = 0;
    for (std::size_t i = 0; i < frames * 2; ++i) {
        if (std::abs(Sample(b, i)) <= loudest / 4) continue;
        firstLoud = std::min(firstLoud, i / 2);
        lastLoud = i / 2;
    }
    EXPECT_LT(firstLoud / 44100.0, 0.05);
    EXPECT_NEAR(lastLoud / 44100.0, 1.5, 1.5 * 0.05);
}

TEST(RenderToWav, FailsForAMissingMidiFileOrAnUnwritableWav) {
    const ScratchFile midi(ThreeNotes(), ".mid");
    const ScratchFile wav(".wav");
    EXPECT_FALSE(RenderToWav("/nonexistent/folder/song.mid", wav.name()));
    EXPECT_FALSE(RenderToWav(midi.name(), "/nonexistent/folder/song.wav"));
}

}  // namespace
}  // namespace sonivex::test
