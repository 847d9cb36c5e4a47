// Transpose, Tempo and a track's instrument: each is planned from the song's bytes, event by event through the
// one track decoder of midi/, and written as a patch, so that every byte the edit does not mean stays as it was
// (running status, delta times written longer than they need, events the report lists in its own way).
#include "music_edits.h"

#include <algorithm>
#include <array>
#include <type_traits>
#include <variant>

#include "midi/drums.h"
#include "midi/tempo_map.h"
#include "midi/track_events.h"
#include "reader/load.h"
#include "reader/text.h"
#include "report/report.h"
#include "writer.h"

namespace sonivex {

namespace {

constexpr std::uint32_t kLargestTempo = 0xFFFFFF;  // three bytes of microseconds per quarter note
constexpr int kFormatOfIndependentTracks = 2;

constexpr const char* kLeftAsItWas = "\r\nThe song was left as it was.";

EditPlan Refused(std::string text) { return {{}, std::move(text)}; }

std::string Counted(std::size_t n, const std::string& one, const std::string& many) {
    return Dec(static_cast<std::int64_t>(n)) + " " + (n == 1 ? one : many);
}

std::string Signed(int n) { return (n > 0 ? "+" : "") + Dec(n); }

std::string CannotBeReadToItsEnd(std::size_t track) {
    return "Track " + Dec(static_cast<std::int64_t>(track) + 1) + " cannot be read to its end." + kLeftAsItWas;
}

// Whether an event carries a key in its first data byte: Note Off, Note On and key pressure.
bool CarriesKey(const TrackEvent& e) {
    if (e.kind != EventKind::kChannel) return false;
    const int message = e.Message();
    return message == 0x80 || message == 0x90 || message == 0xA0;
}

// Where events inserted "at the start" of a track go: before its first channel event, or before the first
// event after tick 0, whichever comes first, so that they follow the name and the other meta events at
// tick 0 and stand at tick 0 themselves. Bytes inserted there begin with a delta of 0, and the event they come
// before keeps its own delta, so no event moves in time.
class TrackStartFinder {
public:
    explicit TrackStartFinder(std::size_t dataEnd) : start_(dataEnd) {}

    void See(const TrackEvent& e) {
        if (found_) return;
        if (e.kind == EventKind::kChannel || e.tick > 0 || e.IsMeta(kMetaEndOfTrack)) {
            start_ = e.offset;
            found_ = true;
        }
    }
    std::size_t Start() const { return start_; }

private:
    std::size_t start_;
    bool found_ = false;
};

std::size_t DataEnd(const TrackChunk& chunk) { return chunk.dataOffset + chunk.dataLength; }

std::string TempoEvent(std::uint32_t micros) {
    return std::string{'\x00', '\xFF', '\x51', '\x03', static_cast<char>((micros >> 16) & 0xFF),
                       static_cast<char>((micros >> 8) & 0xFF), static_cast<char>(micros & 0xFF)};
}

// Microseconds per quarter note at `percent` of the speed, to the nearest microsecond (halves up).
std::uint64_t ScaledTempo(std::uint64_t micros, int percent) {
    const auto p = static_cast<std::uint64_t>(percent);
    return (micros * 100 + p / 2) / p;
}

void PutTempo(SongPatch& patch, std::size_t bodyOffset, std::uint64_t micros) {
    for (std::size_t i = 0; i < 3; ++i) {
        const auto byte = static_cast<std::uint8_t>((micros >> (8 * (2 - i))) & 0xFF);
        patch.replacements.push_back({bodyOffset + i, byte});
    }
}

// The working copy as the edits plan on it; its tracks as the track table puts them.
SongBytes SongBytesOf(const SongModel& m, std::span<const std::uint8_t> file) {
    SongBytes song;
    song.file = file;
    if (file.size() >= 14) {
        song.header.format = (file[8] << 8) | file[9];
        song.header.declaredTracks = (file[10] << 8) | file[11];
        song.header.division = static_cast<std::uint16_t>((file[12] << 8) | file[13]);
    }
    std::vector<std::int64_t> starts;
    for (int k = 1; k <= m.TracksFound + 1; ++k) starts.push_back(m.TrackStart[k]);
    song.tracks = TrackChunksOf(file, starts);
    return song;
}

// Prepare of the three edits: the plan from the working copy; a refusal is shown, a plan that changes nothing
// ends the command silently.
template <typename Planner>
bool PreparePatch(EditSession& s, SongPatch& patch, Planner plan) {
    std::optional<EditPlan> planned;
    const bool ran = RunGuarded(s, [&] {
        const WorkingCopyHeld held(s);
        const std::span<const std::uint8_t> file = held.View();
        if (file.empty()) {
            planned = Refused(s.WorkFile(s.song.TempFileName).string() + " could not be read");
            return;
        }
        planned = plan(SongBytesOf(s.song, file));
    });
    if (!ran || !planned) return false;
    if (planned->refusal) {
        s.Message(*planned->refusal, Icon::Warning);
        return false;
    }
    patch = std::move(planned->patch);
    return !patch.Empty();
}

void ApplyPatch(EditSession& s, const SongPatch& patch) {
    RunGuarded(s, [&] { WritePatchedSong(s, patch); });
    BuildReport(s);
}

}  // namespace

std::vector<TrackChunk> TrackChunksOf(std::span<const std::uint8_t> file, const std::vector<std::int64_t>& starts) {
    std::vector<TrackChunk> tracks;
    for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
        // 1-based positions in the table; a chunk ends where the next begins, and with the file.
        const auto offset = static_cast<std::size_t>(std::max<std::int64_t>(starts[k] - 1, 0));
        const auto next = static_cast<std::size_t>(std::max<std::int64_t>(starts[k + 1] - 1, 0));
        const std::size_t end = std::min(next, file.size());
        TrackChunk chunk{offset, std::min(offset + 8, end), 0, 0};
        if (offset + 8 <= file.size()) {
            chunk.declaredLength = static_cast<std::uint32_t>(ChunkDataLength(&file[offset]));
            chunk.dataLength = std::min<std::size_t>(chunk.declaredLength, end - chunk.dataOffset);
        }
        tracks.push_back(chunk);
    }
    return tracks;
}

