#include "piano_roll_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <system_error>

#include "playback/media.h"
#include "roll/piano_roll_renderer.h"
#include "roll/piano_roll_song.h"

namespace sonivex {

namespace {

constexpr int kPlaybackPollMs = 40;     // the cursor moves 25 times a second
constexpr double kWheelNotch = 120;     // angle delta of one notch of a mouse wheel
constexpr double kScrollPerNotch = 0.1; // of the visible width
constexpr double kZoomPerNotch = 1.25;
constexpr double kCloserTicksPerPixel = 1.0 / 16;  // the closest zoom: 16 pixels a tick

}  // namespace

PianoRollView::PianoRollView(Session& session, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), session_(session) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(420, 260);
    playback_ = new QTimer(this);
    playback_->setObjectName(QStringLiteral("PlaybackCursor"));
    playback_->setInterval(kPlaybackPollMs);
    connect(playback_, &QTimer::timeout, this, &PianoRollView::FollowPlayback);
}

void PianoRollView::SongMayHaveChanged() {
    if (!isVisible()) return;  // read when shown
    const SongStamp stamp = SongStamp::Of(session_);
    if (stamp_ && *stamp_ == stamp) return;
    stamp_ = stamp;
    const std::size_t tracksBefore = model_.Song().tracks.size();
    LoadPianoRoll(session_, session_.history.Previous(), model_);
    // A song just opened is shown whole with every track; an edit keeps the user's place and choices.
    if (session_.history.Previous() == nullptr || model_.Song().tracks.size() < tracksBefore) {
        view_.ticksPerPixel = 0;
        view_.firstTick = 0;
        view_.hiddenTracks.clear();
    }
    KeepInSong();
    Redraw();
}

void PianoRollView::Redraw() {
    drawnValid_ = false;
    update();
}

void PianoRollView::FollowPlayback() {
    std::optional<std::uint32_t> cursor;
    if (session_.media.Playing) {
        std::string reply;
        if (MediaQuery(session_.media, std::string("Status ") + kMediaAlias + " position", reply) == 0 && !reply.empty() &&
            reply.size() < 11 && reply.find_first_not_of("0123456789") == std::string::npos) {
            const unsigned long long tick = std::stoull(reply);
            if (tick <= UINT32_MAX) cursor = static_cast<std::uint32_t>(tick);
        }
    }
    if (cursor == view_.cursorTick) return;
    view_.cursorTick = cursor;
    // A cursor that runs off the right edge turns the page.
    if (cursor && view_.ticksPerPixel > 0) {
        const double visible = PianoRollModel::NotesWidth(width()) * view_.ticksPerPixel;
        if (*cursor >= view_.firstTick + visible || *cursor < view_.firstTick) {
            view_.firstTick = *cursor;
            KeepInSong();
            drawnValid_ = false;
        }
    }
    update();
}

RollPicture PianoRollView::Picture() const {
    RollView view = view_;
    view.width = width();
    view.height = height();
    return model_.Layout(view);
}

void PianoRollView::paintEvent(QPaintEvent*) {
    RollView view = view_;
    view.width = width();
    view.height = height();
    const qreal scale = devicePixelRatioF();
    if (!drawnValid_ || drawn_.size() != size() * scale) {
        view.cursorTick.reset();
        const RollPicture picture = model_.Layout(view);
        drawn_ = QImage(size() * scale, QImage::Format_RGB32);
        drawn_.setDevicePixelRatio(scale);
        QPainter onImage(&drawn_);
        DrawPianoRoll(onImage, picture);
        cursorFrame_.notes = picture.notes;
        drawnValid_ = true;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, drawn_);
    cursorFrame_.cursorX = view_.cursorTick ? model_.CursorX(view, *view_.cursorTick) : std::nullopt;
    DrawPlayingCursor(painter, cursorFrame_);
}

void PianoRollView::KeepInSong() {
    if (view_.ticksPerPixel <= 0) return;
    const double fit = model_.FitTicksPerPixel(width());
    if (view_.ticksPerPixel >= fit) {
        view_.ticksPerPixel = 0;  // all of the song shows: back to fitting it
        view_.firstTick = 0;
        return;
    }
    const double visible = PianoRollModel::NotesWidth(width()) * view_.ticksPerPixel;
    view_.firstTick = std::clamp(view_.firstTick, 0.0, std::max(0.0, model_.LastTick() - visible));
}

void PianoRollView::ScrollBy(double pixels) {
    if (view_.ticksPerPixel <= 0) return;  // the whole song shows: nothing to scroll to
    view_.firstTick += pixels * view_.ticksPerPixel;
    KeepInSong();
    Redraw();
}

void PianoRollView::ZoomBy(double factor, double anchor) {
    const double fit = model_.FitTicksPerPixel(width());
    const double before = view_.ticksPerPixel > 0 ? view_.ticksPerPixel : fit;
    const double left = Picture().notes.x;
    const double offset = std::clamp(anchor - left, 0.0, PianoRollModel::NotesWidth(width()));
    const double tickAtAnchor = (view_.ticksPerPixel > 0 ? view_.firstTick : 0) + offset * before;
    const double after = std::max(kCloserTicksPerPixel, before / factor);
    view_.ticksPerPixel = after;
    view_.firstTick = tickAtAnchor - offset * after;
    KeepInSong();
    Redraw();
}

void PianoRollView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const double notches = (delta.y() != 0 ? delta.y() : delta.x()) / kWheelNotch;
    if (notches == 0) return;
    if (event->modifiers() & Qt::ControlModifier) {
        ZoomBy(std::pow(kZoomPerNotch, notches), event->position().x());
    } else {
        // Wheel down (negative) goes later in the song, as a page scrolls down.
        ScrollBy(-notches * kScrollPerNotch * PianoRollModel::NotesWidth(width()));
    }
    event->accept();
}

std::optional<std::int64_t> PianoRollView::TickAt(const RollPicture& picture, double x) const {
    if (model_.Song().tracks.empty() || x < picture.notes.x || x > picture.notes.Right()) return std::nullopt;
    const double tpp = view_.ticksPerPixel > 0 ? view_.ticksPerPixel : model_.FitTicksPerPixel(picture.width);
    const double first = view_.ticksPerPixel > 0 ? std::max(0.0, view_.firstTick) : 0.0;
    return std::llround(first + (x - picture.notes.x) * tpp);
}

void PianoRollView::mousePressEvent(QMouseEvent* event) {
    const RollPicture picture = Picture();
    const double x = event->position().x();
    const double y = event->position().y();
    if (event->button() == Qt::LeftButton && (picture.barRuler.Contains(x, y) || picture.secondsRuler.Contains(x, y))) {
        if (const std::optional<std::int64_t> tick = TickAt(picture, x)) emit SeekRequested(*tick);
        return;
    }
    const std::optional<std::int32_t> track = PianoRollModel::LegendTrackAt(picture, x, y);
    if (!track || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const auto index = static_cast<std::size_t>(*track);
    if (view_.hiddenTracks.size() <= index) view_.hiddenTracks.resize(index + 1, false);
    view_.hiddenTracks[index] = !view_.hiddenTracks[index];
    Redraw();
}

void PianoRollView::resizeEvent(QResizeEvent* event) {
    KeepInSong();
    drawnValid_ = false;
    QWidget::resizeEvent(event);
}

void PianoRollView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    SongMayHaveChanged();
    playback_->start();
}

void PianoRollView::hideEvent(QHideEvent* event) {
    playback_->stop();
    QWidget::hideEvent(event);
}

}  // namespace sonivex
