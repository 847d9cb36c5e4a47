#include "batch.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <variant>

#include "app/commands.h"
#include "app/folders.h"
#include "app/open_command.h"
#include "cli/duplicates.h"
#include "cli/extras.h"
#include "reader/files.h"
#include "reader/load.h"
#include "report/analyse.h"

namespace sonivex {

namespace {

using Clock = std::chrono::steady_clock;

// Answers questions from the options and keeps every message box for the song's record; shows nothing.
class RecordingPlatform : public AppPlatform {
public:
    explicit RecordingPlatform(bool yes) : yes_(yes) {}

    Answer ShowMessage(const std::string& text, Buttons buttons, Icon, const std::string&) override {
        if (buttons == Buttons::Ok) {
            shown_.push_back({false, text, false});
            return Answer::Ok;
        }
        shown_.push_back({true, text, yes_});
        return yes_ ? Answer::Yes : Answer::No;
    }
    void SetBusy(bool) override {}
    void LetEventsRun() override {}
    void SetCaption(const std::string&) override {}

    std::vector<ShownMessage> Take() { return std::move(shown_); }

private:
    bool yes_;
    std::vector<ShownMessage> shown_;
};

bool ParseCount(const std::string& text, int& out) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::stoi(text);
    return out > 0;
}

// The folder of a song's log: the song's own folder mirrored under the logs folder, so songs of the same
// name in different folders, analysed by different workers at the same time, never share a log file.
std::filesystem::path LogFolderFor(const std::filesystem::path& logs, const std::string& song) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(song, ec).lexically_normal();
    return logs / "batch" / full.parent_path().relative_path();
}

// Reads one JSON string literal starting at `at` (its opening quote); \u00XX gives back the byte XX, as the
// writer writes bytes that are not UTF-8.
std::optional<std::string> ReadJsonString(std::string_view text, std::size_t at) {
    if (at >= text.size() || text[at] != '"') return std::nullopt;
    std::string out;
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') return out;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size()) return std::nullopt;
        switch (text[i]) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (i + 4 >= text.size()) return std::nullopt;
                unsigned code = 0;
                const auto r = std::from_chars(text.data() + i + 1, text.data() + i + 5, code, 16);
                if (r.ptr != text.data() + i + 5) return std::nullopt;
                i += 4;
                if (code < 0x100) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default: out += text[i];
        }
    }
    return std::nullopt;
}

// Checks that a text is exactly one well-formed JSON value (blanks around it allowed, strings in UTF-8) and
// finds, in the object it holds, the values of the top-level members that name a song.
class JsonScanner {
public:
    explicit JsonScanner(std::string_view text) : text_(text) {}

    // The values of the members "file" and "status", as they stand in the text (a string with its quotes).
    struct SongMembers {
        std::optional<std::string_view> file;
        std::optional<std::string_view> status;
        bool repeated = false;  // one of them is there twice
    };

    // The song members when the whole text is one well-formed object; nothing otherwise.
    std::optional<SongMembers> ScanObject() {
        SongMembers members;
        SkipBlanks();
        if (!Object(0, &members)) return std::nullopt;
        SkipBlanks();
        if (at_ != text_.size()) return std::nullopt;
        return members;
    }

private:
    // Far deeper than a song's line nests; keeps a damaged line of brackets from exhausting the stack.
    static constexpr int kMaxDepth = 64;

    bool Value(int depth) {
        if (at_ >= text_.size()) return false;
        switch (text_[at_]) {
            case '{': return Object(depth, nullptr);
            case '[': return Array(depth);
            case '"': return String();
            case 't': return Word("true");
            case 'f': return Word("false");
            case 'n': return Word("null");
            default: return Number();
        }
    }

    // An object; the top level's members are noted in `members`.
    bool Object(int depth, SongMembers* members) {
        if (depth >= kMaxDepth || !Take('{')) return false;
        SkipBlanks();
        if (Take('}')) return true;
        for (;;) {
            SkipBlanks();
            const std::size_t keyAt = at_;
            if (!String()) return false;
            const std::string_view key = text_.substr(keyAt, at_ - keyAt);
            SkipBlanks();
            if (!Take(':')) return false;
            SkipBlanks();
            const std::size_t valueAt = at_;
            if (!Value(depth + 1)) return false;
            if (members != nullptr) Note(*members, key, text_.substr(valueAt, at_ - valueAt));
            SkipBlanks();
            if (Take('}')) return true;
            if (!Take(',')) return false;
        }
    }

    static void Note(SongMembers& members, std::string_view key, std::string_view value) {
        const std::optional<std::string> name = ReadJsonString(key, 0);
        std::optional<std::string_view>* slot = nullptr;
        if (name == "file") slot = &members.file;
        if (name == "status") slot = &members.status;
        if (slot == nullptr) return;
        if (slot->has_value()) members.repeated = true;
        *slot = value;
    }

    bool Array(int depth) {
        if (depth >= kMaxDepth || !Take('[')) return false;
        SkipBlanks();
        if (Take(']')) return true;
        for (;;) {
            SkipBlanks();
            if (!Value(depth + 1)) return false;
            SkipBlanks();
            if (Take(']')) return true;
            if (!Take(',')) return false;
        }
    }

