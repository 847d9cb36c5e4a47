#include "piano_roll_renderer.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <algorithm>
#include <cmath>

namespace sonivex {

namespace {

const QColor kBackground(0x16, 0x18, 0x1d);
const QColor kRulerBackground(0x23, 0x26, 0x2d);
const QColor kRulerText(0xc8, 0xcc, 0xd4);
const QColor kBarLine(0x3a, 0x3f, 0x4b);
const QColor kBeatLine(0x25, 0x29, 0x31);
const QColor kWhiteKeyRow(0x1f, 0x22, 0x29);
const QColor kBlackKeyRow(0x19, 0x1b, 0x21);
const QColor kOctaveLine(0x34, 0x39, 0x45);
const QColor kWhiteKey(0xe8, 0xe8, 0xe8);
const QColor kBlackKey(0x2a, 0x2a, 0x2e);
const QColor kKeyText(0x40, 0x44, 0x4c);
const QColor kLaneEven(0x1c, 0x1f, 0x25);
const QColor kLaneOdd(0x21, 0x24, 0x2b);
const QColor kLaneName(0x27, 0x2a, 0x32);
const QColor kChangedOutline(0xff, 0xff, 0xff);
const QColor kCursor(0xff, 0x45, 0x45);
const QColor kLegendBackground(0x1b, 0x1d, 0x23);
const QColor kLegendText(0xd6, 0xd9, 0xe0);
const QColor kHiddenText(0x6a, 0x6e, 0x78);

QColor ToQt(const RollColor& c) { return QColor(c.r, c.g, c.b, c.a); }
QRectF ToQt(const RollRect& r) { return QRectF(r.x, r.y, r.w, r.h); }
QString Text(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

QPolygonF Diamond(const RollRect& r) {
    const double cx = r.x + r.w / 2;
    const double cy = r.y + r.h / 2;
    return QPolygonF({QPointF(cx, r.y), QPointF(r.Right(), cy), QPointF(cx, r.Bottom()), QPointF(r.x, cy)});
}

QFont SmallFont(int pixels, bool bold = false) {
    QFont font;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void DrawRowsAndLines(QPainter& painter, const RollPicture& p) {
    const QRectF notes = ToQt(p.notes);
    for (const RollKeyRow& row : p.keys) {
        painter.fillRect(QRectF(notes.left(), row.rect.y, notes.width(), row.rect.h), row.black ? kBlackKeyRow : kWhiteKeyRow);
        if (row.key % 12 == 0 && row.rect.h >= 3) {
            painter.fillRect(QRectF(notes.left(), row.rect.Bottom() - 1, notes.width(), 1), kOctaveLine);
        }
    }
    for (std::size_t i = 0; i < p.lanes.size(); ++i) {
        const RollLane& lane = p.lanes[i];
        painter.fillRect(QRectF(notes.left(), lane.rect.y, notes.width(), lane.rect.h), i % 2 == 0 ? kLaneEven : kLaneOdd);
    }
    for (const RollMark& beat : p.beats) painter.fillRect(QRectF(beat.x, notes.top(), 1, notes.height()), kBeatLine);
    for (const RollMark& bar : p.bars) painter.fillRect(QRectF(bar.x, notes.top(), 1, notes.height()), kBarLine);
}

QRect Pixels(const RollRect& r) {
    const RollPixels p = PixelsOf(r);
    return QRect(p.x0, p.y0, p.x1 - p.x0, p.y1 - p.y0);
}

// Diamonds are drawn as polygons only where they are large enough to look like one.
constexpr int kLeastDiamond = 7;

// The pens and colours that mark changed notes and old places.
struct ShapeOutlines {
    QPen oldOutline{QColor(255, 255, 255, 150), 1, ::Qt::DashLine};
    QColor oldEdge{255, 255, 255, 90};
    QPen changed{kChangedOutline, 2};
    ShapeOutlines() { changed.setJoinStyle(::Qt::MiterJoin); }
};

// A melody note as it stands, or faint where it stood before the last command.
void DrawBar(QPainter& painter, const RollShape& shape, const QRect& rect, QColor fill, const ShapeOutlines& lines) {
    if (shape.kind == RollShapeKind::OldNote) {
        fill.setAlpha(70);
        painter.fillRect(rect, fill);
        if (rect.width() >= 8) {
            painter.setPen(lines.oldOutline);
            painter.setBrush(::Qt::NoBrush);
            painter.drawRect(rect.adjusted(0, 0, -1, -1));
        } else {
            painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), lines.oldEdge);
            painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), lines.oldEdge);
        }
        return;
    }
    if (shape.changed) {
        // Thinner around narrow notes, so a crowd of changed notes does not turn white.
        const int edge = rect.width() >= 6 ? 2 : 1;
        painter.fillRect(rect.adjusted(-edge, -edge, edge, edge), kChangedOutline);
    }
    painter.fillRect(rect, fill);
    if (!shape.changed && rect.width() >= 6 && rect.height() >= 5) {
        // A darker edge keeps notes of one key apart when one starts where the last ends.
        painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), fill.darker(170));
    }
}

