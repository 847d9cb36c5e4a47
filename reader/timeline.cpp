#include "timeline.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

#include "midi/chunks.h"
#include "midi/drums.h"
#include "midi/song_tempo.h"
#include "midi/track_events.h"

namespace sonivex {

namespace {

// Ticks are counted in 64 bits while decoding, so that no run of large delta times can wrap; the public fields
// hold them clamped to 32 bits.
using Tick = std::uint64_t;

std::uint32_t Clamp32(Tick tick) {
    return tick > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                            : static_cast<std::uint32_t>(tick);
}

struct Tempo64 {
    Tick tick;
    std::uint32_t microsPerQuarter;
    std::int32_t track;
};

struct TrackDecode {
    TrackSummary summary;
    Tick lastTick = 0;
};

// Notes still sounding, per channel and key, oldest first: a note-off ends the oldest one. Each key's notes are
// a queue linked through the notes' places in the song's list (no allocation per key). `Index` holds a place in
// that list: 32 bits for any file of less than 12 GB, which cannot hold more notes. Made once per file and
// emptied after each track, touching only the keys that track used.
template <typename Index>
class SoundingNotes {
public:
    // `note` is the song's next note: the places come in order, one after the other.
    void Start(int slot, Index note) {
        next_.emplace_back();
        Queue& q = queues_[slot];
        if (!q.listed) {
            q.listed = true;
            used_.push_back(slot);
        }
        if (q.sounding == 0) {
            q.first = note;
        } else {
            next_[q.last] = note;
        }
        q.last = note;
        ++q.sounding;
    }

    // The oldest note sounding on `slot`, taken off its queue; none when no note sounds there.
    std::optional<Index> End(int slot) {
        Queue& q = queues_[slot];
        if (q.sounding == 0) return std::nullopt;
        const Index oldest = q.first;
        if (--q.sounding > 0) q.first = next_[oldest];
        return oldest;
    }

    // Every note still sounding, then the queues emptied.
    template <typename Each>
    void EndAll(Each each) {
        for (const int slot : used_) {
            Queue& q = queues_[slot];
            Index note = q.first;
            for (Index left = q.sounding; left > 0; --left) {
                each(note);
                if (left > 1) note = next_[note];
            }
            q = {};
        }
        used_.clear();
    }

    static int Slot(int channel, int key) { return channel * 128 + key; }

    void Reserve(std::size_t notes) { next_.reserve(notes); }

private:
    struct Queue {
        Index first = 0;     // the oldest sounding note, when one sounds
        Index last = 0;      // the newest
        Index sounding = 0;  // how many sound
        bool listed = false;  // in used_
    };
    std::array<Queue, 16 * 128> queues_{};
    std::vector<Index> next_;  // by note: the next note of its queue, while it sounds and is not the newest
    std::vector<int> used_;    // slots that got a note in this track
};

// The marks of every track that go into the whole file's lists: tempo changes and signatures, and the song's
// tempo maps.
struct SharedMarks {
    std::vector<Tempo64>& tempos;
    std::vector<TimeSignatureMark>& timeSignatures;
    std::vector<KeySignatureMark>& keySignatures;
    SongTempoBuilder& tempo;
    // The song's notes: each track adds its own in the order of their note-ons, which is the order of their
    // starts, since a track's time only moves on; so they come by track, start and order.
    std::vector<TimedNote>& notes;
    std::vector<ProgramMark>& programs;
};

// Turns one track's decoded events into its summary, its notes and its marks.
template <typename Index>
class TrackDecoder {
public:
    TrackDecoder(std::int32_t track, SoundingNotes<Index>& open, SharedMarks marks, TimelineNotes notes)
        : track_(track), open_(open), marks_(marks), listsNotes_(notes == TimelineNotes::List) {}

