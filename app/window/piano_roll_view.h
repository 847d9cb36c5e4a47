// The piano roll view: the song as it stands drawn as notes over time, with the notes that the last command
// changed outlined. The main window's "Piano Roll" tab shows one, and View, Piano Roll a window of its own
// (piano_roll_window.h). It follows the working copy: after every command that changed it the
// picture is laid out again. The mouse wheel scrolls through time, Ctrl+wheel zooms; a click on a track's row
// of the legend hides or shows that track, a click on the time rulers asks to play from there. While the song
// plays, a cursor follows the playing position.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "app/session.h"
#include "app/window/song_stamp.h"
#include "roll/piano_roll_model.h"

class QTimer;

namespace sonivex {

class PianoRollView : public QWidget {
    Q_OBJECT

public:
    // A view of the session's song; it reads the working copy when it is first shown.
    explicit PianoRollView(Session& session, QWidget* parent = nullptr, Qt::WindowFlags flags = {});

    // Reads the working copy again when it changed since the last look (an edit, Open, Undo or Redo), and
    // draws it. After Open the whole song is shown and every track is shown; after an edit the view stays.
    // Cheap when nothing changed: it compares the file's size and time and the history's previous copy.
    void SongMayHaveChanged();

    // Asks the player where it is and moves the cursor there (none when the song does not play).
    void FollowPlayback();

    const PianoRollModel& Model() const { return model_; }
    const RollView& View() const { return view_; }
    // The layout of what the window shows now.
    RollPicture Picture() const;

    // The tick under `x` in the picture `picture` of the view; none left of the notes area or without a song.
    std::optional<std::int64_t> TickAt(const RollPicture& picture, double x) const;

signals:
    // A click on the bar or seconds ruler at `tick`.
    void SeekRequested(qint64 tick);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Scrolls by `pixels` (positive: later) or zooms by `factor` (above 1: closer) around the x of `anchor`.
    void ScrollBy(double pixels);
    void ZoomBy(double factor, double anchor);
    void KeepInSong();
    // Draws the picture again at the next paint; a moving cursor alone only paints itself over the last one.
    void Redraw();

    Session& session_;
    PianoRollModel model_;
    RollView view_;
    std::optional<SongStamp> stamp_;
    QImage drawn_;            // the picture as last drawn, without the cursor
    bool drawnValid_ = false;
    RollPicture cursorFrame_;  // where the cursor goes over it: the notes area, and the cursor's place
    QTimer* playback_ = nullptr;
};

}  // namespace sonivex
