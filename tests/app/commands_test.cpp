#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "app/commands.h"
#include "support/fake_media.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

// A session after the window's load step, with a recording media back-end.
struct Window {
    TestSession t;
    FakeMedia device;
    Window() {
        t->media.Device = &device;
        FormLoad(*t);
        device.replies["Status VAVidev1 length"] = "960";
        device.replies["Status VAVidev1 position"] = "240";
    }
    FormModel& form() { return t->form; }
    Bytes Song() { return MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Add(Track().End()).Build(); }
    std::string Open(const Bytes& bytes, const std::string& name = "song.mid") {
        const std::string path = t.WriteSong(bytes, name).string();
        t.platform().Files({path});
        OpenCommand(*t);
        return path;
    }
};

TEST(Window, StartsWithTheControlsOfAFreshProgram) {
    Window w;
    FormModel& f = w.form();
    EXPECT_FALSE(f.Combo1.enabled);
    EXPECT_FALSE(f.Command1.enabled);
    EXPECT_TRUE(f.Check1.ticked);
    EXPECT_FALSE(f.Check2.ticked);
    EXPECT_TRUE(f.Combo8.enabled);
    EXPECT_TRUE(f.Check3.ticked && f.Check4.ticked && f.Check6.ticked && !f.Check5.ticked);
    EXPECT_TRUE(f.Option1.selected && !f.Option1.enabled);
    EXPECT_EQ(f.Text1.text, "2");
    EXPECT_EQ(f.Text2.text, "0");
    EXPECT_TRUE(f.mnuOpen.enabled && f.OpenButton.enabled);
    // Save is off in the menu and on the toolbar alike until an edit gives something to save.
    EXPECT_FALSE(f.mnuSave.enabled || f.SaveButton.enabled || f.mnuPlay.enabled || f.PlayButton.enabled ||
                 f.StopButton.enabled);
    EXPECT_FALSE(f.UnsavedChanges);
    EXPECT_EQ(f.PlayingPosition, "");
    EXPECT_TRUE(w.t.platform().hookInstalled);
    EXPECT_EQ(w.t->media.MediaWindow, 4242);
    EXPECT_TRUE(std::filesystem::is_directory(w.t.folder() / "logs"));
}

