#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/commands.h"
#include "app/editing.h"
#include "edit/effects.h"
#include "support/fake_media.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

// Records of notes as the parser makes them.
EventRecord NoteOn(int key, int velocity, int channel = 0, int delta = 0) {
    return {144 + channel, key, velocity, delta, RowKind::Note, kAbsent, velocity > 0 ? kNoteSounds : kNoteSilent};
}
EventRecord NoteOff(int key, int channel = 0) {
    return {128 + channel, key, 64, 0, RowKind::Note, kAbsent, kNoteSilent};
}

// An effect chosen in the Effects frame (a curve: the first entry of effects1.dat).
struct Chosen {
    TestSession t;
    EffectRequest r;
    Chosen(Effect effect, bool volume, const std::string& step = "2") {
        FormLoad(*t);
        r.effect = ListIndexOf({effect, effect == Effect::TransferCurve ? std::optional<int>(1) : std::nullopt});
        r.notes = !volume;
        r.step = step;
    }
    std::vector<EventRecord> Apply(std::vector<EventRecord> records) {
        EXPECT_EQ(PrepareEffect(*t, r), std::nullopt);
        TransformTrack(t->effects, records, t->random);
        return records;
    }
};

std::vector<int> Column(const std::vector<EventRecord>& records, int c) {
    std::vector<int> out;
    for (const EventRecord& r : records) out.push_back(r.Fields()[static_cast<std::size_t>(c)]);
    return out;
}

TEST(Effects, ChangeVelocitiesOfSoundingNotesOnly) {
    Chosen decrease(Effect::Decrease, true, "10");
    const auto out = decrease.Apply({NoteOn(60, 5), NoteOn(60, 50), NoteOn(60, 0), NoteOff(60)});
    // 5 - 10 is below 1: the velocity stays; Note Offs and silent Note Ons keep theirs.
    EXPECT_EQ(Column(out, 2), (std::vector<int>{5, 40, 0, 64}));

    Chosen increase(Effect::Increase, true, "20");
    EXPECT_EQ(Column(increase.Apply({NoteOn(60, 120), NoteOn(60, 1)}), 2), (std::vector<int>{127, 21}));
}

TEST(Effects, ChangeOnlyTheChosenPitchClassInNoteMode) {
    Chosen e(Effect::Increase, false, "1");
    e.r.pitchClass = 3;  // "d"
    EXPECT_EQ(Column(e.Apply({NoteOn(62, 9), NoteOn(74, 9), NoteOn(60, 9), NoteOff(50)}), 1),
              (std::vector<int>{63, 75, 60, 51}));
}

TEST(Effects, KeepDrumNotesWithinTheDrumRange) {
    Chosen up(Effect::Increase, false, "40");
    EXPECT_EQ(Column(up.Apply({NoteOn(50, 9, 9), NoteOn(50, 9, 0)}), 1), (std::vector<int>{84, 90}));
    Chosen down(Effect::Decrease, false, "20");
    EXPECT_EQ(Column(down.Apply({NoteOn(50, 9, 9)}), 1), (std::vector<int>{35}));
}

TEST(Effects, MoveKeysByTheScaleRules) {
    Chosen flats(Effect::RemoveFlats, false);
    EXPECT_EQ(Column(flats.Apply({NoteOn(61, 1), NoteOn(63, 1), NoteOn(66, 1), NoteOn(68, 1), NoteOn(70, 1),
                                  NoteOn(60, 1), NoteOn(64, 1)}), 1),
              (std::vector<int>{60, 62, 65, 67, 69, 60, 64}));

    Chosen harmonic(Effect::MinorHarmonic, false);  // root c
    EXPECT_EQ(Column(harmonic.Apply({NoteOn(64, 1), NoteOn(69, 1), NoteOn(70, 1), NoteOn(61, 1), NoteOn(66, 1),
                                     NoteOn(62, 1)}), 1),
              (std::vector<int>{65, 68, 71, 60, 65, 62}));

    Chosen treble(Effect::KeySignature, false);
    treble.r.key = 4;  // "F": B becomes B flat
    EXPECT_EQ(Column(treble.Apply({NoteOn(71, 1), NoteOn(60, 1)}), 1), (std::vector<int>{70, 60}));
    Chosen bass(Effect::KeySignature, false);
    bass.r.key = 4;
    bass.r.bassClef = true;  // 11 + 4 matches no pitch class
    EXPECT_EQ(Column(bass.Apply({NoteOn(71, 1), NoteOn(63, 1)}), 1), (std::vector<int>{71, 63}));
}