// A drum note as it stands, or faint where it stood before the last command: a diamond, or a plain rectangle
// where it is too small to look like one.
void DrawDiamond(QPainter& painter, const RollShape& shape, const QRect& rect, QColor fill,
                 const ShapeOutlines& lines) {
    const bool old = shape.kind == RollShapeKind::OldDrum;
    if (old) fill.setAlpha(110);
    if (rect.width() < kLeastDiamond || rect.height() < kLeastDiamond) {
        if (!old && shape.changed) painter.fillRect(rect.adjusted(-1, -1, 1, 1), kChangedOutline);
        painter.fillRect(rect, fill);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (old) {
        painter.setPen(lines.oldOutline);
    } else {
        painter.setPen(shape.changed ? lines.changed : QPen(fill.darker(160), 1));
    }
    painter.setBrush(fill);
    painter.drawPolygon(Diamond(shape.rect));
    painter.setRenderHint(QPainter::Antialiasing, false);
}

void DrawShapes(QPainter& painter, const RollPicture& p) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    const ShapeOutlines lines;
    for (const RollShape& shape : p.shapes) {
        const QRect rect = Pixels(shape.rect);
        const QColor fill = ToQt(shape.fill);
        if (shape.kind == RollShapeKind::Note || shape.kind == RollShapeKind::OldNote) {
            DrawBar(painter, shape, rect, fill, lines);
        } else {
            DrawDiamond(painter, shape, rect, fill, lines);
        }
    }
}

void DrawKeyboard(QPainter& painter, const RollPicture& p) {
    painter.fillRect(ToQt(p.keyboard), kBackground);
    painter.setFont(SmallFont(std::max(8, std::min(11, static_cast<int>(p.keys.empty() ? 11 : p.keys[0].rect.h + 3)))));
    for (const RollKeyRow& row : p.keys) {
        const QRectF rect = ToQt(row.rect);
        if (row.black) {
            painter.fillRect(rect, kWhiteKey);
            painter.fillRect(QRectF(rect.left(), rect.top(), rect.width() * 0.62, rect.height()), kBlackKey);
        } else {
            painter.fillRect(rect, kWhiteKey);
        }
        // The edge between two white keys (B-C and E-F meet without a black key between them).
        const int pitch = row.key % 12;
        if ((pitch == 0 || pitch == 5) && rect.height() >= 3) {
            painter.fillRect(QRectF(rect.left(), rect.bottom() - 1, rect.width(), 1), QColor(0xa0, 0xa0, 0xa4));
        }
        if (!row.label.empty() && rect.height() >= 7) {
            painter.setPen(kKeyText);
            painter.drawText(rect.adjusted(0, -4, -3, 4), ::Qt::AlignRight | ::Qt::AlignVCenter, Text(row.label));
        }
    }
    painter.setFont(SmallFont(std::max(8, std::min(11, static_cast<int>(p.lanes.empty() ? 11 : p.lanes[0].rect.h)))));
    const QFontMetrics metrics(painter.font());
    for (const RollLane& lane : p.lanes) {
        const QRectF rect = ToQt(lane.rect);
        painter.fillRect(rect.adjusted(0, 0, 0, -1), kLaneName);
        if (rect.height() < 7) continue;
        painter.setPen(kRulerText);
        const QString name = metrics.elidedText(Text(lane.name), ::Qt::ElideRight, static_cast<int>(rect.width()) - 8);
        painter.drawText(rect.adjusted(4, 0, -4, 0), ::Qt::AlignLeft | ::Qt::AlignVCenter, name);
    }
    painter.fillRect(QRectF(p.keyboard.Right() - 1, p.keyboard.y, 1, p.keyboard.h), kBarLine);
}

