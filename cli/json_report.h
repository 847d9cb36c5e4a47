// One song's analysis as data: the report the session made, the exact playing times, tempo map and
// signatures decoded from the working copy, and the messages that were shown.
// Written as one JSON object (docs/sonivex-report.schema.json) or as one CSV row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/platform.h"
#include "report/report_session.h"
#include "reader/timeline.h"
#include "report/features.h"
#include "report/report_value.h"

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

// A song's audio file in a batch run that renders (--render-to).
struct AudioFacts {
    std::string file;               // the audio file, as its path stands from the output folder given
    std::optional<double> seconds;  // its length, when it is there (rendered now or by an earlier run)
    std::string error;              // why it was not written; empty when it is there
};

struct SongFacts {
    std::string file;  // the path as given
    SongStatus status = SongStatus::Refused;
    std::vector<ShownMessage> messages;

    // The rest is filled for analysed songs only: the report as it was made, and the song as decoded.
    Report report;
    Timeline timeline;
    std::uint64_t noteCount = 0;
    std::optional<int> lowestKey;
    std::optional<int> highestKey;
    SongFeatures features;  // of the notes of the timeline
    KeyProfile keyProfile = kDefaultKeyProfile;

    std::optional<AudioFacts> audio;  // only in a batch run that renders, for every song
};

// Fills the facts of a song from the session after its Open, controls and commands ran. The timeline is read
// from the session's working copy (a working copy that cannot be read gives an empty timeline), and the
// features of its notes computed, the key estimated with `profile`.
SongFacts CollectFacts(ReportSession& s, const std::string& file, SongStatus status, std::vector<ShownMessage> messages,
                       KeyProfile profile = kDefaultKeyProfile);

// The facts as one JSON object on one line, without a line end; the audio file's members come last.
std::string FactsToJson(const SongFacts& facts);

// Which columns a CSV row has: the song's facts, or those and the features of its notes (--csv-features).
enum class CsvLayout { Facts, Features };

// The header of the CSV output and one song's row (without line ends): path, duration in seconds, tracks,
// notes, style, complexity, main instrument, estimated key with its correlation and margin, notes hash, then
// with Features the features of the notes, and last the status. Fields with commas, quotes or line breaks are
// quoted.
std::string CsvHeader(CsvLayout layout = CsvLayout::Facts);
std::string FactsToCsv(const SongFacts& facts, CsvLayout layout = CsvLayout::Facts);

}  // namespace sonivex
