// The transport beside the play buttons: the position slider, and the keys that play, pause and go to the
// start from any of the program's windows.
#pragma once

#include <QObject>
#include <QSlider>
#include <cstdint>
#include <functional>

class QWidget;

namespace sonivex {

// The playing position over the song's length, in ticks. A click on the groove moves the handle there at
// once; dragging shows the place and seeks on release; the arrow, Page and Home/End keys seek too. The
// position shown from the player does not move the handle while the user holds it.
class PositionSlider : public QSlider {
    Q_OBJECT

public:
    explicit PositionSlider(QWidget* parent);

    // Shows `position` of `length` ticks; without a song (length 0) the slider is disabled at 0.
    void Show(std::uint32_t position, std::uint32_t length);

signals:
    // The user moved the handle to `tick`.
    void SeekRequested(qint64 tick);
    // The user drags the handle, now over `tick`; SeekRequested follows on release.
    void DraggedOver(qint64 tick);

private:
    // A QSlider counts in int: a song longer than that is shown in steps of two ticks.
    std::uint32_t ticksPerStep_ = 1;
};

// Space (Play and Pause) and Home (to the start) for every widget that `ours` accepts, unless the widget
// uses the key itself (a button or check box takes Space, a text field or a list both keys). Installed on
// the application, so that the keys work in the piano roll's window too.
class TransportKeys : public QObject {
    Q_OBJECT

public:
    TransportKeys(std::function<bool(const QWidget*)> ours, std::function<void()> playPause,
                  std::function<void()> toStart, QObject* parent);

    // True when `widget` uses the key `key` itself.
    static bool TakesKey(const QWidget* widget, int key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<bool(const QWidget*)> ours_;
    std::function<void()> playPause_;
    std::function<void()> toStart_;
};

}  // namespace sonivex
