#include <gtest/gtest.h>

#include "playback/player/midi_sequence.h"
#include "test_song.h"

namespace sonivex::test {
namespace {

TEST(MidiSequence, KnowsTheLengthAndTimesOfASimpleSong) {
    const auto song = MidiSequence::Parse(ThreeNotes());
    ASSERT_TRUE(song);
    EXPECT_EQ(song->LengthTicks(), 288);
    EXPECT_DOUBLE_EQ(song->SecondsAt(288), 1.5);
    EXPECT_EQ(song->TickAt(1.5), 288);
    EXPECT_EQ(song->TickAt(0.5 - 1e-4), 95);
    ASSERT_EQ(song->Events().size(), 7u);  // the program and six note messages; meta events are not sent
    EXPECT_EQ(song->Events()[0].status, 0xC0);
    EXPECT_EQ(song->Events()[6].tick, 288);
}

TEST(MidiSequence, ReadsRunningStatus) {
    // The second and third notes leave out their status byte.
    Track t;
    t.NoteOn(0, 2, 60, 100).Raw({10, 62, 90, 10, 64, 80});
    const auto song = MidiSequence::Parse(MidiFile(0).Add(t.End(5)).Build());
    ASSERT_TRUE(song);
    ASSERT_EQ(song->Events().size(), 3u);
    EXPECT_EQ(song->Events()[2].status, 0x92);
    EXPECT_EQ(song->Events()[2].data1, 64);
    EXPECT_EQ(song->Events()[2].data2, 80);
    EXPECT_EQ(song->Events()[2].tick, 20);
    EXPECT_EQ(song->LengthTicks(), 25);
}

TEST(MidiSequence, TimesTicksThroughATempoChangeInAnotherTrack) {
    // The conductor track doubles the speed at tick 96; the notes are in the second track.
    Track conductor;
    conductor.Tempo(0, 500000).Tempo(96, 250000).End();
    Track notes;
    notes.NoteOn(0, 0, 60, 100).NoteOff(192, 0, 60).End();
    const auto song = MidiSequence::Parse(MidiFile(1, 96).Add(conductor).Add(notes).Build());
    ASSERT_TRUE(song);
    EXPECT_DOUBLE_EQ(song->SecondsAt(96), 0.5);
    EXPECT_DOUBLE_EQ(song->SecondsAt(192), 0.75);
    EXPECT_EQ(song->TickAt(0.75), 192);
    EXPECT_EQ(song->TickAt(0.6), 134);
    EXPECT_EQ(song->LengthTicks(), 192);
}

TEST(MidiSequence, TakesTheLastOfSeveralTempoChangesAtOneTick) {
    Track t;
    t.Tempo(0, 1000000).Tempo(0, 250000).NoteOn(0, 0, 60, 1).NoteOff(96, 0, 60).End();
    const auto song = MidiSequence::Parse(MidiFile(0, 96).Add(t).Build());
    ASSERT_TRUE(song);
    EXPECT_DOUBLE_EQ(song->SecondsAt(96), 0.25);
}

TEST(MidiSequence, CountsTimeCodeDivisionInFramesAndIgnoresTempo) {
    // 25 frames a second of 40 ticks: a millisecond a tick, whatever the tempo event says.
    Track t;
    t.Tempo(0, 250000).NoteOn(0, 0, 60, 1).NoteOff(1000, 0, 60).End();
    const auto song = MidiSequence::Parse(MidiFile(0, 0xE728).Add(t).Build());
    ASSERT_TRUE(song);
    EXPECT_DOUBLE_EQ(song->SecondsAt(1000), 1.0);
}

TEST(MidiSequence, RefusesBytesWithoutAHeaderOrWithoutADivision) {
    EXPECT_FALSE(MidiSequence::Parse({'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}));
    EXPECT_FALSE(MidiSequence::Parse({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}));
    Track t;
    EXPECT_FALSE(MidiSequence::Parse(MidiFile(0, 0).Add(t.End()).Build()));
}

TEST(MidiSequence, KeepsTheEventsBeforeATrackBreaksOff) {
    // The chunk claims 100 bytes more than the file has, and the last note lacks its velocity.
    Track t;
    t.NoteOn(0, 0, 60, 100).NoteOff(48, 0, 60).Raw({0, 0x90, 62});
    const auto song = MidiSequence::Parse(MidiFile(0).Chunk("MTrk", t.Data(), t.Data().size() + 100).Build());
    ASSERT_TRUE(song);
    EXPECT_EQ(song->Events().size(), 2u);
    EXPECT_EQ(song->LengthTicks(), 48);
}

TEST(MidiSequence, StopsATrackAtADataByteWithoutStatus) {
    Track t;
    t.Raw({0, 60, 100}).NoteOn(0, 0, 60, 100).End();
    const auto song = MidiSequence::Parse(MidiFile(0).Add(t).Build());
    ASSERT_TRUE(song);
    EXPECT_TRUE(song->Events().empty());
}

TEST(MidiSequence, KeepsRunningStatusAcrossMetaAndSystemExclusiveEvents) {
    // A text event and a system exclusive message between a note-on and two notes that leave out the status.
    Track t;
    t.NoteOn(0, 3, 60, 100).Meta(5, 0x01, "verse").Raw({5, 0xF0, 2, 0x43, 0xF7}).Raw({5, 62, 90, 5, 64, 0});
    const auto song = MidiSequence::Parse(MidiFile(0).Add(t.End()).Build());
    ASSERT_TRUE(song);
    ASSERT_EQ(song->Events().size(), 4u);
    EXPECT_EQ(song->Events()[1].status, 0xF0);
    EXPECT_EQ(song->Events()[3].status, 0x93);
    EXPECT_EQ(song->Events()[3].data1, 64);
    EXPECT_EQ(song->Events()[3].tick, 20);
}

TEST(MidiSequence, EndsABrokenTrackAtItsLastWholeEvent) {
    // Each track breaks off 30 ticks after its last whole event at tick 10: a meta event whose data is cut
    // short, a system exclusive message longer than the track, and a program change without its number.
    // Bytes after an end of track at tick 40 are not read at all.
    const Bytes breaks[] = {{30, 0xFF, 0x01, 9, 'a'}, {30, 0xF0, 50, 1, 2}, {30, 0xC0}};
    for (const Bytes& broken : breaks) {
        Track t;
        t.NoteOn(10, 0, 60, 100).Raw(broken);
        const auto song = MidiSequence::Parse(MidiFile(0).Add(t).Build());
        ASSERT_TRUE(song);
        EXPECT_EQ(song->Events().size(), 1u);
        EXPECT_EQ(song->LengthTicks(), 10);
    }
    Track ended;
    ended.NoteOn(10, 0, 60, 100).End(30).NoteOff(500, 0, 60);
    const auto song = MidiSequence::Parse(MidiFile(0).Add(ended).Build());
    ASSERT_TRUE(song);
    EXPECT_EQ(song->Events().size(), 1u);
    EXPECT_EQ(song->LengthTicks(), 40);
}

TEST(MidiSequence, ReadsOnlyTheDeclaredNumberOfTracksAndSkipsOtherChunks) {
    // An unknown chunk between the tracks, and a third track that the header does not count.
    Track first;
    first.NoteOn(0, 0, 60, 1).NoteOff(10, 0, 60).End();
    Track second;
    second.NoteOn(0, 1, 60, 1).NoteOff(20, 1, 60).End();
    Track extra;
    extra.NoteOn(0, 2, 60, 1).NoteOff(500, 2, 60).End();
    const auto song = MidiSequence::Parse(
        MidiFile(1).Add(first).Chunk("XYZW", {1, 2, 3}, 3).Add(second).Add(extra).DeclareTracks(2).Build());
    ASSERT_TRUE(song);
    EXPECT_EQ(song->Events().size(), 4u);
    EXPECT_EQ(song->LengthTicks(), 20);
}

TEST(MidiSequence, KeepsTrackOrderWithinATick) {
    Track first;
    first.NoteOn(10, 0, 60, 1).End();
    Track second;
    second.At(0, {0xB1, 7, 100}).NoteOn(10, 1, 61, 1).End();
    const auto song = MidiSequence::Parse(MidiFile(1).Add(first).Add(second).Build());
    ASSERT_TRUE(song);
    ASSERT_EQ(song->Events().size(), 3u);
    EXPECT_EQ(song->Events()[0].status, 0xB1);
    EXPECT_EQ(song->Events()[1].status, 0x90);
    EXPECT_EQ(song->Events()[2].status, 0x91);
}

TEST(MidiSequence, PassesSystemExclusiveWithoutItsFraming) {
    // The GM System On message.
    Track t;
    t.Raw({0, 0xF0, 5, 0x7E, 0x7F, 0x09, 0x01, 0xF7}).End();
    const auto song = MidiSequence::Parse(MidiFile(0).Add(t).Build());
    ASSERT_TRUE(song);
    ASSERT_EQ(song->Events().size(), 1u);
    EXPECT_EQ(song->Events()[0].sysex, (std::vector<std::uint8_t>{0x7E, 0x7F, 0x09, 0x01}));
}

TEST(MidiSequence, PlaysOnPastSystemCommonAndRealTimeBytes) {
    // A regression: a song position, a song select and a clock byte between two notes once ended the track
    // there, so such a song played nothing after them (and nothing at all when they came first).
    Track t;
    t.NoteOn(0, 0, 60, 100).Raw({10, 0xF2, 1, 2, 0, 0xF3, 5, 0, 0xF8}).NoteOff(10, 0, 60).NoteOn(0, 0, 62, 90);
    const auto song = MidiSequence::Parse(MidiFile(0).Add(t.End(96)).Build());
    ASSERT_TRUE(song);
    ASSERT_EQ(song->Events().size(), 3u);
    EXPECT_EQ(song->Events()[1].tick, 20);
    EXPECT_EQ(song->Events()[2].data1, 62);
    EXPECT_EQ(song->LengthTicks(), 116);
}

TEST(MidiSequence, TimesEachTrackOfAFormat2SongByItsOwnTempo) {
    // The second track doubles its own speed; the first track's ticks keep the clock. Its note at tick 192
    // sounds at 0.5 s, which is tick 96 of the clock, and the first track's end at tick 192 makes the song 1 s
    // long.
    const Track first = Track().NoteOn(0, 0, 60, 100).NoteOff(192, 0, 60).End();
    Track second;
    second.Tempo(0, 250000).NoteOn(192, 1, 64, 100).End(192);
    const auto song = MidiSequence::Parse(MidiFile(2, 96).Add(first).Add(second).Build());
    ASSERT_TRUE(song);
    ASSERT_EQ(song->Events().size(), 3u);
    EXPECT_EQ(song->Events()[1].track, 1);
    EXPECT_DOUBLE_EQ(song->Events()[1].seconds, 0.5);
    EXPECT_EQ(song->Events()[1].tick, 96);
    EXPECT_DOUBLE_EQ(song->Events()[2].seconds, 1.0);  // the first track's note-off
    EXPECT_DOUBLE_EQ(song->LengthSeconds(), 1.0);
    EXPECT_EQ(song->LengthTicks(), 192);
}

}  // namespace
}  // namespace sonivex::test
