#include "reader/timeline.h"

#include <gtest/gtest.h>

#include "support/midi_builder.h"

namespace sonivex {
namespace {

using test::Bytes;
using test::MidiFile;
using test::Track;

Timeline Read(const Bytes& bytes) { return ReadTimeline(std::span<const std::uint8_t>(bytes.data(), bytes.size())); }

TEST(TimelineDurations, UseHalfASecondPerQuarterUntilTheFirstTempo) {
    // 96 ticks per quarter, one quarter note and nothing else
    const Bytes file = MidiFile(0, 96).Add(Track().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End()).Build();
    const Timeline t = Read(file);
    ASSERT_EQ(t.tracks.size(), 1u);
    EXPECT_DOUBLE_EQ(t.durationSeconds, 0.5);
    EXPECT_DOUBLE_EQ(t.tracks[0].seconds, 0.5);
}

TEST(TimelineDurations, ApplyATempoChangeOnTheSecondTrackToTheFirstTrackToo) {
    // Format 1: the notes are in track 0, the tempo doubles at tick 192 in track 1.
    const Bytes file = MidiFile(1, 96)
                           .Add(Track().NoteOn(0, 0, 60, 100).NoteOff(384, 0, 60).End())
                           .Add(Track().Tempo(192, 250000).End())
                           .Build();
    const Timeline t = Read(file);
    ASSERT_EQ(t.tracks.size(), 2u);
    // 192 ticks at 0.5 s per quarter, then 192 ticks at 0.25 s per quarter
    EXPECT_NEAR(t.tracks[0].seconds, 1.5, 1e-12);
    EXPECT_NEAR(t.tracks[1].seconds, 1.0, 1e-12);
    EXPECT_NEAR(t.durationSeconds, 1.5, 1e-12);
    EXPECT_NEAR(t.SecondsAt(288, 0), 1.25, 1e-12);
    ASSERT_EQ(t.tempos.size(), 1u);
    EXPECT_EQ(t.tempos[0].track, 1);
    EXPECT_EQ(t.tempos[0].tick, 192u);
}

TEST(TimelineDurations, GiveEachTrackOfAFormat2FileItsOwnTempoMap) {
    // Track 0 is at 1 s per quarter, track 1 keeps the default tempo; both are 192 ticks long.
    const Bytes file = MidiFile(2, 96)
                           .Add(Track().Tempo(0, 1000000).NoteOn(0, 0, 60, 100).NoteOff(192, 0, 60).End())
                           .Add(Track().NoteOn(0, 1, 62, 100).NoteOff(192, 1, 62).End())
                           .Build();
    const Timeline t = Read(file);
    EXPECT_NEAR(t.tracks[0].seconds, 2.0, 1e-12);
    EXPECT_NEAR(t.tracks[1].seconds, 1.0, 1e-12);
    EXPECT_NEAR(t.durationSeconds, 2.0, 1e-12);
    EXPECT_NEAR(t.SecondsAt(96, 0), 1.0, 1e-12);
    EXPECT_NEAR(t.SecondsAt(96, 1), 0.5, 1e-12);
}

TEST(TimelineDurations, TakeTheLastOfSeveralTempoChangesAtOneTick) {
    // Two tracks change tempo at tick 0; the later track's change is heard.
    const Bytes file = MidiFile(1, 100)
                           .Add(Track().Tempo(0, 2000000).End(100))
                           .Add(Track().Tempo(0, 1000000).End())
                           .Build();
    EXPECT_NEAR(Read(file).durationSeconds, 1.0, 1e-12);
}

TEST(TimelineDurations, CountUpToTheLastEventOfAnyTrack) {
    // The end of track 1 lies 96 ticks after the last note of track 0.
    const Bytes file = MidiFile(1, 96)
                           .Add(Track().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End())
                           .Add(Track().End(192))
                           .Build();
    EXPECT_DOUBLE_EQ(Read(file).durationSeconds, 1.0);
}

TEST(TimelineDurations, CountFramesForATimeCodeDivision) {
    // 0xE728: 25 frames per second, 40 ticks per frame: a millisecond a tick, as the player plays it. Such a
    // song has no quarter notes, so no division for bars.
    const Bytes file = MidiFile(0, 0xE728).Add(Track().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End()).Build();
    const Timeline t = Read(file);
    EXPECT_EQ(t.division, 0);
    EXPECT_DOUBLE_EQ(t.durationSeconds, 0.096);
    EXPECT_EQ(t.tracks[0].lastTick, 96u);
}

TEST(TimelineDurations, DoNotWrapOnHugeDeltaTimes) {
    // Twenty deltas of 2^28 - 1 ticks pass 2^32: ticks clamp, the duration keeps growing.
    Track track;
    for (int i = 0; i < 20; ++i) track.At(0x0FFFFFFF, {0xB0, 7, 100});
    const Timeline t = Read(MidiFile(0, 96).Add(track.End()).Build());
    EXPECT_EQ(t.tracks[0].lastTick, 0xFFFFFFFFu);
    EXPECT_NEAR(t.durationSeconds, 20.0 * 0x0FFFFFFF / 96 * 0.5, 1.0);
}

TEST(TimelineNotes, MatchNoteOffsToTheOldestSoundingNoteOfTheirKey) {
    // Running status after the first note-on; a note-on of velocity 0 ends a note; key 60 is struck twice.
    const Bytes file = MidiFile(0, 96)
                           .Add(Track()
                                    .NoteOn(0, 3, 60, 90)
                                    .Raw({10, 60, 80})     // running status: second strike of key 60
                                    .Raw({10, 60, 0})      // ends the first strike
                                    .NoteOff(10, 3, 60)    // ends the second
                                    .End())
                           .Build();
    const Timeline t = Read(file);
    ASSERT_EQ(t.notes.size(), 2u);
    EXPECT_EQ(t.notes[0].startTick, 0u);
    EXPECT_EQ(t.notes[0].endTick, 20u);
    EXPECT_EQ(t.notes[0].velocity, 90);
    EXPECT_EQ(t.notes[0].order, 0u);
    EXPECT_EQ(t.notes[1].startTick, 10u);
    EXPECT_EQ(t.notes[1].endTick, 30u);
    EXPECT_EQ(t.notes[1].velocity, 80);
    EXPECT_EQ(t.notes[1].order, 1u);
    EXPECT_EQ(t.notes[1].channel, 3);
    EXPECT_EQ(t.tracks[0].noteCount, 2u);
}

TEST(TimelineNotes, EndANoteNeverReleasedAtItsTracksLastTick) {
    const Bytes file = MidiFile(0, 96).Add(Track().NoteOn(5, 0, 64, 100).End(200)).Build();
    const Timeline t = Read(file);
    ASSERT_EQ(t.notes.size(), 1u);
    EXPECT_EQ(t.notes[0].startTick, 5u);
    EXPECT_EQ(t.notes[0].endTick, 205u);
}

TEST(TimelineNotes, EndEveryNoteOfAKeyStillSoundingAtTheTracksEndInOrder) {
    // Key 60 struck three times and released once: the oldest ends there, the other two at the last tick.
    // Then the same key sounds again in the next track, which starts with no note sounding.
    Track first;
    first.NoteOn(0, 0, 60, 90).NoteOn(10, 0, 60, 91).NoteOn(10, 0, 60, 92).NoteOff(10, 0, 60).End(70);
    Track second;
    second.NoteOn(0, 0, 60, 93).NoteOff(5, 0, 60).End();
    const Timeline t = Read(MidiFile(1, 96).Add(first).Add(second).Build());
    ASSERT_EQ(t.notes.size(), 4u);
    EXPECT_EQ(t.notes[0].endTick, 30u);
    EXPECT_EQ(t.notes[1].endTick, 100u);
    EXPECT_EQ(t.notes[2].endTick, 100u);
    EXPECT_EQ(t.notes[3].track, 1);
    EXPECT_EQ(t.notes[3].endTick, 5u);
}

TEST(TimelineNotes, AreSortedByTrackThenStartWithOrdersCountingMetaEvents) {
    // Track 1's note starts before track 0's; the name event counts in the orders.
    const Bytes file = MidiFile(1, 96)
                           .Add(Track().Name(0, "a").NoteOn(50, 0, 60, 1).NoteOff(1, 0, 60).End())
                           .Add(Track().NoteOn(0, 1, 70, 127).NoteOff(1, 1, 70).End())
                           .Build();
    const Timeline t = Read(file);
    ASSERT_EQ(t.notes.size(), 2u);
    EXPECT_EQ(t.notes[0].track, 0);
    EXPECT_EQ(t.notes[0].order, 1u);
    EXPECT_EQ(t.notes[1].track, 1);
    EXPECT_EQ(t.notes[1].order, 0u);
}

TEST(TimelineTracks, SummariseNameChannelsProgramsAndCounts) {
    const Bytes file = MidiFile(1, 96)
                           .Add(Track()
                                    .Name(0, "Piano \xE9")
                                    .Name(0, "second name is ignored")
                                    .Program(0, 5, 40)
                                    .Program(0, 2, 7)
                                    .NoteOn(0, 2, 60, 100)
                                    .NoteOff(48, 2, 60)
                                    .Raw({0, 0xF0, 3, 0x7E, 0x7F, 0xF7})  // a system-exclusive event
                                    .End(12))
                           .Build();
    const Timeline t = Read(file);
    const TrackSummary& s = t.tracks[0];
    EXPECT_EQ(s.name, "Piano \xE9");
    EXPECT_EQ(s.channels, (std::vector<int>{2, 5}));
    EXPECT_EQ(s.programs, (std::vector<int>{40, 7}));
    EXPECT_EQ(s.eventCount, 8u);
    EXPECT_EQ(s.noteCount, 1u);
    EXPECT_EQ(s.lastTick, 60u);
}

TEST(TimelineTracks, MarkATrackWithOneNoteOnTheDrumChannelAsDrums) {
    // The first track plays a melody and one drum note; the second only a controller on the drum channel; the
    // third a note-off alone on it.
    const Bytes file = MidiFile(1, 96)
                           .Add(Track().NoteOn(0, 0, 60, 100).NoteOn(0, 9, 36, 100).NoteOff(96, 0, 60).End())
                           .Add(Track().At(0, {0xB9, 7, 100}).End())
                           .Add(Track().NoteOff(0, 9, 36).End())
                           .Build();
    const Timeline t = Read(file);
    ASSERT_EQ(t.tracks.size(), 3u);
    EXPECT_TRUE(t.tracks[0].drums);
    EXPECT_FALSE(t.tracks[1].drums);
    EXPECT_TRUE(t.tracks[2].drums);
}

TEST(TimelineSignatures, ReadTimeAndKeySignaturesWithTheirTicks) {
    const Bytes file = MidiFile(1, 96)
                           .Add(Track().Meta(0, 0x58, {6, 3, 24, 8}).Meta(384, 0x59, {0xFD, 1}).End())
                           .Add(Track().Meta(100, 0x58, {3, 2, 24, 8}).End())
                           .Build();
    const Timeline t = Read(file);
    ASSERT_EQ(t.timeSignatures.size(), 2u);
    EXPECT_EQ(t.timeSignatures[0].numerator, 6);
    EXPECT_EQ(t.timeSignatures[0].denominator, 8);
    EXPECT_EQ(t.timeSignatures[1].tick, 100u);
    EXPECT_EQ(t.timeSignatures[1].track, 1);
    EXPECT_EQ(t.timeSignatures[1].denominator, 4);
    ASSERT_EQ(t.keySignatures.size(), 1u);
    EXPECT_EQ(t.keySignatures[0].tick, 384u);
    EXPECT_EQ(t.keySignatures[0].sharpsFlats, -3);
    EXPECT_TRUE(t.keySignatures[0].minor);
}

TEST(TimelineSignatures, ReadMissingBytesOfAShortTempoAsZero) {
    // A tempo event with two data bytes: 0x07 0xA1 then 0 is 499968 microseconds.
    const Bytes file = MidiFile(0, 96).Add(Track().Meta(0, 0x51, {0x07, 0xA1}).End(96)).Build();
    const Timeline t = Read(file);
    ASSERT_EQ(t.tempos.size(), 1u);
    EXPECT_EQ(t.tempos[0].microsPerQuarter, 0x07A100u);
}

TEST(TimelineDamagedInput, GivesNoTracksForBytesThatAreNotAMidiFile) {
    const Bytes text{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96, 1, 2, 3};
    EXPECT_TRUE(Read(text).tracks.empty());
    EXPECT_TRUE(Read(Bytes{}).tracks.empty());
    EXPECT_TRUE(Read(Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0}).tracks.empty());
}

TEST(TimelineDamagedInput, EndsATrackCutOffByTheFileEndAndDropsTheCutEvent) {
    // The chunk claims 1000 bytes; the file ends inside the second note-off's data bytes.
    Track track;
    track.NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).NoteOn(0, 0, 62, 100).Raw({96, 0x80, 62});
    const Bytes file = MidiFile(0, 96).Chunk("MTrk", track.Data(), 1000).Build();
    const Timeline t = Read(file);
    ASSERT_EQ(t.tracks.size(), 1u);
    EXPECT_EQ(t.tracks[0].eventCount, 3u);
    EXPECT_EQ(t.tracks[0].lastTick, 96u);
    ASSERT_EQ(t.notes.size(), 2u);
    EXPECT_EQ(t.notes[1].endTick, 96u);  // never released: ends at the last event read
}

