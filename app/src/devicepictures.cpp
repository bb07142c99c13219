#include "devicepictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tollvik {
namespace {

const QColor kMapLand(0xE8, 0xF0, 0xD8);
const QColor kMapRoad(0xFF, 0xFF, 0xFF);
const QColor kMapRoadEdge(0xB8, 0xB8, 0xA8);
const QColor kRoute(0x2A, 0x6C, 0xE0);
const QColor kPosition(0xE0, 0x40, 0x30);

QImage blank(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QLinearGradient vertical(const QRectF& rect, const QColor& top, const QColor& bottom)
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    return gradient;
}

// A small street map with a route and the car's position, filling the screen rectangle.
void drawMap(QPainter& p, const QRectF& screen)
{
    p.save();
    p.setClipRect(screen);
    p.fillRect(screen, kMapLand);
    const auto at = [&screen](qreal x, qreal y) {
        return QPointF(screen.left() + x * screen.width(), screen.top() + y * screen.height());
    };
    const qreal road = std::max<qreal>(2.0, screen.width() / 14);

    QPainterPath streets;
    streets.moveTo(at(-0.1, 0.30));
    streets.lineTo(at(1.1, 0.22));
    streets.moveTo(at(0.25, -0.1));
    streets.lineTo(at(0.35, 1.1));
    streets.moveTo(at(0.70, -0.1));
    streets.cubicTo(at(0.62, 0.4), at(0.85, 0.6), at(0.78, 1.1));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kMapRoadEdge, road + 1.5, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(streets);
    p.setPen(QPen(kMapRoad, road, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(streets);

    QPainterPath route;
    route.moveTo(at(0.35, 1.1));
    route.lineTo(at(0.30, 0.28));
    route.lineTo(at(0.70, 0.245));
    route.cubicTo(at(0.66, 0.4), at(0.85, 0.6), at(0.80, 0.9));
    p.setPen(QPen(kRoute, road * 0.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(route);

    // The position arrow, pointing up the route.
    const QPointF tip = at(0.335, 0.62);
    const qreal s = screen.height() / 7;
    QPainterPath arrow;
    arrow.moveTo(tip);
    arrow.lineTo(tip + QPointF(s * 0.6, s * 1.5));
    arrow.lineTo(tip + QPointF(0, s * 1.1));
    arrow.lineTo(tip + QPointF(-s * 0.6, s * 1.5));
    arrow.closeSubpath();
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(kPosition);
    p.drawPath(arrow);
    p.restore();

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
    p.drawRect(screen);
}

// Stand-alone car navigation device: a landscape body with its screen, a speaker grille and
// the suction mount below.
QImage drawGoDevice()
{
    QImage image = blank(130, 100);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Windscreen mount: a ball joint under the body, an arm and the suction cup.
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(65, 84), QPointF(88, 92));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x22, 0x22, 0x22));
    p.drawEllipse(QPointF(65, 85), 5, 5);
    p.setBrush(
        vertical(QRectF(78, 89, 34, 10), QColor(0x58, 0x58, 0x58), QColor(0x18, 0x18, 0x18)));
    p.drawChord(QRectF(78, 89, 34, 20), 0, 180 * 16);

    const QRectF body(3, 4, 124, 80);
    p.setPen(QPen(QColor(0x10, 0x10, 0x10), 1));
    p.setBrush(vertical(body, QColor(0x6A, 0x6E, 0x74), QColor(0x26, 0x28, 0x2C)));
    p.drawRoundedRect(body, 14, 14);
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body.adjusted(2, 2, -2, -2), 12, 12);

    drawMap(p, QRectF(14, 14, 84, 60));

    // Speaker grille.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x14, 0x14, 0x16));
    for (int row = 0; row < 6; ++row) {
        for (int col = 0; col < 3; ++col)
            p.drawEllipse(QPointF(106 + col * 5.5, 26 + row * 6.5), 1.5, 1.5);
    }
    return image;
}

// Handheld computer standing in its cradle.
QImage drawHandheld()
{
    QImage image = blank(71, 121);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF body(11, 3, 49, 98);
    p.setPen(QPen(QColor(0x40, 0x44, 0x4A), 1));
    p.setBrush(vertical(body, QColor(0xD8, 0xDC, 0xE2), QColor(0x8C, 0x92, 0x9A)));
    p.drawRoundedRect(body, 7, 7);

    drawMap(p, QRectF(16, 11, 39, 48));

    // Four application buttons around a navigation pad.
    p.setPen(QPen(QColor(0x40, 0x44, 0x4A), 0.8));
    p.setBrush(QColor(0x5A, 0x60, 0x6A));
    for (const qreal x : {17.5, 24.5, 46.5, 53.5})
        p.drawEllipse(QPointF(x, 72), 3, 3);
    p.setBrush(
        vertical(QRectF(29, 66, 13, 13), QColor(0x9A, 0xA0, 0xAA), QColor(0x50, 0x56, 0x60)));
    p.drawEllipse(QRectF(29, 66, 13, 13));

    // Cradle: a base the handheld stands in, with its front lip over the lower body.
    QPainterPath cradle;
    cradle.moveTo(6, 86);
    cradle.lineTo(65, 86);
    cradle.lineTo(69, 118);
    cradle.lineTo(2, 118);
    cradle.closeSubpath();
    p.setPen(QPen(QColor(0x10, 0x10, 0x12), 1));
    p.setBrush(vertical(QRectF(2, 86, 67, 32), QColor(0x4A, 0x4E, 0x56), QColor(0x1C, 0x1E, 0x22)));
    p.drawPath(cradle);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x60, 0xD0, 0x60));
    p.drawEllipse(QPointF(58, 111), 1.8, 1.8); // charge light
    return image;
}

