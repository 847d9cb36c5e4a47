#include "features.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>
#include <utility>

#include "midi/drums.h"

namespace sonivex {

namespace {

constexpr double kSecondsPerMinute = 60;
constexpr double kMicrosPerSecond = 1e6;

// The fingerprint's grid: 1/3840 of a quarter note, which every common division (96, 120, 192, 240, 384,
// 480, 960 ticks per quarter...) divides exactly.
constexpr std::uint64_t kHashGrid = 3840;

constexpr std::array<const char*, 16> kFamilies{
    "Piano", "Chromatic Percussion", "Organ",     "Guitar",     "Bass",          "Strings", "Ensemble",  "Brass",
    "Reed",  "Pipe",                 "Synth Lead", "Synth Pad", "Synth Effects", "Ethnic",  "Percussive", "Sound Effects"};
constexpr int kDrumFamily = 16;  // after the sixteen of General MIDI

struct Span {
    double start;
    double end;
};

Span SpanOf(const Timeline& song, const TimedNote& note) {
    return {song.SecondsAt(note.startTick, note.track), song.SecondsAt(note.endTick, note.track)};
}

bool IsMelody(const TimedNote& note) { return !IsDrumChannel(note.channel); }

// The time covered by at least one of `spans`.
double CoveredSeconds(std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
    double covered = 0;
    std::optional<Span> run;
    for (const Span& s : spans) {
        if (run && s.start <= run->end) {
            run->end = std::max(run->end, s.end);
            continue;
        }
        if (run) covered += run->end - run->start;
        run = s;
    }
    if (run) covered += run->end - run->start;
    return covered;
}

void AddPitchFacts(const Timeline& song, SongFeatures& f) {
    double sum = 0;
    std::size_t count = 0;
    for (const TimedNote& note : song.notes) {
        if (!IsMelody(note)) continue;
        f.lowestPitch = std::min(f.lowestPitch.value_or(note.key), static_cast<int>(note.key));
        f.highestPitch = std::max(f.highestPitch.value_or(note.key), static_cast<int>(note.key));
        sum += note.key;
        ++count;
    }
    if (count > 0) f.meanPitch = sum / static_cast<double>(count);
}

void AddVelocities(const Timeline& song, SongFeatures& f) {
    if (song.notes.empty()) return;
    double sum = 0;
    for (const TimedNote& note : song.notes) sum += note.velocity;
    const double mean = sum / static_cast<double>(song.notes.size());
    double squares = 0;
    for (const TimedNote& note : song.notes) squares += (note.velocity - mean) * (note.velocity - mean);
    f.velocityMean = mean;
    f.velocitySpread = std::sqrt(squares / static_cast<double>(song.notes.size()));
}

// Sounding melody notes by time: a sweep over their starts and ends, an end before a start at the same time so
// that notes played one after the other never count as sounding together.
void AddPolyphony(const Timeline& song, SongFeatures& f) {
    std::vector<std::pair<double, int>> changes;
    for (const TimedNote& note : song.notes) {
        if (!IsMelody(note)) continue;
        const Span s = SpanOf(song, note);
        if (s.end <= s.start) continue;
        changes.emplace_back(s.start, 1);
        changes.emplace_back(s.end, -1);
    }
    std::sort(changes.begin(), changes.end());
    int sounding = 0;
    double weighted = 0;
    double soundingTime = 0;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        sounding += changes[i].second;
        f.maxPolyphony = std::max(f.maxPolyphony, sounding);
        if (i + 1 < changes.size() && sounding > 0) {
            const double length = changes[i + 1].first - changes[i].first;
            weighted += sounding * length;
            soundingTime += length;
        }
    }
    if (soundingTime > 0) f.meanPolyphony = weighted / soundingTime;
}

// The top line of each track's melody notes: the highest key of the notes that start at one tick. The notes come
// by track and start, so each track's onsets follow one another.
std::vector<std::vector<int>> TopLines(const Timeline& song) {
    std::vector<std::vector<int>> lines;
    const TimedNote* onset = nullptr;  // the first note of the onset being read
    for (const TimedNote& note : song.notes) {
        if (!IsMelody(note)) continue;
        const bool newTrack = onset == nullptr || onset->track != note.track;
        if (newTrack) lines.emplace_back();
        if (newTrack || onset->startTick != note.startTick) {
            lines.back().push_back(note.key);
            onset = &note;
        } else {
            lines.back().back() = std::max(lines.back().back(), static_cast<int>(note.key));
        }
    }
    return lines;
}

void AddIntervals(const Timeline& song, SongFeatures& f) {
    std::array<std::size_t, kIntervalBins> counts{};
    for (const std::vector<int>& line : TopLines(song)) {
        for (std::size_t i = 1; i < line.size(); ++i) ++counts[std::min(std::abs(line[i] - line[i - 1]), kIntervalBins - 1)];
    }
    for (const std::size_t c : counts) f.intervalCount += c;
    if (f.intervalCount == 0) return;
    for (int i = 0; i < kIntervalBins; ++i) {
        f.intervalHistogram[i] = static_cast<double>(counts[i]) / static_cast<double>(f.intervalCount);
    }
}

// The tempo of the first track's map (the whole song's, but in format 2) over the playing time.
void AddTempo(const Timeline& song, SongFeatures& f) {
    const TempoMap& map = song.MapOf(0);
    std::vector<TempoPoint> points{{0, kDefaultMicrosPerQuarter}};
    for (const TempoPoint& p : map.Changes()) {
        if (p.tick == points.back().tick) {
            points.back().microsPerQuarter = p.microsPerQuarter;
        } else {
            points.push_back(p);
        }
    }
    auto bpm = [](std::uint32_t micros) { return kSecondsPerMinute * kMicrosPerSecond / micros; };
    const double end = song.durationSeconds;
    double weighted = 0;
    bool any = false;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double from = map.SecondsAt(points[i].tick);
        const double to = i + 1 < points.size() ? std::min(end, map.SecondsAt(points[i + 1].tick)) : end;
        if (to <= from && !(end <= 0 && i == 0)) continue;
        const double tempo = bpm(points[i].microsPerQuarter);
        f.tempoMin = any ? std::min(f.tempoMin, tempo) : tempo;
        f.tempoMax = any ? std::max(f.tempoMax, tempo) : tempo;
        weighted += tempo * std::max(0.0, to - from);
        any = true;
    }
    f.tempoMean = end > 0 ? weighted / end : f.tempoMin;
}

