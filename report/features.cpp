#include "features.h"

#include <algorithm>
#include <bit>
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

bool IsMelody(const TimedNote& note) { return !IsDrumChannel(note.channel); }

// What the sweep over the notes' times finds.
struct TimeFacts {
    std::array<double, 12> durations{};  // of the melody notes, by pitch class
    double melodySeconds = 0;            // the sum of the melody notes' durations
    double melodySounding = 0;           // the time in which at least one melody note sounds
    int mostMelody = 0;                  // the most melody notes sounding at once
    std::array<double, kDrumFamily + 1> familySeconds{};
    std::array<bool, kDrumFamily + 1> familySounds{};
};

// Ticks to seconds for ticks that never go back, a step along the map's changes at a time.
class TempoCursor {
public:
    explicit TempoCursor(const TempoMap& map) : map_(map) {
        if (map.Division() > 0) scale_ = kDefaultMicrosPerQuarter / (kMicrosPerSecond * map.Division());
    }

    double SecondsAt(std::uint64_t tick) {
        const std::vector<TempoPoint>& changes = map_.Changes();
        while (next_ < changes.size() && changes[next_].tick <= tick) {
            from_ = changes[next_].tick;
            fromSeconds_ = map_.SecondsAt(from_);
            if (map_.Division() > 0) scale_ = changes[next_].microsPerQuarter / (kMicrosPerSecond * map_.Division());
            ++next_;
        }
        return fromSeconds_ + static_cast<double>(tick - from_) * scale_;
    }

private:
    const TempoMap& map_;
    std::size_t next_ = 0;
    std::uint64_t from_ = 0;
    double fromSeconds_ = 0;
    double scale_ = 0;  // seconds per tick from `from_` on
};

// Sorts keys stably by their bits from `low` up to `high` (the bits below `low` ride along): one pass counts every
// digit, then one pass a digit places the keys, so the time is linear in their count. Digits of at most 11 bits
// keep each pass's counts and places within the cache.
template <typename Key>
void RadixSort(std::vector<Key>& keys, int low, int high) {
    if (keys.size() < 256) {
        std::stable_sort(keys.begin(), keys.end(), [low](Key a, Key b) { return (a >> low) < (b >> low); });
        return;
    }
    constexpr int kMostDigitBits = 11;
    const int bits = std::max(1, high - low);
    const int digits = (bits + kMostDigitBits - 1) / kMostDigitBits;
    const int digitBits = (bits + digits - 1) / digits;
    const std::size_t buckets = std::size_t{1} << digitBits;
    const Key mask = static_cast<Key>(buckets - 1);
    std::vector<std::uint32_t> starts(buckets * static_cast<std::size_t>(digits), 0);
    for (const Key k : keys) {
        for (int d = 0; d < digits; ++d) ++starts[buckets * d + ((k >> (low + digitBits * d)) & mask)];
    }
    std::vector<Key> other(keys.size());
    for (int d = 0; d < digits; ++d) {
        std::uint32_t* start = &starts[buckets * d];
        std::uint32_t sum = 0;
        for (std::size_t b = 0; b < buckets; ++b) sum += std::exchange(start[b], sum);
        const int shift = low + digitBits * d;
        for (const Key k : keys) other[start[(k >> shift) & mask]++] = k;
        keys.swap(other);
    }
}

// What the notes' times give: the melody notes' durations by pitch class, the melody notes sounding at once,
// and the time in which each family sounds. The starts and ends of the notes come in time order, an end before
// a start at the same time so that notes played one after the other never sound together. A duration is the
// sum of the ends' times less the starts'; a time sounding runs from a count's leaving 0 to its coming back.
class TimeSweep {
public:
    // Written with selects instead of branches: which way each goes changes from one note to the next, and
    // guessing it wrong would cost more than the whole step.
    void Take(double seconds, bool start, int family, int pitchClass) {
        const int change = start ? 1 : -1;
        int& sounding = sounding_[family];
        since_[family] = start && sounding == 0 ? seconds : since_[family];
        sounding += change;
        facts_.familySeconds[family] += !start && sounding == 0 ? seconds - since_[family] : 0.0;
        facts_.familySounds[family] = true;
        const bool melody = family != kDrumFamily;
        const double signedTime = !melody ? 0.0 : start ? -seconds : seconds;
        facts_.durations[pitchClass] += signedTime;
        facts_.melodySeconds += signedTime;
        melodySince_ = melody && start && melody_ == 0 ? seconds : melodySince_;
        melody_ += melody ? change : 0;
        facts_.melodySounding += melody && !start && melody_ == 0 ? seconds - melodySince_ : 0.0;
        facts_.mostMelody = std::max(facts_.mostMelody, melody_);
    }

