#include "instruments.h"

#include <cmath>
#include <unordered_map>
#include <utility>

#include "ranking.h"
#include "reader/data_files.h"
#include "reader/files.h"
#include "reader/text.h"

namespace sonivex {

namespace {

constexpr int kPercussiveGroup = 14;
constexpr int kGroupSlots = 17;

const char* const kGroupNames[] = {
    "Piano",  "Chromatic Percussion", "Organ",      "Guitar",    "Bass",          "Strings",
    "Ensemble", "Brass",              "Reed",       "Pipe",      "Synth Lead",    "Synth Pad",
    "Synth Effects", "Ethnic",        "Percussive", "Sound Effects",
};

std::string GroupName(int group) { return group >= 0 && group < 16 ? kGroupNames[group] : ""; }

// The first ten numbers of one kind in ranked order. Melody programs are shown from 1.
std::vector<int> MainTen(const std::vector<Report::Instrument>& instruments, Report::InstrumentKind kind) {
    std::vector<int> list;
    for (const Report::Instrument& i : instruments) {
        if (list.size() == 10) break;
        if (i.kind == kind) list.push_back(kind == Report::InstrumentKind::Melody ? i.number + 1 : i.number);
    }
    return list;
}

}  // namespace

void BuildInstrumentList(ReportSession& s) {
    SongModel& m = s.song;
    ReportState& rep = s.report;
    Report& report = rep.Built;
    for (int g = 0; g < kGroupSlots; ++g) rep.GroupNumber[g] = g;
    std::vector<Report::Instrument>& list = report.instruments;
    list.clear();
    for (int i = 0; i <= 255; ++i) {
        const std::int32_t weight = m.Counts.InstrumentTicks[i];
        if (weight < 1) continue;
        if (i >= 128) {
            const int key = i - 128;
            const std::string drum = key >= 27 ? DrumLine(s, key) : "unknown percussion";
            list.push_back({drum + " (" + Dec(key) + ")", Report::InstrumentKind::Rhythm, key, weight});
            rep.GroupWeight[kPercussiveGroup] += weight;
            ++report.rhythmCount;
        } else {
            list.push_back({ProgramName(s, i), Report::InstrumentKind::Melody, i, weight});
            rep.GroupWeight[i / 8] += weight;
            ++report.melodyCount;
        }
    }
    RankHeaviestFirst(
        static_cast<std::int64_t>(list.size()), [&list](std::int64_t i) { return list[static_cast<std::size_t>(i)].weight; },
        [&list](std::int64_t a, std::int64_t b) { std::swap(list[static_cast<std::size_t>(a)], list[static_cast<std::size_t>(b)]); });
    report.mainTenMelody = MainTen(list, Report::InstrumentKind::Melody);
    report.mainTenDrum = MainTen(list, Report::InstrumentKind::Rhythm);
}

void ClassifyStyle(ReportSession& s) {
    SongModel& m = s.song;
    ReportState& rep = s.report;
    rep.Built.style = "unknown";
    const int changes = m.ProgramChangeCount - 1;
    if (changes == 0) return;
    const std::shared_ptr<const std::vector<std::string>> lines = s.dataFiles.Lines(s.DataFile(kStyleFileName));
    if (!lines) throw RunError(kBadFileNumber);  // the open failed, so the read that follows fails
    // How many changes set each program (counted from 1), so that a style's matches take one look per program.
    std::unordered_map<std::int64_t, std::int64_t> changesTo;
    for (int c = 1; c <= changes; ++c) ++changesTo[static_cast<std::int64_t>(m.ProgramChangeProgram[c]) + 1];
    std::int64_t bestScore = 0;
    for (const std::string& line : *lines) {
        if (line.empty()) continue;
        const StyleLine style = ParseStyleLine(line);
        Int32 matches = 0;  // wider counts than a 32-bit number end the report with an overflow
        for (int program : style.programs) {
            const auto found = changesTo.find(program);
            if (found != changesTo.end()) matches += found->second;
        }
        const auto score = static_cast<std::int64_t>(std::floor(static_cast<double>(matches) / changes * 100));
        // Ties go to the later line; a file in which no line matches gives its last line.
        if (score >= bestScore) {
            rep.Built.style = style.name;
            bestScore = score;
        }
    }
}

void AppendGroupsAndStyle(ReportSession& s) {
    SongModel& m = s.song;
    ReportState& rep = s.report;
    RankHeaviestFirst(
        kGroupSlots, [&rep](std::int64_t g) { return static_cast<std::int64_t>(rep.GroupWeight[g]); },
        [&rep](std::int64_t a, std::int64_t b) {
            std::swap(rep.GroupWeight[a], rep.GroupWeight[b]);
            std::swap(rep.GroupNumber[a], rep.GroupNumber[b]);
        });
    rep.GroupWeightTotal = 0;
    for (int g = 0; g < kGroupSlots; ++g) rep.GroupWeightTotal += rep.GroupWeight[g];

    ClassifyStyle(s);
    Report& report = rep.Built;
    report.groups.clear();
    for (int p = 0; p < kGroupSlots && rep.GroupWeight[p] != 0; ++p) {
        const std::string name = GroupName(rep.GroupNumber[p]);
        const auto percent = static_cast<std::int64_t>(
            std::floor(static_cast<double>(rep.GroupWeight[p]) / rep.GroupWeightTotal * 100));
        report.groups.push_back({name, rep.GroupWeight[p], percent});
        if (p == 0) report.firstGroup = name;
        if (p == 1) report.secondGroup = name;
    }

    std::int64_t complexity = static_cast<std::int64_t>(m.Counts.DeltaValueKinds) + m.Counts.PitchBendCount + m.Counts.ProgramChangeTotal;
    for (int j = 0; j <= 127; ++j) {
        if (m.Counts.NoteCount[j] > 0) complexity += 1;
        if (m.Counts.DrumNoteCount[j] > 0) complexity += 2;
        if (m.Counts.VelocityCount[j] > 0) complexity += 1;
        complexity += m.Counts.ControllerEvents[j];
    }
    const Int32 sum = complexity;
    const Int32 score = static_cast<std::int64_t>(std::floor(static_cast<double>(sum) / 384 * 100));
    report.complexity = score;
}

}  // namespace sonivex