// Regression: a changed record's delta was cut to 65,535, so a pitch effect on a long rest shortened the song.
TEST(Effects, NeverMoveANoteInTime) {
    Chosen e(Effect::Increase, false, "1");
    const EventRecord program = {192, 5, kAbsent, 70000, RowKind::Program, kAbsent, kAbsent};
    const auto out = e.Apply({NoteOn(60, 9, 0, 100000), program, NoteOn(62, 9, 0, -5)});
    EXPECT_EQ(Column(out, 1), (std::vector<int>{61, 5, 63}));
    EXPECT_EQ(Column(out, 3), (std::vector<int>{100000, 70000, 0}));  // below 0 still becomes 0
}

TEST(Effects, ApplyTransferCurvesAsStraightLinesBetweenTheirPoints) {
    EffectState e;
    BuildCurve(e, "Straight=2,0,0,1024,1024");
    for (int v = 0; v <= 127; ++v) EXPECT_EQ(e.ValueMap[v], v);
    // Regression: rounding at every step mapped every value of a half curve to 0.
    BuildCurve(e, "Half=2,0,0,1024,512");
    EXPECT_EQ(e.ValueMap[64], 32);
    EXPECT_EQ(e.ValueMap[127], 63);
    EXPECT_EQ(e.ValueMap[1], 0);
    BuildCurve(e, "Back=3,0,0,512,512,512,0");  // a point straight above the last fills nothing
    EXPECT_EQ(e.ValueMap[64], 64);
    // Each position is rounded once, halves to the even neighbour (positions above 128 keep their raw values).
    BuildCurve(e, "Halves=3,200,0,204,2,208,0");
    EXPECT_EQ(e.ValueMap[201], 0);  // 0.5
    EXPECT_EQ(e.ValueMap[202], 1);
    EXPECT_EQ(e.ValueMap[203], 2);  // 1.5
    EXPECT_EQ(e.ValueMap[205], 2);  // 1.5 on the way down
    EXPECT_EQ(e.ValueMap[207], 0);  // 0.5 on the way down
}

TEST(Effects, ExchangeNothingAtRandomWithStepOne) {
    Chosen e(Effect::Random, false, "1");
    ASSERT_EQ(PrepareEffect(*e.t, e.r), std::nullopt);
    for (int v = 0; v <= 127; ++v) EXPECT_EQ(e.t->effects.ValueMap[v], v);
}

TEST(Effects, LeaveASingleRecordToTheGradualEffects) {
    Chosen e(Effect::GraduallyIncrease, true);
    EXPECT_EQ(Column(e.Apply({NoteOn(60, 9, 0, 70000)}), 3), (std::vector<int>{70000}));
}

