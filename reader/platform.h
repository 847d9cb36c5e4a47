// What the core asks of the program's front end: message boxes, file dialogs, the mouse pointer, letting
// pending window events run, the window caption, the about window, the piano roll and the media frame. The window implements
// it with real dialogs, the command-line tool with lines on stderr, and the tests with a scripted double.
#pragma once

#include <cstdint>
#include <string>

namespace sonivex {

enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Icon { None, Information, Warning, Question, Critical };
enum class Answer { Ok, Yes, No, Cancel };

// What a file dialog is asked: its title, filter ("MIDI files (*.mid)|*.mid|All files (*.*)|*.*"),
// initial folder and name, and whether it is a save dialog. The read-only check box is never shown.
struct FileDialogRequest {
    std::string title;
    std::string filter;
    std::string initialFolder;
    std::string initialName;
    bool save = false;
    std::string defaultExtension;  // a dialog adds it (".mid") to a typed name that has none
};

// A window's rectangle in screen pixels.
struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The application's title, shown on every message box unless a command names another.
inline constexpr const char* kAppTitle = "Sonivex";

class Platform {
public:
    virtual ~Platform() = default;

    // Shows a modal message box and returns the button pressed (Ok for an OK box). Closing a Yes/No box counts
    // as No, closing a Yes/No/Cancel box as Cancel.
    virtual Answer ShowMessage(const std::string& text, Buttons buttons, Icon icon, const std::string& title) = 0;

    // Shows the busy (true) or the normal (false) mouse pointer.
    virtual void SetBusy(bool busy) = 0;

    // Lets window events that are waiting run once.
    virtual void LetEventsRun() = 0;

    // Sets the main window's caption.
    virtual void SetCaption(const std::string& caption) = 0;

    // Shows a file dialog and returns the chosen path, or "" when the user cancels.
    virtual std::string ChooseFile(const FileDialogRequest&) { return {}; }

    // Shows how far a long task has got, from 0 to 1, under `text`, with a way to cancel it; the first call
    // shows the progress and EndProgress takes it away. Returns false once the user has asked to cancel.
    virtual bool ShowProgress(const std::string& /*text*/, double /*fraction*/) { return true; }
    virtual void EndProgress() {}

    // Shows the about window as a modal dialog; unloads it at shutdown.
    virtual void ShowAbout() {}
    virtual void UnloadAbout() {}

    // Shows the piano roll window of the working copy, or brings it to the front when it is open already.
    virtual void ShowPianoRoll() {}

    // Closes the main window (its unload step then shuts the program down).
    virtual void CloseMainWindow() {}

    // The media frame: its window handle (the media device's parent and the receiver of its completion
    // notifications) and its rectangle.
    virtual std::intptr_t MediaWindow() { return 0; }
    virtual WindowRect MediaWindowRect() { return {}; }

    // Puts the media notification hook on the media frame, and takes it off again.
    virtual void InstallMediaHook() {}
    virtual void RemoveMediaHook() {}
};

// A platform for work that nobody watches (a benchmark, the helper program): questions are answered No and
// nothing is shown.
class SilentPlatform : public Platform {
public:
    Answer ShowMessage(const std::string&, Buttons, Icon, const std::string&) override { return Answer::No; }
    void SetBusy(bool) override {}
    void LetEventsRun() override {}
    void SetCaption(const std::string&) override {}
};

}  // namespace sonivex
