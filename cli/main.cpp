// sonivex-cli: opens one MIDI file as the window's Open command would, without a window, sets controls and
// presses buttons as a user would, and prints the report. Messages go to stderr, one line each; questions and
// file dialogs are answered from the options.
#include <malloc.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "app/commands.h"
#include "app/editing.h"
#include "app/export_command.h"
#include "app/folders.h"
#include "app/open_command.h"
#include "app/undo_redo.h"
#include "cli/batch.h"
#include "cli/extras.h"
#include "cli/json_report.h"
#include "playback/audio_export.h"
#include "app/app_platform.h"
#include "app/session.h"
#include "roll/piano_roll_image.h"

namespace {

// The exit statuses of a run on one song.
constexpr int kExitFine = 0;           // every command ran
constexpr int kExitNotOpened = 1;      // FILE missing or refused, a data file missing, no run folder
constexpr int kExitUsage = 2;
constexpr int kExitReportStopped = 3;  // a report stopped on an error
constexpr int kExitNotWritten = 4;     // a --save, --render or --piano-roll could not write its file
constexpr int kExitNotPlayed = 5;      // a --play could not play: no such port, or the port went away

const char* const kUsage =
    "Usage: sonivex-cli [--program-folder DIR [--no-wait]] [--yes] [--seed N] [--json [--key-profile NAME]]\n"
    "                   [--no-log] [--] FILE [CONTROL ...] [COMMAND ...]\n"
    "       sonivex-cli --batch [--jobs N] [--shard K/N] [--out FILE] [--csv | --csv-features | --duplicates]\n"
    "                   [--key-profile NAME] [--no-log] [--] PATH ...\n"
    "       sonivex-cli -h | --help | --version | --list-ports\n"
    "\n"
    "Opens the MIDI file FILE as Sonivex's Open command does, without a window, then takes the arguments\n"
    "after FILE in order: a CONTROL sets a control of the window as a user would (the value stays for later\n"
    "commands), a COMMAND presses a button. Prints the report after the last command to stdout (every CR LF\n"
    "written as one LF).\n"
    "\n"
    "  --program-folder DIR  keep everything in DIR: read genmidi.ini, style1.dat and effects1.dat from it\n"
    "                        and write the working copy (sonivex-temp.tmp) and logs/ there; DIR must exist,\n"
    "                        and one run at a time works in it: a second run waits until the first ends\n"
    "  --no-wait             with --program-folder: stop at once (exit status 1) when another run works in DIR\n"
    "  --yes                 answer Yes to every question (the default answer is No)\n"
    "  --seed N              seed the random generator with N at every report run instead of the clock\n"
    "  --json                print one JSON object for the song instead of the report: the report's facts,\n"
    "                        the exact duration_seconds from every tempo change, the tempo map, time and key\n"
    "                        signatures, note counts and the messages (docs/sonivex-report.schema.json),\n"
    "                        the key estimated from the notes, their features and their fingerprint\n"
    "  --key-profile NAME    the key profile of the estimated key: krumhansl (the default), temperley or\n"
    "                        aarden\n"
    "  --no-log              write no log file\n"
    "  -h, --help            show this text\n"
    "  --version             show the version\n"
    "  --list-ports          print the MIDI output ports that --port can name, one a line (JACK's when a\n"
    "                        JACK server answers, else the ALSA sequencer's; Sonivex's own left out)\n"
    "  --                    end of the options: the next argument is FILE, even when it begins with -\n"
    "\n"
    "Controls (list values are 0-based positions, or names as the list shows them):\n"
    "  --style-list I|NAME   style list               --melody on|off, --drum on|off  (Instruments)\n"
    "  --max-melody I        Max # for melody         --max-drum I     Max # for drum\n"
    "  --switch-track I      track for Drum<>Melody   --copy-track I   track for Copy Track\n"
    "  --effect-list I|NAME  effect list              --track I        effect track (0 = All)\n"
    "  --effect-melody on|off, --effect-drum on|off  (Effects)\n"
    "  --note | --volume     what the effect changes  --step TEXT      Step/Factor\n"
    "  --pitch I|NAME        note or All              --value TEXT     value (0 = All)\n"
    "  --key I|NAME          key                      --bass | --treble\n"
    "  --root I|NAME         root note\n"
    "Commands:\n"
    "  --apply-style  --switch  --copy  --apply-effect  --save OUT\n"
    "  --transpose N [--transpose-track T]\n"
    "                        move every melody note by N semitones (-24 to 24, up when positive), in every\n"
    "                        track or only in track T (1-based, as the track list shows it); notes on the\n"
    "                        drum channel (10) never move. When a note would leave the keys 0 to 127, a\n"
    "                        message says how many notes and the song stays as it was\n"
    "  --tempo-percent P     play at P % of the speed (25 to 400; 200 plays twice as fast): every Set Tempo\n"
    "                        event is scaled by 100/P, and a song without one gets one at tick 0 (500000\n"
    "                        microseconds per quarter note, scaled)\n"
    "  --instrument TRACK=PROGRAM\n"
    "                        give track TRACK (1-based, as the track list shows it) the instrument PROGRAM,\n"
    "                        1 to 128 as the report's NUMBER column shows it (the file stores PROGRAM - 1):\n"
    "                        every program change of the track is rewritten, and a track without one gets\n"
    "                        one at its start\n"
    "  --undo, --redo        step back over the last edit, or forward again, as Edit, Undo and Redo do\n"
    "  --render OUT          write the song as it now stands as sound to OUT, a .wav, .flac or .ogg file\n"
    "                        (44.1 kHz stereo, loudest sample at -1 dBFS, the song and its last notes'\n"
    "                        release); a render that fails gives exit status 4\n"
    "  --soundfont FONT      render with the SoundFont FONT (.sf2, or .sf3 when FluidSynth reads it) instead\n"
    "                        of the default one (FluidR3_GM.sf2 in /usr/share/sounds/sf2); may stand anywhere\n"
    "                        after FILE. When FluidSynth cannot load FONT, a message names it and the render\n"
    "                        writes nothing (exit status 4)\n"
    "  --play [--port NAME]  play the song as it now stands in real time, every track, and go on at its end:\n"
    "                        to the MIDI output port NAME exactly as --list-ports prints it, through\n"
    "                        Sonivex's client \"Sonivex\" (JACK when a JACK server answers, else the ALSA\n"
    "                        sequencer), or without --port to the built-in synthesizer. Ctrl+C (SIGINT) or\n"
    "                        SIGTERM ends the play early with every note released, and the run goes on. A\n"
    "                        NAME that is no output port stops the run before anything is done (a message\n"
    "                        lists the ports); that, or a port that goes away, gives exit status 5\n"
    "  --piano-roll OUT.png [--size WxH]\n"
    "                        draw the piano roll of the song as it now stands as a PNG picture (default\n"
    "                        1600x900), the notes that the last command changed outlined, their old\n"
    "                        places faint; needs no display; a picture that fails gives exit status 4\n"
    "\n"
    "Batch runs (--batch): every .mid, .midi and .kar file under the PATHs (folders searched recursively),\n"
    "in sorted path order, one JSON object per line (JSON Lines); a refused file, or one whose analysis\n"
    "stopped, gives a line with its path, status and messages. Messages are not written to stderr.\n"
    "  --jobs N              N workers, each with its own session and working folder (default: one per core);\n"
    "                        the output is the same for any N\n"
    "  --shard K/N           only the K-th of N equal slices of the sorted file list (K = 1..N)\n"
    "  --out FILE            write to FILE instead of stdout; songs an existing FILE holds are skipped (only\n"
    "                        its complete, well-formed lines count: any other line is dropped and its song\n"
    "                        analysed again). FILE is locked for the run: a second run on it stops at once,\n"
    "                        writes nothing and exits with status 1\n"
    "  --csv                 one row per song: path,duration_seconds,tracks,notes,style,complexity,\n"
    "                        main_instrument,estimated_key,key_correlation,key_margin,notes_hash,status\n"
    "                        (a header first)\n"
    "  --csv-features        --csv with the notes' features after notes_hash: pc_c ... pc_b (the pitch-class\n"
    "                        histogram), lowest_pitch, highest_pitch, pitch_range, mean_pitch, note_density,\n"
    "                        polyphony_mean, polyphony_max, velocity_mean, velocity_spread, interval_0 ...\n"
    "                        interval_11_or_more, interval_count, tempo_min_bpm, tempo_max_bpm,\n"
    "                        tempo_mean_bpm, time_signature_shares (\"4/4=0.75 3/4=0.25\"), families\n"
    "                        (\"Piano=12.5 Drums=30\")\n"
    "  --key-profile NAME    the key profile of estimated_key: krumhansl (the default), temperley or aarden\n"
    "  --duplicates          instead of a line per song, one JSON line per group of songs whose notes are the\n"
    "                        same (one notes_hash, two songs or more, songs without notes left out):\n"
    "                        {\"notes_hash\":H,\"count\":N,\"files\":[...]}, sorted by path; no --csv, --out\n"
    "                        or --render-to with it\n"
    "  --no-log              write no log files (else each song's log goes to logs/batch/<its folder>/)\n"
    "  --render-to DIR       also render every song as --render does, to DIR: its path below the folder that\n"
    "                        all the songs share, with the format's extension (a.mid and a.kar of one folder\n"
    "                        give a.mid.wav and a.kar.wav); folders are made as needed, never through a link.\n"
    "                        Each file is written under a scratch name and renamed, so a file already there is\n"
    "                        whole: it is kept and its length read; a killed run's scratch files are removed.\n"
    "                        DIR is locked for the run (a second run on it stops, status 1). Each JSON line\n"
    "                        gains audio_file and audio_seconds, or audio_error (CSV rows stay as they are)\n"
    "  --audio-format F      with --render-to: wav (the default), flac or ogg\n"
    "  --soundfont FONT      with --render-to: render with the SoundFont FONT; each worker loads it once, and\n"
    "                        one that cannot be loaded stops the run before its first song (status 1)\n"
    "  --yes, --seed N, --program-folder DIR, --no-wait as above; after --, every argument is a PATH. On a\n"
    "  terminal a progress line is shown on stderr; at the end one summary line. Exit status: 0 the run went\n"
    "  through (whatever the songs gave); 1 a PATH is missing, a data file is missing, a folder cannot be\n"
    "  used or the output cannot be written (or is in use); 2 usage error; 4 with --render-to, the run went\n"
    "  through but a song's audio file was not written (its line says why).\n"
    "\n"
    "Every message box is written to stderr as one line, in order:\n"
    "  message: TEXT               for a box with an OK button\n"
    "  question: TEXT -> Yes|No    for a Yes/No question and its answer\n"
    "A line break inside TEXT is written as the two characters \\n.\n"
    "\n"
    "Folders (without --program-folder): the data files are read from ~/.config/sonivex ($XDG_CONFIG_HOME/\n"
    "sonivex) when a file of that name is there, else from the program's data folder (<prefix>/share/sonivex,\n"
    "or the program's own folder in a build tree). The working files go to a folder of this run's own,\n"
    "~/.local/state/sonivex/run/PID-RANDOM ($XDG_STATE_HOME/sonivex), removed at the end; the log goes to\n"
    "~/.local/state/sonivex/logs/ and stays. These folders (and DIR/logs) must be real folders of this user's\n"
    "own that no other user can write to: otherwise a message names the folder and the run stops (status 1).\n"
    "\n"
    "Exit status: 0 every command ran; 1 FILE is missing, is not a regular file or was rejected (or a data\n"
    "file is missing, or a folder cannot be used); 2 usage error; 3 a report stopped on an error (its\n"
    "message was shown); 4 a --save, --render or --piano-roll did not write its file, whatever stopped it (a\n"
    "rejected FILE, an error in the song, an overwrite not confirmed, a failed write: a message names the\n"
    "file), or an editing command could not write its result (its message says the song was left as it\n"
    "was); 5 a --play could not play to its end (no such port, or the port went away). 4 and 5 win over 1\n"
    "and 3, 4 over 5.\n";

std::string OneLine(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\\n";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

class CliPlatform : public sonivex::AppPlatform {
public:
    explicit CliPlatform(bool yes) : yes_(yes) {}

    sonivex::Answer ShowMessage(const std::string& text, sonivex::Buttons buttons, sonivex::Icon,
                                const std::string&) override {
        shown.push_back({buttons != sonivex::Buttons::Ok, text, yes_});
        if (buttons == sonivex::Buttons::Ok) {
            std::fprintf(stderr, "message: %s\n", OneLine(text).c_str());
            return sonivex::Answer::Ok;
        }
        std::fprintf(stderr, "question: %s -> %s\n", OneLine(text).c_str(), yes_ ? "Yes" : "No");
        return yes_ ? sonivex::Answer::Yes : sonivex::Answer::No;
    }
    void SetBusy(bool) override {}
    void LetEventsRun() override {}
    void SetCaption(const std::string&) override {}

    std::vector<sonivex::ShownMessage> shown;  // every message box, in order, for --json

    // The next file dialog answers with this path, once.
    void Answer(const std::string& path) { answer_ = path; }
    std::string ChooseFile(const sonivex::FileDialogRequest&) override {
        std::string path = answer_;
        answer_.clear();
        return path;
    }

private:
    bool yes_;
    std::string answer_;
};

std::filesystem::path ExecutableFolder(const char* argv0) {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::absolute(argv0, ec);
    return exe.parent_path();
}

// A run of the tool is short, and a page of memory that the process touches for the first time costs far more
// than reusing one it already has (on a virtual machine, about as much as reading 40 KB). So memory that is
// freed stays with the process for the next allocation: large blocks come from the heap instead of mappings
// of their own, which the C library would return to the system at every free, and the heap is not trimmed.
void KeepFreedMemory() {
    constexpr int kLargest = 32 << 20;  // the largest threshold the C library accepts
    ::mallopt(M_MMAP_THRESHOLD, kLargest);
    ::mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
}

int Usage(const std::string& problem, bool withText = true) {
    std::fprintf(stderr, "sonivex-cli: %s\n", problem.c_str());
    if (withText) std::fprintf(stderr, "\n%s", kUsage);
    return kExitUsage;
}

// Each control and command after FILE.
enum class ActionId {
    StyleList, Melody, Drum, MaxMelody, MaxDrum, SwitchTrack, CopyTrack, EffectList, Track, EffectMelody,
    EffectDrum, Note, Volume, Step, Pitch, Value, Key, Bass, Treble, Root, ApplyStyle, Switch, Copy, ApplyEffect,
    Save, Undo, Redo, Render, PianoRoll, Transpose, TempoPercent, Instrument, Play
};

// What each option after FILE is: a control or command, and whether it takes a value.
enum class Kind { List, Check, Text, Flag, Command };
struct OptionSpec {
    ActionId id;
    Kind kind;
    bool takesValue;
};

const std::map<std::string, OptionSpec>& Actions() {
    using enum ActionId;
    static const std::map<std::string, OptionSpec> actions = {
        {"--style-list", {StyleList, Kind::List, true}},     {"--melody", {Melody, Kind::Check, true}},
        {"--drum", {Drum, Kind::Check, true}},               {"--max-melody", {MaxMelody, Kind::List, true}},
        {"--max-drum", {MaxDrum, Kind::List, true}},         {"--switch-track", {SwitchTrack, Kind::List, true}},
        {"--copy-track", {CopyTrack, Kind::List, true}},     {"--effect-list", {EffectList, Kind::List, true}},
        {"--track", {Track, Kind::List, true}},              {"--effect-melody", {EffectMelody, Kind::Check, true}},
        {"--effect-drum", {EffectDrum, Kind::Check, true}},  {"--note", {Note, Kind::Flag, false}},
        {"--volume", {Volume, Kind::Flag, false}},           {"--step", {Step, Kind::Text, true}},
        {"--pitch", {Pitch, Kind::List, true}},              {"--value", {Value, Kind::Text, true}},
        {"--key", {Key, Kind::List, true}},                  {"--bass", {Bass, Kind::Flag, false}},
        {"--treble", {Treble, Kind::Flag, false}},           {"--root", {Root, Kind::List, true}},
        {"--apply-style", {ApplyStyle, Kind::Command, false}}, {"--switch", {Switch, Kind::Command, false}},
        {"--copy", {Copy, Kind::Command, false}},            {"--apply-effect", {ApplyEffect, Kind::Command, false}},
        {"--save", {Save, Kind::Command, true}},             {"--undo", {Undo, Kind::Command, false}},
        {"--redo", {Redo, Kind::Command, false}},            {"--render", {Render, Kind::Command, true}},
        {"--piano-roll", {PianoRoll, Kind::Command, true}},   {"--transpose", {Transpose, Kind::Command, true}},
        {"--tempo-percent", {TempoPercent, Kind::Command, true}}, {"--instrument", {Instrument, Kind::Command, true}},
        {"--play", {Play, Kind::Command, false}},
    };
    return actions;
}

struct Action {
    ActionId id;
    std::string name;  // as given, for messages
    std::string value;
    int width = 0;   // --piano-roll's picture size
    int height = 0;
    int number = 0;             // --transpose's semitones, --tempo-percent's percentage, --instrument's program
    std::optional<int> track{};  // --transpose-track's track, --instrument's track (1-based)
    std::optional<std::string> port{};  // --play's --port
};

// A whole number in decimal digits, with a leading + or - when `sign` allows one; nothing for any other text.
std::optional<int> WholeNumber(const std::string& text, bool sign) {
    std::size_t digits = 0;
    if (sign && !text.empty() && (text[0] == '+' || text[0] == '-')) digits = 1;
    const std::string number = text.substr(digits);
    if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int value = std::stoi(number);
    return digits == 1 && text[0] == '-' ? -value : value;
}

// Where the helper program was found (extras.h); empty when no command needs it.
using ExtrasProgram = std::optional<std::filesystem::path>;

// What a failed run of the helper program says, for a message.
std::string HelperProblem(const sonivex::HelperRun& run, const std::string& target) {
    if (!run.ended) return run.problem;
    if (!run.output.empty()) return run.output;
    return target + " could not be written (" + sonivex::kCliExtrasProgram + " exited with status " +
           std::to_string(run.status) + ")";
}

// The audio exporter that the Export command uses in this tool: the helper program renders.
class HelperExporter : public sonivex::AudioExporter {
public:
    HelperExporter(const std::filesystem::path& program, const std::optional<std::filesystem::path>& soundFont)
        : program_(program), soundFont_(soundFont) {}

    sonivex::ExportResult Export(const std::filesystem::path& song, const std::filesystem::path& target,
                                 const sonivex::ExportProgress&, const sonivex::SilencedTracks& silenced) override {
        std::vector<std::string> arguments{"render"};
        if (soundFont_) arguments.insert(arguments.end(), {"--soundfont", soundFont_->string()});
        arguments.insert(arguments.end(), {song.string(), target.string()});
        if (!silenced.Empty()) {
            std::string list;
            for (const std::int32_t track : silenced.Tracks()) list += (list.empty() ? "" : ",") + std::to_string(track + 1);
            arguments.push_back(list);
        }
        const sonivex::HelperRun run = sonivex::RunHelper(program_, arguments, {});
        sonivex::ExportResult result;
        if (run.ended && run.status == 0) {
            result.status = sonivex::ExportStatus::Written;
            std::from_chars(run.output.data(), run.output.data() + run.output.size(), result.seconds);
        } else {
            result.status = sonivex::ExportStatus::Failed;
            result.problem = HelperProblem(run, target.string());
        }
        return result;
    }

private:
    std::filesystem::path program_;
    std::optional<std::filesystem::path> soundFont_;  // the default one when none
};

// Runs the controls and commands in order. Returns an exit status, or nothing when all went through.
class Runner {
public:
    Runner(sonivex::Session& s, CliPlatform& platform, const ExtrasProgram& extras,
           const std::optional<std::filesystem::path>& soundFont = std::nullopt)
        : s_(s), platform_(platform), extras_(extras), soundFont_(soundFont) {}

    // A --save or --render could not write its file.
    bool SaveFailed() const { return saveFailed_; }
    // A --play could not play to its end.
    bool PlayFailed() const { return playFailed_; }

    std::optional<int> Run(const Action& a) {
        using enum ActionId;
        sonivex::FormModel& f = s_.form;
        switch (a.id) {
        case StyleList: return Pick(f.Combo1, a, [&] { sonivex::Combo1_Click(s_); });
        case MaxMelody: return Pick(f.Combo2, a);
        case MaxDrum: return Pick(f.Combo3, a);
        case SwitchTrack: return Pick(f.Combo4, a);
        case CopyTrack: return Pick(f.Combo5, a);
        case EffectList: return Pick(f.Combo6, a, [&] { sonivex::Combo6_Click(s_); });
        case Track: return Pick(f.Combo8, a);
        case Pitch: return Pick(f.Combo7, a);
        case Key: return Pick(f.Combo9, a);
        case Root: return Pick(f.Combo10, a);
        case Melody: return Tick(f.Check1, a, sonivex::Check1_Click);
        case Drum: return Tick(f.Check2, a, sonivex::Check2_Click);
        case EffectMelody: return Tick(f.Check3, a, sonivex::Check3_Click);
        case EffectDrum: return Tick(f.Check4, a, sonivex::Check4_Click);
        case Step: f.Text1.text = a.value; break;
        case Value: f.Text2.text = a.value; break;
        case Note:
        case Volume:
            f.Option1.selected = a.id == Note;
            f.Option2.selected = a.id == Volume;
            break;
        case Bass: Click(f.Check5, sonivex::Check5_Click); break;
        case Treble: Click(f.Check6, sonivex::Check6_Click); break;
        case ApplyStyle: return Press(f.Combo1, sonivex::CommandButton::ApplyStyle, "the style list");
        case ApplyEffect: return Press(f.Combo6, sonivex::CommandButton::ApplyEffect, "the effect list");
        case Switch: return Press(f.Combo4, sonivex::CommandButton::SwitchDrumMelody);
        case Copy: return Press(f.Combo5, sonivex::CommandButton::CopyTrack);
        case Save: SaveTo(a); break;
        case Undo: sonivex::UndoCommand(s_); break;
        case Redo: sonivex::RedoCommand(s_); break;
        case Render:
            if (!HasValidSong(a) || !RenderSound(a)) saveFailed_ = true;
            break;
        case PianoRoll:
            if (!HasValidSong(a) || !DrawPianoRoll(a)) saveFailed_ = true;
            break;
        case Transpose:
            if (a.track && !HasTrack(*a.track)) return Usage("--transpose-track " + Dec(*a.track) + kNoTrack, false);
            sonivex::TransposeSong(s_, {a.number, a.track});
            break;
        case TempoPercent: sonivex::ChangeTempo(s_, {a.number}); break;
        case Instrument:
            if (!HasTrack(*a.track)) return Usage("--instrument " + a.value + kNoTrack, false);
            // The report and this option count programs from 1; the file stores them from 0.
            sonivex::ChooseInstrument(s_, {*a.track, a.number - 1});
            break;
        case Play:
            if (!PlaySong(a)) playFailed_ = true;
            break;
        }
        return std::nullopt;
    }

private:
    // Saves as the Save command does; a save that wrote nothing (whatever stopped it) is named in a message.
    void SaveTo(const Action& a) {
        const bool valid = s_.song.FileValid;
        platform_.Answer(a.value);
        const sonivex::SaveOutcome outcome = sonivex::SaveCommand(s_);
        if (outcome == sonivex::SaveOutcome::Saved) return;
        saveFailed_ = true;
        if (outcome == sonivex::SaveOutcome::NotSaved) {
            s_.Message(a.value + " was not saved: " +
                           (valid ? "it exists, and overwriting it was not confirmed" : kSongInvalid),
                       sonivex::Icon::Warning);
        }
    }

    // False, after a message naming the file the action would write, when the song cannot be written out.
    bool HasValidSong(const Action& a) {
        if (s_.song.FileValid) return true;
        s_.Message(a.value + " was not written: " + kSongInvalid, sonivex::Icon::Warning);
        return false;
    }

    static constexpr const char* kSongInvalid = "the song has an error that stopped its analysis";
    static constexpr const char* kNoTrack = ": no such track in the track list";

    bool HasTrack(int track) const { return track >= 1 && track <= s_.song.TracksFound; }
    static std::string Dec(int n) { return std::to_string(n); }

    std::optional<int> Pick(sonivex::ListControl& list, const Action& a, const std::function<void()>& clicked = {}) {
        int index = -1;
        const bool number = !a.value.empty() && a.value.find_first_not_of("0123456789") == std::string::npos;
        if (number && a.value.size() < 9) {
            index = std::stoi(a.value);
        } else {
            for (std::size_t i = 0; i < list.items.size(); ++i) {
                if (list.items[i] == a.value) {
                    index = static_cast<int>(i);
                    break;
                }
            }
        }
        if (index < 0 || index >= static_cast<int>(list.items.size())) {
            return Usage(a.name + " " + a.value + ": no such entry in the list", false);
        }
        list.listIndex = index;
        if (clicked) clicked();
        return std::nullopt;
    }

    std::optional<int> Tick(sonivex::CheckControl& box, const Action& a, void (*rule)(sonivex::FormModel&)) {
        const bool on = a.value == "on";
        if (box.ticked != on) {
            box.ticked = on;
            rule(s_.form);
        }
        return std::nullopt;
    }

    // A click on a check box: it is ticked, then its rule runs.
    void Click(sonivex::CheckControl& box, void (*rule)(sonivex::FormModel&)) {
        box.ticked = !box.ticked;
        rule(s_.form);
    }

    std::optional<int> Press(const sonivex::ListControl& list, sonivex::CommandButton button,
                             const char* what = "the track list") {
        if (list.listIndex < 0 || list.listIndex >= static_cast<int>(list.items.size())) {
            return Usage(std::string(what) + " has no selection", false);
        }
        sonivex::CommandClick(s_, button);
        return std::nullopt;
    }

    // Draws the song as it now stands, the last command's changes outlined; a file that cannot be written is
    // named in a message.
    bool DrawPianoRoll(const Action& a) {
        const std::string song = s_.WorkFile(s_.song.TempFileName).string();
        const sonivex::Bytes* before = s_.history.Previous();
        std::vector<std::string> arguments{"piano-roll", song, a.value, std::to_string(a.width),
                                           std::to_string(a.height), before != nullptr ? "1" : "0"};
        for (const auto& folder : s_.folders.data) arguments.push_back(folder.string());
        const sonivex::HelperRun run =
            sonivex::RunHelper(*extras_, arguments, before != nullptr ? *before : sonivex::Bytes{});
        if (run.ended && run.status == 0) return true;
        s_.Message(HelperProblem(run, a.value), sonivex::Icon::Critical);
        return false;
    }
    // Renders the song as it now stands to a sound file, through the Export command and the helper program.
    bool RenderSound(const Action& a) {
        HelperExporter exporter(*extras_, soundFont_);
        s_.media.Exporter = &exporter;
        const bool written = sonivex::ExportAudio(s_, a.value) == sonivex::ExportStatus::Written;
        s_.media.Exporter = nullptr;
        return written;
    }

    // Plays the working copy through the helper program, which Ctrl+C reaches; a play that failed is named in a
    // message.
    bool PlaySong(const Action& a) {
        std::vector<std::string> arguments{"play", s_.WorkFile(s_.song.TempFileName).string()};
        if (a.port) arguments.push_back(*a.port);
        const sonivex::HelperRun run = sonivex::RunHelperPassingSignals(*extras_, arguments);
        if (run.ended && run.status == 0) return true;
        const std::string exited = std::string(sonivex::kCliExtrasProgram) + " exited with status " +
                                   std::to_string(run.status);
        const std::string why = !run.ended ? run.problem : !run.output.empty() ? run.output : exited;
        s_.Message("The song was not played to its end: " + why, sonivex::Icon::Critical);
        return false;
    }

    sonivex::Session& s_;
    CliPlatform& platform_;
    ExtrasProgram extras_;  // found when an action needs it
    std::optional<std::filesystem::path> soundFont_;  // of --soundfont
    bool saveFailed_ = false;
    bool playFailed_ = false;
};

// What the command line asks for.
struct ToolOptions {
    bool json = false;
    sonivex::KeyProfile keyProfile = sonivex::kDefaultKeyProfile;
    bool noLog = false;
    bool noWait = false;  // a program folder that another run holds stops this run at once
    std::optional<std::filesystem::path> folder;
    bool yes = false;
    std::optional<std::uint32_t> seed;
    std::string file;
    bool haveFile = false;
    std::vector<Action> actions;
    ExtrasProgram extras;  // looked for only for --render and --piano-roll
    std::optional<std::filesystem::path> soundFont;  // --soundfont: what --render renders with
};

// The command line, read one argument after the other.
struct Arguments {
    int argc;
    char** argv;
    int i = 1;

    bool AtEnd() const { return i >= argc; }
    // The argument after the current one, which becomes the current one; nothing at the end.
    std::optional<std::string> Value() {
        if (i + 1 >= argc) return std::nullopt;
        return std::string(argv[++i]);
    }
    bool NextIs(const char* text) const { return i + 1 < argc && std::strcmp(argv[i + 1], text) == 0; }
};

// Finds the helper program that --render and --piano-roll need; a usage status when it lacks what `id` needs.
std::optional<int> FindExtrasFor(ActionId id, const char* argv0, ToolOptions& options) {
#ifndef SONIVEX_CLI_RENDER
    if (id == ActionId::Render) return Usage("--render is not available: this sonivex-cli was built without FluidSynth", false);
#endif
#ifndef SONIVEX_CLI_PIANO_ROLL
    if (id == ActionId::PianoRoll) return Usage("--piano-roll is not available: this sonivex-cli was built without Qt", false);
#endif
#ifndef SONIVEX_CLI_RENDER
    if (id == ActionId::Play) {
        return Usage("--play is not available: this sonivex-cli was built without FluidSynth", false);
    }
#endif
    if (options.extras) return std::nullopt;
    std::string problem;
    options.extras = sonivex::FindCliExtras(ExecutableFolder(argv0), SONIVEX_EXTRAS_FOLDER, problem);
    if (options.extras) return std::nullopt;
    const char* name = id == ActionId::Render ? "--render" : id == ActionId::Play ? "--play" : "--piano-roll";
    return Usage(name + std::string(" is not available: ") + problem, false);
}

// The values of the Edit menu's commands and of --instrument, read from the command line (a track number is
// checked against the song's tracks when the command runs); a usage status when one is wrong.
std::optional<int> ReadEditValues(Action& action, Arguments& in) {
    using enum ActionId;
    if (action.id == Transpose) {
        const std::optional<int> n = WholeNumber(action.value, true);
        if (!n || *n < -sonivex::kMaxTransposeSemitones || *n > sonivex::kMaxTransposeSemitones) {
            return Usage("--transpose takes a whole number of semitones from -24 to 24", false);
        }
        action.number = *n;
        if (in.NextIs("--transpose-track")) {
            ++in.i;
            const std::optional<std::string> t = in.Value();
            const std::optional<int> track = t ? WholeNumber(*t, false) : std::nullopt;
            if (!track || *track < 1) return Usage("--transpose-track takes a track number from 1", false);
            action.track = *track;
        }
    } else if (action.id == TempoPercent) {
        const std::optional<int> p = WholeNumber(action.value, false);
        if (!p || *p < sonivex::kMinTempoPercent || *p > sonivex::kMaxTempoPercent) {
            return Usage("--tempo-percent takes a whole percentage from 25 to 400", false);
        }
        action.number = *p;
    } else if (action.id == Instrument) {
        const std::size_t eq = action.value.find('=');
        const std::optional<int> track =
            eq == std::string::npos ? std::nullopt : WholeNumber(action.value.substr(0, eq), false);
        const std::optional<int> program =
            eq == std::string::npos ? std::nullopt : WholeNumber(action.value.substr(eq + 1), false);
        if (!track || *track < 1 || !program || *program < 1 || *program > 128) {
            return Usage("--instrument takes TRACK=PROGRAM: a track from 1 and a program from 1 to 128", false);
        }
        action.track = *track;
        action.number = *program;
    }
    return std::nullopt;
}

// A control or command after FILE, with its value; a usage status when it is unknown or its value is wrong.
std::optional<int> ReadAction(const std::string& arg, Arguments& in, ToolOptions& options) {
    const auto known = Actions().find(arg);
    if (known == Actions().end()) return Usage("unknown option " + arg);
    const ActionId id = known->second.id;
    if (id == ActionId::Render || id == ActionId::PianoRoll || id == ActionId::Play) {
        if (const std::optional<int> failed = FindExtrasFor(id, in.argv[0], options)) return failed;
    }
    Action action{id, arg, ""};
    if (known->second.takesValue) {
        const std::optional<std::string> v = in.Value();
        if (!v) return Usage(arg + " needs a value");
        action.value = *v;
    }
    if (known->second.kind == Kind::Check && action.value != "on" && action.value != "off") {
        return Usage(arg + " takes on or off");
    }
    if (const std::optional<int> wrong = ReadEditValues(action, in)) return wrong;
    if (id == ActionId::PianoRoll) {
        action.width = sonivex::kDefaultRollWidth;
        action.height = sonivex::kDefaultRollHeight;
        if (in.NextIs("--size")) {
            ++in.i;
            const std::optional<std::string> size = in.Value();
            if (!size || !sonivex::ParseRollSize(*size, action.width, action.height)) {
                return Usage("--size takes WIDTHxHEIGHT, each from 1 to 16384", false);
            }
        }
    }
    if (id == ActionId::Play && in.NextIs("--port")) {
        ++in.i;
        const std::optional<std::string> port = in.Value();
        if (!port) return Usage("--port needs the name of a MIDI output port", false);
#ifndef SONIVEX_CLI_PORTS
        return Usage("--port is not available: this sonivex-cli was built without RtMidi", false);
#endif
        action.port = *port;
    }
    options.actions.push_back(action);
    return std::nullopt;
}

// The MIDI output ports that the helper program lists, one a line; nothing, with the reason, when it fails.
std::optional<std::string> OutputPorts(const std::filesystem::path& extras, std::string& problem) {
    const sonivex::HelperRun run = sonivex::RunHelper(extras, {"list-ports"}, {});
    if (run.ended && run.status == 0) return run.output;
    problem = !run.ended ? run.problem : run.output;
    return std::nullopt;
}

// --list-ports: prints the MIDI output ports; a usage status when this tool cannot reach them.
int ListPorts(const char* argv0) {
#ifndef SONIVEX_CLI_PORTS
    (void)argv0;
    return Usage("--list-ports is not available: this sonivex-cli was built without RtMidi", false);
#else
    std::string problem;
    const ExtrasProgram extras = sonivex::FindCliExtras(ExecutableFolder(argv0), SONIVEX_EXTRAS_FOLDER, problem);
    if (!extras) return Usage("--list-ports is not available: " + problem, false);
    const std::optional<std::string> ports = OutputPorts(*extras, problem);
    if (!ports) {
        std::fprintf(stderr, "sonivex-cli: the MIDI output ports could not be listed: %s\n", problem.c_str());
        return kExitNotOpened;
    }
    std::fwrite(ports->data(), 1, ports->size(), stdout);
    return kExitFine;
#endif
}

// Before anything is done: each --play's --port names an output port. Otherwise a message lists the ports and
// the run ends with kExitNotPlayed.
std::optional<int> CheckPorts(const ToolOptions& o) {
    std::optional<std::string> listed;
    for (const Action& a : o.actions) {
        if (a.id != ActionId::Play || !a.port) continue;
        std::string problem;
        if (!listed) listed = OutputPorts(*o.extras, problem);
        if (!listed) {
            std::fprintf(stderr, "sonivex-cli: --port %s: the MIDI output ports could not be listed: %s\n",
                         a.port->c_str(), problem.c_str());
            return kExitNotPlayed;
        }
        std::vector<std::string> ports;
        for (std::size_t at = 0; at < listed->size();) {
            const std::size_t end = std::min(listed->find('\n', at), listed->size());
            ports.push_back(listed->substr(at, end - at));
            at = end + 1;
        }
        if (std::find(ports.begin(), ports.end(), *a.port) != ports.end()) continue;
        std::string names;
        for (const std::string& port : ports) names += (names.empty() ? "" : ", ") + port;
        std::fprintf(stderr, "sonivex-cli: --port %s: no MIDI output port has that name; %s\n", a.port->c_str(),
                     ports.empty() ? "there are none" : ("the output ports are: " + names).c_str());
        return kExitNotPlayed;
    }
    return std::nullopt;
}

// Reads the command line into `options`. An exit status when the run ends there: help, the version, or a
// usage error (after its message).
std::optional<int> ReadCommandLine(Arguments in, ToolOptions& o) {
    for (; !in.AtEnd(); ++in.i) {
        const std::string arg = in.argv[in.i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitFine;
        }
        if (arg == "--list-ports") return ListPorts(in.argv[0]);
        if (arg == "--version") {
            std::fputs("sonivex-cli " SONIVEX_VERSION "\n", stdout);
            return kExitFine;
        }
        if (arg == "--yes") {
            o.yes = true;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--no-log") {
            o.noLog = true;
        } else if (arg == "--no-wait") {
            o.noWait = true;
        } else if (arg == "--" && !o.haveFile) {
            // The options end here: the next argument is FILE, whatever it looks like.
            const std::optional<std::string> file = in.Value();
            if (!file) return Usage("no FILE given");
            o.file = *file;
            o.haveFile = true;
        } else if (arg == "--program-folder" || arg.rfind("--program-folder=", 0) == 0) {
            const std::optional<std::string> dir =
                arg == "--program-folder" ? in.Value() : arg.substr(std::strlen("--program-folder="));
            if (!dir) return Usage("--program-folder needs a folder");
            o.folder = *dir;
        } else if (arg == "--key-profile") {
            const std::optional<std::string> name = in.Value();
            const std::optional<sonivex::KeyProfile> profile = name ? sonivex::KeyProfileNamed(*name) : std::nullopt;
            if (!profile) return Usage("--key-profile needs krumhansl, temperley or aarden");
            o.keyProfile = *profile;
        } else if (arg == "--seed") {
            const std::optional<std::string> n = in.Value();
            if (!n || n->empty() || n->find_first_not_of("0123456789") != std::string::npos || n->size() > 10) {
                return Usage("--seed needs a whole number");
            }
            o.seed = static_cast<std::uint32_t>(std::stoull(*n));
        } else if (arg == "--soundfont" && o.haveFile) {
            const std::optional<std::string> font = in.Value();
            if (!font || font->empty()) return Usage("--soundfont needs a SoundFont file");
            o.soundFont = *font;
        } else if (!o.haveFile && (arg.empty() || arg[0] != '-' || arg == "-")) {
            o.file = arg;
            o.haveFile = true;
        } else if (!o.haveFile) {
            return Usage("unknown option " + arg);
        } else if (const std::optional<int> failed = ReadAction(arg, in, o)) {
            return failed;
        }
    }
    if (!o.haveFile) return Usage("no FILE given");
    if (o.folder) o.folder = std::filesystem::absolute(*o.folder);
    return std::nullopt;
}

// Opens FILE as the Open command does; kExitNotOpened when it is missing, is a folder or was refused, else
// kExitFine.
int OpenGivenFile(sonivex::Session& session, CliPlatform& platform, const std::string& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        session.Message(file + sonivex::NotASongFile(file), sonivex::Icon::Warning);
        return kExitNotOpened;
    }
    platform.Answer(std::filesystem::absolute(file).lexically_normal().string());
    const sonivex::OpenOutcome outcome = sonivex::OpenCommand(session);
    return outcome != sonivex::OpenOutcome::Reported && outcome != sonivex::OpenOutcome::ReportStopped
               ? kExitNotOpened
               : kExitFine;
}

// Prints the song's facts as one JSON line.
void PrintJson(sonivex::Session& session, const CliPlatform& platform, const std::string& file, bool opened,
               sonivex::KeyProfile profile) {
    const sonivex::SongStatus song = !opened                       ? sonivex::SongStatus::Refused
                                     : session.RunErrorCount > 0 ? sonivex::SongStatus::Stopped
                                                                 : sonivex::SongStatus::Analysed;
    const std::string line = sonivex::FactsToJson(sonivex::CollectFacts(session, file, song, platform.shown, profile)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

// Prints the report pane's text, every CR LF as one LF.
void PrintReport(const sonivex::Session& session) {
    std::string out;
    out.reserve(session.form.RichTextBox1.size());
    const std::string& text = session.form.RichTextBox1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

// After FILE was not opened: names every file that a --save, --render or --piano-roll would have written in a
// message. True when there was one.
bool NameUnwrittenFiles(sonivex::Session& session, const std::vector<Action>& actions, const std::string& file) {
    bool named = false;
    for (const Action& a : actions) {
        if (a.id != ActionId::Save && a.id != ActionId::Render && a.id != ActionId::PianoRoll) continue;
        session.Message(a.value + (a.id == ActionId::Save ? " was not saved: " : " was not written: ") + file +
                            " was not opened",
                        sonivex::Icon::Warning);
        named = true;
    }
    return named;
}

// Opens the song in a session of its own, runs the actions and prints the outcome; the exit status.
int RunOnSong(const ToolOptions& o, const char* argv0) {
    // Declared before the session, so the run folder goes only after the session has closed its files.
    std::string folderError;
    std::optional<sonivex::RunFolders> run = sonivex::MakeRunFolders(
        sonivex::FolderEnvironment::OfThisProcess(), ExecutableFolder(argv0), o.folder, folderError,
        o.noWait ? sonivex::FolderLock::Wait::No : sonivex::FolderLock::Wait::UntilFree);
    if (!run) {
        std::fprintf(stderr, "sonivex-cli: %s\n", folderError.c_str());
        return kExitNotOpened;
    }
    CliPlatform platform(o.yes);
    sonivex::Session session(platform, run->folders);
    if (o.seed) {
        session.FixedSeed = true;
        session.Seed = *o.seed;
    }
    if (o.noLog) session.song.Log.SwitchOff();
    sonivex::FormLoad(session);

    int status = OpenGivenFile(session, platform, o.file);
    const bool opened = status == kExitFine;
    if (opened) {
        Runner runner(session, platform, o.extras, o.soundFont);
        for (const Action& action : o.actions) {
            if (const std::optional<int> failed = runner.Run(action)) {
                sonivex::End1(session);
                return *failed;
            }
        }
        if (session.RunErrorCount > 0) status = kExitReportStopped;
        if (runner.PlayFailed()) status = kExitNotPlayed;
        if (runner.SaveFailed() || session.UnwrittenResults > 0) status = kExitNotWritten;
    } else if (NameUnwrittenFiles(session, o.actions, o.file)) {
        status = kExitNotWritten;
    }
    if (o.json) {
        PrintJson(session, platform, o.file, opened, o.keyProfile);
    } else {
        PrintReport(session);
    }
    sonivex::End1(session);
    return status;
}

// The whole run of the tool; main() wraps it so that no runtime error escapes.
int RunTool(int argc, char** argv) {
    if (sonivex::IsBatchRun(argc, argv)) return sonivex::BatchMain(argc, argv, ExecutableFolder(argv[0]));
    ToolOptions options;
    if (const std::optional<int> status = ReadCommandLine({argc, argv}, options)) return *status;
    if (const std::optional<int> status = CheckPorts(options)) return *status;
    return RunOnSong(options, argv[0]);
}

}  // namespace

int main(int argc, char** argv) {
    KeepFreedMemory();
    // The commands catch their own runtime errors; this is the last net for one outside any command (the
    // folders, the options), which is shown like a report's error.
    try {
        return RunTool(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("message: Not enough memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "message: Error: %s\n", e.what());
    }
    return kExitReportStopped;
}