    bool String() {
        if (!Take('"')) return false;
        while (at_ < text_.size()) {
            const auto c = static_cast<unsigned char>(text_[at_]);
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c < 0x20) return false;  // a control character must be escaped
            if (c == '\\') {
                if (!Escape()) return false;
            } else if (c >= 0x80) {
                if (!Utf8Sequence()) return false;
            } else {
                ++at_;
            }
        }
        return false;
    }

    bool Escape() {
        ++at_;
        if (at_ >= text_.size()) return false;
        const char kind = text_[at_++];
        if (std::string_view("\"\\/bfnrt").find(kind) != std::string_view::npos) return true;
        if (kind != 'u' || text_.size() - at_ < 4) return false;
        for (int k = 0; k < 4; ++k) {
            if (std::isxdigit(static_cast<unsigned char>(text_[at_++])) == 0) return false;
        }
        return true;
    }

    // One UTF-8 sequence of two to four bytes: no overlong form, no surrogate, nothing above U+10FFFF.
    bool Utf8Sequence() {
        const auto lead = static_cast<unsigned char>(text_[at_]);
        std::size_t more = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (text_.size() - at_ <= more) return false;
        for (std::size_t k = 1; k <= more; ++k) {
            const auto b = static_cast<unsigned char>(text_[at_ + k]);
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return false;
        }
        at_ += more + 1;
        return true;
    }

    // -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
    bool Number() {
        Take('-');
        if (!Take('0') && !Digits()) return false;
        if (Take('.') && !Digits()) return false;
        if (Take('e') || Take('E')) {
            if (!Take('+')) Take('-');
            if (!Digits()) return false;
        }
        return true;
    }

    bool Digits() {
        const std::size_t from = at_;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
        return at_ > from;
    }

    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    bool Take(char c) {
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }

    void SkipBlanks() {
        while (at_ < text_.size() && std::string_view(" \t\n\r").find(text_[at_]) != std::string_view::npos) ++at_;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

bool IsStatusName(std::string_view name) {
    for (const SongStatus status : {SongStatus::Analysed, SongStatus::Refused, SongStatus::Stopped}) {
        if (name == StatusName(status)) return true;
    }
    return false;
}

// The song of a JSON line: the "file" of an object that names its file and its status as the batch writes
// them. Nothing for any other line.
std::optional<std::string> SongOfJsonLine(std::string_view line) {
    const std::optional<JsonScanner::SongMembers> members = JsonScanner(line).ScanObject();
    if (!members || members->repeated || !members->file || !members->status) return std::nullopt;
    const std::optional<std::string> status = ReadJsonString(*members->status, 0);
    if (!status || !IsStatusName(*status)) return std::nullopt;
    std::optional<std::string> file = ReadJsonString(*members->file, 0);
    if (!file || file->empty()) return std::nullopt;
    return file;
}

// The fields of a CSV row as the writer writes them: a field with a comma, a quote or a line break between
// quotes, a quote inside it doubled; any other field bare, without quotes. Nothing when `row` is not such a
// row (a quote left open, text after a closing quote, a quote or a CR in a bare field).
std::optional<std::vector<std::string>> CsvFields(std::string_view row) {
    std::vector<std::string> fields;
    std::size_t at = 0;
    for (;;) {
        std::string field;
        if (at < row.size() && row[at] == '"') {
            for (++at;; ++at) {
                if (at >= row.size()) return std::nullopt;
                if (row[at] != '"') {
                    field += row[at];
                } else if (at + 1 < row.size() && row[at + 1] == '"') {
                    field += '"';
                    ++at;
                } else {
                    ++at;
                    break;
                }
            }
        } else {
            const std::size_t end = std::min(row.find(',', at), row.size());
            field.assign(row.substr(at, end - at));
            if (field.find_first_of("\"\r") != std::string::npos) return std::nullopt;
            at = end;
        }
        fields.push_back(std::move(field));
        if (at == row.size()) return fields;
        if (row[at] != ',') return std::nullopt;
        ++at;
    }
}

// The song of a CSV row that has every column of the header and a song status in the last. Nothing for any
// other line, the header included.
std::optional<std::string> SongOfCsvRow(std::string_view line, std::size_t columns) {
    std::optional<std::vector<std::string>> fields = CsvFields(line);
    if (!fields || fields->size() != columns || fields->front().empty() || !IsStatusName(fields->back())) {
        return std::nullopt;
    }
    return std::move(fields->front());
}

std::size_t CsvColumns(CsvLayout layout = CsvLayout::Facts) {
    return CsvFields(CsvHeader(layout)).value_or(std::vector<std::string>{}).size();
}

// The lines of a text without their line ends, and whether the last one was cut off before its line end.
struct TextLines {
    std::vector<std::string_view> complete;
    bool cutOff = false;
};

TextLines SplitLines(std::string_view text) {
    TextLines lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find('\n', from);
        if (end == std::string_view::npos) {
            lines.cutOff = true;
            break;
        }
        lines.complete.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

std::string ToLine(const SongFacts& facts, const BatchOptions& options) {
    return (options.csv ? FactsToCsv(facts, options.csvLayout) : FactsToJson(facts)) + "\n";
}

// Shows files done, files per second and the time left on one line that rewrites itself.
class ProgressLine {
public:
    ProgressLine(bool shown, std::size_t total) : shown_(shown), total_(total), start_(Clock::now()) {}

    void Update(std::size_t done, bool last = false) {
        if (!shown_) return;
        const Clock::time_point now = Clock::now();
        if (!last && now - shownAt_ < std::chrono::milliseconds(200)) return;
        shownAt_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
        const double left = rate > 0 ? static_cast<double>(total_ - done) / rate : 0;
        std::fprintf(stderr, "\r%zu/%zu files, %.0f files/s, %.0f s left  ", done, total_, rate, left);
        if (last) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    bool shown_;
    std::size_t total_;
    Clock::time_point start_;
    Clock::time_point shownAt_{};
};

}  // namespace

bool IsBatchRun(int argc, char** argv) {
    bool batch = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return false;  // the help wins
        if (std::strcmp(argv[i], "--batch") == 0) batch = true;
    }
    return batch;
}

namespace {

// The options of a batch run that take a value.
bool TakesAValue(const std::string& arg) {
    static constexpr std::string_view kWithValue[] = {"--jobs",      "-j",           "--shard",      "--out",
                                                     "--seed",      "--render-to",  "--soundfont", "--audio-format",
                                                     "--key-profile"};
    return std::find(std::begin(kWithValue), std::end(kWithValue), arg) != std::end(kWithValue);
}

// Takes the value `v` of the option `arg` (one that TakesAValue); false, with the reason in `problem`, when the
// value is missing or does not do.
bool TakeValue(const std::string& arg, const std::optional<std::string>& v, BatchOptions& o, std::string& problem) {
    const auto fail = [&](std::string reason) {
        problem = std::move(reason);
        return false;
    };
    if (arg == "--jobs" || arg == "-j") {
        if (!v || !ParseCount(*v, o.jobs)) return fail("--jobs needs a number of workers above 0");
    } else if (arg == "--shard") {
        const std::size_t slash = v ? v->find('/') : std::string::npos;
        if (slash == std::string::npos || !ParseCount(v->substr(0, slash), o.shard) ||
            !ParseCount(v->substr(slash + 1), o.shardCount) || o.shard > o.shardCount) {
            return fail("--shard needs K/N with 1 <= K <= N");
        }
    } else if (arg == "--out") {
        if (!v || v->empty()) return fail("--out needs a file");
        o.out = *v;
    } else if (arg == "--seed") {
        if (!v || v->empty() || v->size() > 10 || v->find_first_not_of("0123456789") != std::string::npos ||
            std::stoull(*v) > 0xFFFFFFFFull) {
            return fail("--seed needs a whole number");
        }
        o.seed = static_cast<std::uint32_t>(std::stoull(*v));
    } else if (arg == "--render-to" || arg == "--soundfont") {
        if (!v || v->empty()) return fail(arg + (arg == "--render-to" ? " needs a folder" : " needs a SoundFont file"));
        (arg == "--render-to" ? o.renderTo : o.soundFont) = *v;
    } else if (arg == "--audio-format") {
        const std::optional<std::string> extension = v ? AudioExtensionOf(*v) : std::nullopt;
        if (!extension) return fail("--audio-format takes wav, flac or ogg");
        o.audioExtension = *extension;
    } else if (arg == "--key-profile") {
        const std::optional<KeyProfile> profile = v ? KeyProfileNamed(*v) : std::nullopt;
        if (!profile) return fail("--key-profile needs krumhansl, temperley or aarden");
        o.keyProfile = *profile;
    }
    return true;
}

// The options that go together, once every argument was read; false with the reason in `problem` when not.
bool OptionsAgree(const BatchOptions& o, std::string& problem) {
    if (o.paths.empty()) {
        problem = "--batch needs at least one file or folder";
    } else if (o.duplicates && (o.csv || o.out || o.renderTo)) {
        problem = "--duplicates prints the groups of copies: it takes no --csv, --out or --render-to";
    } else if (!o.renderTo && (o.soundFont || o.audioExtension != ".wav")) {
        problem = std::string(o.soundFont ? "--soundfont" : "--audio-format") + " needs --render-to in a batch run";
    } else {
        return true;
    }
    return false;
}

}  // namespace

std::optional<BatchOptions> ParseBatchArguments(const std::vector<std::string>& args, std::string& problem) {
    BatchOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (TakesAValue(arg)) {
            const std::optional<std::string> v = i + 1 < args.size() ? std::optional<std::string>(args[++i]) : std::nullopt;
            if (!TakeValue(arg, v, o, problem)) return std::nullopt;
        } else if (arg == "--csv" || arg == "--csv-features") {
            o.csv = true;
            if (arg == "--csv-features") o.csvLayout = CsvLayout::Features;
        } else if (arg == "--duplicates") {
            o.duplicates = true;
        } else if (arg == "--no-log") {
            o.noLog = true;
        } else if (arg == "--yes") {
            o.yes = true;
        } else if (arg == "--no-wait") {
            o.noWait = true;
        } else if (arg == "--") {
            o.paths.insert(o.paths.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (arg == "--json") {
            // JSON Lines are the default output of a batch run
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            problem = "unknown option " + arg + " in a batch run";
            return std::nullopt;
        } else {
            o.paths.push_back(arg);
        }
    }
    if (!OptionsAgree(o, problem)) return std::nullopt;
    return o;
}

bool IsSongName(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".mid" || ext == ".midi" || ext == ".kar";
}

std::optional<std::vector<std::string>> ListSongs(const std::vector<std::string>& paths, std::string& error) {
    std::vector<std::string> songs;
    for (const std::string& given : paths) {
        std::error_code ec;
        const std::filesystem::file_status status = std::filesystem::status(given, ec);
        if (std::filesystem::is_directory(status)) {
            const auto options = std::filesystem::directory_options::skip_permission_denied;
            std::filesystem::recursive_directory_iterator it(given, options, ec);
            if (ec) {
                error = given + " cannot be read";
                return std::nullopt;
            }
            for (; it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
                if (ec) break;
                std::error_code typeError;
                if (it->is_regular_file(typeError) && IsSongName(it->path())) songs.push_back(it->path().string());
            }
        } else if (std::filesystem::exists(status)) {
            songs.push_back(given);
        } else {
            error = given + " does not exist";
            return std::nullopt;
        }
    }
    std::sort(songs.begin(), songs.end());
    songs.erase(std::unique(songs.begin(), songs.end()), songs.end());
    return songs;
}

std::vector<std::string> ShardOf(const std::vector<std::string>& songs, int shard, int count) {
    if (count < 1 || shard < 1 || shard > count) return {};
    const auto n = static_cast<std::uint64_t>(songs.size());
    const std::uint64_t from = (static_cast<std::uint64_t>(shard) - 1) * n / static_cast<std::uint64_t>(count);
    const std::uint64_t to = static_cast<std::uint64_t>(shard) * n / static_cast<std::uint64_t>(count);
    return std::vector<std::string>(songs.begin() + static_cast<std::ptrdiff_t>(from),
                                    songs.begin() + static_cast<std::ptrdiff_t>(to));
}

std::vector<std::string> RecordedSongs(const std::string& output) {
    std::vector<std::string> done;
    const std::size_t columns = CsvColumns();
    for (const std::string_view line : SplitLines(output).complete) {
        std::optional<std::string> song = SongOfJsonLine(line);
        if (!song) song = SongOfCsvRow(line, columns);
        if (song) done.push_back(std::move(*song));
    }
    return done;
}

EarlierOutput ReadEarlierOutput(std::string_view text, bool csv, CsvLayout layout) {
    EarlierOutput earlier;
    const std::string header = CsvHeader(layout);
    const std::size_t columns = CsvColumns(layout);
    const TextLines lines = SplitLines(text);
    bool otherFormat = false;
    bool anyText = false;
    for (const std::string_view line : lines.complete) {
        if (line.find_first_not_of(" \t\r") != std::string_view::npos) anyText = true;
        if (csv && line == header && earlier.kept.empty()) {
            earlier.kept.push_back(line);
            continue;
        }
        std::optional<std::string> song = csv ? SongOfCsvRow(line, columns) : SongOfJsonLine(line);
        if (song) {
            earlier.kept.push_back(line);
            earlier.songs.push_back(std::move(*song));
            continue;
        }
        ++earlier.dropped;
        const bool ofTheOther = csv ? SongOfJsonLine(line).has_value()
                                    : line == header || SongOfCsvRow(line, columns).has_value();
        if (ofTheOther) otherFormat = true;
    }
    if (lines.cutOff) ++earlier.dropped;
    earlier.headerMissing = csv && !earlier.kept.empty() && earlier.kept.front() != header;
    if (otherFormat) {
        earlier.verdict = EarlierOutput::Verdict::OtherFormat;
    } else if (anyText && earlier.kept.empty()) {
        earlier.verdict = EarlierOutput::Verdict::NotBatchOutput;
    }
    return earlier;
}

SongFacts AnalyseSong(const std::string& path, const Folders& folders, const BatchOptions& options) {
    RecordingPlatform platform(options.yes);
    try {
        Folders own = folders;
        if (!options.noLog) own.logs = LogFolderFor(folders.logs, path);
        ReportSession session(platform, own);
        session.FixedSeed = true;
        session.Seed = options.seed;
        if (options.noLog) session.song.Log.SwitchOff();
        std::error_code ec;
        if (!options.noLog) std::filesystem::create_directories(session.LogFolder(), ec);  // one that exists is fine
        SongStatus status = SongStatus::Refused;
        // The song is read from the disk once: for its load, its report and its timeline.
        const WorkingCopyHeld held(session);
        if (!std::filesystem::is_regular_file(path, ec)) {
            session.Message(path + NotASongFile(path), Icon::Warning);
        } else if (ReadListFiles(session)) {
            const std::string full = std::filesystem::absolute(path, ec).lexically_normal().string();
            const AnalysisOutcome outcome = AnalyseFile(session, full);
            if (outcome == AnalysisOutcome::Reported) status = SongStatus::Analysed;
            if (outcome == AnalysisOutcome::Stopped) status = SongStatus::Stopped;
        }
        SongFacts facts = CollectFacts(session, path, status, platform.Take(), options.keyProfile);
        session.CloseAllFiles();
        if (!session.song.TempFileName.empty()) RemoveIfPresent(session.WorkFile(session.song.TempFileName));
        return facts;
    } catch (const std::exception& e) {
        std::vector<ShownMessage> shown = platform.Take();
        shown.push_back({false, std::string("The analysis failed: ") + e.what(), false});
        SongFacts facts;
        facts.file = path;
        facts.status = SongStatus::Stopped;
        facts.messages = std::move(shown);
        return facts;
    }
}

namespace {

// The lines of the songs in the order of the list, however the workers interleave: each song's line waits in
// its slot until every song before it is written. A worker waits rather than run further than `window` songs
// ahead of the writer, so that lines waiting for their turn cannot pile up in memory when the writer is slow.
class OrderedLines {
public:
    OrderedLines(std::size_t total, std::size_t window) : slots_(total), window_(window) {}

    // Waits until song `i` is near enough to the writer to be analysed.
    void WaitForTurn(std::size_t i) {
        std::unique_lock<std::mutex> lock(mutex_);
        writtenChanged_.wait(lock, [&] { return i < written_ + window_; });
    }
    void Put(std::size_t i, std::string line, SongStatus status) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            slots_[i].line = std::move(line);
            slots_[i].status = status;
            slots_[i].ready = true;
        }
        readyChanged_.notify_one();
    }
    // Waits for song `i`'s line and takes it; every song before it has been taken.
    std::pair<std::string, SongStatus> Take(std::size_t i) {
        std::pair<std::string, SongStatus> taken;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            readyChanged_.wait(lock, [&] { return slots_[i].ready; });
            taken.first.swap(slots_[i].line);
            taken.second = slots_[i].status;
            written_ = i + 1;
        }
        writtenChanged_.notify_all();
        return taken;
    }

private:
    struct Slot {
        std::string line;
        SongStatus status = SongStatus::Refused;
        bool ready = false;
    };
    std::vector<Slot> slots_;
    const std::size_t window_;
    std::size_t written_ = 0;
    std::mutex mutex_;
    std::condition_variable readyChanged_;
    std::condition_variable writtenChanged_;
};

