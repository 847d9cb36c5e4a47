#include "overview_model.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "midi/chunks.h"
#include "midi/track_events.h"
#include "reader/checked.h"
#include "reader/data_files.h"
#include "report/features.h"
#include "reader/meta.h"
#include "report/listing.h"

namespace sonivex {

namespace {

constexpr std::uint8_t kMetaText = 0x01;
constexpr std::uint8_t kMetaLyric = 0x05;

// Two tempos closer than this count as one: a file's microseconds round a tempo differently from track to track.
constexpr double kSameBpm = 0.05;

double BpmOf(std::uint32_t microsPerQuarter) { return 60e6 / microsPerQuarter; }

// The items in order of first appearance, joined by ", ".
std::string DistinctList(const std::vector<std::string>& items) {
    std::vector<std::string> seen;
    std::string text;
    for (const std::string& item : items) {
        if (std::find(seen.begin(), seen.end(), item) != seen.end()) continue;
        seen.push_back(item);
        text += (text.empty() ? "" : ", ") + item;
    }
    return text;
}

void AddTempo(OverviewModel& m, const Report& report, const Timeline& timeline) {
    std::vector<OverviewTempoPoint> points;
    // The song plays at the default tempo until its first change, if a note sounds before it.
    const std::uint32_t firstChange = timeline.tempos.empty() ? UINT32_MAX : timeline.tempos.front().tick;
    const bool defaultHeard = std::any_of(timeline.notes.begin(), timeline.notes.end(),
                                          [&](const TimedNote& n) { return n.startTick < firstChange; });
    if (defaultHeard || timeline.tempos.empty()) points.push_back({0, BpmOf(kDefaultMicrosPerQuarter)});
    for (const TempoChange& change : timeline.tempos) {
        points.push_back({timeline.SecondsAt(change.tick, change.track), BpmOf(change.microsPerQuarter)});
    }
    m.lowestBpm = m.highestBpm = points.front().bpm;
    for (const OverviewTempoPoint& p : points) {
        m.lowestBpm = std::min(m.lowestBpm, p.bpm);
        m.highestBpm = std::max(m.highestBpm, p.bpm);
    }
    m.lengthSeconds = std::max({timeline.durationSeconds, static_cast<double>(report.totalSeconds), points.back().seconds});
    if (m.highestBpm - m.lowestBpm < kSameBpm) {
        m.tempo = OverviewBpm(m.lowestBpm) + " BPM";
        return;
    }
    m.tempo = OverviewBpm(m.lowestBpm) + " - " + OverviewBpm(m.highestBpm) + " BPM";
    m.tempoPlot = std::move(points);
}

void AddSignatures(OverviewModel& m, const Timeline& timeline) {
    std::vector<std::string> times;
    for (const TimeSignatureMark& mark : timeline.timeSignatures) {
        times.push_back(mark.denominator == 0 ? std::to_string(mark.numerator) + "/?"
                                              : std::to_string(mark.numerator) + "/" + std::to_string(mark.denominator));
    }
    m.timeSignatures = times.empty() ? "none given (4/4)" : DistinctList(times);
    std::vector<std::string> keys;
    for (const KeySignatureMark& mark : timeline.keySignatures) keys.push_back(KeyNameOf(mark.sharpsFlats, mark.minor ? 1 : 0));
    m.keySignatures = keys.empty() ? "none given" : DistinctList(keys);
    if (const std::optional<KeyEstimate> key = EstimateKey(PitchClassHistogram(timeline), kDefaultKeyProfile)) {
        m.estimatedKey = KeyName(key->key);
    }
}

void AddCharts(OverviewModel& m, const Report& report) {
    const std::int64_t heaviest = report.instruments.empty() ? 0 : report.instruments.front().weight;
    for (const Report::Instrument& i : report.instruments) {
        m.instruments.push_back({i.name, i.weight, heaviest > 0 ? static_cast<double>(i.weight) / heaviest : 0,
                                 std::to_string(i.weight), i.kind == Report::InstrumentKind::Rhythm});
    }
    const std::int64_t largest = report.groups.empty() ? 0 : report.groups.front().percent;
    for (const Report::Group& g : report.groups) {
        m.groups.push_back({g.name, g.weight, largest > 0 ? static_cast<double>(g.percent) / largest : 0,
                            std::to_string(g.percent) + "%", false});
    }
}

void AddTracks(OverviewModel& m, const Report& report, const Timeline& timeline, const OverviewNames& names) {
    for (std::size_t i = 0; i < timeline.tracks.size(); ++i) {
        const TrackSummary& summary = timeline.tracks[i];
        OverviewTrack track;
        track.number = static_cast<int>(i + 1);
        track.name = summary.name;
        for (const int channel : summary.channels) track.channels.push_back(channel + 1);
        track.drums = summary.drums;
        track.notes = summary.noteCount;
        // The report's channel table names a melody track's instrument by its first program change.
        const auto row = std::find_if(report.channelRows.begin(), report.channelRows.end(), [&](const ChannelRow& r) {
            return r.track == track.number && r.program.has_value();
        });
        if (!track.drums && row != report.channelRows.end()) {
            track.program = *row->program - 1;
            track.instrument = row->instrument;
        } else if (!summary.programs.empty()) {
            track.program = summary.programs.front();
            const auto p = static_cast<std::size_t>(*track.program);
            track.instrument = track.drums ? names.kits[p] : names.programs[p];
        }
        m.noteCount += track.notes;
        m.tracks.push_back(std::move(track));
    }
}

}  // namespace

OverviewNames ReadOverviewNames(SongSession& s) {
    OverviewNames names;
    for (int program = 0; program < 128; ++program) {
        const auto p = static_cast<std::size_t>(program);
        try {
            names.programs[p] = ProgramName(s, program);
        } catch (const RunError&) {
            names.programs[p].clear();
        }
        names.kits[p] = s.names.DrumKitNames[DrumKitIndex(program)];
    }
    return names;
}

bool SongHasLyrics(std::span<const std::uint8_t> song) {
    const std::optional<SmfChunks> chunks = ScanChunks(song);
    if (!chunks) return false;
    for (const TrackChunk& chunk : chunks->SongTracks()) {
        TrackEvents events(song, chunk);
        TrackEvent event;
        while (events.Read(event)) {
            if (event.IsMeta(kMetaLyric) || event.IsMeta(kMetaText)) return true;
        }
    }
    return false;
}

OverviewModel BuildOverview(const Report& report, const Timeline& timeline, bool hasLyrics,
                            const OverviewNames& names) {
    OverviewModel m;
    if (timeline.tracks.empty() && report.tracks.empty()) return m;
    m.hasSong = true;
    m.title = std::filesystem::path(report.header.file).filename().string();
    if (timeline.format != 2 && !timeline.tracks.empty()) m.songName = timeline.tracks.front().name;
    m.format = report.header.formatName;
    m.trackCount = static_cast<int>(timeline.tracks.size());
    m.totalSeconds = report.totalSeconds;
    m.duration = OverviewDuration(report.totalSeconds);
    AddTempo(m, report, timeline);
    AddSignatures(m, timeline);
    m.style = report.style;
    m.complexity = report.complexity;
    m.averageVolume = report.averageVolume;
    AddCharts(m, report);
    AddTracks(m, report, timeline, names);
    m.hasLyrics = hasLyrics;
    return m;
}

OverviewModel BuildOverview(const Report& report, std::span<const std::uint8_t> song, const OverviewNames& names) {
    return BuildOverview(report, ReadTimeline(song), SongHasLyrics(song), names);
}

std::string OverviewDuration(std::uint64_t seconds) {
    const std::uint64_t rest = seconds % 60;
    return std::to_string(seconds / 60) + ":" + (rest < 10 ? "0" : "") + std::to_string(rest);
}

std::string OverviewBpm(double bpm) {
    const long long tenths = std::llround(bpm * 10);
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0) text += "." + std::to_string(tenths % 10);
    return text;
}

}  // namespace sonivex
