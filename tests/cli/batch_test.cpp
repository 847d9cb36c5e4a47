#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>

#include "cli/batch.h"
#include "cli/json_report.h"
#include "cli/json_writer.h"
#include "app/folders.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

namespace fs = std::filesystem;

std::string Json(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

std::string ReadAll(const fs::path& path) { return TestSession::ReadText(path); }

// A short song whose tempo doubles at tick 192 in its second track.
Bytes TwoTempoSong(const std::string& name) {
    return MidiFile(1, 96)
        .Add(Track().Name(0, name).Program(0, 0, 40).NoteOn(0, 0, 60, 100).NoteOff(384, 0, 60).End())
        .Add(Track().Tempo(192, 250000).End())
        .Build();
}

// A collection with songs in subfolders, a file that is not a MIDI file, and files that are not songs.
std::vector<std::string> MakeCollection(const fs::path& root) {
    WriteFile(root / "b" / "one.mid", TwoTempoSong("One"));
    WriteFile(root / "a" / "two.MIDI", MidiFile(0, 120).Add(Track().NoteOn(0, 9, 36, 90).NoteOff(60, 9, 36).End()).Build());
    WriteFile(root / "a" / "deep" / "three.kar", TwoTempoSong("Three"));
    WriteFile(root / "broken.mid", Bytes{'R', 'I', 'F', 'F', 1, 2, 3});
    WriteFile(root / "notes.txt", Bytes{'h', 'i'});
    WriteFile(root / "four.mid", MidiFile(2, 96)
                                     .Add(Track().Tempo(0, 1000000).NoteOn(0, 1, 70, 80).NoteOff(96, 1, 70).End())
                                     .Add(Track().NoteOn(0, 2, 50, 80).NoteOff(96, 2, 50).End())
                                     .Build());
    std::string error;
    return ListSongs({root.string()}, error).value_or(std::vector<std::string>{});
}

std::string RunToText(const std::vector<std::string>& songs, const fs::path& program, BatchOptions options) {
    const fs::path outPath = program.parent_path() / ("out-" + std::to_string(options.jobs) + ".jsonl");
    std::FILE* out = std::fopen(outPath.c_str(), "wb");
    AnalyseSongs(songs, Folders::InOne(program), options, out);
    std::fclose(out);
    return ReadAll(outPath);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find('\n', from);
        lines.push_back(text.substr(from, end - from));
        if (end == std::string::npos) break;
        from = end + 1;
    }
    return lines;
}

TEST(JsonStrings, KeepUtf8AndEscapeQuotesAndControlCharacters) {
    EXPECT_EQ(Json("Caf\xC3\xA9 \"A\"\\\r\n\t\x01"), "\"Caf\xC3\xA9 \\\"A\\\"\\\\\\r\\n\\t\\u0001\"");
}

TEST(JsonStrings, ReadBytesThatAreNotUtf8AsLatin1) {
    // 0xE9 alone is "é" in Latin-1 and a broken sequence in UTF-8; a cut-off UTF-8 sequence is Latin-1 too.
    EXPECT_EQ(Json("Caf\xE9"), "\"Caf\\u00e9\"");
    EXPECT_EQ(Json("x\xC3"), "\"x\\u00c3\"");
    // an overlong form of "/" is not UTF-8
    EXPECT_EQ(Json("\xC0\xAF"), "\"\\u00c0\\u00af\"");
}

TEST(JsonNumbers, AreShortestAndNullWhenNotFinite) {
    std::string out;
    AppendJsonNumber(out, 1.5);
    out += ' ';
    AppendJsonNumber(out, 0.1);
    out += ' ';
    AppendJsonNumber(out, 1.0 / 0.0);
    EXPECT_EQ(out, "1.5 0.1 null");
}

TEST(BatchSongList, FindsSongsRecursivelyInSortedOrderWhateverTheExtensionsCase) {
    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    const std::vector<std::string> songs = MakeCollection(root);
    const std::vector<std::string> expected = {(root / "a" / "deep" / "three.kar").string(),
                                               (root / "a" / "two.MIDI").string(), (root / "b" / "one.mid").string(),
                                               (root / "broken.mid").string(), (root / "four.mid").string()};
    EXPECT_EQ(songs, expected);
}

TEST(BatchSongList, TakesAGivenFileOnceAndRefusesAMissingPath) {
    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    MakeCollection(root);
    std::string error;
    const auto songs = ListSongs({(root / "notes.txt").string(), root.string(), (root / "four.mid").string()}, error);
    ASSERT_TRUE(songs);
    EXPECT_EQ(songs->size(), 6u);  // notes.txt was named, four.mid only once
    EXPECT_FALSE(ListSongs({(root / "nothing").string()}, error));
    EXPECT_NE(error.find("does not exist"), std::string::npos);
}

TEST(BatchShards, CoverTheWholeListWithNoSongTwice) {
    for (int size : {0, 1, 2, 7, 10, 33}) {
        std::vector<std::string> songs;
        for (int i = 0; i < size; ++i) songs.push_back("song" + std::to_string(100 + i));
        for (int count = 1; count <= 8; ++count) {
            std::vector<std::string> joined;
            for (int k = 1; k <= count; ++k) {
                const std::vector<std::string> part = ShardOf(songs, k, count);
                EXPECT_LE(part.size(), static_cast<std::size_t>(size / count + 1));
                joined.insert(joined.end(), part.begin(), part.end());
            }
            EXPECT_EQ(joined, songs) << size << " songs in " << count << " shards";
        }
    }
}

