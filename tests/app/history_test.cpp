#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/commands.h"
#include "app/history.h"
#include "app/undo_redo.h"
#include "support/fake_media.h"
#include "support/file_size_limit.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

EditHistory::State StateOf(std::uint8_t byte) {
    auto state = std::make_shared<WorkingCopyState>();
    state->bytes = Bytes{byte};
    return state;
}

std::uint8_t ByteOf(const EditHistory::State& state) { return state->bytes.at(0); }

TEST(EditHistory, UndoesAndRedoesInOrder) {
    EditHistory h;
    h.Recorded(StateOf(1), StateOf(2));
    h.Recorded(StateOf(2), StateOf(3));
    EXPECT_FALSE(h.CanRedo());
    EXPECT_EQ(ByteOf(h.Undo(StateOf(3))), 2);
    EXPECT_EQ(ByteOf(h.Undo(StateOf(2))), 1);
    EXPECT_FALSE(h.CanUndo());
    EXPECT_EQ(h.Undo(StateOf(1)), nullptr);
    EXPECT_EQ(ByteOf(h.Redo(StateOf(1))), 2);
    EXPECT_EQ(ByteOf(h.Redo(StateOf(2))), 3);
    EXPECT_EQ(h.Redo(StateOf(3)), nullptr);
}

TEST(EditHistory, ANewEditDropsTheRedoSteps) {
    EditHistory h;
    h.Recorded(StateOf(1), StateOf(2));
    h.Undo(StateOf(2));
    ASSERT_TRUE(h.CanRedo());
    h.Recorded(StateOf(1), StateOf(7));
    EXPECT_FALSE(h.CanRedo());
    EXPECT_EQ(ByteOf(h.Undo(StateOf(7))), 1);
}

TEST(EditHistory, AnEditThatChangedNothingMakesNoStepButIsTheLastCommand) {
    EditHistory h;
    h.Recorded(StateOf(1), StateOf(2));
    h.Undo(StateOf(2));
    h.Recorded(StateOf(1), StateOf(1));
    EXPECT_FALSE(h.CanUndo());
    EXPECT_TRUE(h.CanRedo());  // nothing changed, so the way forward is still there
    ASSERT_NE(h.Previous(), nullptr);
    EXPECT_EQ(*h.Previous(), Bytes{1});
}

TEST(EditHistory, KeepsFiftyStepsAndDropsTheOldestFirst) {
    EditHistory h;
    for (int i = 0; i < 60; ++i) {
        h.Recorded(StateOf(static_cast<std::uint8_t>(i)), StateOf(static_cast<std::uint8_t>(i + 1)));
    }
    EXPECT_EQ(h.UndoCount(), kUndoSteps);
    EXPECT_GE(kUndoSteps, 50u);
    int current = 60;
    while (h.CanUndo()) current = ByteOf(h.Undo(StateOf(static_cast<std::uint8_t>(current))));
    EXPECT_EQ(current, 10);  // steps 0 to 9 went first
    EXPECT_FALSE(h.AtSongAsOpened());
}

TEST(EditHistory, KnowsWhenUndoHasReachedTheSongAsOpened) {
    EditHistory h;
    EXPECT_TRUE(h.AtSongAsOpened());
    h.Recorded(StateOf(1), StateOf(2));
    EXPECT_FALSE(h.AtSongAsOpened());
    h.Undo(StateOf(2));
    EXPECT_TRUE(h.AtSongAsOpened());
    h.Redo(StateOf(1));
    EXPECT_FALSE(h.AtSongAsOpened());
}

TEST(EditHistory, KnowsWhenUndoOrRedoHasReachedTheSongAsLastSaved) {
    EditHistory h;
    EXPECT_TRUE(h.AtSavedSong());  // the song as opened
    h.Recorded(StateOf(1), StateOf(2));
    EXPECT_FALSE(h.AtSavedSong());
    h.MarkSaved();
    EXPECT_TRUE(h.AtSavedSong());
    h.Undo(StateOf(2));
    EXPECT_FALSE(h.AtSavedSong());
    h.Redo(StateOf(1));
    EXPECT_TRUE(h.AtSavedSong());
    // An edit after an Undo past the saved copy loses it for good.
    h.Undo(StateOf(2));
    h.Recorded(StateOf(1), StateOf(3));
    h.Undo(StateOf(3));
    EXPECT_FALSE(h.AtSavedSong());
}

TEST(EditHistory, PreviousIsTheCopyBeforeTheLastCommandOfAnyKind) {
    EditHistory h;
    EXPECT_EQ(h.Previous(), nullptr);
    h.Recorded(StateOf(1), StateOf(2));
    EXPECT_EQ(*h.Previous(), Bytes{1});
    h.Undo(StateOf(2));
    EXPECT_EQ(*h.Previous(), Bytes{2});
    h.Redo(StateOf(1));
    EXPECT_EQ(*h.Previous(), Bytes{1});
    h.Clear();
    EXPECT_EQ(h.Previous(), nullptr);
    EXPECT_FALSE(h.CanUndo() || h.CanRedo());
}

// A session after the window's load step with a song open: one track on channel 0, one program change, and
// a second melody track, so that every editing command has something to change.
struct Editing {
    TestSession t;
    FakeMedia device;
    std::filesystem::path song;

    Editing() {
        t->media.Device = &device;
        FormLoad(*t);
        song = t.WriteSong(MidiFile()
                               .Add(Track().Program(0, 0, 5).NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End())
                               .Add(Track().Program(0, 1, 20).NoteOn(0, 1, 64, 90).NoteOff(96, 1, 64).End())
                               .Build());
        Open();
    }
    void Open() {
        t.platform().Files({song.string()});
        OpenCommand(*t);
    }
    Bytes WorkingCopy() { return TestSession::ReadBytes(t->WorkFile(t->song.TempFileName)); }
    void ApplyStyle(int style = 0) {
        t->form.Combo1.listIndex = style;
        Combo1_Click(*t);
        CommandClick(*t, CommandButton::ApplyStyle);
    }
    void CopyTrack() {
        t->form.Combo5.listIndex = 0;
        CommandClick(*t, CommandButton::CopyTrack);
    }
};

