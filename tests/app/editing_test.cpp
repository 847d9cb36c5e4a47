#include <gtest/gtest.h>

#include "app/commands.h"
#include "app/editing.h"
#include "app/undo_redo.h"
#include "reader/load.h"
#include "report/report.h"
#include "support/fake_media.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

// An editing command that does what the test tells it and notes each step.
class ScriptedCommand : public EditingCommand {
public:
    explicit ScriptedCommand(bool accept) : accept_(accept) {}
    bool Prepare(EditSession&) override {
        steps.push_back("prepare");
        return accept_;
    }
    void Apply(EditSession& s) override {
        steps.push_back("apply");
        s.report.PaneText = "the report after the edit";
    }
    std::vector<std::string> steps;

private:
    bool accept_;
};

// A window with a song open and a media device that records its commands.
struct OpenSong {
    TestSession t;
    FakeMedia device;
    OpenSong() {
        t->media.Device = &device;
        FormLoad(*t);
        t.platform().Files({t.WriteSong(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build()).string()});
        OpenCommand(*t);
        device.commands.clear();
    }
};

TEST(EditingFrame, LeavesPlaybackThePaneAndSaveAloneWhenTheCommandRefuses) {
    OpenSong w;
    const std::string pane = w.t->form.RichTextBox1;
    ScriptedCommand command(false);
    RunEditingCommand(*w.t, command);
    EXPECT_EQ(command.steps, (std::vector<std::string>{"prepare"}));
    EXPECT_TRUE(w.device.commands.empty());
    EXPECT_EQ(w.t->form.RichTextBox1, pane);
    EXPECT_FALSE(w.t->form.mnuSave.enabled);
    EXPECT_FALSE(w.t.platform().busy());
}

TEST(EditingFrame, ClosesPlaybackShowsTheReportReopensTheWorkingCopyInTheFrameAndOffersSave) {
    OpenSong w;
    ScriptedCommand command(true);
    RunEditingCommand(*w.t, command);
    EXPECT_EQ(command.steps, (std::vector<std::string>{"prepare", "apply"}));
    ASSERT_EQ(w.device.commands.size(), 3u);
    EXPECT_EQ(w.device.commands[0], "Close VAVidev1 notify");
    EXPECT_EQ(w.device.commands[1].rfind("Open " + (w.t.folder() / "sonivex-temp.tmp").string(), 0), 0u);
    EXPECT_EQ(w.device.commands[2], "Put VAVidev1 window at 0 0 25 17 notify");  // the media frame's size
    EXPECT_EQ(w.t->form.RichTextBox1, "the report after the edit");
    EXPECT_TRUE(w.t->form.mnuSave.enabled && w.t->form.SaveButton.enabled);
    EXPECT_FALSE(w.t.platform().busy());
}

TEST(EditLayer, RunsItsCommandsOnASessionWithoutWindowOrMedia) {
    TestSession t;  // for its folder of data files and its platform
    EditSession e(t.platform(), Folders::InOne(t.folder()));
    e.song.SourcePath = t.WriteSong(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build()).string();
    e.song.FileValid = true;
    LoadFile(e);
    ASSERT_EQ(BuildReport(e), ReportOutcome::Done);
    EXPECT_NE(e.report.PaneText.find("Total Tracks: 1"), std::string::npos);

    TrackCommand copy(TrackOperation::CopyTrack, 1);
    ASSERT_TRUE(copy.Prepare(e));
    copy.Apply(e);
    EXPECT_NE(e.report.PaneText.find("Total Tracks: 2"), std::string::npos);

    StyleCommand missing(StyleRequest{99, 0, 0, true, true});
    EXPECT_FALSE(missing.Prepare(e));
    EXPECT_EQ(t.platform().messages.back().rfind("style1.dat has no style 100", 0), 0u);
}

TEST(MusicEditCommands, AreKeptForUndoAndLeaveUnsavedChangesOnlyWhenTheyChangedTheSong) {
    OpenSong w;
    Session& s = *w.t;
    // A request the window should not have made is refused with a message; one with nothing to do is silent.
    EXPECT_FALSE(TransposeSong(s, {-61, std::nullopt}));
    EXPECT_EQ(w.t.platform().messages.back(), "Transpose moves notes by -24 to +24 semitones");
    EXPECT_FALSE(ChangeTempo(s, {100}));
    EXPECT_FALSE(s.history.CanUndo());
    EXPECT_FALSE(s.form.UnsavedChanges);

    EXPECT_TRUE(TransposeSong(s, {7, std::nullopt}));
    EXPECT_TRUE(s.form.UnsavedChanges);
    EXPECT_TRUE(s.form.mnuUndo.enabled);
    EXPECT_TRUE(ChooseInstrument(s, {1, 40}));  // the track had no program change: it gets one
    EXPECT_NE(s.report.PaneText.find("Violin"), std::string::npos);
    EXPECT_TRUE(ChangeTempo(s, {50}));
    EXPECT_EQ(s.history.UndoCount(), 3u);
    EXPECT_TRUE(UndoCommand(s));
    EXPECT_TRUE(UndoCommand(s));
    EXPECT_EQ(s.report.PaneText.find("Violin"), std::string::npos);
    EXPECT_TRUE(RedoCommand(s));
    EXPECT_NE(s.report.PaneText.find("Violin"), std::string::npos);
}

TEST(ShowReport, OffersSaveOnceARepairChangedTheWorkingCopy) {
    OpenSong w;
    EXPECT_FALSE(w.t->form.mnuSave.enabled);
    w.t->song.RepairedForSave = true;
    ShowReport(*w.t);
    EXPECT_TRUE(w.t->form.mnuSave.enabled && w.t->form.SaveButton.enabled);
    EXPECT_FALSE(w.t->song.RepairedForSave);
}

}  // namespace
}  // namespace sonivex::test
