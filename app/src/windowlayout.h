#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QRect>
#include <span>

class QWidget;

// The main window as data: its controls with their names, kinds, places, fonts, colours and
// captions, and the one routine that makes them. What the controls do is the window's business.
namespace tollvik::layout {

// The window's fixed size in pixels.
constexpr int kWindowWidth = 728;
constexpr int kWindowHeight = 601;

// 15 twips are one pixel. Edges are rounded separately so that neighbours stay aligned.
[[nodiscard]] int px(int twips);
[[nodiscard]] QRect twips(int left, int top, int width, int height);

// The window's colours. The System ones follow the desktop's palette.
enum class Colour
{
    None, // the control keeps its palette
    WindowBackground,
    MenuBox,
    MenuText,
    HighlightBox,
    HighlightText,
    SoundBox,
    SoundText,
    SoundHighlightBox,
    LogBackground,
    SystemText,
    SystemBackground,
    SystemMenu,
};
[[nodiscard]] QColor colour(Colour which);
// Background and text of a box, a label or a frame.
void setColours(QWidget* widget, Colour background, Colour text);
void setColours(QWidget* widget, const QColor& background, const QColor& text);

enum class Face
{
    Inherited, // the window's font
    Arial825,
    Arial825Bold,
    Arial9Bold,
    Arial975Bold,
    ItalicArial975, // bold too
    SansSerif825,
};
[[nodiscard]] QFont font(Face face);

enum class Kind
{
    TextBox,
    Button,
    IconButton,    // shows a 16 x 16 picture
    CaptionButton, // a GraphicalButton: `background` is its face, the action cursor over it
    Label,
    LogBox,  // the progress log: scroll bar always shown
    Frame,   // a caption-less group box: an etched frame
    Picture, // a label that shows a picture, hidden until it has one
};

enum class Show
{
    Plain,
    Filled, // paints its own background
    Hidden, // until the window shows it
};

// One control. A slot's controls are placed from the slot's corner.
struct Control
{
    const char* name;
    Kind kind;
    int left, top, width, height; // twips
    Face face;
    Colour background, text; // text None: the control keeps its palette
    Show show;
    const char* caption; // "" for none
    const char* toolTip; // "" for none
};

// The archive row above the slots; the navigator row, the log and the information frame below
// them; the contents of the information frame (Label3_0 .. Label3_4 by index: duration, format,
// byte rate, bit rate, file).
extern const std::span<const Control> kArchiveRow;
extern const std::span<const Control> kLowerRows;
extern const std::span<const Control> kInformation;

// The controls of one slot: menu box, play button, sound box, import button, export button.
// The sound box takes the name of index slot + 30.
extern const std::span<const Control> kSlotControls;
constexpr int kSlotColumnWidth = 5400; // twips, 15 slots per column
constexpr int kSlotRowHeight = 360;
constexpr int kFirstSlotTop = 960;

// The legend row below the slots (Label2_0 .. Label2_8): the supported navigator versions, left
// to right, each in its own colour.
constexpr int kLegendCount = 9;
QList<QWidget*> buildLegend(QWidget* window);

// Makes the controls in order (so that the later ones lie above), offset by (left, top) twips;
// `nameNumbers` fills the %1 of each name in turn, when given.
QList<QWidget*> build(std::span<const Control> controls, QWidget* parent, int left = 0, int top = 0,
                      const QList<int>& nameNumbers = {});

} // namespace tollvik::layout