TEST(UndoRedo, UndoPutsBackTheWorkingCopyAndTheReportOfTheSongBeforeTheEdit) {
    Editing e;
    const Bytes opened = e.WorkingCopy();
    const std::string openedReport = e.t->form.RichTextBox1;
    e.CopyTrack();
    ASSERT_NE(e.WorkingCopy(), opened);
    ASSERT_EQ(e.t->song.TracksFound, 3);
    EXPECT_TRUE(e.t->form.mnuUndo.enabled && e.t->form.UndoButton.enabled);
    EXPECT_FALSE(e.t->form.mnuRedo.enabled);

    const std::size_t sent = e.device.commands.size();
    ASSERT_TRUE(UndoCommand(*e.t));
    EXPECT_EQ(e.WorkingCopy(), opened);
    EXPECT_EQ(e.t->song.TracksFound, 2);
    EXPECT_EQ(e.t->song.TrackCount, 2);
    EXPECT_EQ(e.t->form.RichTextBox1, openedReport);
    EXPECT_FALSE(e.t->form.mnuUndo.enabled);
    EXPECT_TRUE(e.t->form.mnuRedo.enabled && e.t->form.RedoButton.enabled);
    // The player is closed, then given the restored copy.
    bool closed = false, openedAgain = false;
    for (std::size_t i = sent; i < e.device.commands.size(); ++i) {
        const std::string& command = e.device.commands[i];
        if (command.rfind("Close", 0) == 0) closed = true;
        if (command.rfind("Open", 0) == 0 && closed) openedAgain = true;
    }
    EXPECT_TRUE(openedAgain);
}

TEST(UndoRedo, RedoGivesTheSameWorkingCopyAsTheEditAlone) {
    Editing e;
    e.CopyTrack();
    e.ApplyStyle();
    const Bytes edited = e.WorkingCopy();
    const std::string editedReport = e.t->form.RichTextBox1;
    ASSERT_TRUE(UndoCommand(*e.t));
    ASSERT_TRUE(UndoCommand(*e.t));
    ASSERT_TRUE(RedoCommand(*e.t));
    ASSERT_TRUE(RedoCommand(*e.t));
    EXPECT_FALSE(RedoCommand(*e.t));
    EXPECT_EQ(e.WorkingCopy(), edited);
    EXPECT_EQ(e.t->song.TracksFound, 3);
    EXPECT_EQ(e.t->form.RichTextBox1, editedReport);
}

TEST(UndoRedo, UndoingBackToTheSongAsOpenedLeavesNothingToSave) {
    Editing e;
    e.CopyTrack();
    e.CopyTrack();
    ASSERT_TRUE(e.t->form.UnsavedChanges);
    UndoCommand(*e.t);
    EXPECT_TRUE(e.t->form.UnsavedChanges);  // one copy is still there
    UndoCommand(*e.t);
    EXPECT_FALSE(e.t->form.UnsavedChanges);
    RedoCommand(*e.t);
    EXPECT_TRUE(e.t->form.UnsavedChanges);
}

TEST(UndoRedo, OpenClearsTheHistory) {
    Editing e;
    e.CopyTrack();
    e.CopyTrack();
    UndoCommand(*e.t);
    ASSERT_TRUE(e.t->history.CanUndo() && e.t->history.CanRedo());
    e.Open();
    EXPECT_FALSE(e.t->history.CanUndo() || e.t->history.CanRedo());
    EXPECT_EQ(e.t->history.Previous(), nullptr);
    EXPECT_FALSE(e.t->form.mnuUndo.enabled || e.t->form.mnuRedo.enabled);
    EXPECT_FALSE(UndoCommand(*e.t));
}

TEST(UndoRedo, ACancelledOpenKeepsTheHistory) {
    Editing e;
    e.CopyTrack();
    e.t.platform().Files({""});
    OpenCommand(*e.t);
    EXPECT_TRUE(e.t->history.CanUndo());
}

TEST(UndoRedo, TheMenuAndTheToolbarReachUndoAndRedo) {
    Editing e;
    const Bytes opened = e.WorkingCopy();
    e.CopyTrack();
    const Bytes copied = e.WorkingCopy();
    MenuClick(*e.t, MenuCommand::Undo);
    EXPECT_EQ(e.WorkingCopy(), opened);
    MenuClick(*e.t, MenuCommand::Redo);
    EXPECT_EQ(e.WorkingCopy(), copied);
    MenuClick(*e.t, MenuCommand::Undo);
    MenuClick(*e.t, MenuCommand::Redo);
    EXPECT_EQ(e.WorkingCopy(), copied);
}

TEST(UndoRedo, AWorkingCopyThatCannotBeReplacedIsNamedAndTheHistoryStays) {
    Editing e;
    e.CopyTrack();
    const Bytes copied = e.WorkingCopy();
    {
        const FileSizeLimit full(10);  // the kept copy cannot be written
        EXPECT_FALSE(UndoCommand(*e.t));
    }
    EXPECT_EQ(e.WorkingCopy(), copied);
    ASSERT_FALSE(e.t.platform().messages.empty());
    EXPECT_NE(e.t.platform().messages.back().find("could not be written"), std::string::npos);
    EXPECT_TRUE(e.t->history.CanUndo());
    EXPECT_FALSE(e.t->history.CanRedo());
}

}  // namespace
}  // namespace sonivex::test