TEST(OpenCommand, FillsEveryListAndOpensTheFileForPlayback) {
    Window w;
    w.t.WriteDataFile("style1.dat", "Rock=1,2\r\nno name\r\n=3\r\n");
    w.t.WriteDataFile("effects1.dat", "Soft=2,0,0,1024,1024\r\n,1,2\r\nHard=2,0,0,1024,512\r\n");
    const std::string path = w.Open(w.Song());
    FormModel& f = w.form();
    const auto& request = w.t.platform().dialogs.at(0);
    EXPECT_EQ(request.title, "Load MIDI file");
    EXPECT_EQ(request.filter, "MIDI files (*.mid *.midi *.kar)|*.mid;*.midi;*.kar|All files (*.*)|*.*");
    EXPECT_FALSE(request.save);
    EXPECT_EQ(f.Combo1.items, (std::vector<std::string>{"Rock", ""}));
    ASSERT_EQ(f.Combo6.items.size(), 13u);
    EXPECT_EQ(f.Combo6.items[0], "Random");
    EXPECT_EQ(f.Combo6.items[10], "Effect#2");
    EXPECT_EQ(f.Combo6.items[11], "Soft");
    EXPECT_EQ(f.Combo6.items[12], "Hard");
    EXPECT_EQ(f.Combo7.items.size(), 13u);
    EXPECT_EQ(f.Combo7.items[1], "c");
    EXPECT_EQ(f.Combo9.items.size(), 24u);
    EXPECT_EQ(f.Combo9.items[0], "A");
    EXPECT_EQ(f.Combo10.items.size(), 12u);
    EXPECT_EQ(f.Combo2.items, (std::vector<std::string>{"All", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    EXPECT_EQ(f.Combo4.items, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(f.Combo8.items, (std::vector<std::string>{"All", "1", "2"}));
    EXPECT_EQ(f.Combo4.listIndex, 0);
    EXPECT_EQ(f.Combo8.listIndex, 0);
    EXPECT_TRUE(f.FileLoaded);
    EXPECT_TRUE(f.Combo1.enabled && f.Combo2.enabled && f.Combo4.enabled && f.Command2.enabled && f.Command3.enabled);
    EXPECT_TRUE(f.Combo6.enabled);
    EXPECT_FALSE(f.Combo7.enabled || f.Text1.enabled || f.Command1.enabled || f.Command4.enabled);
    EXPECT_TRUE(f.mnuPlay.enabled && f.PlayButton.enabled);
    EXPECT_FALSE(f.mnuPause.enabled || f.mnuStop.enabled || f.mnuSave.enabled);
    EXPECT_NE(f.RichTextBox1.find("Total Tracks: 2"), std::string::npos);
    EXPECT_EQ(w.device.commands.front(), "Close VAVidev1 notify");
    EXPECT_EQ(w.device.commands[1], "Open " + path + " type MPEGVideo Alias VAVidev1 parent 4242 Style 1073741824 notify");
    EXPECT_EQ(w.device.commands[2], "Put VAVidev1 window at 0 0 25 17 notify");
    EXPECT_FALSE(w.t.platform().busy());
}

TEST(OpenCommand, DoesNothingWhenTheDialogIsCancelled) {
    Window w;
    w.Open(w.Song());
    const std::string report = w.form().RichTextBox1;
    w.device.commands.clear();
    OpenCommand(*w.t);  // no file: cancelled
    EXPECT_EQ(w.t->song.SourcePath, "");
    EXPECT_EQ(w.form().RichTextBox1, report);
    EXPECT_TRUE(w.device.commands.empty());
}

TEST(OpenCommand, NamesAMissingFileOrDataFileAndChangesNothing) {
    Window w;
    w.t.platform().Files({"/nowhere/x.mid"});
    OpenCommand(*w.t);
    EXPECT_EQ(w.t.platform().messages, (std::vector<std::string>{"/nowhere/x.mid does not exist"}));
    EXPECT_TRUE(w.device.commands.empty());

    for (const char* name : {"style1.dat", "effects1.dat"}) {
        Window v;
        std::filesystem::remove(v.t.folder() / name);
        v.Open(v.Song());
        EXPECT_EQ(v.t.platform().messages, (std::vector<std::string>{std::string(name) + " does not exist"}));
        EXPECT_TRUE(v.device.commands.empty());
        EXPECT_TRUE(v.form().Combo7.items.empty());
        EXPECT_EQ(v.t->song.SourcePath, "");
    }
}

TEST(OpenCommand, ShowsErrorWhenTheLoadRejectsTheFile) {
    Window w;
    w.Open({'n', 'o', 'p', 'e'}, "bad.mid");
    EXPECT_EQ(w.t.platform().messages, (std::vector<std::string>{"BAD.MID is not a MID file", "Error!"}));
    // Refused while loaded aside: the window is as it was before the Open.
    EXPECT_FALSE(w.form().FileLoaded);
    EXPECT_TRUE(w.form().Combo6.items.empty());
    EXPECT_FALSE(w.form().mnuPlay.enabled);
    EXPECT_TRUE(w.device.commands.empty());
    EXPECT_EQ(w.t->song.SourcePath, "");
}

TEST(SaveCommand, CopiesTheWorkingCopyAfterAskingBeforeOverwriting) {
    Window w;
    const Bytes song = w.Song();
    w.Open(song);
    const auto target = w.t.folder().parent_path() / "songs" / "copy.mid";
    w.t.platform().Files({target.string(), target.string(), target.string()});
    SaveCommand(*w.t);
    EXPECT_EQ(TestSession::ReadBytes(target), song);
    EXPECT_EQ(w.t.platform().dialogs.back().title, "Save MIDI file");
    EXPECT_TRUE(w.t.platform().dialogs.back().save);

    w.t.WriteSong({9}, "copy.mid");
    w.t.platform().Answers({Answer::No, Answer::Yes});
    SaveCommand(*w.t);
    EXPECT_EQ(w.t.platform().messages.back(), "? " + target.string() + " already exists, overwrite?");
    EXPECT_EQ(w.t.platform().titles.back(), "Confirmation");
    EXPECT_EQ(TestSession::ReadBytes(target), Bytes{9});
    SaveCommand(*w.t);
    EXPECT_EQ(TestSession::ReadBytes(target), song);
}

TEST(SaveCommand, KeepsAnExistingFileWhenTheCopyFails) {
    Window w;
    w.Open(w.Song());
    std::filesystem::remove(w.t.folder() / "sonivex-temp.tmp");
    const auto target = w.t.WriteSong({9}, "keep.mid");
    w.t.platform().Files({target.string()});
    w.t.platform().Answers({Answer::Yes});
    SaveCommand(*w.t);
    EXPECT_EQ(w.t.platform().messages.back(), target.string() + " could not be saved: No such file or directory");
    EXPECT_EQ(TestSession::ReadBytes(target), Bytes{9});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(target.parent_path()), {}), 2);
}

TEST(SaveCommand, OnlyDisablesSaveBeforeAValidFile) {
    Window w;
    SaveCommand(*w.t);
    EXPECT_FALSE(w.form().mnuSave.enabled);
    EXPECT_FALSE(w.form().SaveButton.enabled);
    EXPECT_TRUE(w.t.platform().dialogs.empty());
}

TEST(CheckBoxes, KeepOneOfEachPairTicked) {
    Window w;
    FormModel& f = w.form();
    f.Check1.ticked = false;  // the click unticked Melody while Drum is unticked
    Check1_Click(f);
    EXPECT_TRUE(f.Check1.ticked);
    f.Check4.ticked = false;
    Check4_Click(f);
    EXPECT_FALSE(f.Check4.ticked);  // Melody is still ticked
    f.Check3.ticked = false;
    Check3_Click(f);
    EXPECT_TRUE(f.Check3.ticked);

    f.Check5.ticked = true;  // Bass clicked while Treble is ticked
    Check5_Click(f);
    EXPECT_TRUE(f.Check5.ticked);
    EXPECT_FALSE(f.Check6.ticked);
    f.Check5.ticked = false;  // Bass clicked again
    Check5_Click(f);
    EXPECT_TRUE(f.Check5.ticked);
    EXPECT_FALSE(f.Check6.ticked);
}

TEST(EffectList, EnablesTheParametersEachEffectNeeds) {
    Window w;
    w.t.WriteDataFile("effects1.dat", "Soft=2,0,0,1024,1024\r\nHard=2,0,0,1024,512\r\n");
    w.Open(w.Song());
    FormModel& f = w.form();
    const auto enabledFor = [&f, &w](int listIndex) {
        f.Combo6.listIndex = listIndex;
        Combo6_Click(*w.t);
        std::string on;
        const std::pair<const char*, const Control*> controls[] = {
            {"Option1 ", &f.Option1}, {"Option2 ", &f.Option2}, {"Text1 ", &f.Text1},   {"Text2 ", &f.Text2},
            {"Combo7 ", &f.Combo7},   {"Combo9 ", &f.Combo9},   {"Combo10 ", &f.Combo10}, {"Check5 ", &f.Check5},
            {"Check6 ", &f.Check6}};
        for (const auto& [name, control] : controls) {
            if (control->enabled) on += name;
        }
        return on;
    };
    const std::string valueEffect = "Option1 Option2 Text1 Text2 Combo7 ";
    // Random, the gradual and the fixed changes: Note / Volume, Step/Factor and the one key or velocity.
    for (int listIndex = 0; listIndex <= 4; ++listIndex) EXPECT_EQ(enabledFor(listIndex), valueEffect) << listIndex;
    EXPECT_EQ(enabledFor(5), "");  // Remove Flats
    EXPECT_EQ(enabledFor(6), "Text2 Combo7 Combo9 Check5 Check6 ");
    EXPECT_EQ(enabledFor(7), "Text2 Combo7 Combo10 ");
    EXPECT_EQ(enabledFor(8), "Text2 Combo7 Combo10 ");
    // Effect#1 and Effect#2 offer Step/Factor too; choosing another effect afterwards disables it again.
    EXPECT_EQ(enabledFor(9), "Text1 Text2 Combo7 Combo10 ");
    EXPECT_EQ(enabledFor(10), "Text1 Text2 Combo7 Combo10 ");
    EXPECT_EQ(enabledFor(7), "Text2 Combo7 Combo10 ");
    // Every entry of effects1.dat is a curve.
    EXPECT_EQ(enabledFor(11), valueEffect);
    EXPECT_EQ(enabledFor(12), valueEffect);
}

TEST(EffectList, EnablesApplyOnlyOnceTheListsAreFilled) {
    Window w;
    w.form().Combo6.listIndex = 5;
    Combo6_Click(*w.t);
    Combo1_Click(*w.t);
    EXPECT_FALSE(w.form().Command4.enabled || w.form().Command1.enabled);
    w.Open(w.Song());
    w.form().Combo6.listIndex = 5;  // "Remove Flats"
    Combo6_Click(*w.t);
    EXPECT_TRUE(w.form().Command4.enabled);
    EXPECT_FALSE(w.form().Option1.enabled);
    Combo1_Click(*w.t);
    EXPECT_TRUE(w.form().Command1.enabled);
}

TEST(Routing, SendsEveryMenuItemToItsCommand) {
    Window w;
    w.Open(w.Song());
    MenuClick(*w.t, MenuCommand::About);
    EXPECT_EQ(w.t.platform().aboutShown, 1);
    MenuClick(*w.t, MenuCommand::PianoRoll);
    EXPECT_EQ(w.t.platform().pianoRollShown, 1);
    EXPECT_EQ(w.t.platform().aboutShown, 1);
    MenuClick(*w.t, MenuCommand::Exit);
    EXPECT_EQ(w.t.platform().windowClosed, 1);
    w.device.commands.clear();
    MenuClick(*w.t, MenuCommand::Play);
    MenuClick(*w.t, MenuCommand::Pause);
    MenuClick(*w.t, MenuCommand::Stop);
    EXPECT_EQ(w.device.commands,
              (std::vector<std::string>{"Set VAVidev1 time format frames", "Status VAVidev1 length",
                                        "Play VAVidev1 from 0 to 960 notify", "Pause VAVidev1 notify",
                                        "Stop VAVidev1 notify"}));
    const std::size_t dialogs = w.t.platform().dialogs.size();
    MenuClick(*w.t, MenuCommand::Open);
    MenuClick(*w.t, MenuCommand::Save);
    EXPECT_EQ(w.t.platform().dialogs.size(), dialogs + 2);
}

TEST(Routing, NamesEveryMenuItemAndToolbarButtonOnce) {
    std::set<std::string> names;
    for (const MenuCommandName& row : kMenuCommandNames) {
        EXPECT_TRUE(names.insert(row.menuItem).second) << row.menuItem;
        if (row.toolbarKey != nullptr) {
            EXPECT_TRUE(names.insert(row.toolbarKey).second) << row.toolbarKey;
        }
    }
    EXPECT_EQ(names.size(), 22u);  // fifteen menu items, seven toolbar buttons
}

TEST(Playback, KeepsPlayPauseAndStopInStepWithTheDevice) {
    Window w;
    w.Open(w.Song());
    FormModel& f = w.form();
    Play1(*w.t);
    EXPECT_TRUE(f.mnuPlay.enabled && f.mnuPause.enabled && f.mnuStop.enabled && f.PauseButton.enabled);
    EXPECT_TRUE(w.t->media.Playing);

    Pause1(*w.t);
    EXPECT_TRUE(f.Paused);
    EXPECT_TRUE(f.mnuPlay.enabled);
    EXPECT_FALSE(f.mnuPause.enabled || f.mnuStop.enabled);
    w.device.commands.clear();
    Play1(*w.t);  // resumes where it paused
    EXPECT_FALSE(f.Paused);
    EXPECT_EQ(w.device.commands,
              (std::vector<std::string>{"Status VAVidev1 position", "Set VAVidev1 time format frames",
                                        "Status VAVidev1 length", "Play VAVidev1 from 240 to 960 notify"}));

    Stop1(*w.t);
    EXPECT_FALSE(w.t->media.Playing);
    EXPECT_TRUE(f.mnuPlay.enabled);
    EXPECT_FALSE(f.mnuPause.enabled || f.mnuStop.enabled);
}

TEST(Playback, NoticesTheEndOfPlaybackWithoutChangingTheLastCommand) {
    Window w;
    w.Open(w.Song());
    Play1(*w.t);
    w.device.replies["Status VAVidev1 mode"] = "playing";
    Timer1_Timer(*w.t);
    EXPECT_TRUE(w.form().mnuStop.enabled);
    const std::string last = w.t->media.LastMediaCommand;
    w.device.replies["Status VAVidev1 mode"] = std::string("stopped") + '\0' + "rest";
    Timer1_Timer(*w.t);
    EXPECT_FALSE(w.t->media.Playing);
    EXPECT_FALSE(w.form().mnuStop.enabled || w.form().mnuPause.enabled);
    EXPECT_TRUE(w.form().mnuPlay.enabled);
    EXPECT_EQ(w.t->media.LastMediaCommand, last);
    const std::size_t sent = w.device.commands.size();
    Timer1_Timer(*w.t);  // nothing plays: no query
    EXPECT_EQ(w.device.commands.size(), sent);
}

TEST(Shutdown, ClosesTheDeviceAndDeletesTheWorkingFiles) {
    Window w;
    w.Open(w.Song());
    End1(*w.t);
    EXPECT_EQ(w.t.platform().aboutUnloaded, 1);
    EXPECT_EQ(w.device.commands.back(), "Close VAVidev1 notify");
    EXPECT_FALSE(w.t.platform().hookInstalled);
    EXPECT_FALSE(std::filesystem::exists(w.t.folder() / "sonivex-temp.tmp"));

    Window fresh;  // nothing opened: nothing to delete, the close fails silently
    fresh.device.failures["Close"] = 263;
    End1(*fresh.t);
    EXPECT_TRUE(fresh.t.platform().messages.empty());
}

// A window with a song open and changed by Drum<>Melody on its first track.
struct ChangedSong : Window {
    std::string path;
    ChangedSong() {
        path = Open(Song());
        form().Combo4.listIndex = 0;
        CommandClick(*t, CommandButton::SwitchDrumMelody);
    }
    std::vector<Buttons>& buttons() { return t.platform().buttons; }
    std::vector<std::string>& messages() { return t.platform().messages; }
};

TEST(UnsavedChanges, AreNotedOnlyWhenAnEditingCommandChangedTheSong) {
    Window w;
    w.Open(w.Song());
    EXPECT_FALSE(w.form().UnsavedChanges);
    CommandClick(*w.t, CommandButton::ApplyStyle);  // no style chosen: the command changes nothing
    EXPECT_FALSE(w.form().UnsavedChanges);
    w.form().Combo4.listIndex = 1;  // the second track holds no notes
    CommandClick(*w.t, CommandButton::SwitchDrumMelody);
    EXPECT_EQ(w.t.platform().messages.back(), "No notes in track!");
    EXPECT_FALSE(w.form().UnsavedChanges);
    w.form().Combo4.listIndex = 0;
    CommandClick(*w.t, CommandButton::SwitchDrumMelody);
    EXPECT_TRUE(w.form().UnsavedChanges);
}

TEST(UnsavedChanges, ExitAsksNothingWhenNothingChanged) {
    Window w;
    w.Open(w.Song());
    MenuClick(*w.t, MenuCommand::Exit);
    EXPECT_EQ(w.t.platform().windowClosed, 1);
    EXPECT_TRUE(w.t.platform().messages.empty());
    EXPECT_TRUE(QueryUnload(*w.t));  // the close box
    EXPECT_TRUE(w.t.platform().messages.empty());
}

TEST(UnsavedChanges, ExitAsksWithYesNoAndCancelAndCancelKeepsTheWindow) {
    ChangedSong w;
    w.messages().clear();
    w.buttons().clear();
    w.t.platform().Answers({Answer::Cancel});
    MenuClick(*w.t, MenuCommand::Exit);
    EXPECT_EQ(w.messages(), (std::vector<std::string>{"? Save changes to SONG.MID?"}));
    EXPECT_EQ(w.buttons(), (std::vector<Buttons>{Buttons::YesNoCancel}));
    EXPECT_EQ(w.t.platform().titles.back(), "Sonivex");
    EXPECT_EQ(w.t.platform().windowClosed, 0);
    EXPECT_TRUE(w.form().UnsavedChanges);
    EXPECT_TRUE(std::filesystem::exists(w.t.folder() / "sonivex-temp.tmp"));

    // The close box asks the same question.
    w.t.platform().Answers({Answer::Cancel});
    EXPECT_FALSE(QueryUnload(*w.t));
    EXPECT_EQ(w.messages().size(), 2u);
}

TEST(UnsavedChanges, NoClosesWithoutSavingAndTheCloseThatFollowsAsksNoMore) {
    ChangedSong w;
    const std::size_t dialogs = w.t.platform().dialogs.size();
    w.t.platform().Answers({Answer::No});
    MenuClick(*w.t, MenuCommand::Exit);
    EXPECT_EQ(w.t.platform().windowClosed, 1);
    EXPECT_EQ(w.t.platform().dialogs.size(), dialogs);  // no save dialog
    EXPECT_TRUE(QueryUnload(*w.t));                    // the window's own close after Exit
    EXPECT_EQ(w.messages().back(), "? Save changes to SONG.MID?");
    EXPECT_EQ(std::count(w.messages().begin(), w.messages().end(), "? Save changes to SONG.MID?"), 1);
}

TEST(UnsavedChanges, YesSavesAndClosesOnlyWhenTheSaveSucceeded) {
    ChangedSong w;
    const Bytes edited = TestSession::ReadBytes(w.t.folder() / "sonivex-temp.tmp");
    ASSERT_NE(edited, w.Song());

    // Yes, then the save dialog is cancelled: nothing was saved, so the window stays.
    w.t.platform().Answers({Answer::Yes});
    MenuClick(*w.t, MenuCommand::Exit);
    EXPECT_EQ(w.t.platform().windowClosed, 0);
    EXPECT_TRUE(w.form().UnsavedChanges);

    // Yes, then a name: saved, and closed.
    const auto target = std::filesystem::path(w.path).parent_path() / "edited.mid";
    w.t.platform().Answers({Answer::Yes});
    w.t.platform().Files({target.string()});
    MenuClick(*w.t, MenuCommand::Exit);
    EXPECT_EQ(TestSession::ReadBytes(target), edited);
    EXPECT_EQ(w.t.platform().windowClosed, 1);
    EXPECT_FALSE(w.form().UnsavedChanges);
}

TEST(UnsavedChanges, YesKeepsTheWindowWhenTheFileCannotBeWritten) {
    ChangedSong w;
    w.t.platform().Answers({Answer::Yes});
    w.t.platform().Files({"/nowhere/at/all/edited.mid"});
    MenuClick(*w.t, MenuCommand::Exit);
    EXPECT_EQ(w.messages().back(), "/nowhere/at/all/edited.mid could not be saved: No such file or directory");
    EXPECT_EQ(w.t.platform().windowClosed, 0);
    EXPECT_TRUE(w.form().UnsavedChanges);
}

TEST(UnsavedChanges, ASuccessfulSaveClearsThemAndAFailedOneDoesNot) {
    ChangedSong w;
    w.t.platform().Files({"/nowhere/at/all/edited.mid"});
    EXPECT_EQ(SaveCommand(*w.t), SaveOutcome::Failed);
    EXPECT_TRUE(w.form().UnsavedChanges);
    const auto target = std::filesystem::path(w.path).parent_path() / "saved.mid";
    w.t.platform().Files({target.string()});
    EXPECT_EQ(SaveCommand(*w.t), SaveOutcome::Saved);
    EXPECT_FALSE(w.form().UnsavedChanges);
    w.messages().clear();
    MenuClick(*w.t, MenuCommand::Exit);
    EXPECT_TRUE(w.messages().empty());
    EXPECT_EQ(w.t.platform().windowClosed, 1);
}

// Regression: the menu's Undo noted a change after Undo had cleared it, so the song as opened still asked.
TEST(UnsavedChanges, TheMenusUndoBackToTheSongAsOpenedLeavesNothingToSave) {
    ChangedSong w;
    ASSERT_TRUE(w.form().UnsavedChanges);
    MenuClick(*w.t, MenuCommand::Undo);
    EXPECT_FALSE(w.form().UnsavedChanges);
    MenuClick(*w.t, MenuCommand::Redo);
    EXPECT_TRUE(w.form().UnsavedChanges);
}

TEST(UnsavedChanges, AnUndoAfterASaveIsAChangeToSave) {
    ChangedSong w;
    w.t.platform().Files({(std::filesystem::path(w.path).parent_path() / "saved.mid").string()});
    ASSERT_EQ(SaveCommand(*w.t), SaveOutcome::Saved);
    MenuClick(*w.t, MenuCommand::Undo);
    EXPECT_EQ(TestSession::ReadBytes(w.t.folder() / "sonivex-temp.tmp"), w.Song());
    EXPECT_TRUE(w.form().UnsavedChanges);
}

TEST(UnsavedChanges, OpenAsksFirstAndCancelKeepsTheSongAsItWas) {
    ChangedSong w;
    const std::string report = w.form().RichTextBox1;
    const std::string other = w.t.WriteSong(w.Song(), "other.mid").string();
    const std::size_t dialogs = w.t.platform().dialogs.size();
    w.t.platform().Answers({Answer::Cancel});
    w.t.platform().Files({other});
    EXPECT_EQ(OpenCommand(*w.t), OpenOutcome::Cancelled);
    EXPECT_EQ(w.messages().back(), "? Save changes to SONG.MID?");
    EXPECT_EQ(w.t.platform().dialogs.size(), dialogs);  // the open dialog was not shown
    EXPECT_EQ(w.form().RichTextBox1, report);
    EXPECT_EQ(w.form().SongPath, w.path);
    EXPECT_TRUE(w.form().UnsavedChanges);

    // No: the other song is opened, and it has no changes of its own.
    w.t.platform().Answers({Answer::No});
    EXPECT_EQ(OpenCommand(*w.t), OpenOutcome::Reported);
    EXPECT_EQ(w.form().SongPath, other);
    EXPECT_FALSE(w.form().UnsavedChanges);
    w.messages().clear();
    w.t.platform().Files({w.path});
    OpenCommand(*w.t);
    EXPECT_TRUE(w.messages().empty());
}

TEST(FileDialogs, OpenStartsAtHomeAndThenInTheFolderOfTheLastSongOpened) {
    Window w;
    w.t.platform().Files({""});
    OpenCommand(*w.t);
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        EXPECT_EQ(w.t.platform().dialogs.back().initialFolder, home);
    }
    const std::string path = w.Open(w.Song(), "first.mid");
    w.t.platform().Files({""});
    OpenCommand(*w.t);
    EXPECT_EQ(w.t.platform().dialogs.back().initialFolder, std::filesystem::path(path).parent_path().string());
    EXPECT_EQ(w.t.platform().dialogs.back().initialName, "");
}

TEST(FileDialogs, SaveStartsInTheSongsFolderWithItsName) {
    ChangedSong w;
    w.t.WriteSong(w.Song(), "My Song.mid");
    const std::string path = (std::filesystem::path(w.path).parent_path() / "My Song.mid").string();
    w.t.platform().Answers({Answer::No});
    w.t.platform().Files({path});
    OpenCommand(*w.t);
    w.t.platform().Files({""});
    SaveCommand(*w.t);
    const FileDialogRequest& request = w.t.platform().dialogs.back();
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.initialFolder, std::filesystem::path(path).parent_path().string());
    EXPECT_EQ(request.initialName, "My Song.mid");
    EXPECT_EQ(request.filter, "MIDI files (*.mid *.midi *.kar)|*.mid;*.midi;*.kar|All files (*.*)|*.*");
}

