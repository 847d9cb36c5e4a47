#include "listing.h"

#include <charconv>
#include <optional>

#include "reader/data_files.h"
#include "reader/parse.h"
#include "reader/text.h"
#include "report.h"

namespace sonivex {

namespace {

bool Between(int v, int low, int high) { return v >= low && v <= high; }

// Lays out a listing line in a buffer that is reused from line to line and only grows. Values wider than
// their column push the rest of the line to the right.
class LineBuilder {
public:
    explicit LineBuilder(std::string& buffer) : text_(buffer) {
        // The columns before the description never take more than this; only names can be longer.
        if (text_.size() < kFixedRoom) text_.resize(kFixedRoom);
        data_ = text_.data();
    }
    // Char, Blanks and RightNumber lay out the fixed columns, which always fit the room made above.
    void Char(char c) { data_[length_++] = c; }
    void Blanks(int count) {
        for (int i = 0; i < count; ++i) data_[length_++] = ' ';
    }
    void PadTo(std::size_t length) { Blanks(static_cast<int>(length) - static_cast<int>(length_)); }
    // A number of 0 or more, right-aligned in `width` characters (wider numbers take the room they need).
    void RightNumber(std::int32_t v, int width) {
        int digits = 1;
        for (std::int32_t rest = v / 10; rest > 0; rest /= 10) ++digits;
        Blanks(width - digits);
        char* last = data_ + length_ + digits - 1;
        do {
            *last-- = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v > 0);
        length_ += static_cast<std::size_t>(digits);
    }
    void Text(const char* text, std::size_t length) {
        if (length_ + length > text_.size()) {
            text_.resize((length_ + length) * 2);
            data_ = text_.data();
        }
        for (std::size_t i = 0; i < length; ++i) data_[length_ + i] = text[i];
        length_ += length;
    }
    void Text(const std::string& text) { Text(text.data(), text.size()); }
    template <std::size_t N>
    void Text(const char (&literal)[N]) {
        Text(literal, N - 1);
    }
    void Number(std::int32_t v) {
        char digits[16];
        Text(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, v).ptr - digits));
    }
    // Drops trailing blanks, but none before `from`.
    void TrimFrom(std::size_t from) {
        while (length_ > from && data_[length_ - 1] == ' ') --length_;
    }
    std::size_t Length() const { return length_; }
    std::string_view View() const { return std::string_view(data_, length_); }

private:
    static constexpr std::size_t kFixedRoom = 256;
    std::string& text_;
    char* data_ = nullptr;
    std::size_t length_ = 0;
};


std::string ControllerName(const NameTables& t, int controller) {
    for (int i = 1;; ++i) {
        if (t.ControllerNumbers[i] == controller) return t.ControllerNames[i];
        if (t.ControllerNumbers[i] == -1) return Dec(controller);
    }
}

const std::string& DrumName(ReportSession& s, int key, std::int64_t record, DrumMemory& drum) {
    if (key == drum.key && record - drum.record < 2) return drum.name;
    const std::string& line = DrumLine(s, key);
    drum.name = key < 27 || line.empty() ? "unknown" : line;
    drum.key = key;
    drum.record = record;
    return drum.name;
}

// What the row is, after the columns: its kind, and for notes, controllers and programs their names.
void Describe(LineBuilder& line, ReportSession& s, const EventRecord& fields, int status, std::int64_t record,
              DrumMemory& drum) {
    if (Between(status, 224, 239)) line.Text("Pitch Change");
    if (Between(status, 208, 223)) line.Text("Channel Pressure");
    if (Between(status, 160, 175)) line.Text("Polyphonic Pressure");
    if (status == kSysexRow || status == kSysexContinuationRow) line.Text("System Exclusive");
    if (fields.Data2 >= 0) {
        if (Between(status, 144, 159)) {
            if (fields.Data2 < 1) {
                line.Text("Off");
            } else {
                line.Text("On ");
            }
        }
        if (Between(status, 128, 143)) line.Text("Off");
        if (IsDrumNoteStatus(status)) {
            line.Text(" - ");
            line.Text(DrumName(s, fields.Data1, record, drum));
        }
    }
    if (Between(status, 176, 191)) {
        line.Text("Controller: ");
        line.Text(ControllerName(s.names, fields.Data1));
    }
    if (fields.IsText()) line.Text("Text");
    if (status == kTempoRow) line.Text("Set Tempo");
    if (status == kTimeSignatureRow) line.Text("Time Signature");
    if (Between(status, 192, 207)) {
        if (status == kDrumProgramStatus) {
            line.Text("Drum Set: ");
            line.Text(s.names.DrumKitNames[DrumKitIndex(fields.Data1)]);
        } else {
            line.Text("Instrument: ");
            line.Text(ProgramName(s, fields.Data1));
        }
    }
}

