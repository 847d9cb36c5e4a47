// The piano roll as plain geometry: where each note, ruler mark, key, drum lane and legend entry of a song goes
// in a picture of a given size, and which notes the last command changed. It knows nothing of how the picture is
// drawn; the renderer (piano_roll_renderer.h) paints what it lays out, so a test can check every place without
// a display.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/timeline.h"

namespace sonivex {

struct RollFrame;

struct RollRect {
    double x = 0, y = 0, w = 0, h = 0;
    double Right() const { return x + w; }
    double Bottom() const { return y + h; }
    bool Contains(double px, double py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// A rectangle on whole pixels: its edges rounded, at least one pixel each way. The renderer fills shapes on
// these; whole-pixel fills take the painter's fastest path.
struct RollPixels {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // x1 and y1 just past the last pixel
};
RollPixels PixelsOf(const RollRect& r);

struct RollColor {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const RollColor&) const = default;
};

// The texts that the picture shows beside the notes; the caller looks them up (genmidi.ini) so the model
// reads no file.
struct RollNames {
    std::vector<std::string> instruments;  // by track; a missing entry shows no instrument
    std::array<std::string, 128> drums;    // lane name by key; an empty name shows as "Key N"
};

// Which part of the song a picture shows and how large it is.
struct RollView {
    int width = 1600;
    int height = 900;
    double firstTick = 0;      // the tick at the left edge of the notes
    double ticksPerPixel = 0;  // 0 or less: the whole song fits the width
    std::vector<bool> hiddenTracks;             // by track; a track beyond its end is shown
    std::optional<std::uint32_t> cursorTick;    // the playing position, when the song plays
};

enum class RollShapeKind {
    Note,     // a melody note as it stands: a bar
    Drum,     // a drum note as it stands: a diamond in the rectangle
    OldNote,  // where a changed melody note stood before the last command: drawn faint
    OldDrum,  // where a changed drum note stood before the last command: drawn faint
};

struct RollShape {
    RollRect rect;
    RollColor fill;
    RollShapeKind kind = RollShapeKind::Note;
    bool changed = false;  // outlined: the last command changed or added this note
    std::int32_t track = 0;
    int row = 0;  // the key row or drum lane it lies in, counted from the top
};

// A mark of a ruler: a bar, beat or time line at x, with its label (empty for unlabelled marks).
struct RollMark {
    double x = 0;
    std::string label;
    bool major = false;  // a bar start, or a labelled second
};

// One key row of the keyboard at the left, bottom to top.
struct RollKeyRow {
    RollRect rect;  // the key on the keyboard; the row runs on to the right across the notes
    int key = 0;
    bool black = false;
    std::string label;  // "C4" on each C, else empty
};

// One drum lane: a row for one drum key, named from genmidi.ini.
struct RollLane {
    RollRect rect;  // the name column at the left; the lane runs on to the right across the notes
    int key = 0;
    std::string name;
};

struct RollLegendEntry {
    RollRect tickBox;   // a click here shows or hides the track
    RollRect swatch;    // the track's colour
    RollRect textArea;
    std::int32_t track = 0;
    bool shown = true;
    RollColor color;
    std::string text;   // "1  Name  (Instrument)"
};

// Everything the renderer draws, in pixels of a picture of `width` x `height`.
struct RollPicture {
    int width = 0;
    int height = 0;
    RollRect barRuler;      // bars and beats
    RollRect secondsRuler;  // minutes and seconds
    RollRect notes;         // where the notes go: melody rows above, drum lanes below
    RollRect keyboard;      // the keys and lane names at the left of the notes
    RollRect legend;        // the track list at the right
    std::vector<RollMark> bars;     // labelled with the bar number
    std::vector<RollMark> beats;    // beats that are not bar starts
    std::vector<RollMark> seconds;  // labelled "m:ss"
    std::vector<RollKeyRow> keys;
    std::vector<RollLane> lanes;
    std::vector<RollShape> shapes;  // in drawing order: old places, then notes, changed notes last
    std::vector<RollLegendEntry> legendEntries;
    std::string legendTitle;
    std::string changeSummary;  // how many notes the last command changed; empty when none is outlined
    std::optional<double> cursorX;
    std::string message;  // shown over an empty picture (no song, no notes)
};

// A song prepared for drawing: its timeline and, when a command has run, the timeline before that command,
// with the notes that the command changed worked out once. Layout then places only what a view shows.
class PianoRollModel {
public:
    PianoRollModel() = default;

