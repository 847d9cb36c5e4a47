// Plays a MidiSequence on a FluidSynth synthesizer, in step with the audio frames rendered from it.
//
// Time is counted in rendered frames only, so the position advances exactly as the sound does, whether the
// frames go to a sound card, to a silent clock or to a file. Not thread-safe: the owner serialises calls.
#pragma once

#include <cstdint>
#include <vector>

#include <fluidsynth/types.h>

#include "playback/player/midi_sequence.h"
#include "playback/silenced_tracks.h"

namespace sonivex {

// Sends `e` to `synth` as it is, a note-on included.
void SendMessage(fluid_synth_t* synth, const SequenceEvent& e);

class Sequencer {
public:
    enum class State { kStopped, kPlaying, kPaused };

    // `synth` stays owned by the caller and must outlive the sequencer.
    Sequencer(fluid_synth_t* synth, double sampleRate);

    // Replaces the song; stopped at tick 0, with the synthesizer reset.
    void Load(MidiSequence sequence);

    // Plays from `fromTick` until `toTick`, both clamped to the song. The synthesizer is reset first, then
    // receives the controller, program and system exclusive messages before `fromTick` that leave it as the
    // song has it there (a controller's earlier values that a later one replaces are left out), so the song
    // sounds as it would had it played from the start. Notes that begin at `toTick` are not started.
    void Start(std::int64_t fromTick, std::int64_t toTick);

    // Starts no note of `tracks` from now on, while playing too; their other messages are still sent, and
    // their note-offs, so that nothing hangs. Loading a song keeps the set.
    void Silence(SilencedTracks tracks) { silenced_ = std::move(tracks); }
    const SilencedTracks& Silenced() const { return silenced_; }

    // Holds the position and releases the sounding notes; only while playing.
    void Pause();

    // Ends playing or pausing at the current position and releases the sounding notes.
    void Stop();

    // Moves the position to `tick` (clamped to the song). While playing, it plays on from there to the same
    // stop tick, set up as Start sets it up; paused or stopped, it stays so, and the next Start from the
    // position sets up the controllers.
    void Seek(std::int64_t tick);

    // Renders `frames` stereo frames into `left` and `right` (each at least `frames` long), sending the
    // song's messages as their time comes; playing ends once the frames reach the stop tick.
    void Render(float* left, float* right, int frames);

    State GetState() const { return state_; }
    std::int64_t PositionTicks() const;
    std::int64_t LengthTicks() const { return sequence_.LengthTicks(); }

private:
    std::int64_t FrameOfTime(double seconds) const;
    std::int64_t FrameOfEvent(std::size_t index) const { return FrameOfTime(eventSeconds_[index]); }
    void Send(const SequenceEvent& e);
    void SendDueEvents();
    void ReleaseNotes();

    fluid_synth_t* synth_;
    double sampleRate_;
    MidiSequence sequence_;
    std::vector<double> eventSeconds_;
    SilencedTracks silenced_;

    State state_ = State::kStopped;
    std::int64_t rendered_ = 0;  // frames rendered since the sequencer was made
    std::int64_t position_ = 0;  // the position while not playing

    // The current play: from which frame and song time it runs, and where it ends.
    std::size_t next_ = 0;
    std::int64_t fromTick_ = 0;
    std::int64_t toTick_ = 0;
    std::int64_t startFrame_ = 0;
    double startSeconds_ = 0;
    std::int64_t stopFrame_ = 0;
};

}  // namespace sonivex