TEST(PrepareEffect, TurnsTheRequestIntoTheSettingsOfEachEffect) {
    Chosen volume(Effect::TransferCurve, true, "2.5");
    volume.r.value = "64";
    ASSERT_EQ(PrepareEffect(*volume.t, volume.r), std::nullopt);
    const EffectState& e = volume.t->effects;
    EXPECT_EQ(e.ChosenEffect, Effect::TransferCurve);
    EXPECT_EQ(e.ValueColumn, 2);
    EXPECT_EQ(e.SelectMode, Selection::SoundingNotes);
    EXPECT_FALSE(e.AllowZero);
    EXPECT_EQ(e.StepFactor, 2);  // 2.5 rounds to the even neighbour
    EXPECT_EQ(e.TargetValue, std::optional<std::int32_t>(64));

    Chosen note(Effect::MajorScale, false, "0");
    note.r.minorStep = 7;
    ASSERT_EQ(PrepareEffect(*note.t, note.r), std::nullopt);
    EXPECT_EQ(note.t->effects.ChosenEffect, Effect::MajorScale);
    EXPECT_EQ(note.t->effects.StepFactor, 7);
    EXPECT_EQ(note.t->effects.TargetValue, std::nullopt);

    Chosen key(Effect::KeySignature, false);
    key.r.key = 8;  // "C#": seven sharps
    key.r.bassClef = true;
    ASSERT_EQ(PrepareEffect(*key.t, key.r), std::nullopt);
    EXPECT_EQ(key.t->effects.KeyLastIndex, 6);
    EXPECT_EQ(key.t->effects.KeyAlteration, 1);
    EXPECT_EQ(key.t->effects.ScaleNotes[6], 9);
    EXPECT_EQ(key.t->effects.ClefChoice, Clef::Bass);  // Bass wins when both are ticked

    Chosen missing(Effect::TransferCurve, false);
    std::filesystem::remove(missing.t.folder() / "effects1.dat");
    EXPECT_EQ(PrepareEffect(*missing.t, missing.r), std::optional<std::string>("effects1.dat could not be read"));
}

// The texts that users and sonivex-cli's --effect-list choose the fixed effects by, in the list's order.
const std::vector<std::string> kListTexts = {
    "Random",       "Gradually Increase", "Decrease",       "Gradually Decrease", "Increase", "Remove Flats",
    "Key Signature", "Minor Melodic",     "Minor Harmonic", "Effect#1",           "Effect#2"};

TEST(EffectTable, NamesEveryEffectAsTheListShowsItInOrder) {
    TestSession t;
    FakeMedia device;
    t->media.Device = &device;
    FormLoad(*t);
    t.WriteDataFile("effects1.dat", "Soft=2,0,0,1024,1024\r\nHard=2,0,0,1024,512\r\n");
    t.platform().Files({t.WriteSong(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).End(1)).Build()).string()});
    OpenCommand(*t);
    std::vector<std::string> expected = kListTexts;
    expected.insert(expected.end(), {"Soft", "Hard"});
    ASSERT_EQ(t->form.Combo6.items, expected);
    for (int i = 0; i < static_cast<int>(expected.size()); ++i) {
        const std::optional<EffectChoice> choice = EffectAt(i);
        ASSERT_TRUE(choice) << i;
        const EffectRow& row = RowOf(choice->effect);
        EXPECT_EQ(row.effect, choice->effect);
        if (i < static_cast<int>(kListTexts.size())) {
            EXPECT_EQ(row.name, std::optional<std::string_view>(kListTexts[static_cast<std::size_t>(i)])) << i;
            EXPECT_EQ(choice->curveEntry, std::nullopt) << i;
        } else {  // the list names the curves from effects1.dat
            EXPECT_EQ(choice->effect, Effect::TransferCurve) << i;
            EXPECT_EQ(row.name, std::nullopt);
        }
    }
}

TEST(EffectTable, MapsListPlacesAndEffectsBothWays) {
    for (int i = 0; i < 40; ++i) {
        const std::optional<EffectChoice> choice = EffectAt(i);
        ASSERT_TRUE(choice) << i;
        EXPECT_EQ(ListIndexOf(*choice), i);
    }
    for (const EffectRow& row : EffectTable()) {
        const std::optional<int> entry =
            row.effect == Effect::TransferCurve ? std::optional<int>(3) : std::nullopt;
        EXPECT_EQ(EffectAt(ListIndexOf({row.effect, entry})), (EffectChoice{row.effect, entry}));
    }
    EXPECT_EQ(EffectAt(11), (EffectChoice{Effect::TransferCurve, 1}));  // the first entry of effects1.dat
    EXPECT_EQ(EffectAt(-1), std::nullopt);
}