TEST(FileDialogs, ANameWithoutAnExtensionIsSavedWithMid) {
    EXPECT_EQ(WithDefaultExtension("/songs/tune", ".mid"), "/songs/tune.mid");
    EXPECT_EQ(WithDefaultExtension("/songs/tune.midi", ".mid"), "/songs/tune.midi");
    EXPECT_EQ(WithDefaultExtension("/songs/tune.kar", ".mid"), "/songs/tune.kar");
    EXPECT_EQ(WithDefaultExtension("/songs.d/tune", ".mid"), "/songs.d/tune.mid");  // a dot in the folder does not count
    EXPECT_EQ(WithDefaultExtension("/songs/", ".mid"), "/songs/");

    // The save dialog is asked to add it; a path given as it stands (sonivex-cli's --save) is used as it is.
    ChangedSong w;
    const auto folder = std::filesystem::path(w.path).parent_path();
    w.t.platform().Files({(folder / "tune").string()});
    EXPECT_EQ(SaveCommand(*w.t), SaveOutcome::Saved);
    EXPECT_EQ(w.t.platform().dialogs.back().defaultExtension, ".mid");
    EXPECT_TRUE(std::filesystem::exists(folder / "tune"));
}

TEST(OpenCommand, ARefusedFileKeepsTheSongThatWasOpenWithItsChanges) {
    ChangedSong w;
    const std::string report = w.form().RichTextBox1;
    const std::string source = w.t->song.SourcePath;
    ASSERT_NE(report, "");
    w.t.platform().Answers({Answer::No});
    w.Open({'n', 'o', 'p', 'e'}, "bad.mid");
    FormModel& f = w.form();
    EXPECT_EQ(w.messages().back(), "Error!");
    EXPECT_EQ(w.t->Caption, "Sonivex - SONG.MID");
    EXPECT_EQ(f.RichTextBox1, report);
    for (const Control* c : {&f.mnuPlay, &f.PlayButton, &f.mnuSave, &f.SaveButton, &f.mnuSaveAs, &f.Command2,
                             &f.Command3, &f.mnuUndo}) {
        EXPECT_TRUE(c->enabled);
    }
    EXPECT_TRUE(f.UnsavedChanges);
    EXPECT_EQ(f.SongPath, source);
    EXPECT_EQ(w.t->song.SourcePath, source);
    EXPECT_TRUE(w.t->history.CanUndo());
}