    // Takes the song as it stands and the song before the last command (null when none ran since Open).
    // A note is changed when the previous song has no note of the same track and order, or when that note's
    // key, velocity, channel, start or end differs; a previous note with no counterpart left is shown faint.
    void SetSong(Timeline current, const Timeline* previous, RollNames names);

    const Timeline& Song() const { return song_; }
    const RollNames& Names() const { return names_; }

    // The last tick of any note or event, old places included; at least 1.
    std::uint32_t LastTick() const { return lastTick_; }

    // Notes the last command changed or added (outlined) and old places shown faint.
    std::size_t ChangedCount() const { return changed_.size(); }
    std::size_t OldPlaceCount() const { return oldPlaces_.size(); }

    // The lowest and highest melody key shown (the keys the song uses, with a little room); equal to -1 when
    // the song has no melody notes.
    int LowKey() const { return lowKey_; }
    int HighKey() const { return highKey_; }
    const std::vector<int>& DrumKeys() const { return drumKeys_; }  // lanes bottom to top

    // The ticks per pixel at which the whole song fits a picture of `width`.
    double FitTicksPerPixel(int width) const;

    // Where the playing cursor at `tick` stands in the picture of `view`; none when the tick is not shown.
    // The same place as Layout gives, without laying out the notes.
    std::optional<double> CursorX(const RollView& view, std::uint32_t tick) const;

    // The width in pixels of the notes area of a picture of `width`.
    static double NotesWidth(int width);

    // Lays out the picture of `view`: the rulers, keyboard, lanes, legend, and the shapes of the notes in its
    // time range (others are left out). Never fails: an empty song gives a picture with a message.
    RollPicture Layout(const RollView& view) const;

    // The colour of a track's notes at a velocity (1..127): the track's hue, brighter when louder.
    static RollColor NoteColor(std::int32_t track, int velocity);
    // The track's colour at full strength, for the legend.
    static RollColor TrackColor(std::int32_t track);

    // The track whose legend tick box holds the point, if any.
    static std::optional<std::int32_t> LegendTrackAt(const RollPicture& picture, double x, double y);

private:
    // One stretch of the tempo map: from `tick` on, `secondsPerTick`, reaching `seconds` at `tick`.
    struct TempoStretch {
        double tick;
        double seconds;
        double secondsPerTick;
    };
    // One stretch of the metre: from `tick` on, bars of `barTicks` made of beats of `beatTicks`; the first bar
    // of the stretch has the number `firstBar`.
    struct MetreStretch {
        double tick;
        double barTicks;
        double beatTicks;
        std::int64_t firstBar;
    };

    // Parts of SetSong: the notes the last command changed and the old places, the index of each track's
    // notes, and the keys and drum lanes shown.
    void FindChanges(const Timeline& previous);
    void IndexTracks(std::int32_t trackCount);
    void FindKeysAndLanes();

    // Parts of Layout, in drawing order.
    RollFrame LayOutAreas(const RollView& view, RollPicture& p) const;
    void LayOutKeysAndLanes(const RollFrame& frame, RollPicture& p) const;
    void LayOutNotes(const RollFrame& frame, RollPicture& p) const;
    void AddUnchangedNotes(const RollFrame& frame, std::vector<RollShape>& shapes) const;
    void LayOutBars(const RollFrame& frame, RollPicture& p) const;
    static void MarkBarsAndBeats(const RollFrame& frame, const MetreStretch& stretch, double until, RollPicture& p);
    void LayOutSeconds(const RollFrame& frame, RollPicture& p) const;
    void LayOutLegend(const RollFrame& frame, RollPicture& p) const;

    void BuildTempoStretches();
    void BuildMetreStretches();
    double SecondsAtTick(double tick) const;
    double TickAtSeconds(double seconds) const;

    Timeline song_;
    RollNames names_;
    std::vector<TimedNote> oldPlaces_;        // previous notes that moved or went, sorted by (track, start)
    std::vector<std::size_t> changed_;        // indexes into song_.notes of changed notes, in order
    std::vector<bool> isChanged_;             // by index into song_.notes
    std::vector<std::uint32_t> trackFirst_;   // by track: index of its first note in song_.notes
    std::vector<std::uint32_t> trackEndMax_;  // by note index: the latest end of the track's notes up to it
    std::vector<TempoStretch> tempo_;
    std::vector<MetreStretch> metre_;
    std::vector<int> drumKeys_;
    std::array<int, 128> laneOfKey_{};        // drum lane by key, -1 for none
    int lowKey_ = -1;
    int highKey_ = -1;
    std::uint32_t lastTick_ = 1;
};

}  // namespace sonivex
