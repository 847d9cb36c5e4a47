// The main window's commands and rules over the window model: start-up, Open and Save, playback, shutdown,
// the check-box pairs, the style and effect lists, and the routing of menus, toolbar and buttons. The window
// calls these from its event handlers and mirrors the model; tests drive them through a scripted platform.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/menu_command.h"
#include "app/open_command.h"
#include "app/session.h"
#include "edit/edit_session.h"

namespace sonivex {

inline constexpr const char* kMidiFilter = "MIDI files (*.mid *.midi *.kar)|*.mid;*.midi;*.kar|All files (*.*)|*.*";

// The window's load step: flags, the media hook and the "logs" folder.
void FormLoad(Session& s);

// Open: offers to save unsaved changes first (Cancel there cancels the Open), asks for a file in the folder of
// the last song opened (the home folder the first time), refills the lists, loads it, runs the report and opens
// it for playback. The file is loaded aside first: a file the load refuses leaves the song that was open as it
// was (its report, its unsaved edits and its history).
OpenOutcome OpenCommand(Session& s);

// Open without the dialog: opens `path` as if the user had chosen it there (a file dropped on the window, a
// recent song). Every check and question of Open applies.
OpenOutcome OpenCommand(Session& s, const std::string& path);

// Runs one command of the window or of sonivex-cli: a runtime error inside it (an overflow, a shortage of
// memory, a file system fault) shows its messages and ends that command, never the program.
void RunCommand(Session& s, const std::function<void()>& command);

// What Save did: Saved; NotSaved when there is no valid song, the dialog was cancelled or overwriting was
// declined; Failed when the file could not be written (its message was shown).
enum class SaveOutcome { Saved, NotSaved, Failed };

// What the session works on after a save: the song as it was opened (sonivex-cli's --save, whose later
// reports still name the file it opened), or the file just saved (the window's Save and Save As).
enum class AfterSave { KeepTheSong, FollowTheFile };

// Save and Save As: copies the working copy to a name the user chooses, after asking before overwriting. The
// dialog starts in the song's folder with the song's name; a name without an extension gets ".mid". Saving
// clears the unsaved changes. Following the file, the caption, the next report's "File" line, the recent songs
// and the next Save dialog name the file saved.
SaveOutcome SaveCommand(Session& s, AfterSave after = AfterSave::KeepTheSong);

// A path whose file name has no extension gets `extension` (".mid"); any other path stays as it is.
std::string WithDefaultExtension(const std::string& path, const std::string& extension);

// What a message says after the path of a song that is not a regular file: " does not exist", " is a folder,
// not a MIDI file", or " is not a regular file" (a pipe, a device, a socket).
std::string NotASongFile(const std::string& path);

// The lines of the style file and of the effects file, which opening a song needs, or nothing when one is
// missing: its message names it. Both are read before anything changes, so a missing one leaves the song that
// was open as it was.
std::optional<std::vector<std::vector<std::string>>> ReadListFiles(SongSession& s);

// When an editing command changed the song since it was opened or saved, asks "Save changes to TITLE?" with
// Yes, No and Cancel. True when the caller may go on: nothing changed, No, or Yes and the song was saved.
// False on Cancel, or when Yes did not save (the dialog was cancelled or the file could not be written).
bool OfferToSaveChanges(Session& s);

// Exit and the window's close box: OfferToSaveChanges, and once answered the changes count as dealt with, so
// the close that follows does not ask again. True when the window may close.
bool QueryUnload(Session& s);

// The Space key: Pause while playing, else Play (which resumes after a pause); nothing without a song.
void PlayPauseKey(Session& s);

// Moves the playing position to `tick` (clamped to the song): playing goes on from there, paused stays
// paused there, and stopped, the next Play starts there. Nothing without a song.
void SeekCommand(Session& s, std::int64_t tick);

// Sets PlayingPosition from the media device: "M:SS / M:SS", the position and the length as playing times
// (following the song's tempo changes), and the slider's PositionTicks and LengthTicks; after Stop or a seek
// while stopped the position is StartTick. "" when no song is open or the device does not answer. Does not touch
// LastMediaCommand or LastMediaError.
void ShowPlayingPosition(Session& s);

// Seconds rounded to whole ones as "M:SS" (minutes not limited to 59); a negative or undefined time shows as
// "0:00".
std::string MinutesAndSeconds(double seconds);

// Enables the Effects list and disables every effect parameter control.
void ResetEffectControls(FormModel& f);

// Enables the parameter controls that the effect shows (ShownParameters) and disables the others.
void ShowEffectControls(FormModel& f, Effect effect);

// Rules of the check-box pairs, run after a click has toggled the box.
void Check1_Click(FormModel& f);
void Check2_Click(FormModel& f);
void Check3_Click(FormModel& f);
void Check4_Click(FormModel& f);
void Check5_Click(FormModel& f);
void Check6_Click(FormModel& f);

// A style or an effect was chosen.
void Combo1_Click(Session& s);
void Combo6_Click(Session& s);

// The editing buttons of the window's frames: Command1 to Command4.
enum class CommandButton { ApplyStyle = 1, SwitchDrumMelody, CopyTrack, ApplyEffect };

// Routing of the menu items and of the toolbar buttons, which run the command of their menu item: Exit closes
// the main window once QueryUnload allows it.
void MenuClick(Session& s, MenuCommand command);
// An editing button runs its command on the song, kept for Undo; an edit that changed the song leaves unsaved
// changes.
void CommandClick(Session& s, CommandButton button);

// Playback: Play, Pause and Stop, the once-a-second poll that notices the end, and shutdown.
void Play1(Session& s);
void Pause1(Session& s);
void Stop1(Session& s);
void Timer1_Timer(Session& s);
void End1(Session& s);

}  // namespace sonivex