    const TimeFacts& Facts() const { return facts_; }

private:
    TimeFacts facts_;
    int melody_ = 0;
    double melodySince_ = 0;
    std::array<int, kDrumFamily + 1> sounding_{};
    std::array<double, kDrumFamily + 1> since_{};
};

// The sorted starts and ends of the notes of some length in format 0 and 1, where one tempo map times every
// track and tick order is time order: one key each of tick, then start, family and pitch class, radix sorted
// by tick and start (in 32 bits when the ticks allow) and timed in order. Keys of one tick and kind keep the
// order of the song's notes, so every run adds the times up in the same order.
template <typename Key>
void SweepSortedTicks(const Timeline& song, const std::vector<std::uint8_t>& families, std::uint32_t last,
                      TimeSweep& sweep) {
    std::vector<Key> keys(2 * song.notes.size());
    std::size_t taken = 0;
    for (std::size_t i = 0; i < song.notes.size(); ++i) {
        const TimedNote& note = song.notes[i];
        if (note.endTick <= note.startTick) continue;
        const Key what = static_cast<Key>((families[i] << 4) | (note.key % 12));
        keys[taken++] = static_cast<Key>((Key{note.endTick} << 10) | what);
        keys[taken++] = static_cast<Key>((Key{note.startTick} << 10) | (1u << 9) | what);
    }
    keys.resize(taken);
    RadixSort(keys, 9, static_cast<int>(std::bit_width(last)) + 10);
    TempoCursor clock(song.MapOf(0));
    for (const Key k : keys) {
        sweep.Take(clock.SecondsAt(k >> 10), ((k >> 9) & 1) != 0, static_cast<int>((k >> 4) & 31), static_cast<int>(k & 15));
    }
}

// In format 2 each track has its own tempo map: the times are sorted.
void SweepSortedTimes(const Timeline& song, const std::vector<std::uint8_t>& families, TimeSweep& sweep) {
    struct Boundary {
        double seconds;
        bool start;
        std::uint8_t family;
        std::uint8_t pitchClass;
    };
    std::vector<Boundary> boundaries;
    for (std::size_t i = 0; i < song.notes.size(); ++i) {
        const TimedNote& note = song.notes[i];
        if (note.endTick <= note.startTick) continue;
        const auto pc = static_cast<std::uint8_t>(note.key % 12);
        boundaries.push_back({song.SecondsAt(note.endTick, note.track), false, families[i], pc});
        boundaries.push_back({song.SecondsAt(note.startTick, note.track), true, families[i], pc});
    }
    std::sort(boundaries.begin(), boundaries.end(), [](const Boundary& a, const Boundary& b) {
        return a.seconds < b.seconds || (a.seconds == b.seconds && a.start < b.start);
    });
    for (const Boundary& b : boundaries) sweep.Take(b.seconds, b.start, b.family, b.pitchClass);
}

