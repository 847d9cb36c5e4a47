#include "effects.h"

#include <cmath>

#include "edit_commands.h"
#include "reader/data_files.h"
#include "reader/files.h"
#include "reader/parse.h"
#include "reader/text.h"
#include "report/report.h"
#include "writer.h"

namespace sonivex {

namespace {

std::int64_t Round(double v) { return static_cast<std::int64_t>(std::nearbyint(v)); }

// n / d for d > 0, rounded to the nearest whole number, halves to the even neighbour; exact for any sizes the
// curve numbers can have.
std::int64_t RoundedQuotient(std::int64_t n, std::int64_t d) {
    std::int64_t q = n / d;
    std::int64_t r = n % d;
    if (r < 0) {  // floor division
        q -= 1;
        r += d;
    }
    const std::int64_t twice = 2 * r;
    if (twice > d || (twice == d && q % 2 != 0)) q += 1;
    return q;
}

bool IsBlack(int pitch) { return pitch == 1 || pitch == 3 || pitch == 6 || pitch == 8 || pitch == 10; }

// +1 for a white key, -1 for a black one: the step that leaves a pitch class towards its neighbour.
int NeighbourStep(int pitch) { return IsBlack(pitch) ? -1 : 1; }

// Whether pitch class p is root R plus one of the offsets (all modulo 12).
bool IsAbove(int p, int root, std::initializer_list<int> offsets) {
    for (int k : offsets) {
        if (p == (root + k) % 12) return true;
    }
    return false;
}

// The amount a gradual effect moves record m of N by.
std::int64_t GradualAmount(std::int64_t m, std::int64_t n, int step) {
    return static_cast<std::int64_t>(std::floor(128.0 / n * m / step * std::sin(static_cast<double>(m) / n)));
}

// The whole numbers after the first "=" of a curve entry.
std::vector<std::int64_t> CurveNumbers(const std::string& entry) {
    std::vector<std::int64_t> numbers;
    const std::size_t eq = entry.find('=');
    if (eq == std::string::npos) return numbers;
    std::size_t from = eq + 1;
    for (;;) {
        const std::size_t comma = entry.find(',', from);
        const std::string number = entry.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        numbers.push_back(RoundToWidth<std::int32_t>(Val(number)));  // a number beyond 32 bits is an overflow
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return numbers;
}

void RandomExchange(EffectState& e, RandomSource& random) {
    for (int v = 0; v <= 127; ++v) e.ValueMap[v] = v;
    const float step = static_cast<float>(e.StepFactor);
    for (int i = 0; i <= 127; ++i) {
        std::int64_t j;
        do {
            const float r1 = random.Next();
            const float r2 = random.Next();
            j = static_cast<std::int64_t>(std::floor(step * r1)) + i - static_cast<std::int64_t>(std::floor(step * r2));
        } while (j < 0 || j > 127);
        const std::int16_t held = e.ValueMap[i];
        e.ValueMap[i] = e.ValueMap[j];
        e.ValueMap[j] = held;
    }
}

// The field that the effect changes: the key (column 1) or the velocity (column 2).
std::int32_t& ValueOf(EventRecord& f, int column) { return column == 2 ? f.Data2 : f.Data1; }
std::int32_t ValueOf(const EventRecord& f, int column) { return column == 2 ? f.Data2 : f.Data1; }

// Keeps a changed record within the bounds every effect respects.
void Bound(EventRecord& f) {
    if (f.Data1 > 127) f.Data1 = 127;
    if (f.Data1 < 0) f.Data1 = 0;
    if (IsDrumNoteStatus(f.Status)) {
        if (f.Data1 > 85) f.Data1 = 84;
        if (f.Data1 < 35) f.Data1 = 35;
    }
    if (f.Data2 > 127) f.Data2 = 127;
    if (f.Delta < 0) f.Delta = 0;  // an effect never moves a note in time: the delta stays as it was
}

// Runs a change of the effect's field; in volume mode a velocity that would fall below 1 keeps its value, so
// no note goes silent.
template <typename Change>
void ChangeKeepingNotesSounding(const EffectState& e, EventRecord& f, Change change) {
    std::int32_t& value = ValueOf(f, e.ValueColumn);
    const std::int32_t before = value;
    change(value);
    if (!e.AllowZero && value < 1) value = before;
}

// The pitch class of the record's key.
int PitchClass(const EventRecord& f) { return ((f.Data1 % 12) + 12) % 12; }

// --- The rules, one per effect (the table below names them). ---

void RandomRule(const EffectState& e, EventRecord& f, std::int64_t, std::int64_t, RandomSource& random) {
    ChangeKeepingNotesSounding(e, f, [&](std::int32_t&) {
        if (e.ValueColumn == 2) {
            const float fs = static_cast<float>(static_cast<int>(e.StepFactor));
            // Drawn one after the other: within one expression the two draws could come in either order.
            const float r1 = random.Next();
            const float r2 = random.Next();
            f.Data2 = static_cast<std::int32_t>(std::floor(fs * r1) + f.Data2 - std::floor(fs * r2));
        } else {
            f.Data1 = e.ValueMap[f.Data1];
        }
    });
}

void IncreaseRule(const EffectState& e, EventRecord& f, std::int64_t, std::int64_t, RandomSource&) {
    ChangeKeepingNotesSounding(e, f, [&](std::int32_t& value) {
        value = Int32::Fit(static_cast<std::int64_t>(value) + e.StepFactor);
    });
}

void DecreaseRule(const EffectState& e, EventRecord& f, std::int64_t, std::int64_t, RandomSource&) {
    ChangeKeepingNotesSounding(e, f, [&](std::int32_t& value) {
        value = Int32::Fit(static_cast<std::int64_t>(value) - e.StepFactor);
    });
}

// A gradual effect moves velocities by the amount for the record's place; keys through the map that its
// track start built.
void GraduallyIncreaseRule(const EffectState& e, EventRecord& f, std::int64_t m, std::int64_t n, RandomSource&) {
    if (e.ValueColumn == 2) {
        f.Data2 = Int32::Fit(f.Data2 + GradualAmount(m, n, e.StepFactor));
    } else {
        f.Data1 = e.ValueMap[f.Data1];
    }
}

void GraduallyDecreaseRule(const EffectState& e, EventRecord& f, std::int64_t m, std::int64_t n, RandomSource&) {
    if (e.ValueColumn == 2) {
        f.Data2 = Int32::Fit(f.Data2 - GradualAmount(m, n, e.StepFactor));
        if (f.Data2 < 1) f.Data2 = 1;
    } else {
        f.Data1 = e.ValueMap[f.Data1];
    }
}

// A gradual effect spreads its change over the records; a track of one record has nothing to spread. In note
// mode each key moves by the amount for the place of its last selected record.
bool StartGradualTrack(EffectState& e, const std::vector<EventRecord>& records, int sign) {
    const std::int64_t n = static_cast<std::int64_t>(records.size()) - 1;
    if (n == 0) return false;
    if (e.ValueColumn != 1) return true;
    for (int v = 0; v <= 127; ++v) e.ValueMap[v] = v;
    for (std::int64_t m = 0; m <= n; ++m) {
        if (!IsSelected(e, records[m])) continue;
        const std::int64_t v = records[m].Data1;
        e.ValueMap[v] = v + sign * GradualAmount(m, n, e.StepFactor);
    }
    return true;
}
bool StartGraduallyIncreasing(EffectState& e, const std::vector<EventRecord>& records) {
    return StartGradualTrack(e, records, 1);
}
bool StartGraduallyDecreasing(EffectState& e, const std::vector<EventRecord>& records) {
    return StartGradualTrack(e, records, -1);
}

void RemoveFlatsRule(const EffectState&, EventRecord& f, std::int64_t, std::int64_t, RandomSource&) {
    if (IsBlack(PitchClass(f))) f.Data1 -= 1;
}

void KeySignatureRule(const EffectState& e, EventRecord& f, std::int64_t, std::int64_t, RandomSource&) {
    const int p = PitchClass(f);
    for (int i = 0; i <= e.KeyLastIndex; ++i) {
        const int k = e.ScaleNotes[i] + (e.ClefChoice == Clef::Bass ? 4 : 0);
        if (k == p) {
            f.Data1 += e.KeyAlteration;
            break;
        }
    }
}

// The scale rules read the root from StepFactor.
void MinorMelodicRule(const EffectState& e, EventRecord& f, std::int64_t, std::int64_t, RandomSource&) {
    const int p = PitchClass(f);
    if (IsAbove(p, e.StepFactor, {1, 4, 6})) f.Data1 += NeighbourStep(p);
}

void MinorHarmonicRule(const EffectState& e, EventRecord& f, std::int64_t, std::int64_t, RandomSource&) {
    const int p = PitchClass(f);
    const int root = e.StepFactor;
    if (p == (root + 9) % 12) {
        f.Data1 -= 1;
    } else if (p == (root + 10) % 12) {
        f.Data1 += 1;
    } else if (IsAbove(p, root, {1, 4, 6})) {
        f.Data1 += NeighbourStep(p);
    }
}

void MajorScaleRule(const EffectState& e, EventRecord& f, std::int64_t, std::int64_t, RandomSource&) {
    const int p = PitchClass(f);
    if (IsAbove(p, e.StepFactor, {1, 3, 6, 8, 10})) f.Data1 += NeighbourStep(p);
}

void BlueNotesRule(const EffectState& e, EventRecord& f, std::int64_t, std::int64_t, RandomSource&) {
    const int p = PitchClass(f);
    const int root = e.StepFactor;
    if (p == (root + 1) % 12) {
        f.Data1 -= 1;
    } else if (p == (root + 2) % 12) {
        f.Data1 += 1;
    } else if (p == (root + 5) % 12) {
        f.Data1 += NeighbourStep(p);
    }
}

// Steps towards the curve's value by 1 / StepFactor of the way: a factor of 1 applies the curve fully.
void TransferCurveRule(const EffectState& e, EventRecord& f, std::int64_t, std::int64_t, RandomSource&) {
    ChangeKeepingNotesSounding(e, f, [&](std::int32_t& value) {
        if (value < 128) {
            value = Int32::Fit(Round(value + static_cast<double>(e.ValueMap[value] - value) / e.StepFactor));
        }
    });
}

std::optional<std::string> SetUpRandomExchange(EditSession& s, const EffectChoice&) {
    RandomExchange(s.effects, s.random);
    return std::nullopt;
}

std::optional<std::string> SetUpTransferCurve(EditSession& s, const EffectChoice& choice) {
    const std::optional<std::vector<std::string>> lines = ReadTextLines(s.DataFile(kEffectsFileName));
    if (!lines) return std::string(kEffectsFileName) + " could not be read";
    const std::vector<std::string> entries = EffectEntries(*lines);
    const int entry = choice.curveEntry.value_or(0);
    if (entry < 1 || static_cast<std::size_t>(entry) > entries.size()) {
        return std::string(kEffectsFileName) + " has no effect " + Dec(entry);
    }
    BuildCurve(s.effects, entries[static_cast<std::size_t>(entry) - 1]);
    return std::nullopt;
}

using enum EffectParameter;

// What each effect reads, how it is applied and what it shows. The value box and the note-or-All list
// (Target) hold the one key or velocity to change; RemoveFlats changes every black key.
constexpr EffectRow kEffects[] = {
    {Effect::Random, "Random", {NoteOrVolume, Step, Target}, {}, RandomRule, SetUpRandomExchange},
    {Effect::GraduallyIncrease, "Gradually Increase", {NoteOrVolume, Step, Target}, {}, GraduallyIncreaseRule,
     nullptr, StartGraduallyIncreasing},
    {Effect::Decrease, "Decrease", {NoteOrVolume, Step, Target}, {}, DecreaseRule},
    {Effect::GraduallyDecrease, "Gradually Decrease", {NoteOrVolume, Step, Target}, {}, GraduallyDecreaseRule,
     nullptr, StartGraduallyDecreasing},
    {Effect::Increase, "Increase", {NoteOrVolume, Step, Target}, {}, IncreaseRule},
    {Effect::RemoveFlats, "Remove Flats", {}, {}, RemoveFlatsRule},
    {Effect::KeySignature, "Key Signature", {Target, Key}, {}, KeySignatureRule},
    {Effect::MinorMelodic, "Minor Melodic", {Target, Root}, {}, MinorMelodicRule},
    {Effect::MinorHarmonic, "Minor Harmonic", {Target, Root}, {}, MinorHarmonicRule},
    // The window offers Step/Factor for these two as well, though the root takes the step factor's place.
    {Effect::MajorScale, "Effect#1", {Target, Root}, {Step}, MajorScaleRule},
    {Effect::BlueNotes, "Effect#2", {Target, Root}, {Step}, BlueNotesRule},
    {Effect::TransferCurve, std::nullopt, {NoteOrVolume, Step, Target}, {}, TransferCurveRule, SetUpTransferCurve},
};

constexpr bool RowsFollowTheEnum() {
    for (std::size_t i = 0; i < std::size(kEffects); ++i) {
        if (kEffects[i].effect != static_cast<Effect>(i)) return false;
    }
    return true;
}
static_assert(RowsFollowTheEnum(), "one row per effect, in the order of the enum");
static_assert(kEffects[std::size(kEffects) - 1].effect == Effect::TransferCurve,
              "effects1.dat's entries come after every fixed effect");

// The fixed effects: every row but the last (TransferCurve).
constexpr int kFixedEffectCount = static_cast<int>(std::size(kEffects)) - 1;

// Whether the keys or the velocities change, and which records may change with them.
void ReadNoteOrVolume(EffectState& e, const EffectRequest& r) {
    e.NoteOrVolume = r.notes ? EffectTarget::Notes : EffectTarget::Volume;
    if (e.NoteOrVolume == EffectTarget::Volume) {
        e.ValueColumn = 2;
        e.AllowZero = false;
        e.SelectMode = Selection::SoundingNotes;
    }
}

void ReadStep(EffectState& e, const EffectRequest& r) {
    const std::int64_t step = RoundToWidth<std::int16_t>(Val(r.step));
    e.StepFactor = step < 1 ? 1 : step;
}

// The one velocity, or in note mode the one pitch class, that a record must have to change.
void ReadTarget(EffectState& e, const EffectRequest& r) {
    const std::int64_t value = RoundToWidth<std::int32_t>(Val(r.value));
    e.TargetValue = value <= 0 ? std::nullopt : std::optional<std::int32_t>(value);
    if (e.ValueColumn == 1) e.TargetValue = r.pitchClass <= 0 ? std::nullopt : std::optional<std::int32_t>(r.pitchClass - 1);
}

// The pitch classes that the key signature alters, and the clef (Bass wins when both are ticked).
void ReadKey(EditSession& s, const EffectRequest& r) {
    EffectState& e = s.effects;
    e.KeyNumber = r.key + 1;
    e.KeyLastIndex = s.names.KeyAccidentals(e.KeyNumber, 1);
    e.KeyAlteration = s.names.KeyAccidentals(e.KeyNumber, 2);
    for (int i = 0; i <= e.KeyLastIndex; ++i) e.ScaleNotes[i] = s.names.KeyAccidentals(e.KeyNumber, 3 + i);
    e.ClefChoice = Clef::None;
    if (r.trebleClef) e.ClefChoice = Clef::Treble;
    if (r.bassClef) e.ClefChoice = Clef::Bass;
}

}  // namespace

std::vector<std::string> EffectEntries(const std::vector<std::string>& lines) {
    std::vector<std::string> entries;
    for (const std::string& line : lines) {
        if (line.find('=') != std::string::npos) {
            entries.push_back(line);
        } else if (!entries.empty()) {
            entries.back() += line;
        }
    }
    return entries;
}

void BuildCurve(EffectState& e, const std::string& entry) {
    const std::vector<std::int64_t> numbers = CurveNumbers(entry);
    const auto number = [&numbers](std::size_t i) { return i < numbers.size() ? numbers[i] : 0; };
    const std::int64_t points = number(0);
    std::int64_t xp = number(1), yp = number(2);
    for (std::int64_t k = 1; k < points; ++k) {
        const std::int64_t x = number(static_cast<std::size_t>(1 + 2 * k));
        const std::int64_t y = number(static_cast<std::size_t>(2 + 2 * k));
        // A point that does not lie to the right of the one before fills nothing; the next segment starts there.
        if (x > xp) {
            for (std::int64_t i = xp; i <= x; ++i) e.ValueMap[i] = yp + RoundedQuotient((y - yp) * (i - xp), x - xp);
        }
        xp = x;
        yp = y;
    }
    for (int level = 0; level <= 128; ++level) {
        const std::int64_t v = e.ValueMap[8 * level];
        e.ValueMap[level] = v >= 0 ? v / 8 : -((-v + 7) / 8);
    }
}

std::span<const EffectRow> EffectTable() { return kEffects; }

const EffectRow& RowOf(Effect effect) { return kEffects[static_cast<std::size_t>(effect)]; }

EffectParameters ShownParameters(Effect effect) {
    const EffectRow& row = RowOf(effect);
    return row.reads.With(row.alsoShown);
}

std::optional<EffectChoice> EffectAt(int listIndex) {
    if (listIndex < 0) return std::nullopt;
    if (listIndex < kFixedEffectCount) return EffectChoice{static_cast<Effect>(listIndex), std::nullopt};
    return EffectChoice{Effect::TransferCurve, listIndex - kFixedEffectCount + 1};
}

int ListIndexOf(const EffectChoice& choice) {
    if (choice.effect != Effect::TransferCurve) return static_cast<int>(choice.effect);
    return kFixedEffectCount + choice.curveEntry.value_or(1) - 1;
}

std::optional<std::string> PrepareEffect(EditSession& s, const EffectRequest& r) {
    const std::optional<EffectChoice> choice = r.effect ? EffectAt(*r.effect) : std::nullopt;
    if (!choice) return std::string("No effect is chosen");
    EffectState& e = s.effects;
    e.ChosenEffect = choice->effect;
    const EffectRow& row = RowOf(choice->effect);
    e.ValueColumn = 1;
    e.SelectMode = Selection::All;
    e.AllowZero = true;
    e.TargetValue.reset();
    if (row.reads.Has(NoteOrVolume)) ReadNoteOrVolume(e, r);
    if (row.reads.Has(Step)) ReadStep(e, r);
    if (row.reads.Has(Target)) ReadTarget(e, r);
    if (row.reads.Has(Key)) ReadKey(s, r);
    if (row.reads.Has(Root)) e.StepFactor = r.minorStep;
    return row.setUp ? row.setUp(s, *choice) : std::nullopt;
}

bool IsSelected(const EffectState& e, const EventRecord& f) {
    if (f.Kind != RowKind::Note && f.Kind != RowKind::DrumProgram) return false;
    const int c = e.ValueColumn;
    const std::int64_t u = c == 1 ? ((f.Data1 % 12) + 12) % 12 : ValueOf(f, c);
    if (!e.AllowZero && u < 1) return false;
    if (e.TargetValue && u != *e.TargetValue) return false;
    return e.SelectMode == Selection::All || f.NoteState == kNoteSounds;
}

void TransformTrack(EffectState& e, std::vector<EventRecord>& records, RandomSource& random) {
    const EffectRow& row = RowOf(e.ChosenEffect);
    if (row.startTrack && !row.startTrack(e, records)) return;
    const std::int64_t n = static_cast<std::int64_t>(records.size()) - 1;
    for (std::int64_t m = 0; m <= n; ++m) {
        EventRecord& f = records[m];
        if (!IsSelected(e, f)) continue;
        row.rule(e, f, m, n, random);
        Bound(f);
    }
}

void TransformRecords(EditSession& s) {
    SongModel& m = s.song;
    std::vector<EventRecord> records;
    const std::int64_t count = static_cast<std::int64_t>(m.RecordCount);
    for (std::int64_t r = 1; r <= count; ++r) records.push_back(m.Notes.Values(r));
    TransformTrack(s.effects, records, s.random);
    m.Notes.Replace(records);
}

bool EffectCommand::Prepare(EditSession& s) {
    std::optional<std::string> problem;
    if (!RunGuarded(s, [&] { problem = PrepareEffect(s, request_); })) return false;
    if (problem) {
        s.Message(*problem, Icon::Warning);
        return false;
    }
    return true;
}

void EffectCommand::Apply(EditSession& s) {
    SongModel& m = s.song;
    const int only = request_.onlyTrack;
    // Every track is rebuilt into one new working copy, which replaces the old one once.
    RunGuarded(s, [&] {
        RewriteTracks(s, [&](SongRewrite& rewrite) {
            for (int t = 1; t <= m.TracksFound; ++t) {
                if (only > 0 && t != only) continue;
                m.CurrentTrack = t;
                ParseTrack(s);
                if (m.RecordCount == 0 || !m.TrackComplete) continue;
                const bool drums = m.DrumRowDone;
                if ((request_.melodyTracks && !drums) || (request_.drumTracks && drums)) {
                    TransformRecords(s);
                    rewrite.RebuildTrack(RewriteMode::Effects, ChunkMessages::Show);
                }
            }
        });
    });
    BuildReport(s);
}

}  // namespace sonivex