void Count(BatchCounts& counts, SongStatus status) {
    switch (status) {
        case SongStatus::Analysed: ++counts.analysed; break;
        case SongStatus::Refused: ++counts.refused; break;
        case SongStatus::Stopped: ++counts.stopped; break;
    }
}

}  // namespace

unsigned WorkerCount(int jobs, std::size_t total) {
    const unsigned workers = jobs > 0 ? static_cast<unsigned>(jobs) : std::thread::hardware_concurrency();
    return std::max(1u, std::min<unsigned>(workers, static_cast<unsigned>(std::max<std::size_t>(total, 1))));
}

namespace {

// How the audio files of a run went, counted by the workers.
struct AudioTally {
    std::atomic<std::size_t> written{0};
    std::atomic<std::size_t> kept{0};
    std::atomic<std::size_t> failed{0};
};

// Renders song `i` of the run with the worker's renderer, after making its folders; counts the outcome.
AudioFacts RenderSongAudio(const std::string& song, std::size_t i, BatchAudio& audio, SongRenderer& renderer,
                           AudioTally& tally) {
    const std::filesystem::path target = audio.folder / audio.targets[i];
    AudioFacts facts{target.string(), std::nullopt, ""};
    std::error_code ec;
    std::string problem;
    if (!std::filesystem::is_regular_file(song, ec)) {
        facts.error = facts.file + " was not written: " + song + " is not a regular file";
    } else if (!MakeFoldersBelow(audio.folder, audio.targets[i].parent_path(), problem)) {
        facts.error = facts.file + " was not written: " + problem;
    } else {
        facts = renderer.Render(song, target, facts.file);
    }
    if (!facts.error.empty()) {
        ++tally.failed;
    } else {
        ++(renderer.Kept() ? tally.kept : tally.written);
    }
    return facts;
}

}  // namespace

