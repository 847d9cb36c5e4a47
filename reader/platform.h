// What reading and reporting a song ask of the program's front end: message boxes and questions, the busy
// pointer and the window caption. The commands' own needs (dialogs, progress, the media frame) are in
// app/app_platform.h. The window implements both with real dialogs, the command-line tool with lines on stderr,
// and the tests with a scripted double.
#pragma once

#include <string>

namespace sonivex {

// YesNoAll: Yes and No, and "Yes to All" and "No to All", which answer the same question for the rest of the
// run that asks it (a repair question, asked once per damaged event, in one Open).
enum class Buttons { Ok, YesNo, YesNoCancel, YesNoAll };
enum class Icon { None, Information, Warning, Question, Critical };
enum class Answer { Ok, Yes, No, Cancel, YesToAll, NoToAll };

// The application's title, shown on every message box unless a command names another.
inline constexpr const char* kAppTitle = "Sonivex";

class Platform {
public:
    virtual ~Platform() = default;

    // Shows a modal message box and returns the button pressed (Ok for an OK box). Closing a Yes/No box (with
    // or without the "to All" buttons) counts as No, closing a Yes/No/Cancel box as Cancel. A front end that
    // offers no "to All" buttons answers a YesNoAll box Yes or No.
    virtual Answer ShowMessage(const std::string& text, Buttons buttons, Icon icon, const std::string& title) = 0;

    // Shows the busy (true) or the normal (false) mouse pointer.
    virtual void SetBusy(bool busy) = 0;

    // Sets the main window's caption.
    virtual void SetCaption(const std::string& caption) = 0;
};

}  // namespace sonivex
