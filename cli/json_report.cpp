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
    f.timeline = ReadTimeline(song, TimelineNotes::List);
    f.features = ComputeFeatures(f.timeline, f.keyProfile);
    // The notes have given what the facts say of them; the object holds on to no more than it writes.
    f.timeline.notes = {};
    f.timeline.programChanges = {};
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

void OptionalNumber(JsonWriter& w, std::string_view key, const std::optional<double>& value) {
    w.Key(key);
    if (value) {
        w.Number(*value);
    } else {
        w.Null();
    }
}

template <std::size_t N>
void NumberArray(JsonWriter& w, std::string_view key, const std::array<double, N>& values) {
    w.Key(key).BeginArray();
    for (const double v : values) w.Number(v);
    w.EndArray();
}

// The key estimated from the notes, and how sure the estimate is.
void WriteKey(JsonWriter& w, const SongFacts& f) {
    const std::optional<KeyEstimate>& key = f.features.key;
    w.Key("estimated_key");
    if (key) {
        w.String(KeyName(key->key));
    } else {
        w.Null();
    }
    w.Key("key_confidence");
    if (key) {
        w.BeginObject().Field("correlation", key->correlation).Field("margin", key->margin).EndObject();
    } else {
        w.Null();
    }
    w.Field("key_profile", KeyProfileName(f.keyProfile));
}

