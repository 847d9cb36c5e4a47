#include "listing.h"

#include "reader/data_files.h"
#include "reader/notes_file.h"
#include "reader/parse.h"
#include "reader/text.h"
#include "report.h"

namespace sonivex {

namespace {

bool Between(int v, int low, int high) { return v >= low && v <= high; }

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
    std::string col[5];
    int status = fields[0];
    if (status < -1) status = -status;  // a running-status event is listed like its status
    std::string gap = " ";
    bool drumNote = false;
    if (status > 0) {
        if (Between(status, 128, 239)) col[0] = "C" + Dec(status % 16 + 1);
        if (Between(status, 128, 159)) {
            if (status == 137 || status == 153) {
                drumNote = true;
            } else {
                const int key = fields[1];
                col[1] = PadLeft(s.names.NoteNames[key % 12 + 1] + Dec(key / 12), 4);
                gap.clear();
            }
        }
    }
    if (col[1].empty() && fields[1] >= 0) col[1] = PadLeft(Dec(fields[1]), 3);
    if (col[2].empty() && fields[2] >= 0) col[2] = PadLeft(Dec(fields[2]), 3);
    if (col[3].empty() && fields[3] >= 0) col[3] = PadLeft(Dec(fields[3]), 6);

    std::string& text = col[4];
    if (Between(status, 224, 239)) text = "Pitch Change";
    if (Between(status, 208, 223)) text = "Channel Pressure";
    if (Between(status, 160, 175)) text = "Polyphonic Pressure";
    if (status == 240 || status == 247) text = "System Exclusive";
    if (fields[2] >= 0) {
        if (Between(status, 144, 159)) text += fields[2] < 1 ? "Off" : "On ";
        if (Between(status, 128, 143)) text += "Off";
        if (drumNote) text += " - " + DrumName(s, fields[1], record, drum);
    }
    if (Between(status, 176, 191)) text += "Controller: " + ControllerName(s.names, fields[1]);
    if (fields[5] == -2) text += "Text";
    if (status == 81) text += "Set Tempo";
    if (status == 88) text += "Time Signature";
    if (Between(status, 192, 207)) {
        if (status == 201) {
            text += "Drum Set: " + s.names.DrumKitNames[DrumKitIndex(fields[1])];
        } else {
            text += "Instrument: " + ProgramName(s, fields[1]);
        }
    }
    text = TrimRightBlanks(text);

    const std::size_t lead = gap.size() + col[1].size();
    return std::string(8, ' ') + PadRight(col[0], 3) + gap + col[1] + std::string(lead < 6 ? 6 - lead : 0, ' ') +
           PadRight(col[2], 4) + PadRight(col[3], 6) + " " + col[4];
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
    for (std::int64_t r = 0; r < count; ++r) {
        const std::array<std::int32_t, 7> fields = ReadRecordFields(records.data() + r * kRecordSize);
        for (int c = 0; c < 7; ++c) m.EventRows(0, c) = fields[c];
        m.Log.WriteLine(ListingLine(s, fields, r, drum));
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
