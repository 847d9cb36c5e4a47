// The main window's commands and rules over the window model: start-up, Open and Save, playback, shutdown,
// the check-box pairs, the style and effect lists, and the routing of menus, toolbar and buttons. The window
// calls these from its event handlers and mirrors the model; tests drive them through a scripted platform.
#pragma once

#include <string>

#include "app/open_command.h"
#include "reader/session.h"

namespace sonivex {

inline constexpr const char* kMidiFilter = "MIDI files (*.mid)|*.mid|All files (*.*)|*.*";

// The 11 fixed entries of the Effects list; the names of effects1.dat follow them.
inline constexpr const char* kFixedEffects[] = {"Random",         "Gradually Increase", "Decrease",
                                                "Gradually Decrease", "Increase",       "Remove Flats",
                                                "Key Signature",  "Minor Melodic",      "Minor Harmonic",
                                                "Effect#1",       "Effect#2"};

// The window's load step: flags, name tables, the media hook and the "logs" folder.
void FormLoad(Session& s);

// Open: asks for a file, refills the lists, loads it, runs the report and opens it for playback.
OpenOutcome OpenCommand(Session& s);

// Save: copies the working copy to a name the user chooses, after asking before overwriting.
void SaveCommand(Session& s);

// Enables the Effects list and disables every effect parameter control.
void ResetEffectControls(FormModel& f);

// Enables the parameter controls that an effect code (list index + 4) needs.
void ShowEffectControls(FormModel& f, int code);

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

// Routing: a menu item by its name ("mnuOpen" ...), a toolbar button by its key text ("Open" ...), a command
// button by its number (1 to 4).
void MenuClick(Session& s, const std::string& item);
void ToolbarClick(Session& s, const std::string& key);
void CommandClick(Session& s, int button);

// Playback: Play, Pause and Stop, the once-a-second poll that notices the end, and shutdown.
void Play1(Session& s);
void Pause1(Session& s);
void Stop1(Session& s);
void Timer1_Timer(Session& s);
void End1(Session& s);

}  // namespace sonivex
