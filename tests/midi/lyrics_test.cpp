#include "midi/lyrics.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/midi_builder.h"

namespace sonivex {
namespace {

using test::Bytes;
using test::MidiFile;
using test::Track;

// The lines as text, syllables joined, a verse's first line marked with "\".
std::vector<std::string> Texts(const Lyrics& lyrics) {
    std::vector<std::string> out;
    for (const LyricLine& line : lyrics.lines) {
        std::string text = line.startsVerse ? "\\" : "";
        for (const LyricSyllable& syllable : line.syllables) text += syllable.text;
        out.push_back(text);
    }
    return out;
}

TEST(Lyrics, ReadsTheKaraokeTestFileWithItsTitleLinesAndTimes) {
    std::ifstream in(std::filesystem::path(SONIVEX_TEST_MIDI_DIR) / "test-karaoke-kar.mid", std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(file.empty());
    const Lyrics lyrics = ReadLyrics(file, LyricEvents::Texts);
    EXPECT_EQ(lyrics.title, "Mary Was A Little Lame");
    // The track of the words, not the first track's one text.
    EXPECT_EQ(Texts(lyrics), (std::vector<std::string>{"Mary was a little lame,", "Little lame,", "Little lame,",
                                                       "Mary was a little lame,", "A little lame was she!"}));
    const LyricSyllable& little = lyrics.lines[1].syllables[0];
    EXPECT_EQ(little.text, "Lit");
    EXPECT_EQ(little.tick, 400u);
    EXPECT_NEAR(little.seconds, 4 * 0.666667, 1e-9);  // 100 ticks a quarter at 666,667 microseconds
}

TEST(Lyrics, KaraokeMarksBeginLinesAndVersesAndTheHeaderIsNoLyric) {
    Track words;
    words.Meta(0, 0x01, "@KMIDI KARAOKE FILE").Meta(0, 0x01, "@LENGL").Meta(0, 0x01, "@TSong")
        .Meta(0, 0x01, "@TSinger").Meta(0, 0x01, "@IMade here").Meta(0, 0x01, "\\One ").Meta(48, 0x01, "two")
        .Meta(48, 0x01, "/Three").Meta(48, 0x01, "\\Four").End();
    const Lyrics lyrics = ReadLyrics(MidiFile().Add(words).Build(), LyricEvents::Texts);
    EXPECT_EQ(lyrics.title, "Song\nSinger");
    EXPECT_EQ(lyrics.info, "Made here");
    EXPECT_EQ(lyrics.language, "ENGL");
    EXPECT_EQ(Texts(lyrics), (std::vector<std::string>{"One two", "Three", "\\Four"}));
    EXPECT_EQ(lyrics.lines[0].syllables[1].tick, 48u);
    EXPECT_NEAR(lyrics.lines[2].syllables[0].seconds, 0.75, 1e-9);  // 144 ticks, 96 a quarter of half a second
}

TEST(Lyrics, LyricEventsEndTheirLinesAtCrOrLfAndAreTimedByTheTempoMap) {
    Track words;
    words.Tempo(0, 1000000).Meta(0, 0x05, "Hel").Meta(96, 0x05, "lo\r").Meta(96, 0x05, "world\r\n")
        .Meta(96, 0x05, "\n").Meta(96, 0x05, "a\ngain").Meta(0, 0x01, "a text is no lyric").End();
    const Lyrics lyrics = ReadLyrics(MidiFile().Add(words).Build(), LyricEvents::Lyrics);
    EXPECT_EQ(Texts(lyrics), (std::vector<std::string>{"Hello", "world", "\\a", "gain"}));
    EXPECT_NEAR(lyrics.lines[1].syllables[0].seconds, 2.0, 1e-9);  // a second a quarter
    EXPECT_EQ(lyrics.lines[3].syllables[0].tick, 384u);
}

TEST(Lyrics, FallsBackToTheOtherEventsAndDecodesTheirTexts) {
    // No lyric events: the text events are the words; no text events in a karaoke file: the lyric events.
    const Bytes texts = MidiFile().Add(Track().Meta(0, 0x01, "Caf\xE9").End()).Build();
    EXPECT_EQ(Texts(ReadLyrics(texts, LyricEvents::Lyrics)), (std::vector<std::string>{"Caf\xC3\xA9"}));
    const Bytes lyricEvents = MidiFile().Add(Track().Meta(0, 0x05, "\xE2\x82\xAC").End()).Build();
    EXPECT_EQ(Texts(ReadLyrics(lyricEvents, LyricEvents::Texts)), (std::vector<std::string>{"\xE2\x82\xAC"}));
    EXPECT_TRUE(ReadLyrics(MidiFile().Add(Track().NoteOn(0, 0, 60, 9).End()).Build(), LyricEvents::Lyrics)
                    .lines.empty());
    EXPECT_TRUE(ReadLyrics(Bytes{'n', 'o'}, LyricEvents::Lyrics).lines.empty());
    EXPECT_TRUE(IsKaraokeName("/songs/Song.KAR"));
    EXPECT_FALSE(IsKaraokeName("song.mid"));
}

}  // namespace
}  // namespace sonivex
