#include "artwork.h"

#include <QPainter>
#include <QPainterPath>

namespace tollvik {
namespace {

void drawSpeaker(QPainter& p, qreal scale)
{
    p.save();
    p.scale(scale, scale);
    QPainterPath body;
    body.moveTo(2, 6);
    body.lineTo(5, 6);
    body.lineTo(9, 2);
    body.lineTo(9, 14);
    body.lineTo(5, 10);
    body.lineTo(2, 10);
    body.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(0x40, 0x40, 0x40));
    p.drawPath(body);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x00, 0x00, 0xC0), 1.2));
    p.drawArc(QRectF(8, 5, 4, 6), -60 * 16, 120 * 16);
    p.drawArc(QRectF(8, 3, 7, 10), -60 * 16, 120 * 16);
    p.restore();
}

} // namespace

QPixmap speakerPicture()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    drawSpeaker(p, 1.0);
    return pixmap;
}

QIcon windowIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(16, 1);
    triangle.lineTo(31, 29);
    triangle.lineTo(1, 29);
    triangle.closeSubpath();
    p.setPen(QPen(QColor(0x80, 0x00, 0x00), 2));
    p.setBrush(QColor(0xFF, 0xFF, 0x00));
    p.drawPath(triangle);
    p.translate(8, 10);
    drawSpeaker(p, 1.0);
    return QIcon(pixmap);
}

QCursor actionCursor()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath hand;
    // Index finger pointing up, its tip at the hot spot (12, 1).
    hand.moveTo(10, 3);
    hand.quadTo(12, -1, 14, 3);
    hand.lineTo(14, 12);
    hand.lineTo(23, 13);
    hand.quadTo(26, 14, 25, 18);
    hand.lineTo(23, 27);
    hand.lineTo(11, 27);
    hand.lineTo(5, 18);
    hand.quadTo(5, 15, 8, 16);
    hand.lineTo(10, 18);
    hand.closeSubpath();
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::white);
    p.drawPath(hand);
    return QCursor(pixmap, 12, 1);
}

} // namespace tollvik
