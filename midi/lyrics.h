// The words of a song to sing along: its lyric events (meta 0x05), or in a karaoke file (.kar) its text
// events (meta 0x01), as lines of syllables, each at its tick and time. Karaoke files mark their texts: a text
// that begins with "@" belongs to the header (@T the title, @I information, @L the language, others such as
// @K and @V the file's own marks), "/" begins a new line and "\" a new verse. In lyric events a CR or LF ends
// the line, and an empty line begins a verse.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sonivex {

struct LyricSyllable {
    std::string text;         // UTF-8 (midi/song_text.h), without the marks that begin lines and verses
    std::uint64_t tick = 0;   // absolute, from its track's start
    double seconds = 0;       // when it is sung, through the song's tempo map
};

struct LyricLine {
    std::vector<LyricSyllable> syllables;
    bool startsVerse = false;  // the first line of a verse after the first verse
};

struct Lyrics {
    std::string title;     // the karaoke header's @T texts, one a line; UTF-8
    std::string info;      // its @I texts, one a line
    std::string language;  // its @L text
    std::vector<LyricLine> lines;
};

// Where a song's words are read from.
enum class LyricEvents {
    Lyrics,  // the lyric events; the text events when there are none
    Texts,   // the text events, as a karaoke file (.kar) keeps them; the lyric events when there are none
};

// Reads the words of the song in `file` from the one track that holds most of them. Never fails: a song with
// no words, or bytes that are no song, give no lines; a damaged track is read as far as its events go.
Lyrics ReadLyrics(std::span<const std::uint8_t> file, LyricEvents from);

// Whether a file's name marks a karaoke file: it ends in ".kar", in any case.
bool IsKaraokeName(const std::string& fileName);

}  // namespace sonivex
