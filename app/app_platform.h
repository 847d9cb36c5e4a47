// What the window's commands ask of the program's front end beyond messages: file dialogs, progress, letting
// pending window events run, the about window, the piano roll, the values of Transpose and Tempo, the user
// guide, closing the window and the media frame.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "edit/edit_commands.h"
#include "reader/platform.h"

namespace sonivex {

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

class AppPlatform : public Platform {
public:
    // Lets window events that are waiting run once.
    virtual void LetEventsRun() = 0;

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

    // Marks the main window's caption as holding unsaved changes (true) or not; called after every command
    // with the session's unsaved-changes state.
    virtual void ShowUnsavedChanges(bool /*unsaved*/) {}

    // Edit, Transpose... and Edit, Tempo...: asks for the request's values (the semitones, and all tracks or one
    // of the `trackCount` tracks; the percent of the speed). Nothing when the user cancels.
    virtual std::optional<TransposeRequest> AskTranspose(int /*trackCount*/) { return std::nullopt; }
    virtual std::optional<TempoRequest> AskTempo() { return std::nullopt; }

    // Help, User Guide: shows the guide to the window that ships with the program.
    virtual void ShowUserGuide() {}

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
class SilentPlatform : public AppPlatform {
public:
    Answer ShowMessage(const std::string&, Buttons, Icon, const std::string&) override { return Answer::No; }
    void SetBusy(bool) override {}
    void LetEventsRun() override {}
    void SetCaption(const std::string&) override {}
};

}  // namespace sonivex
