#include "data_files.h"

#include "files.h"
#include "text.h"

namespace sonivex {

namespace {

constexpr int kMaxStylePrograms = 40;

void LoadNames(SongSession& s) {
    NameFileLines& rep = s.nameFile;
    if (rep.NamesLoaded) return;
    const std::shared_ptr<const std::vector<std::string>> lines = s.dataFiles.Lines(s.DataFile(kNameFileName));
    if (!lines) throw RunError(kBadFileNumber);  // the open failed, so the read that follows fails
    rep.NameLines = *lines;
    rep.NameEntries.clear();
    for (const std::string& line : rep.NameLines) {
        for (std::string& entry : DelimitedEntries(line)) rep.NameEntries.push_back(std::move(entry));
    }
    rep.RhythmLine = 0;
    while (rep.RhythmLine < rep.NameLines.size() && rep.NameLines[rep.RhythmLine] != "RHYTHM:") ++rep.RhythmLine;
    rep.NamesLoaded = true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

void ForgetNames(SongSession& s) {
    s.nameFile.NamesLoaded = false;
    s.nameFile.NameLines.clear();
    s.nameFile.NameEntries.clear();
}

std::vector<std::string> DelimitedEntries(const std::string& line) {
    std::vector<std::string> entries;
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        std::string entry;
        if (i < line.size() && line[i] == '"') {
            std::size_t close = line.find('"', i + 1);
            entry = line.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
            i = close == std::string::npos ? line.size() : close + 1;
            std::size_t comma = line.find(',', i);
            i = comma == std::string::npos ? line.size() : comma;
        } else {
            std::size_t comma = line.find(',', i);
            std::size_t end = comma == std::string::npos ? line.size() : comma;
            entry = line.substr(i, end - i);
            while (!entry.empty() && IsBlank(entry.back())) entry.pop_back();
            i = end;
        }
        entries.push_back(entry);
        if (i >= line.size()) break;
        ++i;  // past the comma
    }
    return entries;
}

std::string ProgramName(SongSession& s, int program) {
    LoadNames(s);
    const std::vector<std::string>& entries = s.nameFile.NameEntries;
    const std::int64_t index = static_cast<std::int64_t>(program) + 1;  // entry program + 2, counted from 1
    if (index < 0 || index >= static_cast<std::int64_t>(entries.size())) throw RunError(kPastEndOfFile);
    const std::string& entry = entries[static_cast<std::size_t>(index)];
    const std::size_t eq = entry.find('=');
    return eq == std::string::npos ? entry : entry.substr(eq + 1);
}

const std::string& DrumLine(SongSession& s, int key) {
    LoadNames(s);
    const std::vector<std::string>& lines = s.nameFile.NameLines;
    const std::size_t at = s.nameFile.RhythmLine;
    if (at == lines.size()) throw RunError(kPastEndOfFile);
    if (key <= 26) return lines[at];  // no line after "RHYTHM:" is read
    const std::int64_t index = static_cast<std::int64_t>(at) + key - 26;
    if (index < 0 || index >= static_cast<std::int64_t>(lines.size())) throw RunError(kPastEndOfFile);
    return lines[static_cast<std::size_t>(index)];
}

StyleLine ParseStyleLine(const std::string& line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) throw RunError(kIllegalCall);
    StyleLine style;
    style.name = line.substr(0, eq);
    std::size_t from = eq + 1;
    for (;;) {
        const std::size_t comma = line.find(',', from);
        const std::string field = line.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        // "drum" followed by a comma ends the programs; as the last field it reads as a number like any other.
        if (comma != std::string::npos && LowerAscii(field) == "drum") break;
        if (static_cast<int>(style.programs.size()) == kMaxStylePrograms) throw RunError(kSubscript);
        style.programs.push_back(RoundToWidth<std::int16_t>(Val(field)));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return style;
}

}  // namespace sonivex
