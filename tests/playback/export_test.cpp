#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>
#include <fstream>
#include <iterator>

#include "playback/player/audio_exporter.h"
#include "playback/player/midi_player.h"
#include "playback/player/synth_engine.h"
#include "test_song.h"

#ifdef SONIVEX_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace sonivex::test {
namespace {

// Three organ quarter notes at 120 beats a minute (1.5 s): an organ holds its level to the note-off and then
// falls silent within milliseconds, so the sound's end shows where the song ends.
Bytes ThreeOrganNotes() {
    Track t;
    t.Tempo(0, 500000).Program(0, 0, 16);
    t.NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60);
    t.NoteOn(0, 0, 64, 100).NoteOff(96, 0, 64);
    t.NoteOn(0, 0, 67, 100).NoteOff(96, 0, 67);
    return MidiFile(0, kTicksPerQuarter).Add(t.End()).Build();
}

// One long string note that rings on after its note-off: a release that the export must keep.
Bytes RingingNote() {
    Track t;
    t.Tempo(0, 500000).Program(0, 0, 48);
    t.NoteOn(0, 0, 60, 127).NoteOff(192, 0, 60);
    return MidiFile(0, kTicksPerQuarter).Add(t.End()).Build();
}

// Two seconds of nothing: an end of track after 384 ticks and no note.
Bytes SilentSong() {
    Track t;
    t.Tempo(0, 500000);
    return MidiFile(0, kTicksPerQuarter).Add(t.End(384)).Build();
}

struct Sound {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples;  // interleaved
    double Seconds() const { return samples.size() / 2.0 / rate; }
    double PeakDb() const {
        float peak = 0;
        for (float v : samples) peak = std::max(peak, std::fabs(v));
        return 20 * std::log10(peak);
    }
};

#ifdef SONIVEX_HAVE_SNDFILE
std::optional<Sound> ReadSound(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return std::nullopt;
    Sound s;
    s.rate = info.samplerate;
    s.channels = info.channels;
    s.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t got = sf_readf_float(file, s.samples.data(), info.frames);
    sf_close(file);
    if (got != info.frames) return std::nullopt;
    return s;
}
#endif

ExportResult Export(const Bytes& song, const ScratchFile& target, const ExportProgress& progress = {}) {
    const ScratchFile midi(song, ".mid");
    return MakeAudioExporter()->Export(midi.path(), target.path(), progress, {});
}

std::vector<std::filesystem::path> FilesLike(const std::filesystem::path& target) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path())) {
        if (entry.path().filename().string().find(target.filename().string()) != std::string::npos) {
            found.push_back(entry.path());
        }
    }
    return found;
}

TEST(RenderSound, LastsTheSongAndStopsWhenItsReleaseHasFaded) {
    const std::optional<MidiSequence> organ = MidiSequence::Parse(ThreeOrganNotes());
    ASSERT_TRUE(organ);
    const std::optional<RenderedSound> sound = RenderSound(*organ, {});
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->songFrames, 66150);  // 1.5 s
    EXPECT_GE(sound->Frames(), sound->songFrames);
    EXPECT_LE(sound->Frames(), sound->songFrames + static_cast<std::int64_t>(kLongestReleaseSeconds * 44100));
    EXPECT_EQ(sound->left.size(), sound->right.size());
}

TEST(RenderSound, KeepsTheReleaseOfARingingNote) {
    if (!FindSoundFont()) GTEST_SKIP() << "no sound font installed";
    const std::optional<RenderedSound> sound = RenderSound(*MidiSequence::Parse(RingingNote()), {});
    ASSERT_TRUE(sound);
    // The strings fade for a while after the note-off at 1 s; the export keeps that but no more than 2 s.
    EXPECT_GT(sound->Frames(), sound->songFrames + 4410);
    EXPECT_LE(sound->Frames(), sound->songFrames + 2 * 44100);
}

