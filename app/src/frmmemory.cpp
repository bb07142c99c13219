#include "app/frmmemory.h"

#include "app/module2.h"
#include "archive/slotfiles.h"
#include "artwork.h"
#include "core/paths.h"
#include "soundworker.h"
#include "windowstate.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

namespace tollvik {
namespace {

// 15 twips are one pixel. Edges are rounded separately so that neighbours stay aligned.
int px(int twips)
{
    return (twips * 2 + 15) / 30;
}

QRect twips(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(left + width) - px(left), px(top + height) - px(top));
}

QFont arial(qreal points, bool bold, bool italic = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

QFont msSansSerif(qreal points)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(points);
    return font;
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

const QColor kWindowBackground(0xC0, 0x40, 0x00);
const QColor kMenuBox(0xC0, 0xFF, 0xC0);
const QColor kMenuText(0x00, 0x40, 0x00);
const QColor kHighlightBox(0x00, 0x00, 0xC0);
const QColor kHighlightText(0xFF, 0xFF, 0x00);
const QColor kSoundBox(0xFF, 0xFF, 0xC0);
const QColor kSoundText(0x00, 0x00, 0xC0);
const QColor kSoundHighlightBox(0xC0, 0xFF, 0xFF);
const QColor kLogBox(0x40, 0x40, 0x40);

// The system colours the window's design refers to.
QColor systemWindowText()
{
    return QApplication::palette().color(QPalette::WindowText);
}
QColor systemWindowBackground()
{
    return QApplication::palette().color(QPalette::Base);
}
QColor systemMenu()
{
    return QApplication::palette().color(QPalette::Window);
}

struct Legend
{
    const char* text;
    QColor colour;
};

// The supported navigator versions, left to right as the legend row shows them.
const std::array<Legend, 9> kLegend = {{
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

// Default menu texts of slots 0 to 18; the others start empty.
const std::array<const char*, 19> kDefaultMenuTexts = {
    "Gatso",     "Gatso 20",   "Gatso 30",  "Gatso 40",  "Gatso 50",  "Gatso 60",  "Gatso 70",
    "Gatso TBA", "Mobile",     "Mobile 20", "Mobile 30", "Mobile 40", "Mobile 50", "Mobile 60",
    "Mobile 70", "Mobile TBA", "Specs",     "Temporary", "Red light",
};

} // namespace

frmmemory::frmmemory(AppContext context, QWidget* parent)
    : QWidget(parent), m_state(std::make_unique<State>(std::move(context))),
      m_worker(std::make_unique<SoundWorker>(this))
{
    setWindowTitle(QStringLiteral("Tollvik Alerts 1.0f"));
    setWindowIcon(windowIcon());
    setFixedSize(728, 601);
    // The boxes' font while the controls are made, so that no box lays out its text twice; the
    // window's own font (for the controls without one of their own, none shown at start) last.
    setFont(arial(9, true));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kWindowBackground);
    setPalette(palette);
    buildControls();
    setFont(arial(9.75, true));
    setTabOrder();
    setAcceptDrops(true);
    for (QWidget* row : {static_cast<QWidget*>(m_text2), static_cast<QWidget*>(m_load2),
                         static_cast<QWidget*>(m_command5), static_cast<QWidget*>(m_text3),
                         static_cast<QWidget*>(m_load1), static_cast<QWidget*>(m_command7)})
        acceptDropsOn(row);
}

frmmemory::~frmmemory() = default;

void frmmemory::buildControls()
{
    m_command5 = new GraphicalButton(QStringLiteral("Build CUSTOM .Chk"), kHighlightBox, this);
    m_command5->setObjectName(QStringLiteral("Command5"));
    m_command5->setGeometry(twips(1320, 480, 2415, 285));
    m_command5->setFont(arial(9, true));
    m_command5->setCursor(actionCursor());
    connect(m_command5, &QPushButton::clicked, this, &frmmemory::Command5_Click);

    m_text2 = new QLineEdit(this);
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text2->setGeometry(twips(3720, 480, 5595, 285));
    m_text2->setFont(arial(9, true));
    setColours(m_text2, kSoundBox, kSoundText);

    m_load2 = new QPushButton(QStringLiteral("Load"), this);
    m_load2->setObjectName(QStringLiteral("Load2"));
    m_load2->setGeometry(twips(9300, 480, 795, 315));
    m_load2->setFont(msSansSerif(8.25));
    connect(m_load2, &QPushButton::clicked, this, &frmmemory::Load2_Click);

    for (int slot = 0; slot < kSlotCount; ++slot)
        buildSlot(slot);

    const QFont legendFont = arial(8.25, true);
    const int legendWidth = 728 / static_cast<int>(kLegend.size());
    for (std::size_t i = 0; i < kLegend.size(); ++i) {
        auto* label = new QLabel(QString::fromLatin1(kLegend[i].text), this);
        label->setObjectName(QStringLiteral("Label2_%1").arg(i));
        label->setFont(legendFont);
        label->setAlignment(Qt::AlignCenter);
        label->setAutoFillBackground(true);
        setColours(label, systemWindowBackground(), kLegend[i].colour);
        const int left = static_cast<int>(i) * legendWidth + 4;
        // The labels stand in one row, staggered by a few twips between 6300 and 6360.
        const int top = px(6300 + static_cast<int>(i % 2) * 60);
        label->setGeometry(left, top, legendWidth - 8, 15);
        m_label2[i] = label;
    }

    m_load1 = new QPushButton(QStringLiteral("Load"), this);
    m_load1->setObjectName(QStringLiteral("Load1"));
    m_load1->setGeometry(twips(360, 6600, 795, 255));
    m_load1->setFont(msSansSerif(8.25));
    connect(m_load1, &QPushButton::clicked, this, &frmmemory::Load1_Click);

    m_text3 = new QLineEdit(this);
    m_text3->setObjectName(QStringLiteral("Text3"));
    m_text3->setGeometry(twips(1200, 6600, 5655, 285));
    m_text3->setFont(arial(9, true));
    setColours(m_text3, kMenuBox, kMenuText);

    m_command7 = new GraphicalButton(QStringLiteral("Save modified TTN file"), kMenuText, this);
    m_command7->setObjectName(QStringLiteral("Command7"));
    m_command7->setGeometry(twips(6840, 6600, 2655, 315));
    m_command7->setFont(arial(9, true));
    m_command7->setCursor(actionCursor());
    connect(m_command7, &QPushButton::clicked, this, &frmmemory::Command7_Click);

    m_text4 = new QPlainTextEdit(this);
    m_text4->setObjectName(QStringLiteral("Text4"));
    m_text4->setGeometry(twips(180, 6900, 6075, 2055));
    m_text4->setFont(arial(8.25, false));
    m_text4->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setColours(m_text4, kLogBox, kHighlightText);

    // A caption-less group box: an etched frame, drawn without the group box's style machinery.
    m_frame1 = new QFrame(this);
    m_frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(twips(6300, 6900, 4575, 2115));
    m_frame1->setAutoFillBackground(true);
    setColours(m_frame1, systemMenu(), systemWindowText());

    // Tops of the information labels by index: duration, format, byte rate, bit rate, file.
    const std::array<int, 5> labelTops = {660, 1260, 1560, 960, 360};
    for (int i = 0; i < 5; ++i) {
        auto* label = new QLabel(m_frame1);
        label->setObjectName(QStringLiteral("Label3_%1").arg(i));
        label->setGeometry(twips(120, labelTops[static_cast<std::size_t>(i)], 4215, 255));
        label->setFont(arial(8.25, true));
        label->setAutoFillBackground(true);
        setColours(label, systemMenu(), kSoundText);
        m_label3[static_cast<std::size_t>(i)] = label;
    }

    m_image2 = new QLabel(m_frame1);
    m_image2->setObjectName(QStringLiteral("Image2"));
    m_image2->setGeometry(twips(2520, 180, 1950, 1500));
    m_image3 = new QLabel(m_frame1);
    m_image3->setObjectName(QStringLiteral("Image3"));
    m_image3->setGeometry(twips(3060, 180, 1065, 1815));
    m_image4 = new QLabel(m_frame1);
    m_image4->setObjectName(QStringLiteral("Image4"));
    m_image4->setGeometry(twips(3060, 180, 1065, 1815));
    // The pictures are drawn when a navigator file first shows one (showDevicePicture).
    for (QLabel* image : {m_image2, m_image3, m_image4})
        image->hide();

    m_label1 = new QLabel(m_frame1);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(twips(420, 1800, 4095, 255));
    m_label1->setFont(arial(9.75, true, true));
    setColours(m_label1, systemMenu(), kMenuText);
    m_label1->hide();
}

void frmmemory::buildSlot(int slot)
{
    const int column = slot / 15;
    const int row = slot % 15;
    const int top = 960 + 360 * row;
    const int x0 = column * 5400;
    const auto index = static_cast<std::size_t>(slot);

    auto* menu = new QLineEdit(this);
    menu->setObjectName(QStringLiteral("Text1_%1").arg(slot));
    menu->setGeometry(twips(x0 + 120, top, 2500, 285));
    menu->setFont(arial(9, true));
    // Until a slot has been highlighted once, the left column shows the system text colour.
    setColours(menu, kMenuBox, slot < 15 ? systemWindowText() : kMenuText);
    menu->installEventFilter(this);
    m_text1[index] = menu;

    auto* play = new QPushButton(this);
    play->setObjectName(QStringLiteral("Command1_%1").arg(slot));
    play->setGeometry(twips(x0 + 2700, top, 255, 255));
    play->setIconSize(QSize(16, 16));
    connect(play, &QPushButton::clicked, this, [this, slot] { Command1_Click(slot); });
    m_command1[index] = play;

    auto* sound = new QLineEdit(this);
    sound->setObjectName(QStringLiteral("Text1_%1").arg(slot + kSlotCount));
    sound->setGeometry(twips(x0 + 3000, top, 1800, 285));
    sound->setFont(arial(9, true));
    setColours(sound, kSoundBox, kSoundText);
    sound->installEventFilter(this);
    m_text1[index + kSlotCount] = sound;

    auto* import = new QPushButton(QStringLiteral("..."), this);
    import->setObjectName(QStringLiteral("Command3_%1").arg(slot));
    import->setGeometry(twips(x0 + 4860, top, 300, 255));
    import->setToolTip(QStringLiteral("Get .Ogg file"));
    connect(import, &QPushButton::clicked, this, [this, slot] { Command3_Click(slot); });
    m_command3[index] = import;

    auto* exportButton = new QPushButton(QStringLiteral("S"), this);
    exportButton->setObjectName(QStringLiteral("Command4_%1").arg(slot));
    exportButton->setGeometry(twips(x0 + 5220, top, 255, 255));
    exportButton->setFont(arial(8.25, true));
    exportButton->setToolTip(QStringLiteral("Save Sound as oGG"));
    connect(exportButton, &QPushButton::clicked, this, [this, slot] { Command4_Click(slot); });
    m_command4[index] = exportButton;

    for (QWidget* widget :
         {static_cast<QWidget*>(menu), static_cast<QWidget*>(play), static_cast<QWidget*>(sound),
          static_cast<QWidget*>(import), static_cast<QWidget*>(exportButton)})
        acceptDropsOn(widget);
    attachSlotMenu(sound, slot);
    attachSlotMenu(import, slot);
}

void frmmemory::setTabOrder()
{
    QList<QWidget*> order;
    for (int slot = 0; slot < kSlotCount; ++slot)
        order.append(Text1(slot));
    for (int slot = 0; slot < kSlotCount; ++slot)
        order.append(Command1(slot));
    order.append(m_text2);
    for (int slot = 14; slot >= 0; --slot)
        order.append(Text1(slot + kSlotCount));
    for (int slot = 29; slot >= 15; --slot)
        order.append(Text1(slot + kSlotCount));
    for (int slot = 0; slot < kSlotCount; ++slot)
        order.append(Command3(slot));
    for (int slot = 0; slot < kSlotCount; ++slot)
        order.append(Command4(slot));
    order << m_load2 << m_command5 << m_load1 << m_text3 << m_command7 << m_text4;
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void frmmemory::Form_Load()
{
    m_state->archiveLoaded = false;
    m_text2->clear();
    SetCaptionColour(m_command5, kSoundBox, 4);
    SetCaptionColour(m_command7, kMenuBox, 4);
    // The default texts, as far as the settings file does not replace them; each box is set once.
    QStringList texts;
    for (std::size_t index = 0; index < std::size_t{kSlotCount}; ++index)
        texts.append(index < kDefaultMenuTexts.size()
                         ? QString::fromLatin1(kDefaultMenuTexts[index])
                         : QString());
    m_state->loadMenuTexts(*this, std::move(texts));
    const QPixmap speaker = speakerPicture();
    for (int row = 0; row < 15; ++row) {
        for (const int slot : {row, row + 15}) {
            Command1(slot)->setIcon(speaker);
            Command1(slot)->hide();
            Command3(slot)->hide();
            Command4(slot)->hide();
            Text1(slot + kSlotCount)->clear();
            Text1(slot + kSlotCount)->setReadOnly(true);
        }
    }
    for (QLabel* label : m_label3)
        label->clear();
    m_command7->hide();
    m_command5->hide();
    m_text2->setReadOnly(true);
    m_text3->setReadOnly(true);
    ensureWorkingFolders();
    Text1(0)->setFocus();
}

void frmmemory::ensureWorkingFolders()
{
    for (const QString& name : {QStringLiteral("Temp"), QStringLiteral("Modified")}) {
        const QString folder = programFolder() + name;
        const QFileInfo info(folder);
        if (info.isDir())
            continue;
        if (info.exists()) {
            AddText(QStringLiteral("The working folder %1 is a file, not a folder: "
                                   "remove it so that the program can use the folder.")
                        .arg(folder));
        } else if (QDir().mkpath(folder)) {
            AddText(QStringLiteral("Created the missing working folder %1.").arg(folder));
        } else {
            AddText(QStringLiteral("Could not create the working folder %1: "
                                   "loading and saving need it.")
                        .arg(folder));
        }
    }
}

void frmmemory::AddText(const QString& text)
{
    QTextCursor cursor = m_text4->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text + QLatin1Char('\n'));
    m_text4->setTextCursor(cursor);
    m_text4->ensureCursorVisible();
}

QStringList frmmemory::logLines() const
{
    QStringList lines = m_text4->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

bool frmmemory::archiveLoaded() const
{
    return m_state->archiveLoaded;
}

qint16 frmmemory::HighlightedSlot() const
{
    return m_state->HighlightedSlot;
}

QString frmmemory::programFolder() const
{
    return m_state->context.programFolder;
}

bool frmmemory::eventFilter(QObject* watched, QEvent* event)
{
    if (handleDrop(watched, event))
        return true;
    if (event->type() == QEvent::FocusIn) {
        // The figures of the sound being previewed stay when the focus only comes back to the
        // box it was in: the window activated again, a menu or a dialog closed.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        const bool entered =
            reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
        for (int index = 0; index < 2 * kSlotCount; ++index) {
            if (watched != Text1(index))
                continue;
            if (entered)
                for (QLabel* label : m_label3)
                    label->clear();
            Hilight(index < kSlotCount ? index : index - kSlotCount);
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmmemory::restoreSlot(int slot)
{
    setColours(Text1(slot), kMenuBox, kMenuText);
    setColours(Text1(slot + kSlotCount), kSoundBox, kSoundText);
    Command1(slot)->hide();
    Command3(slot)->hide();
    Command4(slot)->hide();
}

void frmmemory::showSlotButtons(int slot)
{
    Command1(slot)->show();
    Command3(slot)->show();
    Command4(slot)->setVisible(!isExternalSound(Text1(slot + kSlotCount)->text()));
}

void frmmemory::Hilight(int slot)
{
    if (m_state->HighlightedSlot >= 0)
        restoreSlot(m_state->HighlightedSlot);
    setColours(Text1(slot), kHighlightBox, kHighlightText);
    setColours(Text1(slot + kSlotCount), kSoundHighlightBox, systemWindowText());
    if (m_state->archiveLoaded)
        showSlotButtons(slot);
    m_state->HighlightedSlot = static_cast<qint16>(slot);
}

void frmmemory::setSoundBoxText(int slot, const QString& text)
{
    QLineEdit* box = Text1(slot + kSlotCount);
    box->setReadOnly(false);
    box->setText(text);
    box->setReadOnly(true);
}

void frmmemory::beep()
{
    if (m_state->context.beep)
        m_state->context.beep();
    else
        QApplication::beep();
}

void frmmemory::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(kMenuBox);
    for (const int x : {1320, 6780})
        painter.drawLine(px(x), px(1080), px(x), px(6720));
    painter.setPen(kSoundBox);
    for (const int x : {3840, 9240})
        painter.drawLine(px(x), px(600), px(x), px(6180));
}

void frmmemory::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Slot 0's menu box has the focus when the window first appears, so slot 0 is highlighted
    // from the start, also where the window system activates the window late or never.
    if (m_state->HighlightedSlot < 0)
        Hilight(0);
}

void frmmemory::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmmemory::Form_Unload()
{
    if (m_state->unloaded)
        return;
    m_state->unloaded = true;
    m_worker->stop();
    m_state->releaseAudio();
    ClearCaptionColour(m_command7);
    ClearCaptionColour(m_command5);
    const QString temp = programFolder() + QStringLiteral("Temp") + nativeSeparator();
    const QString navigatorCopy = temp + m_state->navigatorWorkingName();
    if (Exists(navigatorCopy))
        QFile::remove(navigatorCopy);
    // The archive working copy is matched without regard to letter case, as on the file
    // systems the navigator's files come from.
    const QStringList entries = QDir(temp).entryList(QDir::Files | QDir::Hidden);
    for (const QString& entry : entries) {
        if (entry.compare(QStringLiteral("Data.Chk"), Qt::CaseInsensitive) == 0 &&
            Exists(temp + entry))
            QFile::remove(temp + entry);
    }
    convert::removeConvertedSounds(programFolder());
}

bool frmmemory::soundWorkBusy() const
{
    return m_worker->busy();
}

} // namespace tollvik