TEST(Playback, SpacePausesWhilePlayingAndPlaysOtherwise) {
    Window w;
    PlayPauseKey(*w.t);  // nothing to play yet
    EXPECT_TRUE(w.device.commands.empty());
    w.Open(w.Song());
    w.device.commands.clear();
    PlayPauseKey(*w.t);
    EXPECT_EQ(w.device.commands.back(), "Play VAVidev1 from 0 to 960 notify");
    PlayPauseKey(*w.t);
    EXPECT_EQ(w.device.commands.back(), "Pause VAVidev1 notify");
    EXPECT_TRUE(w.form().Paused);
    PlayPauseKey(*w.t);
    EXPECT_EQ(w.device.commands.back(), "Play VAVidev1 from 240 to 960 notify");
    EXPECT_FALSE(w.form().Paused);
}

TEST(Playback, ThePositionShowsAsPlayingTimesThatFollowTheTempo) {
    EXPECT_EQ(MinutesAndSeconds(0), "0:00");
    EXPECT_EQ(MinutesAndSeconds(12.4), "0:12");
    EXPECT_EQ(MinutesAndSeconds(16.5), "0:17");
    EXPECT_EQ(MinutesAndSeconds(74), "1:14");
    EXPECT_EQ(MinutesAndSeconds(3600 + 61), "61:01");
    EXPECT_EQ(MinutesAndSeconds(-3), "0:00");
    EXPECT_EQ(MinutesAndSeconds(std::nan("")), "0:00");
    EXPECT_EQ(MinutesAndSeconds(1e300), MinutesAndSeconds(86400.0 * 366));

    Window w;
    ShowPlayingPosition(*w.t);
    EXPECT_EQ(w.form().PlayingPosition, "");  // no song
    EXPECT_TRUE(w.device.commands.empty());
    // One second a quarter note for the first 480 ticks (96 to the quarter), then a quarter second.
    const Bytes song = MidiFile()
                           .Add(Track().Tempo(0, 1000000).Tempo(480, 250000).End(480))
                           .Add(Track().NoteOn(0, 0, 60, 100).NoteOff(960, 0, 60).End())
                           .Build();
    w.Open(song);
    w.device.replies["Status VAVidev1 length"] = "960";
    w.device.replies["Status VAVidev1 position"] = "600";
    const std::string last = w.t->media.LastMediaCommand;
    ShowPlayingPosition(*w.t);
    EXPECT_EQ(w.form().PlayingPosition, "0:05 / 0:06");  // 5 s + 1.25 quarter seconds; 5 s + 5 quarter seconds
    w.device.replies["Status VAVidev1 position"] = "840";  // 5 s + 3.75 quarter seconds: 5.94 s, rounded up
    ShowPlayingPosition(*w.t);
    EXPECT_EQ(w.form().PlayingPosition, "0:06 / 0:06");
    EXPECT_EQ(w.t->media.LastMediaCommand, last);
    w.device.replies["Status VAVidev1 position"] = "nonsense";
    ShowPlayingPosition(*w.t);
    EXPECT_EQ(w.form().PlayingPosition, "");
    w.device.replies["Status VAVidev1 position"] = "0";
    w.device.failures["Status VAVidev1 length"] = 263;
    ShowPlayingPosition(*w.t);
    EXPECT_EQ(w.form().PlayingPosition, "");
}

