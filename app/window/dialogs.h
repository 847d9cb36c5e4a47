// The window's message boxes and file dialogs, built from what the commands ask of the platform.
#pragma once

#include <QString>
#include <string>

#include "app/app_platform.h"

class QWidget;

namespace sonivex {

// A filter in the commands' form, "Description|patterns|Description|patterns" (patterns separated by ";"),
// in Qt's form "Description (patterns);;...". A pattern "*.*" means every file and becomes "*", which also
// matches names without a dot.
QString QtFileFilter(const std::string& filter);

// Shows a modal message box over `parent`: the text, the buttons (OK; Yes and No; Yes, No and Cancel; or Yes,
// No, Yes to All and No to All), the icon and the title ("Sonivex" when the title is empty). Returns the button
// pressed; closing a box with No counts as No, closing a Yes/No/Cancel box as Cancel.
Answer RunMessageBox(QWidget* parent, const std::string& text, Buttons buttons, Icon icon, const std::string& title);

// Shows an open or a save dialog with the request's title, filter, folder and name. The dialog neither asks
// for the file to exist nor asks before overwriting: the commands do their own checks. Returns the chosen path,
// or "" when the user cancels.
std::string RunFileDialog(QWidget* parent, const FileDialogRequest& request);

}  // namespace sonivex
