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

const char* const kCrLf = "\r\n";
constexpr int kPercussiveGroup = 14;
constexpr int kGroupSlots = 17;

const char* const kGroupNames[] = {
    "Piano",  "Chromatic Percussion", "Organ",      "Guitar",    "Bass",          "Strings",
    "Ensemble", "Brass",              "Reed",       "Pipe",      "Synth Lead",    "Synth Pad",
    "Synth Effects", "Ethnic",        "Percussive", "Sound Effects",
};

std::string GroupName(int group) { return group >= 0 && group < 16 ? kGroupNames[group] : ""; }

// The first ten numbers of one kind in ranked order, joined by commas. Melody programs are shown from 1.
std::string MainTen(const ReportState& rep, int kind) {
    std::string list;
    int listed = 0;
    for (int i = 0; i < rep.InstrumentCount && listed < 10; ++i) {
        if (rep.InstrumentKind[i] != kind) continue;
        if (listed > 0) list += ",";
        const int number = rep.InstrumentNumber[i];
        list += Dec(kind == 1 ? number + 1 : number);
        ++listed;
    }
    return list;
}

}  // namespace

void BuildInstrumentList(ReportSession& s) {
    SongModel& m = s.song;
    ReportState& rep = s.report;
    for (int g = 0; g < kGroupSlots; ++g) rep.GroupNumber[g] = g;
    for (int i = 0; i <= 255; ++i) {
        const std::int32_t weight = m.InstrumentTicks[i];
        if (weight < 1) continue;
        const int n = rep.InstrumentCount;
        if (i >= 128) {
            const int key = i - 128;
            const std::string drum = key >= 27 ? DrumLine(s, key) : "unknown percussion";
            rep.InstrumentName[n] = drum + " (" + Dec(key) + ")";
            rep.InstrumentKind[n] = 2;
            rep.InstrumentNumber[n] = key;
            rep.GroupWeight[kPercussiveGroup] += weight;
            ++rep.RhythmInstrumentCount;
        } else {
            rep.InstrumentName[n] = ProgramName(s, i);
            rep.InstrumentKind[n] = 1;
            rep.InstrumentNumber[n] = i;
            rep.GroupWeight[i / 8] += weight;
            ++rep.MelodyInstrumentCount;
        }
        rep.InstrumentWeight[n] = weight;
        ++rep.InstrumentCount;
    }

    const int n = rep.InstrumentCount;
    RankHeaviestFirst(
        n, [&rep](std::int64_t i) { return static_cast<std::int64_t>(rep.InstrumentWeight[i]); },
        [&rep](std::int64_t a, std::int64_t b) {
            std::swap(rep.InstrumentName[a], rep.InstrumentName[b]);
            std::swap(rep.InstrumentWeight[a], rep.InstrumentWeight[b]);
            std::swap(rep.InstrumentKind[a], rep.InstrumentKind[b]);
            std::swap(rep.InstrumentNumber[a], rep.InstrumentNumber[b]);
        });

    m.ChannelTable += std::string(kCrLf) + "MAIN INSTRUMENTS:" + kCrLf;
    for (int i = 0; i < n; ++i) {
        m.ChannelTable += PadRight(rep.InstrumentName[i], 29) + PadLeft(Str(rep.InstrumentWeight[i]), 7) + kCrLf;
    }
    rep.MainTenText = std::string("Main 10 Melody Instruments:") + kCrLf + MainTen(rep, 1) + kCrLf + kCrLf +
                      "Main 10 Drum Instruments:" + kCrLf + MainTen(rep, 2);
    rep.SummaryText += "Number of Instruments :" + Str(rep.InstrumentCount) + kCrLf;
    rep.SummaryText += "(Melody)              :" + Str(rep.MelodyInstrumentCount) + kCrLf;
    rep.SummaryText += "(Rhythm)              :" + Str(rep.RhythmInstrumentCount) + kCrLf;
    rep.SummaryText += "Main Instrument       : " + rep.InstrumentName[0] + kCrLf;
}

void ClassifyStyle(ReportSession& s) {
    SongModel& m = s.song;
    ReportState& rep = s.report;
    rep.BestStyle = "unknown";
    rep.BestScore = 0;
    rep.BestMatches = 0;
    const int changes = m.ProgramChangeCount - 1;
    if (changes == 0) return;
    std::optional<std::vector<std::string>> lines = ReadTextLines(s.DataFile(kStyleFileName));
    if (!lines) throw RunError(kBadFileNumber);  // the open failed, so the read that follows fails
    // How many changes set each program (counted from 1), so that a style's matches take one look per program.
    std::unordered_map<std::int64_t, std::int64_t> changesTo;
    for (int c = 1; c <= changes; ++c) ++changesTo[static_cast<std::int64_t>(m.ProgramChangeProgram[c]) + 1];
    for (const std::string& line : *lines) {
        if (line.empty()) continue;
        const StyleLine style = ParseStyleLine(line);
        rep.StyleLineName = style.name;
        for (std::size_t k = 0; k < style.programs.size(); ++k) rep.StylePrograms[k + 1] = style.programs[k];
        rep.StyleMatches = 0;
        for (int program : style.programs) {
            const auto found = changesTo.find(program);
            if (found != changesTo.end()) rep.StyleMatches += found->second;
        }
        const auto score = static_cast<std::int64_t>(std::floor(static_cast<double>(rep.StyleMatches) / changes * 100));
        // Ties go to the later line; a file in which no line matches gives its last line.
        if (score >= rep.BestScore) {
            rep.BestStyle = rep.StyleLineName;
            rep.BestMatches = rep.StyleMatches;
            rep.BestScore = score;
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

    m.ChannelTable += std::string(kCrLf) + "MAIN INSTRUMENT GROUPS:" + kCrLf;
    ClassifyStyle(s);
    for (int p = 0; p < kGroupSlots && rep.GroupWeight[p] != 0; ++p) {
        const std::string name = GroupName(rep.GroupNumber[p]);
        const auto percent = static_cast<std::int64_t>(
            std::floor(static_cast<double>(rep.GroupWeight[p]) / rep.GroupWeightTotal * 100));
        m.ChannelTable += PadRight(name, 32) + PadLeft(Str(percent), 4) + "%" + kCrLf;
        if (p == 0) rep.FirstGroupName = name;
        if (p == 1) rep.SecondGroupName = name;
    }

    std::int64_t complexity = static_cast<std::int64_t>(m.DeltaValueKinds) + m.PitchBendCount + m.ProgramChangeTotal;
    for (int j = 0; j <= 127; ++j) {
        if (m.NoteCount[j] > 0) complexity += 1;
        if (m.DrumNoteCount[j] > 0) complexity += 2;
        if (m.VelocityCount[j] > 0) complexity += 1;
        complexity += m.ControllerStats(1, j);
    }
    const Int32 sum = complexity;
    rep.ComplexScore = static_cast<std::int64_t>(std::floor(static_cast<double>(sum) / 384 * 100));

    rep.SummaryText += "Main Instrument Groups: " + rep.FirstGroupName + kCrLf;
    rep.SummaryText += std::string(24, ' ') + rep.SecondGroupName + kCrLf;
    rep.SummaryText += "Style                 : " + rep.BestStyle + kCrLf;
    rep.SummaryText += "Complex               :" + Str(rep.ComplexScore) + kCrLf;
}

}  // namespace sonivex
