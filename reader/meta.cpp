#include "meta.h"

#include <cmath>

#include "files.h"
#include "load.h"
#include "parse.h"
#include "text.h"

namespace sonivex {

namespace {

// Byte `i` of a meta event's data; bytes that the event does not hold count as 0.
int DataByte(const std::string& data, std::size_t i) {
    return i < data.size() ? static_cast<unsigned char>(data[i]) : 0;
}

// Reads the meta event's length, a variable-length number.
std::int64_t ReadLength(TrackReader& r) { return ReadVarLen(r); }

// Every character outside `low`..`high` becomes a blank.
std::string Blanked(std::string text, int low, int high) {
    for (char& c : text) {
        const int code = static_cast<unsigned char>(c);
        if (code < low || code > high) c = ' ';
    }
    return text;
}

// The signed decimal forms of the bytes, one after another.
std::string ByteNumbers(const std::string& data) {
    std::string out;
    for (unsigned char b : data) out += Str(b);
    return out;
}

// Reads the delta after a meta event's data, noting where the data ended.
std::int32_t ReadMetaDelta(TrackDecoder& r) {
    r.MetaDataEnd = r.LastPos();
    return ReadDelta(r);
}

// Opens a row for the meta event being decoded and notes its bytes.
EventRecord& OpenMetaRow(SongSession& s, TrackDecoder& d) {
    const int row = OpenEvent(s, d);
    s.song.EventSpanStart[s.song.RecordCount - 1] = d.MetaStartPos;
    s.song.EventSpanEnd[s.song.RecordCount - 1] = d.MetaDataEnd;
    return s.song.EventRows[row];
}

void OpenTextRow(SongSession& s, TrackDecoder& d, std::int32_t delta) {
    EventRecord& row = OpenMetaRow(s, d);
    row.Status = kTextStatus;
    row.Data1 = kAbsent;
    row.Delta = delta;
    row.TextMark = kTextMarker;
}

// A meta error: the message, FileValid cleared, and the track ends without its last block.
MetaOutcome Invalid(SongSession& s, const std::string& text) {
    s.Message(text);
    s.song.FileValid = false;
    return MetaOutcome::Stop;
}

// Reopens the log after a repair closed every file, so that the log stays complete.
void ReopenLog(SongSession& s) {
    if (!s.song.Log.Path().empty()) s.song.Log.Open(s.song.Log.Path(), true);
}

// Asks a repair question with Yes, No, "Yes to All" and "No to All"; an answer "to All" answers every repair
// question after it in this Open without asking. True to repair.
bool AskToRepair(SongSession& s, const std::string& question) {
    std::optional<bool>& all = s.song.RepairAll;
    if (all) return *all;
    s.platform.SetBusy(false);
    const Answer answer = s.platform.ShowMessage(question, Buttons::YesNoAll, Icon::Question, kAppTitle);
    if (answer == Answer::YesToAll || answer == Answer::NoToAll) all = answer == Answer::YesToAll;
    return answer == Answer::Yes || answer == Answer::YesToAll;
}

void RepairTimeSignature(SongSession& s) {
    SongModel& m = s.song;
    m.RestartAfterRepair = true;
    ++m.RepairsThisReport;
    s.CloseAllFiles();
    const auto path = s.WorkFile(m.TempFileName);
    if (auto bytes = ReadWholeFile(path)) {
        const std::int64_t at = static_cast<std::int64_t>(m.TimeSigFixPos) - 2;  // the clocks byte
        if (at >= 1 && at <= static_cast<std::int64_t>(bytes->size())) {
            (*bytes)[at - 1] = 24;
            ReplaceWorkingCopy(s, AsText(*bytes));
        }
    } else {
        s.Message(path.string() + " could not be read", Icon::Critical);
    }
    m.RepairedForSave = true;
    ReopenLog(s);
}

MetaOutcome SetTempo(SongSession& s, TrackDecoder& r, bool channelEventsBefore) {
    SongModel& m = s.song;
    m.TempoDataPos = r.LastPos() + 2;  // the type byte was read last
    const std::int64_t length = ReadLength(r);
    if (length == 0) return Invalid(s, "ERROR: Invalid Tempo");
    const std::string data = r.Take(length);
    const std::int64_t tempo = DataByte(data, 0) * 65536 + DataByte(data, 1) * 256 + DataByte(data, 2);
    if (tempo == 0) return Invalid(s, "ERROR: Invalid Tempo");
    r.Tempos.push_back({r.Ticks, static_cast<std::uint32_t>(tempo)});
    const std::int32_t delta = ReadMetaDelta(r);
    const std::int64_t bpm = static_cast<std::int64_t>(std::floor((500000.0 / static_cast<double>(tempo)) * 120.0));
    if (channelEventsBefore) {
        EventRecord& row = OpenMetaRow(s, r);
        row.Status = kTempoRow;
        row.Data1 = static_cast<std::int32_t>(bpm);
        row.Delta = delta;
    } else {
        ListLine(s, delta, "Set Tempo:" + Str(bpm), " Set tempo:" + Str(bpm));
    }
    return MetaOutcome::Continue;
}

MetaOutcome TimeSignature(SongSession& s, TrackDecoder& r, bool channelEventsBefore) {
    SongModel& m = s.song;
    const std::int64_t length = ReadLength(r);
    if (length == 0) return Invalid(s, "ERROR: Invalid Time Signature");
    const std::int64_t dataStart = r.NextPos();
    const std::string data = r.Take(length);
    const int nn = DataByte(data, 0), dd = DataByte(data, 1), cc = DataByte(data, 2);
    // A denominator of 2 to the 15th or more does not fit the model's 16 bits.
    if (nn == 0 || dd >= 15) return Invalid(s, "ERROR: Invalid Time Signature");
    // A clocks byte of 0 can be repaired; when the event is too short to hold one there is nothing to repair.
    if (cc == 0 && data.size() >= 3 && m.RepairsThisReport < kMaxRepairsPerReport) {
        m.TimeSigFixPos = dataStart + 4;
        if (AskToRepair(s, "ERROR: Invalid Time Signature.  Repair? ")) {
            RepairTimeSignature(s);
            return MetaOutcome::Stop;
        }
    }
    const std::int32_t denominator = std::int32_t{1} << dd;
    const std::int32_t delta = ReadMetaDelta(r);
    if (channelEventsBefore) {
        EventRecord& row = OpenMetaRow(s, r);
        row.Status = kTimeSignatureRow;
        row.Data1 = nn;
        row.Data2 = denominator;
        row.Delta = delta;
    } else {
        const std::string text = "Time Signature:" + Str(nn) + "/" + Dec(denominator);
        ListLine(s, delta, text, " " + text);
    }
    return MetaOutcome::Continue;
}

}  // namespace

int NumberPad(std::int64_t x) {
    const int pad = 7 - static_cast<int>(Str(x).size());
    return pad < 0 ? 0 : pad;
}

std::string KeyNameOf(int sf, int mi) {
    static const std::string kKeyTable = "Bb-5DbF -4AbC -3EbG -2BbD -1F A 0 C E +1G B +2D F#+3A C#+4E G#+5B D#+6F#";
    if (sf < -9 || sf > 9) return "Unknown";
    std::string pair;
    pair += sf < 0 ? '-' : sf == 0 ? ' ' : '+';
    pair += static_cast<char>('0' + (sf < 0 ? -sf : sf));
    const std::size_t at = kKeyTable.find(pair);
    if (at == std::string::npos || at < 2 || at + 4 > kKeyTable.size()) return "Unknown";
    // The entry of no sharps or flats stands one place out of step, so blanks are trimmed on both sides.
    const std::string minor = TrimBlanks(kKeyTable.substr(at - 2, 2));
    const std::string major = TrimBlanks(kKeyTable.substr(at + 2, 2));
    return mi != 0 ? minor + " Minor" : major + " Major";
}

void AddTrackLine(SongModel& m, int track, const std::string& line) {
    ++m.TrackLineCount[track];
    if (m.TrackLineCount[track] > kMaxTrackLines) m.TrackLineCount[track] = kMaxTrackLines;
    m.TrackLines(track, m.TrackLineCount[track]) = line;
}

void ListLine(SongSession& s, std::int32_t delta, const std::string& trackText, const std::string& logText) {
    SongModel& m = s.song;
    AddTrackLine(m, m.CurrentTrack, trackText);
    m.Log.WriteLine(std::string(NumberPad(delta), ' ') + Str(delta) + logText);
}

void WriteTrackHeading(SongSession& s) {
    SongModel& m = s.song;
    const auto track = static_cast<std::size_t>(static_cast<std::int32_t>(m.CurrentTrack));
    if (track < m.TrackHeadingDone.size() && m.TrackHeadingDone[track]) return;
    m.Log.WriteLine(std::string(70, '\xC4'));
    m.Log.WriteLine("Track :" + Str(m.CurrentTrack));
    m.Log.WriteLine("Length:" + Str(m.TrackLength));
    m.Log.WriteLine(std::string(70, '-'));
    if (m.TrackHeadingDone.size() <= track) m.TrackHeadingDone.resize(track + 1);
    m.TrackHeadingDone[track] = true;
}

namespace {

// A meta event that makes no row and whose delta goes to the track's last row: its report and log line.
// Returns Stop for an event that the file cannot hold.
MetaOutcome ListMetaEvent(SongSession& s, TrackDecoder& r, int type) {
    SongModel& m = s.song;
    switch (type) {
    case 0x02: {  // Copyright
        m.MetaText = Blanked(r.Take(ReadLength(r)), 32, 127);
        const std::int32_t delta = ReadMetaDelta(r);
        ListLine(s, delta, "Copyright: " + m.MetaText, "Copyright: " + m.MetaText);
        AddDeltaToLastRow(s, r, delta);
        return MetaOutcome::Continue;
    }
    case 0x20: {  // Channel Prefix
        const std::int64_t length = ReadLength(r);
        if (length == 0) return Invalid(s, "ERROR: Invalid Channel Prefix");
        const int channel = DataByte(r.Take(length), 0);
        const std::int32_t delta = ReadMetaDelta(r);
        ListLine(s, delta, "Channel Prefix:" + Str(channel + 1), "Channel Prefix:" + Str(channel + 1));
        AddDeltaToLastRow(s, r, delta);
        return MetaOutcome::Continue;
    }
    case 0x21: {  // MIDI Port: the length byte and the port number
        const int port = DataByte(r.Take(2), 1);
        const std::int32_t delta = ReadMetaDelta(r);
        ListLine(s, delta, "MIDI Port:" + Str(port), " MIDI Port:" + Str(port));
        AddDeltaToLastRow(s, r, delta);
        return MetaOutcome::Continue;
    }
    case 0x54: {  // SMPTE Offset: the length byte and five data bytes
        m.MetaText = ByteNumbers(r.Take(6).substr(1));
        const std::int32_t delta = ReadMetaDelta(r);
        ListLine(s, delta, "SMPTE Offset:" + m.MetaText, " SMPTE Offset:" + m.MetaText);
        AddDeltaToLastRow(s, r, delta);
        return MetaOutcome::Continue;
    }
    case 0x59: {  // Key Signature
        const std::int64_t length = ReadLength(r);
        if (length == 0) return Invalid(s, "ERROR: Invalid Key Signature");
        const std::string data = r.Take(length);
        const std::int32_t delta = ReadMetaDelta(r);
        int sf = DataByte(data, 0);
        if (sf > 7) sf -= 256;
        const std::string key = KeyNameOf(sf, DataByte(data, 1));
        ListLine(s, delta, "Key Signature: " + key, " Key Signature: " + key);
        AddDeltaToLastRow(s, r, delta);
        return MetaOutcome::Continue;
    }
    default: {  // Sequencer Specific
        const std::string numbers = ByteNumbers(r.Take(ReadLength(r)));
        const std::int32_t delta = ReadMetaDelta(r);
        ListLine(s, delta, "Sequencer Specific:" + numbers, " Sequencer Specific:" + numbers);
        AddDeltaToLastRow(s, r, delta);
        return MetaOutcome::Continue;
    }
    }
}

// A Track Name event: the name, trimmed and blanked, in the report and the log.
void TrackNameEvent(SongSession& s, TrackDecoder& r) {
    SongModel& m = s.song;
    m.TrackName = r.Take(ReadLength(r));
    const std::int32_t delta = ReadMetaDelta(r);
    AddDeltaToLastRow(s, r, delta);
    m.TrackName = Blanked(TrimBlanks(m.TrackName), 32, 123);
    ListLine(s, delta, "Name: " + m.TrackName, " Name: " + m.TrackName);
}

// A text event that makes a row once channel events came before it, or when time passes after it.
void TextEvent(SongSession& s, TrackDecoder& r, int type, bool channelEventsBefore) {
    SongModel& m = s.song;
    const std::string text = r.Take(ReadLength(r));
    if (type == 0x01) m.MetaText = text;
    const std::int32_t delta = ReadMetaDelta(r);
    const bool timed = type != 0x06 && delta > 0;  // a Marker never starts the track's events
    if (timed && !m.FirstChannelEventPos) m.FirstChannelEventPos = static_cast<std::int32_t>(r.MetaStartPos);
    if (channelEventsBefore || timed) OpenTextRow(s, r, delta);
}

}  // namespace

MetaOutcome DecodeMetaEvent(SongSession& s, TrackDecoder& r) {
    SongModel& m = s.song;
    r.MetaStartPos = r.LastPos();  // the 0xFF byte
    const bool channelEventsBefore = m.FirstChannelEventPos.has_value();
    const int type = r.Byte();
    r.MetaType = static_cast<std::uint8_t>(type);

    switch (type) {
    case 0x2F: return MetaOutcome::EndTrack;
    case 0x01:  // Text
    case 0x05:  // Lyric
    case 0x06:  // Marker
        TextEvent(s, r, type, channelEventsBefore);
        return MetaOutcome::Continue;
    case 0x51: return SetTempo(s, r, channelEventsBefore);
    case 0x58: return TimeSignature(s, r, channelEventsBefore);
    case 0x03: TrackNameEvent(s, r); return MetaOutcome::Continue;
    case 0x02:
    case 0x20:
    case 0x21:
    case 0x54:
    case 0x59:
    case 0x7F: return ListMetaEvent(s, r, type);
    case 0x00:  // Sequence Number
    case 0x04:  // Instrument Name
    case 0x07:  // Cue Point
    case 0x08:  // Program Name
    case 0x09:  // Device Name
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x0E:
    case 0x0F:  // the standard's other text events
        break;
    default:
        // A meta type of no known meaning is named, skipped by its length and kept as it stands: the song
        // stays valid and can be saved.
        s.Message("Unexpected Byte:" + Str(type));
        break;
    }
    // The rest make no row: the delta after them goes to the track's last row when there is one.
    r.Take(ReadLength(r));
    AddDeltaToLastRow(s, r, ReadMetaDelta(r));
    return MetaOutcome::Continue;
}

void RepairMissingStatus(SongSession& s) {
    SongModel& m = s.song;
    s.CloseAllFiles();
    ++m.RepairsThisReport;
    const auto path = s.WorkFile(m.TempFileName);
    std::optional<Bytes> read = ReadWholeFile(path);
    if (!read) {
        // Nothing is written: the working copy stays whole, and the track is read as it stands.
        s.Message(path.string() + " could not be read", Icon::Critical);
        ReopenLog(s);
        return;
    }
    Bytes& bytes = *read;
    m.FileLength = static_cast<std::int64_t>(bytes.size());
    const std::int64_t start = m.TrackStart[m.CurrentTrack];
    const std::int64_t length = static_cast<std::int64_t>(m.TrackStart[m.CurrentTrack + 1]) - start - 7;
    // The new data length goes into all three low bytes of the length field.
    if (start >= 1 && start + 7 <= static_cast<std::int64_t>(bytes.size())) {
        SetChunkDataLength(&bytes[start - 1], length);
    }
    const std::int64_t at = static_cast<std::int64_t>(m.TempoDataPos) + 3;
    if (at >= 0 && at <= static_cast<std::int64_t>(bytes.size())) bytes.insert(bytes.begin() + at, 0x90);
    if (!ReplaceWorkingCopy(s, AsText(bytes))) {
        ReopenLog(s);
        return;
    }
    m.FileLength += 1;
    ReadTrackChunks(s);
    m.FileRepaired = true;
    ReopenLog(s);
}

}  // namespace sonivex