EditPlan PlanTranspose(const SongBytes& song, const TransposeRequest& request) {
    const int by = request.semitones;
    if (by < -kMaxTransposeSemitones || by > kMaxTransposeSemitones) {
        return Refused("Transpose moves notes by -24 to +24 semitones");
    }
    if (request.onlyTrack && (*request.onlyTrack < 1 || *request.onlyTrack > static_cast<int>(song.tracks.size()))) {
        return Refused("There is no track " + Dec(*request.onlyTrack));
    }
    EditPlan plan;
    std::size_t moved = 0;
    std::size_t notesOutside = 0;   // sounding notes whose key would leave 0 to 127
    std::size_t eventsOutside = 0;  // every key event that would, note ends and key pressure included
    for (std::size_t t = 0; t < song.tracks.size(); ++t) {
        if (request.onlyTrack && static_cast<int>(t) + 1 != *request.onlyTrack) continue;
        TrackEvents events(song.file, song.tracks[t]);
        while (const std::optional<TrackEvent> e = events.Next()) {
            if (!CarriesKey(*e) || IsDrumChannel(e->Channel())) continue;
            const int key = e->data[0] + by;
            if (key < 0 || key > 127) {
                ++eventsOutside;
                if (e->StartsNote()) ++notesOutside;
                continue;
            }
            plan.patch.replacements.push_back({e->dataOffset, static_cast<std::uint8_t>(key)});
            ++moved;
        }
        if (events.End() == TrackEnd::kCutOff) return Refused(CannotBeReadToItsEnd(t));
    }
    if (eventsOutside > 0) {
        // Counted as notes; only when no note starts out there do its lone note ends count instead.
        const std::size_t count = notesOutside > 0 ? notesOutside : eventsOutside;
        return Refused("Transposing by " + Signed(by) + " would move " + Counted(count, "note", "notes") +
                       " outside the keys 0 to 127." + kLeftAsItWas);
    }
    if (moved == 0) {
        return Refused(request.onlyTrack ? "Track " + Dec(*request.onlyTrack) + " has no melody notes to transpose"
                                         : std::string("The song has no melody notes to transpose"));
    }
    if (by == 0) return {};
    return plan;
}

