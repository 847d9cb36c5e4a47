#include "lyrics.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>

#include "chunks.h"
#include "song_tempo.h"
#include "song_text.h"
#include "track_events.h"

namespace sonivex {

namespace {

constexpr std::uint8_t kMetaText = 0x01;
constexpr std::uint8_t kMetaLyric = 0x05;

// One word event as read: its bytes, track and tick.
struct WordEvent {
    std::string_view bytes;
    std::size_t track;
    std::uint64_t tick;
};

// The events of one meta type in every track, and the song's tempo maps.
struct WordEvents {
    std::vector<std::vector<WordEvent>> byTrack;
    SongTempo tempo;
};

WordEvents ReadWordEvents(std::span<const std::uint8_t> file, const SmfChunks& chunks, std::uint8_t type) {
    WordEvents words;
    SongTempoBuilder tempo(chunks.header);
    const std::span<const TrackChunk> tracks = chunks.SongTracks();
    words.byTrack.resize(tracks.size());
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        TrackEvents events(file, tracks[t]);
        TrackEvent event;
        while (events.Read(event)) {
            tempo.Add(t, event);
            if (!event.IsMeta(type)) continue;
            const std::string_view bytes(reinterpret_cast<const char*>(event.body.data()), event.body.size());
            words.byTrack[t].push_back({bytes, t, event.tick});
        }
    }
    words.tempo = tempo.Build(tracks.size());
    return words;
}

bool IsHeader(std::string_view bytes) { return !bytes.empty() && bytes.front() == '@'; }

// The track with the most words that are not header texts; the first of those that have as many.
std::optional<std::size_t> WordiestTrack(const WordEvents& words) {
    std::optional<std::size_t> best;
    std::size_t most = 0;
    for (std::size_t t = 0; t < words.byTrack.size(); ++t) {
        const auto count = static_cast<std::size_t>(std::count_if(
            words.byTrack[t].begin(), words.byTrack[t].end(), [](const WordEvent& w) { return !IsHeader(w.bytes); }));
        if (count > most) {
            most = count;
            best = t;
        }
    }
    return best;
}

// Builds the lines syllable by syllable.
class LineMaker {
public:
    LineMaker(Lyrics& lyrics, const SongTempo& tempo) : lyrics_(lyrics), tempo_(tempo) {}

    // A line ended where none was open leaves an empty line: the next line begins a verse.
    void EndLine() {
        if (!lineOpen_ && !lyrics_.lines.empty()) verseNext_ = true;
        lineOpen_ = false;
    }
    void EndVerse() {
        lineOpen_ = false;
        verseNext_ = !lyrics_.lines.empty();
    }
    void Add(std::string_view bytes, const WordEvent& at) {
        if (bytes.empty()) return;
        if (!lineOpen_) {
            lyrics_.lines.push_back({{}, verseNext_});
            lineOpen_ = true;
            verseNext_ = false;
        }
        const double seconds = tempo_.Of(at.track).SecondsAt(at.tick);
        lyrics_.lines.back().syllables.push_back({TextAsUtf8(bytes), at.tick, seconds});
    }

private:
    Lyrics& lyrics_;
    const SongTempo& tempo_;
    bool lineOpen_ = false;
    bool verseNext_ = false;
};

void AppendLine(std::string& to, std::string_view text) {
    if (!to.empty()) to += '\n';
    to += TextAsUtf8(text);
}

// A karaoke header text: @T title, @I information, @L language; the other marks are the file's own.
void ReadHeader(Lyrics& lyrics, std::string_view bytes) {
    if (bytes.size() < 2) return;
    const char mark = static_cast<char>(std::toupper(static_cast<unsigned char>(bytes[1])));
    const std::string_view text = bytes.substr(2);
    if (mark == 'T') AppendLine(lyrics.title, text);
    if (mark == 'I') AppendLine(lyrics.info, text);
    if (mark == 'L') lyrics.language = TextAsUtf8(text);
}

// A karaoke text: "/" begins a line, "\" a verse; the rest is the syllable.
void ReadKaraokeText(LineMaker& lines, const WordEvent& word) {
    std::string_view bytes = word.bytes;
    if (!bytes.empty() && bytes.front() == '\\') {
        lines.EndVerse();
        bytes.remove_prefix(1);
    } else if (!bytes.empty() && bytes.front() == '/') {
        lines.EndLine();
        bytes.remove_prefix(1);
    }
    lines.Add(bytes, word);
}

// A lyric event: every CR or LF (a CR LF counts once) ends the line.
void ReadLyricText(LineMaker& lines, const WordEvent& word) {
    std::string_view bytes = word.bytes;
    while (!bytes.empty()) {
        const std::size_t cut = bytes.find_first_of("\r\n");
        lines.Add(bytes.substr(0, cut), word);
        if (cut == std::string_view::npos) return;
        lines.EndLine();
        const bool pair = bytes[cut] == '\r' && cut + 1 < bytes.size() && bytes[cut + 1] == '\n';
        bytes.remove_prefix(cut + (pair ? 2 : 1));
    }
}

Lyrics LyricsOf(const WordEvents& words, bool karaoke) {
    Lyrics lyrics;
    for (const std::vector<WordEvent>& track : words.byTrack) {
        for (const WordEvent& word : track) {
            if (IsHeader(word.bytes)) ReadHeader(lyrics, word.bytes);
        }
    }
    const std::optional<std::size_t> track = WordiestTrack(words);
    if (!track) return lyrics;
    LineMaker lines(lyrics, words.tempo);
    for (const WordEvent& word : words.byTrack[*track]) {
        if (IsHeader(word.bytes)) continue;
        if (karaoke) {
            ReadKaraokeText(lines, word);
        } else {
            ReadLyricText(lines, word);
        }
    }
    return lyrics;
}

}  // namespace

Lyrics ReadLyrics(std::span<const std::uint8_t> file, LyricEvents from) {
    const std::optional<SmfChunks> chunks = ScanChunks(file);
    if (!chunks) return {};
    const bool texts = from == LyricEvents::Texts;
    Lyrics lyrics = LyricsOf(ReadWordEvents(file, *chunks, texts ? kMetaText : kMetaLyric), texts);
    if (!lyrics.lines.empty()) return lyrics;
    Lyrics other = LyricsOf(ReadWordEvents(file, *chunks, texts ? kMetaLyric : kMetaText), !texts);
    // The header of a karaoke file stays, whichever events hold its words.
    if (other.title.empty()) other.title = lyrics.title;
    if (other.info.empty()) other.info = lyrics.info;
    if (other.language.empty()) other.language = lyrics.language;
    return other;
}

bool IsKaraokeName(const std::string& fileName) {
    if (fileName.size() < 4) return false;
    std::string tail = fileName.substr(fileName.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".kar";
}

}  // namespace sonivex
