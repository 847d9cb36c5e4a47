#include <gtest/gtest.h>

#include "playback/player/port_sequencer.h"
#include "port_recorder.h"
#include "test_song.h"

namespace sonivex::test {
namespace {

using Wire = std::vector<std::uint8_t>;

// Two tracks at 96 ticks a quarter: 120 beats a minute for the first quarter, then 60. Track 0 plays a piano on
// channel 0 (notes at 0 s and 0.5 s, a controller at 1.5 s), track 1 a drum on channel 9 with a system
// exclusive message; the song ends at tick 288, 2.5 s.
Bytes TempoChangeSong() {
    Track t0;
    t0.Tempo(0, 500000).Program(0, 0, 5);
    t0.NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60);
    t0.Tempo(0, 1000000).NoteOn(0, 0, 62, 90).NoteOff(96, 0, 62);
    t0.At(0, {0xB0, 7, 80}).End(96);
    Track t1;
    t1.At(0, {0xF0, 3, 0x7E, 0x7F, 0xF7}).NoteOn(48, 9, 36, 127).NoteOff(48, 9, 36).End();
    return MidiFile(1, kTicksPerQuarter).Add(t0).Add(t1).Build();
}

class PortSequencerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::optional<MidiSequence> sequence = MidiSequence::Parse(TempoChangeSong());
        ASSERT_TRUE(sequence);
        sequencer_.Load(std::move(*sequence), out_);
        log_->sent.clear();
    }
    // Sends what is due at `now`, the recorder stamping it with that time.
    void At(double now) {
        log_->clock = now;
        sequencer_.SendDue(now, out_);
    }
    std::vector<Wire> Bytes() const {
        std::vector<Wire> bytes;
        for (const SentMessage& m : log_->sent) bytes.push_back(m.bytes);
        return bytes;
    }

    std::shared_ptr<PortLog> log_ = std::make_shared<PortLog>();
    RecordingOutput out_{log_, false};
    PortSequencer sequencer_;
};

const Wire kNotesOff0{0xB0, 123, 0}, kReset0{0xB0, 121, 0}, kNotesOff9{0xB9, 123, 0}, kReset9{0xB9, 121, 0};

TEST_F(PortSequencerTest, SendsEveryMessageAtItsTimeThroughATempoChange) {
    log_->clock = 10.0;
    sequencer_.Start(0, sequencer_.LengthTicks(), 10.0, out_);
    // Each message's time after the start at 10 s, as the song's tempo map gives it.
    const std::vector<std::pair<double, Wire>> expected = {
        {0.0, {0xC0, 5}},       {0.0, {0x90, 60, 100}},  {0.0, {0xF0, 0x7E, 0x7F, 0xF7}},
        {0.25, {0x99, 36, 127}}, {0.5, {0x80, 60, 64}},  {0.5, {0x90, 62, 90}},
        {0.5, {0x89, 36, 64}},  {1.5, {0x80, 62, 64}},   {1.5, {0xB0, 7, 80}}};
    for (const double time : {0.25, 0.5, 1.5}) {  // the time-0 messages went with the start
        ASSERT_TRUE(sequencer_.NextTime());
        EXPECT_NEAR(*sequencer_.NextTime() - 10.0, time, 1e-9);
        const std::size_t before = log_->sent.size();
        At(10.0 + time - 1e-6);
        EXPECT_EQ(log_->sent.size(), before) << "nothing is sent before its time";
        At(10.0 + time);
    }
    ASSERT_EQ(log_->sent.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(log_->sent[i].bytes, expected[i].second) << "message " << i;
        EXPECT_NEAR(log_->sent[i].time - 10.0, expected[i].first, 1e-9) << "message " << i;
    }
    EXPECT_EQ(sequencer_.GetState(), PortSequencer::State::kPlaying);
    EXPECT_NEAR(*sequencer_.NextTime(), 12.5, 1e-9);  // the end of the song
    At(12.5);
    EXPECT_EQ(sequencer_.GetState(), PortSequencer::State::kStopped);
    EXPECT_EQ(sequencer_.PositionTicks(12.5), 288);
    // Reaching the end releases the song's channels, and only them.
    const std::vector<Wire> all = Bytes();
    const std::vector<Wire> release{kNotesOff0, kReset0, kNotesOff9, kReset9};
    EXPECT_EQ(std::vector<Wire>(all.end() - 4, all.end()), release);
    EXPECT_EQ(sequencer_.NextTime(), std::nullopt);
}

TEST_F(PortSequencerTest, CountsThePositionOnTheSongsClock) {
    sequencer_.Start(0, 288, 0.0, out_);
    EXPECT_EQ(sequencer_.PositionTicks(0.25), 48);
    EXPECT_EQ(sequencer_.PositionTicks(1.0), 96 + 48);  // at 60 beats a minute after the first quarter
    sequencer_.Pause(1.0, out_);
    EXPECT_EQ(sequencer_.GetState(), PortSequencer::State::kPaused);
    EXPECT_EQ(sequencer_.PositionTicks(5.0), 144);
}