BatchCounts AnalyseSongs(const std::vector<std::string>& songs, const Folders& base, const BatchOptions& options,
                         std::FILE* out, BatchAudio* audio) {
    BatchCounts counts;
    const std::size_t total = songs.size();
    const unsigned workers = audio != nullptr ? static_cast<unsigned>(std::max<std::size_t>(audio->renderers.size(), 1))
                                              : WorkerCount(options.jobs, total);
    OrderedLines lines(total, 16 * static_cast<std::size_t>(workers));
    std::atomic<std::size_t> next{0};
    AudioTally tally;
    // For --duplicates, each analysed song's fingerprint, by its place in the run (each written by one worker).
    std::vector<std::optional<FingerprintedSong>> copies(options.duplicates ? total : 0);

    const auto work = [&](unsigned worker) {
        Folders own = base;
        // A folder made new for this worker alone (mode 700), so that nothing another user put in a shared
        // program folder is ever worked in.
        std::string name = (base.work / ("batch-worker-" + std::to_string(worker + 1) + ".XXXXXX")).string();
        own.work = ::mkdtemp(name.data()) != nullptr ? std::filesystem::path(name) : base.work / "batch-worker-unmade";
        std::error_code ec;
        for (std::size_t i = next++; i < total; i = next++) {
            lines.WaitForTurn(i);
            SongFacts facts = AnalyseSong(songs[i], own, options);
            if (audio != nullptr) facts.audio = RenderSongAudio(songs[i], i, *audio, audio->renderers[worker], tally);
            if (options.duplicates && facts.status == SongStatus::Analysed) {
                copies[i] = FingerprintedSong{facts.file, facts.features.notesHash, facts.noteCount};
            }
            lines.Put(i, options.duplicates ? std::string() : ToLine(facts, options), facts.status);
        }
        std::filesystem::remove_all(own.work, ec);
    };
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (unsigned w = 0; w < workers; ++w) threads.emplace_back(work, w);

    ProgressLine progress(options.progress, total);
    for (std::size_t i = 0; i < total; ++i) {
        const auto [line, status] = lines.Take(i);
        std::fwrite(line.data(), 1, line.size(), out);
        Count(counts, status);
        progress.Update(i + 1);
    }
    for (std::thread& t : threads) t.join();
    if (options.duplicates) {
        std::vector<FingerprintedSong> fingerprinted;
        for (std::optional<FingerprintedSong>& song : copies) {
            if (song) fingerprinted.push_back(std::move(*song));
        }
        for (const DuplicateGroup& group : DuplicateGroups(std::move(fingerprinted))) {
            const std::string text = DuplicateGroupToJson(group) + "\n";
            std::fwrite(text.data(), 1, text.size(), out);
        }
    }
    std::fflush(out);
    if (total > 0) progress.Update(total, true);
    counts.audioWritten = tally.written;
    counts.audioKept = tally.kept;
    counts.audioFailed = tally.failed;
    return counts;
}