TEST(BatchArguments, RejectBadShardsJobsAndUnknownOptions) {
    std::string problem;
    EXPECT_FALSE(ParseBatchArguments({"--shard", "3/2", "x"}, problem));
    EXPECT_FALSE(ParseBatchArguments({"--shard", "0/2", "x"}, problem));
    EXPECT_FALSE(ParseBatchArguments({"--jobs", "0", "x"}, problem));
    EXPECT_FALSE(ParseBatchArguments({"--frobnicate", "x"}, problem));
    EXPECT_FALSE(ParseBatchArguments({"--csv"}, problem));
    const auto o = ParseBatchArguments({"--jobs", "3", "--shard", "2/5", "--csv", "--no-log", "x", "y"}, problem);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->jobs, 3);
    EXPECT_EQ(o->shard, 2);
    EXPECT_EQ(o->shardCount, 5);
    EXPECT_TRUE(o->csv);
    EXPECT_TRUE(o->noLog);
    EXPECT_EQ(o->paths, (std::vector<std::string>{"x", "y"}));

    // After --, every argument is a path, whatever it looks like.
    const auto ended = ParseBatchArguments({"--no-wait", "--", "--csv", "-x.mid"}, problem);
    ASSERT_TRUE(ended);
    EXPECT_TRUE(ended->noWait);
    EXPECT_FALSE(ended->csv);
    EXPECT_EQ(ended->paths, (std::vector<std::string>{"--csv", "-x.mid"}));
}

TEST(BatchResume, RecognisesRecordedSongsAndIgnoresACutOffLastLine) {
    const std::string output = "{\"file\":\"a \\\"b\\\".mid\",\"status\":\"refused\",\"messages\":[]}\n"
                               "{\"file\":\"caf\\u00e9.mid\",\"status\":\"analysed\"}\n"
                               "{\"file\":\"cut.mid\",\"sta";
    EXPECT_EQ(RecordedSongs(output), (std::vector<std::string>{"a \"b\".mid", "caf\xE9.mid"}));
    const std::string csv = CsvHeader() + "\n\"x,y.mid\",1.5,2,3,Pop,4,Piano,A minor,0.9,0.1,00ff00ff00ff00ff,analysed\n"
                            "z.mid,,,,,,,,,,,refused\n";
    EXPECT_EQ(RecordedSongs(csv), (std::vector<std::string>{"x,y.mid", "z.mid"}));
}

std::vector<std::string> Views(const EarlierOutput& earlier) {
    return std::vector<std::string>(earlier.kept.begin(), earlier.kept.end());
}

TEST(BatchResume, KeepsOnlyCompleteJsonLinesThatAreASongsObject) {
    const std::string first = "{\"file\":\"a.mid\",\"status\":\"analysed\",\"size\":-1.5e+3,"
                              "\"x\":[true,false,null,{},[]],"
                              "\"t\":\"caf\xC3\xA9 \\u00e9\\n\\/\"}";
    // members in another order, blanks between the tokens
    const std::string second = " { \"status\" : \"refused\" ,\t\"file\" : \"b \\\"c\\\".mid\" } ";
    const std::string third = "{\"file\":\"caf\\u00e9.mid\",\"status\":\"stopped\",\"messages\":[]}";
    const std::vector<std::string> broken = {
        "{\"file\":\"c.mid\",\"status\":\"analysed\"",                              // never closed
        "{\"file\":\"c.mid\",\"status\":\"analysed\"}x",                             // text after the object
        "{\"file\":\"c.mid\",\"status\":\"analysed\"}{\"file\":\"d.mid\",\"status\":\"analysed\"}",  // two run together
        "{\"file\":\"c.mid\",\"sta{\"file\":\"d.mid\",\"status\":\"analysed\"}",      // one line cut into by another
        "{\"file\":\"c.mid\",\"messages\":[]}",                                       // no status
        "{\"file\":7,\"status\":\"analysed\"}",                                       // a file that is no string
        "{\"file\":\"\",\"status\":\"analysed\"}",                                      // an empty file
        "{\"file\":\"c.mid\",\"status\":\"done\"}",                                    // no song status
        "{\"file\":\"c.mid\",\"status\":\"analysed\",\"file\":\"d.mid\"}",              // a file named twice
        "[\"c.mid\",\"analysed\"]",                                                 // not an object
        "{\"file\":\"c.mid\",\"status\":\"analysed\",\"n\":01}",                         // a leading zero
        "{\"file\":\"c.mid\",\"status\":\"analysed\",\"n\":1.}",                         // no digit after the point
        "{\"file\":\"c.mid\",\"status\":\"analysed\",\"n\":-}",                          // no digit at all
        "{\"file\":\"c.mid\",\"status\":\"analysed\",\"a\":[1,]}",                       // a comma before the end
        "{\"file\":\"c.mid\",\"status\":\"analysed\",\"b\":tru}",                        // a word cut short
        "{\"file\":\"c\\x.mid\",\"status\":\"analysed\"}",                              // no such escape
        "{\"file\":\"c\\u00g9.mid\",\"status\":\"analysed\"}",                          // not four hex digits
        "{\"file\":\"c\tmid\",\"status\":\"analysed\"}",                                // a control character as it is
        "{\"file\":\"caf\xC3.mid\",\"status\":\"analysed\"}",                           // a UTF-8 sequence cut short
        "{\"file\":\"\xC0\xAF.mid\",\"status\":\"analysed\"}",                          // an overlong form
        "{\"file\":\"\xED\xA0\x80.mid\",\"status\":\"analysed\"}",                      // a surrogate
        "{\"file\":\"c.mid\",\"status\":\"analysed\",\"deep\":" + std::string(500, '[') + std::string(500, ']') + "}",
        "",
        "   ",
    };
    std::string text = first + "\n";
    for (std::size_t i = 0; i < broken.size(); ++i) text += broken[i] + (i == 3 ? "\n" + second + "\n" : "\n");
    text += third + "\n{\"file\":\"e.mid\",\"status\":\"analysed\",\"size\":1";  // a run killed in the middle of a line

    const EarlierOutput earlier = ReadEarlierOutput(text, false);
    EXPECT_EQ(earlier.verdict, EarlierOutput::Verdict::Resumable);
    EXPECT_EQ(Views(earlier), (std::vector<std::string>{first, second, third}));
    EXPECT_EQ(earlier.songs, (std::vector<std::string>{"a.mid", "b \"c\".mid", "caf\xE9.mid"}));
    EXPECT_EQ(earlier.dropped, broken.size() + 1);
    EXPECT_FALSE(earlier.headerMissing);
    // a name the writer escapes throughout (not UTF-8 as a whole, so every byte above 127 as \u00XX) reads back
    const std::string name = "x\"\\\x01\xE9\xC3\xA9.mid";
    const std::string written =
        "{\"file\":" + Json(name) + ",\"status\":\"refused\",\"messages\":[{\"kind\":\"question\"}]}";
    EXPECT_EQ(ReadEarlierOutput(written + "\n", false).songs, (std::vector<std::string>{name}));
}

