// The commands of the window's menus and toolbar, and the names the window gives their menu items and toolbar
// buttons. A toolbar button and the menu item of the same command run that one command.
#pragma once

namespace sonivex {

// One value per menu item that runs a command of the session; each has its row in kMenuCommandNames, in the
// same place.
enum class MenuCommand {
    Open, Save, SaveAs, ExportAudio, Exit, Undo, Redo, Transpose, Tempo, PianoRoll, Play, Pause, Stop, UserGuide, About
};

// A command with the object name of its menu item and the key of its toolbar button (null without a button).
struct MenuCommandName {
    MenuCommand command;
    const char* menuItem;
    const char* toolbarKey;
};

// Every command once, in the order of the enum.
inline constexpr MenuCommandName kMenuCommandNames[] = {
    {MenuCommand::Open, "mnuOpen", "Open"},
    {MenuCommand::Save, "mnuSave", "Save"},
    {MenuCommand::SaveAs, "mnuSaveAs", nullptr},
    {MenuCommand::ExportAudio, "mnuExportAudio", nullptr},
    {MenuCommand::Exit, "mnuExit", nullptr},
    {MenuCommand::Undo, "mnuUndo", "Undo"},
    {MenuCommand::Redo, "mnuRedo", "Redo"},
    {MenuCommand::Transpose, "mnuTranspose", nullptr},
    {MenuCommand::Tempo, "mnuTempo", nullptr},
    {MenuCommand::PianoRoll, "mnuPianoRoll", nullptr},
    {MenuCommand::Play, "mnuPlay", "Play"},
    {MenuCommand::Pause, "mnuPause", "Pause"},
    {MenuCommand::Stop, "mnuStop", "Stop"},
    {MenuCommand::UserGuide, "mnuUserGuide", nullptr},
    {MenuCommand::About, "mnuAbout", nullptr},
};

// The names of `command`.
constexpr const MenuCommandName& NamesOf(MenuCommand command) {
    return kMenuCommandNames[static_cast<int>(command)];
}

// A command is found at its own place in the table: a row added out of order does not compile.
constexpr bool EveryCommandInItsPlace() {
    int place = 0;
    for (const MenuCommandName& row : kMenuCommandNames) {
        if (static_cast<int>(row.command) != place++) return false;
    }
    return true;
}
static_assert(EveryCommandInItsPlace());

}  // namespace sonivex
