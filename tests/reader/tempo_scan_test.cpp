#include "reader/tempo_scan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "reader/parse.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

bool SameTempos(const std::vector<TempoPoint>& a, const std::vector<TempoPoint>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].tick != b[i].tick || a[i].microsPerQuarter != b[i].microsPerQuarter) return false;
    }
    return true;
}

// The scan before the report must find, track by track, the very tempo events that the decoding then finds.
void ExpectTheScanFindsWhatTheDecodingFinds(const Bytes& file, const std::string& name) {
    ReportTestSession t;
    if (!t.Load(file, "song.mid")) return;
    std::int64_t tempoDataPos = t->song.TempoDataPos;
    for (int track = 1; track <= t->song.TracksFound; ++track) {
        const std::vector<TempoPoint> scanned = ScanTrackTempos(*t, track, tempoDataPos);
        t->song.CurrentTrack = track;
        const TrackParse parsed = ParseTrack(*t);
        if (t->song.FileRepaired || t->song.RestartAfterRepair) return;  // the scan starts again
        EXPECT_TRUE(SameTempos(scanned, parsed.tempos)) << name << " track " << track;
    }
}

TEST(TempoScan, FindsTheTemposTheDecodingFindsInEveryTestSong) {
    int songs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SONIVEX_TEST_MIDI_DIR)) {
        if (entry.path().extension() != ".mid") continue;
        ExpectTheScanFindsWhatTheDecodingFinds(ReportTestSession::ReadBytes(entry.path()), entry.path().filename());
        ++songs;
    }
    EXPECT_GT(songs, 50);
}

TEST(TempoScan, FollowsTheDecodingsRulesOnDamagedTracks) {
    const std::vector<std::pair<const char*, Track>> cases = {
        // A tempo after channel events and a running-status run.
        {"after notes", Track().NoteOn(0, 0, 60, 100).Raw({5, 62, 100}).Tempo(7, 400000).Tempo(1, 300000).End(3)},
        // A zero tempo ends the track: the tempo after it is never read.
        {"zero tempo", Track().Tempo(0, 500000).Meta(4, 0x51, {0, 0, 0}).Tempo(0, 300000).End()},
        // An impossible time signature ends it too.
        {"bad signature", Track().Meta(0, 0x58, {0, 2, 24, 8}).Tempo(0, 300000).End()},
        // A controller run broken by a status-like data byte, and a system-exclusive message.
        {"controller", Track().At(0, {0xB0, 7, 100}).Raw({0x90}).At(3, {0xF0, 2, 1, 0xF7}).Tempo(2, 250000).End()},
        // A four-byte delta before a tempo.
        {"long delta", Track().NoteOn(0, 0, 60, 1).Tempo(3000000, 250000).End()},
        // Stray bytes where a status byte should be.
        {"stray", Track().Tempo(0, 500000).Raw({0x00, 0x05}).Tempo(1, 250000).End()},
    };
    for (const auto& [name, track] : cases) {
        ExpectTheScanFindsWhatTheDecodingFinds(MidiFile().Add(track).Add(Track().Tempo(9, 700000).End()).Build(), name);
    }
}

TEST(TempoScan, GivesFormatTwoTracksTheirOwnMaps) {
    ReportTestSession t;
    ASSERT_TRUE(t.Load(MidiFile(2).Add(Track().Tempo(0, 1000000).End(96)).Add(Track().End(96)).Build()));
    const SongTempo tempo = ReadSongTempo(*t);
    EXPECT_DOUBLE_EQ(tempo.Of(0).SecondsAt(96), 1.0);
    EXPECT_DOUBLE_EQ(tempo.Of(1).SecondsAt(96), 0.5);

    ReportTestSession u;
    ASSERT_TRUE(u.Load(MidiFile(1).Add(Track().End(96)).Add(Track().Tempo(0, 1000000).End(96)).Build()));
    EXPECT_DOUBLE_EQ(ReadSongTempo(*u).Of(0).SecondsAt(96), 1.0);  // the second track's tempo times the first
}

}  // namespace
}  // namespace sonivex::test