TEST(EffectTable, GivesEveryEffectOneRuleAndOneUseOfTheStepFactor) {
    ASSERT_EQ(EffectTable().size(), kListTexts.size() + 1);  // the fixed effects and the curves
    for (const EffectRow& row : EffectTable()) {
        const int index = static_cast<int>(row.effect);
        EXPECT_NE(row.rule, nullptr) << index;
        // The root of a scale is kept in the step factor: an effect cannot read both.
        EXPECT_FALSE(row.reads.Has(EffectParameter::Step) && row.reads.Has(EffectParameter::Root)) << index;
        // Whatever an effect reads, the window lets the user set.
        const EffectParameters shown = ShownParameters(row.effect);
        EXPECT_EQ(shown.With(row.reads), shown) << index;
    }
}

TEST(PrepareEffect, NamesTheEntryOfEffectsDatThatIsMissing) {
    Chosen third(Effect::TransferCurve, false);
    third.t.WriteDataFile("effects1.dat", "Soft=2,0,0,1024,1024\r\nHard=2,0,0,1024,512\r\n");
    third.r.effect = 13;  // the third entry after the 11 fixed effects
    EXPECT_EQ(PrepareEffect(*third.t, third.r), std::optional<std::string>("effects1.dat has no effect 3"));
    third.r.effect = 12;
    EXPECT_EQ(PrepareEffect(*third.t, third.r), std::nullopt);
    EXPECT_EQ(third.t->effects.ValueMap[64], 32);  // "Hard" halves every value
}

TEST(ApplyEffect, ChangesTheChosenKindsOfTrack) {
    TestSession t;
    FakeMedia device;
    t->media.Device = &device;
    FormLoad(*t);
    const Bytes file = MidiFile()
                           .Add(Track().NoteOn(0, 0, 60, 100).End(1))
                           .Add(Track().NoteOn(0, 9, 40, 100).End(1))
                           .Add(Track().NoteOn(0, 1, 60, 100).End(1))
                           .Build();
    t.platform().Files({t.WriteSong(file).string()});
    OpenCommand(*t);
    t->form.Combo6.listIndex = 4;  // "Increase"
    Combo6_Click(*t);
    t->form.Option2.selected = false;
    t->form.Text1.text = "3";
    t->form.Check4.ticked = false;  // melody tracks only
    t->form.Combo8.listIndex = 0;   // all tracks
    ApplyEffect(*t);
    EXPECT_EQ(TestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"),
              MidiFile()
                  .Add(Track().NoteOn(0, 0, 63, 100).End(1))
                  .Add(Track().NoteOn(0, 9, 40, 100).End(1))
                  .Add(Track().NoteOn(0, 1, 63, 100).End(1))
                  .Build());
    EXPECT_TRUE(t->form.mnuSave.enabled);

    t->form.Combo8.listIndex = 3;  // track 3 only
    ApplyEffect(*t);
    EXPECT_EQ(TestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"),
              MidiFile()
                  .Add(Track().NoteOn(0, 0, 63, 100).End(1))
                  .Add(Track().NoteOn(0, 9, 40, 100).End(1))
                  .Add(Track().NoteOn(0, 1, 66, 100).End(1))
                  .Build());
}


// A song of many tracks of every kind the effects meet: melody and drum tracks, one track with no notes, one
// whose chunk ends without End of Track, and bytes after the last track.
Bytes ManyTrackSong() {
    MidiFile song;
    song.Add(Track().Name(0, "Tempo").Tempo(0, 500000).End());
    for (int n = 1; n <= 40; ++n) {
        const int channel = n % 3 == 0 ? 9 : n % 8;
        Track track;
        track.Name(0, "T" + std::to_string(n)).Program(0, channel, n);
        for (int k = 0; k < n % 5 + 1; ++k) {
            const int key = 40 + (n + 7 * k) % 50;
            track.NoteOn(k * 30, channel, key, 60 + k).NoteOff(20, channel, key);
        }
        if (n == 17) track.Meta(0, 0x01, "no notes: only text");
        if (n != 23) track.End();  // track 23 just stops
        song.Add(track);
    }
    song.Add(Track().Name(0, "Text only").End());
    return song.Tail({0, 0, 0}).Build();
}

