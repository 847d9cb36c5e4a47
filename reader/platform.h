// What the core asks of the program's front end: message boxes, the mouse pointer, letting pending window
// events run, and the window caption. The window implements it with real dialogs, the command-line tool with
// lines on stderr, and the tests with a scripted double.
#pragma once

#include <string>

namespace sonivex {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Information, Warning, Question, Critical };
enum class Answer { Ok, Yes, No };

// The application's title, shown on every message box unless a command names another.
inline constexpr const char* kAppTitle = "Sonivex";

class Platform {
public:
    virtual ~Platform() = default;

    // Shows a modal message box and returns the button pressed (Ok for an OK box).
    virtual Answer ShowMessage(const std::string& text, Buttons buttons, Icon icon, const std::string& title) = 0;

    // Shows the busy (true) or the normal (false) mouse pointer.
    virtual void SetBusy(bool busy) = 0;

    // Lets window events that are waiting run once.
    virtual void LetEventsRun() = 0;

    // Sets the main window's caption.
    virtual void SetCaption(const std::string& caption) = 0;
};

}  // namespace sonivex
