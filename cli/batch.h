// Batch runs of sonivex-cli: every MIDI file under the given files and folders, one JSON object (or CSV row)
// per song, analysed by several workers that each have their own session and their own working folder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json_report.h"
#include "app/session.h"
#include "cli/batch_audio.h"

namespace sonivex {

struct BatchOptions {
    std::vector<std::string> paths;  // files and folders, as given
    int jobs = 0;                    // workers; 0 = one per core
    int shard = 1;                   // this run takes the shard-th of shardCount slices (1-based)
    int shardCount = 1;
    std::optional<std::filesystem::path> out;  // resumed when it exists; stdout when none
    bool csv = false;
    bool noLog = false;
    bool yes = false;                // answer Yes to questions (a repair) instead of No
    std::uint32_t seed = 0;          // the random generator's seed at every report run
    bool progress = false;           // show a progress line on stderr
    bool noWait = false;             // a program folder that another run holds stops the run at once
    std::optional<std::filesystem::path> renderTo;  // --render-to: every song's audio file goes below it
    std::string audioExtension = ".wav";            // --audio-format, as the files' extension
    std::optional<std::filesystem::path> soundFont; // --soundfont: what the songs are rendered with
    KeyProfile keyProfile = kDefaultKeyProfile;      // --key-profile: of the estimated keys
    CsvLayout csvLayout = CsvLayout::Facts;          // --csv-features: the CSV rows with the notes' features
    bool duplicates = false;  // --duplicates: print the groups of songs that share a notes_hash instead
};

// Parses the arguments of a batch run (everything but --batch, --program-folder and the program name).
// Returns nothing and sets `problem` on a usage error.
std::optional<BatchOptions> ParseBatchArguments(const std::vector<std::string>& args, std::string& problem);

// True for a name that ends in .mid, .midi or .kar, in any case.
bool IsSongName(const std::filesystem::path& path);

// The songs under `paths`: a file is taken as it is, a folder is searched recursively for song names
// (unreadable subfolders are skipped). Sorted by path, each path once. Sets `error` and returns nothing when
// a path does not exist.
std::optional<std::vector<std::string>> ListSongs(const std::vector<std::string>& paths, std::string& error);

// The shard-th (1-based) of `count` slices of `songs`, in order: slice k holds songs [(k-1)*n/count, k*n/count).
std::vector<std::string> ShardOf(const std::vector<std::string>& songs, int shard, int count);

// The songs an earlier output already holds: the "file" member of each song's JSON line or the path of each
// CSV row, in either format. A line that is not well-formed (see ReadEarlierOutput), and a last line without
// its line end (a run that was killed), is not counted.
std::vector<std::string> RecordedSongs(const std::string& output);

// What an earlier output holds, sorted into the lines that a resumed run keeps and those it drops.
struct EarlierOutput {
    // Whether the run may resume the file: it holds no line of the other format, and when it holds any
    // line that is not blank, at least one of them is the run's own.
    enum class Verdict { Resumable, OtherFormat, NotBatchOutput };
    Verdict verdict = Verdict::Resumable;
    // The lines kept, in order, without their line ends; views into the text that was read.
    std::vector<std::string_view> kept;
    // For CSV: rows are kept but the header is not the first line (it is to be written before them).
    bool headerMissing = false;
    std::size_t dropped = 0;          // lines left out: not well-formed, cut off, blank, or a repeated header
    std::vector<std::string> songs;   // the songs of the kept lines, in order
};

// Sorts the lines of `text`, an earlier output of a JSON Lines run (a CSV run with `csv`). Kept are only
// complete lines (with their line end) that the run could have written: for JSON Lines, a line that is one
// well-formed JSON object with a string "file" member and a "status" member naming a song status; for CSV,
// the header as the first kept line and rows with exactly the header's columns, quoted as the writer quotes
// them and with a song status in the last one. Every other line is dropped. Never fails: any text gives a
// result.
EarlierOutput ReadEarlierOutput(std::string_view text, bool csv, CsvLayout layout = CsvLayout::Facts);

// Analyses one song with a fresh session in `folders` (the working files go to folders.work, the log to
// folders.logs) and returns its facts. Never throws: a failure inside becomes a stopped song with a message.
SongFacts AnalyseSong(const std::string& path, const Folders& folders, const BatchOptions& options);

struct BatchCounts {
    std::size_t analysed = 0;
    std::size_t refused = 0;
    std::size_t stopped = 0;
    std::size_t skipped = 0;  // recorded by an earlier run
    // Of a run that renders: the audio files written, those found whole and kept, and those not written.
    std::size_t audioWritten = 0;
    std::size_t audioKept = 0;
    std::size_t audioFailed = 0;
};

// The audio files of a run that renders (--render-to).
struct BatchAudio {
    std::filesystem::path folder;                // the output folder, as given
    std::vector<std::filesystem::path> targets;  // each song's file, below `folder`, in the order of the songs
    std::vector<SongRenderer> renderers;         // one for each worker
};

// The workers of a run of `total` songs with `jobs` asked for (0 = one per core): at least one, at most one
// per song.
unsigned WorkerCount(int jobs, std::size_t total);

// Analyses `songs` with options.jobs workers, each in its own subfolder of `base.work`, and writes one line
// per song to `out` in the order of `songs`, whatever the number of workers. With `audio` (as many workers
// as it has renderers), each worker also renders its songs after their analysis and their lines name their
// audio files. Returns the counts.
BatchCounts AnalyseSongs(const std::vector<std::string>& songs, const Folders& base, const BatchOptions& options,
                         std::FILE* out, BatchAudio* audio = nullptr);

// The whole of `sonivex-cli --batch ...`: parses the arguments, makes the folders, resumes, runs, prints the
// summary. Returns the exit status: 0 when the run went through, 1 when it failed, 2 for a usage error.
int BatchMain(int argc, char** argv, const std::filesystem::path& executableFolder);

// True when the command line asks for a batch run.
bool IsBatchRun(int argc, char** argv);

}  // namespace sonivex
