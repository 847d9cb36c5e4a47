// The Overview of a song as plain data: the facts that the window's Overview view shows, computed from the
// typed report (report/report_value.h) and the song's one reading (reader/timeline.h), never from the report's
// text. No Qt: tests and the benchmark build it without a window.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "reader/timeline.h"
#include "report/report_value.h"

namespace sonivex {

struct SongSession;

// The names that the track list offers: the 128 General MIDI programs as genmidi.ini names them, and for a
// drum track the kit that each program chooses.
struct OverviewNames {
    std::array<std::string, 128> programs;  // by program from 0; empty where genmidi.ini cannot be read
    std::array<std::string, 128> kits;
};

// The names from the session's genmidi.ini and name tables. Shows no message: a name that cannot be read is
// left empty.
OverviewNames ReadOverviewNames(SongSession& s);

// One bar of a chart: a name, its weight and its length as a share of the longest bar (0 to 1).
struct OverviewBar {
    std::string name;
    std::int64_t weight = 0;
    double share = 0;
    std::string value;  // what the bar's end shows: the weight, or a group's percent ("42%")
    bool rhythm = false;
};

// A tempo that holds from `seconds` on, for the tempo-over-time plot.
struct OverviewTempoPoint {
    double seconds = 0;
    double bpm = 0;
};

// One row of the track list.
struct OverviewTrack {
    int number = 0;                 // 1-based, as the track lists of the window show it
    std::string name;               // the track's name, bytes as read; "" without one
    std::vector<int> channels;      // 1-based, ascending
    bool drums = false;             // the drum channel's rule (midi/drums.h): its kit names the instrument
    std::optional<int> program;     // 0-based, of its first program change; none without one
    std::string instrument;         // the program's name (a drum track: its kit); "" without a program change
    std::uint32_t notes = 0;
};

struct OverviewModel {
    bool hasSong = false;

    std::string title;     // the song file's name
    std::string songName;  // the first track's name in a song of format 0 or 1; "" without one
    std::string format;    // the report's format name
    int trackCount = 0;
    std::uint32_t noteCount = 0;

    std::uint64_t totalSeconds = 0;  // the report's playing time
    std::string duration;            // "m:ss"

    double lowestBpm = 0;
    double highestBpm = 0;
    std::string tempo;                          // "120 BPM", or "96 - 140 BPM" when it changes
    std::vector<OverviewTempoPoint> tempoPlot;  // the tempos over time when they change; empty when one holds
    double lengthSeconds = 0;                   // of the plot's time axis

    std::string timeSignatures;  // "4/4, 3/4", in order of appearance
    std::string keySignatures;   // "G Major, E Minor", in order of appearance
    std::string estimatedKey;    // "E minor", estimated from the notes; "" without melody notes to weigh

    std::string style;
    std::int64_t complexity = 0;
    std::int64_t averageVolume = 0;

    std::vector<OverviewBar> instruments;  // heaviest first, as the report ranks them
    std::vector<OverviewBar> groups;       // heaviest first, with their shares

    std::vector<OverviewTrack> tracks;
    bool hasLyrics = false;  // the song holds a lyric or text event
};

// Whether a song's bytes hold a lyric (FF 05) or text (FF 01) meta event in a track it plays.
bool SongHasLyrics(std::span<const std::uint8_t> song);

// The Overview of a song: `report` is the last report run on it, `timeline` and `hasLyrics` its reading.
// A report without tracks and an empty timeline give a model without a song.
OverviewModel BuildOverview(const Report& report, const Timeline& timeline, bool hasLyrics,
                            const OverviewNames& names);

// The Overview of the bytes of a song (read once here) with its report.
OverviewModel BuildOverview(const Report& report, std::span<const std::uint8_t> song, const OverviewNames& names);

// Whole seconds as "m:ss", minutes not limited to 59.
std::string OverviewDuration(std::uint64_t seconds);

// Beats a minute with at most one decimal: "120", "117.5".
std::string OverviewBpm(double bpm);

}  // namespace sonivex