// Regression: with FluidSynth's own threads sharing one synthesizer's voices, a voice could end a block
// sooner or later from one run to the next, and the same song gave sounds of different lengths.
TEST(RenderSound, GivesTheSameSamplesAtEveryRunForAnyNumberOfThreads) {
    if (!FindSoundFont()) GTEST_SKIP() << "no sound font installed";
    // Strings, a piano and drums on three channels, the notes overlapping, so that both parts have voices.
    Track t;
    t.Tempo(0, 400000).Program(0, 0, 48).Program(0, 1, 0);
    t.NoteOn(0, 0, 60, 110).NoteOn(0, 1, 64, 100).NoteOn(0, 9, 36, 120).NoteOff(48, 9, 36);
    t.NoteOn(0, 1, 67, 90).NoteOff(48, 1, 64).NoteOff(0, 1, 67).NoteOff(24, 0, 60);
    const MidiSequence song = *MidiSequence::Parse(MidiFile(0, kTicksPerQuarter).Add(t.End()).Build());
    const std::optional<RenderedSound> first = RenderSound(song, {}, 1);
    ASSERT_TRUE(first);
    ASSERT_GT(first->Frames(), first->songFrames);
    for (const int threads : {2, 2, 2, 4, 1}) {
        const std::optional<RenderedSound> again = RenderSound(song, {}, threads);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->left, first->left) << threads << " threads";
        EXPECT_EQ(again->right, first->right) << threads << " threads";
    }
}

