// The piano roll window: opened from View, Piano Roll; it follows the working copy through edits, Undo and
// Open; the legend hides tracks; the wheel scrolls and zooms; a cursor follows the playing position.
#include <QAction>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <memory>

#include "app/commands.h"
#include "app/window/piano_roll_window.h"
#include "support/fake_media.h"
#include "window_support.h"

namespace sonivex::test {

namespace {

// A melody track of four notes a beat apart and a drum track.
Bytes FourNoteSong() {
    return MidiFile()
        .Add(Track().Name(0, "Tune").Program(0, 0, 0)
                 .NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).NoteOn(0, 0, 62, 100).NoteOff(96, 0, 62)
                 .NoteOn(0, 0, 64, 100).NoteOff(96, 0, 64).NoteOn(0, 0, 65, 100).NoteOff(96, 0, 65).End())
        .Add(Track().Name(0, "Kit").NoteOn(0, 9, 36, 100).NoteOff(192, 9, 36).NoteOn(0, 9, 38, 100).NoteOff(192, 9, 38).End())
        .Build();
}

QPoint Centre(const RollRect& r) { return QPoint(static_cast<int>(r.x + r.w / 2), static_cast<int>(r.y + r.h / 2)); }

}  // namespace

class PianoRollWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<ScriptedWindow> window_;
    FakeMedia device_;

    QAction* Action(const char* name) { return window_->findChild<QAction*>(QLatin1String(name)); }
    PianoRollWindow* Roll() { return window_->findChild<PianoRollWindow*>(); }
    PianoRollWindow* OpenRoll() {
        Action("mnuPianoRoll")->trigger();
        PianoRollWindow* roll = Roll();
        if (roll != nullptr) roll->resize(1000, 600);
        return roll;
    }
    // "Increase" the notes of every melody track by three semitones, pressing the Effects frame's Apply.
    void RaiseTheMelody() {
        Session& s = window_->State();
        s.form.Combo6.listIndex = 4;
        Combo6_Click(s);
        s.form.Option1.selected = true;
        s.form.Option2.selected = false;
        s.form.Text1.text = "3";
        s.form.Check4.ticked = false;
        s.form.Combo8.listIndex = 0;
        window_->Refresh();  // the window shows the settings, Apply enabled
        window_->findChild<QPushButton*>(QStringLiteral("Command4"))->click();
    }
    static std::vector<int> MelodyKeys(const PianoRollModel& model) {
        std::vector<int> keys;
        for (const TimedNote& note : model.Song().notes) {
            if (note.channel != 9) keys.push_back(note.key);
        }
        return keys;
    }