// The share of the playing time under each time signature; 4/4 holds until the first.
void AddTimeSignatures(const Timeline& song, SongFeatures& f) {
    const double end = song.durationSeconds;
    if (end <= 0) return;
    std::vector<TimeSignatureMark> marks{{0, 4, 4, 0}};
    for (const TimeSignatureMark& m : song.timeSignatures) {
        if (m.tick == marks.back().tick) {
            marks.back() = m;
        } else {
            marks.push_back(m);
        }
    }
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const double from = song.SecondsAt(marks[i].tick, marks[i].track);
        const double to = i + 1 < marks.size() ? std::min(end, song.SecondsAt(marks[i + 1].tick, marks[i + 1].track)) : end;
        if (to <= from) continue;
        auto same = [&](const TimeSignatureShare& s) {
            return s.numerator == marks[i].numerator && s.denominator == marks[i].denominator;
        };
        auto it = std::find_if(f.timeSignatures.begin(), f.timeSignatures.end(), same);
        if (it == f.timeSignatures.end()) {
            it = f.timeSignatures.insert(f.timeSignatures.end(), {marks[i].numerator, marks[i].denominator, 0});
        }
        it->share += (to - from) / end;
    }
}

// The program that sounds on each channel from each tick: the song's program changes by channel (and by track
// in format 2, where every track is a song of its own).
class Programs {
public:
    explicit Programs(const Timeline& song) : perTrack_(song.format == 2) {
        for (const ProgramMark& p : song.programChanges) changes_[Slot(p.track, p.channel)].push_back({p.tick, p.program});
    }

