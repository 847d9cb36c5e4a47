#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/commands.h"
#include "reader/timeline.h"
#include "roll/piano_roll_model.h"
#include "roll/piano_roll_song.h"
#include "support/fake_media.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

Timeline Read(const Bytes& bytes) { return ReadTimeline(bytes); }

PianoRollModel ModelOf(const Bytes& bytes, const Bytes* before = nullptr) {
    PianoRollModel model;
    const Timeline previous = before != nullptr ? Read(*before) : Timeline{};
    model.SetSong(Read(bytes), before != nullptr ? &previous : nullptr, RollNames{});
    return model;
}

RollView View(int width, int height, double firstTick = 0, double ticksPerPixel = 0) {
    RollView view;
    view.width = width;
    view.height = height;
    view.firstTick = firstTick;
    view.ticksPerPixel = ticksPerPixel;
    return view;
}

std::vector<RollShape> ShapesOf(const RollPicture& picture, std::int32_t track) {
    std::vector<RollShape> out;
    for (const RollShape& shape : picture.shapes) {
        if (shape.track == track) out.push_back(shape);
    }
    return out;
}

const RollKeyRow* RowOf(const RollPicture& picture, int key) {
    for (const RollKeyRow& row : picture.keys) {
        if (row.key == key) return &row;
    }
    return nullptr;
}

bool HasMarkAt(const std::vector<RollMark>& marks, double x) {
    return std::any_of(marks.begin(), marks.end(), [x](const RollMark& m) { return std::abs(m.x - x) < 0.01; });
}

const RollMark* MarkLabelled(const std::vector<RollMark>& marks, const std::string& label) {
    for (const RollMark& mark : marks) {
        if (mark.label == label) return &mark;
    }
    return nullptr;
}

TEST(PianoRollGeometry, PutsANoteFromBeatTwoToBeatThreeInItsKeyRowBetweenThoseBeats) {
    // One bar of 4/4 at 96 ticks a quarter; key 60 sounds from the second beat to the third.
    const Bytes song = MidiFile(1, 96)
                           .Add(Track().Meta(0, 0x58, {4, 2, 24, 8}).NoteOn(96, 0, 60, 100).NoteOff(96, 0, 60).End(192))
                           .Build();
    const PianoRollModel model = ModelOf(song);
    const RollPicture p = model.Layout(View(1600, 900));
    ASSERT_EQ(p.shapes.size(), 1u);
    const RollRect note = p.shapes[0].rect;

    // The song lasts one bar of 384 ticks, spread over the whole width of the notes.
    EXPECT_NEAR(note.x, p.notes.x + p.notes.w * 96 / 384, 0.01);
    EXPECT_NEAR(note.Right(), p.notes.x + p.notes.w * 192 / 384, 0.01);
    // The beat ruler marks beats 2 and 3 exactly at the note's ends.
    EXPECT_TRUE(HasMarkAt(p.beats, note.x));
    EXPECT_TRUE(HasMarkAt(p.beats, note.Right()));
    ASSERT_FALSE(p.bars.empty());
    EXPECT_EQ(p.bars[0].label, "1");
    EXPECT_NEAR(p.bars[0].x, p.notes.x, 0.01);

    // Vertically it lies inside the row of key 60, which sits right below the row of key 61.
    const RollKeyRow* c4 = RowOf(p, 60);
    const RollKeyRow* cSharp4 = RowOf(p, 61);
    ASSERT_NE(c4, nullptr);
    ASSERT_NE(cSharp4, nullptr);
    EXPECT_EQ(c4->label, "C4");
    EXPECT_FALSE(c4->black);
    EXPECT_TRUE(cSharp4->black);
    EXPECT_NEAR(cSharp4->rect.Bottom(), c4->rect.y, 0.01);
    EXPECT_GE(note.y, c4->rect.y);
    EXPECT_LE(note.Bottom(), c4->rect.Bottom());
    EXPECT_GT(note.h, c4->rect.h / 2);
}

TEST(PianoRollGeometry, ZoomsToTheKeysTheSongUses) {
    const Bytes song = MidiFile()
                           .Add(Track().NoteOn(0, 0, 40, 90).NoteOff(96, 0, 40).NoteOn(0, 0, 80, 90).NoteOff(96, 0, 80).End())
                           .Build();
    const RollPicture p = ModelOf(song).Layout(View(800, 600));
    ASSERT_FALSE(p.keys.empty());
    // Two keys of room on either side, and every row fills the height between the rulers and the bottom.
    EXPECT_EQ(p.keys.front().key, 38);
    EXPECT_EQ(p.keys.back().key, 82);
    EXPECT_NEAR(p.keys.back().rect.y, p.notes.y, 0.01);
    EXPECT_NEAR(p.keys.front().rect.Bottom(), p.notes.Bottom(), 0.01);
}

