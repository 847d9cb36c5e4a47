#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include <fluidsynth.h>

#include "playback/player/sequencer.h"
#include "playback/player/synth_engine.h"
#include "test_song.h"

namespace sonivex::test {
namespace {

constexpr int kRate = static_cast<int>(SynthEngine::kSampleRate);

// A sequencer on its own synthesizer, driven frame by frame without any clock.
class SequencerRig {
public:
    explicit SequencerRig(const Bytes& song) : sequencer_(engine_.Synth(), SynthEngine::kSampleRate) {
        auto sequence = MidiSequence::Parse(song);
        EXPECT_TRUE(sequence);
        if (sequence) sequencer_.Load(std::move(*sequence));
    }

    Sequencer& operator*() { return sequencer_; }
    Sequencer* operator->() { return &sequencer_; }
    bool HasInstruments() const { return engine_.HasInstruments(); }
    fluid_synth_t* Synth() const { return engine_.Synth(); }

    // Renders the frames in blocks of an odd size, to show that nothing depends on block boundaries, and
    // returns the loudest sample.
    float Render(std::int64_t frames) {
        float loudest = 0;
        std::vector<float> left(333), right(333);
        while (frames > 0) {
            const int n = static_cast<int>(std::min<std::int64_t>(frames, 333));
            sequencer_.Render(left.data(), right.data(), n);
            for (int i = 0; i < n; ++i) loudest = std::max({loudest, std::fabs(left[i]), std::fabs(right[i])});
            frames -= n;
        }
        return loudest;
    }