    // The program at a note's start: the last change at or before its tick; 0 before the first.
    int At(const TimedNote& note) const {
        const auto it = changes_.find(Slot(note.track, note.channel));
        if (it == changes_.end()) return 0;
        const std::vector<std::pair<std::uint32_t, int>>& list = it->second;
        auto after = std::upper_bound(list.begin(), list.end(), note.startTick,
                                      [](std::uint32_t tick, const auto& change) { return tick < change.first; });
        return after == list.begin() ? 0 : std::prev(after)->second;
    }

private:
    std::int64_t Slot(std::int32_t track, int channel) const {
        return (perTrack_ ? static_cast<std::int64_t>(track) * 16 : 0) + channel;
    }

    bool perTrack_;
    std::unordered_map<std::int64_t, std::vector<std::pair<std::uint32_t, int>>> changes_;
};

void AddFamilies(const Timeline& song, SongFeatures& f) {
    const Programs programs(song);
    std::array<std::vector<Span>, kDrumFamily + 1> spans;
    std::array<bool, kDrumFamily + 1> sounds{};
    for (const TimedNote& note : song.notes) {
        const int family = IsMelody(note) ? programs.At(note) / 8 : kDrumFamily;
        spans[family].push_back(SpanOf(song, note));
        sounds[family] = true;
    }
    for (int family = 0; family <= kDrumFamily; ++family) {
        if (!sounds[family]) continue;
        f.families.push_back({family == kDrumFamily ? "Drums" : kFamilies[family], CoveredSeconds(std::move(spans[family]))});
    }
}

std::uint64_t OnGrid(std::uint32_t tick, int division) {
    if (division <= 0) return tick;
    const auto d = static_cast<std::uint64_t>(division);
    return (static_cast<std::uint64_t>(tick) * kHashGrid + d / 2) / d;
}

}  // namespace

std::array<double, 12> PitchClassHistogram(const Timeline& song) {
    std::array<double, 12> histogram{};
    double total = 0;
    for (const TimedNote& note : song.notes) {
        if (!IsMelody(note)) continue;
        const Span s = SpanOf(song, note);
        const double length = std::max(0.0, s.end - s.start);
        histogram[note.key % 12] += length;
        total += length;
    }
    if (total > 0) {
        for (double& share : histogram) share /= total;
    }
    return histogram;
}

std::string NotesHash(const Timeline& song) {
    struct Key {
        std::uint64_t start;
        std::uint64_t length;
        std::uint8_t key;
        std::uint8_t drums;
        auto operator<=>(const Key&) const = default;
    };
    std::vector<Key> keys;
    keys.reserve(song.notes.size());
    for (const TimedNote& note : song.notes) {
        const std::uint64_t start = OnGrid(note.startTick, song.division);
        const std::uint64_t end = OnGrid(note.endTick, song.division);
        keys.push_back({start, end - std::min(start, end), note.key, static_cast<std::uint8_t>(IsMelody(note) ? 0 : 1)});
    }
    std::sort(keys.begin(), keys.end());
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a, 64 bits
    auto add = [&hash](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            hash ^= (value >> (8 * i)) & 0xFF;
            hash *= 1099511628211ULL;
        }
    };
    for (const Key& k : keys) {
        add(k.start, 8);
        add(k.length, 8);
        add(k.key, 1);
        add(k.drums, 1);
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

SongFeatures ComputeFeatures(const Timeline& song, KeyProfile profile) {
    SongFeatures f;
    f.pitchClassHistogram = PitchClassHistogram(song);
    f.key = EstimateKey(f.pitchClassHistogram, profile);
    AddPitchFacts(song, f);
    if (song.durationSeconds > 0) f.noteDensity = static_cast<double>(song.notes.size()) / song.durationSeconds;
    AddPolyphony(song, f);
    AddVelocities(song, f);
    AddIntervals(song, f);
    AddTempo(song, f);
    AddTimeSignatures(song, f);
    AddFamilies(song, f);
    f.notesHash = NotesHash(song);
    return f;
}

}  // namespace sonivex
