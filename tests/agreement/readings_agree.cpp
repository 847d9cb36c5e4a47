// readings-agree: checks, for each MIDI file given, that what the song measures, draws and plays is one
// reading of it: the timeline's notes, the piano roll's notes and the notes that the player's sequence starts
// and ends agree on every note (track, channel, key, velocity, start and end, in ticks and in seconds), and the
// timeline, the roll and the player agree on the song's length.
// Prints one line per file ("ok ..." or "DIFF ...: what differs"); exit status 1 when any file differs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "playback/player/midi_sequence.h"
#include "reader/timeline.h"
#include "roll/piano_roll_model.h"

namespace {

using sonivex::MidiSequence;
using sonivex::SequenceEvent;
using sonivex::Timeline;
using sonivex::TimedNote;

constexpr int kSongPerTrackFormat = 2;

std::uint32_t Clamp32(std::int64_t tick) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(tick, 0, std::numeric_limits<std::uint32_t>::max()));
}

// A note as both sides can tell it; ticks only where they are the track's own (not in format 2's clock).
struct Note {
    std::int32_t track;
    int channel;
    int key;
    int velocity;
    std::uint32_t startTick;
    std::uint32_t endTick;
    double startSeconds;
    double endSeconds;

    auto Key() const {
        return std::tie(track, startSeconds, startTick, channel, key, velocity, endSeconds, endTick);
    }
    bool operator<(const Note& other) const { return Key() < other.Key(); }
    bool operator==(const Note& other) const { return Key() == other.Key(); }
};

std::vector<Note> NotesOfTimeline(const Timeline& t, const std::vector<TimedNote>& notes, bool ownTicks) {
    std::vector<Note> out;
    out.reserve(notes.size());
    for (const TimedNote& n : notes) {
        out.push_back({n.track, n.channel, n.key, n.velocity, ownTicks ? n.startTick : 0, ownTicks ? n.endTick : 0,
                       t.SecondsAt(n.startTick, n.track), t.SecondsAt(n.endTick, n.track)});
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The notes the sequence plays: a note-on of velocity above 0 starts one, a note-off (or note-on of velocity 0)
// ends the oldest sounding one of its track, channel and key, and a note never ended ends with its track.
std::vector<Note> NotesOfSequence(const MidiSequence& song, const Timeline& t, bool ownTicks) {
    std::map<std::tuple<std::int32_t, int, int>, std::deque<Note>> sounding;
    std::vector<Note> out;
    for (const SequenceEvent& e : song.Events()) {
        const int kind = e.status & 0xF0;
        if (kind != 0x80 && kind != 0x90) continue;
        const auto slot = std::make_tuple(e.track, e.status & 0x0F, int{e.data1});
        const std::uint32_t tick = ownTicks ? Clamp32(e.tick) : 0;
        if (kind == 0x90 && e.data2 > 0) {
            sounding[slot].push_back({e.track, e.status & 0x0F, e.data1, e.data2, tick, 0, e.seconds, 0});
            continue;
        }
        std::deque<Note>& open = sounding[slot];
        if (open.empty()) continue;
        Note note = open.front();
        open.pop_front();
        note.endTick = tick;
        note.endSeconds = e.seconds;
        out.push_back(note);
    }
    for (auto& [slot, open] : sounding) {
        for (Note note : open) {
            const std::uint32_t last = t.tracks.at(static_cast<std::size_t>(note.track)).lastTick;
            note.endTick = ownTicks ? last : 0;
            note.endSeconds = t.SecondsAt(last, note.track);
            out.push_back(note);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string Describe(const Note& n) {
    char text[160];
    std::snprintf(text, sizeof text, "track %d channel %d key %d velocity %d ticks %u-%u at %.9f-%.9f s", n.track,
                  n.channel, n.key, n.velocity, n.startTick, n.endTick, n.startSeconds, n.endSeconds);
    return text;
}

// The first difference between two sorted note lists, if any.
std::optional<std::string> NotesDiffer(const char* what, const std::vector<Note>& a, const std::vector<Note>& b) {
    const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (ia == a.end() && ib == b.end()) return std::nullopt;
    std::string text = std::string(what) + ": " + std::to_string(a.size()) + " notes against " +
                       std::to_string(b.size());
    if (ia != a.end()) text += "; first of the timeline's not matched: " + Describe(*ia);
    if (ib != b.end()) text += "; first of the other's not matched: " + Describe(*ib);
    return text;
}

// The lengths of the timeline, the roll and the player, and what the window shows as the song's length.
std::optional<std::string> LengthsDiffer(const Timeline& t, const sonivex::PianoRollModel& roll,
                                         const std::optional<MidiSequence>& song) {
    std::uint32_t lastTick = 0;
    for (const sonivex::TrackSummary& track : t.tracks) lastTick = std::max(lastTick, track.lastTick);
    if (roll.LastTick() != std::max<std::uint32_t>(1, lastTick)) return "the roll's last tick differs";
    if (!song) {
        // Only a song with no division to count by has no player's sequence: it has no time either.
        if (t.durationSeconds != 0) return "the player refused a song that lasts " + std::to_string(t.durationSeconds);
        return std::nullopt;
    }
    if (song->LengthSeconds() != t.durationSeconds) {
        return "lengths differ: player " + std::to_string(song->LengthSeconds()) + " s, timeline " +
               std::to_string(t.durationSeconds) + " s";
    }
    const double shown = t.SecondsAt(Clamp32(song->LengthTicks()));
    if (t.format != kSongPerTrackFormat) {
        if (Clamp32(song->LengthTicks()) != lastTick) return "the player's length in ticks differs";
        if (shown != t.durationSeconds && lastTick < std::numeric_limits<std::uint32_t>::max()) {
            return "the window's length differs";
        }
    } else if (shown + 1e-9 < t.durationSeconds ||
               (song->LengthTicks() > 0 && t.SecondsAt(Clamp32(song->LengthTicks() - 1)) >= t.durationSeconds)) {
        return "the window's length is not the first tick of the song's end";
    }
    return std::nullopt;
}

struct Reading {
    std::size_t notes = 0;
    double seconds = 0;
};

std::optional<std::string> ReadingsDiffer(const std::vector<std::uint8_t>& bytes, Reading& reading) {
    const Timeline t = sonivex::ReadTimeline(bytes);
    sonivex::PianoRollModel roll;
    roll.SetSong(t, nullptr, sonivex::RollNames{});
    const std::optional<MidiSequence> song = MidiSequence::Parse(bytes);
    const bool ownTicks = t.format != kSongPerTrackFormat;
    const std::vector<Note> timelineNotes = NotesOfTimeline(t, t.notes, ownTicks);
    reading = {timelineNotes.size(), t.durationSeconds};
    if (auto d = NotesDiffer("the roll", timelineNotes, NotesOfTimeline(t, roll.Song().notes, ownTicks))) return d;
    if (song) {
        if (auto d = NotesDiffer("the player", timelineNotes, NotesOfSequence(*song, t, ownTicks))) return d;
    } else if (!t.notes.empty() && t.durationSeconds != 0) {
        return "the player refused a song with notes";
    }
    return LengthsDiffer(t, roll, song);
}

}  // namespace

int main(int argc, char** argv) {
    int differing = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 2;
        }
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Reading reading;
        const std::optional<std::string> difference = ReadingsDiffer(bytes, reading);
        if (difference) {
            ++differing;
            std::printf("DIFF %s: %s\n", argv[i], difference->c_str());
        } else {
            std::printf("ok %s %zu notes %.9f s\n", argv[i], reading.notes, reading.seconds);
        }
    }
    return differing == 0 ? 0 : 1;
}