TEST(PianoRollGeometry, PlacesNotesAtAGivenScaleAndScroll) {
    const Bytes song = MidiFile(1, 96).Add(Track().NoteOn(960, 0, 60, 100).NoteOff(48, 0, 60).End(2000)).Build();
    const RollPicture p = ModelOf(song).Layout(View(1600, 900, 900, 0.5));
    ASSERT_EQ(p.shapes.size(), 1u);
    EXPECT_NEAR(p.shapes[0].rect.x, p.notes.x + (960 - 900) / 0.5, 0.01);
    EXPECT_NEAR(p.shapes[0].rect.w, 48 / 0.5, 0.01);
}

TEST(PianoRollGeometry, KeepsALongNoteThatBeganBeforeTheViewAndLeavesOutNotesOutsideIt) {
    // A note held from the start over many short ones, then short notes far later.
    Track track;
    track.NoteOn(0, 0, 50, 100);
    for (int i = 0; i < 100; ++i) track.NoteOn(i == 0 ? 0 : 2, 0, 60, 100).NoteOff(2, 0, 60);  // to tick 398
    track.NoteOff(1602, 0, 50);                                                                   // at tick 2000
    const Bytes song = MidiFile(1, 96).Add(track.End(5000)).Build();
    const PianoRollModel model = ModelOf(song);
    // A view of ticks 1500 to 1500 + 100: only the held note (0 to 2000) is there.
    const RollPicture p = model.Layout(View(1600, 900, 1500, 100 / PianoRollModel::NotesWidth(1600)));
    ASSERT_EQ(p.shapes.size(), 1u);
    EXPECT_LT(p.shapes[0].rect.x, p.notes.x);
    EXPECT_GT(p.shapes[0].rect.Right(), p.notes.Right());
}

TEST(PianoRollGeometry, DrawsALongSongWithAboutOneShapePerPixelOfEachKeyRow) {
    // 20,000 short notes on 4 keys across a 1000-pixel wide view: far more notes than pixels.
    Track track;
    for (int i = 0; i < 20000; ++i) track.NoteOn(i == 0 ? 0 : 4, 0, 60 + i % 4, 100).NoteOff(4, 0, 60 + i % 4);
    const Bytes song = MidiFile(1, 96).Add(track.End()).Build();
    const PianoRollModel model = ModelOf(song);
    const RollPicture p = model.Layout(View(1400, 700));
    EXPECT_LE(p.shapes.size(), static_cast<std::size_t>(4 * p.notes.w));
    // Merged shapes still cover the song from its first note to its last.
    double left = 1e9, right = 0;
    for (const RollShape& shape : p.shapes) {
        left = std::min(left, shape.rect.x);
        right = std::max(right, shape.rect.Right());
    }
    EXPECT_NEAR(left, p.notes.x, 0.5);
    EXPECT_NEAR(right, p.notes.Right(), 2);
}

TEST(PianoRollGeometry, PutsDrumNotesAsDiamondsOnNamedLanesBelowTheMelody) {
    const Bytes song = MidiFile()
                           .Add(Track().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End())
                           .Add(Track().NoteOn(0, 9, 42, 80).NoteOff(48, 9, 42).NoteOn(0, 9, 36, 120).NoteOff(48, 9, 36).End())
                           .Build();
    PianoRollModel model;
    RollNames names;
    names.drums[36] = "Bass Drum 1";
    model.SetSong(Read(song), nullptr, names);
    const RollPicture p = model.Layout(View(1200, 600));
    ASSERT_EQ(p.lanes.size(), 2u);
    // Lowest key at the bottom; a key without a name is named by its number.
    EXPECT_EQ(p.lanes[0].key, 36);
    EXPECT_EQ(p.lanes[0].name, "Bass Drum 1");
    EXPECT_EQ(p.lanes[1].name, "Key 42");
    EXPECT_NEAR(p.lanes[0].rect.Bottom(), p.notes.Bottom(), 0.01);
    EXPECT_LT(p.keys.front().rect.Bottom(), p.lanes.back().rect.y + 0.01);
    const std::vector<RollShape> drums = ShapesOf(p, 1);
    ASSERT_EQ(drums.size(), 2u);
    for (const RollShape& drum : drums) EXPECT_EQ(drum.kind, RollShapeKind::Drum);
    // The hi-hat's diamond is centred on its start, tick 0, in the upper lane.
    EXPECT_NEAR(drums[0].rect.x + drums[0].rect.w / 2, p.notes.x, 0.01);
    EXPECT_GE(drums[0].rect.y, p.lanes[1].rect.y);
    EXPECT_LE(drums[0].rect.Bottom(), p.lanes[1].rect.Bottom());
}

