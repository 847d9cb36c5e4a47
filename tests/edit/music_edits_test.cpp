// The plans of Transpose, Tempo and Instrument on songs that the command line cannot open or that few
// songs have: what they refuse, and what they leave alone.
#include <gtest/gtest.h>

#include "edit/music_edits.h"
#include "midi/chunks.h"
#include "support/midi_builder.h"

namespace sonivex::test {
namespace {

// The song's bytes with its tracks where the chunk scan finds them.
struct Planned {
    Bytes bytes;
    SongBytes song;

    explicit Planned(Bytes file) : bytes(std::move(file)) {
        song.file = bytes;
        if (const std::optional<SmfChunks> chunks = ScanChunks(bytes)) {
            song.header = chunks->header;
            song.tracks.assign(chunks->tracks.begin(), chunks->tracks.end());
        }
    }
};

TEST(MusicEditPlans, RefuseWhatTheyCannotDoWhole) {
    // Timed in frames (25 per second, 40 ticks each): no tempo sets the speed.
    const Planned frames(MidiFile(1, 0xE728).Add(Track().Tempo(0, 500000).NoteOn(0, 0, 60, 90).End()).Build());
    EXPECT_NE(PlanTempo(frames.song, {200}).refusal.value_or("").find("in frames"), std::string::npos);

    // A track cut off inside a note: the notes after the cut could not be moved with the others.
    const Planned cut(MidiFile().Add(Track().NoteOn(0, 0, 60, 90).NoteOn(0, 0, 62, 90).Raw({0, 0x90, 64})).Build());
    EXPECT_EQ(PlanTranspose(cut.song, {2, std::nullopt}).refusal.value_or(""),
              "Track 1 cannot be read to its end.\r\nThe song was left as it was.");
    EXPECT_TRUE(PlanInstrument(cut.song, {1, 3}).refusal);

    // A Set Tempo of two bytes has no room for a third.
    const Planned shortTempo(MidiFile().Add(Track().Meta(0, 0x51, {7, 0xA1}).NoteOn(0, 0, 60, 90).End()).Build());
    EXPECT_TRUE(PlanTempo(shortTempo.song, {50}).refusal);
    EXPECT_TRUE(PlanTempo(shortTempo.song, {100}).patch.Empty());
}

TEST(MusicEditPlans, MoveNoKeyOfOtherEventsAndCountNotesNotTheirEnds) {
    // A controller and a program change of value 120 are no keys; the one note at 120 ends with a Note Off.
    const Planned song(MidiFile()
                           .Add(Track().At(0, {0xB0, 120, 1}).Program(0, 0, 120).NoteOn(0, 0, 120, 90)
                                    .NoteOff(10, 0, 120).At(0, {0xE0, 120, 120}).End())
                           .Build());
    EXPECT_EQ(PlanTranspose(song.song, {10, std::nullopt}).refusal.value_or("").substr(0, 39),
              "Transposing by +10 would move 1 note ou");
    const EditPlan up = PlanTranspose(song.song, {7, std::nullopt});
    ASSERT_FALSE(up.refusal);
    ASSERT_EQ(up.patch.replacements.size(), 2u);  // the Note On's key and the Note Off's
    for (const SongPatch::Replacement& r : up.patch.replacements) EXPECT_EQ(r.byte, 127);
    EXPECT_TRUE(PlanTranspose(song.song, {0, std::nullopt}).patch.Empty());
}

}  // namespace
}  // namespace sonivex::test