void DrawRulers(QPainter& painter, const RollPicture& p) {
    const QRectF bars = ToQt(p.barRuler);
    const QRectF seconds = ToQt(p.secondsRuler);
    painter.fillRect(QRectF(0, 0, p.keyboard.w, p.notes.y), kRulerBackground);
    painter.fillRect(bars, kRulerBackground);
    painter.fillRect(seconds, kRulerBackground.darker(115));
    painter.setFont(SmallFont(10));
    painter.setPen(kRulerText);
    painter.drawText(QRectF(4, bars.top(), p.keyboard.w - 8, bars.height()), ::Qt::AlignLeft | ::Qt::AlignVCenter,
                     QStringLiteral("Bar"));
    painter.drawText(QRectF(4, seconds.top(), p.keyboard.w - 8, seconds.height()), ::Qt::AlignLeft | ::Qt::AlignVCenter,
                     QStringLiteral("Time"));
    painter.save();
    painter.setClipRect(bars.united(seconds));
    for (const RollMark& beat : p.beats) {
        painter.fillRect(QRectF(beat.x, bars.bottom() - 5, 1, 5), kBarLine.lighter(130));
    }
    for (const RollMark& bar : p.bars) {
        painter.fillRect(QRectF(bar.x, bars.top() + (bar.label.empty() ? 12 : 4), 1, bars.height()), kRulerText.darker(130));
        if (!bar.label.empty()) {
            painter.setPen(kRulerText);
            painter.drawText(QRectF(bar.x + 3, bars.top(), 60, bars.height()), ::Qt::AlignLeft | ::Qt::AlignVCenter,
                             Text(bar.label));
        }
    }
    for (const RollMark& mark : p.seconds) {
        painter.fillRect(QRectF(mark.x, seconds.top() + 3, 1, seconds.height() - 3), kRulerText.darker(150));
        painter.setPen(kRulerText.darker(110));
        painter.drawText(QRectF(mark.x + 3, seconds.top(), 60, seconds.height()), ::Qt::AlignLeft | ::Qt::AlignVCenter,
                         Text(mark.label));
    }
    painter.restore();
    painter.fillRect(QRectF(bars.left(), bars.bottom() - 1, bars.width(), 1), kBarLine);
    painter.fillRect(QRectF(seconds.left(), seconds.bottom() - 1, seconds.width(), 1), kBarLine);
}

