#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "report/features.h"
#include "support/midi_builder.h"

namespace sonivex::test {
namespace {

constexpr int kQuarter = 96;

Timeline Read(const MidiFile& file) { return ReadTimeline(file.Build()); }

// Notes one after the other on channel 0, each `length` ticks long.
Track Line(const std::vector<int>& keys, std::uint32_t length = kQuarter, int channel = 0) {
    Track t;
    for (int key : keys) t.NoteOn(0, channel, key, 100).NoteOff(length, channel, key);
    return t.End();
}

// Chords one after the other, each `length` ticks long.
Track Chords(const std::vector<std::vector<int>>& chords, std::uint32_t length) {
    Track t;
    for (const std::vector<int>& chord : chords) {
        for (int key : chord) t.NoteOn(0, 0, key, 90);
        bool first = true;
        for (int key : chord) {
            t.NoteOff(first ? length : 0, 0, key);
            first = false;
        }
    }
    return t.End();
}

// A scale up and down from the tonic, then the cadence I-IV-V-I (minor: harmonic minor, i-iv-V-i), in the key
// whose tonic is `tonic` semitones above middle C.
MidiFile ScaleAndCadence(int tonic, bool minor) {
    const std::vector<int> degrees = minor ? std::vector<int>{0, 2, 3, 5, 7, 8, 11, 12}
                                           : std::vector<int>{0, 2, 4, 5, 7, 9, 11, 12};
    std::vector<int> keys;
    for (int d : degrees) keys.push_back(60 + tonic + d);
    for (auto it = degrees.rbegin() + 1; it != degrees.rend(); ++it) keys.push_back(60 + tonic + *it);
    const int third = minor ? 3 : 4;
    const int t = 48 + tonic;
    const std::vector<std::vector<int>> cadence{{t, t + third, t + 7},
                                                {t + 5, t + 5 + third, t + 12},
                                                {t + 7, t + 11, t + 14},
                                                {t, t + third, t + 7}};
    Track line;
    for (int key : keys) line.NoteOn(0, 0, key, 100).NoteOff(kQuarter, 0, key);
    for (const std::vector<int>& chord : cadence) {
        for (int key : chord) line.NoteOn(0, 0, key, 90);
        bool first = true;
        for (int key : chord) {
            line.NoteOff(first ? 2 * kQuarter : 0, 0, key);
            first = false;
        }
    }
    return MidiFile(0, kQuarter).Add(line.End());
}

TEST(KeyEstimate, FindsEveryKeyOfScalesAndCadencesWithEachProfile) {
    for (KeyProfile profile : {KeyProfile::Krumhansl, KeyProfile::Temperley, KeyProfile::Aarden}) {
        for (int tonic = 0; tonic < 12; ++tonic) {
            for (bool minor : {false, true}) {
                const std::optional<KeyEstimate> estimate = ComputeFeatures(Read(ScaleAndCadence(tonic, minor)), profile).key;
                ASSERT_TRUE(estimate.has_value());
                EXPECT_EQ(KeyName(estimate->key), KeyName({tonic, minor})) << KeyProfileName(profile);
                EXPECT_GT(estimate->correlation, 0.7);
                EXPECT_GT(estimate->margin, 0);
            }
        }
    }
}

TEST(KeyEstimate, NamesKeysAndReadsKeySignatures) {
    EXPECT_EQ(KeyName(KeyOfSignature(0, false)), "C major");
    EXPECT_EQ(KeyName(KeyOfSignature(0, true)), "A minor");
    EXPECT_EQ(KeyName(KeyOfSignature(-3, false)), "Eb major");
    EXPECT_EQ(KeyName(KeyOfSignature(-3, true)), "C minor");
    EXPECT_EQ(KeyName(KeyOfSignature(3, true)), "F# minor");
    EXPECT_EQ(KeyName(KeyOfSignature(7, false)), "Db major");  // C sharp major sounds as D flat major
    EXPECT_EQ(KeyName(KeyOfSignature(-7, false)), "B major");  // C flat major sounds as B major
    EXPECT_EQ(RelativeKey(KeyOfSignature(2, false)), KeyOfSignature(2, true));
    EXPECT_EQ(RelativeKey(KeyOfSignature(-5, true)), KeyOfSignature(-5, false));
    EXPECT_EQ(KeyProfileNamed("temperley"), KeyProfile::Temperley);
    EXPECT_EQ(KeyProfileNamed("Temperley"), std::nullopt);
}

TEST(KeyEstimate, GivesNoKeyWithoutVaryingWeights) {
    EXPECT_EQ(EstimateKey({}, KeyProfile::Krumhansl), std::nullopt);
    std::array<double, 12> even;
    even.fill(1.0 / 12);
    EXPECT_EQ(EstimateKey(even, KeyProfile::Aarden), std::nullopt);
    // Only drums: no melody notes to weigh.
    EXPECT_EQ(ComputeFeatures(Read(MidiFile(0, kQuarter).Add(Line({36, 38, 42}, kQuarter, 9)))).key, std::nullopt);
}

TEST(SongFeatures, OfACMajorScaleOfQuarterNotes) {
    const SongFeatures f = ComputeFeatures(Read(MidiFile(0, kQuarter).Add(Line({60, 62, 64, 65, 67, 69, 71, 72}))));
    const std::array<double, 12> histogram{0.25, 0, 0.125, 0, 0.125, 0.125, 0, 0.125, 0, 0.125, 0, 0.125};
    for (int pc = 0; pc < 12; ++pc) EXPECT_DOUBLE_EQ(f.pitchClassHistogram[pc], histogram[pc]) << pc;
    EXPECT_TRUE(f.key.has_value());
    EXPECT_EQ(f.lowestPitch, 60);
    EXPECT_EQ(f.highestPitch, 72);
    EXPECT_DOUBLE_EQ(*f.meanPitch, 66.25);
    EXPECT_DOUBLE_EQ(f.noteDensity, 2.0);  // 8 notes in 4 s at 120 beats per minute
    EXPECT_DOUBLE_EQ(f.meanPolyphony, 1.0);
    EXPECT_EQ(f.maxPolyphony, 1);
    EXPECT_DOUBLE_EQ(*f.velocityMean, 100);
    EXPECT_DOUBLE_EQ(*f.velocitySpread, 0);
    EXPECT_EQ(f.intervalCount, 7u);  // tone, tone, semitone, tone, tone, tone, semitone
    EXPECT_DOUBLE_EQ(f.intervalHistogram[1], 2.0 / 7);
    EXPECT_DOUBLE_EQ(f.intervalHistogram[2], 5.0 / 7);
    EXPECT_DOUBLE_EQ(f.tempoMin, 120);
    EXPECT_DOUBLE_EQ(f.tempoMax, 120);
    EXPECT_DOUBLE_EQ(f.tempoMean, 120);
    ASSERT_EQ(f.timeSignatures.size(), 1u);
    EXPECT_EQ(f.timeSignatures[0].numerator, 4);
    EXPECT_DOUBLE_EQ(f.timeSignatures[0].share, 1);
    ASSERT_EQ(f.families.size(), 1u);
    EXPECT_EQ(f.families[0].family, "Piano");
    EXPECT_DOUBLE_EQ(f.families[0].seconds, 4);
}

TEST(SongFeatures, PolyphonyTempoAndSignaturesFollowTheClock) {
    // A C major chord for two beats at 120 beats per minute, then one note for two beats at 60.
    Track chords = Chords({{60, 64, 67}}, 2 * kQuarter);
    Track tempo;
    tempo.Tempo(0, 500000).Meta(0, 0x58, {4, 2, 24, 8}).Tempo(2 * kQuarter, 1000000).Meta(0, 0x58, {3, 2, 24, 8});
    tempo.End(2 * kQuarter);
    Track single;
    single.NoteOn(2 * kQuarter, 1, 72, 60).NoteOff(2 * kQuarter, 1, 72).End();
    const SongFeatures f = ComputeFeatures(Read(MidiFile(1, kQuarter).Add(tempo).Add(chords).Add(single)));
    EXPECT_EQ(f.maxPolyphony, 3);
    EXPECT_DOUBLE_EQ(f.meanPolyphony, 5.0 / 3);  // 3 notes for 1 s, 1 note for 2 s
    EXPECT_DOUBLE_EQ(f.tempoMin, 60);
    EXPECT_DOUBLE_EQ(f.tempoMax, 120);
    EXPECT_DOUBLE_EQ(f.tempoMean, 80);  // 120 for 1 s, 60 for 2 s
    ASSERT_EQ(f.timeSignatures.size(), 2u);
    EXPECT_EQ(f.timeSignatures[1].numerator, 3);
    EXPECT_DOUBLE_EQ(f.timeSignatures[0].share, 1.0 / 3);
    EXPECT_DOUBLE_EQ(f.timeSignatures[1].share, 2.0 / 3);
    EXPECT_DOUBLE_EQ(f.noteDensity, 4.0 / 3);
    EXPECT_DOUBLE_EQ(*f.velocityMean, 82.5);
}

TEST(SongFeatures, InFormatTwoEachTrackKeepsItsOwnClock) {
    // Two songs in one file: a C of one beat at 60 beats per minute, an E of one beat at 120.
    Track slow;
    slow.Tempo(0, 1000000).NoteOn(0, 0, 60, 100).NoteOff(kQuarter, 0, 60).End();
    const SongFeatures f = ComputeFeatures(Read(MidiFile(2, kQuarter).Add(slow).Add(Line({64}))));
    EXPECT_DOUBLE_EQ(f.pitchClassHistogram[0], 2.0 / 3);
    EXPECT_DOUBLE_EQ(f.pitchClassHistogram[4], 1.0 / 3);
    EXPECT_EQ(f.maxPolyphony, 2);
    EXPECT_DOUBLE_EQ(f.meanPolyphony, 1.5);  // both for 0.5 s, the C alone for 0.5 s
    ASSERT_EQ(f.families.size(), 1u);
    EXPECT_DOUBLE_EQ(f.families[0].seconds, 1);
}

TEST(SongFeatures, ALongSongSortsItsNotesByTimeWithEndsBeforeStarts) {
    // 300 quarter-note Cs against 150 half-note Gs and 300 drum hits: enough notes, over enough ticks, to be
    // sorted in several passes. Every note ends where the next one starts, which must not count as sounding
    // together, and the tempo halves half-way through.
    Track tempo;
    tempo.Tempo(0, 500000).Tempo(150 * kQuarter, 1000000).End();
    std::vector<int> cs(300, 60);
    std::vector<int> gs(150, 67);
    const Track drums = Line(std::vector<int>(300, 38), kQuarter, 9);
    const SongFeatures f = ComputeFeatures(
        Read(MidiFile(1, kQuarter).Add(tempo).Add(Line(cs)).Add(Line(gs, 2 * kQuarter, 1)).Add(drums)));
    EXPECT_EQ(f.maxPolyphony, 2);
    EXPECT_DOUBLE_EQ(f.meanPolyphony, 2);
    EXPECT_DOUBLE_EQ(f.pitchClassHistogram[0], 0.5);  // 75 s + 150 s of each
    EXPECT_DOUBLE_EQ(f.pitchClassHistogram[7], 0.5);
    ASSERT_EQ(f.families.size(), 2u);
    EXPECT_DOUBLE_EQ(f.families[0].seconds, 225);
    EXPECT_DOUBLE_EQ(f.families[1].seconds, 225);
}

TEST(SongFeatures, FamiliesFollowTheProgramOfEachChannel) {
    Track bass;
    bass.Program(0, 1, 33).NoteOn(0, 1, 40, 100).NoteOff(kQuarter, 1, 40).Program(0, 1, 0);
    bass.NoteOn(kQuarter, 1, 60, 100).NoteOff(kQuarter, 1, 60).End();
    const Track drums = Line({36, 38}, kQuarter / 2, 9);
    const SongFeatures f = ComputeFeatures(Read(MidiFile(1, kQuarter).Add(bass).Add(drums)));
    ASSERT_EQ(f.families.size(), 3u);
    EXPECT_EQ(f.families[0].family, "Piano");
    EXPECT_DOUBLE_EQ(f.families[0].seconds, 0.5);
    EXPECT_EQ(f.families[1].family, "Bass");
    EXPECT_DOUBLE_EQ(f.families[1].seconds, 0.5);
    EXPECT_EQ(f.families[2].family, "Drums");
    EXPECT_DOUBLE_EQ(f.families[2].seconds, 0.5);
    // The drum notes leave the melody facts alone.
    EXPECT_EQ(f.lowestPitch, 40);
    EXPECT_EQ(f.intervalCount, 1u);
}

TEST(SongFeatures, IntervalsFollowTheTopLineOfEachTrack) {
    // A line with a chord in it (its top note counts), and a second track whose line is not joined to the first.
    Track first;
    first.NoteOn(0, 0, 60, 90).NoteOff(kQuarter, 0, 60);
    first.NoteOn(0, 0, 64, 90).NoteOn(0, 0, 67, 90).NoteOff(kQuarter, 0, 64).NoteOff(0, 0, 67);
    first.NoteOn(0, 0, 79, 90).NoteOff(kQuarter, 0, 79).End();
    const SongFeatures f = ComputeFeatures(Read(MidiFile(1, kQuarter).Add(first).Add(Line({50, 51}, kQuarter, 1))));
    EXPECT_EQ(f.intervalCount, 3u);
    EXPECT_DOUBLE_EQ(f.intervalHistogram[7], 1.0 / 3);   // 60 to the chord's 67
    EXPECT_DOUBLE_EQ(f.intervalHistogram[11], 1.0 / 3);  // 67 to 79: 12 semitones, in the last bin
    EXPECT_DOUBLE_EQ(f.intervalHistogram[1], 1.0 / 3);   // 50 to 51
}

TEST(NotesHash, IsTheSameForTheSameNotesWhateverTheFileAroundThem) {
    const std::vector<int> tune{60, 64, 67, 72, 67, 64};
    const std::string one = NotesHash(Read(MidiFile(0, kQuarter).Add(Line(tune))));

    // Five times the ticks per quarter, another tempo, a name, and the notes split over two tracks and channels.
    Track first;
    first.Name(0, "Melody").Tempo(0, 750000);
    Track second;
    second.Name(0, "Second half");
    for (std::size_t i = 0; i < tune.size(); ++i) {
        Track& t = i < 3 ? first : second;
        const std::uint32_t wait = (i == 3) ? 3 * 5 * kQuarter : 0;
        t.NoteOn(wait, i < 3 ? 0 : 4, tune[i], 50).NoteOff(5 * kQuarter, i < 3 ? 0 : 4, tune[i]);
    }
    const MidiFile other = MidiFile(1, 5 * kQuarter).Add(first.End()).Add(second.End());
    EXPECT_EQ(NotesHash(Read(other)), one);

    std::vector<int> changed = tune;
    changed[4] = 68;
    EXPECT_NE(NotesHash(Read(MidiFile(0, kQuarter).Add(Line(changed)))), one);
    EXPECT_NE(NotesHash(Read(MidiFile(0, kQuarter).Add(Line(tune, kQuarter / 2)))), one);
    EXPECT_NE(NotesHash(Read(MidiFile(0, kQuarter).Add(Line(tune, kQuarter, 9)))), one);  // drums now
    EXPECT_EQ(one.size(), 16u);
}

}  // namespace
}  // namespace sonivex::test