TEST(PianoRollGeometry, ColoursEachTrackApartAndLouderNotesBrighter) {
    const RollColor quiet = PianoRollModel::NoteColor(0, 20);
    const RollColor loud = PianoRollModel::NoteColor(0, 127);
    EXPECT_LT(quiet.r + quiet.g + quiet.b, loud.r + loud.g + loud.b);
    EXPECT_EQ(loud, PianoRollModel::TrackColor(0));
    EXPECT_NE(PianoRollModel::TrackColor(0), PianoRollModel::TrackColor(1));
}

TEST(PianoRollRulers, NumberBarsFromTheTimeSignatures) {
    // Two bars of 4/4, then 3/4 from tick 768.
    const Bytes song = MidiFile(1, 96)
                           .Add(Track().Meta(0, 0x58, {4, 2, 24, 8}).Meta(768, 0x58, {3, 2, 24, 8}).NoteOn(0, 0, 60, 90).NoteOff(288 * 2, 0, 60).End())
                           .Build();
    const RollPicture p = ModelOf(song).Layout(View(1600, 900, 0, 1));
    const RollMark* bar3 = MarkLabelled(p.bars, "3");
    const RollMark* bar4 = MarkLabelled(p.bars, "4");
    ASSERT_NE(bar3, nullptr);
    ASSERT_NE(bar4, nullptr);
    EXPECT_NEAR(bar3->x, p.notes.x + 768, 0.01);
    EXPECT_NEAR(bar4->x, p.notes.x + 768 + 288, 0.01);
    // Two beats between bars 3 and 4 (three beats to a bar).
    const auto between = std::count_if(p.beats.begin(), p.beats.end(),
                                       [&](const RollMark& m) { return m.x > bar3->x && m.x < bar4->x; });
    EXPECT_EQ(between, 2);
}

TEST(PianoRollRulers, TempoChangesMoveTheSecondsRuler) {
    // 120 beats a minute throughout, or 240 from tick 384 on; 96 ticks a quarter.
    const auto song = [](bool faster) {
        Track track;
        track.Tempo(0, 500000);
        if (faster) track.Tempo(384, 250000);
        track.NoteOn(faster ? 0 : 384, 0, 60, 90).NoteOff(1536, 0, 60);
        return MidiFile(1, 96).Add(track.End()).Build();
    };
    const PianoRollModel steady = ModelOf(song(false));
    const PianoRollModel faster = ModelOf(song(true));
    const RollPicture a = steady.Layout(View(2400, 900, 0, 1));
    const RollPicture b = faster.Layout(View(2400, 900, 0, 1));
    const auto tickOf = [](const RollPicture& p, const std::string& label) {
        const RollMark* mark = MarkLabelled(p.seconds, label);
        return mark == nullptr ? -1.0 : mark->x - p.notes.x;
    };
    // Before the change both agree: one second is 192 ticks.
    EXPECT_NEAR(tickOf(a, "0:01"), 192, 0.01);
    EXPECT_NEAR(tickOf(b, "0:01"), 192, 0.01);
    // After it a second is 384 ticks: 0:03 moves from tick 576 to tick 768.
    EXPECT_NEAR(tickOf(a, "0:03"), 576, 0.01);
    EXPECT_NEAR(tickOf(b, "0:03"), 768, 0.01);
    // Every label names the time that the song's own clock gives at its place.
    const Timeline timeline = Read(song(true));
    for (const RollMark& mark : b.seconds) {
        const double tick = mark.x - b.notes.x;
        const double seconds = timeline.SecondsAt(static_cast<std::uint32_t>(std::lround(tick)));
        const int whole = static_cast<int>(std::lround(seconds));
        EXPECT_EQ(mark.label, std::to_string(whole / 60) + ":" + (whole % 60 < 10 ? "0" : "") + std::to_string(whole % 60));
    }
}

