// The musician's window: the Overview's values come from the typed report and the song's reading, its track
// list chooses instruments (an edit that Undo takes back) and mutes and solos tracks (the player and the
// export hear of it); Edit, Transpose and Tempo run their commands through their dialogs; F1 opens the guide;
// the empty window offers the recent songs.
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextBrowser>
#include <memory>

#include "app/window/lyrics_view.h"
#include "app/window/overview_model.h"
#include "app/window/overview_view.h"
#include "app/window/user_guide.h"
#include "reader/files.h"
#include "reader/meta.h"
#include "support/fake_media.h"
#include "window_support.h"

namespace sonivex::test {

namespace {

// Three tracks: a conductor track whose tempo goes from 100 to 150 beats a minute, with 3/4 time and G major;
// a piano melody with a lyric; a drum track without a program change.
Bytes MusiciansSong() {
    return MidiFile()
        .Add(Track().Name(0, "Conductor").Tempo(0, 600000).Meta(0, 0x58, {3, 2, 24, 8}).Meta(0, 0x59, {1, 0})
                 .Tempo(384, 400000).End(384))
        .Add(Track().Name(0, "Tune").Program(0, 0, 0).Meta(0, 0x05, "la").NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60)
                 .NoteOn(0, 0, 64, 90).NoteOff(96, 0, 64).NoteOn(0, 0, 67, 80).NoteOff(96, 0, 67).End())
        .Add(Track().Name(0, "Kit").NoteOn(0, 9, 36, 100).NoteOff(48, 9, 36).NoteOn(0, 9, 38, 100).NoteOff(48, 9, 38).End())
        .Build();
}

}  // namespace

class OverviewWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<ScriptedWindow> window_;
    FakeMedia device_;
    SilenceRecorder exporter_;

    QAction* Action(const char* name) { return window_->findChild<QAction*>(QLatin1String(name)); }
    QString Fact(const char* name) { return window_->findChild<QLabel*>(QLatin1String(name))->text(); }
    QTableWidget* Tracks() { return window_->Overview()->TrackList(); }
    Timeline WorkingTimeline() {
        Session& s = window_->State();
        return ReadTimeline(*ReadWholeFile(s.WorkFile(s.song.TempFileName)));
    }
    // The last command the player was sent that names the silenced tracks.
    std::string LastSilence() {
        for (auto it = device_.commands.rbegin(); it != device_.commands.rend(); ++it) {
            if (it->rfind("Set VAVidev1 silence", 0) == 0) return *it;
        }
        return {};
    }
    void Tick(int row, int column, bool on) {
        Tracks()->item(row, column)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        QCoreApplication::processEvents();  // the window hears of it after the list's own signal
    }