TEST(BatchResume, KeepsTheCsvHeaderAndTheRowsThatHaveEveryColumn) {
    const std::string header = CsvHeader();
    const std::string quoted = "\"x,y \"\"z\"\".mid\",1.5,2,3,Pop,4,\"Piano, \"\"Grand\"\"\",C major,0.8,0.2,0123456789abcdef,analysed";
    const std::string refused = "z.mid,,,,,,,,,,,refused";
    const std::string last = "w.mid,,,,,,,,,,,stopped";
    const std::vector<std::string> broken = {
        "y.mid,,,,,,,,,,refused",         // a column missing
        "y.mid,,,,,,,,,,,,refused",       // a column too many
        "\"y.mid,,,,,,,,,,,refused",       // a quote left open
        "y\"q.mid,,,,,,,,,,,refused",      // a quote in a bare field
        "\"y.mid\"q,,,,,,,,,,,refused",     // text after the closing quote
        "y.mid,,,,,,,,,,,finished",       // no song status
        ",,,,,,,,,,,refused",             // no path
        "y.mid,,,,,,,,,,,refused\r",      // a CR left at the end
        header,                           // a second run's header
    };
    std::string text = header + "\n" + quoted + "\n";
    for (const std::string& line : broken) text += line + "\n";
    text += refused + "\n" + last + "\n" + "v.mid,4,1,8,Pop,";
    const EarlierOutput earlier = ReadEarlierOutput(text, true);
    EXPECT_EQ(earlier.verdict, EarlierOutput::Verdict::Resumable);
    EXPECT_EQ(Views(earlier), (std::vector<std::string>{header, quoted, refused, last}));
    EXPECT_EQ(earlier.songs, (std::vector<std::string>{"x,y \"z\".mid", "z.mid", "w.mid"}));
    EXPECT_EQ(earlier.dropped, broken.size() + 1);
    EXPECT_FALSE(earlier.headerMissing);

    // A header cut into by a row: the rows stay, and a header is to be written before them.
    const std::string cutHeader = "path,duration_secz.mid,,,,,,,,,,,refused\n" + refused + "\n";  // the views point into it
    const EarlierOutput headless = ReadEarlierOutput(cutHeader, true);
    EXPECT_EQ(Views(headless), (std::vector<std::string>{refused}));
    EXPECT_TRUE(headless.headerMissing);
}

TEST(BatchResume, RefusesAFileOfTheOtherFormatOrOfSomethingElse) {
    const std::string json = "{\"file\":\"a.mid\",\"status\":\"refused\",\"messages\":[]}\n";
    const std::string csv = CsvHeader() + "\na.mid,,,,,,,,,,,refused\n";
    using Verdict = EarlierOutput::Verdict;
    EXPECT_EQ(ReadEarlierOutput(json, true).verdict, Verdict::OtherFormat);
    EXPECT_EQ(ReadEarlierOutput(csv, false).verdict, Verdict::OtherFormat);
    EXPECT_EQ(ReadEarlierOutput(CsvHeader() + "\n", false).verdict, Verdict::OtherFormat);
    EXPECT_EQ(ReadEarlierOutput("my notes\nmore notes\n", false).verdict, Verdict::NotBatchOutput);
    EXPECT_EQ(ReadEarlierOutput("my notes\nmore notes\n", true).verdict, Verdict::NotBatchOutput);
    // nothing but a line that a killed first run cut off, or nothing at all: resumed
    EXPECT_EQ(ReadEarlierOutput("{\"file\":\"a.m", false).verdict, Verdict::Resumable);
    EXPECT_EQ(ReadEarlierOutput("path,dur", true).verdict, Verdict::Resumable);
    EXPECT_EQ(ReadEarlierOutput("", true).verdict, Verdict::Resumable);
}

TEST(BatchSongs, GiveDurationsThroughATempoChangeOnTheSecondTrack) {
    TestSession t;
    const fs::path song = t.WriteSong(TwoTempoSong("Tempo"), "tempo.mid");
    BatchOptions options;
    const SongFacts facts = AnalyseSong(song.string(), Folders::InOne(t.folder()), options);
    ASSERT_EQ(facts.status, SongStatus::Analysed);
    // 192 ticks at 0.5 s per quarter, then 192 at 0.25 s: 1.5 s, although the tempo is in track 2
    EXPECT_NEAR(facts.timeline.durationSeconds, 1.5, 1e-9);
    const std::string json = FactsToJson(facts);
    EXPECT_NE(json.find("\"duration_seconds\":1.5,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"tempo_map\":[{\"tick\":192,\"track\":1,\"microseconds_per_quarter\":250000,\"bpm\":240}]"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"note_count\":1,\"lowest_key\":60,\"highest_key\":60"), std::string::npos) << json;
}

