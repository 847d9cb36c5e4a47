#include "listing.h"

#include <charconv>

#include "reader/data_files.h"
#include "reader/notes_file.h"
#include "reader/parse.h"
#include "reader/text.h"
#include "report.h"

namespace sonivex {

namespace {

bool Between(int v, int low, int high) { return v >= low && v <= high; }

// The columns before the description, laid out in a fixed buffer. Values wider than their column push the
// rest of the line to the right.
class FixedLine {
public:
    void Char(char c) { text_[length_++] = c; }
    void Blanks(int count) {
        for (int i = 0; i < count; ++i) text_[length_++] = ' ';
    }
    void PadTo(int length) { Blanks(length - length_); }
    void Text(const char* text, int length) {
        for (int i = 0; i < length; ++i) text_[length_++] = text[i];
    }
    void Number(std::int32_t v) { length_ = static_cast<int>(std::to_chars(text_ + length_, text_ + sizeof text_, v).ptr - text_); }
    void RightNumber(std::int32_t v, int width) {
        char digits[16];
        const int length = static_cast<int>(std::to_chars(digits, digits + sizeof digits, v).ptr - digits);
        Blanks(width - length);
        Text(digits, length);
    }
    const char* Data() const { return text_; }
    int Length() const { return length_; }

private:
    char text_[128];
    int length_ = 0;
};

// The kit of a program change on the drum channel, as an index of DrumKitNames.
int DrumKitIndex(int program) {
    const int g = program / 8, f = program % 8;
    if (g <= 2) return g + 1;
    if (g == 3) return f == 0 ? 4 : 5;
    if (g == 4) return f == 0 ? 5 : 6;
    if (g == 5) return 7;
    if (g == 6) return 8;
    return 9;
}

std::string ControllerName(const NameTables& t, int controller) {
    for (int i = 1;; ++i) {
        if (t.ControllerNumbers[i] == controller) return t.ControllerNames[i];
        if (t.ControllerNumbers[i] == -1) return Dec(controller);
    }
}

std::string DrumName(Session& s, int key, std::int64_t record, DrumMemory& drum) {
    if (key == drum.key && record - drum.record < 2) return drum.name;
    std::string name = DrumLine(s, key);
    if (key < 27 || name.empty()) name = "unknown";
    drum.key = key;
    drum.record = record;
    drum.name = name;
    return name;
}

}  // namespace

std::string ListingLine(Session& s, const std::array<std::int32_t, 7>& fields, std::int64_t record,
                        DrumMemory& drum) {
    std::string line;
    FormatListingLine(line, s, fields, record, drum);
    return line;
}

void FormatListingLine(std::string& line, Session& s, const std::array<std::int32_t, 7>& fields,
                       std::int64_t record, DrumMemory& drum) {
    int status = fields[0];
    if (status < -1) status = -status;  // a running-status event is listed like its status
    const bool channelEvent = Between(status, 128, 239);
    const bool note = Between(status, 128, 159);
    const bool drumNote = status == 137 || status == 153;

    FixedLine fixed;
    fixed.Blanks(8);
    if (channelEvent) {
        fixed.Char('C');
        fixed.Number(status % 16 + 1);
    }
    fixed.PadTo(11);
    const int firstStart = fixed.Length();
    // The first value: a note name right-aligned in 4 with no lead gap, or a number in 3 after one blank; the
    // two together fill 6 characters.
    if (note && !drumNote) {
        const int key = fields[1];
        const std::string& pitch = s.names.NoteNames[key % 12 + 1];
        char octave[16];
        const char* octaveEnd = std::to_chars(octave, octave + sizeof octave, key / 12).ptr;
        const int width = static_cast<int>(pitch.size() + (octaveEnd - octave));
        fixed.Blanks(4 - width);
        fixed.Text(pitch.data(), static_cast<int>(pitch.size()));
        fixed.Text(octave, static_cast<int>(octaveEnd - octave));
    } else {
        fixed.Char(' ');
        if (fields[1] >= 0) fixed.RightNumber(fields[1], 3);
    }
    fixed.PadTo(firstStart + 6);
    const int secondStart = fixed.Length();
    if (fields[2] >= 0) fixed.RightNumber(fields[2], 3);
    fixed.PadTo(secondStart + 4);
    const int deltaStart = fixed.Length();
    if (fields[3] >= 0) fixed.RightNumber(fields[3], 6);
    fixed.PadTo(deltaStart + 6);
    fixed.Char(' ');
    line.assign(fixed.Data(), static_cast<std::size_t>(fixed.Length()));

    const std::size_t describeFrom = line.size();
    if (Between(status, 224, 239)) line += "Pitch Change";
    if (Between(status, 208, 223)) line += "Channel Pressure";
    if (Between(status, 160, 175)) line += "Polyphonic Pressure";
    if (status == 240 || status == 247) line += "System Exclusive";
    if (fields[2] >= 0) {
        if (Between(status, 144, 159)) line += fields[2] < 1 ? "Off" : "On ";
        if (Between(status, 128, 143)) line += "Off";
        if (drumNote) {
            line += " - ";
            line += DrumName(s, fields[1], record, drum);
        }
    }
    if (Between(status, 176, 191)) {
        line += "Controller: ";
        line += ControllerName(s.names, fields[1]);
    }
    if (fields[5] == -2) line += "Text";
    if (status == 81) line += "Set Tempo";
    if (status == 88) line += "Time Signature";
    if (Between(status, 192, 207)) {
        if (status == 201) {
            line += "Drum Set: ";
            line += s.names.DrumKitNames[DrumKitIndex(fields[1])];
        } else {
            line += "Instrument: ";
            line += ProgramName(s, fields[1]);
        }
    }
    // The description loses its trailing blanks; the blank before it stays.
    std::size_t end = line.size();
    while (end > describeFrom && line[end - 1] == ' ') --end;
    line.resize(end);
}

void ListTrackEvents(Session& s) {
    SongModel& m = s.song;
    m.NotesFileInUse = 1;
    for (int i = 0; i <= 16; ++i) m.ProgramUsed[i] = 0;
    const std::int64_t count = static_cast<std::int64_t>(m.EventCount) + 1;
    std::string records;
    {
        NotesFile notes;
        notes.Open(s.ProgramFile(kNotesFileName));
        records = notes.ReadRecords(1, count);
    }
    DrumMemory drum;  // every track starts with no drum note remembered
    std::string line;
    for (std::int64_t r = 0; r < count; ++r) {
        const std::array<std::int32_t, 7> fields = ReadRecordFields(records.data() + r * kRecordSize);
        for (int c = 0; c < 7; ++c) m.EventRows(0, c) = fields[c];
        FormatListingLine(line, s, fields, r, drum);
        m.Log.WriteLine(line);
        m.TrackTime += fields[3];
    }
    WriteLogHeader(s);
    if (m.TimeFactor == -1) {
        m.Log.WriteLine("Total Time: ?");
    } else {
        m.Log.WriteLine("Total Time: " + PlayingTime(s, m.TrackTime).text);
    }
}

}  // namespace sonivex
