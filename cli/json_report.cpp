#include "json_report.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "json_writer.h"
#include "reader/files.h"

namespace sonivex {

namespace {

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::optional<std::int64_t> ParseInt(std::string_view text) {
    text = Trim(text);
    std::int64_t value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// The lines of a report text (CR LF ends).
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find("\r\n", from);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(from, end - from));
        from = end + 2;
    }
    return lines;
}

// The value after "LABEL :" of the first summary line that starts with `label`.
std::optional<std::string_view> SummaryValue(std::string_view summary, std::string_view label) {
    for (std::string_view line : Lines(summary)) {
        if (line.substr(0, label.size()) != label) continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        return Trim(line.substr(colon + 1));
    }
    return std::nullopt;
}

// The rows of the channel table the report built: "TRACK CHANNEL NUMBER INSTRUMENT", a drum track without a
// number.
std::vector<SongFacts::ChannelRow> ChannelRows(std::string_view table) {
    std::vector<SongFacts::ChannelRow> rows;
    bool inRows = false;
    for (std::string_view line : Lines(table)) {
        if (line.substr(0, 5) == "TRACK") continue;
        if (!line.empty() && line.find_first_not_of('-') == std::string_view::npos) {
            inRows = true;
            continue;
        }
        if (!inRows) continue;
        if (line.empty() || line[0] != ' ') break;  // the blank line before the instrument list ends the rows
        std::string_view rest = Trim(line);
        const auto take = [&rest]() {
            const std::size_t blank = rest.find(' ');
            const std::string_view token = rest.substr(0, blank);
            rest = blank == std::string_view::npos ? std::string_view{} : Trim(rest.substr(blank));
            return token;
        };
        const std::optional<std::int64_t> track = ParseInt(take());
        const std::optional<std::int64_t> channel = ParseInt(take());
        if (!track || !channel) continue;
        SongFacts::ChannelRow row;
        row.track = static_cast<int>(*track);
        row.channel = static_cast<int>(*channel);
        const std::size_t blank = rest.find(' ');
        if (const std::optional<std::int64_t> number = ParseInt(rest.substr(0, blank))) {
            row.program = static_cast<int>(*number);
            rest = blank == std::string_view::npos ? std::string_view{} : Trim(rest.substr(blank));
        }
        row.instrument = std::string(rest);
        rows.push_back(std::move(row));
    }
    return rows;
}

// The groups under "MAIN INSTRUMENT GROUPS:" as the report lists them: a name, then its share with "%".
std::vector<std::pair<std::string, int>> GroupLines(std::string_view table) {
    std::vector<std::pair<std::string, int>> groups;
    bool inGroups = false;
    for (std::string_view line : Lines(table)) {
        if (line == "MAIN INSTRUMENT GROUPS:") {
            inGroups = true;
            continue;
        }
        if (!inGroups) continue;
        if (line.empty() || line.back() != '%') break;
        const std::string_view body = line.substr(0, line.size() - 1);
        const std::size_t cut = body.find_last_of(' ');
        const std::optional<std::int64_t> percent = ParseInt(cut == std::string_view::npos ? body : body.substr(cut + 1));
        if (!percent) break;
        groups.emplace_back(std::string(Trim(body.substr(0, cut == std::string_view::npos ? 0 : cut))),
                            static_cast<int>(*percent));
    }
    return groups;
}

void AddReportFacts(Session& s, SongFacts& f) {
    SongModel& m = s.song;
    ReportState& rep = s.report;
    f.size = m.FileLength;
    f.tracks = m.TrackCount;
    f.format = m.FileFormat;
    f.formatName = rep.FormatName;
    f.ticksPerQuarter = m.TicksPerQuarter;

    for (std::int64_t i = 0; i < rep.InstrumentCount; ++i) {
        f.instruments.push_back({rep.InstrumentName[i], rep.InstrumentKind[i] == 2, rep.InstrumentNumber[i],
                                 rep.InstrumentWeight[i]});
    }
    f.melodyCount = rep.MelodyInstrumentCount;
    f.rhythmCount = rep.RhythmInstrumentCount;
    if (rep.InstrumentCount > 0) f.mainInstrument = rep.InstrumentName[0];

    const std::vector<std::pair<std::string, int>> shares = GroupLines(m.ChannelTable);
    for (std::size_t p = 0; p < shares.size(); ++p) {
        f.groups.push_back({shares[p].first, rep.GroupWeight[static_cast<std::int64_t>(p)], shares[p].second});
    }
    for (const std::string* name : {&rep.FirstGroupName, &rep.SecondGroupName}) {
        if (!name->empty()) f.mainGroups.push_back(*name);
    }
    f.style = rep.BestStyle;
    f.complexity = rep.ComplexScore;
    if (const std::optional<std::string_view> volume = SummaryValue(rep.SummaryText, "Average Volume")) {
        f.averageVolume = ParseInt(*volume).value_or(0);
    }
    f.timeText = std::string(SummaryValue(rep.SummaryText, "Total time").value_or("?"));
    f.channelTable = ChannelRows(m.ChannelTable);

    for (int t = 1; t <= m.TracksFound; ++t) {
        SongFacts::TrackFacts track;
        track.length = m.TrackDataLength[t];
        for (int l = 1; l <= m.TrackLineCount[t]; ++l) {
            const std::string& line = m.TrackLines(t, l);
            track.reportLines.push_back(line);
            if (track.reportName.empty() && line.rfind("Name: ", 0) == 0) track.reportName = line.substr(6);
            if (line.rfind("Total time: ", 0) == 0) track.timeText = line.substr(12);
        }
        f.trackReport.push_back(std::move(track));
    }
}

