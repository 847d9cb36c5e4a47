#include "transport.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QTextEdit>
#include <algorithm>
#include <climits>
#include <utility>

namespace sonivex {

namespace {

// A left click on the groove puts the handle under the pointer (and starts a drag there) instead of stepping a
// page towards it, as media players do.
class JumpingSliderStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

bool EditsText(const QWidget* widget) {
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget)) return !plain->isReadOnly();
    if (const auto* rich = qobject_cast<const QTextEdit*>(widget)) return !rich->isReadOnly();
    return qobject_cast<const QLineEdit*>(widget) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(widget) != nullptr;
}

}  // namespace

PositionSlider::PositionSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    auto* jumping = new JumpingSliderStyle;
    jumping->setParent(this);
    setStyle(jumping);
    setTracking(false);
    setFocusPolicy(Qt::ClickFocus);
    setRange(0, 0);
    setEnabled(false);
    const auto seek = [this] { emit SeekRequested(static_cast<qint64>(sliderPosition()) * ticksPerStep_); };
    connect(this, &QSlider::sliderReleased, this, seek);
    connect(this, &QSlider::sliderMoved, this,
            [this](int step) { emit DraggedOver(static_cast<qint64>(step) * ticksPerStep_); });
    // Keys and page steps; a drag seeks once, on release.
    connect(this, &QSlider::actionTriggered, this, [this, seek](int action) {
        if (action != SliderMove && !isSliderDown()) seek();
    });
}

void PositionSlider::Show(std::uint32_t position, std::uint32_t length) {
    if (isSliderDown()) return;
    const QSignalBlocker quiet(this);
    ticksPerStep_ = length > static_cast<std::uint32_t>(INT_MAX) ? 2 : 1;
    setRange(0, static_cast<int>(length / ticksPerStep_));
    setValue(static_cast<int>(position / ticksPerStep_));
    setPageStep(std::max(1, maximum() / 20));
    setEnabled(length > 0);
}

TransportKeys::TransportKeys(std::function<bool(const QWidget*)> ours, std::function<void()> playPause,
                             std::function<void()> toStart, QObject* parent)
    : QObject(parent), ours_(std::move(ours)), playPause_(std::move(playPause)), toStart_(std::move(toStart)) {}

bool TransportKeys::TakesKey(const QWidget* widget, int key) {
    if (EditsText(widget) || qobject_cast<const QComboBox*>(widget) != nullptr ||
        qobject_cast<const QAbstractItemView*>(widget) != nullptr) {
        return true;
    }
    if (key == Qt::Key_Space) return qobject_cast<const QAbstractButton*>(widget) != nullptr;
    return qobject_cast<const QAbstractSlider*>(widget) != nullptr;  // Home on the position slider seeks itself
}

bool TransportKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    const bool space = key->key() == Qt::Key_Space;
    if ((!space && key->key() != Qt::Key_Home) || key->modifiers() != Qt::NoModifier) return false;
    const auto* widget = static_cast<const QWidget*>(watched);
    if (!ours_(widget) || TakesKey(widget, key->key())) return false;
    if (!key->isAutoRepeat()) (space ? playPause_ : toStart_)();
    return true;
}

}  // namespace sonivex