// The notes of some length swept in time order.
TimeFacts SweepTimes(const Timeline& song, const std::vector<std::uint8_t>& families) {
    TimeSweep sweep;
    if (song.format == 2) {
        SweepSortedTimes(song, families, sweep);
        return sweep.Facts();
    }
    std::uint32_t last = 0;
    for (const TimedNote& note : song.notes) last = std::max(last, note.endTick);
    if (std::bit_width(last) + 10 <= 32) {
        SweepSortedTicks<std::uint32_t>(song, families, last, sweep);
    } else {
        SweepSortedTicks<std::uint64_t>(song, families, last, sweep);
    }
    return sweep.Facts();
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
    using Changes = std::vector<std::pair<std::uint32_t, int>>;  // (tick, program) by tick

    explicit Programs(const Timeline& song) : perTrack_(song.format == 2), shared_(16) {
        for (const ProgramMark& p : song.programChanges) {
            Changes& changes = perTrack_ ? byTrack_[Slot(p.track, p.channel)] : shared_[p.channel];
            changes.push_back({p.tick, p.program});
        }
    }

    // Where a track's walk along one channel's changes has come; fresh at each track.
    struct Step {
        const Changes* changes = nullptr;
        std::size_t next = 0;  // the first change after the last note's start
    };

    // The program at a note's start: the last change at or before its tick; 0 before the first. The notes of a
    // track on one channel come to this with their starts in order, and `step` walks along with them.
    int At(const TimedNote& note, Step& step) const {
        if (step.changes == nullptr) {
            step.changes = &kNone;
            if (!perTrack_) {
                step.changes = &shared_[note.channel];
            } else if (const auto it = byTrack_.find(Slot(note.track, note.channel)); it != byTrack_.end()) {
                step.changes = &it->second;
            }
        }
        const Changes& changes = *step.changes;
        while (step.next < changes.size() && changes[step.next].first <= note.startTick) ++step.next;
        return step.next == 0 ? 0 : changes[step.next - 1].second;
    }

private:
    static std::int64_t Slot(std::int32_t track, int channel) { return static_cast<std::int64_t>(track) * 16 + channel; }

    inline static const Changes kNone;

    bool perTrack_;
    std::vector<Changes> shared_;                         // by channel, in format 0 and 1
    std::unordered_map<std::int64_t, Changes> byTrack_;  // by track and channel, in format 2
};

// The shares of the melody notes' durations by pitch class.
std::array<double, 12> Shares(const TimeFacts& times) {
    std::array<double, 12> shares{};
    if (times.melodySeconds <= 0) return shares;
    for (int pc = 0; pc < 12; ++pc) shares[pc] = std::max(0.0, times.durations[pc]) / times.melodySeconds;
    return shares;
}

void AddTimeFacts(const TimeFacts& times, SongFeatures& f) {
    f.pitchClassHistogram = Shares(times);
    f.maxPolyphony = times.mostMelody;
    if (times.melodySounding > 0) f.meanPolyphony = times.melodySeconds / times.melodySounding;
    for (int family = 0; family <= kDrumFamily; ++family) {
        if (!times.familySounds[family]) continue;
        f.families.push_back({family == kDrumFamily ? "Drums" : kFamilies[family], times.familySeconds[family]});
    }
}

// A tick on the fingerprint's grid, rounded to the nearest point. Most divisions divide the grid, and a tick then
// needs no division.
class Grid {
public:
    explicit Grid(int division) : division_(division), factor_(division > 0 && kHashGrid % division == 0 ? kHashGrid / division : 0) {}

    std::uint64_t At(std::uint32_t tick) const {
        if (division_ <= 0) return tick;
        if (factor_ != 0) return tick * factor_;
        const auto d = static_cast<std::uint64_t>(division_);
        return (static_cast<std::uint64_t>(tick) * kHashGrid + d / 2) / d;
    }

private:
    int division_;
    std::uint64_t factor_;
};

// The fingerprint's sum: each note's values mixed into 64 bits (the finaliser of SplitMix64) and added, so that
// the order of the notes in the file does not count.
class Fingerprint {
public:
    explicit Fingerprint(int division) : grid_(division) {}

    void Add(const TimedNote& note) {
        const std::uint64_t start = grid_.At(note.startTick);
        const std::uint64_t end = grid_.At(note.endTick);
        const std::uint64_t length = end - std::min(start, end);
        const std::uint64_t kind = (std::uint64_t{note.key} << 1) | (IsMelody(note) ? 0 : 1);
        sum_ += Mix(Mix(start + length * 0xD6E8FEB86659FD93ULL) ^ kind);
        ++count_;
    }

    std::string Text() const {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(Mix(sum_ ^ Mix(count_))));
        return text;
    }

private:
    static std::uint64_t Mix(std::uint64_t x) {
        x += 0x9E3779B97F4A7C15ULL;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
        return x ^ (x >> 31);
    }

    Grid grid_;
    std::uint64_t sum_ = 0;
    std::uint64_t count_ = 0;
};

// What the notes give without the clock, each note taken once in the timeline's order (by track, then start):
// each note's family, the melody's pitches, every velocity, the top lines' intervals and the fingerprint. The
// top line of a track is the highest key of the melody notes that start at one tick.
class NoteTally {
public:
    explicit NoteTally(const Timeline& song) : programs_(song), fingerprint_(song.division) {
        families_.reserve(song.notes.size());
    }