private slots:
    void init() {
        folder_ = std::make_unique<ProgramFolder>();
        window_ = std::make_unique<ScriptedWindow>(folder_->Path());
        window_->State().media.Device = &device_;
        device_.replies.clear();
        window_->show();
        window_->OpenFile(folder_->WriteSong(FourNoteSong()));
    }
    void cleanup() {
        window_.reset();
        folder_.reset();
    }

    void ViewPianoRollOpensAResizableWindowOfTheSong() {
        QAction* action = Action("mnuPianoRoll");
        QVERIFY(action != nullptr);
        QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
        QVERIFY(Roll() == nullptr);
        QTest::keyClick(window_.get(), Qt::Key_R, Qt::ControlModifier);
        PianoRollWindow* roll = Roll();
        QVERIFY(roll != nullptr);
        QVERIFY(roll->isVisible());
        QCOMPARE(MelodyKeys(roll->Model()), (std::vector<int>{60, 62, 64, 65}));
        QCOMPARE(roll->Model().Names().instruments[0], std::string("Acoustic Grand Piano"));
        QCOMPARE(roll->Model().Names().drums[38], std::string("Acoustic Snare"));
        // Opening it again, from the menu or from the session's command, brings back the same window.
        roll->hide();
        action->trigger();
        QVERIFY(roll->isVisible());
        MenuClick(window_->State(), MenuCommand::PianoRoll);
        QCOMPARE(window_->findChildren<PianoRollWindow*>().size(), 1);
        roll->resize(700, 400);
        QCOMPARE(roll->Picture().width, 700);
    }

    void AnEffectRedrawsWithTheChangedNotesOutlinedUntilUndo() {
        PianoRollWindow* roll = OpenRoll();
        QCOMPARE(roll->Model().ChangedCount(), std::size_t{0});
        RaiseTheMelody();
        QCOMPARE(MelodyKeys(roll->Model()), (std::vector<int>{63, 65, 67, 68}));
        QCOMPARE(roll->Model().ChangedCount(), std::size_t{4});
        QCOMPARE(roll->Model().OldPlaceCount(), std::size_t{4});

        // The outline is drawn: white just outside the first changed note's bar.
        const RollPicture picture = roll->Picture();
        const RollShape* changed = nullptr;
        for (const RollShape& shape : picture.shapes) {
            if (shape.changed && changed == nullptr) changed = &shape;
        }
        QVERIFY(changed != nullptr);
        const QImage image = roll->grab().toImage();
        const QColor edge = image.pixelColor(Centre(changed->rect).x(), static_cast<int>(changed->rect.y) - 1);
        QCOMPARE(edge, QColor(Qt::white));

        // Undo is a command too: the notes go back, and what it changed is outlined.
        Action("mnuUndo")->trigger();
        QCOMPARE(MelodyKeys(roll->Model()), (std::vector<int>{60, 62, 64, 65}));
        QCOMPARE(roll->Model().ChangedCount(), std::size_t{4});

        // Open starts again: nothing outlined.
        window_->OpenFile(folder_->WriteSong(FourNoteSong(), "again.mid"));
        QCOMPARE(roll->Model().ChangedCount(), std::size_t{0});
    }

    void AClickOnALegendRowHidesAndShowsItsTrack() {
        PianoRollWindow* roll = OpenRoll();
        const RollPicture before = roll->Picture();
        QVERIFY(before.legendEntries.size() >= 2);
        const RollShape* note = nullptr;
        for (const RollShape& shape : before.shapes) {
            if (shape.track == 0 && note == nullptr) note = &shape;
        }
        QVERIFY(note != nullptr);
        const QPoint inNote = Centre(note->rect);
        const QColor noteColour = roll->grab().toImage().pixelColor(inNote);

        QTest::mouseClick(roll, Qt::LeftButton, Qt::NoModifier, Centre(before.legendEntries[0].tickBox));
        QVERIFY(roll->View().hiddenTracks.size() >= 1 && roll->View().hiddenTracks[0]);
        const RollPicture hidden = roll->Picture();
        for (const RollShape& shape : hidden.shapes) QVERIFY(shape.track != 0);
        QVERIFY(roll->grab().toImage().pixelColor(inNote) != noteColour);

        QTest::mouseClick(roll, Qt::LeftButton, Qt::NoModifier, Centre(before.legendEntries[0].tickBox));
        QVERIFY(!roll->View().hiddenTracks[0]);
        QCOMPARE(roll->grab().toImage().pixelColor(inNote), noteColour);
    }

    void CtrlWheelZoomsAndTheWheelScrolls() {
        PianoRollWindow* roll = OpenRoll();
        const double fit = roll->Model().FitTicksPerPixel(roll->width());
        const RollPicture picture = roll->Picture();
        const QPointF middle(picture.notes.x + picture.notes.w / 2, picture.notes.y + 20);
        const auto wheel = [&](int delta, Qt::KeyboardModifiers modifiers) {
            QWheelEvent event(middle, roll->mapToGlobal(middle), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(roll, &event);
        };
        // Scrolling a song that fits changes nothing.
        wheel(-120, Qt::NoModifier);
        QCOMPARE(roll->View().firstTick, 0.0);

        wheel(120 * 4, Qt::ControlModifier);
        const double zoomed = roll->View().ticksPerPixel;
        QVERIFY(zoomed > 0 && zoomed < fit / 2);
        // The tick under the mouse stays under it.
        QVERIFY(std::abs(roll->View().firstTick + picture.notes.w / 2 * zoomed - picture.notes.w / 2 * fit) < 1);

        const double first = roll->View().firstTick;
        wheel(-120, Qt::NoModifier);
        QVERIFY(roll->View().firstTick > first);
        // No further than the song's end.
        for (int i = 0; i < 50; ++i) wheel(-120, Qt::NoModifier);
        QVERIFY(roll->View().firstTick + picture.notes.w * zoomed <= roll->Model().LastTick() + 1e-6);

        // Zooming out past the whole song fits it again.
        wheel(-120 * 20, Qt::ControlModifier);
        QCOMPARE(roll->View().ticksPerPixel, 0.0);
    }

    void ACursorFollowsThePlayingPosition() {
        PianoRollWindow* roll = OpenRoll();
        roll->FollowPlayback();
        QVERIFY(!roll->View().cursorTick);
        window_->State().media.Playing = true;
        device_.replies["Status VAVidev1 position"] = "192";
        roll->FollowPlayback();
        QCOMPARE(roll->View().cursorTick.value_or(0), 192u);
        const RollPicture picture = roll->Picture();
        QVERIFY(picture.cursorX.has_value());
        QVERIFY(std::abs(*picture.cursorX - (picture.notes.x + 192 / roll->Model().FitTicksPerPixel(roll->width()))) < 0.01);
        // It is painted, and moves without leaving a trace where it was.
        const QPoint at(static_cast<int>(*picture.cursorX), static_cast<int>(picture.notes.y) + 3);
        const QColor cursorColour = roll->grab().toImage().pixelColor(at);
        QVERIFY(cursorColour.red() > 200 && cursorColour.green() < 100);
        device_.replies["Status VAVidev1 position"] = "0";
        roll->FollowPlayback();
        QVERIFY(roll->grab().toImage().pixelColor(at) != cursorColour);
        // The window asks by itself while it is shown.
        device_.replies["Status VAVidev1 position"] = "288";
        QTRY_COMPARE(roll->View().cursorTick.value_or(0), 288u);
        window_->State().media.Playing = false;
        QTRY_VERIFY(!roll->View().cursorTick);
    }
};

int RunPianoRollWindowTests(int argc, char** argv) {
    PianoRollWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace sonivex::test

#include "piano_roll_window_test.moc"
