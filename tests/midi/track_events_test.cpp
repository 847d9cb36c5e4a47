#include "midi/track_events.h"

#include <gtest/gtest.h>

#include <vector>

#include "midi/chunks.h"
#include "midi/song_tempo.h"
#include "support/midi_builder.h"

namespace sonivex {
namespace {

using test::Bytes;
using test::MidiFile;
using test::Track;

struct DecodedTrack {
    std::vector<TrackEvent> events;
    TrackEnd end = TrackEnd::kChunkEnd;
    std::uint64_t lastTick = 0;
};

DecodedTrack DecodeFirstTrack(const Bytes& file) {
    const std::optional<SmfChunks> chunks = ScanChunks(file);
    DecodedTrack out;
    if (!chunks || chunks->tracks.empty()) return out;
    TrackEvents events(file, chunks->tracks.front());
    while (const std::optional<TrackEvent> event = events.Next()) out.events.push_back(*event);
    out.end = events.End();
    out.lastTick = events.LastTick();
    return out;
}

TEST(ScanChunks, ReadsTheHeaderAndFindsTrackChunksAmongOthers) {
    const Bytes file = MidiFile(1, 0x1E0)
                           .Add(Track().End())
                           .Chunk("XFIH", Bytes{1, 2, 3, 4}, 4)
                           .Add(Track().NoteOn(0, 0, 60, 1).End())
                           .DeclareTracks(1)
                           .Build();
    const std::optional<SmfChunks> chunks = ScanChunks(file);
    ASSERT_TRUE(chunks);
    EXPECT_EQ(chunks->header.format, 1);
    EXPECT_EQ(chunks->header.declaredTracks, 1);
    EXPECT_EQ(chunks->header.TicksPerQuarter(), 480);
    EXPECT_FALSE(chunks->header.TimeCodeDivision());
    ASSERT_EQ(chunks->tracks.size(), 2u);
    EXPECT_EQ(chunks->tracks[0].offset, 14u);
    EXPECT_EQ(chunks->tracks[0].dataOffset, 22u);
    EXPECT_EQ(chunks->tracks[0].dataLength, 4u);
    EXPECT_EQ(chunks->tracks[1].offset, 14u + 12 + 12);
    // The header is believed: one track plays.
    EXPECT_EQ(chunks->SongTracks().size(), 1u);
}

TEST(ScanChunks, EndsAChunkCutOffAtTheFilesEndAndRefusesFilesWithoutAHeader) {
    const Track track = Track().NoteOn(0, 0, 60, 1);
    const Bytes file = MidiFile(0).Chunk("MTrk", track.Data(), 0xFFFFFFF0).Build();
    const std::optional<SmfChunks> chunks = ScanChunks(file);
    ASSERT_TRUE(chunks);
    ASSERT_EQ(chunks->tracks.size(), 1u);
    EXPECT_EQ(chunks->tracks[0].declaredLength, 0xFFFFFFF0u);
    EXPECT_EQ(chunks->tracks[0].dataLength, track.Data().size());
    EXPECT_FALSE(ScanChunks(Bytes{}));
    EXPECT_FALSE(ScanChunks(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}));
    EXPECT_FALSE(ScanChunks(Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 5, 0, 0, 0, 1, 0, 96}));
    EXPECT_FALSE(ScanChunks(Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}));
}

TEST(ScanChunks, ReadsTimeCodeDivisions) {
    // 0xE728: 25 frames a second, 40 ticks a frame; 0xE300: 29 frames, none a tick.
    SmfHeader header;
    header.division = 0xE728;
    ASSERT_TRUE(header.TimeCodeDivision());
    EXPECT_EQ(header.TimeCodeDivision()->framesPerSecond, 25);
    EXPECT_EQ(header.TimeCodeDivision()->ticksPerFrame, 40);
    EXPECT_FALSE(header.TicksPerQuarter());
    header.division = 0xE300;
    EXPECT_FALSE(header.TimeCodeDivision());
    header.division = 0;
    EXPECT_FALSE(header.TicksPerQuarter());
}