void WriteFeatures(JsonWriter& w, const SongFeatures& f) {
    w.Key("features").BeginObject();
    NumberArray(w, "pitch_class_histogram", f.pitchClassHistogram);
    OptionalInt(w, "lowest_pitch", f.lowestPitch);
    OptionalInt(w, "highest_pitch", f.highestPitch);
    OptionalInt(w, "pitch_range", f.lowestPitch && f.highestPitch ? std::optional<int>(*f.highestPitch - *f.lowestPitch)
                                                                  : std::nullopt);
    OptionalNumber(w, "mean_pitch", f.meanPitch);
    w.Field("note_density", f.noteDensity);
    w.Field("polyphony_mean", f.meanPolyphony).Field("polyphony_max", f.maxPolyphony);
    OptionalNumber(w, "velocity_mean", f.velocityMean);
    OptionalNumber(w, "velocity_spread", f.velocitySpread);
    NumberArray(w, "interval_histogram", f.intervalHistogram);
    w.Field("interval_count", static_cast<std::int64_t>(f.intervalCount));
    w.Field("tempo_min_bpm", f.tempoMin).Field("tempo_max_bpm", f.tempoMax).Field("tempo_mean_bpm", f.tempoMean);
    w.Key("time_signature_shares").BeginArray();
    for (const TimeSignatureShare& t : f.timeSignatures) {
        w.BeginObject().Field("numerator", t.numerator).Field("denominator", t.denominator).Field("share", t.share);
        w.EndObject();
    }
    w.EndArray();
    w.Key("families").BeginArray();
    for (const FamilyTime& family : f.families) {
        w.BeginObject().Field("family", family.family).Field("seconds", family.seconds).EndObject();
    }
    w.EndArray();
    w.EndObject();
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

SongFacts CollectFacts(ReportSession& s, const std::string& file, SongStatus status, std::vector<ShownMessage> messages,
                       KeyProfile profile) {
    SongFacts f;
    f.file = file;
    f.keyProfile = profile;
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
    WriteKey(w, f);
    WriteFeatures(w, f.features);
    w.Field("notes_hash", f.features.notesHash);
    WriteMessages(w, f.messages);
    WriteAudio(w, f.audio);
    return w.EndObject().Text();
}

namespace {

constexpr const char* kPitchClassColumns[12] = {"c", "c_sharp", "d", "e_flat", "e", "f", "f_sharp", "g", "a_flat", "a", "b_flat", "b"};

std::string FeatureColumns() {
    std::string header;
    for (const char* pc : kPitchClassColumns) header += std::string(",pc_") + pc;
    header += ",lowest_pitch,highest_pitch,pitch_range,mean_pitch,note_density,polyphony_mean,polyphony_max,velocity_mean,"
              "velocity_spread";
    for (int i = 0; i < kIntervalBins; ++i) {
        header += ",interval_" + std::to_string(i) + (i == kIntervalBins - 1 ? "_or_more" : "");
    }
    return header + ",interval_count,tempo_min_bpm,tempo_max_bpm,tempo_mean_bpm,time_signature_shares,families";
}

void AppendNumber(std::string& row, double value) {
    row += ',';
    AppendJsonNumber(row, value);
}

void AppendOptional(std::string& row, const std::optional<double>& value) {
    row += ',';
    if (value) AppendJsonNumber(row, *value);
}

// The features of the notes as columns; the lists as "4/4=0.75 3/4=0.25" and "Piano=12.5 Drums=30".
void AppendFeatures(std::string& row, const SongFeatures& f) {
    for (const double share : f.pitchClassHistogram) AppendNumber(row, share);
    auto asDouble = [](const std::optional<int>& v) { return v ? std::optional<double>(*v) : std::nullopt; };
    AppendOptional(row, asDouble(f.lowestPitch));
    AppendOptional(row, asDouble(f.highestPitch));
    AppendOptional(row, f.lowestPitch && f.highestPitch ? std::optional<double>(*f.highestPitch - *f.lowestPitch)
                                                        : std::nullopt);
    AppendOptional(row, f.meanPitch);
    AppendNumber(row, f.noteDensity);
    AppendNumber(row, f.meanPolyphony);
    AppendNumber(row, f.maxPolyphony);
    AppendOptional(row, f.velocityMean);
    AppendOptional(row, f.velocitySpread);
    for (const double share : f.intervalHistogram) AppendNumber(row, share);
    AppendNumber(row, static_cast<double>(f.intervalCount));
    AppendNumber(row, f.tempoMin);
    AppendNumber(row, f.tempoMax);
    AppendNumber(row, f.tempoMean);
    std::string shares;
    for (const TimeSignatureShare& t : f.timeSignatures) {
        shares += (shares.empty() ? "" : " ") + std::to_string(t.numerator) + "/" + std::to_string(t.denominator) + "=";
        AppendJsonNumber(shares, t.share);
    }
    std::string families;
    for (const FamilyTime& family : f.families) {
        families += (families.empty() ? "" : " ") + family.family + "=";
        AppendJsonNumber(families, family.seconds);
    }
    row += "," + CsvField(shares) + "," + CsvField(families);
}

}  // namespace

std::string CsvHeader(CsvLayout layout) {
    return "path,duration_seconds,tracks,notes,style,complexity,main_instrument,estimated_key,key_correlation,key_margin,"
           "notes_hash" +
           (layout == CsvLayout::Features ? FeatureColumns() : std::string()) + ",status";
}

std::string FactsToCsv(const SongFacts& f, CsvLayout layout) {
    std::string row = CsvField(f.file) + ",";
    if (f.status == SongStatus::Analysed) {
        AppendJsonNumber(row, f.timeline.durationSeconds);
        const Report& r = f.report;
        row += "," + std::to_string(r.header.trackCount) + "," + std::to_string(f.noteCount) + "," + CsvField(r.style) +
               "," + std::to_string(r.complexity) + "," + CsvField(r.MainInstrument());
        const std::optional<KeyEstimate>& key = f.features.key;
        row += "," + (key ? KeyName(key->key) : std::string());
        AppendOptional(row, key ? std::optional<double>(key->correlation) : std::nullopt);
        AppendOptional(row, key ? std::optional<double>(key->margin) : std::nullopt);
        row += "," + f.features.notesHash;
        if (layout == CsvLayout::Features) AppendFeatures(row, f.features);
    } else {
        const std::string header = CsvHeader(layout);
        row += std::string(static_cast<std::size_t>(std::count(header.begin(), header.end(), ',')) - 2, ',');
    }
    return row + "," + StatusName(f.status);
}

}  // namespace sonivex
