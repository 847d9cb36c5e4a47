#include "playback/player/midi_sequence.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <utility>

#include "midi/chunks.h"
#include "midi/song_tempo.h"
#include "midi/track_events.h"

namespace sonivex {

namespace {

constexpr int kSongPerTrackFormat = 2;
constexpr std::uint8_t kSysexEnd = 0xF7;

// The message the synthesizer takes for `event`, if any: channel messages, and whole system exclusive messages
// without their framing. A continuation packet (F7) carries the rest of a message split across events, or raw
// bytes; neither is a whole message that the synthesizer could take on its own. Meta events and system common
// and real-time bytes have no place in a song's sound.
std::optional<SequenceEvent> MessageOf(const TrackEvent& event, std::int32_t track) {
    SequenceEvent e;
    e.tick = static_cast<std::int64_t>(event.tick);
    e.track = track;
    if (event.kind == EventKind::kChannel) {
        e.status = event.status;
        e.data1 = event.data[0] & 0x7F;
        e.data2 = event.dataCount > 1 ? event.data[1] & 0x7F : 0;
        return e;
    }
    if (event.kind != EventKind::kSysex) return std::nullopt;
    e.status = event.status;
    e.sysex.assign(event.body.begin(), event.body.end());
    if (!e.sysex.empty() && e.sysex.back() == kSysexEnd) e.sysex.pop_back();
    return e;
}

// Gives each event its time by its track's map. A track's events come together and in order, so the events of
// one tick (a chord) share one look-up.
void TimeEvents(const SongTempo& tempo, std::vector<SequenceEvent>& events) {
    const SequenceEvent* last = nullptr;
    for (SequenceEvent& e : events) {
        if (last != nullptr && last->track == e.track && last->tick == e.tick) {
            e.seconds = last->seconds;
        } else {
            e.seconds = tempo.Of(static_cast<std::size_t>(e.track)).SecondsAt(static_cast<std::uint64_t>(e.tick));
        }
        last = &e;
    }
}

// Puts the events in order of `key`, stable: the tracks were appended one after another, so events of one key
// keep their order track by track. The keys are sorted with the events' places, and each event moves once.
template <typename Key>
void SortEventsBy(std::vector<SequenceEvent>& events, Key key) {
    const auto less = [&](const SequenceEvent& a, const SequenceEvent& b) { return key(a) < key(b); };
    if (std::is_sorted(events.begin(), events.end(), less)) return;
    std::vector<std::pair<decltype(key(events.front())), std::size_t>> order;
    order.reserve(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) order.emplace_back(key(events[i]), i);
    std::sort(order.begin(), order.end());
    std::vector<SequenceEvent> sorted;
    sorted.reserve(events.size());
    for (const auto& entry : order) sorted.push_back(std::move(events[entry.second]));
    events = std::move(sorted);
}

// A division the player cannot count time by: none, or a time code of no frames or no ticks.
bool HasNoClock(const SmfHeader& header) {
    if (header.division == 0) return true;
    return (header.division & 0x8000) != 0 && !header.TimeCodeDivision();
}

// Each channel's state that one message sets whole, so that a later message of the same kind replaces it:
// one slot for each controller, then the program, the channel pressure and the pitch bend.
constexpr int kProgramSlot = 128;
constexpr int kPressureSlot = 129;
constexpr int kBendSlot = 130;
constexpr int kSlotsPerChannel = 131;
constexpr int kChannels = 16;

// The slot of the state that `e` sets; none when what it does depends on the messages around it: bank
// select (read by the next program change), the registered and non-registered parameter numbers and their
// data entry, the channel mode messages, and system exclusive.
std::optional<int> StateSlot(const SequenceEvent& e) {
    const int channel = e.status & 0x0F;
    int slot = 0;
    switch (e.status & 0xF0) {
    case 0xB0: {
        const int controller = e.data1;
        const bool sequenced = controller == 0 || controller == 32 || controller == 6 || controller == 38 ||
                               (controller >= 96 && controller <= 101) || controller >= 120;
        if (sequenced) return std::nullopt;
        slot = controller;
        break;
    }
    case 0xC0: slot = kProgramSlot; break;
    case 0xD0: slot = kPressureSlot; break;
    case 0xE0: slot = kBendSlot; break;
    default: return std::nullopt;
    }
    return channel * kSlotsPerChannel + slot;
}

}  // namespace

std::optional<MidiSequence> MidiSequence::Parse(const std::vector<std::uint8_t>& bytes) {
    const std::optional<SmfChunks> chunks = ScanChunks(bytes);
    if (!chunks || HasNoClock(chunks->header)) return std::nullopt;

    MidiSequence sequence;
    SongTempoBuilder tempoBuilder(chunks->header);
    const std::span<const TrackChunk> tracks = chunks->SongTracks();
    std::vector<std::uint64_t> ends;
    ends.reserve(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        TrackEvents events(bytes, tracks[i]);
        while (const std::optional<TrackEvent> event = events.Next()) {
            tempoBuilder.Add(i, *event);
            if (std::optional<SequenceEvent> message = MessageOf(*event, static_cast<std::int32_t>(i))) {
                sequence.events_.push_back(std::move(*message));
            }
        }
        ends.push_back(events.LastTick());
    }
    const SongTempo tempo = tempoBuilder.Build(tracks.size());
    sequence.clock_ = tempo.Of(0);
    TimeEvents(tempo, sequence.events_);
    for (std::size_t i = 0; i < ends.size(); ++i) {
        sequence.length_ = std::max(sequence.length_, static_cast<std::int64_t>(ends[i]));
        sequence.lengthSeconds_ = std::max(sequence.lengthSeconds_, tempo.Of(i).SecondsAt(ends[i]));
    }
    if (chunks->header.format == kSongPerTrackFormat && !chunks->header.TimeCodeDivision()) {
        // Every track keeps its own time; the clock that positions the song counts the first track's ticks.
        SortEventsBy(sequence.events_, [](const SequenceEvent& e) { return e.seconds; });
        for (SequenceEvent& e : sequence.events_) e.tick = static_cast<std::int64_t>(sequence.clock_.TickAt(e.seconds));
        sequence.length_ = static_cast<std::int64_t>(sequence.clock_.TickAt(sequence.lengthSeconds_));
    } else {
        SortEventsBy(sequence.events_, [](const SequenceEvent& e) { return e.tick; });
    }
    return sequence;
}

std::optional<MidiSequence> MidiSequence::Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    return Parse(bytes);
}