    // Every event the track plays.
    TrackDecode Decode(TrackEvents events) {
        TrackEvent event;
        while (events.Read(event)) Take(event);
        return Finish(events.LastTick());
    }

private:
    void Take(const TrackEvent& event) {
        ++out_.summary.eventCount;
        const std::uint32_t eventOrder = order_++;
        if (event.kind == EventKind::kMeta) {
            marks_.tempo.Add(static_cast<std::size_t>(track_), event);  // only a meta event sets a tempo
            MetaEvent(event);
        } else if (event.kind == EventKind::kChannel) {
            ChannelEvent(event, eventOrder);
        }
    }

    // The track's name, tempo and signature marks.
    void MetaEvent(const TrackEvent& event) {
        const std::span<const std::uint8_t> bytes = event.body;
        // Missing data bytes of a short event read as 0, as a player takes them.
        auto byteAt = [&](std::size_t i) -> std::uint8_t { return i < bytes.size() ? bytes[i] : 0; };
        if (event.metaType == 0x03 && !nameSeen_) {
            out_.summary.name.assign(bytes.begin(), bytes.end());
            nameSeen_ = true;
        } else if (const std::optional<std::uint32_t> micros = TempoOf(event)) {
            marks_.tempos.push_back({event.tick, *micros, track_});
        } else if (event.metaType == 0x58) {
            const int power = byteAt(1);
            const int denominator = power < 31 ? (1 << power) : 0;
            marks_.timeSignatures.push_back({Clamp32(event.tick), byteAt(0), denominator, track_});
        } else if (event.metaType == 0x59) {
            marks_.keySignatures.push_back(
                {Clamp32(event.tick), static_cast<std::int8_t>(byteAt(0)), byteAt(1) != 0, track_});
        }
    }

    // A channel message: its channel is used; programs are listed and notes start or end.
    void ChannelEvent(const TrackEvent& event, std::uint32_t eventOrder) {
        const int channel = event.Channel();
        channelUsed_[channel] = true;
        if (IsDrumNoteStatus(event.status)) out_.summary.drums = true;
        const std::uint8_t key = event.data[0] & 0x7F;
        if (event.Message() == 0xC0) {
            out_.summary.programs.push_back(key);
            if (listsNotes_) {
                marks_.programs.push_back({Clamp32(event.tick), static_cast<std::uint8_t>(channel), key, track_});
            }
        } else if (event.StartsNote()) {
            ++out_.summary.noteCount;
            TrackSummary& summary = out_.summary;
            summary.lowestKey = std::min(summary.lowestKey.value_or(key), key);
            summary.highestKey = std::max(summary.highestKey.value_or(key), key);
            if (!listsNotes_) return;
            open_.Start(SoundingNotes<Index>::Slot(channel, key), static_cast<Index>(marks_.notes.size()));
            marks_.notes.push_back({track_, static_cast<std::uint8_t>(channel), key,
                                  static_cast<std::uint8_t>(event.data[1] & 0x7F), Clamp32(event.tick), 0, eventOrder});
        } else if (event.EndsNote() && listsNotes_) {
            if (const std::optional<Index> note = open_.End(SoundingNotes<Index>::Slot(channel, key))) {
                marks_.notes[*note].endTick = Clamp32(event.tick);
            }
        }
    }

    // The track's end: its channels, and the notes still sounding end with its last event.
    TrackDecode Finish(Tick lastTick) {
        out_.lastTick = lastTick;
        out_.summary.lastTick = Clamp32(lastTick);
        for (int channel = 0; channel < 16; ++channel) {
            if (channelUsed_[channel]) out_.summary.channels.push_back(channel);
        }
        open_.EndAll([&](Index note) { marks_.notes[note].endTick = Clamp32(lastTick); });
        return std::move(out_);
    }