TEST(BatchSongs, GiveARefusedFileALineWithItsPathAndMessagesOnly) {
    TestSession t;
    const fs::path song = t.WriteSong(Bytes{'n', 'o', 't', ' ', 'm', 'i', 'd', 'i'}, "plain.mid");
    BatchOptions options;
    const SongFacts facts = AnalyseSong(song.string(), Folders::InOne(t.folder()), options);
    EXPECT_EQ(facts.status, SongStatus::Refused);
    EXPECT_EQ(FactsToJson(facts), "{\"file\":" + Json(song.string()) +
                                      ",\"status\":\"refused\",\"messages\":["
                                      "{\"kind\":\"message\",\"text\":\"PLAIN.MID is not a MID file\"},"
                                      "{\"kind\":\"message\",\"text\":\"Error!\"}]}");
    EXPECT_EQ(FactsToCsv(facts), song.string() + ",,,,,,,,,,,refused");
}

TEST(BatchSongs, RecordQuestionsWithTheirAnswers) {
    TestSession t;
    // a time signature whose clocks byte is 0 asks for a repair
    const fs::path song = t.WriteSong(MidiFile().Add(Track().Meta(0, 0x58, {4, 2, 0, 8}).End()).Build(), "ask.mid");
    BatchOptions options;
    const std::string json = FactsToJson(AnalyseSong(song.string(), Folders::InOne(t.folder()), options));
    EXPECT_NE(json.find("{\"kind\":\"question\",\"text\":\"ERROR: Invalid Time Signature.  Repair? \",\"answer\":\"No\"}"),
              std::string::npos)
        << json;
}

TEST(BatchRuns, GiveTheSameOutputWithOneWorkerAndWithSeveral) {
    TestSession t;
    std::vector<std::string> songs = MakeCollection(t.folder().parent_path() / "collection");
    // the same songs again under other names, so that workers overlap on equal work
    for (int copy = 0; copy < 3; ++copy) {
        for (const std::string& s : MakeCollection(t.folder().parent_path() / ("copy" + std::to_string(copy)))) {
            songs.push_back(s);
        }
    }
    BatchOptions one;
    one.jobs = 1;
    BatchOptions four = one;
    four.jobs = 4;
    const std::string single = RunToText(songs, t.folder(), one);
    EXPECT_EQ(Lines(single).size(), songs.size());
    EXPECT_EQ(RunToText(songs, t.folder(), four), single);
    four.noLog = true;
    EXPECT_EQ(RunToText(songs, t.folder(), four), single);
    // every worker cleaned its own folder up
    for (const auto& entry : fs::directory_iterator(t.folder())) {
        EXPECT_EQ(entry.path().filename().string().rfind("batch-worker-", 0), std::string::npos);
    }
}

TEST(BatchRuns, WriteTheLogsOnlyWhenAskedTo) {
    TestSession t;
    const fs::path song = t.WriteSong(TwoTempoSong("Logged"), "logged.mid");
    BatchOptions options;
    options.noLog = true;
    AnalyseSong(song.string(), Folders::InOne(t.folder()), options);
    EXPECT_FALSE(fs::exists(t.folder() / "logs" / "batch"));
    options.noLog = false;
    AnalyseSong(song.string(), Folders::InOne(t.folder()), options);
    const fs::path log = t.folder() / "logs" / "batch" / fs::absolute(song).parent_path().relative_path() / "logged.txt";
    EXPECT_TRUE(fs::exists(log)) << log;
}

TEST(BatchRuns, ResumeAnEarlierOutputWithoutRepeatingASong) {
    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    const std::vector<std::string> songs = MakeCollection(root);
    const fs::path out = t.folder().parent_path() / "resume.jsonl";
    const std::string programArg = t.folder().string();
    const std::string outArg = out.string();
    const std::string rootArg = root.string();
    const auto run = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"sonivex-cli", "--batch", "--program-folder", programArg, "--out", outArg};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(rootArg);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        return BatchMain(static_cast<int>(argv.size()), argv.data(), t.folder());
    };
    // The first shard of three, then a line that a killed run left half written.
    ASSERT_EQ(run({"--shard", "1/3"}), 0);
    const std::vector<std::string> first = Lines(ReadAll(out));
    ASSERT_EQ(first.size(), ShardOf(songs, 1, 3).size());
    std::ofstream(out, std::ios::app) << "{\"file\":\"" << songs.back() << "\",\"stat";

    ASSERT_EQ(run({"--jobs", "2"}), 0);
    const std::vector<std::string> all = Lines(ReadAll(out));
    ASSERT_EQ(all.size(), songs.size());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), all.begin()));
    std::multiset<std::string> recorded;
    for (const std::string& s : RecordedSongs(ReadAll(out))) recorded.insert(s);
    EXPECT_EQ(recorded, std::multiset<std::string>(songs.begin(), songs.end()));

    // Nothing is left to do: the output stays as it is.
    ASSERT_EQ(run({}), 0);
    EXPECT_EQ(Lines(ReadAll(out)), all);
}