void DrawLegend(QPainter& painter, const RollPicture& p) {
    if (p.legend.w <= 0) return;
    const QRectF legend = ToQt(p.legend);
    painter.fillRect(legend, kLegendBackground);
    painter.fillRect(QRectF(legend.left(), legend.top(), 1, legend.height()), kBarLine);
    painter.setPen(kLegendText);
    painter.setFont(SmallFont(13, true));
    painter.drawText(QRectF(legend.left() + 10, 0, legend.width() - 20, 28), ::Qt::AlignLeft | ::Qt::AlignVCenter,
                     Text(p.legendTitle));
    painter.setFont(SmallFont(11));
    const QFontMetrics metrics(painter.font());
    for (const RollLegendEntry& entry : p.legendEntries) {
        const QRectF box = ToQt(entry.tickBox);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(kLegendText, 1));
        painter.setBrush(::Qt::NoBrush);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        if (entry.shown) {
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.setPen(QPen(kLegendText, 1.6));
            painter.drawPolyline(QPolygonF({QPointF(box.left() + box.width() * 0.2, box.top() + box.height() * 0.5),
                                            QPointF(box.left() + box.width() * 0.42, box.top() + box.height() * 0.75),
                                            QPointF(box.left() + box.width() * 0.8, box.top() + box.height() * 0.22)}));
            painter.setRenderHint(QPainter::Antialiasing, false);
        }
        QColor swatch = ToQt(entry.color);
        if (!entry.shown) swatch.setAlpha(60);
        painter.fillRect(ToQt(entry.swatch), swatch);
        painter.setPen(entry.shown ? kLegendText : kHiddenText);
        const QRectF text = ToQt(entry.textArea);
        painter.drawText(text, ::Qt::AlignLeft | ::Qt::AlignVCenter,
                         metrics.elidedText(Text(entry.text), ::Qt::ElideRight, static_cast<int>(text.width())));
    }
    if (p.changeSummary.empty()) return;
    // What the outlines mean, with a sample of each.
    const double y = legend.bottom() - 46;
    painter.setPen(kLegendText);
    painter.drawText(QRectF(legend.left() + 10, y - 4, legend.width() - 20, 16), ::Qt::AlignLeft | ::Qt::AlignVCenter,
                     metrics.elidedText(Text(p.changeSummary), ::Qt::ElideRight, static_cast<int>(legend.width()) - 20));
    const QRectF changed(legend.left() + 12, y + 17, 22, 8);
    painter.fillRect(changed, QColor(0x4e, 0xa8, 0xff));
    painter.setPen(QPen(kChangedOutline, 2));
    painter.setBrush(::Qt::NoBrush);
    painter.drawRect(changed.adjusted(-1, -1, 1, 1));
    painter.setPen(kLegendText);
    painter.drawText(QRectF(changed.right() + 8, y + 13, 70, 16), ::Qt::AlignLeft | ::Qt::AlignVCenter, QStringLiteral("now"));
    const QRectF before(legend.left() + 110, y + 17, 22, 8);
    painter.fillRect(before, QColor(0x4e, 0xa8, 0xff, 70));
    painter.setPen(QPen(QColor(255, 255, 255, 150), 1, ::Qt::DashLine));
    painter.drawRect(before);
    painter.setPen(kLegendText);
    painter.drawText(QRectF(before.right() + 8, y + 13, 90, 16), ::Qt::AlignLeft | ::Qt::AlignVCenter, QStringLiteral("before"));
}

}  // namespace

void DrawPianoRoll(QPainter& painter, const RollPicture& p) {
    painter.save();
    painter.fillRect(QRectF(0, 0, p.width, p.height), kBackground);
    painter.save();
    painter.setClipRect(ToQt(p.notes));
    DrawRowsAndLines(painter, p);
    DrawShapes(painter, p);
    painter.restore();
    DrawKeyboard(painter, p);
    DrawRulers(painter, p);
    DrawPlayingCursor(painter, p);
    DrawLegend(painter, p);
    if (!p.message.empty()) {
        painter.setPen(kRulerText);
        painter.setFont(SmallFont(16));
        painter.drawText(ToQt(p.notes), ::Qt::AlignCenter, Text(p.message));
    }
    painter.restore();
}

void DrawPlayingCursor(QPainter& painter, const RollPicture& p) {
    if (p.cursorX) painter.fillRect(QRectF(*p.cursorX - 1, 0, 2, p.notes.Bottom()), kCursor);
}

QImage RenderPianoRoll(const PianoRollModel& model, const RollView& view) {
    const RollPicture picture = model.Layout(view);
    QImage image(picture.width, picture.height, QImage::Format_RGB32);
    QPainter painter(&image);
    DrawPianoRoll(painter, picture);
    painter.end();
    return image;
}

}  // namespace sonivex
