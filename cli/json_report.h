// One song's analysis as data: the report's facts taken from the session after the report ran, the exact
// playing times, tempo map and signatures decoded from the working copy, and the messages that were shown.
// Written as one JSON object (docs/sonivex-report.schema.json) or as one CSV row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/platform.h"
#include "app/session.h"
#include "reader/timeline.h"

namespace sonivex {

// A message box as the user saw it, and for a question the answer given.
struct ShownMessage {
    bool question = false;
    std::string text;
    bool answeredYes = false;
};

// What became of a song: analysed; refused (missing, not a file, or rejected by the load); or its report
// stopped on an error.
enum class SongStatus { Analysed, Refused, Stopped };

const char* StatusName(SongStatus status);

struct SongFacts {
    std::string file;  // the path as given
    SongStatus status = SongStatus::Refused;
    std::vector<ShownMessage> messages;

    // The rest is filled for analysed songs only.
    std::int64_t size = 0;
    int tracks = 0;
    int format = 0;
    std::string formatName;
    int ticksPerQuarter = 0;

    struct Instrument {
        std::string name;
        bool rhythm = false;  // a drum key, else a melody program
        int number = 0;       // the program (0-based) or the drum key; written 1-based for a program, as shown
        std::int64_t weight = 0;
    };
    std::vector<Instrument> instruments;  // heaviest first, as the report ranks them
    int melodyCount = 0;
    int rhythmCount = 0;
    std::string mainInstrument;  // empty when there is none

    struct Group {
        std::string name;
        std::int64_t weight = 0;
        int percent = 0;
    };
    std::vector<Group> groups;            // heaviest first, groups that sound only
    std::vector<std::string> mainGroups;  // the report's first and second group (empty names left out)
    std::string style;
    std::int64_t complexity = 0;
    std::int64_t averageVolume = 0;
    std::string timeText;  // the report's total time, "MM.SS" or "?"

    struct ChannelRow {
        int track = 0;                // 1-based, as the report shows it
        int channel = 0;              // 1-based
        std::optional<int> program;   // 1-based as the report shows it; none for a drum track
        std::string instrument;
    };
    std::vector<ChannelRow> channelTable;

    struct TrackFacts {
        std::string reportName;                // the report's "Name:" line, empty when it has none
        std::optional<std::int64_t> length;    // the report's track length
        std::string timeText;                  // the report's "Total time:" of the track, empty when none
        std::vector<std::string> reportLines;  // every line the report lists under the track
    };
    std::vector<TrackFacts> trackReport;  // by report track, 0-based

    Timeline timeline;
    std::uint64_t noteCount = 0;
    std::optional<int> lowestKey;
    std::optional<int> highestKey;
};

// Fills the facts of a song from the session after its Open, controls and commands ran. The timeline is read
// from the session's working copy; a working copy that cannot be read gives an empty timeline.
SongFacts CollectFacts(Session& s, const std::string& file, SongStatus status, std::vector<ShownMessage> messages);

// The facts as one JSON object on one line, without a line end.
std::string FactsToJson(const SongFacts& facts);

// The header of the CSV output and one song's row (without line ends): path, duration in seconds, tracks,
// notes, style, complexity, main instrument, status. Fields with commas, quotes or line breaks are quoted.
std::string CsvHeader();
std::string FactsToCsv(const SongFacts& facts);

}  // namespace sonivex
