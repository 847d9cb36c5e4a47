#include "form_layout.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

namespace sonivex {

namespace {

// The width that a control's caption needs: the text and what the style draws beside it.
int CaptionWidth(const QWidget& widget, const QFont& font, const QString& caption) {
    const QStyle& style = *widget.style();
    int extra = 1;
    if (qobject_cast<const QCheckBox*>(&widget) != nullptr) {
        extra += style.pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &widget) +
                 style.pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &widget);
    } else if (qobject_cast<const QRadioButton*>(&widget) != nullptr) {
        extra += style.pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, &widget) +
                 style.pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, &widget);
    } else if (qobject_cast<const QPushButton*>(&widget) != nullptr) {
        extra += 2 * (style.pixelMetric(QStyle::PM_ButtonMargin, nullptr, &widget) / 2 +
                      style.pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &widget));
    } else if (qobject_cast<const QLabel*>(&widget) == nullptr) {
        return 0;
    }
    return QFontMetrics(font).horizontalAdvance(caption) + extra;
}

}  // namespace

QFont FormFont() {
    const QFont app = QApplication::font();
    const QString family = QStringLiteral("MS Sans Serif");
    QFont font = app;
    font.setFamily(QFontDatabase::hasFamily(family) ? family : app.family());
    font.setPointSizeF(8.25);
    font.setUnderline(false);
    return font;
}

void FitCaption(QWidget& widget, const QString& caption) {
    if (caption.trimmed().isEmpty()) return;
    QFont font = widget.font();
    for (int stretch = 100; stretch > 70 && CaptionWidth(widget, font, caption) > widget.width(); stretch -= 2) {
        font.setStretch(stretch - 2);
    }
    if (font.stretch() != widget.font().stretch()) widget.setFont(font);
}

}  // namespace sonivex
