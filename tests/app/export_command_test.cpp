#include <gtest/gtest.h>

#include <fstream>

#include "app/commands.h"
#include "app/export_command.h"
#include "support/fake_media.h"
#include "support/test_session.h"

namespace sonivex::test {
namespace {

// Records what it was asked and reports progress in four steps; the platform's answer can cancel it.
class FakeExporter : public AudioExporter {
public:
    ExportResult Export(const std::filesystem::path& song, const std::filesystem::path& target,
                        const ExportProgress& progress, const SilencedTracks& silencedTracks) override {
        silenced.push_back(silencedTracks);
        songs.push_back(TestSession::ReadBytes(song));
        targets.push_back(target.string());
        for (double f : {0.25, 0.5, 0.75, 1.0}) {
            if (progress && !progress(f)) return {ExportStatus::Cancelled, "", 0};
        }
        return result;
    }
    std::vector<Bytes> songs;
    std::vector<SilencedTracks> silenced;
    std::vector<std::string> targets;
    ExportResult result{ExportStatus::Written, "", 1.5};
};

struct Exporting {
    TestSession t;
    FakeMedia device;
    FakeExporter exporter;
    std::filesystem::path song;
    Exporting() {
        t->media.Device = &device;
        t->media.Exporter = &exporter;
        FormLoad(*t);
        song = t.WriteSong(MidiFile().Add(Track().Program(0, 0, 3).NoteOn(0, 0, 60, 100).End(96)).Build(), "Tune.mid");
        OpenCommand(*t, song.string());
    }
    std::string Target(const std::string& name) { return (t.folder().parent_path() / name).string(); }
};

TEST(ExportAudio, RendersTheWorkingCopyAsItNowStands) {
    Exporting e;
    e.t->form.Combo5.listIndex = 0;
    CommandClick(*e.t, CommandButton::CopyTrack);  // copy the track: the export must see the edited song
    const Bytes edited = TestSession::ReadBytes(e.t->WorkFile(e.t->song.TempFileName));
    EXPECT_EQ(ExportAudio(*e.t, e.Target("tune.flac")), ExportStatus::Written);
    ASSERT_EQ(e.exporter.songs.size(), 1u);
    EXPECT_EQ(e.exporter.songs[0], edited);
    EXPECT_EQ(e.exporter.targets[0], e.Target("tune.flac"));
    EXPECT_TRUE(e.t.platform().messages.empty());
}

TEST(ExportAudio, ShowsProgressAndACancelEndsItWithoutAMessage) {
    Exporting e;
    EXPECT_EQ(ExportAudio(*e.t, e.Target("tune.wav")), ExportStatus::Written);
    EXPECT_EQ(e.t.platform().progress, (std::vector<double>{0.25, 0.5, 0.75, 1.0}));
    EXPECT_EQ(e.t.platform().progressText, "Exporting tune.wav...");
    EXPECT_EQ(e.t.platform().progressEnded, 1);
    e.t.platform().progress.clear();
    e.t.platform().cancelAfter = 2;
    EXPECT_EQ(ExportAudio(*e.t, e.Target("tune.wav")), ExportStatus::Cancelled);
    EXPECT_EQ(e.t.platform().progress.size(), 2u);
    EXPECT_EQ(e.t.platform().progressEnded, 2);
    EXPECT_TRUE(e.t.platform().messages.empty());
    EXPECT_FALSE(e.t.platform().busy());
}

TEST(ExportAudio, TheMenuAsksForANameOfferingTheSongsOwnAsWav) {
    Exporting e;
    e.t.platform().Files({e.Target("out.ogg")});
    MenuClick(*e.t, MenuCommand::ExportAudio);
    const FileDialogRequest& request = e.t.platform().dialogs.back();
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.initialName, "Tune.wav");
    EXPECT_NE(request.filter.find("*.flac"), std::string::npos);
    ASSERT_EQ(e.exporter.targets.size(), 1u);
    EXPECT_EQ(e.exporter.targets[0], e.Target("out.ogg"));
}

TEST(ExportAudio, AsksBeforeReplacingAFileAndACancelledDialogExportsNothing) {
    Exporting e;
    const std::string existing = e.Target("old.wav");
    std::ofstream(existing) << "old";
    e.t.platform().Files({existing});
    e.t.platform().Answers({Answer::No});
    ExportAudioCommand(*e.t);
    EXPECT_EQ(e.t.platform().messages.back(), "? " + existing + " already exists, overwrite?");
    e.t.platform().Files({""});
    ExportAudioCommand(*e.t);
    EXPECT_TRUE(e.exporter.targets.empty());
}

TEST(ExportAudio, AsksTheDialogToMakeAPlainNameAWavFile) {
    Exporting e;
    e.t.platform().Files({e.Target("plain.wav")});
    ExportAudioCommand(*e.t);
    EXPECT_EQ(e.t.platform().dialogs.back().defaultExtension, ".wav");
    EXPECT_EQ(e.exporter.targets, std::vector<std::string>{e.Target("plain.wav")});
}

TEST(ExportAudio, NamesWhatIsMissingOrWrong) {
    Exporting e;
    EXPECT_EQ(ExportAudio(*e.t, e.Target("song.mp3")), ExportStatus::Failed);
    EXPECT_EQ(e.t.platform().messages.back(), e.Target("song.mp3") + ": the name must end in .wav, .flac or .ogg");
    e.exporter.result = {ExportStatus::Failed, "could not be written", 0};
    EXPECT_EQ(ExportAudio(*e.t, e.Target("song.wav")), ExportStatus::Failed);
    EXPECT_EQ(e.t.platform().messages.back(), e.Target("song.wav") + " could not be written");
    e.t->media.Exporter = nullptr;
    EXPECT_EQ(ExportAudio(*e.t, e.Target("song.wav")), ExportStatus::Failed);
    EXPECT_EQ(e.t.platform().messages.back(), "Audio export is not available in this build");
}

TEST(ExportAudio, IsOnlyEnabledWithASong) {
    TestSession t;
    FormLoad(*t);
    EXPECT_FALSE(t->form.mnuExportAudio.enabled);
    ExportAudioCommand(*t);
    EXPECT_TRUE(t.platform().dialogs.empty());
}

TEST(AudioFormatOf, ChoosesByTheExtensionInAnyCase) {
    EXPECT_EQ(AudioFormatOf("a.wav"), AudioFormat::Wav);
    EXPECT_EQ(AudioFormatOf("/x/b.FLAC"), AudioFormat::Flac);
    EXPECT_EQ(AudioFormatOf("c.Ogg"), AudioFormat::Ogg);
    EXPECT_FALSE(AudioFormatOf("d.mp3"));
    EXPECT_FALSE(AudioFormatOf("wav"));
    EXPECT_FALSE(AudioFormatOf("e.wav.part"));
}

}  // namespace
}  // namespace sonivex::test