// Opens the song and sets the Effects frame to "Increase" the notes by 3 on the tracks of both kinds.
void ChooseIncrease(TestSession& t, FakeMedia& device, const Bytes& file) {
    t->media.Device = &device;
    FormLoad(*t);
    t.platform().Files({t.WriteSong(file).string()});
    OpenCommand(*t);
    t->form.Combo6.listIndex = 4;  // "Increase"
    Combo6_Click(*t);
    t->form.Option2.selected = false;
    t->form.Text1.text = "3";
}

TEST(ApplyEffect, RebuildsAllTracksInOnePassAsTrackByTrackWould) {
    const Bytes file = ManyTrackSong();
    TestSession all;
    FakeMedia allDevice;
    ChooseIncrease(all, allDevice, file);
    all->form.Combo8.listIndex = 0;  // all tracks
    ApplyEffect(*all);

    TestSession each;
    FakeMedia eachDevice;
    ChooseIncrease(each, eachDevice, file);
    for (int track = 1; track <= each->song.TracksFound; ++track) {
        each->form.Combo8.listIndex = track;
        ApplyEffect(*each);
    }
    const Bytes rebuilt = TestSession::ReadBytes(all.folder() / "sonivex-temp.tmp");
    EXPECT_NE(rebuilt, file);
    EXPECT_EQ(rebuilt, TestSession::ReadBytes(each.folder() / "sonivex-temp.tmp"));
    EXPECT_EQ(all->song.TracksFound, 42);
    EXPECT_EQ(all->song.FileLength, static_cast<std::int64_t>(rebuilt.size()));
    // The reports agree but for the first line, which names each session's own copy of the song.
    const auto afterFirstLine = [](const std::string& text) { return text.substr(text.find('\n')); };
    EXPECT_EQ(afterFirstLine(all->report.PaneText), afterFirstLine(each->report.PaneText));
    EXPECT_FALSE(std::filesystem::exists(all.folder() / "dffhedc"));
}

TEST(ApplyEffect, WarnsAboutAnUnendedTrackAfterEveryRebuildUntilItIsRebuiltItself) {
    // Track 2 stops without End of Track, and three bytes follow the last track. After each of the first
    // tracks is rebuilt, the walk over the chunks finds both again; once track 2 is rebuilt it ends properly.
    const Bytes file = MidiFile()
                           .Add(Track().NoteOn(0, 0, 60, 100).End())
                           .Add(Track().NoteOn(0, 1, 60, 100))
                           .Add(Track().NoteOn(0, 2, 60, 100).End())
                           .Tail({0, 0, 0})
                           .Build();
    TestSession t;
    FakeMedia device;
    ChooseIncrease(t, device, file);
    t->form.Combo8.listIndex = 0;
    t.platform().messages.clear();
    ApplyEffect(*t);
    const std::string unended = "SONG.MID: Invalid Track Length ( 2)";
    const std::string tail = "SONG.MID:\r\nProbably unnecessary bytes at end of file. File should be OK.";
    EXPECT_EQ(t.platform().messages, (std::vector<std::string>{unended, tail, tail, tail}));
    EXPECT_EQ(TestSession::ReadBytes(t.folder() / "sonivex-temp.tmp"),
              MidiFile()
                  .Add(Track().NoteOn(0, 0, 63, 100).End())
                  .Add(Track().NoteOn(0, 1, 63, 100).End())
                  .Add(Track().NoteOn(0, 2, 63, 100).End())
                  .Tail({0, 0, 0})
                  .Build());
}

}  // namespace
}  // namespace sonivex::test
