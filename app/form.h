// The main window's controls as plain data: what the commands read and write, and what the window mirrors.
// Initial states are those of a freshly started program.
#pragma once

#include <string>
#include <vector>

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
    Control mnuExit;
    Control mnuPlay;
    Control mnuPause;
    Control mnuStop;
    Control mnuAbout;

    // Toolbar buttons 1, 2, 4, 5 and 6 (3 is a separator).
    Control OpenButton;
    Control SaveButton;
    Control PlayButton;
    Control PauseButton;
    Control StopButton;

    std::string RichTextBox1;  // the report pane
    std::string StatusBar1;    // never written
    std::string Caption;

    int FileLoaded = 0;  // 1 once the Open command has filled the lists
    bool Paused = false;
};

}  // namespace sonivex