void AddTimelineFacts(Session& s, SongFacts& f) {
    const std::optional<Bytes> bytes = ReadWholeFile(s.WorkFile(s.song.TempFileName));
    if (bytes) f.timeline = ReadTimeline(*bytes);
    for (const TrackSummary& t : f.timeline.tracks) f.noteCount += t.noteCount;
    for (const TimedNote& n : f.timeline.notes) {
        f.lowestKey = std::min<int>(f.lowestKey.value_or(n.key), n.key);
        f.highestKey = std::max<int>(f.highestKey.value_or(n.key), n.key);
    }
}

void WriteMessages(JsonWriter& w, const std::vector<ShownMessage>& messages) {
    w.Key("messages").BeginArray();
    for (const ShownMessage& m : messages) {
        w.BeginObject().Field("kind", m.question ? "question" : "message").Field("text", m.text);
        if (m.question) w.Field("answer", m.answeredYes ? "Yes" : "No");
        w.EndObject();
    }
    w.EndArray();
}

void OptionalInt(JsonWriter& w, std::string_view key, const std::optional<int>& value) {
    w.Key(key);
    if (value) {
        w.Int(*value);
    } else {
        w.Null();
    }
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// The file's header facts and the instruments, their groups, the style and the channel table.
void WriteInstruments(JsonWriter& w, const SongFacts& f) {
    w.Field("instrument_count", static_cast<std::int64_t>(f.instruments.size()));
    w.Field("melody_count", f.melodyCount).Field("rhythm_count", f.rhythmCount);
    w.Key("main_instrument");
    if (f.mainInstrument.empty()) {
        w.Null();
    } else {
        w.String(f.mainInstrument);
    }
    w.Key("instruments").BeginArray();
    for (const SongFacts::Instrument& i : f.instruments) {
        w.BeginObject()
            .Field("name", i.name)
            .Field("kind", i.rhythm ? "rhythm" : "melody")
            .Field("number", i.rhythm ? i.number : i.number + 1)
            .Field("weight", i.weight)
            .EndObject();
    }
    w.EndArray();
    w.Key("main_groups").BeginArray();
    for (const std::string& g : f.mainGroups) w.String(g);
    w.EndArray();
    w.Key("groups").BeginArray();
    for (const SongFacts::Group& g : f.groups) {
        w.BeginObject().Field("name", g.name).Field("weight", g.weight).Field("percent", g.percent).EndObject();
    }
    w.EndArray();
}

void WriteChannelTable(JsonWriter& w, const SongFacts& f) {
    w.Key("channel_table").BeginArray();
    for (const SongFacts::ChannelRow& r : f.channelTable) {
        w.BeginObject().Field("track", r.track).Field("channel", r.channel);
        OptionalInt(w, "program", r.program);
        w.Field("instrument", r.instrument).EndObject();
    }
    w.EndArray();
}

// One entry per track chunk: the decoded facts where the timeline has the track, the report's where the
// report listed it.
void WriteTrackList(JsonWriter& w, const SongFacts& f) {
    const Timeline& t = f.timeline;
    const std::size_t trackEntries = std::max(t.tracks.size(), f.trackReport.size());
    w.Key("track_list").BeginArray();
    for (std::size_t i = 0; i < trackEntries; ++i) {
        w.BeginObject().Field("index", static_cast<std::int64_t>(i + 1));
        if (i < t.tracks.size()) {
            const TrackSummary& d = t.tracks[i];
            w.Field("name", d.name);
            w.Key("channels").BeginArray();
            for (int c : d.channels) w.Int(c + 1);
            w.EndArray();
            w.Key("programs").BeginArray();
            for (int p : d.programs) w.Int(p + 1);
            w.EndArray();
            w.Field("events", std::int64_t{d.eventCount}).Field("notes", std::int64_t{d.noteCount});
            w.Field("ticks", std::int64_t{d.lastTick}).Field("duration_seconds", d.seconds);
        }
        if (i < f.trackReport.size()) {
            const SongFacts::TrackFacts& r = f.trackReport[i];
            w.Field("report_name", r.reportName);
            if (r.length) w.Field("length", *r.length);
            w.Field("time_text", r.timeText);
            w.Key("report_lines").BeginArray();
            for (const std::string& line : r.reportLines) w.String(line);
            w.EndArray();
        }
        w.EndObject();
    }
    w.EndArray();
}

// The tempo map and the time and key signatures, as the timeline decoded them.
void WriteMarks(JsonWriter& w, const Timeline& t) {
    w.Key("tempo_map").BeginArray();
    for (const TempoChange& c : t.tempos) {
        w.BeginObject().Field("tick", std::int64_t{c.tick}).Field("track", c.track);
        w.Field("microseconds_per_quarter", std::int64_t{c.microsPerQuarter});
        w.Key("bpm");
        if (c.microsPerQuarter == 0) {
            w.Null();
        } else {
            w.Number(60e6 / c.microsPerQuarter);
        }
        w.EndObject();
    }
    w.EndArray();
    w.Key("time_signatures").BeginArray();
    for (const TimeSignatureMark& m : t.timeSignatures) {
        w.BeginObject().Field("tick", std::int64_t{m.tick}).Field("track", m.track);
        w.Field("numerator", m.numerator).Field("denominator", m.denominator).EndObject();
    }
    w.EndArray();
    w.Key("key_signatures").BeginArray();
    for (const KeySignatureMark& m : t.keySignatures) {
        w.BeginObject().Field("tick", std::int64_t{m.tick}).Field("track", m.track);
        w.Field("sharps_flats", m.sharpsFlats).Field("minor", m.minor).EndObject();
    }
    w.EndArray();
}

}  // namespace