// The line of the commonest row, a melody note whose numbers fit their columns, written straight into
// `buffer` in the layout that FormatAnyListingLine gives it. Nothing when the row is not such a note.
std::optional<std::string_view> NoteLine(std::string& buffer, const NameTables& names, int status,
                                         const EventRecord& fields) {
    const int key = fields.Data1;
    if (!Between(status, 128, 159) || IsDrumNoteStatus(status) || !Between(key, 0, 127) ||
        !Between(fields.Data2, 0, 999) || !Between(fields.Delta, 0, 999999) || fields.IsText()) {
        return std::nullopt;
    }
    const std::string& pitch = names.NoteNames[key % 12 + 1];
    if (pitch.empty() || pitch.size() > 2) return std::nullopt;
    if (buffer.size() < 64) buffer.resize(64);
    char* const start = buffer.data();
    char* p = start;
    const auto blanks = [&p](std::ptrdiff_t count) {
        for (; count > 0; --count) *p++ = ' ';
    };
    const auto rightNumber = [&p, &blanks](int v, int width) {
        int digits = 1;
        for (int rest = v / 10; rest > 0; rest /= 10) ++digits;
        blanks(width - digits);
        for (int i = digits - 1; i >= 0; --i, v /= 10) p[i] = static_cast<char>('0' + v % 10);
        p += digits;
    };
    blanks(8);
    *p++ = 'C';
    const int channel = status % 16 + 1;
    if (channel >= 10) *p++ = '1';
    *p++ = static_cast<char>('0' + channel % 10);
    blanks(start + 11 - p);
    // The note's name right-aligned in 4, then up to 6 characters from column 11.
    const int octave = key / 12;
    blanks(4 - static_cast<std::ptrdiff_t>(pitch.size()) - (octave >= 10 ? 2 : 1));
    for (const char c : pitch) *p++ = c;
    if (octave >= 10) *p++ = '1';
    *p++ = static_cast<char>('0' + octave % 10);
    blanks(start + 17 - p);
    char* const second = p;
    rightNumber(fields.Data2, 3);
    blanks(second + 4 - p);
    char* const delta = p;
    rightNumber(fields.Delta, 6);
    blanks(delta + 6 - p);
    *p++ = ' ';
    if (status >= 144 && fields.Data2 >= 1) {
        *p++ = 'O';
        *p++ = 'n';  // "On " loses its trailing blank
    } else {
        *p++ = 'O';
        *p++ = 'f';
        *p++ = 'f';
    }
    return std::string_view(start, static_cast<std::size_t>(p - start));
}

}  // namespace

int DrumKitIndex(int program) {
    const int g = program / 8, f = program % 8;
    if (g <= 2) return g + 1;
    if (g == 3) return f == 0 ? 4 : 5;
    if (g == 4) return f == 0 ? 5 : 6;
    if (g == 5) return 7;
    if (g == 6) return 8;
    return 9;
}

std::string ListingLine(ReportSession& s, const EventRecord& fields, std::int64_t record,
                        DrumMemory& drum) {
    std::string buffer;
    return std::string(FormatListingLine(buffer, s, fields, record, drum));
}

std::string_view FormatListingLine(std::string& buffer, ReportSession& s, const EventRecord& fields,
                                   std::int64_t record, DrumMemory& drum) {
    const int status = fields.Status < -1 ? -fields.Status : fields.Status;
    if (const std::optional<std::string_view> line = NoteLine(buffer, s.names, status, fields)) return *line;
    return FormatAnyListingLine(buffer, s, fields, record, drum);
}

std::string_view FormatAnyListingLine(std::string& buffer, ReportSession& s, const EventRecord& fields,
                                      std::int64_t record, DrumMemory& drum) {
    int status = fields.Status;
    if (status < -1) status = -status;  // a running-status event is listed like its status
    const bool channelEvent = Between(status, 128, 239);
    const bool note = Between(status, 128, 159);

    LineBuilder line(buffer);
    line.Blanks(8);
    if (channelEvent) {
        line.Char('C');
        line.Number(status % 16 + 1);
    }
    line.PadTo(11);
    // The first value: a note name right-aligned in 4 with no lead gap, or a number in 3 after one blank; the
    // two together fill 6 characters.
    const std::size_t firstStart = line.Length();
    if (note && !IsDrumNoteStatus(status)) {
        const int key = fields.Data1;
        const std::string& pitch = s.names.NoteNames[key % 12 + 1];
        char octave[16];
        const auto octaveLength = static_cast<std::size_t>(std::to_chars(octave, octave + sizeof octave, key / 12).ptr - octave);
        line.Blanks(4 - static_cast<int>(pitch.size() + octaveLength));
        line.Text(pitch);
        line.Text(octave, octaveLength);
    } else {
        line.Char(' ');
        if (fields.Data1 >= 0) line.RightNumber(fields.Data1, 3);
    }
    line.PadTo(firstStart + 6);
    const std::size_t secondStart = line.Length();
    if (fields.Data2 >= 0) line.RightNumber(fields.Data2, 3);
    line.PadTo(secondStart + 4);
    const std::size_t deltaStart = line.Length();
    if (fields.Delta >= 0) line.RightNumber(fields.Delta, 6);
    line.PadTo(deltaStart + 6);
    line.Char(' ');

    const std::size_t describeFrom = line.Length();
    Describe(line, s, fields, status, record, drum);
    // The description loses its trailing blanks; the blank before it stays.
    line.TrimFrom(describeFrom);
    return line.View();
}

void ListTrackEvents(ReportSession& s, const PlayTime& time) {
    SongModel& m = s.song;
    m.NotesFileInUse = true;
    const std::int64_t count = static_cast<std::int64_t>(m.RecordCount);
    DrumMemory drum;  // every track starts with no drum note remembered
    std::string buffer;
    // The listing goes to the log alone: with no log open there is nothing to lay out.
    for (std::int64_t r = 0; r < count && m.Log.IsOpen(); ++r) {
        m.Log.WriteLine(FormatListingLine(buffer, s, m.Notes.Values(r + 1), r, drum));
    }
    WriteLogHeader(s);
    m.Log.WriteLine("Total Time: " + time.text);
}

}  // namespace sonivex
