#include "app/frmmemory.h"

#include "app/module2.h"
#include "archive/slotfiles.h"
#include "artwork.h"
#include "core/fileio.h"
#include "core/paths.h"
#include "settings/ini.h"
#include "soundworker.h"
#include "windowlayout.h"
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

// Default menu texts of slots 0 to 18; the others start empty.
const std::array<const char*, 19> kDefaultMenuTexts = {
    "Gatso",     "Gatso 20",   "Gatso 30",  "Gatso 40",  "Gatso 50",  "Gatso 60",  "Gatso 70",
    "Gatso TBA", "Mobile",     "Mobile 20", "Mobile 30", "Mobile 40", "Mobile 50", "Mobile 60",
    "Mobile 70", "Mobile TBA", "Specs",     "Temporary", "Red light",
};

} // namespace

frmmemory::frmmemory(AppContext context, QWidget* parent)
    : QWidget(parent), m_state(std::make_unique<State>(std::move(context))),
      m_worker(std::make_unique<SoundWorker>(this)),
      m_deviceSearch(std::make_unique<SoundWorker>(this))
{
    setWindowTitle(QStringLiteral("Tollvik Alerts 1.0f"));
    setWindowIcon(windowIcon());
    setFixedSize(layout::kWindowWidth, layout::kWindowHeight);
    // The boxes' font while the controls are made, so that no box lays out its text twice; the
    // window's own font (for the controls without one of their own, none shown at start) last.
    setFont(layout::font(layout::Face::Arial9Bold));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, layout::colour(layout::Colour::WindowBackground));
    setPalette(palette);
    buildControls();
    setFont(layout::font(layout::Face::Arial975Bold));
    setTabOrder();
    setAcceptDrops(true);
    for (QWidget* row : {static_cast<QWidget*>(m_text2), static_cast<QWidget*>(m_load2),
                         static_cast<QWidget*>(m_command5), static_cast<QWidget*>(m_text3),
                         static_cast<QWidget*>(m_load1), static_cast<QWidget*>(m_command7)})
        acceptDropsOn(row);
    attachDeviceMenus();
}

frmmemory::~frmmemory() = default;

// The controls, made from the window's layout and wired to what they do.
void frmmemory::buildControls()
{
    const auto take = [](QList<QWidget*> widgets, auto*&... members) {
        qsizetype i = 0;
        ((members = qobject_cast<std::remove_reference_t<decltype(members)>>(widgets[i++])), ...);
    };
    take(layout::build(layout::kArchiveRow, this), m_command5, m_text2, m_load2);
    for (int slot = 0; slot < kSlotCount; ++slot)
        buildSlot(slot);
    const QList<QWidget*> legend = layout::buildLegend(this);
    for (std::size_t i = 0; i < m_label2.size(); ++i)
        m_label2[i] = qobject_cast<QLabel*>(legend[static_cast<qsizetype>(i)]);
    take(layout::build(layout::kLowerRows, this), m_load1, m_text3, m_command7, m_text4, m_frame1);
    const QList<QWidget*> information = layout::build(layout::kInformation, m_frame1);
    for (std::size_t i = 0; i < m_label3.size(); ++i)
        m_label3[i] = qobject_cast<QLabel*>(information[static_cast<qsizetype>(i)]);
    take(information.mid(static_cast<qsizetype>(m_label3.size())), m_image2, m_image3, m_image4,
         m_label1);

    connect(m_command5, &QPushButton::clicked, this, &frmmemory::Command5_Click);
    connect(m_load2, &QPushButton::clicked, this, &frmmemory::Load2_Click);
    connect(m_load1, &QPushButton::clicked, this, &frmmemory::Load1_Click);
    connect(m_command7, &QPushButton::clicked, this, &frmmemory::Command7_Click);
}