TEST(Playback, ThePositionFollowsAnEditThatChangedTheTempo) {
    Window w;
    const Bytes song = MidiFile().Add(Track().Tempo(0, 1000000).NoteOn(0, 0, 60, 100).NoteOff(960, 0, 60).End()).Build();
    w.Open(song);
    w.device.replies["Status VAVidev1 length"] = "960";
    w.device.replies["Status VAVidev1 position"] = "960";
    ShowPlayingPosition(*w.t);
    EXPECT_EQ(w.form().PlayingPosition, "0:10 / 0:10");
    // The working copy changes under the clock (as an edit or Undo would change it): the times follow.
    const Bytes faster =
        MidiFile().Add(Track().Name(0, "fast").Tempo(0, 500000).NoteOn(0, 0, 60, 100).NoteOff(960, 0, 60).End()).Build();
    std::filesystem::remove(w.t.folder() / "sonivex-temp.tmp");
    {
        std::ofstream out(w.t.folder() / "sonivex-temp.tmp", std::ios::binary);
        out.write(reinterpret_cast<const char*>(faster.data()), static_cast<std::streamsize>(faster.size()));
    }
    ShowPlayingPosition(*w.t);
    EXPECT_EQ(w.form().PlayingPosition, "0:05 / 0:05");
}

}  // namespace
}  // namespace sonivex::test

