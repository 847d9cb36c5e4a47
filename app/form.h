// The main window's controls as plain data: what the commands read and write, and what the window mirrors.
// Initial states are those of a freshly started program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "reader/timeline.h"

namespace sonivex {

// Any control that can be enabled or disabled.
struct Control {
    bool enabled = true;
};

// A drop-down list from which the user can only pick.
struct ListControl : Control {
    std::vector<std::string> items;
    int listIndex = -1;  // the selected entry; -1 = none

    void Clear() {
        items.clear();
        listIndex = -1;
    }
    void AddItem(const std::string& item) { items.push_back(item); }
    // The selected entry's place, none when nothing is selected.
    std::optional<int> Selected() const { return listIndex >= 0 ? std::optional<int>(listIndex) : std::nullopt; }
};

struct CheckControl : Control {
    bool ticked = false;
};

struct OptionControl : Control {
    bool selected = false;
};

struct TextControl : Control {
    std::string text;
};

// The working copy's tempo map, for turning playing positions into times, with the size and time of change
// of the file it was read from (a different file is read again).
struct SongClock {
    Timeline timeline;
    std::uintmax_t fileSize = 0;
    std::filesystem::file_time_type fileChanged{};
    bool known = false;
};

struct FormModel {
    FormModel();

    // Instruments frame.
    ListControl Combo1;   // styles
    Control Command1;     // "Apply"
    CheckControl Check1;  // "Melody"
    ListControl Combo2;   // "Max #:" for melody
    CheckControl Check2;  // "Drum"
    ListControl Combo3;   // "Max #:" for drum

    // Track frame.
    ListControl Combo4;
    Control Command2;  // "Drum<>Melody"
    ListControl Combo5;
    Control Command3;  // "Copy Track"

    // Effects frame.
    ListControl Combo6;   // effects
    Control Command4;     // "Apply"
    ListControl Combo8;   // "Track:"
    CheckControl Check3;  // "Melody"
    CheckControl Check4;  // "Drum"
    TextControl Text1;    // "Step/Factor:"
    OptionControl Option1;  // "Note"
    ListControl Combo7;     // note or "All"
    OptionControl Option2;  // "Volume"
    TextControl Text2;      // value, "0 = All"
    ListControl Combo9;     // keys
    CheckControl Check6;    // "Treble"
    CheckControl Check5;    // "Bass"
    ListControl Combo10;    // notes

    // Menus.
    Control mnuOpen;
    Control mnuSave;
    Control mnuSaveAs;  // on while a song is open
    Control mnuExit;
    Control mnuPlay;
    Control mnuPause;
    Control mnuStop;
    Control mnuAbout;
    Control mnuUndo;
    Control mnuRedo;
    Control mnuExportAudio;
    Control mnuTranspose;
    Control mnuTempo;

    // Toolbar buttons 1, 2, 4, 5 and 6 (3 is a separator).
    Control OpenButton;
    Control SaveButton;
    Control PlayButton;
    Control PauseButton;
    Control StopButton;
    Control UndoButton;
    Control RedoButton;

    std::string RichTextBox1;  // the report pane
    std::string StatusBar1;    // never written

    bool FileLoaded = false;  // once the Open command has filled the lists
    int SongsOpened = 0;      // Opens that loaded a song, so the window knows a new song from an edited one
    bool Paused = false;

    // The song around the controls.
    bool UnsavedChanges = false;  // an editing command changed the song since it was opened or saved
    std::string SongPath;         // the user's path of the song open now; "" when none is
    std::string OpenFolder;       // where the Open dialog starts: the folder of the last song opened
    std::string PlayingPosition;  // beside the play buttons: "0:12 / 1:14"; "" when no song is open
    double PlayingSeconds = 0;    // the playing position as a time in the song, when PlayingPosition shows one
    // The position slider: the playing position and the song's length in ticks, as PlayingPosition shows them.
    std::uint32_t PositionTicks = 0;
    std::uint32_t LengthTicks = 0;
    // Where Play starts after Stop or a seek while stopped (the position shows it then); none: the device's
    // position is shown and Play starts at the beginning.
    std::optional<std::uint32_t> StartTick;
    std::string SoundNote;        // beside the position: why nothing can be heard, or ""
    SongClock Clock;
};

}  // namespace sonivex