namespace {

// The batch run's own arguments, with the program folder taken out: false (after a message) when it lacks
// its folder.
bool SplitProgramFolder(int argc, char** argv, std::vector<std::string>& args,
                        std::optional<std::filesystem::path>& programFolder) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--batch") continue;
        if (arg == "--") {
            // The options end here: the rest are paths, whatever they look like.
            args.insert(args.end(), argv + i, argv + argc);
            break;
        }
        if (arg == "--program-folder") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "sonivex-cli: --program-folder needs a folder\n");
                return false;
            }
            programFolder = std::filesystem::absolute(argv[++i]);
        } else if (arg.rfind("--program-folder=", 0) == 0) {
            programFolder = std::filesystem::absolute(arg.substr(std::strlen("--program-folder=")));
        } else {
            args.push_back(arg);
        }
    }
    return true;
}

// True when every data file the analysis reads is there; else the first missing one is named.
bool DataFilesPresent(const Folders& folders) {
    RecordingPlatform quiet(false);
    const Session probe(quiet, folders);
    for (const char* name : {kNameFileName, kStyleFileName, kEffectsFileName}) {
        if (!FileExists(probe.DataFile(name))) {
            std::fprintf(stderr, "sonivex-cli: %s does not exist\n", probe.DataFile(name).string().c_str());
            return false;
        }
    }
    return true;
}