TEST(BatchRuns, WriteOneCsvRowPerSongAfterOneHeader) {
    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    const std::vector<std::string> songs = MakeCollection(root);
    const fs::path out = t.folder().parent_path() / "songs.csv";
    std::vector<std::string> args = {"sonivex-cli", "--batch", "--csv", "--program-folder", t.folder().string(),
                                     "--out", out.string(), root.string()};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    ASSERT_EQ(BatchMain(static_cast<int>(argv.size()), argv.data(), t.folder()), 0);
    const std::vector<std::string> rows = Lines(ReadAll(out));
    ASSERT_EQ(rows.size(), songs.size() + 1);
    EXPECT_EQ(rows[0], CsvHeader());
    // The facts, the key estimated from the notes with its correlation and margin, the notes' fingerprint.
    const std::string facts = songs[2] + ",1.5,2,1,Baroque,1,Violin,C major,";
    EXPECT_EQ(rows[3].substr(0, facts.size()), facts);
    EXPECT_EQ(std::count(rows[3].begin(), rows[3].end(), ','), 11);
    EXPECT_EQ(rows[3].substr(rows[3].size() - 9), ",analysed");
    EXPECT_EQ(rows[4], songs[3] + ",,,,,,,,,,,refused");
}

TEST(JsonOption, PrintsOneObjectAfterTheCommandsAndKeepsTheLogOnlyWithoutNoLog) {
    TestSession t;
    const fs::path song = t.WriteSong(TwoTempoSong("Json"), "json.mid");
    const fs::path out = t.folder().parent_path() / "json.out";
    const auto run = [&](const std::string& options) {
        const std::string command = std::string(SONIVEX_CLI) + " --program-folder '" + t.folder().string() + "' " +
                                    options + " '" + song.string() + "' --style-list 0 --apply-style > '" +
                                    out.string() + "' 2> /dev/null < /dev/null";
        return std::system(command.c_str());
    };
    ASSERT_EQ(run("--json --no-log"), 0);
    const std::vector<std::string> lines = Lines(ReadAll(out));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("{\"file\":" + Json(song.string()) + ",\"status\":\"analysed\",", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("\"duration_seconds\":1.5,"), std::string::npos);
    EXPECT_FALSE(fs::exists(t.folder() / "logs" / "json.txt"));
    ASSERT_EQ(run("--json"), 0);
    EXPECT_TRUE(fs::exists(t.folder() / "logs" / "json.txt"));
}

TEST(JsonOption, GivesTrackNamesAsCharactersUtf8OrWindows1252) {
    TestSession t;
    const Bytes bytes = MidiFile()
                            .Add(Track().Name(0, "\x93" "Caf\xE9\x94 \x80").NoteOn(0, 0, 60, 90).End(96))
                            .Add(Track().Name(0, "\xC3\x9C" "bung").NoteOn(0, 1, 60, 90).End(96))
                            .Build();
    const fs::path song = t.WriteSong(bytes, "names.mid");
    const fs::path out = t.folder().parent_path() / "names.out";
    const std::string command = std::string(SONIVEX_CLI) + " --program-folder '" + t.folder().string() +
                                "' --json --no-log '" + song.string() + "' > '" + out.string() +
                                "' 2> /dev/null < /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string json = ReadAll(out);
    // Windows-1252: curly quotes, e acute and the euro sign; UTF-8 kept as it is.
    EXPECT_NE(json.find("\"name\":\"\xE2\x80\x9C" "Caf\xC3\xA9\xE2\x80\x9D \xE2\x82\xAC\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"name\":\"\xC3\x9C" "bung\""), std::string::npos) << json;
}

// Runs `sonivex-cli --batch` in this process on the test session's program folder with `args`.
int Batch(const TestSession& t, std::vector<std::string> args) {
    args.insert(args.begin(), {"sonivex-cli", "--batch", "--program-folder", t.folder().string()});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return BatchMain(static_cast<int>(argv.size()), argv.data(), t.folder());
}

// A running sonivex-cli: `--batch` with `args` on the program folder, its stderr going to `errors`.
class BatchProcess {
public:
    BatchProcess(const TestSession& t, std::vector<std::string> args, const fs::path& errors) {
        args.insert(args.begin(), {SONIVEX_CLI, "--batch", "--program-folder", t.folder().string()});
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&files, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        if (posix_spawn(&pid, SONIVEX_CLI, &files, nullptr, argv.data(), environ) == 0) pid_ = pid;
        posix_spawn_file_actions_destroy(&files);
    }
    BatchProcess(BatchProcess&& other) noexcept : pid_(std::exchange(other.pid_, std::nullopt)) {}
    BatchProcess(const BatchProcess&) = delete;
    BatchProcess& operator=(const BatchProcess&) = delete;
    ~BatchProcess() {
        if (!pid_) return;
        ::kill(*pid_, SIGKILL);
        Wait();
    }

    bool Started() const { return pid_.has_value(); }
    pid_t Pid() const { return *pid_; }
    // Waits for it to end; its exit status, or nothing when it did not exit by itself.
    std::optional<int> Wait() {
        if (!pid_) return std::nullopt;
        int status = 0;
        const pid_t pid = *std::exchange(pid_, std::nullopt);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status)) return std::nullopt;
        return WEXITSTATUS(status);
    }

private:
    std::optional<pid_t> pid_;
};

// True when process `pid` holds an flock() lock on the file `inode` (as /proc/locks lists it).
bool HoldsLock(pid_t pid, ino_t inode) {
    std::ifstream locks("/proc/locks");
    std::string line;
    const std::string process = " " + std::to_string(pid) + " ";
    const std::string file = ":" + std::to_string(inode) + " ";
    while (std::getline(locks, line)) {
        if (line.find("FLOCK") != std::string::npos && line.find(process) != std::string::npos &&
            line.find(file) != std::string::npos) {
            return true;
        }
    }
    return false;
}