TEST(PianoRollRulers, LabelEveryFewBarsWhenBarsAreNarrow) {
    // 1000 bars across 1000 pixels: labels stay readable, and lines stay few.
    const Bytes song = MidiFile(1, 96).Add(Track().NoteOn(0, 0, 60, 90).NoteOff(384 * 1000, 0, 60).End()).Build();
    const RollPicture p = ModelOf(song).Layout(View(1400, 600));
    ASSERT_GE(p.bars.size(), 2u);
    EXPECT_LE(p.bars.size(), static_cast<std::size_t>(p.notes.w / 4));
    for (std::size_t i = 1; i < p.bars.size(); ++i) {
        if (!p.bars[i].label.empty() && !p.bars[i - 1].label.empty()) {
            EXPECT_GE(p.bars[i].x - p.bars[i - 1].x, 39.9);
        }
    }
}

TEST(PianoRollLegend, AHiddenTrackDrawsNothing) {
    const Bytes song = MidiFile()
                           .Add(Track().Name(0, "Lead").NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End())
                           .Add(Track().Name(0, "Bass").NoteOn(0, 1, 40, 100).NoteOff(96, 1, 40).End())
                           .Build();
    const Bytes before = MidiFile()
                             .Add(Track().Name(0, "Lead").NoteOn(0, 0, 62, 100).NoteOff(96, 0, 62).End())
                             .Add(Track().Name(0, "Bass").NoteOn(0, 1, 40, 100).NoteOff(96, 1, 40).End())
                             .Build();
    PianoRollModel model;
    const Timeline previous = Read(before);
    RollNames names;
    names.instruments = {"Lead 1 (square)", ""};
    model.SetSong(Read(song), &previous, names);
    RollView view = View(1200, 600);
    view.hiddenTracks = {true};
    const RollPicture p = model.Layout(view);
    // Neither the changed note nor its old place of the hidden track is drawn; the other track is.
    EXPECT_TRUE(ShapesOf(p, 0).empty());
    EXPECT_EQ(ShapesOf(p, 1).size(), 1u);
    ASSERT_EQ(p.legendEntries.size(), 2u);
    EXPECT_FALSE(p.legendEntries[0].shown);
    EXPECT_TRUE(p.legendEntries[1].shown);
    EXPECT_EQ(p.legendEntries[0].text, "1  Lead  (Lead 1 (square))");
    EXPECT_EQ(p.legendEntries[1].text, "2  Bass");
    // A click on the first row names the first track.
    const RollRect box = p.legendEntries[0].tickBox;
    EXPECT_EQ(PianoRollModel::LegendTrackAt(p, box.x + 2, box.y + 2), 0);
    EXPECT_EQ(PianoRollModel::LegendTrackAt(p, p.notes.x + 5, p.notes.y + 5), std::nullopt);
}

TEST(PianoRollChanges, OutlineNotesWhoseKeyVelocityTimeOrChannelChangedAndShowTheirOldPlaceFaint) {
    // Before: five notes. After: the first unchanged, the second louder, the third later, the fourth on
    // another channel, the fifth gone; and one note more at the end.
    const Bytes before = MidiFile()
                             .Add(Track()
                                      .NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60)
                                      .NoteOn(0, 0, 62, 100).NoteOff(96, 0, 62)
                                      .NoteOn(0, 0, 64, 100).NoteOff(96, 0, 64)
                                      .NoteOn(0, 0, 65, 100).NoteOff(96, 0, 65)
                                      .NoteOn(0, 0, 67, 100).NoteOff(96, 0, 67)
                                      .End())
                             .Build();
    const Bytes after = MidiFile()
                            .Add(Track()
                                     .NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60)
                                     .NoteOn(0, 0, 62, 120).NoteOff(96, 0, 62)
                                     .NoteOn(10, 0, 64, 100).NoteOff(86, 0, 64)
                                     .NoteOn(0, 2, 65, 100).NoteOff(96, 2, 65)
                                     .At(0, {0xB0, 7, 100}).At(96, {0xB0, 7, 90})
                                     .NoteOn(0, 0, 69, 100).NoteOff(96, 0, 69)
                                     .End())
                            .Build();
    const PianoRollModel model = ModelOf(after, &before);
    // Louder, later, other channel, and the last note (its order now belongs to no note before).
    EXPECT_EQ(model.ChangedCount(), 4u);
    // The old places of the louder, later and moved notes, and of the note whose order no note has now.
    EXPECT_EQ(model.OldPlaceCount(), 4u);
    const RollPicture p = model.Layout(View(1200, 600));
    for (const RollShape& shape : p.shapes) {
        if (shape.changed) {
            EXPECT_EQ(shape.kind, RollShapeKind::Note);
        }
    }
    const auto old = std::count_if(p.shapes.begin(), p.shapes.end(),
                                   [](const RollShape& s) { return s.kind == RollShapeKind::OldNote; });
    EXPECT_EQ(old, 4);
    const auto changed = std::count_if(p.shapes.begin(), p.shapes.end(), [](const RollShape& s) { return s.changed; });
    EXPECT_EQ(changed, 4);
    // Old places come first, changed notes last, so the outlines lie on top.
    EXPECT_EQ(p.shapes.front().kind, RollShapeKind::OldNote);
    EXPECT_TRUE(p.shapes.back().changed);
    EXPECT_EQ(p.changeSummary, "4 notes changed by the last command");
}

