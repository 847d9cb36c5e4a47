// The analysis report as a value: what the report text shows and the JSON writes, each printed from it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/channel_row.h"

namespace sonivex {

struct Report {
    struct Header {
        std::string file;             // the song's path as loaded
        std::int64_t fileSize = 0;
        std::int64_t trackCount = 0;  // as the file's header gives it
        int format = 0;
        std::string formatName;       // "single", "Multi" or "Multi (independent)"
        std::int64_t ticksPerQuarter = 0;
    };
    enum class InstrumentKind { Melody, Rhythm };
    struct Instrument {
        std::string name;
        InstrumentKind kind = InstrumentKind::Melody;
        int number = 0;  // the program from 0, or the drum key
        std::int64_t weight = 0;
    };
    struct Group {
        std::string name;
        std::int64_t weight = 0;
        std::int64_t percent = 0;  // of the weight of every group, rounded down
    };
    struct Track {
        int number = 0;  // 1-based
        std::int64_t length = 0;
        std::vector<std::string> lines;       // the lines listed under the track, its "Total time" included
        std::optional<std::uint64_t> seconds;  // its playing time; none for a track without recorded events
    };

    Header header;
    std::vector<Instrument> instruments;  // heaviest first
    std::int64_t melodyCount = 0;
    std::int64_t rhythmCount = 0;
    std::vector<Group> groups;            // the groups that sound, heaviest first
    std::string firstGroup;               // the summary's main groups; empty when there is none
    std::string secondGroup;
    std::string style;
    std::int64_t complexity = 0;
    std::int64_t averageVolume = 0;
    std::uint64_t totalSeconds = 0;        // the longest track's playing time
    std::vector<ChannelRow> channelRows;
    bool noInstruments = false;            // no program change and no note: the table says so
    std::vector<int> mainTenMelody;        // the heaviest ten programs, from 1
    std::vector<int> mainTenDrum;          // the heaviest ten drum keys
    std::vector<Track> tracks;

    // The main instrument: the heaviest, empty when the song has none.
    std::string MainInstrument() const { return instruments.empty() ? std::string() : instruments.front().name; }
};

// The report's text as the pane shows it and sonivex-cli prints it, every line ended by CR LF.
std::string ReportText(const Report& report);

}  // namespace sonivex
