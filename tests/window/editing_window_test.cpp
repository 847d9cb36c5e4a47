// The window's parts of editing and songs: Undo and Redo, Export Audio with its progress dialog, dropping a
// file on the window, and File, Recent Songs.
#include <QAction>
#include <QComboBox>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolBar>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "support/fake_media.h"
#include "window_support.h"

namespace sonivex::test {

namespace {

// Reports progress in small steps until it is cancelled or done; records what it was asked.
class SlowExporter : public AudioExporter {
public:
    ExportResult Export(const std::filesystem::path&, const std::filesystem::path& target,
                        const ExportProgress& progress, const SilencedTracks& silencedTracks) override {
        targets.push_back(target.string());
        silenced.push_back(silencedTracks);
        for (int step = 1; step <= kSteps; ++step) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (!progress(static_cast<double>(step) / kSteps)) {
                cancelledAt = step;
                return {ExportStatus::Cancelled, "", 0};
            }
        }
        return {ExportStatus::Written, "", 1};
    }
    static constexpr int kSteps = 400;
    std::vector<std::string> targets;
    std::vector<SilencedTracks> silenced;
    int cancelledAt = 0;
};

QMimeData* FileDrag(const std::string& path) {
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    return data;
}

}  // namespace

class EditingWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<ScriptedWindow> window_;
    FakeMedia device_;
    SlowExporter exporter_;

    QAction* Action(const char* name) { return window_->findChild<QAction*>(QLatin1String(name)); }
    std::unique_ptr<ScriptedWindow> NewWindow() {
        auto window = std::make_unique<ScriptedWindow>(folder_->Path());
        window->State().media.Device = &device_;
        window->State().media.Exporter = &exporter_;
        return window;
    }
    Bytes WorkingCopy() {
        Session& s = window_->State();
        QFile file(QString::fromStdString(s.WorkFile(s.song.TempFileName).string()));
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QByteArray bytes = file.readAll();
        return Bytes(bytes.begin(), bytes.end());
    }

private slots:
    void init() {
        // Each test starts with no recent songs.
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Sonivex"),
                           QStringLiteral("Sonivex"));
        settings.clear();
        folder_ = std::make_unique<ProgramFolder>();
        exporter_ = SlowExporter();
        window_ = NewWindow();
        window_->show();
    }
    void cleanup() {
        window_.reset();
        folder_.reset();
    }

    void UndoAndRedoFollowTheHistoryFromTheMenuTheToolbarAndTheKeys() {
        window_->OpenFile(folder_->WriteSong(TwoTrackSong()));
        const Bytes opened = WorkingCopy();
        QVERIFY(!Action("mnuUndo")->isEnabled());
        window_->findChild<QPushButton*>(QStringLiteral("Command3"))->click();  // Copy Track
        const Bytes copied = WorkingCopy();
        QVERIFY(copied != opened);
        QVERIFY(Action("mnuUndo")->isEnabled());
        QVERIFY(!Action("mnuRedo")->isEnabled());

        QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(WorkingCopy() == opened);
        QVERIFY(!Action("mnuUndo")->isEnabled());
        QVERIFY(Action("mnuRedo")->isEnabled());
        QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(WorkingCopy() == copied);

        // The toolbar's buttons are the menu's actions.
        auto* toolbar = window_->findChild<QToolBar*>(QStringLiteral("Toolbar1"));
        QVERIFY(toolbar->actions().contains(Action("mnuUndo")));
        QVERIFY(toolbar->actions().contains(Action("mnuRedo")));
        Action("mnuUndo")->trigger();
        QVERIFY(WorkingCopy() == opened);
        QVERIFY(window_->State().form.RichTextBox1.find("Total Tracks: 2") != std::string::npos);
    }

    void ExportAudioShowsProgressThatCanCancel() {
        window_->OpenFile(folder_->WriteSong(TwoTrackSong(), "tune.mid"));
        QVERIFY(Action("mnuExportAudio")->isEnabled());
        const std::string target = (folder_->Path() / "tune.ogg").string();
        window_->files = {target};
        bool sawDialog = false;
        WhenModalAppears([&](QWidget* modal) {
            auto* dialog = qobject_cast<QProgressDialog*>(modal);
            if (dialog == nullptr) return;
            sawDialog = dialog->labelText() == QStringLiteral("Exporting tune.ogg...");
            dialog->cancel();
        });
        Action("mnuExportAudio")->trigger();
        QVERIFY(sawDialog);
        QCOMPARE(window_->dialogs.back().initialName, std::string("tune.wav"));
        QCOMPARE(exporter_.targets, std::vector<std::string>{target});
        QVERIFY(exporter_.cancelledAt > 0 && exporter_.cancelledAt < SlowExporter::kSteps);
        QVERIFY(window_->messages.empty());
        QVERIFY(window_->findChild<QProgressDialog*>() == nullptr);
    }

    void DroppingAMidiFileOpensIt() {
        const std::string path = folder_->WriteSong(TwoTrackSong(), "dropped.mid");
        const std::unique_ptr<QMimeData> data(FileDrag(path));
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        enter.setAccepted(false);
        QCoreApplication::sendEvent(window_.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window_.get(), &drop);
        QCOMPARE(window_->windowTitle(), QStringLiteral("Sonivex - DROPPED.MID[*]"));
        QVERIFY(window_->dialogs.empty());

        // A folder is not taken.
        const std::unique_ptr<QMimeData> folder(FileDrag(folder_->Path().string()));
        QDragEnterEvent folderEnter(QPoint(10, 10), Qt::CopyAction, folder.get(), Qt::LeftButton, Qt::NoModifier);
        folderEnter.setAccepted(false);
        QCoreApplication::sendEvent(window_.get(), &folderEnter);
        QVERIFY(!folderEnter.isAccepted());
    }

    void RecentSongsListsTheLastSongsAndKeepsThemForTheNextRun() {
        const std::string first = folder_->WriteSong(TwoTrackSong(), "first.mid");
        const std::string second = folder_->WriteSong(TwoTrackSong(), "second.mid");
        QVERIFY(!Action("mnuRecentSongs")->isEnabled());
        window_->OpenFile(first);
        window_->OpenFile(second);
        QVERIFY(Action("mnuRecentSongs")->isEnabled());
        QCOMPARE(Action("mnuRecent1")->text(), QStringLiteral("&1 ") + QString::fromStdString(second));
        QCOMPARE(Action("mnuRecent2")->text(), QStringLiteral("&2 ") + QString::fromStdString(first));

        window_.reset();
        window_ = NewWindow();
        QVERIFY(Action("mnuRecent2") != nullptr);
        Action("mnuRecent2")->trigger();
        QCOMPARE(window_->windowTitle(), QStringLiteral("Sonivex - FIRST.MID[*]"));
        QCOMPARE(Action("mnuRecent1")->text(), QStringLiteral("&1 ") + QString::fromStdString(first));

        // A song that has gone is named and leaves the list.
        std::filesystem::remove(second);
        Action("mnuRecent2")->trigger();
        QCOMPARE(window_->messages.back(), second + " does not exist");
        QVERIFY(Action("mnuRecent2") == nullptr);
    }
};

int RunEditingWindowTests(int argc, char** argv) {
    EditingWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace sonivex::test

#include "editing_window_test.moc"