TEST(PianoRollChanges, OutlineNothingWithoutAPreviousSong) {
    const Bytes song = MidiFile().Add(Track().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End()).Build();
    const RollPicture p = ModelOf(song).Layout(View(1200, 600));
    ASSERT_EQ(p.shapes.size(), 1u);
    EXPECT_FALSE(p.shapes[0].changed);
    EXPECT_TRUE(p.changeSummary.empty());
}

TEST(PianoRollChanges, OutlineTheNotesAnEffectChangedInTheSessionsSong) {
    TestSession t;
    FakeMedia device;
    t->media.Device = &device;
    FormLoad(*t);
    const Bytes file = MidiFile()
                           .Add(Track().Name(0, "Piano").Program(0, 0, 0).NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).NoteOn(0, 0, 64, 100).NoteOff(96, 0, 64).End())
                           .Add(Track().Name(0, "Drums").NoteOn(0, 9, 38, 100).NoteOff(48, 9, 38).End())
                           .Add(Track().Name(0, "Bass").Program(0, 1, 33).NoteOn(0, 1, 36, 100).NoteOff(192, 1, 36).End())
                           .Build();
    t.platform().Files({t.WriteSong(file).string()});
    OpenCommand(*t);

    PianoRollModel model;
    LoadPianoRoll(*t, t->history.Previous(), model);
    EXPECT_EQ(model.ChangedCount(), 0u);
    ASSERT_EQ(model.Names().instruments.size(), 3u);
    EXPECT_EQ(model.Names().instruments[0], "Acoustic Grand Piano");
    EXPECT_EQ(model.Names().instruments[1], "Drums");
    EXPECT_EQ(model.Names().instruments[2], "Electric Bass (finger)");
    EXPECT_EQ(model.Names().drums[38], "Acoustic Snare");

    // "Increase" by 3 semitones, melody tracks, the first track only.
    t->form.Combo6.listIndex = 4;
    Combo6_Click(*t);
    t->form.Option1.selected = true;
    t->form.Option2.selected = false;
    t->form.Text1.text = "3";
    t->form.Check4.ticked = false;
    t->form.Combo8.listIndex = 1;
    CommandClick(*t, CommandButton::ApplyEffect);

    LoadPianoRoll(*t, t->history.Previous(), model);
    EXPECT_EQ(model.ChangedCount(), 2u);
    EXPECT_EQ(model.OldPlaceCount(), 2u);
    const RollPicture p = model.Layout(View(1200, 600));
    std::vector<int> changedTracks;
    for (const RollShape& shape : p.shapes) {
        if (shape.changed || shape.kind == RollShapeKind::OldNote) changedTracks.push_back(shape.track);
    }
    EXPECT_EQ(changedTracks, (std::vector<int>{0, 0, 0, 0}));
    // The old keys 60 and 64 and the new ones 63 and 67 all have rows.
    EXPECT_NE(RowOf(p, 60), nullptr);
    EXPECT_NE(RowOf(p, 67), nullptr);
}

TEST(PianoRollChanges, ShowAnEmptyPictureWithAMessageWhenNoSongIsOpen) {
    TestSession t;
    PianoRollModel model;
    LoadPianoRoll(*t, t->history.Previous(), model);
    const RollPicture p = model.Layout(View(640, 480));
    EXPECT_TRUE(p.shapes.empty());
    EXPECT_EQ(p.message, "No song is open");
}

}  // namespace
}  // namespace sonivex::test