TEST(TimelineDamagedInput, SkipsChunksThatAreNotTracks) {
    const Bytes file = MidiFile(1, 96)
                           .Chunk("XFIH", Bytes{1, 2, 3, 4}, 4)
                           .Add(Track().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End())
                           .DeclareTracks(1)
                           .Build();
    const Timeline t = Read(file);
    ASSERT_EQ(t.tracks.size(), 1u);
    EXPECT_EQ(t.notes.size(), 1u);
}

TEST(TimelineDamagedInput, StopsAtDataWithoutARunningStatus) {
    // The first event has no status byte at all.
    const Bytes file = MidiFile(0, 96).Add(Track().Raw({0, 60, 100}).NoteOn(0, 0, 60, 100).End()).Build();
    const Timeline t = Read(file);
    ASSERT_EQ(t.tracks.size(), 1u);
    EXPECT_EQ(t.tracks[0].eventCount, 0u);
}

TEST(TimelineNotesSkipped, LeaveTheTracksCountsKeyRangesAndTimesAsAListingReads) {
    // Two tracks: the key range of the first has a note-on of velocity 0 below it, which starts no note.
    const Bytes file = MidiFile(1, 96)
                           .Add(Track().NoteOn(0, 0, 30, 0).NoteOn(0, 0, 64, 90).NoteOn(10, 0, 52, 90).NoteOff(86, 0, 64).End())
                           .Add(Track().Tempo(0, 250000).NoteOn(0, 9, 36, 100).End(192))
                           .Build();
    const Timeline listed = Read(file);
    const Timeline skipped = ReadTimeline(std::span<const std::uint8_t>(file.data(), file.size()), TimelineNotes::Skip);
    EXPECT_TRUE(skipped.notes.empty());
    EXPECT_EQ(listed.notes.size(), 3u);
    ASSERT_EQ(skipped.tracks.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(skipped.tracks[i].noteCount, listed.tracks[i].noteCount);
        EXPECT_EQ(skipped.tracks[i].lowestKey, listed.tracks[i].lowestKey);
        EXPECT_EQ(skipped.tracks[i].highestKey, listed.tracks[i].highestKey);
        EXPECT_DOUBLE_EQ(skipped.tracks[i].seconds, listed.tracks[i].seconds);
    }
    EXPECT_EQ(listed.tracks[0].lowestKey, std::optional<std::uint8_t>(52));
    EXPECT_EQ(listed.tracks[0].highestKey, std::optional<std::uint8_t>(64));
    EXPECT_EQ(listed.tracks[1].lowestKey, std::optional<std::uint8_t>(36));
    EXPECT_DOUBLE_EQ(skipped.durationSeconds, listed.durationSeconds);
}

}  // namespace
}  // namespace sonivex