void frmmemory::buildSlot(int slot)
{
    const int left = slot / 15 * layout::kSlotColumnWidth;
    const int top = layout::kFirstSlotTop + layout::kSlotRowHeight * (slot % 15);
    const auto index = static_cast<std::size_t>(slot);
    const QList<QWidget*> made = layout::build(layout::kSlotControls, this, left, top,
                                               {slot, slot, slot + kSlotCount, slot, slot});
    QLineEdit* menu = m_text1[index] = qobject_cast<QLineEdit*>(made[0]);
    QPushButton* play = m_command1[index] = qobject_cast<QPushButton*>(made[1]);
    QLineEdit* sound = m_text1[index + kSlotCount] = qobject_cast<QLineEdit*>(made[2]);
    QPushButton* import = m_command3[index] = qobject_cast<QPushButton*>(made[3]);
    QPushButton* exportButton = m_command4[index] = qobject_cast<QPushButton*>(made[4]);
    // Until a slot has been highlighted once, the left column shows the system text colour.
    if (slot < 15)
        layout::setColours(menu, layout::Colour::MenuBox, layout::Colour::SystemText);

    menu->installEventFilter(this);
    sound->installEventFilter(this);
    connect(play, &QPushButton::clicked, this, [this, slot] { Command1_Click(slot); });
    connect(import, &QPushButton::clicked, this, [this, slot] { Command3_Click(slot); });
    connect(exportButton, &QPushButton::clicked, this, [this, slot] { Command4_Click(slot); });
    for (QWidget* widget : made)
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
    SetCaptionColour(m_command5, layout::colour(layout::Colour::SoundBox), 4);
    SetCaptionColour(m_command7, layout::colour(layout::Colour::MenuBox), 4);
    // The default texts, as far as the settings file does not replace them; each box is set once.
    QStringList texts;
    for (std::size_t index = 0; index < std::size_t{kSlotCount}; ++index)
        texts.append(index < kDefaultMenuTexts.size()
                         ? QString::fromLatin1(kDefaultMenuTexts[index])
                         : QString());
    m_state->loadMenuTexts(*this, std::move(texts));
    m_state->loaded = true;
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
        if (info.isDir()) {
            // What a write cut short by a kill left; the file layer's own names only.
            (void)removeStaleTemporaryFiles(folder);
            continue;
        }
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
    layout::setColours(Text1(slot), layout::Colour::MenuBox, layout::Colour::MenuText);
    layout::setColours(Text1(slot + kSlotCount), layout::Colour::SoundBox,
                       layout::Colour::SoundText);
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
    layout::setColours(Text1(slot), layout::Colour::HighlightBox, layout::Colour::HighlightText);
    layout::setColours(Text1(slot + kSlotCount), layout::Colour::SoundHighlightBox,
                       layout::Colour::SystemText);
    if (m_state->archiveLoaded)
        showSlotButtons(slot);
    m_state->HighlightedSlot = static_cast<qint16>(slot);
}

void frmmemory::setSoundBoxText(int slot, const QString& text)
{
    Text1(slot + kSlotCount)->setText(text);
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
    painter.setPen(layout::colour(layout::Colour::MenuBox));
    for (const int x : {1320, 6780})
        painter.drawLine(layout::px(x), layout::px(1080), layout::px(x), layout::px(6720));
    painter.setPen(layout::colour(layout::Colour::SoundBox));
    for (const int x : {3840, 9240})
        painter.drawLine(layout::px(x), layout::px(600), layout::px(x), layout::px(6180));
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
    m_deviceSearch->stop();
    m_state->releaseAudio();
    ClearCaptionColour(m_command7);
    ClearCaptionColour(m_command5);
    keepMenuTexts();
    removeWorkingCopies();
    convert::removeConvertedSounds(programFolder());
}

// The texts typed since the last save are kept for the next start (the save stores them too).
void frmmemory::keepMenuTexts()
{
    if (!m_state->loaded)
        return;
    std::array<QString, kSlotCount> texts;
    for (int slot = 0; slot < kSlotCount; ++slot)
        texts[static_cast<std::size_t>(slot)] = Text1(slot)->text();
    const Result<std::array<QString, kSlotCount>> stored =
        readMenuTexts(settingsFilePath(programFolder()));
    if (stored && stored.value() == texts)
        return;
    (void)PutINIData(programFolder(), texts, *this); // a failure has logged its line
}

void frmmemory::removeWorkingCopies()
{
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
    // Those of every archive loaded, whatever their names: only files in Temp/ itself.
    for (const QString& copy : std::as_const(m_state->archiveWorkingCopies)) {
        const QFileInfo info(copy);
        if (QFileInfo(info.absolutePath()) == QFileInfo(temp) && Exists(copy))
            QFile::remove(copy);
    }
}

bool frmmemory::soundWorkBusy() const
{
    return m_worker->busy();
}

bool frmmemory::refusedWhileConverting()
{
    if (!soundWorkBusy())
        return false;
    AddText(QStringLiteral("....A sound is being converted; try again when it is done."));
    beep();
    return true;
}

} // namespace tollvik
