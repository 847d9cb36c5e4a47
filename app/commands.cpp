#include "commands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <optional>
#include <system_error>

#include "app/editing.h"
#include "edit/effects.h"
#include "export_command.h"
#include "open_command.h"
#include "save_file.h"
#include "playback/media.h"
#include "reader/files.h"
#include "reader/load.h"
#include "reader/text.h"
#include "reader/timeline.h"
#include "report/report.h"
#include "undo_redo.h"

namespace sonivex {

namespace {

std::string CurrentFolder() {
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}

// The names of a data file's entries: the text before the first "=" of every line that holds one.
std::vector<std::string> EntryNames(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    for (const std::string& line : lines) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) names.push_back(line.substr(0, eq));
    }
    return names;
}

void SetPlaybackControls(FormModel& f, bool play, bool pause, bool stop) {
    f.mnuPlay.enabled = f.PlayButton.enabled = play;
    f.mnuPause.enabled = f.PauseButton.enabled = pause;
    f.mnuStop.enabled = f.StopButton.enabled = stop;
}

// At least one box of a pair stays ticked: the clicked one is ticked again when both are clear.
void KeepOneTicked(CheckControl& clicked, const CheckControl& other) {
    if (!clicked.ticked && !other.ticked) clicked.ticked = true;
}

// Exactly one box of the pair is ticked: a tick moves to the clicked box, and clicking the ticked box keeps it.
void MoveTheTick(CheckControl& clicked, CheckControl& other) {
    if (clicked.ticked) other.ticked = false;
    if (!other.ticked) clicked.ticked = true;
}

// Plays from the current position to the end, as Play does after a pause.
void Resume(Session& s) {
    MediaPlay(s.media, kMediaAlias, MediaPosition(s.media, kMediaAlias), kToTheEnd);
}

// The user's home folder, or the current folder where there is no home.
std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? std::string(home) : CurrentFolder();
}

