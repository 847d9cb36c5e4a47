// The window's files and questions: a refused Open, Save As and the file it leaves the window on, and the
// repair question with its "to All" answers.
#include <QAction>
#include <QKeySequence>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>

#include "reader/files.h"
#include "window_support.h"

namespace sonivex::test {

namespace {

// A song whose three time signatures have a clocks byte of 0, which the reader offers to repair.
Bytes ThreeBadTimeSignatures() {
    return MidiFile()
        .Add(Track()
                 .Meta(0, 0x58, {4, 2, 0, 8})
                 .NoteOn(0, 0, 60, 90)
                 .Meta(96, 0x58, {3, 2, 0, 8})
                 .NoteOff(0, 0, 60)
                 .Meta(96, 0x58, {2, 2, 0, 8})
                 .End(96))
        .Build();
}

// How many time signatures of `bytes` have a clocks byte of 0.
int ZeroClocks(const Bytes& bytes) {
    int found = 0;
    for (std::size_t i = 0; i + 5 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0x58 && bytes[i + 2] == 4 && bytes[i + 5] == 0) ++found;
    }
    return found;
}

}  // namespace

class FilesWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<ScriptedWindow> window_;

    QAction* Action(const char* name) { return window_->findChild<QAction*>(QLatin1String(name)); }
    QString Report() {
        return window_->centralWidget()->findChild<QPlainTextEdit*>(QStringLiteral("RichTextBox1"))->toPlainText();
    }
    Bytes WorkingCopy() { return ReadWholeFile(folder_->Path() / "sonivex-temp.tmp").value_or(Bytes{}); }
    // Opens `path` through File, Open.
    void Open(const std::string& path) {
        window_->files = {path};
        Action("mnuOpen")->trigger();
    }

