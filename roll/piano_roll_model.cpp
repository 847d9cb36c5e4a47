#include "piano_roll_model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <tuple>
#include <utility>

#include "midi/drums.h"

namespace sonivex {

namespace {

constexpr double kBarRulerHeight = 22;
constexpr double kSecondsRulerHeight = 18;
constexpr double kSectionGap = 6;  // between the melody rows and the drum lanes
constexpr int kKeyMargin = 2;      // keys shown above and below the ones the song uses
constexpr int kLeastKeys = 12;
constexpr double kLeastLabelSpacing = 40;   // pixels between labelled bars
constexpr double kLeastSecondsSpacing = 56;  // pixels between labelled times
constexpr double kLeastBeatSpacing = 5;      // beats closer than this are not marked
constexpr double kMergeWidth = 3;            // bars narrower than this merge with the next note of their key
constexpr double kLegendTitleHeight = 30;
constexpr double kLegendFootHeight = 52;

// A song of this file format is a set of songs, one per track, each with its own tempo map and metre: the
// rulers follow the first track's.
constexpr int kSongPerTrackFormat = 2;

constexpr RollColor kPalette[] = {
    {0x4e, 0xa8, 0xff, 255}, {0xff, 0x8c, 0x42, 255}, {0x5c, 0xd6, 0x6a, 255}, {0xff, 0x5c, 0x8a, 255},
    {0xb2, 0x7c, 0xff, 255}, {0x3d, 0xd9, 0xd6, 255}, {0xff, 0xd0, 0x4a, 255}, {0xa0, 0xe0, 0x4a, 255},
    {0xff, 0x6e, 0xd0, 255}, {0x8a, 0xb4, 0xd0, 255}, {0xe0, 0xa0, 0x70, 255}, {0x70, 0x90, 0xff, 255},
    {0x50, 0xc0, 0x90, 255}, {0xff, 0xa0, 0xa0, 255}, {0xc0, 0xc0, 0x60, 255}, {0x90, 0x70, 0xc0, 255},
};

bool IsDrum(const TimedNote& note) { return IsDrumChannel(note.channel); }

double LeftColumnWidth(int width) { return std::clamp(width / 9.0, 40.0, 150.0); }
double LegendWidth(int width) { return width < 480 ? 0.0 : std::min(280.0, width / 5.0); }

// "C4" for key 60, as most editors name middle C.
std::string KeyLabel(int key) { return "C" + std::to_string(key / 12 - 1); }

bool IsBlackKey(int key) {
    const int pitch = key % 12;
    return pitch == 1 || pitch == 3 || pitch == 6 || pitch == 8 || pitch == 10;
}

std::string TimeLabel(double seconds) {
    const long long whole = std::llround(seconds);
    const long long hours = whole / 3600;
    const long long minutes = whole / 60 % 60;
    const long long secs = whole % 60;
    const auto two = [](long long n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    if (hours > 0) return std::to_string(hours) + ":" + two(minutes) + ":" + two(secs);
    return std::to_string(minutes) + ":" + two(secs);
}

// Shapes of one kind come out merged where they would crowd one pixel: a narrow bar that the next note of its
// key touches grows to cover it, and a diamond on a pixel already drawn is left out, so a whole long song costs
// about one shape per pixel of each key row.
class ShapeSink {
public:
    ShapeSink(std::vector<RollShape>& out, RollShapeKind bar, RollShapeKind diamond, bool changed)
        : out_(out), bar_(bar), diamond_(diamond), changed_(changed) {}

    void StartTrack() {
        last_.fill(-1);
        lastVelocity_.fill(0);
    }

    void Add(const TimedNote& note, const RollRect& rect, bool drum, int row) {
        const int key = note.key;
        const std::ptrdiff_t last = last_[static_cast<std::size_t>(key)];
        if (last >= 0) {
            RollShape& previous = out_[static_cast<std::size_t>(last)];
            if (drum && rect.x - previous.rect.x < 1.0) return;
            if (!drum && previous.rect.w < kMergeWidth && rect.x <= previous.rect.Right() + 1.0) {
                previous.rect.w = std::max(previous.rect.Right(), rect.Right()) - previous.rect.x;
                if (note.velocity > lastVelocity_[static_cast<std::size_t>(key)]) {
                    lastVelocity_[static_cast<std::size_t>(key)] = note.velocity;
                    previous.fill = PianoRollModel::NoteColor(note.track, note.velocity);
                }
                return;
            }
        }
        RollShape shape;
        shape.rect = rect;
        shape.kind = drum ? diamond_ : bar_;
        shape.changed = changed_;
        shape.track = note.track;
        shape.row = row;
        shape.fill = PianoRollModel::NoteColor(note.track, note.velocity);
        last_[static_cast<std::size_t>(key)] = static_cast<std::ptrdiff_t>(out_.size());
        lastVelocity_[static_cast<std::size_t>(key)] = note.velocity;
        out_.push_back(shape);
    }

private:
    std::vector<RollShape>& out_;
    RollShapeKind bar_;
    RollShapeKind diamond_;
    bool changed_;
    std::array<std::ptrdiff_t, 128> last_{};
    std::array<int, 128> lastVelocity_{};
};

std::pair<std::int32_t, std::uint32_t> TrackAndOrder(const TimedNote& note) { return {note.track, note.order}; }

// The indexes of the notes in (track, order) order. A track's events come in time order, so the timeline's
// (track, start, order) order is nearly always that already; only then is no sort needed.
std::vector<std::size_t> ByTrackAndOrder(const std::vector<TimedNote>& notes) {
    std::vector<std::size_t> order(notes.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    const auto less = [&](std::size_t a, std::size_t b) { return TrackAndOrder(notes[a]) < TrackAndOrder(notes[b]); };
    if (!std::is_sorted(order.begin(), order.end(), less)) std::sort(order.begin(), order.end(), less);
    return order;
}

// Where notes crowd (a whole long song in one view), many narrow shapes land on the same pixels of the same
// row, and only the last drawn is seen: the others are dropped, so drawing costs no more than the picture
// has pixels. A narrow shape is kept when it is the last on at least one pixel of its row.
void DropHiddenShapes(RollPicture& p, int rows) {
    constexpr int kNarrow = 3;
    if (rows <= 0 || p.shapes.size() < static_cast<std::size_t>(p.width)) return;  // too few to crowd
    const auto width = static_cast<std::size_t>(p.width);
    std::vector<std::uint32_t> top(width * static_cast<std::size_t>(rows), UINT32_MAX);
    const auto cellsOf = [&](const RollShape& shape, auto&& visit) {
        const RollPixels px = PixelsOf(shape.rect);
        if (px.x1 - px.x0 > kNarrow || shape.row < 0 || shape.row >= rows) return false;
        for (int x = std::max(0, px.x0); x < std::min(p.width, px.x1); ++x) {
            visit(static_cast<std::size_t>(shape.row) * width + static_cast<std::size_t>(x));
        }
        return true;
    };
    for (std::size_t i = 0; i < p.shapes.size(); ++i) {
        cellsOf(p.shapes[i], [&](std::size_t cell) { top[cell] = static_cast<std::uint32_t>(i); });
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < p.shapes.size(); ++i) {
        bool seen = false;
        const bool narrow = cellsOf(p.shapes[i], [&](std::size_t cell) { seen = seen || top[cell] == i; });
        if (narrow && !seen) continue;
        p.shapes[kept++] = p.shapes[i];
    }
    p.shapes.resize(kept);
}

}  // namespace

RollPixels PixelsOf(const RollRect& r) {
    // Rounded half up; kept far inside int's range whatever the view.
    const auto round = [](double v) { return static_cast<int>(std::floor(std::clamp(v, -1e6, 1e6) + 0.5)); };
    RollPixels p;
    p.x0 = round(r.x);
    p.y0 = round(r.y);
    p.x1 = std::max(p.x0 + 1, round(r.Right()));
    p.y1 = std::max(p.y0 + 1, round(r.Bottom()));
    return p;
}

double PianoRollModel::NotesWidth(int width) {
    return std::max(1.0, width - LeftColumnWidth(width) - LegendWidth(width));
}

RollColor PianoRollModel::TrackColor(std::int32_t track) {
    const std::size_t count = sizeof kPalette / sizeof kPalette[0];
    return kPalette[static_cast<std::size_t>(track < 0 ? 0 : track) % count];
}

RollColor PianoRollModel::NoteColor(std::int32_t track, int velocity) {
    const RollColor base = TrackColor(track);
    // Quiet notes keep a third of the colour so they stay visible on the dark background; in 256ths.
    const int strength = 90 + 166 * std::clamp(velocity, 0, 127) / 127;
    const auto scale = [strength](std::uint8_t c) { return static_cast<std::uint8_t>(c * strength >> 8); };
    return {scale(base.r), scale(base.g), scale(base.b), 255};
}

std::optional<std::int32_t> PianoRollModel::LegendTrackAt(const RollPicture& picture, double x, double y) {
    for (const RollLegendEntry& entry : picture.legendEntries) {
        // The whole row answers, not only the small box: it is easier to hit.
        const RollRect row{entry.tickBox.x, entry.textArea.y, entry.textArea.Right() - entry.tickBox.x,
                           entry.textArea.h};
        if (row.Contains(x, y)) return entry.track;
    }
    return std::nullopt;
}

void PianoRollModel::SetSong(Timeline current, const Timeline* previous, RollNames names) {
    song_ = std::move(current);
    // The lookups below need the notes by (track, start, order), as the timeline gives them.
    const auto byTrackAndStart = [](const TimedNote& a, const TimedNote& b) {
        return std::tie(a.track, a.startTick, a.order) < std::tie(b.track, b.startTick, b.order);
    };
    if (!std::is_sorted(song_.notes.begin(), song_.notes.end(), byTrackAndStart)) {
        std::sort(song_.notes.begin(), song_.notes.end(), byTrackAndStart);
    }
    names_ = std::move(names);
    oldPlaces_.clear();
    changed_.clear();
    isChanged_.assign(song_.notes.size(), false);

    std::int32_t trackCount = static_cast<std::int32_t>(song_.tracks.size());
    for (const TimedNote& note : song_.notes) trackCount = std::max(trackCount, note.track + 1);
    if (previous != nullptr) {
        FindChanges(*previous);
        for (const TimedNote& note : oldPlaces_) trackCount = std::max(trackCount, note.track + 1);
    }
    for (std::size_t i = 0; i < song_.notes.size(); ++i) {
        if (isChanged_[i]) changed_.push_back(i);
    }
    IndexTracks(trackCount);
    FindKeysAndLanes();
    BuildTempoStretches();
    BuildMetreStretches();
}

void PianoRollModel::FindChanges(const Timeline& previous) {
    // Match by (track, order): the order of a note-on among its track's events survives edits that change
    // the note's bytes in place. Both lists are walked side by side in (track, order) order.
    const std::vector<std::size_t> now = ByTrackAndOrder(song_.notes);
    const std::vector<std::size_t> before = ByTrackAndOrder(previous.notes);
    std::size_t b = 0;
    for (const std::size_t i : now) {
        const TimedNote& note = song_.notes[i];
        while (b < before.size() && TrackAndOrder(previous.notes[before[b]]) < TrackAndOrder(note)) {
            oldPlaces_.push_back(previous.notes[before[b++]]);  // a note the command removed
        }
        if (b == before.size() || TrackAndOrder(previous.notes[before[b]]) != TrackAndOrder(note)) {
            isChanged_[i] = true;  // a note the command added
            continue;
        }
        const TimedNote& old = previous.notes[before[b++]];
        if (old.key == note.key && old.velocity == note.velocity && old.channel == note.channel &&
            old.startTick == note.startTick && old.endTick == note.endTick) {
            continue;
        }
        isChanged_[i] = true;
        oldPlaces_.push_back(old);
    }
    while (b < before.size()) oldPlaces_.push_back(previous.notes[before[b++]]);
    std::stable_sort(oldPlaces_.begin(), oldPlaces_.end(), [](const TimedNote& a, const TimedNote& b) {
        return a.track != b.track ? a.track < b.track : a.startTick < b.startTick;
    });
}

void PianoRollModel::IndexTracks(std::int32_t trackCount) {
    // Per track, where its notes start and the latest end so far, so a view finds its first visible note by
    // a binary search even when a long note overlaps many short ones.
    trackFirst_.assign(static_cast<std::size_t>(trackCount) + 1, 0);
    trackEndMax_.resize(song_.notes.size());
    std::size_t i = 0;
    for (std::int32_t track = 0; track < trackCount; ++track) {
        trackFirst_[static_cast<std::size_t>(track)] = static_cast<std::uint32_t>(i);
        std::uint32_t latest = 0;
        while (i < song_.notes.size() && song_.notes[i].track == track) {
            latest = std::max(latest, song_.notes[i].endTick);
            trackEndMax_[i] = latest;
            ++i;
        }
    }
    trackFirst_.back() = static_cast<std::uint32_t>(song_.notes.size());
}

void PianoRollModel::FindKeysAndLanes() {
    // The keys and drum lanes that the song uses, before and after the command, so old places have a row too.
    lowKey_ = highKey_ = -1;
    std::array<bool, 128> drumUsed{};
    lastTick_ = 1;
    const auto take = [&](const TimedNote& note) {
        lastTick_ = std::max({lastTick_, note.endTick, note.startTick});
        if (IsDrum(note)) {
            drumUsed[note.key] = true;
            return;
        }
        lowKey_ = lowKey_ < 0 ? note.key : std::min<int>(lowKey_, note.key);
        highKey_ = std::max<int>(highKey_, note.key);
    };
    for (const TimedNote& note : song_.notes) take(note);
    for (const TimedNote& note : oldPlaces_) take(note);
    for (const TrackSummary& track : song_.tracks) lastTick_ = std::max(lastTick_, track.lastTick);
    if (lowKey_ >= 0) {
        lowKey_ = std::max(0, lowKey_ - kKeyMargin);
        highKey_ = std::min(127, highKey_ + kKeyMargin);
        while (highKey_ - lowKey_ + 1 < kLeastKeys) {
            if (highKey_ < 127) ++highKey_;
            if (highKey_ - lowKey_ + 1 < kLeastKeys && lowKey_ > 0) --lowKey_;
        }
    }
    drumKeys_.clear();
    laneOfKey_.fill(-1);
    for (int key = 0; key < 128; ++key) {
        if (!drumUsed[static_cast<std::size_t>(key)]) continue;
        laneOfKey_[static_cast<std::size_t>(key)] = static_cast<int>(drumKeys_.size());
        drumKeys_.push_back(key);
    }
}

void PianoRollModel::BuildTempoStretches() {
    tempo_.clear();
    // The seconds ruler follows the map that times the song (format 2: the first track's), stretch by stretch,
    // so that a ruler asks in logarithmic time and places fractions of ticks too.
    const TempoMap& map = song_.MapOf(0);
    if (map.Division() <= 0) return;
    const double division = map.Division();
    tempo_.push_back({0, 0, kDefaultMicrosPerQuarter / 1e6 / division});
    for (const TempoPoint& change : map.Changes()) {
        const TempoStretch stretch{static_cast<double>(change.tick), map.SecondsAt(change.tick),
                                   change.microsPerQuarter / 1e6 / division};
        if (tempo_.back().tick == stretch.tick) {
            tempo_.back() = stretch;
        } else {
            tempo_.push_back(stretch);
        }
    }
}

double PianoRollModel::SecondsAtTick(double tick) const {
    if (tempo_.empty()) return 0;
    auto at = std::upper_bound(tempo_.begin(), tempo_.end(), tick,
                               [](double t, const TempoStretch& s) { return t < s.tick; });
    if (at != tempo_.begin()) --at;
    return at->seconds + (tick - at->tick) * at->secondsPerTick;
}

double PianoRollModel::TickAtSeconds(double seconds) const {
    if (tempo_.empty()) return 0;
    auto at = std::upper_bound(tempo_.begin(), tempo_.end(), seconds,
                               [](double s, const TempoStretch& t) { return s < t.seconds; });
    if (at != tempo_.begin()) --at;
    if (at->secondsPerTick <= 0) return at->tick;
    return at->tick + (seconds - at->seconds) / at->secondsPerTick;
}

void PianoRollModel::BuildMetreStretches() {
    metre_.clear();
    if (song_.division <= 0) return;
    const double beat = song_.division;  // a quarter
    metre_.push_back({0, 4 * beat, beat, 1});
    std::vector<TimeSignatureMark> marks = song_.timeSignatures;
    std::stable_sort(marks.begin(), marks.end(),
                     [](const TimeSignatureMark& a, const TimeSignatureMark& b) { return a.tick < b.tick; });
    for (const TimeSignatureMark& mark : marks) {
        if (song_.format == kSongPerTrackFormat && mark.track != 0) continue;
        if (mark.numerator <= 0 || mark.denominator <= 0) continue;  // no metre can be read from it
        const double beatTicks = 4.0 * song_.division / mark.denominator;
        const double barTicks = mark.numerator * beatTicks;
        const MetreStretch& last = metre_.back();
        // A signature in the middle of a bar starts a new bar where it stands.
        const std::int64_t bars = static_cast<std::int64_t>(std::ceil((mark.tick - last.tick) / last.barTicks - 1e-9));
        const MetreStretch stretch{static_cast<double>(mark.tick), barTicks, beatTicks, last.firstBar + bars};
        if (last.tick == mark.tick) {
            metre_.back() = MetreStretch{stretch.tick, barTicks, beatTicks, last.firstBar};
        } else {
            metre_.push_back(stretch);
        }
    }
}

std::optional<double> PianoRollModel::CursorX(const RollView& view, std::uint32_t tick) const {
    const int width = std::max(1, view.width);
    const double tpp = view.ticksPerPixel > 0 ? view.ticksPerPixel : FitTicksPerPixel(width);
    const double firstTick = view.ticksPerPixel > 0 ? std::max(0.0, view.firstTick) : 0.0;
    if (tick < firstTick || tick > firstTick + NotesWidth(width) * tpp) return std::nullopt;
    return LeftColumnWidth(width) + (tick - firstTick) / tpp;
}

double PianoRollModel::FitTicksPerPixel(int width) const { return lastTick_ / NotesWidth(width); }

// Where one picture puts things: its areas, the ticks it shows and the height of its rows. Rows: one per melody
// key from high (top) to low, then a gap, then the drum lanes, lowest key at the bottom; all of one height.
struct RollFrame {
    double left = 0;
    double notesWidth = 0;
    double legendWidth = 0;
    double top = 0;          // of the notes area, below the rulers
    double notesBottom = 0;
    double ticksPerPixel = 0;
    double firstTick = 0;
    double lastTick = 0;
    int keyRows = 0;
    int laneRows = 0;
    double rowHeight = 0;
    double inset = 0;         // between a note and the edges of its row
    double diamondWidth = 0;
    double reach = 0;         // in ticks: a diamond shows a little before and after its tick
    int highKey = -1;
    const std::array<int, 128>* laneOfKey = nullptr;
    const std::vector<bool>* hiddenTracks = nullptr;

    double XOf(double tick) const { return left + (tick - firstTick) / ticksPerPixel; }
    double KeyTop(int key) const { return top + (highKey - key) * rowHeight; }
    double LaneTop(int lane) const { return notesBottom - (lane + 1) * rowHeight; }
    int LaneOf(const TimedNote& note) const { return (*laneOfKey)[note.key]; }

    bool Hidden(std::int32_t track) const {
        return track >= 0 && static_cast<std::size_t>(track) < hiddenTracks->size() &&
               (*hiddenTracks)[static_cast<std::size_t>(track)];
    }
    bool Visible(const TimedNote& note) const {
        return note.endTick + reach >= firstTick && note.startTick <= lastTick + reach;
    }
    // Where a note goes: a bar across its time in its key's row, or a diamond at its start in its lane.
    RollRect PlaceOf(const TimedNote& note) const {
        if (IsDrum(note)) {
            return RollRect{XOf(note.startTick) - diamondWidth / 2, LaneTop(LaneOf(note)) + inset, diamondWidth,
                            std::max(0.5, rowHeight - 2 * inset)};
        }
        const double x0 = XOf(note.startTick);
        const double x1 = XOf(note.endTick);
        return RollRect{x0, KeyTop(note.key) + inset, std::max(1.5, x1 - x0), std::max(0.5, rowHeight - 2 * inset)};
    }
    int RowOf(const TimedNote& note) const {
        return IsDrum(note) ? keyRows + laneRows - 1 - LaneOf(note) : highKey - note.key;
    }
    void Add(ShapeSink& sink, const TimedNote& note) const { sink.Add(note, PlaceOf(note), IsDrum(note), RowOf(note)); }
};

namespace {

// Notes listed track by track (old places, changed notes) into one sink.
template <typename List, typename NoteAt>
void AddListed(const RollFrame& frame, ShapeSink& sink, const List& notes, const NoteAt& noteAt) {
    std::int32_t track = -1;
    for (const auto& entry : notes) {
        const TimedNote& note = noteAt(entry);
        if (frame.Hidden(note.track) || !frame.Visible(note)) continue;
        if (note.track != track) {
            track = note.track;
            sink.StartTrack();
        }
        frame.Add(sink, note);
    }
}

// Marks are spaced by pixels, so a picture holds a few per pixel of its width at most; the bound only guards
// against spacings that rounding swallows.
int MostMarks(const RollPicture& p) { return 4 * p.width + 16; }

}  // namespace

RollPicture PianoRollModel::Layout(const RollView& view) const {
    RollPicture p;
    const RollFrame frame = LayOutAreas(view, p);
    LayOutKeysAndLanes(frame, p);
    LayOutNotes(frame, p);
    LayOutBars(frame, p);
    LayOutSeconds(frame, p);
    if (view.cursorTick) p.cursorX = CursorX(view, *view.cursorTick);
    if (frame.legendWidth > 0) LayOutLegend(frame, p);
    if (song_.tracks.empty()) {
        p.message = "No song is open";
    } else if (song_.notes.empty() && oldPlaces_.empty()) {
        p.message = "The song has no notes";
    }
    return p;
}

RollFrame PianoRollModel::LayOutAreas(const RollView& view, RollPicture& p) const {
    RollFrame f;
    p.width = std::max(1, view.width);
    p.height = std::max(1, view.height);
    f.left = LeftColumnWidth(p.width);
    f.legendWidth = LegendWidth(p.width);
    f.notesWidth = NotesWidth(p.width);
    f.top = kBarRulerHeight + kSecondsRulerHeight;
    p.barRuler = {f.left, 0, f.notesWidth, kBarRulerHeight};
    p.secondsRuler = {f.left, kBarRulerHeight, f.notesWidth, kSecondsRulerHeight};
    p.notes = {f.left, f.top, f.notesWidth, std::max(1.0, p.height - f.top)};
    p.keyboard = {0, f.top, f.left, p.notes.h};
    p.legend = {p.width - f.legendWidth, 0, f.legendWidth, static_cast<double>(p.height)};
    f.notesBottom = p.notes.Bottom();

    f.ticksPerPixel = view.ticksPerPixel > 0 ? view.ticksPerPixel : FitTicksPerPixel(p.width);
    f.firstTick = view.ticksPerPixel > 0 ? std::max(0.0, view.firstTick) : 0.0;
    f.lastTick = f.firstTick + f.notesWidth * f.ticksPerPixel;
    f.hiddenTracks = &view.hiddenTracks;

    f.keyRows = lowKey_ < 0 ? 0 : highKey_ - lowKey_ + 1;
    f.laneRows = static_cast<int>(drumKeys_.size());
    const double gap = f.keyRows > 0 && f.laneRows > 0 ? kSectionGap : 0;
    const int rows = f.keyRows + f.laneRows;
    f.rowHeight = rows > 0 ? std::max(0.5, (p.notes.h - gap) / rows) : 0;
    f.highKey = highKey_;
    f.laneOfKey = &laneOfKey_;
    f.inset = f.rowHeight >= 4 ? 1 : 0;
    f.diamondWidth = std::clamp(f.rowHeight, 3.0, 14.0);
    f.reach = f.diamondWidth * f.ticksPerPixel;
    return f;
}

void PianoRollModel::LayOutKeysAndLanes(const RollFrame& frame, RollPicture& p) const {
    for (int key = lowKey_; frame.keyRows > 0 && key <= highKey_; ++key) {
        RollKeyRow row;
        row.rect = {0, frame.KeyTop(key), frame.left, frame.rowHeight};
        row.key = key;
        row.black = IsBlackKey(key);
        if (key % 12 == 0) row.label = KeyLabel(key);
        p.keys.push_back(row);
    }
    for (int lane = 0; lane < frame.laneRows; ++lane) {
        RollLane row;
        row.rect = {0, frame.LaneTop(lane), frame.left, frame.rowHeight};
        row.key = drumKeys_[static_cast<std::size_t>(lane)];
        row.name = names_.drums[static_cast<std::size_t>(row.key)];
        if (row.name.empty()) row.name = "Key " + std::to_string(row.key);
        p.lanes.push_back(row);
    }
}

void PianoRollModel::LayOutNotes(const RollFrame& frame, RollPicture& p) const {
    // Old places first, so the notes as they stand cover them.
    {
        ShapeSink sink(p.shapes, RollShapeKind::OldNote, RollShapeKind::OldDrum, false);
        AddListed(frame, sink, oldPlaces_, [](const TimedNote& note) -> const TimedNote& { return note; });
    }
    AddUnchangedNotes(frame, p.shapes);
    {
        ShapeSink sink(p.shapes, RollShapeKind::Note, RollShapeKind::Drum, true);
        AddListed(frame, sink, changed_, [&](std::size_t index) -> const TimedNote& { return song_.notes[index]; });
    }
    DropHiddenShapes(p, frame.keyRows + frame.laneRows);
}

void PianoRollModel::AddUnchangedNotes(const RollFrame& frame, std::vector<RollShape>& shapes) const {
    ShapeSink sink(shapes, RollShapeKind::Note, RollShapeKind::Drum, false);
    for (std::size_t t = 0; t + 1 < trackFirst_.size(); ++t) {
        const auto track = static_cast<std::int32_t>(t);
        if (frame.Hidden(track)) continue;
        sink.StartTrack();
        const auto begin = song_.notes.begin() + trackFirst_[t];
        const auto end = song_.notes.begin() + trackFirst_[t + 1];
        // The first note whose track has sounded up to the view's start: no note before it reaches the view.
        const auto endsBegin = trackEndMax_.begin() + trackFirst_[t];
        const auto endsEnd = trackEndMax_.begin() + trackFirst_[t + 1];
        const auto firstReaching = std::partition_point(
            endsBegin, endsEnd, [&](std::uint32_t latest) { return latest + frame.reach < frame.firstTick; });
        for (auto it = begin + (firstReaching - endsBegin); it != end; ++it) {
            if (it->startTick > frame.lastTick + frame.reach) break;
            const std::size_t index = static_cast<std::size_t>(it - song_.notes.begin());
            if (isChanged_[index] || !frame.Visible(*it)) continue;
            frame.Add(sink, *it);
        }
    }
}

void PianoRollModel::LayOutBars(const RollFrame& frame, RollPicture& p) const {
    if (metre_.empty()) return;
    auto stretch = std::upper_bound(metre_.begin(), metre_.end(), frame.firstTick,
                                    [](double t, const MetreStretch& s) { return t < s.tick; });
    if (stretch != metre_.begin()) --stretch;
    for (; stretch != metre_.end() && stretch->tick <= frame.lastTick; ++stretch) {
        const double until =
            std::next(stretch) == metre_.end() ? frame.lastTick : std::min(frame.lastTick, std::next(stretch)->tick);
        MarkBarsAndBeats(frame, *stretch, until, p);
    }
}

void PianoRollModel::MarkBarsAndBeats(const RollFrame& frame, const MetreStretch& stretch, double until,
                                      RollPicture& p) {
    const double tpp = frame.ticksPerPixel;
    const double barPixels = stretch.barTicks / tpp;
    std::int64_t every = 1;
    while (every * barPixels < kLeastLabelSpacing && every < (std::int64_t{1} << 62)) every *= 2;
    // Only labelled bars get a line when bars are too close to tell apart.
    const std::int64_t step = barPixels < 4 ? every : 1;
    std::int64_t bar =
        std::max<std::int64_t>(0, static_cast<std::int64_t>((frame.firstTick - stretch.tick) / stretch.barTicks));
    bar -= (stretch.firstBar - 1 + bar) % step;
    const int beatsPerBar = static_cast<int>(std::lround(stretch.barTicks / stretch.beatTicks));
    const int maxMarks = MostMarks(p);
    for (int marks = 0; stretch.tick + bar * stretch.barTicks < until && marks < maxMarks; bar += step, ++marks) {
        if (bar < 0) continue;
        const double barTick = stretch.tick + bar * stretch.barTicks;
        const std::int64_t number = stretch.firstBar + bar;
        if (barTick >= frame.firstTick) {
            p.bars.push_back({frame.XOf(barTick), (number - 1) % every == 0 ? std::to_string(number) : "", true});
        }
        if (stretch.beatTicks / tpp < kLeastBeatSpacing) continue;
        for (int b = 1; b < beatsPerBar; ++b) {
            const double beat = barTick + b * stretch.beatTicks;
            if (beat >= until) break;
            if (beat >= frame.firstTick) p.beats.push_back({frame.XOf(beat), "", false});
        }
    }
}

void PianoRollModel::LayOutSeconds(const RollFrame& frame, RollPicture& p) const {
    // Minutes and seconds, at round times that the tempo map places.
    if (tempo_.empty()) return;
    const double fromSeconds = SecondsAtTick(frame.firstTick);
    const double toSeconds = SecondsAtTick(frame.lastTick);
    if (toSeconds <= fromSeconds) return;
    const double pixelsPerSecond = frame.notesWidth / (toSeconds - fromSeconds);
    static constexpr double kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
    double step = kSteps[std::size(kSteps) - 1];
    for (const double candidate : kSteps) {
        if (candidate * pixelsPerSecond >= kLeastSecondsSpacing) {
            step = candidate;
            break;
        }
    }
    while (step * pixelsPerSecond < kLeastSecondsSpacing) step *= 2;  // a song of days
    const int maxMarks = MostMarks(p);
    int marks = 0;
    for (double k = std::ceil(fromSeconds / step - 1e-9); k * step <= toSeconds + 1e-9 && marks < maxMarks;
         ++k, ++marks) {
        p.seconds.push_back({frame.XOf(TickAtSeconds(k * step)), TimeLabel(k * step), true});
    }
}

void PianoRollModel::LayOutLegend(const RollFrame& frame, RollPicture& p) const {
    // One row per track, then what the outlines mean.
    const std::size_t trackCount = std::max(song_.tracks.size(), trackFirst_.empty() ? 0 : trackFirst_.size() - 1);
    p.legendTitle = "Tracks";
    const double roomForRows = p.height - kLegendTitleHeight - kLegendFootHeight;
    const double rowHeight =
        trackCount == 0 ? 20 : std::clamp(roomForRows / static_cast<double>(trackCount), 12.0, 22.0);
    for (std::size_t t = 0; t < trackCount; ++t) {
        const double y = kLegendTitleHeight + static_cast<double>(t) * rowHeight;
        if (y + rowHeight > p.height - kLegendFootHeight) break;  // no room: the rest are not listed
        RollLegendEntry entry;
        entry.track = static_cast<std::int32_t>(t);
        entry.shown = !frame.Hidden(entry.track);
        entry.color = TrackColor(entry.track);
        const double box = std::min(12.0, rowHeight - 2);
        entry.tickBox = {p.legend.x + 10, y + (rowHeight - box) / 2, box, box};
        entry.swatch = {p.legend.x + 28, y + (rowHeight - box) / 2, box, box};
        entry.textArea = {p.legend.x + 46, y, std::max(0.0, p.legend.w - 52), rowHeight};
        entry.text = std::to_string(t + 1);
        if (t < song_.tracks.size() && !song_.tracks[t].name.empty()) entry.text += "  " + song_.tracks[t].name;
        if (t < names_.instruments.size() && !names_.instruments[t].empty()) {
            entry.text += "  (" + names_.instruments[t] + ")";
        }
        p.legendEntries.push_back(entry);
    }
    if (!changed_.empty() || !oldPlaces_.empty()) {
        p.changeSummary = std::to_string(changed_.size()) + (changed_.size() == 1 ? " note" : " notes") +
                          " changed by the last command";
    }
}

}  // namespace sonivex
