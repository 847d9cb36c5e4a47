// "Apply" in the Instruments frame: the song gets the melody programs and the drum notes of a style.
#include "style.h"

#include <algorithm>

#include "edit_commands.h"
#include "reader/data_files.h"
#include "reader/files.h"
#include "reader/load.h"
#include "reader/parse.h"
#include "reader/text.h"
#include "report/ranking.h"
#include "report/report.h"
#include "writer.h"

namespace sonivex {

namespace {

constexpr int kMaxStyleNumbers = 40;

// The first `limit` entries when a "Max #:" list shows a number below the list's length.
void Limit(std::vector<int>& list, int listIndex) {
    if (listIndex > 0 && listIndex < static_cast<int>(list.size())) list.resize(static_cast<std::size_t>(listIndex));
}

// Keeps the numbers from `low` to `high`, in order.
std::vector<int> InRange(const std::vector<int>& list, int low, int high) {
    std::vector<int> kept;
    for (int v : list) {
        if (v >= low && v <= high) kept.push_back(v);
    }
    return kept;
}

// Orders `keys` by descending value, equal values as every ranking of the program orders them.
template <typename Value>
void RankKeys(std::vector<int>& keys, Value value) {
    std::vector<std::int64_t> weights;
    weights.reserve(keys.size());
    for (const int key : keys) weights.push_back(value(key));
    std::vector<int> ranked;
    ranked.reserve(keys.size());
    for (const std::size_t place : RankedOrder(weights)) ranked.push_back(keys[place]);
    keys = std::move(ranked);
}

void MelodyPart(EditSession& s, const std::string& line, int limit) {
    SongModel& m = s.song;
    std::vector<int> programs = ParseStyleLine(line).programs;
    Limit(programs, limit);
    programs = InRange(programs, 1, 128);
    const std::vector<std::int32_t> newPrograms = DealPrograms(m, programs);
    // Every program byte is patched in memory and the working copy replaced whole, so it is never half-changed.
    const auto path = s.WorkFile(m.TempFileName);
    if (std::optional<Bytes> bytes = ReadWholeFile(path)) {
        bool changed = false;
        for (int entry = 1; entry < m.ProgramChangeCount; ++entry) {
            const std::int32_t program = newPrograms[static_cast<std::size_t>(entry)];
            const std::int64_t at = m.ProgramChangePos[entry];  // the 0-based offset of the program byte
            if (program < 0 || at < 0 || at >= static_cast<std::int64_t>(bytes->size())) continue;
            (*bytes)[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(program);
            changed = true;
        }
        if (changed) ReplaceWorkingCopy(s, AsText(*bytes));
    } else {
        s.Message(path.string() + " could not be read", Icon::Critical);
    }
    ReadTrackChunks(s);
    BuildReport(s);
}

void DrumPart(EditSession& s, const std::string& line, int limit) {
    SongModel& m = s.song;
    if (!s.report.HasDrumTrack) return;
    std::vector<int> notes = StyleDrumNotes(line);
    Limit(notes, limit);
    notes = InRange(notes, 0, 127);
    s.drumNoteMap = DrumNoteMapFor(m.Counts, notes);
    // The drum tracks are rebuilt into one new working copy, which replaces the old one once.
    const bool ok = RunGuarded(s, [&] {
        RewriteTracks(s, [&](SongRewrite& rewrite) {
            for (int t = 1; t <= m.TracksFound; ++t) {
                m.CurrentTrack = t;
                ParseTrack(s);
                if (!notes.empty() && m.RecordCount > 0 && m.DrumRowDone && m.TrackComplete) {
                    rewrite.RebuildTrack(RewriteMode::SubstituteDrums, ChunkMessages::Show);
                }
            }
        });
    });
    if (ok) BuildReport(s);
}

}  // namespace

std::vector<int> StyleDrumNotes(const std::string& line) {
    std::vector<int> notes;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) return notes;
    const std::size_t drum = LowerAscii(line).find("drum", eq + 1);
    if (drum == std::string::npos) return notes;
    std::size_t from = drum + 5;
    while (from <= line.size()) {
        const std::size_t comma = line.find(',', from);
        const std::string token = line.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        if (static_cast<int>(notes.size()) == kMaxStyleNumbers) throw RunError(kSubscript);
        notes.push_back(RoundToWidth<std::int16_t>(Val(token)));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return notes;
}

std::vector<std::int32_t> DealPrograms(const SongModel& m, const std::vector<int>& programs) {
    std::vector<std::int32_t> dealt(static_cast<std::size_t>(std::max<int>(m.ProgramChangeCount, 1)), -1);
    if (programs.empty()) return dealt;
    std::vector<int> tracks;
    for (int t = 1; t <= m.TracksFound; ++t) tracks.push_back(t);
    RankKeys(tracks, [&m](int t) { return static_cast<std::int64_t>(m.TrackDataLength[t]); });
    // Each track's changes, in order; a change of a track beyond those found is dealt none.
    std::vector<std::vector<int>> changesOf(static_cast<std::size_t>(std::max<int>(m.TracksFound, 0)) + 1);
    for (int entry = 1; entry < m.ProgramChangeCount; ++entry) {
        const std::int32_t t = m.ProgramChangeTrack[entry];
        if (t < 1 || t > m.TracksFound || m.ProgramChangeProgram[entry] < 0) continue;
        changesOf[static_cast<std::size_t>(t)].push_back(entry);
    }
    std::size_t p = 0;
    for (int t : tracks) {
        for (const int entry : changesOf[static_cast<std::size_t>(t)]) {
            dealt[static_cast<std::size_t>(entry)] = programs[p] - 1;
            p = (p + 1) % programs.size();
        }
    }
    return dealt;
}

DrumNoteMap DrumNoteMapFor(const SongCounts& counts, const std::vector<int>& notes) {
    DrumNoteMap map;
    map.Fill(-1);
    if (notes.empty()) return map;
    std::vector<int> ranked;
    for (int n = 0; n <= 127; ++n) ranked.push_back(n);
    RankKeys(ranked, [&counts](int n) { return static_cast<std::int64_t>(counts.DrumNoteCount[n]); });
    for (std::size_t r = 0; r < ranked.size(); ++r) map[ranked[r]] = notes[r % notes.size()];
    return map;
}

bool StyleCommand::Prepare(EditSession& s) {
    const std::optional<int> wanted = request_.style;
    const std::optional<std::vector<std::string>> lines = ReadTextLines(s.DataFile(kStyleFileName));
    if (!lines) {
        s.Message(std::string(kStyleFileName) + " does not exist", Icon::Warning);
        return false;
    }
    // The style is the line that the list shows at that place: the S-th line that holds "=".
    int seen = 0;
    for (const std::string& candidate : *lines) {
        if (candidate.find('=') == std::string::npos) continue;
        if (seen++ == wanted) {  // none chosen: no line
            line_ = candidate;
            return true;
        }
    }
    s.Message(std::string(kStyleFileName) + " has no style " + Dec(wanted ? *wanted + 1 : 0), Icon::Warning);
    return false;
}

void StyleCommand::Apply(EditSession& s) {
    if (request_.melody && RunGuarded(s, [&] { ParseStyleLine(line_); })) MelodyPart(s, line_, request_.programLimit);
    if (request_.drums && RunGuarded(s, [&] { StyleDrumNotes(line_); })) DrumPart(s, line_, request_.drumNoteLimit);
}

}  // namespace sonivex