    float RenderSeconds(double seconds) { return Render(std::llround(seconds * kRate)); }

private:
    SynthEngine engine_;
    Sequencer sequencer_;
};

TEST(Sequencer, AdvancesByTheRenderedFramesAlone) {
    SequencerRig s(ThreeNotes());
    s->Start(0, 288);
    EXPECT_EQ(s->PositionTicks(), 0);
    s.RenderSeconds(0.5);
    EXPECT_EQ(s->PositionTicks(), 96);
    s.Render(229);  // a tick lasts 229.6875 frames
    EXPECT_EQ(s->PositionTicks(), 96);
    s.Render(1);
    EXPECT_EQ(s->PositionTicks(), 97);
    EXPECT_EQ(s->GetState(), Sequencer::State::kPlaying);
}

TEST(Sequencer, FollowsTempoChanges) {
    // From tick 96 on, twice the speed.
    Track t;
    t.Tempo(0, 500000).Tempo(96, 250000).NoteOn(0, 0, 60, 100).NoteOff(192, 0, 60).End();
    SequencerRig s(MidiFile(0, 96).Add(t).Build());
    s->Start(0, 288);
    s.RenderSeconds(0.75);
    EXPECT_EQ(s->PositionTicks(), 192);
    s.RenderSeconds(0.125);
    EXPECT_EQ(s->PositionTicks(), 240);
}

TEST(Sequencer, StopsByItselfAtTheStopTick) {
    SequencerRig s(ThreeNotes());
    s->Start(96, 192);
    s.Render(kRate / 2 - 1);
    EXPECT_EQ(s->GetState(), Sequencer::State::kPlaying);
    EXPECT_EQ(s->PositionTicks(), 191);
    s.Render(1);
    EXPECT_EQ(s->GetState(), Sequencer::State::kStopped);
    EXPECT_EQ(s->PositionTicks(), 192);
    s.RenderSeconds(0.5);
    EXPECT_EQ(s->PositionTicks(), 192);
}

TEST(Sequencer, HoldsThePositionWhilePausedAndResumesThere) {
    SequencerRig s(ThreeNotes());
    s->Start(0, 288);
    s.RenderSeconds(0.6);
    s->Pause();
    EXPECT_EQ(s->GetState(), Sequencer::State::kPaused);
    const std::int64_t paused = s->PositionTicks();
    EXPECT_EQ(paused, 115);
    s.RenderSeconds(1.0);
    EXPECT_EQ(s->PositionTicks(), paused);

    s->Start(paused, 288);
    EXPECT_EQ(s->GetState(), Sequencer::State::kPlaying);
    EXPECT_EQ(s->PositionTicks(), paused);
    s.RenderSeconds(0.5);
    EXPECT_EQ(s->PositionTicks(), paused + 96);
    s.RenderSeconds(0.5);
    EXPECT_EQ(s->GetState(), Sequencer::State::kStopped);
    EXPECT_EQ(s->PositionTicks(), 288);
}

TEST(Sequencer, StopKeepsThePosition) {
    SequencerRig s(ThreeNotes());
    s->Start(0, 288);
    s.RenderSeconds(0.25);
    s->Stop();
    EXPECT_EQ(s->GetState(), Sequencer::State::kStopped);
    EXPECT_EQ(s->PositionTicks(), 48);
    s->Pause();
    EXPECT_EQ(s->GetState(), Sequencer::State::kStopped);
}

TEST(Sequencer, SeekingWhilePlayingPlaysOnFromTheNewPositionToTheSameEnd) {
    SequencerRig s(ThreeNotes());
    s->Start(0, 240);
    s.RenderSeconds(0.25);
    s->Seek(192);
    EXPECT_EQ(s->GetState(), Sequencer::State::kPlaying);
    EXPECT_EQ(s->PositionTicks(), 192);
    s.RenderSeconds(0.125);
    EXPECT_EQ(s->PositionTicks(), 216);
    s.RenderSeconds(0.125);
    EXPECT_EQ(s->GetState(), Sequencer::State::kStopped);
    EXPECT_EQ(s->PositionTicks(), 240);

    // Back to an earlier place, and past the song's end (clamped: the play ends there at once).
    s->Start(96, 288);
    s->Seek(10);
    EXPECT_EQ(s->PositionTicks(), 10);
    s->Seek(5000);
    EXPECT_EQ(s->GetState(), Sequencer::State::kStopped);
    EXPECT_EQ(s->PositionTicks(), 288);
}

TEST(Sequencer, SeekingWhilePausedOrStoppedOnlyMovesThePosition) {
    SequencerRig s(ThreeNotes());
    s->Start(0, 288);
    s.RenderSeconds(0.25);
    s->Pause();
    s->Seek(150);
    EXPECT_EQ(s->GetState(), Sequencer::State::kPaused);
    EXPECT_EQ(s->PositionTicks(), 150);
    s.RenderSeconds(0.5);
    EXPECT_EQ(s->PositionTicks(), 150);
    s->Start(s->PositionTicks(), 288);
    s.RenderSeconds(0.25);
    EXPECT_EQ(s->PositionTicks(), 198);

    s->Stop();
    s->Seek(-40);
    EXPECT_EQ(s->GetState(), Sequencer::State::kStopped);
    EXPECT_EQ(s->PositionTicks(), 0);
}

TEST(Sequencer, SeekingSetsUpTheControllersBeforeTheNewPosition) {
    // Silent at first, full volume from tick 100, a note at tick 192: a play that jumps from the start over
    // the volume change must still hear the note.
    Track t;
    t.At(0, {0xB0, 7, 0}).At(100, {0xB0, 7, 127}).NoteOn(92, 0, 60, 127).NoteOff(96, 0, 60).End();
    SequencerRig s(MidiFile(0, 96).Add(t).Build());
    if (!s.HasInstruments()) GTEST_SKIP() << "no sound font installed";
    s->Start(0, 288);
    s.Render(100);
    s->Seek(150);
    EXPECT_GT(s.RenderSeconds(0.75), 0.05f);
}

// The synthesizer's state of channel 0 that the song's controllers set, to compare a seek with a play.
std::vector<int> ChannelState(fluid_synth_t* synth) {
    std::vector<int> state;
    for (const int controller : {0, 7, 10, 11, 32, 64, 91}) {
        int value = -1;
        fluid_synth_get_cc(synth, 0, controller, &value);
        state.push_back(value);
    }
    int font = 0, bank = 0, program = 0, bend = 0;
    fluid_synth_get_program(synth, 0, &font, &bank, &program);
    fluid_synth_get_pitch_bend(synth, 0, &bend);
    state.insert(state.end(), {bank, program, bend});
    return state;
}

TEST(Sequencer, ASeekLeavesTheSynthesizerAsPlayingThereWould) {
    // Values replaced many times, bank selects read by the program change after each, a reset of all
    // controllers between a volume and the next, a pitch bend: what matters is the order as much as the last
    // value.
    Track t;
    t.At(0, {0xB0, 7, 20}).At(0, {0xB0, 0, 1}).At(0, {0xC0, 5}).At(10, {0xB0, 7, 90}).At(0, {0xB0, 10, 30});
    t.At(10, {0xB0, 0, 0}).At(0, {0xC0, 9}).At(0, {0xB0, 0, 1}).At(10, {0xB0, 11, 70}).At(0, {0xB0, 121, 0});
    t.At(10, {0xB0, 7, 55}).At(0, {0xE0, 0, 80}).At(0, {0xB0, 64, 127}).At(0, {0xB0, 91, 12});
    for (int i = 0; i < 50; ++i) t.At(1, {0xB0, 10, i});
    t.NoteOn(50, 0, 60, 100).NoteOff(96, 0, 60).End();
    const Bytes song = MidiFile(0, 96).Add(t).Build();

    SequencerRig played(song);
    played->Start(0, 288);
    played.Render(150 * 230);  // past tick 140
    SequencerRig sought(song);
    sought->Start(0, 288);
    sought->Seek(145);
    EXPECT_EQ(ChannelState(sought.Synth()), ChannelState(played.Synth()));
}

TEST(Sequencer, EndsAtOnceForAnEmptyRange) {
    SequencerRig s(ThreeNotes());
    s->Start(96, 96);
    EXPECT_EQ(s->GetState(), Sequencer::State::kStopped);
    EXPECT_EQ(s->PositionTicks(), 96);
}

TEST(Sequencer, SoundsTheNotesAndFallsSilentAfterThem) {
    SequencerRig s(ThreeNotes());
    if (!s.HasInstruments()) GTEST_SKIP() << "no sound font installed";
    s->Start(0, 288);
    EXPECT_GT(s.RenderSeconds(1.5), 0.05f);
    s.RenderSeconds(3.0);  // the release and the reverb die away
    EXPECT_LT(s.RenderSeconds(0.1), 0.001f);
}

TEST(Sequencer, SetsUpControllersBeforeTheStartTick) {
    // The volume goes to 0 at tick 0 and a note starts at tick 96. Played from tick 48, the note must stay
    // silent: the volume message lies before the start and is sent all the same.
    Track muted;
    muted.At(0, {0xB0, 7, 0}).NoteOn(96, 0, 60, 127).NoteOff(96, 0, 60).End();
    SequencerRig s(MidiFile(0, 96).Add(muted).Build());
    if (!s.HasInstruments()) GTEST_SKIP() << "no sound font installed";
    s->Start(48, 192);
    EXPECT_LT(s.RenderSeconds(0.75), 0.001f);

    // The same song at full volume is heard, so the silence above was the controller's doing.
    Track loud;
    loud.At(0, {0xB0, 7, 127}).NoteOn(96, 0, 60, 127).NoteOff(96, 0, 60).End();
    SequencerRig t(MidiFile(0, 96).Add(loud).Build());
    t->Start(48, 192);
    EXPECT_GT(t.RenderSeconds(0.75), 0.05f);
}

TEST(Sequencer, LeavesANoteAtTheStopTickUnplayed) {
    // The only note starts at tick 96, where the range ends.
    Track t;
    t.NoteOn(96, 0, 60, 127).NoteOff(96, 0, 60).End();
    SequencerRig s(MidiFile(0, 96).Add(t).Build());
    if (!s.HasInstruments()) GTEST_SKIP() << "no sound font installed";
    s->Start(0, 96);
    EXPECT_LT(s.RenderSeconds(1.0), 0.001f);
    s->Start(96, 192);
    EXPECT_GT(s.RenderSeconds(0.5), 0.05f);
}

// Two tracks, each a loud note at once on its own channel: the first on channel 1, the second on channel 2.
Bytes TwoLoudTracks() {
    Track first;
    first.Tempo(0, 500000).Program(0, 0, 16).NoteOn(0, 0, 60, 127).NoteOff(192, 0, 60).End();
    Track second;
    second.Program(0, 1, 16).NoteOn(0, 1, 67, 127).NoteOff(192, 1, 67).End();
    return MidiFile(1, 96).Add(first).Add(second).Build();
}

TEST(Sequencer, StartsNoNoteOfASilencedTrack) {
    SequencerRig s(TwoLoudTracks());
    if (!s.HasInstruments()) GTEST_SKIP() << "no sound font installed";
    s->Silence(SilencedTracks({0, 1}));
    s->Start(0, 192);
    EXPECT_LT(s.RenderSeconds(1.0), 0.001f);
    EXPECT_EQ(s->GetState(), Sequencer::State::kStopped);  // the song's time runs all the same

    // One of the two silenced: the other is heard.
    s->Silence(SilencedTracks({0}));
    s->Start(0, 192);
    EXPECT_GT(s.RenderSeconds(0.5), 0.05f);
    // The set holds from now on, also while the song plays: from tick 96 nothing new would start anyway, and
    // a new load keeps it.
    s->Load(*MidiSequence::Parse(TwoLoudTracks()));
    EXPECT_EQ(s->Silenced(), SilencedTracks({0}));
}

TEST(Sequencer, ASilencedTrackKeepsItsControllersSoTheOthersSoundAsInTheSong) {
    // The first track turns channel 1's volume to 0 and plays nothing; the second plays on channel 1. Silencing
    // the first must not bring the volume back: the second stays as quiet as in the whole song.
    Track conductor;
    conductor.At(0, {0xB0, 7, 0}).NoteOn(0, 0, 48, 127).NoteOff(96, 0, 48).End();
    Track melody;
    melody.NoteOn(0, 0, 60, 127).NoteOff(96, 0, 60).End();
    SequencerRig s(MidiFile(1, 96).Add(conductor).Add(melody).Build());
    if (!s.HasInstruments()) GTEST_SKIP() << "no sound font installed";
    s->Silence(SilencedTracks({0}));
    s->Start(0, 96);
    EXPECT_LT(s.RenderSeconds(0.75), 0.001f);
}

}  // namespace
}  // namespace sonivex::test
