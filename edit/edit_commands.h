// The editing commands that the window's buttons start. Each changes the working copy, then analyses it again.
// They take what the user chose as plain requests; the command layer fills those from the window and runs
// each command in the frame that every edit shares (the song closed for playback while it changes, Save
// offered afterwards).
#pragma once

#include <optional>
#include <string>
#include <variant>

#include "edit/edit_session.h"
#include "edit/rewrite_mode.h"
#include "edit/song_patch.h"

namespace sonivex {

// An editing command in two steps, so that its caller can put the song aside between them: Prepare checks
// the request and may refuse it (after a message, or silently when there is nothing to do); Apply changes the
// working copy and runs the report.
class EditingCommand {
public:
    virtual ~EditingCommand() = default;
    virtual bool Prepare(EditSession& s) = 0;
    virtual void Apply(EditSession& s) = 0;
};

// "Apply" in the Instruments frame: the song gets the instruments of a style of style1.dat.
struct StyleRequest {
    std::optional<int> style;  // the style's place in the list, which shows the lines of style1.dat holding "="
    int programLimit = 0;   // "Max #:" of the melody programs: the list's place, 0 for all
    int drumNoteLimit = 0;  // "Max #:" of the drum notes, the same way
    bool melody = false;    // the melody programs change
    bool drums = false;     // the drum notes change
};

class StyleCommand final : public EditingCommand {
public:
    explicit StyleCommand(const StyleRequest& request) : request_(request) {}
    bool Prepare(EditSession& s) override;
    void Apply(EditSession& s) override;

private:
    StyleRequest request_;
    std::string line_;  // the style's line of style1.dat
};

// "Drum<>Melody" turns a track from drums into melody or back; "Copy Track" appends a copy of a track on a
// free channel.
enum class TrackOperation { SwitchDrumMelody, CopyTrack };

class TrackCommand final : public EditingCommand {
public:
    TrackCommand(TrackOperation operation, int track) : operation_(operation), track_(track) {}
    bool Prepare(EditSession& s) override;
    void Apply(EditSession& s) override;

private:
    RewriteMode Mode() const {
        return operation_ == TrackOperation::SwitchDrumMelody ? RewriteMode::SwitchDrumMelody : RewriteMode::CopyTrack;
    }

    TrackOperation operation_;
    int track_;  // 1-based
};

// "Apply" in the Effects frame: a note or velocity effect on the chosen tracks.
struct EffectRequest {
    std::optional<int> effect;  // the place in the Effects list (EffectAt): the fixed effects, then curves
    bool notes = true;         // the effect changes the notes' keys; false: their velocities
    std::string step;          // the step factor as typed
    std::string value;         // the one velocity to change as typed ("0" for all)
    int pitchClass = 0;        // the one key to change: its place in the list, 0 for all
    int key = 0;               // the key of a key signature or minor scale: its place in the list
    bool trebleClef = false;   // the key signature's sign goes up
    bool bassClef = false;     // it goes down (wins over treble)
    int minorStep = 0;         // the minor scale's root: its place in the list
    int onlyTrack = 0;         // the one track to change, 0 for all
    bool melodyTracks = false; // tracks of melody change
    bool drumTracks = false;   // drum tracks change
};

class EffectCommand final : public EditingCommand {
public:
    explicit EffectCommand(const EffectRequest& request) : request_(request) {}
    bool Prepare(EditSession& s) override;
    void Apply(EditSession& s) override;

private:
    EffectRequest request_;
};

// Transpose: moves the melody notes by a number of semitones. Notes on the drum channel stay where
// they are.
inline constexpr int kMaxTransposeSemitones = 24;

struct TransposeRequest {
    int semitones = 0;            // -kMaxTransposeSemitones to kMaxTransposeSemitones; up when positive
    std::optional<int> onlyTrack;  // the one track to change, 1-based as the track list shows it; none for all
};

// Tempo: plays the song faster or slower by scaling every Set Tempo event.
inline constexpr int kMinTempoPercent = 25;
inline constexpr int kMaxTempoPercent = 400;

struct TempoRequest {
    int percent = 100;  // kMinTempoPercent to kMaxTempoPercent: 200 plays twice as fast
};

// The instrument of a track: every program change of the track chooses this program.
struct InstrumentRequest {
    int track = 0;    // 1-based, as the track list shows it
    int program = 0;  // 0 to 127, as the file stores it (the report shows it 1 higher)
};

// The three edits above change only the bytes they must (the writer's SongPatch). Prepare reads the working
// copy and plans the change: a request that would damage the song (a note pushed beyond the keys) is refused
// with a message that says why, one that changes nothing silently. Apply writes the plan and runs the report.
class PatchCommand final : public EditingCommand {
public:
    using Request = std::variant<TransposeRequest, TempoRequest, InstrumentRequest>;
    explicit PatchCommand(const Request& request) : request_(request) {}
    bool Prepare(EditSession& s) override;
    void Apply(EditSession& s) override;

private:
    Request request_;
    SongPatch patch_;
};

}  // namespace sonivex