double MidiSequence::SecondsAt(std::int64_t tick) const {
    return clock_.SecondsAt(static_cast<std::uint64_t>(std::max<std::int64_t>(0, tick)));
}

std::int64_t MidiSequence::TickAt(double seconds) const {
    if (!(seconds > 0)) return 0;
    // The map gives the first tick at or after the time; the tick reached is the one before, unless the time
    // is that tick's own.
    std::uint64_t tick = clock_.TickAt(seconds);
    if (tick > 0 && clock_.SecondsAt(tick) > seconds) --tick;
    return static_cast<std::int64_t>(tick);
}

MidiSequence MidiSequence::WithNotesOf(const KeySet& keep) const {
    MidiSequence part = *this;
    std::erase_if(part.events_, [&](const SequenceEvent& e) {
        return e.status >= 0x80 && e.status < 0xB0 && !keep[(e.status & 0x0Fu) * 128u + (e.data1 & 0x7Fu)];
    });
    return part;
}

bool IsNoteMessage(const SequenceEvent& e) {
    const int kind = e.status & 0xF0;
    return kind == 0x80 || kind == 0x90 || kind == 0xA0;
}

bool StartsNote(const SequenceEvent& e) { return (e.status & 0xF0) == 0x90 && e.data2 > 0; }

std::vector<std::size_t> SetUpMessages(const std::vector<SequenceEvent>& events, std::size_t end) {
    std::vector<bool> replaced(kChannels * kSlotsPerChannel, false);
    std::vector<std::size_t> kept;
    for (std::size_t i = end; i-- > 0;) {
        const SequenceEvent& e = events[i];
        if (IsNoteMessage(e)) continue;
        if (const std::optional<int> slot = StateSlot(e)) {
            if (replaced[static_cast<std::size_t>(*slot)]) continue;
            replaced[static_cast<std::size_t>(*slot)] = true;
        }
        kept.push_back(i);
    }
    std::reverse(kept.begin(), kept.end());
    return kept;
}

}  // namespace sonivex
