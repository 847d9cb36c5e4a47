#include <gtest/gtest.h>

#include "app/commands.h"
#include "app/export_command.h"
#include "app/track_mix.h"
#include "support/fake_media.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

// Three tracks of one note each, on channels 1 to 3.
Bytes ThreeTracks() {
    MidiFile song;
    for (int channel = 0; channel < 3; ++channel) {
        song.Add(Track().NoteOn(0, channel, 60 + channel, 100).NoteOff(96, channel, 60 + channel).End());
    }
    return song.Build();
}

struct Mixing {
    TestSession t;
    FakeMedia device;
    SilenceRecorder exporter;
    Mixing() {
        t->media.Device = &device;
        t->media.Exporter = &exporter;
        FormLoad(*t);
        OpenCommand(*t, t.WriteSong(ThreeTracks(), "three.mid").string());
    }
};

TEST(TrackMix, SilencesTheMutedTracksAndWhileOneIsSoloedEveryOther) {
    TrackMix mix;
    EXPECT_TRUE(mix.Silenced(3).Empty());
    mix.muted = {false, true};
    EXPECT_EQ(mix.Silenced(3), SilencedTracks({1}));
    mix.soloed = {false, false, true};
    EXPECT_EQ(mix.Silenced(3), SilencedTracks({0, 1}));
    // A soloed track that is muted too stays silent: mute wins.
    mix.muted = {false, false, true};
    EXPECT_EQ(mix.Silenced(4), SilencedTracks({0, 1, 2, 3}));
}

TEST(TrackMix, TellsThePlayerAtOnceAndTheExportLeavesTheSameTracksOut) {
    Mixing m;
    MuteTrack(*m.t, 0, true);
    EXPECT_EQ(m.device.commands.back(), "Set VAVidev1 silence 1");
    SoloTrack(*m.t, 2, true);
    EXPECT_EQ(m.device.commands.back(), "Set VAVidev1 silence 1 2");
    ASSERT_EQ(ExportAudio(*m.t, (m.t.folder().parent_path() / "three.wav").string()), ExportStatus::Written);
    EXPECT_EQ(m.exporter.silenced.back(), SilencedTracks({0, 1}));
    // Not an edit: nothing to save, nothing to undo.
    EXPECT_FALSE(m.t->form.UnsavedChanges);
    EXPECT_FALSE(m.t->form.mnuUndo.enabled);
    // A track that is not there changes nothing.
    const std::size_t sent = m.device.commands.size();
    MuteTrack(*m.t, 7, true);
    EXPECT_EQ(m.device.commands.size(), sent);
}

TEST(TrackMix, AnotherSongStartsWithEveryTrackSounding) {
    Mixing m;
    MuteTrack(*m.t, 1, true);
    m.device.commands.clear();
    OpenCommand(*m.t, m.t.WriteSong(ThreeTracks(), "again.mid").string());
    EXPECT_TRUE(m.t->media.Silenced.Empty());
    EXPECT_FALSE(m.t->mix.Muted(1));
    // The new song's player is told of no silenced track.
    for (const std::string& command : m.device.commands) EXPECT_EQ(command.find("silence"), std::string::npos) << command;
}

}  // namespace
}  // namespace sonivex::test