    void Take(const TimedNote& note) {
        if (track_ != note.track) {
            EndOnset();
            track_ = note.track;
            steps_ = {};
            onset_.reset();
            previousTop_.reset();
        }
        fingerprint_.Add(note);
        velocities_ += note.velocity;
        squares_ += static_cast<double>(note.velocity) * note.velocity;
        ++notes_;
        if (!IsMelody(note)) {
            families_.push_back(kDrumFamily);
            return;
        }
        families_.push_back(static_cast<std::uint8_t>(programs_.At(note, steps_[note.channel]) / 8));
        lowest_ = std::min(lowest_.value_or(note.key), static_cast<int>(note.key));
        highest_ = std::max(highest_.value_or(note.key), static_cast<int>(note.key));
        keys_ += note.key;
        ++melody_;
        if (onset_ == note.startTick) {
            top_ = std::max(top_, static_cast<int>(note.key));
            return;
        }
        EndOnset();
        onset_ = note.startTick;
        top_ = note.key;
    }

    // The facts, once every note was taken; the families stay for the sweep over the times.
    void Finish(SongFeatures& f) {
        EndOnset();
        f.lowestPitch = lowest_;
        f.highestPitch = highest_;
        if (melody_ > 0) f.meanPitch = keys_ / static_cast<double>(melody_);
        if (notes_ > 0) {
            const double mean = velocities_ / static_cast<double>(notes_);
            f.velocityMean = mean;
            f.velocitySpread = std::sqrt(std::max(0.0, squares_ / static_cast<double>(notes_) - mean * mean));
        }
        for (const std::size_t c : intervals_) f.intervalCount += c;
        for (int i = 0; i < kIntervalBins && f.intervalCount > 0; ++i) {
            f.intervalHistogram[i] = static_cast<double>(intervals_[i]) / static_cast<double>(f.intervalCount);
        }
        f.notesHash = fingerprint_.Text();
    }

    const std::vector<std::uint8_t>& Families() const { return families_; }

private:
    // The onset read so far is complete: its top key follows the track's one before.
    void EndOnset() {
        if (!onset_) return;
        if (previousTop_) ++intervals_[std::min(std::abs(top_ - *previousTop_), kIntervalBins - 1)];
        previousTop_ = top_;
    }

    const Programs programs_;
    std::array<Programs::Step, 16> steps_{};
    Fingerprint fingerprint_;
    std::vector<std::uint8_t> families_;
    std::optional<std::int32_t> track_;
    std::optional<int> lowest_;
    std::optional<int> highest_;
    double keys_ = 0;
    std::size_t melody_ = 0;
    double velocities_ = 0;
    double squares_ = 0;
    std::size_t notes_ = 0;
    std::optional<std::uint32_t> onset_;  // the start of the onset being read
    int top_ = 0;                         // its highest key so far
    std::optional<int> previousTop_;      // of the track's onset before it
    std::array<std::size_t, kIntervalBins> intervals_{};
};

// Every note taken once.
NoteTally TallyNotes(const Timeline& song) {
    NoteTally tally(song);
    for (const TimedNote& note : song.notes) tally.Take(note);
    return tally;
}

}  // namespace

std::array<double, 12> PitchClassHistogram(const Timeline& song) {
    return Shares(SweepTimes(song, TallyNotes(song).Families()));
}

std::string NotesHash(const Timeline& song) {
    Fingerprint fingerprint(song.division);
    for (const TimedNote& note : song.notes) fingerprint.Add(note);
    return fingerprint.Text();
}

SongFeatures ComputeFeatures(const Timeline& song, KeyProfile profile) {
    SongFeatures f;
    NoteTally tally = TallyNotes(song);
    tally.Finish(f);
    AddTimeFacts(SweepTimes(song, tally.Families()), f);
    f.key = EstimateKey(f.pitchClassHistogram, profile);
    if (song.durationSeconds > 0) f.noteDensity = static_cast<double>(song.notes.size()) / song.durationSeconds;
    AddTempo(song, f);
    AddTimeSignatures(song, f);
    return f;
}

}  // namespace sonivex