// Mobile phone: a bar phone with its screen and keypad.
QImage drawPhone()
{
    QImage image = blank(71, 121);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Antenna stub.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x30, 0x30, 0x34));
    p.drawRoundedRect(QRectF(46, 1, 7, 10), 2, 2);

    const QRectF body(14, 6, 43, 113);
    p.setPen(QPen(QColor(0x18, 0x1A, 0x20), 1));
    p.setBrush(vertical(body, QColor(0x5C, 0x6A, 0x80), QColor(0x26, 0x2C, 0x38)));
    p.drawRoundedRect(body, 9, 9);

    // Earpiece.
    p.setBrush(QColor(0x14, 0x16, 0x1A));
    p.drawRoundedRect(QRectF(29, 11, 13, 2.5), 1.2, 1.2);

    drawMap(p, QRectF(19, 17, 33, 36));

    // Soft keys and the keypad of three columns and four rows.
    p.setPen(QPen(QColor(0x18, 0x1A, 0x20), 0.6));
    p.setBrush(QColor(0xC8, 0xCE, 0xD8));
    p.drawRoundedRect(QRectF(19, 58, 12, 5), 2, 2);
    p.drawRoundedRect(QRectF(40, 58, 12, 5), 2, 2);
    p.setBrush(QColor(0x9A, 0xA6, 0xB8));
    p.drawEllipse(QRectF(32, 57, 7, 7));
    p.setBrush(QColor(0xC8, 0xCE, 0xD8));
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 3; ++col)
            p.drawRoundedRect(QRectF(19 + col * 11.5, 68 + row * 11, 9, 7.5), 2, 2);
    }
    return image;
}

} // namespace

QImage drawDeviceImage(DevicePicture picture)
{
    switch (picture) {
    case DevicePicture::GoDevice:
        return drawGoDevice();
    case DevicePicture::Handheld:
        return drawHandheld();
    case DevicePicture::Phone:
        return drawPhone();
    }
    return {};
}

QPixmap drawDevicePicture(DevicePicture picture)
{
    return QPixmap::fromImage(drawDeviceImage(picture));
}

} // namespace tollvik
