#pragma once

#include "app/frmmemory.h"
#include "app/module2.h"
#include "app/startup.h"
#include "dialogs/filedialogbackend.h"
#include "testsupport.h"

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QList>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

namespace tollvik::test {

// A dialog backend that answers from a queue: a path accepts, an empty string or none cancels.
class ScriptedDialogs : public FileDialogBackend
{
public:
    FileDialogAnswer show(const FileDialogRequest& request) override
    {
        requests.append(request);
        FileDialogAnswer answer;
        answer.fileName = answers.isEmpty() ? QString() : answers.takeFirst();
        answer.apiReturn = answer.fileName.isEmpty() ? 0 : 1;
        answer.fileTitle = answer.fileName.section(QLatin1Char('/'), -1);
        answer.filterIndex = request.filterIndex;
        return answer;
    }

    QStringList answers;
    QList<FileDialogRequest> requests;
};

// The lines of the window's progress log, as it shows them.
inline QStringList logLines(const frmmemory& window)
{
    return window.Text4()->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The slot whose menu box shows the highlight colours; -1 for none.
inline int highlightedSlot(const frmmemory& window)
{
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QPalette palette = window.Text1(slot)->palette();
        if (palette.color(QPalette::Base) == QColor(0x00, 0x00, 0xC0) &&
            palette.color(QPalette::Text) == QColor(0xFF, 0xFF, 0x00))
            return slot;
    }
    return -1;
}

// A drop as the window system delivers it: the drag enters, then the file is dropped.
inline void drop(QWidget* target, const QString& path)
{
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Opens the widget's context menu as a right click does and triggers the item when it is
// enabled; true when it was.
inline bool trigger(QWidget* widget, const QString& text)
{
    Q_EMIT widget->customContextMenuRequested(QPoint(1, 1));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QAction* found = nullptr;
    for (QAction* action : menu ? menu->actions() : QList<QAction*>())
        found = action->text() == text && action->isEnabled() ? action : found;
    if (menu)
        menu->close(); // deleted later, with its actions
    if (found)
        found->trigger();
    return found != nullptr;
}

// A real main window on a temporary program folder, loaded and shown offscreen.
struct WindowFixture
{
    ProgramFolder folder;
    ScriptedDialogs dialogs;
    int beeps = 0;
    std::unique_ptr<frmmemory> window;

    QList<AudioMessage> messages;
    QStringList answers;             // of the folder chooser: a name accepts, none cancels
    QStringList questions;           // asked with Yes and No
    QList<bool> confirmations;       // Yes or No to each question; none left: its default
    QList<QList<QStringList>> lists; // the rows of each list shown to pick from
    QList<int> listAnswers;          // the row picked from each list; none left: -1
    QString converterModule = QStringLiteral(TOLLVIK_CONVERT_MODULE);

    void open(AudioPreview* audio = nullptr)
    {
        AppContext context;
        context.programFolder = folder.path();
        context.converterModule = converterModule;
        context.dialogs = &dialogs;
        context.beep = [this] {
            ++beeps;
        };
        context.showMessage = [this](const AudioMessage& box) {
            messages.append(box);
        };
        context.chooseFolder = [this](const QString&) {
            return answers.isEmpty() ? QString() : answers.takeFirst();
        };
        context.ask = [this](const QString& question, bool yesByDefault) {
            questions.append(question);
            return confirmations.isEmpty() ? yesByDefault : confirmations.takeFirst();
        };
        context.chooseFromList = [this](const QString&, const QList<QStringList>& rows) {
            lists.append(rows);
            return listAnswers.isEmpty() ? -1 : listAnswers.takeFirst();
        };
        window = std::make_unique<frmmemory>(std::move(context));
        window->Form_Load();
        window->attachAudio(audio);
        window->show();
        QApplication::setActiveWindow(window.get());
        QApplication::processEvents();
    }

    // Clicks the button with `answer` queued for the file dialog it opens.
    void click(QPushButton* button, const QString& answer)
    {
        dialogs.answers << answer;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Writes `bytes` as `path` below the program folder and loads it with the archive's Load.
    void loadArchive(const QByteArray& bytes,
                     const QString& path = QStringLiteral("device/voice.chk"))
    {
        QVERIFY(writeAll(folder.file(path), bytes));
        click(window->Load2(), folder.file(path));
        QVERIFY(window->Command5()->isVisible());
    }

    void close()
    {
        if (window)
            window->close();
    }
};

} // namespace tollvik::test
