#pragma once

#include <QColor>
#include <QPushButton>

namespace tollvik {

// Coloured captions for graphical buttons. A button switched on with SetCaptionColour draws its
// caption in that colour, horizontally centred, at the given vertical alignment, and one pixel
// right and down while it is pressed. Alignment codes: 0 top, 4 centre, 8 bottom, 12 centre
// moved one pixel up and left.
void SetCaptionColour(QPushButton* button, const QColor& colour, int alignment);
// Back to the button's own caption colour.
void ClearCaptionColour(QPushButton* button);

// A flat-faced push button with a background colour of its own and a Windows-style 3D border,
// whose caption honours SetCaptionColour.
class GraphicalButton : public QPushButton
{
    Q_OBJECT

public:
    GraphicalButton(const QString& caption, const QColor& background, QWidget* parent = nullptr);

    [[nodiscard]] bool hasCaptionColour() const;
    [[nodiscard]] QColor captionColour() const;
    // Where the caption is drawn in the current state (moves while pressed).
    [[nodiscard]] QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_background;
};

} // namespace tollvik