TEST_F(PortSequencerTest, StopPauseAndANewSongReleaseTheChannelsTheSongUses) {
    const std::vector<Wire> release{kNotesOff0, kReset0, kNotesOff9, kReset9};
    sequencer_.Start(0, 288, 0.0, out_);
    log_->sent.clear();
    sequencer_.Pause(0.1, out_);
    EXPECT_EQ(Bytes(), release);

    log_->sent.clear();
    sequencer_.Start(0, 288, 1.0, out_);
    log_->sent.clear();
    sequencer_.Stop(1.1, out_);
    EXPECT_EQ(Bytes(), release);

    log_->sent.clear();
    sequencer_.Stop(1.2, out_);  // nothing was sent since: nothing can sound
    EXPECT_EQ(Bytes(), std::vector<Wire>{});

    sequencer_.Start(0, 288, 2.0, out_);
    log_->sent.clear();
    sequencer_.Load(*MidiSequence::Parse(ThreeNotes()), out_);  // releases the old song's channels
    EXPECT_EQ(Bytes(), release);
    sequencer_.Start(0, 288, 3.0, out_);
    log_->sent.clear();
    sequencer_.Stop(3.1, out_);
    EXPECT_EQ(Bytes(), (std::vector<Wire>{kNotesOff0, kReset0}));
}

TEST_F(PortSequencerTest, StartingLaterSendsTheProgramsAndControllersBeforeItButNoNotes) {
    sequencer_.Start(96, 288, 0.0, out_);
    const std::vector<Wire> expected{{0xC0, 5}, {0xF0, 0x7E, 0x7F, 0xF7}, {0x80, 60, 64}, {0x90, 62, 90},
                                     {0x89, 36, 64}};
    // The note-offs at tick 96 itself are the start tick's messages, sent at once.
    EXPECT_EQ(Bytes(), expected);
    EXPECT_NEAR(*sequencer_.NextTime(), 1.0, 1e-9);  // the note-off at tick 192, a second later at 60 a minute
}

TEST_F(PortSequencerTest, ASilencedTrackSendsItsNoteOffsAndOtherMessagesButNoNoteOns) {
    sequencer_.Silence(SilencedTracks({1}));
    sequencer_.Start(0, 288, 0.0, out_);
    At(3.0);
    for (const Wire& bytes : Bytes()) EXPECT_NE(bytes, (Wire{0x99, 36, 127}));
    const std::vector<Wire> all = Bytes();
    EXPECT_NE(std::find(all.begin(), all.end(), Wire{0x89, 36, 64}), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), Wire{0xF0, 0x7E, 0x7F, 0xF7}), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), Wire{0x90, 62, 90}), all.end());
}

TEST_F(PortSequencerTest, StopsAtTheStopTickWithoutTheNotesThatBeginThere) {
    sequencer_.Start(0, 96, 0.0, out_);
    At(0.5);
    const std::vector<Wire> all = Bytes();
    EXPECT_EQ(std::find(all.begin(), all.end(), Wire{0x90, 62, 90}), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), Wire{0x80, 60, 64}), all.end());
    EXPECT_EQ(sequencer_.GetState(), PortSequencer::State::kStopped);
    EXPECT_EQ(sequencer_.PositionTicks(9.0), 96);
}

TEST_F(PortSequencerTest, SeeksWhilePlayingGoOnFromTheNewTickAndHeldPositionsStayHeld) {
    sequencer_.Start(0, 288, 0.0, out_);
    sequencer_.Seek(192, 0.1, out_);
    EXPECT_EQ(sequencer_.GetState(), PortSequencer::State::kPlaying);
    EXPECT_EQ(sequencer_.PositionTicks(0.1), 192);
    EXPECT_NEAR(*sequencer_.NextTime(), 1.1, 1e-9);  // tick 192's messages went at once; the end is a second on
    sequencer_.Pause(0.2, out_);
    sequencer_.Seek(10000, 0.3, out_);
    EXPECT_EQ(sequencer_.GetState(), PortSequencer::State::kPaused);
    EXPECT_EQ(sequencer_.PositionTicks(0.3), 288);  // clamped to the song
    sequencer_.Stop(0.4, out_);
    sequencer_.Seek(-5, 0.5, out_);
    EXPECT_EQ(sequencer_.PositionTicks(0.5), 0);
    EXPECT_EQ(sequencer_.GetState(), PortSequencer::State::kStopped);
}

TEST_F(PortSequencerTest, AnOutputThatRefusesAMessageEndsThePlayWhereItWas) {
    sequencer_.Start(0, 288, 0.0, out_);
    log_->refuse = true;
    At(0.5);
    EXPECT_EQ(sequencer_.GetState(), PortSequencer::State::kStopped);
    EXPECT_EQ(sequencer_.PositionTicks(1.0), 48);  // the drum's note at tick 48 was the first refused
    EXPECT_EQ(sequencer_.NextTime(), std::nullopt);
}

}  // namespace
}  // namespace sonivex::test