// Why the output file cannot be used.
enum class OutputProblem { InUse, SymbolicLink, NotRegularFile, CannotLock, CannotRead, CannotWrite, OtherFormat,
                           NotBatchOutput };

void Report(const std::filesystem::path& file, OutputProblem problem, bool csv) {
    const char* why = "cannot be written";
    switch (problem) {
        case OutputProblem::InUse: why = "is in use by another Sonivex run"; break;
        case OutputProblem::SymbolicLink: why = "is a symbolic link; give the file itself"; break;
        case OutputProblem::NotRegularFile: why = "is not a regular file"; break;
        case OutputProblem::CannotLock: why = "cannot be locked"; break;
        case OutputProblem::CannotRead: why = "cannot be read"; break;
        case OutputProblem::CannotWrite: break;
        case OutputProblem::OtherFormat:
            why = csv ? "holds JSON Lines, not CSV rows; it is left as it is"
                      : "holds CSV rows, not JSON Lines; it is left as it is";
            break;
        case OutputProblem::NotBatchOutput: why = "holds no batch run's output; it is left as it is"; break;
    }
    std::fprintf(stderr, "sonivex-cli: %s %s\n", file.string().c_str(), why);
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Opens `file` (made when missing; never through a symbolic link, and only a regular file) and locks it
// against every other run, without waiting. The lock is on the file that `file` names once it is held: a run
// that renamed a new file over it meanwhile holds that one, so the open is tried again.
std::variant<FileDescriptor, OutputProblem> LockOutput(const std::filesystem::path& file) {
    // Each try that finds `file` replaced found a run that holds the new one; one that is still replaced after
    // this many is as good as in use.
    constexpr int kTries = 8;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        // Not blocking: opening a FIFO that stands at `file` must not wait for a reader.
        const int raw = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (raw < 0) {
            if (errno == ELOOP) return OutputProblem::SymbolicLink;
            if (errno == EISDIR) return OutputProblem::NotRegularFile;
            return OutputProblem::CannotWrite;
        }
        FileDescriptor fd(raw);
        struct stat held {};
        if (::fstat(fd.get(), &held) != 0) return OutputProblem::CannotRead;
        if (!S_ISREG(held.st_mode)) return OutputProblem::NotRegularFile;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            return errno == EWOULDBLOCK ? OutputProblem::InUse : OutputProblem::CannotLock;
        }
        struct stat named {};
        if (::lstat(file.c_str(), &named) == 0 && SameFile(named, held)) {
            const int flags = ::fcntl(fd.get(), F_GETFL);
            if (flags < 0 || ::fcntl(fd.get(), F_SETFL, (flags & ~O_NONBLOCK) | O_APPEND) != 0) {
                return OutputProblem::CannotWrite;
            }
            return fd;
        }
    }
    return OutputProblem::InUse;
}

