#pragma once

#include <QPixmap>
#include <QProxyStyle>
#include <map>
#include <tuple>

namespace tollvik {

// The window's style: Fusion, with the panels of its 60-odd text boxes drawn once per look and
// size and then copied. Fusion draws each panel as an antialiased rounded rectangle, which made
// up most of the first frame's painting; the copies are the same pixels.
class PanelCacheStyle : public QProxyStyle
{
public:
    explicit PanelCacheStyle(QStyle* base) : QProxyStyle(base) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    // Everything a panel's pixels depend on: its size, state, frame width, the colours it is
    // drawn with (base, window, highlight, shadow) and the device's pixel ratio.
    using Key = std::tuple<int, int, uint, int, QRgb, QRgb, QRgb, QRgb, qreal>;
    mutable std::map<Key, QPixmap> m_panels; // used on the GUI thread only
};

} // namespace tollvik