    const std::int32_t track_;
    SoundingNotes<Index>& open_;
    SharedMarks marks_;
    TrackDecode out_;
    const bool listsNotes_;
    bool nameSeen_ = false;
    bool channelUsed_[16] = {};
    std::uint32_t order_ = 0;
};

// Every track of the song decoded, its summary and last tick listed, its notes and marks added to the song's.
template <typename Index>
void DecodeTracks(std::span<const std::uint8_t> bytes, const SmfChunks& chunks, TimelineNotes notes,
                  SharedMarks marks, std::vector<TrackSummary>& tracks, std::vector<Tick>& lastTicks) {
    auto open = std::make_unique<SoundingNotes<Index>>();
    if (notes == TimelineNotes::List) {
        // A note takes at least six bytes (two events of a delta and two data bytes): room for as many notes as
        // the bytes can hold, up to a bound, saves the copies of a growing list. More notes still fit.
        constexpr std::size_t kMostReserved = std::size_t{1} << 22;
        const std::size_t room = std::min(bytes.size() / 6, kMostReserved);
        marks.notes.reserve(room);
        open->Reserve(room);
    }
    for (const TrackChunk& chunk : chunks.SongTracks()) {
        TrackDecoder<Index> decoder(static_cast<std::int32_t>(tracks.size()), *open, marks, notes);
        TrackDecode decoded = decoder.Decode(TrackEvents(bytes, chunk));
        tracks.push_back(std::move(decoded.summary));
        lastTicks.push_back(decoded.lastTick);
    }
}

// The marks sorted as the timeline gives them: by tick, stable by track. The notes are sorted track by track.
void SortLists(Timeline& timeline, std::vector<Tempo64>& tempos) {
    auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
    std::stable_sort(tempos.begin(), tempos.end(), byTick);
    std::stable_sort(timeline.timeSignatures.begin(), timeline.timeSignatures.end(), byTick);
    std::stable_sort(timeline.keySignatures.begin(), timeline.keySignatures.end(), byTick);
    std::stable_sort(timeline.programChanges.begin(), timeline.programChanges.end(), byTick);
    timeline.tempos.reserve(tempos.size());
    for (const Tempo64& t : tempos) timeline.tempos.push_back({Clamp32(t.tick), t.microsPerQuarter, t.track});
}

}  // namespace

const TempoMap& Timeline::MapOf(std::int32_t track) const {
    return tempo.Of(track < 0 ? 0 : static_cast<std::size_t>(track));
}

double Timeline::SecondsAt(std::uint32_t tick, std::int32_t track) const { return MapOf(track).SecondsAt(tick); }

Timeline ReadTimeline(std::span<const std::uint8_t> bytes, TimelineNotes notes) {
    Timeline timeline;
    const std::optional<SmfChunks> chunks = ScanChunks(bytes);
    if (!chunks) return timeline;
    timeline.format = chunks->header.format;
    timeline.division = chunks->header.TicksPerQuarter().value_or(0);

    std::vector<Tempo64> tempos;
    std::vector<Tick> lastTicks;
    SongTempoBuilder tempo(chunks->header);
    SharedMarks marks{tempos, timeline.timeSignatures, timeline.keySignatures, tempo, timeline.notes,
                      timeline.programChanges};
    // A note-on takes three bytes at least (a delta and two data bytes under running status).
    if (bytes.size() / 3 < std::numeric_limits<std::uint32_t>::max()) {
        DecodeTracks<std::uint32_t>(bytes, *chunks, notes, marks, timeline.tracks, lastTicks);
    } else {
        DecodeTracks<std::size_t>(bytes, *chunks, notes, marks, timeline.tracks, lastTicks);
    }
    SortLists(timeline, tempos);
    timeline.tempo = tempo.Build(timeline.tracks.size());

    for (std::size_t i = 0; i < timeline.tracks.size(); ++i) {
        const double seconds = timeline.tempo.Of(i).SecondsAt(lastTicks[i]);
        timeline.tracks[i].seconds = seconds;
        timeline.durationSeconds = std::max(timeline.durationSeconds, seconds);
    }
    return timeline;
}

}  // namespace sonivex