std::optional<std::string> ReadThrough(int fd) {
    std::string text;
    char block[1 << 16];
    for (;;) {
        const ssize_t n = ::pread(fd, block, sizeof block, static_cast<off_t>(text.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return text;
        text.append(block, static_cast<std::size_t>(n));
    }
}

// Writes `lines` (each with a line end) to the open file `fd` through a buffer. False when a write failed.
bool WriteLines(int fd, const std::vector<std::string_view>& lines) {
    constexpr std::size_t kBuffer = 1 << 20;
    std::string buffer;
    buffer.reserve(kBuffer);
    const auto flush = [&] {
        const bool whole = WriteAll(fd, buffer.data(), buffer.size()) == buffer.size();
        buffer.clear();
        return whole;
    };
    for (const std::string_view line : lines) {
        buffer.append(line).push_back('\n');
        if (buffer.size() >= kBuffer && !flush()) return false;
    }
    return flush();
}

// Puts `lines` in place of `file`'s text without a moment where `file` holds less than either: they go to a
// new scratch file beside it (given `mode`), which is locked and then renamed over `file`. Returns the
// scratch's descriptor, locked, now that `file` names it; nothing when a step failed, and then `file` is as
// it was and the scratch is gone. The caller's lock on the old file is to be given up only after.
std::optional<FileDescriptor> ReplaceLockedFile(const std::filesystem::path& file, mode_t mode,
                                                 const std::vector<std::string_view>& lines) {
    // Runs that resume the same file at once never meet here (only the one holding its lock does), but a
    // scratch file that a killed run left could stand in the way.
    constexpr int kNames = 100;
    std::optional<FileDescriptor> scratch;
    std::filesystem::path scratchName;
    for (int k = 0; k < kNames && !scratch; ++k) {
        scratchName = file;
        scratchName += ".resume-" + std::to_string(::getpid()) + "-" + std::to_string(k);
        const int raw = ::open(scratchName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (raw >= 0) {
            scratch.emplace(raw);
        } else if (errno != EEXIST) {
            return std::nullopt;
        }
    }
    if (!scratch) return std::nullopt;
    const bool ready = ::fchmod(scratch->get(), mode & 07777) == 0 && ::flock(scratch->get(), LOCK_EX | LOCK_NB) == 0 &&
                       WriteLines(scratch->get(), lines) && ::fdatasync(scratch->get()) == 0 &&
                       ::rename(scratchName.c_str(), file.c_str()) == 0;
    if (!ready) {
        ::unlink(scratchName.c_str());
        return std::nullopt;
    }
    return scratch;
}

// The output file of a batch run, open to append and locked for as long as it is open.
struct ResumedOutput {
    std::FILE* file = nullptr;          // closing it ends the lock
    std::vector<std::string> recorded;  // the songs that its kept lines hold
    bool empty = true;                  // it holds nothing (a CSV run starts with the header)
};

// Locks the output file and drops every line of it that is not complete and well-formed (ReadEarlierOutput):
// cut from its end when those lines all come after the last kept one, else through a scratch file. Nothing
// (after a message, and with `file` unchanged) when it cannot be used: it is in use, not a regular file, or
// holds something else than this run's output.
std::optional<ResumedOutput> ResumeOutputFile(const std::filesystem::path& file, bool csv, CsvLayout layout) {
    const auto fail = [&](OutputProblem problem) {
        Report(file, problem, csv);
        return std::nullopt;
    };
    std::variant<FileDescriptor, OutputProblem> locked = LockOutput(file);
    if (const OutputProblem* problem = std::get_if<OutputProblem>(&locked)) return fail(*problem);
    FileDescriptor fd = std::move(std::get<FileDescriptor>(locked));
    struct stat held {};
    if (::fstat(fd.get(), &held) != 0) return fail(OutputProblem::CannotRead);
    const std::optional<std::string> text = ReadThrough(fd.get());
    if (!text) return fail(OutputProblem::CannotRead);

    EarlierOutput earlier = ReadEarlierOutput(*text, csv, layout);
    if (earlier.verdict == EarlierOutput::Verdict::OtherFormat) return fail(OutputProblem::OtherFormat);
    if (earlier.verdict == EarlierOutput::Verdict::NotBatchOutput) return fail(OutputProblem::NotBatchOutput);
    std::size_t keptBytes = 0;
    for (const std::string_view line : earlier.kept) keptBytes += line.size() + 1;
    const auto endOf = [&](std::string_view line) {
        return static_cast<std::size_t>(line.data() - text->data()) + line.size() + 1;
    };
    // With no dropped line before a kept one, the file is cut in place; else it is written again.
    const bool keptLead = !earlier.headerMissing && (earlier.kept.empty() || endOf(earlier.kept.back()) == keptBytes);
    if (!keptLead) {
        const std::string header = CsvHeader(layout);
        if (earlier.headerMissing) earlier.kept.insert(earlier.kept.begin(), header);
        std::optional<FileDescriptor> replaced = ReplaceLockedFile(file, held.st_mode, earlier.kept);
        if (!replaced) return fail(OutputProblem::CannotWrite);
        fd = std::move(*replaced);
        const int flags = ::fcntl(fd.get(), F_GETFL);
        if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags | O_APPEND) != 0) return fail(OutputProblem::CannotWrite);
    } else if (keptBytes != text->size() && ::ftruncate(fd.get(), static_cast<off_t>(keptBytes)) != 0) {
        return fail(OutputProblem::CannotWrite);
    }
    const int raw = fd.release();
    std::FILE* out = ::fdopen(raw, "ab");
    if (out == nullptr) {
        ::close(raw);
        return fail(OutputProblem::CannotWrite);
    }
    return ResumedOutput{out, std::move(earlier.songs), earlier.kept.empty()};
}

void PrintSummary(const BatchCounts& counts, double seconds, bool rendered) {
    const std::size_t done = counts.analysed + counts.refused + counts.stopped;
    std::fprintf(stderr, "sonivex-cli: %zu songs: %zu analysed, %zu refused, %zu stopped", done, counts.analysed,
                 counts.refused, counts.stopped);
    if (counts.skipped > 0) std::fprintf(stderr, "; %zu already recorded", counts.skipped);
    if (rendered) {
        std::fprintf(stderr, "; audio files: %zu written, %zu kept, %zu not written", counts.audioWritten,
                     counts.audioKept, counts.audioFailed);
    }
    std::fprintf(stderr, " (%.1f s, %.0f songs/s)\n", seconds, seconds > 0 ? static_cast<double>(done) / seconds : 0.0);
}

// What a run that renders holds while it runs: the lock on its output folder and the songs' audio files.
struct AudioRun {
    FileDescriptor lock;
    BatchAudio audio;
};

// The output folder of --render-to, made when missing, locked and rid of the scratch files of a killed run.
// Nothing, after a message, when it cannot be used.
std::optional<FileDescriptor> PrepareAudioFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    bool inUse = false;
    std::optional<FileDescriptor> lock = LockFolder(folder, inUse);
    if (!lock) {
        std::fprintf(stderr, "sonivex-cli: %s %s\n", folder.string().c_str(),
                     inUse ? "is in use by another Sonivex run" : "cannot be used as the folder of the audio files");
        return std::nullopt;
    }
    RemoveLeftoverScratch(folder);
    return lock;
}

