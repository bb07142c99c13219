#include "panelcache.h"

#include <QPainter>
#include <QStyleOption>

namespace tollvik {

void PanelCacheStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const
{
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    if (element != PE_PanelLineEdit || frame == nullptr || option->rect.isEmpty() ||
        option->palette.base().style() != Qt::SolidPattern) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const QPalette& colours = option->palette;
    const qreal ratio = painter->device()->devicePixelRatio();
    const Key key{option->rect.width(),
                  option->rect.height(),
                  uint(option->state),
                  frame->lineWidth,
                  colours.color(QPalette::Base).rgba(),
                  colours.color(QPalette::Window).rgba(),
                  colours.color(QPalette::Highlight).rgba(),
                  colours.color(QPalette::Shadow).rgba(),
                  ratio};
    QPixmap& panel = m_panels[key];
    if (panel.isNull()) {
        panel = QPixmap(option->rect.size() * ratio);
        panel.setDevicePixelRatio(ratio);
        panel.fill(Qt::transparent);
        QStyleOptionFrame atOrigin(*frame);
        atOrigin.rect = QRect(QPoint(0, 0), option->rect.size());
        QPainter onPanel(&panel);
        QProxyStyle::drawPrimitive(element, &atOrigin, &onPanel, widget);
    }
    painter->drawPixmap(option->rect.topLeft(), panel);
}

} // namespace tollvik