private slots:
    void init() {
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Sonivex"), QStringLiteral("Sonivex")).clear();
        folder_ = std::make_unique<ProgramFolder>();
        window_ = std::make_unique<ScriptedWindow>(folder_->Path());
        device_ = FakeMedia();
        exporter_ = SilenceRecorder();
        window_->State().media.Device = &device_;
        window_->State().media.Exporter = &exporter_;
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    void cleanup() {
        window_.reset();
        folder_.reset();
    }

    void TheOverviewShowsTheTypedReportsValues() {
        window_->OpenFile(folder_->WriteSong(MusiciansSong(), "tune.mid"));
        QCOMPARE(window_->Views()->currentWidget(), window_->Overview());
        const Report& report = window_->State().report.Built;
        const OverviewModel& m = window_->Overview()->Model();
        QVERIFY(m.hasSong);
        QCOMPARE(m.title, std::string("tune.mid"));
        QCOMPARE(m.songName, std::string("Conductor"));
        QCOMPARE(m.totalSeconds, report.totalSeconds);
        QCOMPARE(Fact("OverviewDuration"), QString::fromStdString(OverviewDuration(report.totalSeconds)));
        QCOMPARE(Fact("OverviewStyle"), QString::fromStdString(report.style));
        QCOMPARE(Fact("OverviewComplexity"), QString::number(report.complexity));
        QCOMPARE(Fact("OverviewVolume"), QString::number(report.averageVolume));
        QCOMPARE(m.instruments.size(), report.instruments.size());
        for (std::size_t i = 0; i < report.instruments.size(); ++i) {
            QCOMPARE(m.instruments[i].name, report.instruments[i].name);
            QCOMPARE(m.instruments[i].weight, report.instruments[i].weight);
        }
        QVERIFY(!m.instruments.empty());
        QCOMPARE(m.instruments.front().share, 1.0);
        QCOMPARE(m.groups.size(), report.groups.size());
        for (std::size_t i = 0; i < report.groups.size(); ++i) {
            QCOMPARE(m.groups[i].name, report.groups[i].name);
            QCOMPARE(m.groups[i].value, std::to_string(report.groups[i].percent) + "%");
        }
        // The tempo changes: its range, and the plot of it.
        QCOMPARE(Fact("OverviewTempo"), QStringLiteral("100 - 150 BPM"));
        QVERIFY(window_->Overview()->findChild<QWidget*>(QStringLiteral("TempoPlot"))->isVisible());
        QCOMPARE(m.tempoPlot.size(), std::size_t{2});
        QCOMPARE(Fact("OverviewTimeSignatures"), QStringLiteral("3/4"));
        // The stored key signature, and beside it the key that the notes give.
        QVERIFY(!m.estimatedKey.empty());
        QCOMPARE(Fact("OverviewKeySignatures"),
                 QString::fromStdString(KeyNameOf(1, 0) + "; from the notes: " + m.estimatedKey));
        // The track list: number, name, channels, instrument, notes.
        QTableWidget* list = Tracks();
        QCOMPARE(list->rowCount(), 3);
        QCOMPARE(list->item(1, OverviewView::kName)->text(), QStringLiteral("Tune"));
        QCOMPARE(list->item(1, OverviewView::kChannels)->text(), QStringLiteral("1"));
        QCOMPARE(list->item(1, OverviewView::kInstrument)->text(), QStringLiteral("1 Acoustic Grand Piano"));
        QCOMPARE(list->item(1, OverviewView::kNotes)->text(), QStringLiteral("3"));
        QCOMPARE(list->item(2, OverviewView::kChannels)->text(), QStringLiteral("10"));
        QVERIFY(m.tracks[2].drums);
        // A lyric: the Lyrics view shows.
        QVERIFY(window_->Views()->isTabVisible(3));
    }

    void TheModelIsBuiltWithoutAWindow() {
        // A song of one tempo and no lyric, straight from its bytes and a report value.
        const Bytes song = TwoTrackSong();
        Report report;
        report.header.file = "/songs/two.mid";
        report.totalSeconds = 61;
        report.instruments = {{"Flute", Report::InstrumentKind::Melody, 73, 300}, {"Oboe", Report::InstrumentKind::Melody, 68, 100}};
        report.groups = {{"Pipe", 400, 100}};
        OverviewNames names;
        const OverviewModel m = BuildOverview(report, song, names);
        QCOMPARE(m.duration, std::string("1:01"));
        QCOMPARE(m.tempo, std::string("120 BPM"));
        QVERIFY(m.tempoPlot.empty());
        QCOMPARE(m.instruments[1].share, 1.0 / 3);
        QCOMPARE(m.timeSignatures, std::string("none given (4/4)"));
        QCOMPARE(m.keySignatures, std::string("none given"));
        QVERIFY(!m.hasLyrics);
        QVERIFY(SongHasLyrics(MusiciansSong()));
        QCOMPARE(m.tracks.size(), std::size_t{2});
        QCOMPARE(m.tracks[0].notes, 1u);
        QCOMPARE(OverviewBpm(117.49), std::string("117.5"));
    }

    void ChoosingAnInstrumentIsAnEditThatUndoTakesBack() {
        window_->OpenFile(folder_->WriteSong(MusiciansSong()));
        QTableWidget* list = Tracks();
        const QModelIndex cell = list->model()->index(1, OverviewView::kInstrument);
        list->edit(cell);
        auto* editor = list->findChild<QComboBox*>(QStringLiteral("InstrumentList"));
        QVERIFY(editor != nullptr);
        QCOMPARE(editor->count(), 128);
        QCOMPARE(editor->itemText(40), QStringLiteral("41 Violin"));
        editor->setCurrentIndex(40);
        emit editor->activated(40);
        QTRY_VERIFY(window_->State().form.RichTextBox1.find("Violin") != std::string::npos);
        QTRY_COMPARE(Tracks()->item(1, OverviewView::kInstrument)->text(), QStringLiteral("41 Violin"));
        QVERIFY(window_->State().form.UnsavedChanges);
        QVERIFY(Action("mnuUndo")->isEnabled());
        Action("mnuUndo")->trigger();
        QVERIFY(window_->State().form.RichTextBox1.find("Violin") == std::string::npos);
        QCOMPARE(Tracks()->item(1, OverviewView::kInstrument)->text(), QStringLiteral("1 Acoustic Grand Piano"));
        // A drum track offers the kits.
        list = Tracks();
        list->edit(list->model()->index(2, OverviewView::kInstrument));
        editor = list->findChild<QComboBox*>(QStringLiteral("InstrumentList"));
        QVERIFY(editor != nullptr);
        QCOMPARE(editor->itemText(0), QStringLiteral("1 Standard"));
        QCOMPARE(editor->itemText(8), QStringLiteral("9 Room"));
    }

    void MuteAndSoloReachThePlayerAndTheExportButNotTheSong() {
        window_->OpenFile(folder_->WriteSong(MusiciansSong()));
        const Bytes opened = *ReadWholeFile(window_->State().WorkFile(window_->State().song.TempFileName));
        Tick(1, OverviewView::kMute, true);
        QTRY_COMPARE(LastSilence(), std::string("Set VAVidev1 silence 2"));
        QCOMPARE(window_->State().media.Silenced, SilencedTracks({1}));
        // Solo the drums: every other track is silent.
        Tick(2, OverviewView::kSolo, true);
        QTRY_COMPARE(LastSilence(), std::string("Set VAVidev1 silence 1 2"));
        // The export leaves out what playback leaves out.
        window_->State().form.mnuExportAudio.enabled = true;
        window_->files = {(folder_->Path() / "out.wav").string()};
        Action("mnuExportAudio")->trigger();
        QCOMPARE(exporter_.silenced.size(), std::size_t{1});
        QCOMPARE(exporter_.silenced[0], SilencedTracks({0, 1}));
        // Neither is an edit: nothing to save or undo, the song as it was.
        QVERIFY(!window_->State().form.UnsavedChanges);
        QVERIFY(!Action("mnuUndo")->isEnabled());
        QVERIFY(*ReadWholeFile(window_->State().WorkFile(window_->State().song.TempFileName)) == opened);
        // An edit opens the song for playback again: the player hears of the silenced tracks again.
        device_.commands.clear();
        window_->State().form.Combo5.listIndex = 1;
        window_->Refresh();
        window_->findChild<QPushButton*>(QStringLiteral("Command3"))->click();  // Copy Track 2, a fourth track
        QCOMPARE(LastSilence(), std::string("Set VAVidev1 silence 1 2 4"));  // the solo leaves the copy silent
        QCOMPARE(Tracks()->item(2, OverviewView::kSolo)->checkState(), Qt::Checked);
        // Another song starts with every track sounding.
        window_->answers = {Answer::No};
        window_->OpenFile(folder_->WriteSong(MusiciansSong(), "other.mid"));
        QVERIFY(window_->State().media.Silenced.Empty());
        QCOMPARE(Tracks()->item(1, OverviewView::kMute)->checkState(), Qt::Unchecked);
    }

    void TransposeAndTempoRunTheirCommandsThroughTheirDialogs() {
        QVERIFY(!Action("mnuTranspose")->isEnabled());
        window_->OpenFile(folder_->WriteSong(MusiciansSong()));
        QVERIFY(Action("mnuTranspose")->isEnabled() && Action("mnuTempo")->isEnabled());
        WhenModalAppears([](QWidget* modal) {
            QCOMPARE(modal->objectName(), QStringLiteral("TransposeDialog"));
            auto* semitones = modal->findChild<QSpinBox*>(QStringLiteral("Semitones"));
            QCOMPARE(semitones->minimum(), -24);
            QCOMPARE(semitones->maximum(), 24);
            semitones->setValue(2);
            auto* track = modal->findChild<QComboBox*>(QStringLiteral("TransposeTrack"));
            QCOMPARE(track->count(), 4);  // all tracks, then each of the three
            track->setCurrentIndex(2);    // track 2
            static_cast<QDialog*>(modal)->accept();
        });
        Action("mnuTranspose")->trigger();
        std::vector<int> keys;
        for (const TimedNote& note : WorkingTimeline().notes) keys.push_back(note.key);
        QCOMPARE(keys, (std::vector<int>{62, 66, 69, 36, 38}));  // the drums never move
        QVERIFY(window_->State().form.UnsavedChanges);

        WhenModalAppears([](QWidget* modal) {
            QCOMPARE(modal->objectName(), QStringLiteral("TempoDialog"));
            auto* percent = modal->findChild<QSpinBox*>(QStringLiteral("TempoPercent"));
            QCOMPARE(percent->minimum(), 25);
            QCOMPARE(percent->maximum(), 400);
            percent->setValue(200);
            static_cast<QDialog*>(modal)->accept();
        });
        Action("mnuTempo")->trigger();
        QCOMPARE(WorkingTimeline().tempos.front().microsPerQuarter, 300000u);
        QCOMPARE(window_->Overview()->Model().tempo, std::string("200 - 300 BPM"));
        // Undo steps back over both.
        Action("mnuUndo")->trigger();
        Action("mnuUndo")->trigger();
        QCOMPARE(WorkingTimeline().notes.front().key, 60);

        // A refusal comes as the command words it; Cancel changes nothing.
        WhenModalAppears([](QWidget* modal) {
            modal->findChild<QSpinBox*>(QStringLiteral("Semitones"))->setValue(24);
            modal->findChild<QComboBox*>(QStringLiteral("TransposeTrack"))->setCurrentIndex(3);  // the drums
            static_cast<QDialog*>(modal)->accept();
        });
        Action("mnuTranspose")->trigger();
        QCOMPARE(window_->messages.back(), std::string("Track 3 has no melody notes to transpose"));
        WhenModalAppears([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
        Action("mnuTempo")->trigger();
        QCOMPARE(WorkingTimeline().tempos.front().microsPerQuarter, 600000u);
    }

    void F1OpensTheUserGuide() {
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QTest::keyClick(window_.get(), Qt::Key_F1);
        auto* guide = window_->findChild<UserGuideDialog*>();
        QVERIFY(guide != nullptr);
        QVERIFY(guide->isVisible());
        const QString text = guide->Page()->toPlainText();
        for (const char* topic : {"Instruments frame", "Track frame", "Effects frame", "Gradually Increase", "Minor Harmonic",
                                  "Soft Compress", "Bossa Nova", "Transpose", "Mute"}) {
            QVERIFY2(text.contains(QLatin1String(topic)), topic);
        }
    }

    void TheLyricsTabShowsAKaraokeSongsWordsAndOnlyForASongWithWords() {
        const std::optional<Bytes> karaoke =
            ReadWholeFile(std::filesystem::path(SONIVEX_TEST_MIDI_DIR) / "test-karaoke-kar.mid");
        QVERIFY(karaoke.has_value());
        auto* views = window_->findChild<QTabWidget*>();
        QVERIFY(views != nullptr);
        auto* lyrics = window_->findChild<LyricsView*>(QStringLiteral("LyricsView"));
        QVERIFY(lyrics != nullptr);
        const int tab = views->indexOf(lyrics->parentWidget());
        QVERIFY(tab >= 0);
        window_->OpenFile(folder_->WriteSong(*karaoke, "sing.kar"));
        QVERIFY(views->isTabVisible(tab));
        QVERIFY(!lyrics->Lines().isEmpty());
        // A song without lyric or text events has no Lyrics tab.
        window_->OpenFile(folder_->WriteSong(MidiFile().Add(Track().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End()).Build(),
                                             "plain.mid"));
        QVERIFY(!views->isTabVisible(tab));
    }

    void TheEmptyWindowOffersTheRecentSongs() {
        auto* hint = window_->findChild<QLabel*>(QStringLiteral("StartHint"));
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->text(), QStringLiteral("Open a MIDI file (Ctrl+O), drop one here, or pick a recent song"));
        const std::string song = folder_->WriteSong(MusiciansSong(), "kept.mid");
        window_->OpenFile(song);
        QVERIFY(!hint->isVisible());
        // A refused Open keeps the song that was open: no start page.
        window_->OpenFile(folder_->WriteSong({'n', 'o'}, "bad.mid"));
        QVERIFY(!hint->isVisible());
        QVERIFY(window_->Overview()->Model().hasSong);
        // The next start shows the start page with the song among the recent ones, opened with a click.
        window_.reset();
        window_ = std::make_unique<ScriptedWindow>(folder_->Path());
        window_->State().media.Device = &device_;
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        hint = window_->findChild<QLabel*>(QStringLiteral("StartHint"));
        QVERIFY(hint->isVisible());
        auto* recent = window_->findChild<QPushButton*>(QStringLiteral("RecentSong1"));
        QVERIFY(recent != nullptr);
        QVERIFY(recent->text().startsWith(QStringLiteral("kept.mid")));
        QTest::mouseClick(recent, Qt::LeftButton);
        QTRY_COMPARE(window_->windowTitle(), QStringLiteral("Sonivex - KEPT.MID[*]"));
        QVERIFY(window_->Overview()->Model().hasSong);
    }
};

int RunOverviewWindowTests(int argc, char** argv) {
    OverviewWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace sonivex::test

#include "overview_window_test.moc"
