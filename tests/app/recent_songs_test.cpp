#include <gtest/gtest.h>

#include "app/commands.h"
#include "app/recent_songs.h"
#include "support/fake_media.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

using Paths = std::vector<std::string>;

TEST(RecentSongs, PutsTheNewestFirstAndMovesARepeatUp) {
    RecentSongs r;
    r.Opened("/a.mid");
    r.Opened("/b.mid");
    r.Opened("/c.mid");
    EXPECT_EQ(r.Paths(), (Paths{"/c.mid", "/b.mid", "/a.mid"}));
    r.Opened("/a.mid");
    EXPECT_EQ(r.Paths(), (Paths{"/a.mid", "/c.mid", "/b.mid"}));
    r.Opened("");
    EXPECT_EQ(r.Paths().size(), 3u);
}

TEST(RecentSongs, KeepsTheLastEightAndDropsTheOldest) {
    RecentSongs r;
    for (int i = 1; i <= 10; ++i) r.Opened("/" + std::to_string(i) + ".mid");
    ASSERT_EQ(r.Paths().size(), 8u);
    EXPECT_EQ(r.Paths().front(), "/10.mid");
    EXPECT_EQ(r.Paths().back(), "/3.mid");
}

TEST(RecentSongs, TakesBackAStoredListWithoutBlanksRepeatsOrExtraEntries) {
    RecentSongs r;
    r.Assign({"/a.mid", "", "/b.mid", "/a.mid", "/3", "/4", "/5", "/6", "/7", "/8", "/9"});
    EXPECT_EQ(r.Paths(), (Paths{"/a.mid", "/b.mid", "/3", "/4", "/5", "/6", "/7", "/8"}));
    r.Remove("/b.mid");
    r.Remove("/nowhere.mid");
    EXPECT_EQ(r.Paths().size(), 7u);
    EXPECT_EQ(r.Paths()[1], "/3");
}

struct Opening {
    TestSession t;
    FakeMedia device;
    Opening() {
        t->media.Device = &device;
        FormLoad(*t);
    }
};

TEST(OpenAPath, OpensWithoutTheDialogAndListsTheSongAsRecent) {
    Opening o;
    const auto song = o.t.WriteSong(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build(), "dropped.mid");
    EXPECT_EQ(OpenCommand(*o.t, song.string()), OpenOutcome::Reported);
    EXPECT_TRUE(o.t.platform().dialogs.empty());
    EXPECT_EQ(o.t->song.FileTitle, "DROPPED.MID");
    EXPECT_EQ(o.t->recent.Paths(), (Paths{song.string()}));
    EXPECT_TRUE(o.t->form.mnuExportAudio.enabled);
}

TEST(OpenAPath, ChecksTheGivenPathAsTheDialogsChoiceAndListsNoFailure) {
    Opening o;
    EXPECT_EQ(OpenCommand(*o.t, (o.t.folder() / "gone.mid").string()), OpenOutcome::Missing);
    EXPECT_EQ(o.t.platform().messages.back(), (o.t.folder() / "gone.mid").string() + " does not exist");
    const auto text = o.t.WriteSong({'n', 'o', 't', ' ', 'm', 'i', 'd', 'i'}, "text.mid");
    EXPECT_EQ(OpenCommand(*o.t, text.string()), OpenOutcome::Rejected);
    EXPECT_TRUE(o.t->recent.Paths().empty());
    EXPECT_FALSE(o.t->form.mnuExportAudio.enabled);
    EXPECT_EQ(OpenCommand(*o.t, ""), OpenOutcome::Cancelled);
}

TEST(OpenAPath, AsksAboutUnsavedChangesFirst) {
    Opening o;
    const Bytes song = MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(96)).Build();
    OpenCommand(*o.t, o.t.WriteSong(song, "first.mid").string());
    o.t->form.Combo5.listIndex = 0;
    CommandClick(*o.t, CommandButton::CopyTrack);  // a copied track: something to save
    o.t.platform().Answers({Answer::Cancel});
    EXPECT_EQ(OpenCommand(*o.t, o.t.WriteSong(song, "second.mid").string()), OpenOutcome::Cancelled);
    EXPECT_EQ(o.t->song.FileTitle, "FIRST.MID");
    EXPECT_EQ(o.t.platform().messages.back().rfind("? Save changes to", 0), 0u);
}

}  // namespace
}  // namespace sonivex::test