// Every song of an exporter shares one load of its SoundFont, and sounds as it does alone: the synthesizer of
// the song before leaves nothing in the next one's sound (its effects' tail, its controllers).
TEST(AudioExporter, RendersEachOfManySongsAsItsOwnExportDoes) {
    if (!FindSoundFont()) GTEST_SKIP() << "no sound font installed";
    const ScratchFile ringing(RingingNote(), ".mid");
    const ScratchFile organ(ThreeOrganNotes(), ".mid");
    const ScratchFile alone(".wav");
    const ScratchFile second(".wav");
    const ScratchFile first(".wav");
    const auto bytesOf = [](const ScratchFile& f) {
        std::ifstream in(f.path(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    ASSERT_EQ(MakeAudioExporter()->Export(organ.path(), alone.path(), {}, {}).status, ExportStatus::Written);
    SynthAudioExporter many(std::nullopt, 1, SampleLoading::AllAtOnce);
    ASSERT_EQ(many.Load(), std::nullopt);
    ASSERT_EQ(many.Export(ringing.path(), first.path(), {}, {}).status, ExportStatus::Written);
    ASSERT_EQ(many.Export(organ.path(), second.path(), {}, {}).status, ExportStatus::Written);
    EXPECT_GT(bytesOf(alone).size(), 44u);
    EXPECT_EQ(bytesOf(second), bytesOf(alone));
    EXPECT_NE(bytesOf(first), bytesOf(alone));

    // An exporter that lets its SoundFont go after each song's render loads it again for the next one.
    SynthAudioExporter once(std::nullopt, 2, SampleLoading::AllAtOnce, SoundFontUse::OneExport);
    ASSERT_EQ(once.Export(ringing.path(), first.path(), {}, {}).status, ExportStatus::Written);
    ASSERT_EQ(once.Export(organ.path(), second.path(), {}, {}).status, ExportStatus::Written);
    EXPECT_EQ(bytesOf(second), bytesOf(alone));
}

// The song is read while the SoundFont loads; of the two problems, the SoundFont's is told, as it would fail
// every other song too.
TEST(AudioExporter, TellsOfASoundFontThatCannotLoadBeforeASongThatCannotBeRead) {
    const ScratchFile notAFont(Bytes{'n', 'o', 't', ' ', 'a', ' ', 'f', 'o', 'n', 't'}, ".sf2");
    const ScratchFile notASong(Bytes{'n', 'o', 't', ' ', 'a', ' ', 's', 'o', 'n', 'g'}, ".mid");
    const ScratchFile target(".wav");
    SynthAudioExporter exporter(notAFont.path(), 2);
    const ExportResult result = exporter.Export(notASong.path(), target.path(), {}, {});
    EXPECT_EQ(result.status, ExportStatus::Failed);
    EXPECT_EQ(result.problem, "was not written: " + notAFont.path().string() + " could not be loaded as a SoundFont");
    EXPECT_TRUE(FilesLike(target.path()).empty());
}

// Regression: the effects' faint noise in a song without notes was raised to full scale.
TEST(RenderSound, ASongWithoutNotesIsSilenceAsLongAsTheSong) {
    RenderedSound sound = *RenderSound(*MidiSequence::Parse(SilentSong()), {});
    EXPECT_EQ(sound.Frames(), 88200);
    EXPECT_EQ(Normalise(sound), 1.0);
    const auto quiet = [](float v) { return std::fabs(v) < 0.00001f; };
    EXPECT_TRUE(std::all_of(sound.left.begin(), sound.left.end(), quiet));
    EXPECT_TRUE(std::all_of(sound.right.begin(), sound.right.end(), quiet));
}

TEST(Normalise, BringsTheLoudestSampleOfEitherChannelToTheGivenLevel) {
    RenderedSound sound;
    sound.left = {0.1f, -0.2f, 0.05f};
    sound.right = {0.0f, 0.1f, -0.25f};
    Normalise(sound, -6.0);
    const double target = std::pow(10.0, -6.0 / 20);
    EXPECT_NEAR(sound.right[2], -target, 1e-6);
    EXPECT_NEAR(sound.left[1], -0.2 / 0.25 * target, 1e-6);
}

TEST(AudioExport, ACancelledExportLeavesNoFileAndAnExistingOneAsItWas) {
    const ScratchFile target(".wav");
    int calls = 0;
    // Cancelled at the first report, while the song is rendered.
    const ExportResult first = Export(ThreeOrganNotes(), target, [&](double) { ++calls; return false; });
    EXPECT_EQ(first.status, ExportStatus::Cancelled);
    EXPECT_EQ(calls, 1);  // nothing more was rendered or written
    EXPECT_TRUE(FilesLike(target.path()).empty());

    std::ofstream(target.path()) << "an older file";
    // Cancelled at the very end, while the file is written.
    const ExportResult late = Export(ThreeOrganNotes(), target, [](double f) { return f < 0.95; });
    EXPECT_EQ(late.status, ExportStatus::Cancelled);
    EXPECT_EQ(FilesLike(target.path()), std::vector<std::filesystem::path>{target.path()});
    std::ifstream in(target.path());
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "an older file");
}

TEST(AudioExport, ReportsProgressFromZeroToOne) {
    const ScratchFile target(".wav");
    std::vector<double> seen;
    ASSERT_EQ(Export(ThreeOrganNotes(), target, [&](double f) { seen.push_back(f); return true; }).status,
              ExportStatus::Written);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GT(seen.front(), 0);
    EXPECT_DOUBLE_EQ(seen.back(), 1.0);
}

TEST(AudioExport, FailsForAnUnreadableSongOrAnUnknownNameAndWritesNothing) {
    const ScratchFile target(".wav");
    EXPECT_EQ(MakeAudioExporter()->Export("/nonexistent/song.mid", target.path(), {}, {}).status, ExportStatus::Failed);
    EXPECT_EQ(Export(ThreeOrganNotes(), ScratchFile(".mp3")).status, ExportStatus::Failed);
    const ExportResult unwritable = MakeAudioExporter()->Export(ScratchFile(ThreeOrganNotes(), ".mid").path(),
                                                                "/nonexistent/folder/song.wav", {}, {});
    EXPECT_EQ(unwritable.status, ExportStatus::Failed);
    EXPECT_TRUE(FilesLike(target.path()).empty());
}

#ifdef SONIVEX_HAVE_SNDFILE
TEST(AudioExport, WritesStereoAtTheSampleRateForTheSongAndItsRelease) {
    const ScratchFile target(".wav");
    const ExportResult result = Export(ThreeOrganNotes(), target);
    ASSERT_EQ(result.status, ExportStatus::Written);
    const std::optional<Sound> sound = ReadSound(target.path());
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->rate, 44100);
    EXPECT_EQ(sound->channels, 2);
    EXPECT_GE(sound->Seconds(), 1.5);
    EXPECT_LE(sound->Seconds(), 1.5 + kLongestReleaseSeconds);
    EXPECT_NEAR(result.seconds, sound->Seconds(), 1e-9);
}

TEST(AudioExport, NormalisesTheLoudestSampleToOneDecibelBelowFullScale) {
    if (!FindSoundFont()) GTEST_SKIP() << "no sound font installed";
    for (const Bytes& song : {ThreeOrganNotes(), RingingNote()}) {
        const ScratchFile target(".flac");
        ASSERT_EQ(Export(song, target).status, ExportStatus::Written);
        EXPECT_NEAR(ReadSound(target.path())->PeakDb(), -1.0, 0.1);
    }
}

#ifdef SONIVEX_HAVE_SNDFILE
// Each 16-bit sample of a WAV or FLAC export is the rendered sound's, normalised and rounded to the nearest
// step, half steps to the even one: the writer's own rounding must not move a sample by a step.
TEST(AudioExport, WritesTheNormalisedSoundRoundedTo16Bits) {
    if (!FindSoundFont()) GTEST_SKIP() << "no sound font installed";
    const ScratchFile midi(RingingNote(), ".mid");
    RenderedSound rendered = *RenderSound(*MidiSequence::Read(midi.path()), {});
    Normalise(rendered);
    for (const char* extension : {".wav", ".flac"}) {
        const ScratchFile target(extension);
        ASSERT_EQ(Export(RingingNote(), target).status, ExportStatus::Written);
        SF_INFO info{};
        SNDFILE* file = sf_open(target.path().c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(info.frames, rendered.Frames());
        std::vector<short> written(static_cast<std::size_t>(info.frames) * 2);
        EXPECT_EQ(sf_readf_short(file, written.data(), info.frames), info.frames);
        sf_close(file);
        std::size_t off = 0;
        for (std::size_t i = 0; i < rendered.left.size(); ++i) {
            off += written[2 * i] != std::lrint(rendered.left[i] * 32767.0f);
            off += written[2 * i + 1] != std::lrint(rendered.right[i] * 32767.0f);
        }
        EXPECT_EQ(off, 0u) << extension;
    }
}
#endif

// The export of `song`, normalised to the level of the player's render of it (one synthesizer), must be that
// render at every sample of the song's time.
void ExpectToSoundAsThePlayersRender(const Bytes& song) {
    const ScratchFile midi(song, ".mid");
    const ScratchFile played(".wav");
    ASSERT_TRUE(RenderToWav(midi.name(), played.name()));
    Sound reference = *ReadSound(played.path());

    RenderedSound exported = *RenderSound(*MidiSequence::Read(midi.path()), {});
    ASSERT_GE(reference.samples.size() / 2, static_cast<std::size_t>(exported.songFrames));
    float peak = 0;
    for (float v : reference.samples) peak = std::max(peak, std::fabs(v));
    ASSERT_GT(peak, 0.01f);
    const double factor = Normalise(exported, 20 * std::log10(peak));
    EXPECT_GT(factor, 0.99);  // the same level before normalising
    EXPECT_LT(factor, 1.01);
    float worst = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(exported.songFrames); ++i) {
        worst = std::max({worst, std::fabs(exported.left[i] - reference.samples[2 * i]),
                          std::fabs(exported.right[i] - reference.samples[2 * i + 1])});
    }
    EXPECT_LT(worst, 0.002);  // 16-bit rounding and the level's last digits
}

// The export renders on synthesizers of its own that borrow a SoundFont loaded for it, and shares the notes
// out between them; the player renders on one. Both must sound the same, a program chosen in the middle of
// the song too, or an instrument would be missing from the export.
TEST(AudioExport, SoundsAsThePlayersRenderDoes) {
    if (!FindSoundFont()) GTEST_SKIP() << "no sound font installed";
    Track t;
    t.Tempo(0, 500000).Program(0, 0, 16).Program(0, 1, 56).Program(0, 9, 0);
    t.NoteOn(0, 0, 60, 100).NoteOn(0, 1, 67, 90).NoteOn(0, 9, 38, 110);
    t.NoteOff(96, 0, 60).NoteOff(0, 1, 67).NoteOff(0, 9, 38);
    t.Program(0, 0, 40).NoteOn(0, 0, 64, 100).NoteOff(96, 0, 64);  // a program chosen in the middle of the song
    ExpectToSoundAsThePlayersRender(MidiFile(0, kTicksPerQuarter).Add(t.End()).Build());
}

// The export renders the song's keys on two synthesizers. Notes of different keys that act on each other
// must still meet on one: a closed hi-hat cuts the open one short, and a gliding channel slides from the key
// it played last.
TEST(AudioExport, NotesThatActOnEachOtherSoundAsOnOneSynthesizer) {
    if (!FindSoundFont()) GTEST_SKIP() << "no sound font installed";
    Track hats;
    hats.Tempo(0, 500000);
    for (int bar = 0; bar < 3; ++bar) hats.NoteOn(0, 9, 46, 120).NoteOff(48, 9, 46).NoteOn(0, 9, 42, 120).NoteOff(48, 9, 42);
    ExpectToSoundAsThePlayersRender(MidiFile(0, kTicksPerQuarter).Add(hats.End()).Build());

    Track glide;
    glide.Tempo(0, 500000).Program(0, 0, 80).At(0, {0xB0, 65, 127}).At(0, {0xB0, 5, 60});
    for (int step = 0; step < 6; ++step) glide.NoteOn(0, 0, 60 + 5 * step, 100).NoteOff(48, 0, 60 + 5 * step - 5);
    ExpectToSoundAsThePlayersRender(MidiFile(0, kTicksPerQuarter).Add(glide.NoteOff(48, 0, 85).End()).Build());
}

// A part whose notes send nothing to the chorus renders without it. The guitar's chorus, turned up here,
// must still sound, and the piano's reverb.
TEST(AudioExport, KeepsTheEffectsThatSomeNotesAreSentTo) {
    if (!FindSoundFont()) GTEST_SKIP() << "no sound font installed";
    Track t;
    t.Tempo(0, 500000).Program(0, 0, 0).Program(0, 1, 24).At(0, {0xB1, 93, 127}).At(0, {0xB0, 91, 127});
    for (int beat = 0; beat < 8; ++beat) {
        t.NoteOn(0, 0, 60 + beat, 100).NoteOn(0, 0, 67 + beat, 100);
        if (beat % 4 == 0) t.NoteOn(0, 1, 52 + beat, 110).NoteOff(24, 1, 52 + beat);
        t.NoteOff(beat % 4 == 0 ? 72 : 96, 0, 60 + beat).NoteOff(0, 0, 67 + beat);
    }
    ExpectToSoundAsThePlayersRender(MidiFile(0, kTicksPerQuarter).Add(t.End()).Build());
}

// The render shares its voices among threads. A voice rendered twice, dropped or mixed into the wrong block
// by one of them would change the sound, so it must match the sound rendered on one thread.
TEST(RenderSound, SoundsTheSameOnSeveralThreadsAsOnOne) {
    if (!FindSoundFont()) GTEST_SKIP() << "no sound font installed";
    // Chords of six channels that overlap and ring on: dozens of voices at once, started and ended at
    // different frames, with reverb and chorus on every channel.
    Track t;
    t.Tempo(0, 500000);
    const int programs[] = {0, 16, 48, 24, 56, 89};
    for (int c = 0; c < 6; ++c) t.Program(0, c, programs[c]).At(0, {0xB0 | c, 91, 100}).At(0, {0xB0 | c, 93, 80});
    for (int step = 0; step < 8; ++step) {
        for (int c = 0; c < 6; ++c) t.NoteOn(c == 0 ? 24 : 0, c, 48 + 4 * c + step, 70 + 5 * c);
        t.NoteOn(0, 9, 36 + step, 110);
        for (int c = 0; c < 6; ++c) t.NoteOff(c == 0 ? 60 : 0, c, 48 + 4 * c + step);
    }
    const std::optional<MidiSequence> song = MidiSequence::Parse(MidiFile(0, kTicksPerQuarter).Add(t.End()).Build());
    ASSERT_TRUE(song);

    const RenderedSound one = *RenderSound(*song, {}, 1);
    const RenderedSound three = *RenderSound(*song, {}, 3);
    ASSERT_EQ(three.Frames(), one.Frames());
    float peak = 0;
    float worst = 0;
    for (std::size_t i = 0; i < one.left.size(); ++i) {
        peak = std::max({peak, std::fabs(one.left[i]), std::fabs(one.right[i])});
        worst = std::max({worst, std::fabs(three.left[i] - one.left[i]), std::fabs(three.right[i] - one.right[i])});
    }
    ASSERT_GT(peak, 0.01f);
    EXPECT_LT(worst, peak * 1e-5f);  // only the order of the sums may differ: 100 dB below the peak
}

TEST(AudioExport, WritesFlacAndOggVorbisThatReadBack) {
    const ScratchFile wav(".wav");
    const ScratchFile flac(".flac");
    const ScratchFile ogg(".OGG");
    ASSERT_EQ(Export(ThreeOrganNotes(), wav).status, ExportStatus::Written);
    ASSERT_EQ(Export(ThreeOrganNotes(), flac).status, ExportStatus::Written);
    ASSERT_EQ(Export(ThreeOrganNotes(), ogg).status, ExportStatus::Written);
    const Sound w = *ReadSound(wav.path());
    const std::optional<Sound> f = ReadSound(flac.path());
    const std::optional<Sound> o = ReadSound(ogg.path());
    ASSERT_TRUE(f && o);
    EXPECT_EQ(f->samples, w.samples);  // FLAC is lossless: the same 16-bit samples
    EXPECT_EQ(o->rate, 44100);
    EXPECT_EQ(o->channels, 2);
    EXPECT_NEAR(o->Seconds(), w.Seconds(), 0.01);

    SF_INFO info{};
    SNDFILE* file = sf_open(ogg.path().c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    sf_close(file);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_OGG);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_VORBIS);
}
#endif

