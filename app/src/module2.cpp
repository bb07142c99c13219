#include "app/module2.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <qdrawutil.h>

namespace tollvik {
namespace {

// The values a coloured button carries, as named properties of the button itself.
constexpr char kMarker[] = "tollvikCaptionMarker";
constexpr char kColour[] = "tollvikCaptionColour";
constexpr char kAlignment[] = "tollvikCaptionAlignment";

constexpr int kAlignTop = 0;
constexpr int kAlignCentre = 4;
constexpr int kAlignBottom = 8;
constexpr int kAlignCentreShifted = 12;

Qt::Alignment verticalAlignment(int code)
{
    switch (code) {
    case kAlignTop:
        return Qt::AlignTop;
    case kAlignBottom:
        return Qt::AlignBottom;
    default:
        return Qt::AlignVCenter;
    }
}

} // namespace

void SetCaptionColour(QPushButton* button, const QColor& colour, int alignment)
{
    button->setProperty(kMarker, true);
    button->setProperty(kColour, colour);
    button->setProperty(kAlignment, alignment);
    button->update();
}

void ClearCaptionColour(QPushButton* button)
{
    button->setProperty(kMarker, QVariant());
    button->setProperty(kColour, QVariant());
    button->setProperty(kAlignment, QVariant());
    button->update();
}

GraphicalButton::GraphicalButton(const QString& caption, const QColor& background, QWidget* parent)
    : QPushButton(caption, parent), m_background(background)
{}

bool GraphicalButton::hasCaptionColour() const
{
    return property(kMarker).toBool();
}

QColor GraphicalButton::captionColour() const
{
    if (hasCaptionColour())
        return property(kColour).value<QColor>();
    return palette().color(QPalette::ButtonText);
}

QRect GraphicalButton::captionRect() const
{
    QRect r = rect();
    if (hasCaptionColour()) {
        switch (property(kAlignment).toInt()) {
        case kAlignTop:
            r.setTop(r.top() + 4);
            break;
        case kAlignBottom:
            r.setBottom(r.bottom() - 4);
            break;
        case kAlignCentreShifted:
            r.translate(-1, -1);
            break;
        default:
            break;
        }
    }
    if (isDown())
        r.translate(1, 1);
    return r;
}

void GraphicalButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QPalette face = palette();
    face.setColor(QPalette::Button, m_background);
    qDrawWinButton(&painter, rect(), face, isDown(), &face.brush(QPalette::Button));

    int code = kAlignCentre;
    if (hasCaptionColour()) {
        code = property(kAlignment).toInt();
        if (code == kAlignCentreShifted)
            code = kAlignCentre;
    }
    painter.setPen(captionColour());
    painter.setFont(font());
    painter.drawText(captionRect(), Qt::AlignHCenter | verticalAlignment(code) | Qt::TextSingleLine,
                     text());

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

} // namespace tollvik