namespace sonivex::test {
namespace {

TEST(Transport, ASeekWhilePlayingOrPausedMovesTheDevicesPositionClampedToTheSong) {
    Window w;
    w.Open(w.Song());
    w.device.replies["Status VAVidev1 length"] = "960";
    SeekCommand(*w.t, 300);  // stopped: only remembered for the next Play
    Play1(*w.t);
    EXPECT_EQ(w.device.commands.back(), "Play VAVidev1 from 300 to 960 notify");
    SeekCommand(*w.t, 480);
    SeekCommand(*w.t, 5000);
    SeekCommand(*w.t, -7);
    std::vector<std::string> seeks;
    for (const std::string& command : w.device.commands) {
        if (command.rfind("Seek ", 0) == 0) seeks.push_back(command);
    }
    EXPECT_EQ(seeks, (std::vector<std::string>{"Seek VAVidev1 to 480", "Seek VAVidev1 to 960", "Seek VAVidev1 to 0"}));

    // Paused, a seek moves the place that Play resumes from.
    Pause1(*w.t);
    SeekCommand(*w.t, 720);
    EXPECT_NE(std::find(w.device.commands.begin(), w.device.commands.end(), "Seek VAVidev1 to 720"),
              w.device.commands.end());
    EXPECT_TRUE(w.form().Paused);
    w.device.replies["Status VAVidev1 position"] = "720";
    Play1(*w.t);
    EXPECT_EQ(w.device.commands.back(), "Play VAVidev1 from 720 to 960 notify");
}

TEST(Transport, StopShowsTheStartAndTheNextPlayStartsThere) {
    Window w;
    const Bytes song = MidiFile().Add(Track().Tempo(0, 1000000).NoteOn(0, 0, 60, 100).NoteOff(960, 0, 60).End()).Build();
    w.Open(song);
    w.device.replies["Status VAVidev1 length"] = "960";
    w.device.replies["Status VAVidev1 position"] = "480";
    Play1(*w.t);
    ShowPlayingPosition(*w.t);
    EXPECT_EQ(w.form().PlayingPosition, "0:05 / 0:10");
    EXPECT_EQ(w.form().PositionTicks, 480u);
    EXPECT_EQ(w.form().LengthTicks, 960u);
    Pause1(*w.t);
    Stop1(*w.t);
    EXPECT_FALSE(w.form().Paused);
    ShowPlayingPosition(*w.t);  // the device still stands where it stopped
    EXPECT_EQ(w.form().PlayingPosition, "0:00 / 0:10");
    EXPECT_EQ(w.form().PositionTicks, 0u);
    Play1(*w.t);
    EXPECT_EQ(w.device.commands.back(), "Play VAVidev1 from 0 to 960 notify");

    // A seek while stopped shows its place and the next Play starts there; once playing, the device's
    // position counts again.
    Stop1(*w.t);
    SeekCommand(*w.t, 288);
    EXPECT_EQ(w.form().PlayingPosition, "0:03 / 0:10");
    Play1(*w.t);
    EXPECT_EQ(w.device.commands.back(), "Play VAVidev1 from 288 to 960 notify");
    ShowPlayingPosition(*w.t);
    EXPECT_EQ(w.form().PlayingPosition, "0:05 / 0:10");
}

TEST(Transport, ASeekWithoutASongOrAnAnsweringDeviceDoesNothing) {
    Window w;
    SeekCommand(*w.t, 100);
    EXPECT_TRUE(w.device.commands.empty());
    w.Open(w.Song());
    Play1(*w.t);
    const std::size_t sent = w.device.commands.size();
    w.device.failures["Status VAVidev1 length"] = 263;
    SeekCommand(*w.t, 100);
    EXPECT_EQ(w.device.commands.size(), sent + 1);  // the length asked for, nothing sought
}

}  // namespace
}  // namespace sonivex::test