private slots:
    void init() {
        folder_ = std::make_unique<ProgramFolder>();
        window_ = std::make_unique<ScriptedWindow>(folder_->Path());
    }
    void cleanup() {
        window_.reset();
        folder_.reset();
    }

    void ARefusedOpenKeepsTheSongThatWasOpen() {
        Open(folder_->WriteSong(TwoTrackSong()));
        window_->findChild<QPushButton*>(QStringLiteral("Command2"))->click();  // Drum<>Melody
        QVERIFY(Action("mnuUndo")->isEnabled());
        const QString report = Report();
        const Bytes edited = WorkingCopy();
        window_->answers = {Answer::No};  // the edit is not saved
        Open(folder_->WriteSong({'n', 'o'}, "bad.mid"));
        QCOMPARE(window_->messages, (std::vector<std::string>{"Save changes to SONG.MID?",
                                                              "BAD.MID is not a MID file", "Error!"}));
        QCOMPARE(window_->State().Caption, std::string("Sonivex - SONG.MID"));
        QVERIFY(window_->isWindowModified());
        QCOMPARE(Report(), report);
        QCOMPARE(WorkingCopy(), edited);
        QVERIFY(Action("mnuSave")->isEnabled());
        QVERIFY(Action("mnuPlay")->isEnabled());
        QVERIFY(!std::filesystem::exists(folder_->Path() / "logs" / "bad.txt"));  // refused before the log
        for (const auto& entry : std::filesystem::directory_iterator(folder_->Path())) {
            QVERIFY2(entry.path().filename().string().rfind("sonivex-open.", 0) != 0, "the place aside is gone");
        }

        // The history is whole: Undo takes the edit back.
        Action("mnuUndo")->trigger();
        QCOMPARE(WorkingCopy(), TwoTrackSong());
        QVERIFY(!window_->isWindowModified());
    }

    void SaveAsWorksOnTheSavedFileFromThenOn() {
        Open(folder_->WriteSong(TwoTrackSong()));
        window_->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
        QVERIFY(window_->isWindowModified());
        QCOMPARE(window_->windowTitle(), QStringLiteral("Sonivex - SONG.MID[*]"));
        const std::filesystem::path lieder = folder_->Path() / "Meine Lieder";
        std::filesystem::create_directory(lieder);
        const std::string target = (lieder / "\xC3\x9C" "bung.mid").string();
        window_->files = {target};
        QVERIFY(Action("mnuSaveAs")->isEnabled());
        QCOMPARE(Action("mnuSaveAs")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
        Action("mnuSaveAs")->trigger();
        QCOMPARE(window_->dialogs.back().title, std::string("Save MIDI file"));
        QCOMPARE(ReadWholeFile(target).value_or(Bytes{}), WorkingCopy());
        QCOMPARE(window_->State().Caption, std::string("Sonivex - \xC3\x9C" "BUNG.MID"));
        QVERIFY(!window_->isWindowModified());
        QCOMPARE(window_->State().recent.Paths().front(), target);

        // The next report names the new file, with its letters as they are.
        window_->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
        QVERIFY(window_->isWindowModified());
        QVERIFY2(Report().contains(QStringLiteral("File        : ") + QString::fromStdString(target)),
                 qPrintable(Report().left(200)));

        // Save asks in the new file's folder, with its name, and saves there.
        window_->answers = {Answer::Yes};  // overwrite
        window_->files = {target};
        Action("mnuSave")->trigger();
        QCOMPARE(window_->dialogs.back().initialFolder, lieder.string());
        QCOMPARE(window_->dialogs.back().initialName, std::string("\xC3\x9C" "bung.mid"));
        QCOMPARE(window_->messages.back(), target + " already exists, overwrite?");
        QCOMPARE(ReadWholeFile(target).value_or(Bytes{}), WorkingCopy());
        QVERIFY(!window_->isWindowModified());

        // Export Audio offers the song's name beside it.
        Action("mnuExportAudio")->trigger();
        QCOMPARE(window_->dialogs.back().initialFolder, lieder.string());
        QCOMPARE(window_->dialogs.back().initialName, std::string("\xC3\x9C" "bung.wav"));
    }

    void YesToAllRepairsEveryBadTimeSignatureAfterOneQuestion() {
        const std::string song = folder_->WriteSong(ThreeBadTimeSignatures());
        window_->answers = {Answer::YesToAll};
        Open(song);
        QCOMPARE(window_->messages, (std::vector<std::string>{"ERROR: Invalid Time Signature.  Repair? "}));
        QCOMPARE(window_->buttons, (std::vector<Buttons>{Buttons::YesNoAll}));
        QCOMPARE(ZeroClocks(ThreeBadTimeSignatures()), 3);
        QCOMPARE(ZeroClocks(WorkingCopy()), 0);
        QVERIFY(Action("mnuSave")->isEnabled());  // the repairs are offered for saving

        // "No to All" keeps every one as it stands; the next Open asks again, once.
        window_->answers = {Answer::NoToAll};
        Open(song);
        QCOMPARE(window_->messages.size(), std::size_t{2});
        QCOMPARE(window_->messages.back(), std::string("ERROR: Invalid Time Signature.  Repair? "));
        QCOMPARE(ZeroClocks(WorkingCopy()), 3);
        QVERIFY(Report().contains(QStringLiteral("Total Tracks: 1")));

        // Yes repairs one; the question comes again for the next.
        window_->answers = {Answer::Yes, Answer::No, Answer::No};
        Open(song);
        QCOMPARE(window_->messages.size(), std::size_t{5});  // asked for the second and third again
        QCOMPARE(ZeroClocks(WorkingCopy()), 2);
    }

    void TheRealRepairQuestionOffersTheToAllButtons() {
        MainWindow plain(folder_->Path());
        QMessageBox::StandardButtons buttons;
        WhenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) return;
            buttons = box->standardButtons();
            box->button(QMessageBox::YesToAll)->click();
        });
        QCOMPARE(plain.ShowMessage("Repair? ", Buttons::YesNoAll, Icon::Question, "Sonivex"), Answer::YesToAll);
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll | QMessageBox::NoToAll);
        WhenModalAppears([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QCOMPARE(plain.ShowMessage("Repair? ", Buttons::YesNoAll, Icon::Question, "Sonivex"), Answer::No);
    }
};

int RunFilesWindowTests(int argc, char** argv) {
    FilesWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace sonivex::test

#include "files_window_test.moc"