const char* StatusName(SongStatus status) {
    switch (status) {
        case SongStatus::Analysed: return "analysed";
        case SongStatus::Stopped: return "stopped";
        case SongStatus::Refused: break;
    }
    return "refused";
}

SongFacts CollectFacts(Session& s, const std::string& file, SongStatus status, std::vector<ShownMessage> messages) {
    SongFacts f;
    f.file = file;
    f.status = status;
    f.messages = std::move(messages);
    if (status != SongStatus::Analysed) return f;
    AddReportFacts(s, f);
    AddTimelineFacts(s, f);
    return f;
}

std::string FactsToJson(const SongFacts& f) {
    JsonWriter w;
    w.BeginObject().Field("file", f.file).Field("status", StatusName(f.status));
    if (f.status != SongStatus::Analysed) {
        WriteMessages(w, f.messages);
        return w.EndObject().Text();
    }
    const Timeline& t = f.timeline;
    w.Field("size", f.size).Field("tracks", f.tracks).Field("format", f.format).Field("format_name", f.formatName);
    w.Field("ticks_per_quarter", f.ticksPerQuarter);
    w.Field("duration_seconds", t.durationSeconds);
    w.Field("time_text", f.timeText);
    WriteInstruments(w, f);
    w.Field("style", f.style).Field("complexity", f.complexity).Field("average_volume", f.averageVolume);
    WriteChannelTable(w, f);
    WriteTrackList(w, f);
    WriteMarks(w, t);
    w.Field("note_count", static_cast<std::int64_t>(f.noteCount));
    OptionalInt(w, "lowest_key", f.lowestKey);
    OptionalInt(w, "highest_key", f.highestKey);
    WriteMessages(w, f.messages);
    return w.EndObject().Text();
}

std::string CsvHeader() { return "path,duration_seconds,tracks,notes,style,complexity,main_instrument,status"; }

std::string FactsToCsv(const SongFacts& f) {
    std::string row = CsvField(f.file) + ",";
    if (f.status == SongStatus::Analysed) {
        AppendJsonNumber(row, f.timeline.durationSeconds);
        row += "," + std::to_string(f.tracks) + "," + std::to_string(f.noteCount) + "," + CsvField(f.style) + "," +
               std::to_string(f.complexity) + "," + CsvField(f.mainInstrument);
    } else {
        row += ",,,,,";
    }
    return row + "," + StatusName(f.status);
}

}  // namespace sonivex
