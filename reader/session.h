// The reader's session: the song model that loading and decoding fill, the fixed name tables, where the data
// and working files are, and the platform that shows messages. The report, the editing commands and the
// window's commands each extend it with their own state (report/report_session.h, edit/edit_session.h,
// app/session.h); every procedure takes the smallest of them that it needs, so a test or a batch run makes a
// fresh one.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "channel_row.h"
#include "checked.h"
#include "distinct_values.h"
#include "event_record.h"
#include "files.h"
#include "platform.h"
#include "record_store.h"

namespace sonivex {

// The most track chunks a song may have: the header counts tracks in 15 bits.
inline constexpr int kMaxTracks = 32767;
inline constexpr int kMaxTrackLines = 100;
inline constexpr int kRowsPerBlock = 100;

inline constexpr const char* kWorkingCopyName = "sonivex-temp.tmp";
// Earlier versions kept the event records in this file; one left in the work folder is removed at the first load.
inline constexpr const char* kNotesFileName = "notes.dat";
inline constexpr const char* kScratchFileName = "dffhedc";  // a new working copy is written here first
inline constexpr const char* kNameFileName = "genmidi.ini";
inline constexpr const char* kStyleFileName = "style1.dat";
inline constexpr const char* kEffectsFileName = "effects1.dat";
inline constexpr const char* kLogFolderName = "logs";

// The log channel: a text file written line by line, each line ended by CR LF. Writing while it is closed
// does nothing.
class LogFile {
public:
    LogFile() = default;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile() { Close(); }

    // Opens the file for writing, replacing any file of that name (append = false), or for appending. A log
    // that is switched off opens nothing and returns false. A link in the file's place is never followed, and
    // a file of that name that is not this user's own plain file (another user's, a device, a file with a
    // second name elsewhere) is left alone: Open then returns false and Problem() says why.
    bool Open(const std::filesystem::path& path, bool append);
    // Why the last Open failed, for a message; empty after an Open that succeeded or found the log switched off.
    const std::string& Problem() const { return problem_; }
    // Keeps this log closed from now on (a run that asked for no log files).
    void SwitchOff() {
        Close();
        off_ = true;
    }
    bool SwitchedOff() const { return off_; }
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::filesystem::path& Path() const { return path_; }
    void WriteLine(std::string_view line);
    void Flush();

private:
    int fd_ = -1;
    std::uint64_t written_ = 0;      // bytes written since the log was opened (appending: this run's)
    std::uint64_t olderLength_ = 0;  // what is left of the older log that this one replaces
    std::filesystem::path path_;
    std::string pending_;  // lines not yet handed to the file
    std::string problem_;
    bool off_ = false;
};

// A meta event that makes no row but follows the track's first row: the row it follows (event index), its
// bytes (1-based positions of its 0xFF and of its last data byte) and the delta after it, which the parser
// carried into that row. The writer puts it back in place.
struct AttachedMeta {
    std::int32_t row;
    std::int32_t start;
    std::int32_t end;
    std::int32_t delta;
};

// The 8 bytes of a track chunk header as read.
using ChunkHeader = std::array<std::uint8_t, 8>;

// The counts, sums and histograms of one pass over the tracks, which starts from a fresh value.
struct SongCounts {
    Table<Int16, 0, 16> ChannelProgram;
    Int32 ProgramChangeTotal;
    Table<Int32, 0, 256> NoteCount;
    Table<Int32, 0, 127> DrumNoteCount;  // a drum key above 127 is out of bounds
    Table<Int32, 0, 255> VelocityCount;
    Table<Int32, 0, 256> InstrumentTicks;
    Table<Int32, 0, 127> ControllerEvents;  // by controller number
    Int32 PitchBendCount;
    Int32 DeltaValueKinds;
    DistinctValues NoteDeltas;  // the distinct delta times after notes; DeltaValueKinds of them
};

// The song data model: the file facts of the load, the track being decoded, the event block, meta events and
// repairs, and the channel table with the statistics of one analysis run.
struct SongModel {
    // File and working copy.
    std::string SourcePath;
    std::string TempFileName;
    std::string FileTitle;
    bool FileValid = false;
    Int32 FileLength;
    std::array<std::uint8_t, 14> HeaderChunk{};
    Int16 FileFormat;
    Int32 TrackCount;
    Int32 TicksPerQuarter;
    Int32 TracksFound;
    GrowingTable<Int32, 0> TrackStart;
    GrowingTable<ChunkHeader, 1> TrackHeaders;
    LogFile Log;
    RecordStore Notes;  // the event records of the track decoded last

    // Track being decoded.
    Int32 CurrentTrack;
    Int32 TrackLength;
    GrowingTable<Int32, 0> TrackDataLength;
    std::vector<bool> TrackHeadingDone;  // by track number: the log has its heading
    std::optional<std::int32_t> FirstChannelEventPos;  // 1-based; none before a channel, sysex or timed meta event
    // The bytes of each row made by a meta or system-exclusive event, by event index: the position of its
    // 0xFF, 0xF0 or 0xF7 and of its last data byte.
    GrowingTable<Int32, 0> EventSpanStart;
    GrowingTable<Int32, 0> EventSpanEnd;
    std::vector<AttachedMeta> AttachedMetas;
    bool TrackComplete = false;  // the last parse read its track to the end (no error or repair stopped it)