// Two organ notes a second apart, each in a track of its own: the first sounds from 0 to 0.5 s, the second from
// 1 to 1.5 s.
Bytes TwoOrganTracks() {
    Track first;
    first.Tempo(0, 500000).Program(0, 0, 16).NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End(192);
    Track second;
    second.Program(0, 1, 16).NoteOn(192, 1, 67, 100).NoteOff(96, 1, 67).End();
    return MidiFile(1, kTicksPerQuarter).Add(first).Add(second).Build();
}

float PeakBetween(const RenderedSound& sound, double from, double to) {
    float peak = 0;
    const auto first = static_cast<std::size_t>(from * SynthEngine::kSampleRate);
    const auto last = std::min(sound.left.size(), static_cast<std::size_t>(to * SynthEngine::kSampleRate));
    for (std::size_t i = first; i < last; ++i) peak = std::max({peak, std::fabs(sound.left[i]), std::fabs(sound.right[i])});
    return peak;
}

TEST(RenderSound, LeavesTheNotesOfASilencedTrackOut) {
    const std::optional<MidiSequence> song = MidiSequence::Parse(TwoOrganTracks());
    ASSERT_TRUE(song);
    const RenderedSound whole = *RenderSound(*song, {}, 1);
    if (PeakBetween(whole, 0, 1.5) < 0.01f) GTEST_SKIP() << "no sound font installed";
    const RenderedSound muted = *RenderSound(*song, {}, 1, SilencedTracks({0}));
    EXPECT_GT(PeakBetween(whole, 0.1, 0.4), 0.01f);
    EXPECT_LT(PeakBetween(muted, 0.1, 0.4), 0.0001f);  // the first track's note is gone
    EXPECT_GT(PeakBetween(muted, 1.1, 1.4), 0.01f);    // the second's is there
    EXPECT_EQ(muted.songFrames, whole.songFrames);     // and the song lasts as long
}

TEST(AudioExport, WritesTheSongWithoutItsSilencedTracks) {
    const ScratchFile midi(TwoOrganTracks(), ".mid");
    const ScratchFile all(".wav");
    const ScratchFile muted(".wav");
    ASSERT_EQ(MakeAudioExporter()->Export(midi.path(), all.path(), {}, {}).status, ExportStatus::Written);
    ASSERT_EQ(MakeAudioExporter()->Export(midi.path(), muted.path(), {}, SilencedTracks({1})).status,
              ExportStatus::Written);
    // The files differ: the second note is missing from one of them.
    std::ifstream a(all.path(), std::ios::binary), b(muted.path(), std::ios::binary);
    const std::string allBytes((std::istreambuf_iterator<char>(a)), std::istreambuf_iterator<char>());
    const std::string mutedBytes((std::istreambuf_iterator<char>(b)), std::istreambuf_iterator<char>());
    const std::optional<MidiSequence> song = MidiSequence::Parse(TwoOrganTracks());
    if (PeakBetween(*RenderSound(*song, {}, 1), 0, 1.5) < 0.01f) GTEST_SKIP() << "no sound font installed";
    EXPECT_NE(allBytes, mutedBytes);
}

}  // namespace
}  // namespace sonivex::test
