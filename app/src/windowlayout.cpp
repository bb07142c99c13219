#include "windowlayout.h"

#include "app/module2.h"
#include "artwork.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <array>

namespace tollvik::layout {

using enum Kind;
using enum Face;
using enum Colour;
using enum Show;

namespace {

// clang-format off
//   name           kind            left   top  wide  high  face             background      text            show     caption, tool tip
const std::array<Control, 3> kArchiveRowControls = {{
    {"Command5",    CaptionButton,  1320,  480, 2415,  285, Arial9Bold,      HighlightBox,   None,           Plain,   "Build CUSTOM .Chk", ""},
    {"Text2",       TextBox,        3720,  480, 5595,  285, Arial9Bold,      SoundBox,       SoundText,      Plain,   "", ""},
    {"Load2",       Button,         9300,  480,  795,  315, SansSerif825,    None,           None,           Plain,   "Load", ""},
}};

const std::array<Control, 5> kSlotRowControls = {{
    {"Text1_%1",    TextBox,         120,    0, 2500,  285, Arial9Bold,      MenuBox,        MenuText,       Plain,   "", ""},
    {"Command1_%1", IconButton,     2700,    0,  255,  255, Inherited,       None,           None,           Plain,   "", ""},
    {"Text1_%1",    TextBox,        3000,    0, 1800,  285, Arial9Bold,      SoundBox,       SoundText,      Plain,   "", ""},
    {"Command3_%1", Button,         4860,    0,  300,  255, Inherited,       None,           None,           Plain,   "...", "Get .Ogg file"},
    // The tool tip's "oGG" as users know it.
    {"Command4_%1", Button,         5220,    0,  255,  255, Arial825Bold,    None,           None,           Plain,   "S", "Save Sound as oGG"},
}};

const std::array<Control, 5> kLowerRowControls = {{
    {"Load1",       Button,          360, 6600,  795,  255, SansSerif825,    None,           None,           Plain,   "Load", ""},
    {"Text3",       TextBox,        1200, 6600, 5655,  285, Arial9Bold,      MenuBox,        MenuText,       Plain,   "", ""},
    {"Command7",    CaptionButton,  6840, 6600, 2655,  315, Arial9Bold,      MenuText,       None,           Plain,   "Save modified TTN file", ""},
    {"Text4",       LogBox,          180, 6900, 6075, 2055, Arial825,        LogBackground,  HighlightText,  Plain,   "", ""},
    {"Frame1",      Frame,          6300, 6900, 4575, 2115, Inherited,       SystemMenu,     SystemText,     Filled,  "", ""},
}};

const std::array<Control, 9> kInformationControls = {{
    {"Label3_0",    Label,           120,  660, 4215,  255, Arial825Bold,    SystemMenu,     SoundText,      Filled,  "", ""},
    {"Label3_1",    Label,           120, 1260, 4215,  255, Arial825Bold,    SystemMenu,     SoundText,      Filled,  "", ""},
    {"Label3_2",    Label,           120, 1560, 4215,  255, Arial825Bold,    SystemMenu,     SoundText,      Filled,  "", ""},
    {"Label3_3",    Label,           120,  960, 4215,  255, Arial825Bold,    SystemMenu,     SoundText,      Filled,  "", ""},
    {"Label3_4",    Label,           120,  360, 4215,  255, Arial825Bold,    SystemMenu,     SoundText,      Filled,  "", ""},
    {"Image2",      Picture,        2520,  180, 1950, 1500, Inherited,       None,           None,           Hidden,  "", ""},
    {"Image3",      Picture,        3060,  180, 1065, 1815, Inherited,       None,           None,           Hidden,  "", ""},
    {"Image4",      Picture,        3060,  180, 1065, 1815, Inherited,       None,           None,           Hidden,  "", ""},
    {"Label1",      Label,           420, 1800, 4095,  255, ItalicArial975,  SystemMenu,     MenuText,       Hidden,  "", ""},
}};
// clang-format on

struct Legend
{
    const char* text;
    QColor colour;
};

const std::array<Legend, kLegendCount> kLegend = {{
    {"TTGO 5.201", QColor(0x00, 0x00, 0xC0)},
    {"TTGO 5.0", QColor(0x80, 0x00, 0x80)},
    {"TTN 5.1", QColor(0x00, 0x80, 0x00)},
    {"TTGO 5.202", QColor(0xC0, 0x00, 0x00)},
    {"TTGO 5.1", QColor(0x00, 0x80, 0x80)},
    {"TTGO 5.2", QColor(0x80, 0x40, 0x00)},
    {"TTN 5.0", QColor(0x40, 0x40, 0x40)},
    {"TTN 5.21", QColor(0x00, 0x40, 0x80)},
    {"TTN 5.21a", QColor(0x80, 0x00, 0x40)},
}};

QWidget* make(const Control& control, QWidget* parent)
{
    const QString caption = QString::fromLatin1(control.caption);
    switch (control.kind) {
    case TextBox:
        return new QLineEdit(parent);
    case Button:
        return new QPushButton(caption, parent);
    case IconButton: {
        auto* button = new QPushButton(parent);
        button->setIconSize(QSize(16, 16));
        return button;
    }
    case CaptionButton: {
        auto* button = new GraphicalButton(caption, colour(control.background), parent);
        button->setCursor(actionCursor());
        return button;
    }
    case Label:
    case Picture:
        return new QLabel(parent);
    case LogBox: {
        auto* log = new QPlainTextEdit(parent);
        log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        return log;
    }
    case Frame: {
        // Drawn without the group box's style machinery.
        auto* frame = new QFrame(parent);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        return frame;
    }
    }
    return nullptr;
}

} // namespace

const std::span<const Control> kArchiveRow = kArchiveRowControls;
const std::span<const Control> kLowerRows = kLowerRowControls;
const std::span<const Control> kInformation = kInformationControls;
const std::span<const Control> kSlotControls = kSlotRowControls;

int px(int twips)
{
    return (twips * 2 + 15) / 30;
}

QRect twips(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(left + width) - px(left), px(top + height) - px(top));
}