    // Event block and event records.
    std::array<EventRecord, kRowsPerBlock> EventRows;
    std::int32_t RecordCount = 0;  // the records of the track decoded last
    bool NotesFileInUse = false;  // from a parse until the end of the report that forgets its records

    // Meta events, report lines and repairs.
    GrowingTable2<std::string, kMaxTrackLines> TrackLines;
    GrowingTable<Int16, 0> TrackLineCount;
    std::string MetaText;
    std::string TrackName;
    Int32 TempoDataPos;
    Int32 TimeSigFixPos;
    bool FileRepaired = false;
    bool RestartAfterRepair = false;
    int RepairsThisReport = 0;  // repairs in this report run; bounded so a hostile file cannot loop
    std::optional<bool> RepairAll;  // "Yes to All" (true) or "No to All" in this Open: no repair is asked again
    // The working copy's bytes while something holds them (WorkingCopyHeld: the Open command from the load to
    // the end of its report, a report run), so that the song is read from the disk once and not again for
    // each track; nothing otherwise. Every replacement of the working copy keeps them in step.
    std::shared_ptr<const FileBytes> WorkingCopyBytes;
    int WorkingCopyHolders = 0;
    // A repair changed the working copy so that the song differs from its file: the commands offer Save and
    // clear this.
    bool RepairedForSave = false;

    // Channel table, program changes and statistics.
    std::vector<ChannelRow> ChannelRows;  // the report's channel table, row by row
    bool QuietParse = false;
    bool DrumRowDone = false;
    std::array<bool, 16> ChannelUsed{};  // by channel, 0 to 15
    SongCounts Counts;
    Int32 ProgramChangeCount;
    GrowingTable<Int32, 0> ProgramChangePos;
    GrowingTable<Int16, 0> ProgramChangeProgram;
    GrowingTable<Int32, 0> ProgramChangeTrack;
    Int16 MaxVelocity;
    Int16 MinVelocity;
    bool TrackHasNotes = false;
    bool TrackHasNoteEvents = false;
};

// The start-up tables of fixed names and numbers.
struct NameTables {
    Table<std::string, 0, 24> KeyNames;
    Table2<Int16, 24, 10> KeyAccidentals;
    Table<std::string, 0, 12> NoteNames;
    Table<std::string, 0, 9> DrumKitNames;
    Table<Int16, 0, 100> ControllerNumbers;
    Table<std::string, 0, 100> ControllerNames;
};

// Where a session reads its data files and writes its working files and logs.
struct Folders {
    std::vector<std::filesystem::path> data;  // searched in order: the first that holds a data file wins
    std::filesystem::path work;               // the working copy and its scratch file
    std::filesystem::path logs;               // the log files

    // Everything in one folder: the data files are read from it, the working files and logs/ written there.
    static Folders InOne(const std::filesystem::path& programFolder);
};

// The lines of genmidi.ini, read once per report run instead of once per name looked up.
struct NameFileLines {
    bool NamesLoaded = false;
    std::vector<std::string> NameLines;
    std::vector<std::string> NameEntries;
    std::size_t RhythmLine = 0;  // index of the line "RHYTHM:", NameLines.size() when there is none
};

// The random generator of the effects, seeded at every report run.
struct RandomSource {
    std::mt19937 Engine;

    void Seed(std::uint32_t seed) { Engine.seed(seed); }
    // A random number in [0, 1) with single precision.
    float Next() { return static_cast<float>(Engine() >> 8) * (1.0f / 16777216.0f); }
};

struct SongSession {
    // A session with the fixed name tables filled and no song.
    SongSession(Platform& platform, Folders folders);
    SongSession(const SongSession&) = delete;
    SongSession& operator=(const SongSession&) = delete;

    // A working file: the working copy or its scratch file.
    std::filesystem::path WorkFile(const std::string& name) const { return folders.work / name; }

    // The data file of that name from the first data folder that holds it (the last folder when none does,
    // so that a message names where it was looked for).
    std::filesystem::path DataFile(const std::string& name) const;

    // The folder of the log files.
    const std::filesystem::path& LogFolder() const { return folders.logs; }

    // Shows an OK message box with the application's title after restoring the normal pointer.
    void Message(const std::string& text, Icon icon = Icon::None);

    // Asks a Yes/No question with the application's title after restoring the normal pointer.
    bool Ask(const std::string& text, Icon icon = Icon::Question);

    // Sets the main window's caption and remembers it in Caption.
    void ShowCaption(const std::string& caption) {
        Caption = caption;
        platform.SetCaption(caption);
    }

    // Closes every file that the session holds open (the log included).
    void CloseAllFiles() { song.Log.Close(); }

    Platform& platform;
    Folders folders;
    bool FixedSeed = false;        // every report run seeds the random generator with Seed, not the clock
    std::uint32_t Seed = 0;
    int RunErrorCount = 0;        // runtime errors shown (a report or an edit stopped) since the session began
    int UnwrittenResults = 0;     // commands whose new working copy could not be written, since the session began
    std::string Caption;          // the main window's caption as last set
    SongModel song;
    NameTables names;
    NameFileLines nameFile;
    TextFileCache dataFiles;  // the data files' lines, read again only when a file changes
    RandomSource random;
};

}  // namespace sonivex
