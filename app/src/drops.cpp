// Files dropped on the window: on a slot, a sound for that slot; several files or a folder on
// the grid, sounds matched to slots by their names; on the archive or navigator row, that file
// loaded as the row's Load button loads it, without the dialog.
#include "app/frmmemory.h"
#include "app/module2.h"
#include "windowstate.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>

namespace tollvik {
namespace {

QStringList localFiles(const QMimeData* mime)
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}

// The files of the drop, a dropped folder standing for the files in it.
QStringList expandFolders(const QStringList& paths)
{
    QStringList files;
    for (const QString& path : paths) {
        if (!QFileInfo(path).isDir()) {
            files.append(path);
            continue;
        }
        for (const QFileInfo& file : QDir(path).entryInfoList(QDir::Files, QDir::Name))
            files.append(file.filePath());
    }
    return files;
}

} // namespace

void frmmemory::acceptDropsOn(QWidget* widget)
{
    widget->setAcceptDrops(true);
    widget->installEventFilter(this);
}

frmmemory::DropTarget frmmemory::dropTargetOf(const QObject* widget) const
{
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (widget == Text1(slot) || widget == Text1(slot + kSlotCount) ||
            widget == Command1(slot) || widget == Command3(slot) || widget == Command4(slot))
            return {DropTarget::Where::Slot, slot};
    }
    if (widget == m_text2 || widget == m_load2 || widget == m_command5)
        return {DropTarget::Where::ArchiveRow};
    if (widget == m_text3 || widget == m_load1 || widget == m_command7)
        return {DropTarget::Where::NavigatorRow};
    if (widget == this)
        return {DropTarget::Where::Grid};
    return {};
}

bool frmmemory::handleDrop(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const DropTarget target = dropTargetOf(watched);
    const QStringList paths = localFiles(drop->mimeData());
    if (paths.isEmpty() || target.where == DropTarget::Where::None)
        return false;
    drop->acceptProposedAction();
    if (type == QEvent::Drop)
        dropFiles(target, paths);
    return true;
}

void frmmemory::dropFiles(const DropTarget& target, const QStringList& paths)
{
    const bool single = paths.size() == 1 && !QFileInfo(paths.first()).isDir();
    switch (target.where) {
    case DropTarget::Where::ArchiveRow:
    case DropTarget::Where::NavigatorRow:
        if (paths.size() == 1 && QFileInfo(paths.first()).isDir()) {
            searchDeviceFolder(paths.first()); // a device's folder: as "Load from a device…"
        } else if (!single) {
            AddText(QStringLiteral("Drop one file on the row to load it."));
            beep();
        } else if (target.where == DropTarget::Where::ArchiveRow) {
            loadArchiveFrom(paths.first());
        } else {
            loadNavigatorFrom(paths.first());
        }
        return;
    case DropTarget::Where::Slot:
        if (single) {
            importAnySound(target.slot, paths.first());
            return;
        }
        [[fallthrough]];
    case DropTarget::Where::Grid:
        importSlotFiles(expandFolders(paths));
        return;
    case DropTarget::Where::None:
        return;
    }
}

void frmmemory::dragEnterEvent(QDragEnterEvent* event)
{
    if (!handleDrop(this, event))
        QWidget::dragEnterEvent(event);
}

void frmmemory::dragMoveEvent(QDragMoveEvent* event)
{
    if (!handleDrop(this, event))
        QWidget::dragMoveEvent(event);
}

void frmmemory::dropEvent(QDropEvent* event)
{
    if (!handleDrop(this, event))
        QWidget::dropEvent(event);
}

} // namespace tollvik
