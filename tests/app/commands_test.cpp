#include <gtest/gtest.h>

#include <filesystem>

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
    EXPECT_TRUE(f.mnuOpen.enabled && f.OpenButton.enabled && f.SaveButton.enabled);
    EXPECT_FALSE(f.mnuSave.enabled || f.mnuPlay.enabled || f.PlayButton.enabled || f.StopButton.enabled);
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
    EXPECT_EQ(request.filter, "MIDI files (*.mid)|*.mid|All files (*.*)|*.*");
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
    EXPECT_EQ(f.FileLoaded, 1);
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
    EXPECT_EQ(w.form().FileLoaded, 1);
    EXPECT_GT(w.form().Combo6.items.size(), 11u);
    EXPECT_FALSE(w.form().mnuPlay.enabled);
    EXPECT_EQ(w.device.commands, (std::vector<std::string>{"Close VAVidev1 notify"}));
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
    EXPECT_EQ(w.t.platform().messages.back(), target.string() + " could not be saved");
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
    FormModel& f = w.form();
    const auto enabled = [&f] {
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
    ShowEffectControls(f, 4);
    EXPECT_EQ(enabled(), "Option1 Option2 Text1 Text2 Combo7 ");
    ShowEffectControls(f, 9);
    EXPECT_EQ(enabled(), "");
    ShowEffectControls(f, 10);
    EXPECT_EQ(enabled(), "Text2 Combo7 Combo9 Check5 Check6 ");
    ShowEffectControls(f, 12);
    EXPECT_EQ(enabled(), "Text2 Combo7 Combo10 ");
    ShowEffectControls(f, 13);
    EXPECT_EQ(enabled(), "Text1 Text2 Combo7 Combo10 ");
    ShowEffectControls(f, 15);
    EXPECT_EQ(enabled(), "Option1 Option2 Text1 Text2 Combo7 ");
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

TEST(Routing, SendsMenusAndToolbarButtonsToTheirCommands) {
    Window w;
    w.Open(w.Song());
    MenuClick(*w.t, "mnuAbout");
    EXPECT_EQ(w.t.platform().aboutShown, 1);
    MenuClick(*w.t, "mnuExit");
    EXPECT_EQ(w.t.platform().windowClosed, 1);
    w.device.commands.clear();
    ToolbarClick(*w.t, "Play");
    MenuClick(*w.t, "mnuPause");
    ToolbarClick(*w.t, "Stop");
    ToolbarClick(*w.t, "");  // the separator
    EXPECT_EQ(w.device.commands,
              (std::vector<std::string>{"Set VAVidev1 time format frames", "Status VAVidev1 length",
                                        "Play VAVidev1 from 0 to 960 notify", "Pause VAVidev1 notify",
                                        "Stop VAVidev1 notify"}));
    const std::size_t dialogs = w.t.platform().dialogs.size();
    ToolbarClick(*w.t, "Open");
    MenuClick(*w.t, "mnuSave");
    EXPECT_EQ(w.t.platform().dialogs.size(), dialogs + 2);
}

TEST(Playback, KeepsPlayPauseAndStopInStepWithTheDevice) {
    Window w;
    w.Open(w.Song());
    FormModel& f = w.form();
    Play1(*w.t);
    EXPECT_TRUE(f.mnuPlay.enabled && f.mnuPause.enabled && f.mnuStop.enabled && f.PauseButton.enabled);
    EXPECT_EQ(w.t->media.Playing, -1);

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
    EXPECT_EQ(w.t->media.Playing, 0);
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
    EXPECT_EQ(w.t->media.Playing, 0);
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

}  // namespace
}  // namespace sonivex::test