// Everything a run that renders needs before its first song: the output folder (PrepareAudioFolder), the
// audio file of each of `songs` (named from `all`, the songs of every shard and earlier run, so that every
// run gives a song the same file) and one renderer per worker, each with its SoundFont loaded. Nothing, after
// a message, when one of them fails.
std::optional<AudioRun> PrepareAudio(const BatchOptions& o, const std::vector<std::string>& all,
                                     const std::vector<std::string>& songs, const std::filesystem::path& executableFolder) {
    std::string problem;
    const std::optional<std::filesystem::path> program = FindCliExtras(executableFolder, SONIVEX_EXTRAS_FOLDER, problem);
    if (!program) {
        std::fprintf(stderr, "sonivex-cli: --render-to is not available: %s\n", problem.c_str());
        return std::nullopt;
    }
    std::optional<FileDescriptor> lock = PrepareAudioFolder(*o.renderTo);
    if (!lock) return std::nullopt;
    AudioRun run{std::move(*lock), BatchAudio{*o.renderTo, {}, {}}};
    const std::vector<std::filesystem::path> targets = AudioTargets(all, o.audioExtension);
    std::unordered_map<std::string, std::size_t> place;
    for (std::size_t i = 0; i < all.size(); ++i) place.emplace(all[i], i);
    for (const std::string& song : songs) run.audio.targets.push_back(targets[place.at(song)]);

    const unsigned workers = WorkerCount(o.jobs, songs.size());
    const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency() / workers));
    for (unsigned w = 0; w < workers; ++w) {
        std::optional<SongRenderer> renderer = SongRenderer::Start(*program, o.soundFont, threads, problem);
        if (!renderer) {
            std::fprintf(stderr, "sonivex-cli: %s\n", problem.c_str());
            return std::nullopt;
        }
        run.audio.renderers.push_back(std::move(*renderer));
    }
    return run;
}

// The run after its arguments were read: the shard's songs of `all` that the output does not hold yet,
// analysed (and rendered) with the folders made for them; the exit status.
int RunBatch(const BatchOptions& options, const std::vector<std::string>& all,
             const std::filesystem::path& executableFolder, const std::optional<std::filesystem::path>& programFolder) {
    std::vector<std::string> songs = ShardOf(all, options.shard, options.shardCount);
    std::string error;
    BatchCounts counts;
    std::FILE* out = stdout;
    bool wantHeader = options.csv;
    if (options.out) {
        std::optional<ResumedOutput> resumed = ResumeOutputFile(*options.out, options.csv, options.csvLayout);
        if (!resumed) return 1;
        out = resumed->file;
        wantHeader = wantHeader && resumed->empty;
        std::vector<std::string>& done = resumed->recorded;
        std::sort(done.begin(), done.end());
        const std::size_t before = songs.size();
        std::erase_if(songs, [&](const std::string& s) { return std::binary_search(done.begin(), done.end(), s); });
        counts.skipped = before - songs.size();
    }
    // The output is locked first, the program folder after it: a second run on the same output stops at once
    // instead of waiting for the folder, and no two runs wait for each other.
    // Declared before the workers' sessions, so the run folder goes only after they have closed their files.
    std::optional<RunFolders> run =
        MakeRunFolders(FolderEnvironment::OfThisProcess(), executableFolder, programFolder, error,
                       options.noWait ? FolderLock::Wait::No : FolderLock::Wait::UntilFree);
    if (!run) {
        std::fprintf(stderr, "sonivex-cli: %s\n", error.c_str());
        if (out != stdout) std::fclose(out);
        return 1;
    }
    if (!DataFilesPresent(run->folders)) {
        if (out != stdout) std::fclose(out);
        return 1;
    }
    std::optional<AudioRun> audio;
    if (options.renderTo) audio = PrepareAudio(options, all, songs, executableFolder);
    if (options.renderTo && !audio) {
        if (out != stdout) std::fclose(out);
        return 1;
    }
    if (wantHeader) std::fprintf(out, "%s\n", CsvHeader(options.csvLayout).c_str());

    const Clock::time_point start = Clock::now();
    const BatchCounts ran = AnalyseSongs(songs, run->folders, options, out, audio ? &audio->audio : nullptr);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::size_t skipped = counts.skipped;
    counts = ran;
    counts.skipped = skipped;
    const bool written = std::ferror(out) == 0;
    if (out != stdout) {
        if (std::fclose(out) != 0) return 1;
    } else {
        std::fflush(stdout);
    }
    PrintSummary(counts, seconds, audio.has_value());
    if (!written) return 1;
    return counts.audioFailed > 0 ? 4 : 0;
}

}  // namespace

int BatchMain(int argc, char** argv, const std::filesystem::path& executableFolder) {
    std::vector<std::string> args;
    std::optional<std::filesystem::path> programFolder;
    if (!SplitProgramFolder(argc, argv, args, programFolder)) return 2;
    std::string problem;
    std::optional<BatchOptions> options = ParseBatchArguments(args, problem);
    if (!options) {
        std::fprintf(stderr, "sonivex-cli: %s (see sonivex-cli --help)\n", problem.c_str());
        return 2;
    }
    options->progress = isatty(STDERR_FILENO) == 1;
#ifdef __GLIBC__
    // Every song's session allocates and frees its tables; keeping freed memory in the heap instead of handing
    // it back to the system saves a page fault per touched page at the next song.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif

    std::string error;
    const std::optional<std::vector<std::string>> all = ListSongs(options->paths, error);
    if (!all) {
        std::fprintf(stderr, "sonivex-cli: %s\n", error.c_str());
        return 1;
    }
    return RunBatch(*options, *all, executableFolder, programFolder);
}

}  // namespace sonivex