TEST(TrackEvents, DecodeEveryKindWithItsTicksAndBytePositions) {
    // A note-on, a running-status note-on, a text event, a system exclusive message, a program change.
    Track track;
    track.NoteOn(0, 3, 60, 100).Raw({5, 62, 90}).Meta(5, 0x01, "verse").Raw({5, 0xF0, 2, 0x43, 0xF7});
    track.Program(0x80, 3, 7).End();
    const Bytes file = MidiFile(0).Add(track).Build();
    const DecodedTrack t = DecodeFirstTrack(file);
    ASSERT_EQ(t.events.size(), 6u);
    EXPECT_EQ(t.end, TrackEnd::kEndOfTrack);
    const TrackEvent& on = t.events[0];
    EXPECT_EQ(on.kind, EventKind::kChannel);
    EXPECT_EQ(on.offset, 22u);
    EXPECT_EQ(on.dataOffset, 24u);
    EXPECT_EQ(on.Channel(), 3);
    EXPECT_TRUE(on.StartsNote());
    const TrackEvent& running = t.events[1];
    EXPECT_TRUE(running.runningStatus);
    EXPECT_EQ(running.status, 0x93);
    EXPECT_EQ(running.tick, 5u);
    EXPECT_EQ(running.dataOffset, 27u);
    EXPECT_EQ(running.data[0], 62);
    const TrackEvent& text = t.events[2];
    EXPECT_TRUE(text.IsMeta(0x01));
    EXPECT_EQ(text.bodyOffset, 33u);
    EXPECT_EQ(std::string(text.body.begin(), text.body.end()), "verse");
    const TrackEvent& sysex = t.events[3];
    EXPECT_EQ(sysex.kind, EventKind::kSysex);
    EXPECT_EQ(sysex.body.size(), 2u);
    EXPECT_EQ(sysex.body[0], 0x43);
    const TrackEvent& program = t.events[4];
    EXPECT_EQ(program.tick, 15u + 128);  // a delta of two bytes
    EXPECT_EQ(program.dataCount, 1);
    EXPECT_EQ(program.data[0], 7);
    EXPECT_EQ(t.lastTick, 143u);
}

TEST(TrackEvents, PassOverSystemCommonAndRealTimeBytesWithTheirData) {
    // Song position (two data bytes), song select (one), tune request and a clock byte (none), then notes
    // under the running status from before them.
    Track track;
    track.NoteOn(0, 0, 60, 100).Raw({0, 0xF2, 0x7F, 0x7F, 0, 0xF3, 0x05, 0, 0xF6, 0, 0xF8}).Raw({10, 60, 0}).End();
    const DecodedTrack t = DecodeFirstTrack(MidiFile(0).Add(track).Build());
    ASSERT_EQ(t.events.size(), 7u);
    EXPECT_EQ(t.events[1].kind, EventKind::kSystem);
    EXPECT_EQ(t.events[1].dataCount, 2);
    EXPECT_EQ(t.events[2].dataCount, 1);
    EXPECT_EQ(t.events[3].dataCount, 0);
    EXPECT_EQ(t.events[4].status, 0xF8);
    EXPECT_EQ(t.events[5].status, 0x90);
    EXPECT_TRUE(t.events[5].EndsNote());
    EXPECT_EQ(t.events[5].tick, 10u);
}

TEST(TrackEvents, EndATrackBeforeAnEventCutOff) {
    // Each track breaks off 30 ticks after its last whole event at tick 10: a meta event whose data is cut
    // short, a system exclusive message longer than the track, a program change without its number, and a
    // delta time cut off. A data byte with no status to run on ends a fresh track at once.
    const Bytes breaks[] = {{30, 0xFF, 0x01, 9, 'a'}, {30, 0xF0, 50, 1, 2}, {30, 0xC0}, {0x81}};
    for (const Bytes& broken : breaks) {
        const DecodedTrack t = DecodeFirstTrack(MidiFile(0).Add(Track().NoteOn(10, 0, 60, 100).Raw(broken)).Build());
        EXPECT_EQ(t.events.size(), 1u);
        EXPECT_EQ(t.end, TrackEnd::kCutOff);
        EXPECT_EQ(t.lastTick, 10u);
    }
    const DecodedTrack noStatus = DecodeFirstTrack(MidiFile(0).Add(Track().Raw({0, 60, 100}).End()).Build());
    EXPECT_TRUE(noStatus.events.empty());
    EXPECT_EQ(noStatus.end, TrackEnd::kCutOff);
    // Bytes after the end of track are not read; a track without one ends with its chunk.
    const DecodedTrack ended = DecodeFirstTrack(MidiFile(0).Add(Track().End(30).NoteOn(5, 0, 60, 1)).Build());
    EXPECT_EQ(ended.events.size(), 1u);
    EXPECT_EQ(ended.lastTick, 30u);
    const DecodedTrack open = DecodeFirstTrack(MidiFile(0).Add(Track().NoteOn(7, 0, 60, 1)).Build());
    EXPECT_EQ(open.end, TrackEnd::kChunkEnd);
    EXPECT_EQ(open.lastTick, 7u);
}