ino_t InodeOf(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// A collection of `copies` times MakeCollection's songs, in folders of their own.
std::vector<std::string> MakeCopies(const fs::path& root, int copies) {
    for (int copy = 0; copy < copies; ++copy) MakeCollection(root / ("copy" + std::to_string(copy)));
    std::string error;
    return ListSongs({root.string()}, error).value_or(std::vector<std::string>{});
}

// Every song once in `out`, each on a well-formed line of its own.
void ExpectEverySongOnce(const fs::path& out, const std::vector<std::string>& songs) {
    const std::string text = ReadAll(out);
    EXPECT_EQ(Lines(text).size(), songs.size());
    const std::vector<std::string> recorded = RecordedSongs(text);
    EXPECT_EQ(std::multiset<std::string>(recorded.begin(), recorded.end()),
              std::multiset<std::string>(songs.begin(), songs.end()));
}

TEST(BatchResume, AnalysesAgainTheSongsOfBrokenMiddleLinesAndKeepsTheFilesMode) {
    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    const std::vector<std::string> songs = MakeCollection(root);
    const fs::path clean = t.folder().parent_path() / "clean.jsonl";
    ASSERT_EQ(Batch(t, {"--out", clean.string(), root.string()}), 0);
    const std::vector<std::string> cleanLines = Lines(ReadAll(clean));
    ASSERT_EQ(cleanLines.size(), 5u);

    // The second song's line cut short and the third's run into it, as two runs writing at once left them.
    const fs::path folder = t.folder().parent_path() / "out";
    fs::create_directories(folder);
    const fs::path out = folder / "songs.jsonl";
    std::ofstream(out, std::ios::binary) << cleanLines[0] << "\n"
                                         << cleanLines[1].substr(0, cleanLines[1].size() / 2) << cleanLines[2] << "\n"
                                         << cleanLines[3] << "\n" << cleanLines[4] << "\n";
    fs::permissions(out, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    ASSERT_EQ(Batch(t, {"--jobs", "2", "--out", out.string(), root.string()}), 0);
    ExpectEverySongOnce(out, songs);
    const std::vector<std::string> resumed = Lines(ReadAll(out));
    EXPECT_EQ(Sorted(resumed), Sorted(cleanLines));
    // the kept lines stay where they were; the songs analysed again follow them in sorted order
    EXPECT_EQ(resumed,
              (std::vector<std::string>{cleanLines[0], cleanLines[3], cleanLines[4], cleanLines[1], cleanLines[2]}));
    EXPECT_EQ(fs::status(out).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << "a scratch file is left";

    // Nothing to drop: the file is not written again.
    const ino_t inode = InodeOf(out);
    ASSERT_EQ(Batch(t, {"--out", out.string(), root.string()}), 0);
    EXPECT_EQ(InodeOf(out), inode);
    EXPECT_EQ(Lines(ReadAll(out)), resumed);
}

TEST(BatchResume, CutsAHalfWrittenLastLineInPlaceAndEndsAsACleanRun) {
    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    const std::vector<std::string> songs = MakeCollection(root);
    const fs::path clean = t.folder().parent_path() / "clean.jsonl";
    ASSERT_EQ(Batch(t, {"--out", clean.string(), root.string()}), 0);
    const std::string cleanText = ReadAll(clean);
    const std::vector<std::string> cleanLines = Lines(cleanText);

    // a run killed in the middle of its fourth line
    const fs::path out = t.folder().parent_path() / "songs.jsonl";
    std::ofstream(out, std::ios::binary) << cleanLines[0] << "\n" << cleanLines[1] << "\n" << cleanLines[2] << "\n"
                                         << cleanLines[3].substr(0, cleanLines[3].size() - 1);
    const ino_t inode = InodeOf(out);
    ASSERT_EQ(Batch(t, {"--out", out.string(), root.string()}), 0);
    EXPECT_EQ(InodeOf(out), inode);
    EXPECT_EQ(ReadAll(out), cleanText);
}

TEST(BatchResume, AnalysesAgainTheSongOfACsvRowThatLacksAColumnAndPutsABrokenHeaderBack) {
    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    std::vector<std::string> songs = MakeCollection(root);
    // a name the writer quotes, whose row must be kept as it is
    WriteFile(root / "c" / "with, comma \"and quotes\".mid", TwoTempoSong("Quoted"));
    std::string error;
    songs = ListSongs({root.string()}, error).value_or(std::vector<std::string>{});
    const fs::path clean = t.folder().parent_path() / "clean.csv";
    ASSERT_EQ(Batch(t, {"--csv", "--out", clean.string(), root.string()}), 0);
    const std::vector<std::string> cleanRows = Lines(ReadAll(clean));
    ASSERT_EQ(cleanRows.size(), songs.size() + 1);
    ASSERT_TRUE(std::any_of(cleanRows.begin(), cleanRows.end(), [](const std::string& row) {
        return row.find("/with, comma \"\"and quotes\"\".mid\",") != std::string::npos;
    }));

    const fs::path out = t.folder().parent_path() / "songs.csv";
    std::string damaged;
    for (std::size_t i = 0; i < cleanRows.size(); ++i) {
        damaged += (i == 2 ? cleanRows[i].substr(0, cleanRows[i].rfind(',')) : cleanRows[i]) + "\n";
    }
    std::ofstream(out, std::ios::binary) << damaged;
    ASSERT_EQ(Batch(t, {"--csv", "--out", out.string(), root.string()}), 0);
    std::vector<std::string> rows = Lines(ReadAll(out));
    ASSERT_EQ(rows.size(), cleanRows.size());
    EXPECT_EQ(rows[0], CsvHeader());
    EXPECT_EQ(rows.back(), cleanRows[2]);
    EXPECT_EQ(Sorted(rows), Sorted(cleanRows));

    // A header that another write cut into: the rows stay, a whole header goes before them, nothing is added.
    std::ofstream(out, std::ios::binary) << "path,duration_seconds,tra" << ReadAll(clean).substr(CsvHeader().size());
    ASSERT_EQ(Batch(t, {"--csv", "--out", out.string(), root.string()}), 0);
    EXPECT_EQ(Lines(ReadAll(out)), cleanRows);
}

TEST(BatchOutput, LeavesAFileOfTheOtherFormatOrOfSomethingElseAsItIs) {
    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    MakeCollection(root);
    const fs::path json = t.folder().parent_path() / "songs.jsonl";
    const fs::path csv = t.folder().parent_path() / "songs.csv";
    ASSERT_EQ(Batch(t, {"--shard", "1/2", "--out", json.string(), root.string()}), 0);
    ASSERT_EQ(Batch(t, {"--csv", "--shard", "1/2", "--out", csv.string(), root.string()}), 0);
    const std::string jsonText = ReadAll(json);
    const std::string csvText = ReadAll(csv);
    EXPECT_EQ(Batch(t, {"--csv", "--out", json.string(), root.string()}), 1);
    EXPECT_EQ(Batch(t, {"--out", csv.string(), root.string()}), 1);
    EXPECT_EQ(ReadAll(json), jsonText);
    EXPECT_EQ(ReadAll(csv), csvText);
    const fs::path notes = t.folder().parent_path() / "notes.txt";
    std::ofstream(notes) << "my notes\nmore notes\n";
    EXPECT_EQ(Batch(t, {"--out", notes.string(), root.string()}), 1);
    EXPECT_EQ(ReadAll(notes), "my notes\nmore notes\n");
}

TEST(BatchOutput, RefusesASymbolicLinkAFifoAndAFolderAndLeavesThemAlone) {
    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    MakeCollection(root);
    const fs::path target = t.folder().parent_path() / "target.jsonl";
    const std::string line = "{\"file\":\"elsewhere.mid\",\"status\":\"refused\",\"messages\":[]}\n";
    std::ofstream(target, std::ios::binary) << line;
    const fs::path link = t.folder().parent_path() / "link.jsonl";
    fs::create_symlink(target, link);
    EXPECT_EQ(Batch(t, {"--out", link.string(), root.string()}), 1);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(target), line);
    // a link to a file that is not there yet is not followed to make it
    const fs::path dangling = t.folder().parent_path() / "dangling.jsonl";
    fs::create_symlink(t.folder().parent_path() / "missing.jsonl", dangling);
    EXPECT_EQ(Batch(t, {"--out", dangling.string(), root.string()}), 1);
    EXPECT_FALSE(fs::exists(t.folder().parent_path() / "missing.jsonl"));

    const fs::path fifo = t.folder().parent_path() / "fifo.jsonl";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Batch(t, {"--out", fifo.string(), root.string()}), 1);  // at once, waiting for no reader
    const fs::path folder = t.folder().parent_path() / "folder.jsonl";
    fs::create_directories(folder);
    EXPECT_EQ(Batch(t, {"--out", folder.string(), root.string()}), 1);
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST(BatchOutput, StopsASecondRunAtOnceWhileTheFirstHoldsTheFile) {
    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    const std::vector<std::string> songs = MakeCopies(root, 40);
    const fs::path out = t.folder().parent_path() / "songs.jsonl";
    std::ofstream(out).flush();
    const ino_t inode = InodeOf(out);

    // The first run is held still once it has the lock, so that the second certainly meets it.
    BatchProcess first(t, {"--jobs", "1", "--out", out.string(), root.string()},
                       t.folder().parent_path() / "first.err");
    ASSERT_TRUE(first.Started());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!HoldsLock(first.Pid(), inode) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_EQ(::kill(first.Pid(), SIGSTOP), 0);
    ASSERT_TRUE(HoldsLock(first.Pid(), inode)) << "the first run never held the lock, or ended before it was seen";
    const std::string before = ReadAll(out);

    const fs::path errors = t.folder().parent_path() / "second.err";
    BatchProcess second(t, {"--out", out.string(), root.string()}, errors);
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_EQ(ReadAll(errors), "sonivex-cli: " + out.string() + " is in use by another Sonivex run\n");
    EXPECT_EQ(ReadAll(out), before);

    ::kill(first.Pid(), SIGCONT);
    EXPECT_EQ(first.Wait(), 0);
    ExpectEverySongOnce(out, songs);
}

TEST(BatchOutput, SixteenRunsAtOnceOnOneFileLeaveEverySongOnceAndARerunCompletes) {
    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    const std::vector<std::string> songs = MakeCopies(root, 8);
    const fs::path folder = t.folder().parent_path() / "out";
    fs::create_directories(folder);
    const fs::path out = folder / "songs.jsonl";
    // Half of the songs and a broken line among them, so that the run that gets the file first writes it
    // again through a scratch file while the others try to open it.
    ASSERT_EQ(Batch(t, {"--shard", "1/2", "--out", out.string(), root.string()}), 0);
    std::vector<std::string> half = Lines(ReadAll(out));
    ASSERT_GT(half.size(), 3u);
    half[1].resize(half[1].size() / 2);
    std::string text;
    for (const std::string& line : half) text += line + "\n";
    std::ofstream(out, std::ios::binary) << text;

    std::vector<BatchProcess> runs;
    for (int i = 0; i < 16; ++i) {
        runs.emplace_back(t, std::vector<std::string>{"--jobs", "1", "--out", out.string(), root.string()},
                          t.folder().parent_path() / ("run" + std::to_string(i) + ".err"));
        ASSERT_TRUE(runs.back().Started());
    }
    int completed = 0;
    for (int i = 0; i < 16; ++i) {
        const std::optional<int> status = runs[static_cast<std::size_t>(i)].Wait();
        ASSERT_TRUE(status);
        const std::string errors = ReadAll(t.folder().parent_path() / ("run" + std::to_string(i) + ".err"));
        if (*status == 0) {
            ++completed;
        } else {
            EXPECT_EQ(*status, 1);
            EXPECT_EQ(errors, "sonivex-cli: " + out.string() + " is in use by another Sonivex run\n");
        }
    }
    EXPECT_GE(completed, 1);
    ExpectEverySongOnce(out, songs);

    ASSERT_EQ(Batch(t, {"--out", out.string(), root.string()}), 0);
    ExpectEverySongOnce(out, songs);
    const fs::path clean = t.folder().parent_path() / "clean.jsonl";
    ASSERT_EQ(Batch(t, {"--out", clean.string(), root.string()}), 0);
    EXPECT_EQ(Sorted(Lines(ReadAll(out))), Sorted(Lines(ReadAll(clean))));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << "a scratch file is left";
}

}  // namespace
}  // namespace sonivex::test

