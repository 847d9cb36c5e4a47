#include "json_report.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "json_writer.h"
#include "midi/song_text.h"
#include "reader/files.h"
#include "reader/load.h"
#include "reader/text.h"
#include "report/play_time.h"

namespace sonivex {

namespace {

void AddTimelineFacts(std::span<const std::uint8_t> song, SongFacts& f) {
    f.timeline = ReadTimeline(song, TimelineNotes::Skip);
    for (const TrackSummary& t : f.timeline.tracks) {
        f.noteCount += t.noteCount;
        if (!t.lowestKey || !t.highestKey) continue;
        f.lowestKey = std::min<int>(f.lowestKey.value_or(*t.lowestKey), *t.lowestKey);
        f.highestKey = std::max<int>(f.highestKey.value_or(*t.highestKey), *t.highestKey);
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

// The playing time as the report's summary shows it: minutes, then seconds with two digits.
std::string SummaryTimeText(std::uint64_t seconds) {
    const PlayTime time = PlayingTime(seconds);
    return std::to_string(time.minutes) + "." + TwoDigits(time.seconds);
}

// The instruments, their groups and the main groups of the report.
void WriteInstruments(JsonWriter& w, const Report& r) {
    w.Field("instrument_count", static_cast<std::int64_t>(r.instruments.size()));
    w.Field("melody_count", r.melodyCount).Field("rhythm_count", r.rhythmCount);
    w.Key("main_instrument");
    if (r.instruments.empty()) {
        w.Null();
    } else {
        w.String(r.MainInstrument());
    }
    w.Key("instruments").BeginArray();
    for (const Report::Instrument& i : r.instruments) {
        const bool rhythm = i.kind == Report::InstrumentKind::Rhythm;
        w.BeginObject()
            .Field("name", i.name)
            .Field("kind", rhythm ? "rhythm" : "melody")
            .Field("number", rhythm ? i.number : i.number + 1)
            .Field("weight", i.weight)
            .EndObject();
    }
    w.EndArray();
    w.Key("main_groups").BeginArray();
    for (const std::string* g : {&r.firstGroup, &r.secondGroup}) {
        if (!g->empty()) w.String(*g);
    }
    w.EndArray();
    w.Key("groups").BeginArray();
    for (const Report::Group& g : r.groups) {
        w.BeginObject().Field("name", g.name).Field("weight", g.weight).Field("percent", g.percent).EndObject();
    }
    w.EndArray();
}

void WriteChannelTable(JsonWriter& w, const Report& r) {
    w.Key("channel_table").BeginArray();
    for (const ChannelRow& row : r.channelRows) {
        w.BeginObject().Field("track", row.track).Field("channel", row.channel);
        OptionalInt(w, "program", row.program);
        w.Field("instrument", row.instrument).EndObject();
    }
    w.EndArray();
}

// The report's "Name:" of a track: its first such line.
std::string ReportName(const Report::Track& track) {
    for (const std::string& line : track.lines) {
        if (line.rfind("Name: ", 0) == 0) return line.substr(6);
    }
    return {};
}

// One entry per track chunk: the decoded facts where the timeline has the track, the report's where the
// report listed it.
void WriteTrackList(JsonWriter& w, const SongFacts& f) {
    const Timeline& t = f.timeline;
    const std::vector<Report::Track>& listed = f.report.tracks;
    const std::size_t trackEntries = std::max(t.tracks.size(), listed.size());
    w.Key("track_list").BeginArray();
    for (std::size_t i = 0; i < trackEntries; ++i) {
        w.BeginObject().Field("index", static_cast<std::int64_t>(i + 1));
        if (i < t.tracks.size()) {
            const TrackSummary& d = t.tracks[i];
            w.Field("name", TextAsUtf8(d.name));
            w.Key("channels").BeginArray();
            for (int c : d.channels) w.Int(c + 1);
            w.EndArray();
            w.Key("programs").BeginArray();
            for (int p : d.programs) w.Int(p + 1);
            w.EndArray();
            w.Field("events", std::int64_t{d.eventCount}).Field("notes", std::int64_t{d.noteCount});
            w.Field("ticks", std::int64_t{d.lastTick}).Field("duration_seconds", d.seconds);
        }
        if (i < listed.size()) {
            const Report::Track& r = listed[i];
            w.Field("report_name", TextAsUtf8(ReportName(r)));
            w.Field("length", r.length);
            w.Field("time_text", r.seconds ? PlayingTime(*r.seconds).text : std::string());
            w.Key("report_lines").BeginArray();
            for (const std::string& line : r.lines) w.String(TextAsUtf8(line));  // the song's texts as characters
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

void WriteAudio(JsonWriter& w, const std::optional<AudioFacts>& audio) {
    if (!audio) return;
    w.Field("audio_file", audio->file);
    if (audio->seconds) w.Field("audio_seconds", *audio->seconds);
    if (!audio->error.empty()) w.Field("audio_error", audio->error);
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

SongFacts CollectFacts(ReportSession& s, const std::string& file, SongStatus status, std::vector<ShownMessage> messages) {
    SongFacts f;
    f.file = file;
    f.status = status;
    f.messages = std::move(messages);
    if (status != SongStatus::Analysed) return f;
    f.report = s.report.Built;
    const WorkingCopyHeld held(s);  // already held by a caller that read the song for its report
    AddTimelineFacts(held.View(), f);
    return f;
}

std::string FactsToJson(const SongFacts& f) {
    JsonWriter w;
    w.BeginObject().Field("file", f.file).Field("status", StatusName(f.status));
    if (f.status != SongStatus::Analysed) {
        WriteMessages(w, f.messages);
        WriteAudio(w, f.audio);
        return w.EndObject().Text();
    }
    const Timeline& t = f.timeline;
    const Report& r = f.report;
    const Report::Header& h = r.header;
    w.Field("size", h.fileSize).Field("tracks", h.trackCount).Field("format", h.format).Field("format_name", h.formatName);
    w.Field("ticks_per_quarter", h.ticksPerQuarter);
    w.Field("duration_seconds", t.durationSeconds);
    w.Field("time_text", SummaryTimeText(r.totalSeconds));
    WriteInstruments(w, r);
    w.Field("style", r.style).Field("complexity", r.complexity).Field("average_volume", r.averageVolume);
    WriteChannelTable(w, r);
    WriteTrackList(w, f);
    WriteMarks(w, t);
    w.Field("note_count", static_cast<std::int64_t>(f.noteCount));
    OptionalInt(w, "lowest_key", f.lowestKey);
    OptionalInt(w, "highest_key", f.highestKey);
    WriteMessages(w, f.messages);
    WriteAudio(w, f.audio);
    return w.EndObject().Text();
}

std::string CsvHeader() { return "path,duration_seconds,tracks,notes,style,complexity,main_instrument,status"; }

std::string FactsToCsv(const SongFacts& f) {
    std::string row = CsvField(f.file) + ",";
    if (f.status == SongStatus::Analysed) {
        AppendJsonNumber(row, f.timeline.durationSeconds);
        const Report& r = f.report;
        row += "," + std::to_string(r.header.trackCount) + "," + std::to_string(f.noteCount) + "," + CsvField(r.style) +
               "," + std::to_string(r.complexity) + "," + CsvField(r.MainInstrument());
    } else {
        row += ",,,,,";
    }
    return row + "," + StatusName(f.status);
}

}  // namespace sonivex