QColor colour(Colour which)
{
    switch (which) {
    case None:
        break;
    case WindowBackground:
        return QColor(0xC0, 0x40, 0x00);
    case MenuBox:
        return QColor(0xC0, 0xFF, 0xC0);
    case MenuText:
        return QColor(0x00, 0x40, 0x00);
    case HighlightBox:
        return QColor(0x00, 0x00, 0xC0);
    case HighlightText:
        return QColor(0xFF, 0xFF, 0x00);
    case SoundBox:
        return QColor(0xFF, 0xFF, 0xC0);
    case SoundText:
        return QColor(0x00, 0x00, 0xC0);
    case SoundHighlightBox:
        return QColor(0xC0, 0xFF, 0xFF);
    case LogBackground:
        return QColor(0x40, 0x40, 0x40);
    case SystemText:
        return QApplication::palette().color(QPalette::WindowText);
    case SystemBackground:
        return QApplication::palette().color(QPalette::Base);
    case SystemMenu:
        return QApplication::palette().color(QPalette::Window);
    }
    return {};
}

void setColours(QWidget* widget, const QColor& background, const QColor& text)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
}

void setColours(QWidget* widget, Colour background, Colour text)
{
    setColours(widget, colour(background), colour(text));
}

QFont font(Face face)
{
    const auto arial = [](qreal points, bool bold, bool italic) {
        QFont font(QStringLiteral("Arial"));
        font.setPointSizeF(points);
        font.setBold(bold);
        font.setItalic(italic);
        return font;
    };
    switch (face) {
    case Inherited:
        break;
    case Arial825:
        return arial(8.25, false, false);
    case Arial825Bold:
        return arial(8.25, true, false);
    case Arial9Bold:
        return arial(9, true, false);
    case Arial975Bold:
        return arial(9.75, true, false);
    case ItalicArial975:
        return arial(9.75, true, true);
    case SansSerif825: {
        QFont font(QStringLiteral("MS Sans Serif"));
        font.setPointSizeF(8.25);
        return font;
    }
    }
    return {};
}

QList<QWidget*> buildLegend(QWidget* window)
{
    QList<QWidget*> made;
    const QFont legendFont = font(Arial825Bold);
    const int legendWidth = kWindowWidth / kLegendCount;
    for (std::size_t i = 0; i < kLegend.size(); ++i) {
        auto* label = new QLabel(QString::fromLatin1(kLegend[i].text), window);
        label->setObjectName(QStringLiteral("Label2_%1").arg(i));
        label->setFont(legendFont);
        label->setAlignment(Qt::AlignCenter);
        label->setAutoFillBackground(true);
        setColours(label, colour(SystemBackground), kLegend[i].colour);
        const int left = static_cast<int>(i) * legendWidth + 4;
        // The labels stand in one row, staggered by a few twips between 6300 and 6360.
        const int top = px(6300 + static_cast<int>(i % 2) * 60);
        label->setGeometry(left, top, legendWidth - 8, 15);
        made.append(label);
    }
    return made;
}

QList<QWidget*> build(std::span<const Control> controls, QWidget* parent, int left, int top,
                      const QList<int>& nameNumbers)
{
    QList<QWidget*> made;
    for (const Control& control : controls) {
        QWidget* widget = make(control, parent);
        QString name = QString::fromLatin1(control.name);
        if (made.size() < nameNumbers.size())
            name = name.arg(nameNumbers[made.size()]);
        widget->setObjectName(name);
        widget->setGeometry(
            twips(left + control.left, top + control.top, control.width, control.height));
        if (control.face != Inherited)
            widget->setFont(font(control.face));
        if (*control.toolTip != '\0')
            widget->setToolTip(QString::fromLatin1(control.toolTip));
        if (control.show == Filled)
            widget->setAutoFillBackground(true);
        if (control.text != None)
            setColours(widget, control.background, control.text);
        if (control.show == Hidden)
            widget->hide();
        made.append(widget);
    }
    return made;
}

} // namespace tollvik::layout