std::string FolderOf(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

// What the window shows after Open refused a file: no song in the caption or the report pane, and nothing to
// play, save or edit. The lists keep their entries.
void ShowNoSong(Session& s) {
    FormModel& f = s.form;
    s.ShowCaption(kAppTitle);
    f.RichTextBox1.clear();
    SetPlaybackControls(f, false, false, false);
    f.Paused = false;
    f.mnuSave.enabled = f.SaveButton.enabled = f.mnuSaveAs.enabled = false;
    f.mnuTranspose.enabled = f.mnuTempo.enabled = false;
    for (Control* c : {static_cast<Control*>(&f.Combo1), static_cast<Control*>(&f.Combo2),
                       static_cast<Control*>(&f.Combo3), static_cast<Control*>(&f.Combo4),
                       static_cast<Control*>(&f.Combo5), static_cast<Control*>(&f.Command1),
                       static_cast<Control*>(&f.Command2), static_cast<Control*>(&f.Command3),
                       static_cast<Control*>(&f.Command4)}) {
        c->enabled = false;
    }
    ResetEffectControls(f);
    f.Combo6.enabled = false;
    f.PlayingPosition.clear();
}

// Reads the working copy's tempo map again when the file is not the one it was read from.
void UpdateSongClock(Session& s) {
    SongClock& clock = s.form.Clock;
    const std::filesystem::path file = s.WorkFile(s.song.TempFileName);
    std::error_code sizeError;
    std::error_code timeError;
    const std::uintmax_t size = std::filesystem::file_size(file, sizeError);
    const std::filesystem::file_time_type changed = std::filesystem::last_write_time(file, timeError);
    if (sizeError || timeError) {
        clock = SongClock{};
        return;
    }
    if (clock.known && clock.fileSize == size && clock.fileChanged == changed) return;
    const std::optional<Bytes> bytes = ReadWholeFile(file);
    clock = SongClock{};
    if (!bytes) return;
    clock.timeline = ReadTimeline(*bytes);
    clock.timeline.notes.clear();  // only the tempo map is needed
    clock.timeline.tracks.clear();
    clock.fileSize = size;
    clock.fileChanged = changed;
    clock.known = true;
}

// A number of whole ticks from a media reply; nothing for anything else.
std::optional<std::uint32_t> ReplyTicks(const std::string& reply) {
    std::uint32_t value = 0;
    const char* end = reply.data() + reply.size();
    const auto [stop, error] = std::from_chars(reply.data(), end, value);
    if (reply.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace

std::string MinutesAndSeconds(double seconds) {
    if (!(seconds > 0)) seconds = 0;  // also for NaN
    // To the nearest second. A year is far beyond any song; the cap keeps the conversion defined.
    const std::int64_t whole = std::llround(std::min(seconds, 86400.0 * 366));
    const std::int64_t minutes = whole / 60;
    const std::int64_t rest = whole % 60;
    return std::to_string(minutes) + ":" + (rest < 10 ? "0" : "") + std::to_string(rest);
}

std::string WithDefaultExtension(const std::string& path, const std::string& extension) {
    const std::filesystem::path name = std::filesystem::path(path).filename();
    if (name.empty() || !name.extension().empty()) return path;
    return path + extension;
}

std::string NotASongFile(const std::string& path) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) return " does not exist";
    if (std::filesystem::is_directory(status)) return " is a folder, not a MIDI file";
    return " is not a regular file";
}

bool OfferToSaveChanges(Session& s) {
    if (!s.form.UnsavedChanges) return true;
    s.platform.SetBusy(false);
    const Answer answer = s.platform.ShowMessage("Save changes to " + s.song.FileTitle + "?", Buttons::YesNoCancel,
                                                 Icon::Question, kAppTitle);
    if (answer == Answer::Yes) return SaveCommand(s, AfterSave::FollowTheFile) == SaveOutcome::Saved;
    return answer == Answer::No;
}

bool QueryUnload(Session& s) {
    if (!OfferToSaveChanges(s)) return false;
    // Answered: the window closes now, and its close must not ask a second time.
    s.form.UnsavedChanges = false;
    return true;
}

void PlayPauseKey(Session& s) {
    if (s.form.mnuPause.enabled) {
        Pause1(s);
    } else if (s.form.mnuPlay.enabled) {
        Play1(s);
    }
}

void ShowPlayingPosition(Session& s) {
    FormModel& f = s.form;
    f.PlayingPosition.clear();
    if (f.SongPath.empty() || s.song.TempFileName.empty()) return;
    std::string reply;
    if (MediaQuery(s.media, std::string("Status ") + kMediaAlias + " position", reply) != 0) return;
    const std::optional<std::uint32_t> played = ReplyTicks(reply);
    if (MediaQuery(s.media, std::string("Status ") + kMediaAlias + " length", reply) != 0) return;
    const std::optional<std::uint32_t> length = ReplyTicks(reply);
    if (!played || !length) return;
    const std::uint32_t position = f.StartTick && !s.media.Playing ? std::min(*f.StartTick, *length) : *played;
    UpdateSongClock(s);
    if (!f.Clock.known) return;
    const Timeline& clock = f.Clock.timeline;
    f.PlayingSeconds = clock.SecondsAt(position);
    f.PositionTicks = position;
    f.LengthTicks = *length;
    f.PlayingPosition =
        MinutesAndSeconds(clock.SecondsAt(position)) + " / " + MinutesAndSeconds(clock.SecondsAt(*length));
}

void SeekCommand(Session& s, std::int64_t tick) {
    if (s.form.SongPath.empty() || s.song.TempFileName.empty()) return;
    std::string reply;
    if (MediaQuery(s.media, std::string("Status ") + kMediaAlias + " length", reply) != 0) return;
    const std::optional<std::uint32_t> length = ReplyTicks(reply);
    if (!length) return;
    const auto to = static_cast<std::uint32_t>(std::clamp<std::int64_t>(tick, 0, *length));
    if (s.media.Playing) {
        MediaSeek(s.media, kMediaAlias, to);
    } else {
        s.form.StartTick = to;
    }
    ShowPlayingPosition(s);
}

void FormLoad(Session& s) {
    s.form.FileLoaded = false;
    s.song.NotesFileInUse = false;
    s.media.MediaWindow = s.app.MediaWindow();
    s.app.InstallMediaHook();
    std::error_code ec;
    std::filesystem::create_directories(s.LogFolder(), ec);  // an existing folder is fine
}

std::optional<std::vector<std::vector<std::string>>> ReadListFiles(SongSession& s) {
    std::vector<std::vector<std::string>> dataLines;
    for (const char* name : {kStyleFileName, kEffectsFileName}) {
        std::optional<std::vector<std::string>> lines = ReadTextLines(s.DataFile(name));
        if (!lines) {
            s.Message(std::string(name) + " does not exist", Icon::Warning);
            return std::nullopt;
        }
        dataLines.push_back(std::move(*lines));
    }
    return dataLines;
}

namespace {

// Closes the song before: playback, its edit history, and the controls that need a loaded song.
void LeaveThePreviousSong(Session& s) {
    FormModel& f = s.form;
    s.platform.SetBusy(true);
    s.song.FileValid = true;
    MediaClose(s.media, kMediaAlias);
    f.StartTick.reset();
    s.history.Clear();
    ShowHistoryControls(s);
    f.mnuExportAudio.enabled = f.mnuSaveAs.enabled = false;
    f.mnuTranspose.enabled = f.mnuTempo.enabled = false;
    // The next song starts with every track sounding.
    ClearTrackMix(s);
    f.mnuSave.enabled = f.SaveButton.enabled = false;
    f.Command1.enabled = f.Command4.enabled = false;
}

// Empties every list and fills those that do not depend on the song: the styles and effects of the data
// files, the note and key names, and the maximum counts; the step and value get their defaults.
void FillTheFixedLists(Session& s, const std::vector<std::string>& styleLines,
                       const std::vector<std::string>& effectLines) {
    FormModel& f = s.form;
    for (ListControl* list : {&f.Combo1, &f.Combo2, &f.Combo3, &f.Combo4, &f.Combo5, &f.Combo6, &f.Combo7, &f.Combo8,
                              &f.Combo9, &f.Combo10}) {
        list->Clear();
    }
    f.FileLoaded = false;
    for (const std::string& name : EntryNames(styleLines)) f.Combo1.AddItem(name);
    for (const EffectRow& effect : EffectTable()) {
        if (effect.name) f.Combo6.AddItem(std::string(*effect.name));
    }
    for (const std::string& name : EntryNames(effectLines)) f.Combo6.AddItem(name);
    f.Combo7.AddItem("All");
    for (int i = 1; i <= 12; ++i) f.Combo7.AddItem(s.names.NoteNames[i]);
    f.Combo7.listIndex = 0;
    for (int i = 1; i <= 24; ++i) f.Combo9.AddItem(s.names.KeyNames[i]);
    f.Combo9.listIndex = 0;
    for (int i = 1; i <= 12; ++i) f.Combo10.AddItem(s.names.NoteNames[i]);
    f.Combo10.listIndex = 0;
    f.Text1.text = "2";
    f.Text2.text = "0";
    f.FileLoaded = true;
    f.Combo2.AddItem("All");
    f.Combo3.AddItem("All");
    for (int i = 1; i <= 10; ++i) {
        f.Combo2.AddItem(Dec(i));
        f.Combo3.AddItem(Dec(i));
    }
    f.Combo2.listIndex = 0;
    f.Combo3.listIndex = 0;
}

// After the report of a loaded song: its tracks in the track lists, playback and editing ready, the song
// among the recent ones and open for playback.
void ShowTheLoadedSong(Session& s, const std::string& chosen) {
    FormModel& f = s.form;
    f.Combo8.AddItem("All");
    for (int i = 1; i <= s.song.TracksFound; ++i) {
        f.Combo4.AddItem(Dec(i));
        f.Combo5.AddItem(Dec(i));
        f.Combo8.AddItem(Dec(i));
    }
    f.Combo4.listIndex = 0;
    f.Combo4.enabled = true;
    f.Combo5.listIndex = 0;
    f.Combo5.enabled = true;
    f.Combo8.listIndex = 0;
    SetPlaybackControls(f, true, false, false);
    f.mnuExportAudio.enabled = f.mnuSaveAs.enabled = true;
    f.mnuTranspose.enabled = f.mnuTempo.enabled = true;
    s.recent.Opened(chosen);
    f.Combo1.enabled = f.Combo2.enabled = f.Combo3.enabled = true;
    ResetEffectControls(f);
    OpenForPlayback(s, s.song.SourcePath);
    s.platform.SetBusy(false);
}

// Loads the file named by SourcePath into the session's working copy; false when the load refuses it.
bool LoadInPlace(Session& s) {
    s.song.FileValid = true;
    s.song.RepairAll.reset();  // "Yes to All" and "No to All" hold for one Open
    LoadFile(s);
    return s.song.FileValid;
}

// Loads `chosen`, the file the user chose (SourcePath names it), in place of the song open now, and reports it.
// A file that the load refuses leaves the song open now as it was: its report, its edits and its history.
// With a song open the file is loaded aside first; with none there is nothing to keep, and it is loaded in
// place before anything of the window changes.
OpenOutcome LoadTheChosenSong(Session& s, const std::string& chosen, const std::string& previousSource,
                              const std::vector<std::vector<std::string>>& dataLines) {
    FormModel& f = s.form;
    SongModel& m = s.song;
    s.platform.SetBusy(true);
    const bool songOpen = !f.SongPath.empty();
    std::optional<WorkingCopyHeld> held;  // the song is read from the disk once, for the load and its report
    if (songOpen) {
        if (RefusedWhenLoadedAside(s, chosen)) {
            m.SourcePath = previousSource;
            s.platform.SetBusy(false);
            s.Message("Error!");
            return OpenOutcome::Rejected;
        }
    } else {
        held.emplace(s);
        if (!LoadInPlace(s)) {
            m.SourcePath = previousSource;
            s.platform.SetBusy(false);
            s.Message("Error!");
            return OpenOutcome::Rejected;
        }
    }
    LeaveThePreviousSong(s);
    FillTheFixedLists(s, dataLines[0], dataLines[1]);

    // The working copy of the song before is replaced now: its changes are gone, saved or not.
    f.UnsavedChanges = false;
    f.SongPath.clear();
    f.Clock.known = false;
    if (!held) {
        held.emplace(s);
        if (!LoadInPlace(s)) {
            s.platform.SetBusy(false);
            s.Message("Error!");
            ShowNoSong(s);
            return OpenOutcome::Rejected;
        }
    }
    f.SongPath = chosen;
    ++f.SongsOpened;
    f.Command2.enabled = f.Command3.enabled = true;
    const ReportOutcome report = BuildReport(s);
    held.reset();
    ShowReport(s);
    ShowTheLoadedSong(s, chosen);
    return report == ReportOutcome::Done ? OpenOutcome::Reported : OpenOutcome::ReportStopped;
}

// Open on the path given, or on the one the user chooses in the open dialog.
OpenOutcome OpenSong(Session& s, const std::optional<std::string>& given) {
    FormModel& f = s.form;
    SongModel& m = s.song;
    if (!OfferToSaveChanges(s)) return OpenOutcome::Cancelled;
    const std::string previousSource = m.SourcePath;
    const std::string startFolder = f.OpenFolder.empty() ? HomeFolder() : f.OpenFolder;
    m.SourcePath = given ? *given
                         : s.app.ChooseFile({.title = "Load MIDI file", .filter = kMidiFilter,
                                                  .initialFolder = startFolder, .initialName = "", .save = false,
                                                  .defaultExtension = ""});
    if (m.SourcePath.empty()) return OpenOutcome::Cancelled;
    const std::string chosen = m.SourcePath;
    if (!FileExists(chosen)) {
        s.Message(chosen + NotASongFile(chosen), Icon::Warning);
        m.SourcePath = previousSource;
        return OpenOutcome::Missing;
    }
    f.OpenFolder = FolderOf(chosen);
    const std::optional<std::vector<std::vector<std::string>>> dataLines = ReadListFiles(s);
    if (!dataLines) {
        m.SourcePath = previousSource;
        return OpenOutcome::NoDataFile;
    }
    return LoadTheChosenSong(s, chosen, previousSource, *dataLines);
}

// Open, where a runtime error shows its messages and leaves no song half-shown.
OpenOutcome OpenGuarded(Session& s, const std::optional<std::string>& given) {
    OpenOutcome outcome = OpenOutcome::Rejected;
    if (RunGuarded(s, [&] { outcome = OpenSong(s, given); })) return outcome;
    s.platform.SetBusy(false);
    ShowNoSong(s);
    return OpenOutcome::Rejected;
}

}  // namespace

OpenOutcome OpenCommand(Session& s) { return OpenGuarded(s, std::nullopt); }

OpenOutcome OpenCommand(Session& s, const std::string& path) { return OpenGuarded(s, path); }

void RunCommand(Session& s, const std::function<void()>& command) {
    if (!RunGuarded(s, command)) s.platform.SetBusy(false);
    s.app.ShowUnsavedChanges(s.form.UnsavedChanges);
}

namespace {

// After a save under a new name the session works on that file: its title in the caption, its path in the
// next report, among the recent songs and in the next Save dialog. The log goes on where the Open began it.
void WorkOnTheSavedFile(Session& s, const std::string& target) {
    SongModel& m = s.song;
    m.SourcePath = target;
    m.FileTitle = UpperAscii(PathTail(target));
    s.form.SongPath = target;
    s.ShowCaption(std::string(kAppTitle) + " - " + m.FileTitle);
    s.recent.Opened(target);
}

}  // namespace

SaveOutcome SaveCommand(Session& s, AfterSave after) {
    FormModel& f = s.form;
    if (!s.song.FileValid) {
        f.mnuSave.enabled = f.SaveButton.enabled = false;
        return SaveOutcome::NotSaved;
    }
    // The dialog starts in the song's own folder with the song's name.
    const std::string song = f.SongPath;
    const std::string folder = song.empty() ? HomeFolder() : FolderOf(song);
    const std::string name = song.empty() ? "" : std::filesystem::path(song).filename().string();
    // The dialog adds ".mid" to a name typed without an extension; a path given as it stands is used as it is.
    const std::string target = s.app.ChooseFile({.title = "Save MIDI file", .filter = kMidiFilter,
                                                      .initialFolder = folder, .initialName = name, .save = true,
                                                      .defaultExtension = ".mid"});
    if (target.empty()) return SaveOutcome::NotSaved;
    if (FileExists(target)) {
        s.platform.SetBusy(false);
        const Answer answer = s.platform.ShowMessage(target + " already exists, overwrite?", Buttons::YesNo,
                                                     Icon::Question, "Confirmation");
        if (answer != Answer::Yes) return SaveOutcome::NotSaved;
    }
    s.platform.SetBusy(true);
    if (const std::optional<std::string> problem = SaveCopy(s.WorkFile(s.song.TempFileName), target)) {
        s.Message(target + " could not be saved: " + *problem, Icon::Critical);
        return SaveOutcome::Failed;
    }
    f.UnsavedChanges = false;
    s.history.MarkSaved();
    if (after == AfterSave::FollowTheFile) WorkOnTheSavedFile(s, target);
    s.platform.SetBusy(false);
    return SaveOutcome::Saved;
}

void ResetEffectControls(FormModel& f) {
    f.Combo6.enabled = true;
    for (Control* c : {static_cast<Control*>(&f.Combo7), static_cast<Control*>(&f.Combo9),
                       static_cast<Control*>(&f.Combo10), static_cast<Control*>(&f.Text1),
                       static_cast<Control*>(&f.Text2), static_cast<Control*>(&f.Check5),
                       static_cast<Control*>(&f.Check6), static_cast<Control*>(&f.Option1),
                       static_cast<Control*>(&f.Option2)}) {
        c->enabled = false;
    }
}

void ShowEffectControls(FormModel& f, Effect effect) {
    ResetEffectControls(f);
    const EffectParameters shown = ShownParameters(effect);
    const auto enable = [&shown](EffectParameter parameter, std::initializer_list<Control*> controls) {
        if (!shown.Has(parameter)) return;
        for (Control* c : controls) c->enabled = true;
    };
    enable(EffectParameter::NoteOrVolume, {&f.Option1, &f.Option2});
    enable(EffectParameter::Step, {&f.Text1});
    enable(EffectParameter::Target, {&f.Text2, &f.Combo7});
    enable(EffectParameter::Key, {&f.Combo9, &f.Check5, &f.Check6});
    enable(EffectParameter::Root, {&f.Combo10});
}

void Check1_Click(FormModel& f) { KeepOneTicked(f.Check1, f.Check2); }
void Check2_Click(FormModel& f) { KeepOneTicked(f.Check2, f.Check1); }
void Check3_Click(FormModel& f) { KeepOneTicked(f.Check3, f.Check4); }
void Check4_Click(FormModel& f) { KeepOneTicked(f.Check4, f.Check3); }
void Check5_Click(FormModel& f) { MoveTheTick(f.Check5, f.Check6); }
void Check6_Click(FormModel& f) { MoveTheTick(f.Check6, f.Check5); }

void Combo1_Click(Session& s) {
    if (s.form.FileLoaded) s.form.Command1.enabled = true;
}

void Combo6_Click(Session& s) {
    if (!s.form.FileLoaded) return;
    s.form.Command4.enabled = true;
    if (const std::optional<EffectChoice> chosen = EffectAt(s.form.Combo6.listIndex)) {
        ShowEffectControls(s.form, chosen->effect);
    }
}

void MenuClick(Session& s, MenuCommand command) {
    switch (command) {
    case MenuCommand::Open: OpenCommand(s); break;
    case MenuCommand::Save:
    case MenuCommand::SaveAs: SaveCommand(s, AfterSave::FollowTheFile); break;
    case MenuCommand::ExportAudio: ExportAudioCommand(s); break;
    case MenuCommand::Exit:
        if (QueryUnload(s)) s.app.CloseMainWindow();
        break;
    case MenuCommand::Undo: UndoCommand(s); break;
    case MenuCommand::Redo: RedoCommand(s); break;
    case MenuCommand::Transpose:
        if (const std::optional<TransposeRequest> request = s.app.AskTranspose(s.song.TracksFound)) TransposeSong(s, *request);
        break;
    case MenuCommand::Tempo:
        if (const std::optional<TempoRequest> request = s.app.AskTempo()) ChangeTempo(s, *request);
        break;
    case MenuCommand::PianoRoll: s.app.ShowPianoRoll(); break;
    case MenuCommand::Play: Play1(s); break;
    case MenuCommand::Pause: Pause1(s); break;
    case MenuCommand::Stop: Stop1(s); break;
    case MenuCommand::UserGuide: s.app.ShowUserGuide(); break;
    case MenuCommand::About: s.app.ShowAbout(); break;
    }
}

void CommandClick(Session& s, CommandButton button) {
    // Every editing command keeps the working copy it started from, for Undo; one that changed it leaves
    // unsaved changes, and the song's clock is read again (file times are too coarse to tell a quick change).
    const bool changed = RunRecordedEdit(s, [&] {
        switch (button) {
        case CommandButton::ApplyStyle: ApplyStyle(s); break;
        case CommandButton::SwitchDrumMelody: SwitchDrumMelody(s); break;
        case CommandButton::CopyTrack: CopyTrack(s); break;
        case CommandButton::ApplyEffect: ApplyEffect(s); break;
        }
    });
    if (changed) s.form.UnsavedChanges = true;
    s.form.Clock.known = false;
}

void Play1(Session& s) {
    s.platform.SetBusy(true);
    s.form.mnuPause.enabled = s.form.PauseButton.enabled = true;
    s.form.mnuStop.enabled = s.form.StopButton.enabled = true;
    if (s.form.Paused) {
        Resume(s);
        s.form.Paused = false;
    } else {
        MediaPlay(s.media, kMediaAlias, s.form.StartTick.value_or(0), kToTheEnd);
    }
    s.form.StartTick.reset();
    s.platform.SetBusy(false);
}

void Pause1(Session& s) {
    s.platform.SetBusy(true);
    SetPlaybackControls(s.form, true, false, false);
    if (!s.form.Paused) {
        MediaPause(s.media, kMediaAlias);
    } else {
        Resume(s);
    }
    s.form.Paused = !s.form.Paused;
    s.platform.SetBusy(false);
}

void Stop1(Session& s) {
    s.platform.SetBusy(true);
    s.form.mnuStop.enabled = s.form.StopButton.enabled = false;
    s.form.mnuPause.enabled = s.form.PauseButton.enabled = false;
    MediaStop(s.media, kMediaAlias);
    // The next Play starts at the beginning, and the position says so; a pause before is over.
    s.form.StartTick = 0;
    s.form.Paused = false;
    s.platform.SetBusy(false);
}

void Timer1_Timer(Session& s) {
    if (!s.media.Playing) return;
    std::string mode;
    MediaQuery(s.media, std::string("Status ") + kMediaAlias + " mode", mode);
    if (mode != kStoppedMode) return;
    s.form.mnuPause.enabled = s.form.PauseButton.enabled = false;
    s.form.mnuStop.enabled = s.form.StopButton.enabled = false;
    s.media.Playing = false;
}

void End1(Session& s) {
    s.app.UnloadAbout();
    MediaClose(s.media, kMediaAlias);
    s.app.RemoveMediaHook();
    ShutdownFiles(s);
}

}  // namespace sonivex