EditPlan PlanTempo(const SongBytes& song, const TempoRequest& request) {
    const int percent = request.percent;
    if (percent < kMinTempoPercent || percent > kMaxTempoPercent) {
        return Refused("Tempo takes " + Dec(kMinTempoPercent) + " to " + Dec(kMaxTempoPercent) + " %");
    }
    if ((song.header.division & 0x8000) != 0) {
        return Refused("The song counts its time in frames, which no tempo changes." + std::string(kLeftAsItWas));
    }
    if (song.tracks.empty()) return Refused("The song has no track");
    if (percent == 100) return {};
    EditPlan plan;
    std::size_t outside = 0;
    std::vector<bool> hasTempo(song.tracks.size(), false);
    std::vector<std::size_t> starts;
    for (std::size_t t = 0; t < song.tracks.size(); ++t) {
        TrackEvents events(song.file, song.tracks[t]);
        TrackStartFinder start(DataEnd(song.tracks[t]));
        while (const std::optional<TrackEvent> e = events.Next()) {
            start.See(*e);
            if (!e->IsMeta(kMetaSetTempo)) continue;
            if (e->body.size() < 3) {
                return Refused("A Set Tempo event of track " + Dec(static_cast<std::int64_t>(t) + 1) +
                               " holds fewer than three bytes." + kLeftAsItWas);
            }
            const std::uint32_t micros = static_cast<std::uint32_t>(e->body[0]) << 16 |
                                         static_cast<std::uint32_t>(e->body[1]) << 8 | e->body[2];
            if (micros == 0) continue;  // sets no tempo: every player passes it over
            hasTempo[t] = true;
            const std::uint64_t scaled = ScaledTempo(micros, percent);
            if (scaled < 1 || scaled > kLargestTempo) {
                ++outside;
                continue;
            }
            PutTempo(plan.patch, e->bodyOffset, scaled);
        }
        if (events.End() == TrackEnd::kCutOff) return Refused(CannotBeReadToItsEnd(t));
        starts.push_back(start.Start());
    }
    if (outside > 0) {
        return Refused("At " + Dec(percent) + " %, " + Counted(outside, "Set Tempo event", "Set Tempo events") +
                       " would need more than the 16,777,215 microseconds per quarter note that one can hold." +
                       kLeftAsItWas);
    }
    // The tempo that holds before any Set Tempo event, scaled, where the song (or an independent track) has none.
    const std::string added = TempoEvent(static_cast<std::uint32_t>(ScaledTempo(kDefaultMicrosPerQuarter, percent)));
    const bool independent = song.header.format == kFormatOfIndependentTracks;
    const bool songHasTempo = std::find(hasTempo.begin(), hasTempo.end(), true) != hasTempo.end();
    for (std::size_t t = 0; t < song.tracks.size(); ++t) {
        const bool needs = independent ? !hasTempo[t] : (!songHasTempo && t == 0);
        if (needs) plan.patch.insertions.push_back({song.tracks[t].offset, starts[t], added});
    }
    return plan;
}

EditPlan PlanInstrument(const SongBytes& song, const InstrumentRequest& request) {
    if (request.track < 1 || request.track > static_cast<int>(song.tracks.size())) {
        return Refused("There is no track " + Dec(request.track));
    }
    if (request.program < 0 || request.program > 127) return Refused("There is no program " + Dec(request.program + 1));
    const std::size_t t = static_cast<std::size_t>(request.track) - 1;
    const TrackChunk& chunk = song.tracks[t];
    const auto program = static_cast<std::uint8_t>(request.program);
    EditPlan plan;
    bool hasProgramChange = false;
    std::array<bool, 16> channelUsed{};
    TrackEvents events(song.file, chunk);
    TrackStartFinder start(DataEnd(chunk));
    while (const std::optional<TrackEvent> e = events.Next()) {
        start.See(*e);
        if (e->kind != EventKind::kChannel) continue;
        channelUsed[static_cast<std::size_t>(e->Channel())] = true;
        if (e->Message() != 0xC0) continue;
        hasProgramChange = true;
        if (e->data[0] != program) plan.patch.replacements.push_back({e->dataOffset, program});
    }
    if (events.End() == TrackEnd::kCutOff) return Refused(CannotBeReadToItsEnd(t));
    if (hasProgramChange) return plan;
    if (std::find(channelUsed.begin(), channelUsed.end(), true) == channelUsed.end()) {
        return Refused("No notes in track!");
    }
    for (std::size_t channel = 0; channel < channelUsed.size(); ++channel) {
        if (!channelUsed[channel]) continue;
        const std::string change{'\x00', static_cast<char>(0xC0 | channel), static_cast<char>(program)};
        plan.patch.insertions.push_back({chunk.offset, start.Start(), change});
    }
    return plan;
}

bool PatchCommand::Prepare(EditSession& s) {
    return PreparePatch(s, patch_, [&](const SongBytes& song) {
        return std::visit(
            [&](const auto& request) {
                using R = std::decay_t<decltype(request)>;
                if constexpr (std::is_same_v<R, TransposeRequest>) return PlanTranspose(song, request);
                if constexpr (std::is_same_v<R, TempoRequest>) return PlanTempo(song, request);
                if constexpr (std::is_same_v<R, InstrumentRequest>) return PlanInstrument(song, request);
            },
            request_);
    });
}

void PatchCommand::Apply(EditSession& s) { ApplyPatch(s, patch_); }

}  // namespace sonivex