TEST(TrackEvents, ReadDeltaTimesAndLengthsOfAtMostFourBytes) {
    // A delta of four bytes whose last has its top bit set ends there: 0x0FFFFFFF, then 0x40 is the status
    // byte's place, a data byte under the running status.
    Track track;
    track.NoteOn(0, 0, 60, 100).Raw({0xFF, 0xFF, 0xFF, 0xFF, 60, 0}).End();
    const DecodedTrack t = DecodeFirstTrack(MidiFile(0).Add(track).Build());
    ASSERT_EQ(t.events.size(), 3u);
    EXPECT_EQ(t.events[1].tick, 0x0FFFFFFFu);
    EXPECT_TRUE(t.events[1].EndsNote());
    // Ticks are counted in 64 bits: twenty such deltas pass 2^32.
    Track longTrack;
    for (int i = 0; i < 20; ++i) longTrack.At(0x0FFFFFFF, {0xB0, 7, 100});
    EXPECT_EQ(DecodeFirstTrack(MidiFile(0).Add(longTrack.End()).Build()).lastTick, 20ull * 0x0FFFFFFF);
}

SongTempo TempoOfSong(const Bytes& file) {
    const std::optional<SmfChunks> chunks = ScanChunks(file);
    SongTempoBuilder builder(chunks->header);
    const std::span<const TrackChunk> tracks = chunks->SongTracks();
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        TrackEvents events(file, tracks[i]);
        while (const std::optional<TrackEvent> event = events.Next()) builder.Add(i, *event);
    }
    return builder.Build(tracks.size());
}

TEST(SongTempoBuilder, SharesEveryTracksTempoInFormat1AndKeepsEachTracksOwnInFormat2) {
    // The second track halves the tempo at tick 96.
    const Track first = Track().NoteOn(0, 0, 60, 1).NoteOff(192, 0, 60).End();
    const Track second = Track().Tempo(96, 250000).End();
    const SongTempo shared = TempoOfSong(MidiFile(1, 96).Add(first).Add(second).Build());
    EXPECT_DOUBLE_EQ(shared.Of(0).SecondsAt(192), 0.75);
    const SongTempo own = TempoOfSong(MidiFile(2, 96).Add(first).Add(second).Build());
    EXPECT_DOUBLE_EQ(own.Of(0).SecondsAt(192), 1.0);
    EXPECT_DOUBLE_EQ(own.Of(1).SecondsAt(192), 0.75);
}

TEST(SongTempoBuilder, ReadsShortTempoEventsWithZerosAndPassesOverATempoOfZero) {
    // 0x07 0xA1 then a missing byte: 499968 microseconds; then a tempo of 0, which cannot stop the clock.
    const Track track = Track().Meta(0, 0x51, {0x07, 0xA1}).Tempo(96, 0).End(96);
    const SongTempo tempo = TempoOfSong(MidiFile(0, 96).Add(track).Build());
    ASSERT_EQ(tempo.Of(0).Changes().size(), 1u);
    EXPECT_EQ(tempo.Of(0).Changes()[0].microsPerQuarter, 0x07A100u);
    EXPECT_DOUBLE_EQ(tempo.Of(0).SecondsAt(192), 2 * 0.499968);
}

TEST(SongTempoBuilder, CountsTimeCodeInFramesWhateverTheTempoEventsSay) {
    // 25 frames of 40 ticks: a millisecond a tick. 29 frames (drop-frame) of 100 ticks: 30000/1001 frames a
    // second, so 3000 ticks last 1.001 s and 2997 ticks just under a second.
    const Track track = Track().Tempo(0, 250000).End(1000);
    EXPECT_DOUBLE_EQ(TempoOfSong(MidiFile(0, 0xE728).Add(track).Build()).Of(0).SecondsAt(1000), 1.0);
    const SongTempo dropFrame = TempoOfSong(MidiFile(0, 0xE364).Add(track).Build());
    EXPECT_DOUBLE_EQ(dropFrame.Of(0).SecondsAt(3000), 1.001);
    EXPECT_EQ(dropFrame.Of(0).WholeSecondsAt(2997), 0u);
    EXPECT_EQ(dropFrame.Of(0).WholeSecondsAt(3000), 1u);
    EXPECT_EQ(TempoOfSong(MidiFile(0, 0).Add(track).Build()).Of(0).SecondsAt(1000), 0.0);
}

}  // namespace
}  // namespace sonivex