namespace sonivex::test {
namespace {

TEST(BatchRuns, StopAtOnceWithNoWaitWhileAnotherRunHoldsTheProgramFolder) {
    TestSession t;
    const fs::path collection = t.folder().parent_path() / "collection";
    MakeCollection(collection);
    std::string error;
    std::optional<FolderLock> held = FolderLock::Take(t.folder(), FolderLock::Wait::No, error);
    ASSERT_TRUE(held.has_value()) << error;
    const fs::path out = t.folder().parent_path() / "songs.jsonl";
    EXPECT_EQ(Batch(t, {"--no-wait", "--no-log", "--out", out.string(), collection.string()}), 1);
    EXPECT_EQ(TestSession::ReadText(out), "");
    held.reset();
    EXPECT_EQ(Batch(t, {"--no-wait", "--no-log", "--out", out.string(), collection.string()}), 0);
    EXPECT_FALSE(TestSession::ReadText(out).empty());
    // The workers' folders are gone with the run.
    for (const auto& entry : fs::directory_iterator(t.folder())) {
        EXPECT_EQ(entry.path().filename().string().rfind("batch-worker-", 0), std::string::npos) << entry.path();
    }
}

TEST(BatchDuplicates, GroupsTheSongsWhoseNotesAreTheSame) {
    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    const std::vector<std::string> songs = MakeCollection(root);  // one.mid and three.kar differ in their names only
    BatchOptions options;
    options.jobs = 2;
    options.duplicates = true;
    const std::vector<std::string> lines = Lines(RunToText(songs, t.folder(), options));
    ASSERT_EQ(lines.size(), 1u);
    const std::string files = "\"count\":2,\"files\":[" + Json((root / "a" / "deep" / "three.kar").string()) + "," +
                              Json((root / "b" / "one.mid").string()) + "]}";
    EXPECT_EQ(lines[0].substr(0, 14), "{\"notes_hash\":");
    EXPECT_EQ(lines[0].substr(lines[0].size() - files.size()), files);

    std::string problem;
    EXPECT_FALSE(ParseBatchArguments({"--duplicates", "--csv", "x"}, problem));
    EXPECT_EQ(problem, "--duplicates prints the groups of copies: it takes no --csv, --out or --render-to");
}

TEST(BatchFeatures, CsvFeaturesAddTheNotesColumnsAndTheKeyProfileIsTheOneAsked) {
    std::string problem;
    const std::optional<BatchOptions> parsed = ParseBatchArguments({"--csv-features", "--key-profile", "aarden", "x"}, problem);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(parsed->csv);
    EXPECT_EQ(parsed->csvLayout, CsvLayout::Features);
    EXPECT_EQ(parsed->keyProfile, KeyProfile::Aarden);
    EXPECT_FALSE(ParseBatchArguments({"--key-profile", "major", "x"}, problem));
    EXPECT_EQ(problem, "--key-profile needs krumhansl, temperley or aarden");

    TestSession t;
    const fs::path root = t.folder().parent_path() / "collection";
    const std::vector<std::string> songs = MakeCollection(root);
    const std::vector<std::string> rows = Lines(RunToText(songs, t.folder(), *parsed));
    const std::string header = CsvHeader(CsvLayout::Features);
    const auto columns = std::count(header.begin(), header.end(), ',');
    ASSERT_EQ(rows.size(), songs.size());  // AnalyseSongs writes the rows; the run writes the header
    for (const std::string& row : rows) {
        if (row.find('"') == std::string::npos) {
            EXPECT_EQ(std::count(row.begin(), row.end(), ','), columns) << row;
        }
    }
    EXPECT_NE(header.find(",pc_c,pc_c_sharp,"), std::string::npos);
    EXPECT_NE(header.find(",interval_11_or_more,"), std::string::npos);
    // The JSON of the same run names its profile.
    BatchOptions json = *parsed;
    json.csv = false;
    EXPECT_NE(RunToText({songs[2]}, t.folder(), json).find("\"key_profile\":\"aarden\""), std::string::npos);
}

}  // namespace
}  // namespace sonivex::test
