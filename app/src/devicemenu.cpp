// The device round trip in the window: both files loaded from a device's folder in one action,
// each result written back over its original with a backup, and the original put back.
#include "app/frmmemory.h"
#include "device/device.h"
#include "dialogs/folderdialog.h"
#include "soundworker.h"
#include "windowstate.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <exception>
#include <new>

namespace tollvik {
namespace {

// The busy cursor for as long as the guard lives.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// A found file as the list shows it: the path below the searched folder, the build's caption or
// the archive's entry count, the size and the date.
QStringList rowOf(const device::FoundFile& file)
{
    const QLocale locale;
    return {QDir::toNativeSeparators(file.relativePath), file.description(),
            locale.toString(file.size) + QStringLiteral(" bytes"),
            file.modified.toString(QStringLiteral("yyyy-MM-dd hh:mm"))};
}

// The list dialog: one row chosen, or none.
int pickRow(QWidget* owner, const QString& title, const QList<QStringList>& rows)
{
    QDialog dialog(owner);
    dialog.setWindowTitle(title);
    auto* list = new QTreeWidget(&dialog);
    list->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Contents"),
                           QStringLiteral("Size"), QStringLiteral("Date")});
    list->setRootIsDecorated(false);
    for (const QStringList& row : rows)
        list->addTopLevelItem(new QTreeWidgetItem(row));
    list->setCurrentItem(list->topLevelItem(0));
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QTreeWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);
    dialog.resize(640, 300);
    if (dialog.exec() != QDialog::Accepted || !list->currentItem())
        return -1;
    return list->indexOfTopLevelItem(list->currentItem());
}

// A result that was there before its row's file was loaded belongs to an earlier file, maybe of
// another device, and is never offered for this one. The margin covers file systems whose
// clock lags the program's by a tick.
bool madeSince(const QString& result, const QDateTime& loadedAt)
{
    const QFileInfo info(result);
    return info.isFile() && loadedAt.isValid() &&
           info.lastModified().toUTC() >= loadedAt.addSecs(-2);
}

// One reason for what a search threw: the search itself reports its refusals as results.
QString reasonOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::bad_alloc&) {
        return QStringLiteral("it ran out of memory");
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("it failed unexpectedly");
    }
}

} // namespace

void frmmemory::attachDeviceMenus()
{
    const std::array<std::pair<QWidget*, DeviceRow>, 4> widgets = {{{m_load1, DeviceRow::Navigator},
                                                                    {m_text3, DeviceRow::Navigator},
                                                                    {m_load2, DeviceRow::Archive},
                                                                    {m_text2, DeviceRow::Archive}}};
    for (const auto& [widget, row] : widgets) {
        widget->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(widget, &QWidget::customContextMenuRequested, this, [this, widget, row](QPoint at) {
            deviceMenu(row)->popup(widget->mapToGlobal(at));
        });
    }
}

QMenu* frmmemory::deviceMenu(DeviceRow row)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool writable = canWriteToDevice(row);
    const QString original = deviceFilesOf(row).second;
    const bool restorable =
        !original.isEmpty() &&
        !device::newestBackup(original, device::backupRootOf(programFolder())).isEmpty();
    const auto add = [&](const QString& text, bool enabled, auto&& handler) {
        QAction* action = menu->addAction(text);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, handler);
    };
    add(QStringLiteral("Load from a device\u2026"), true, [this] { loadFromDevice(); });
    add(QStringLiteral("Write to the device\u2026"), writable, [this, row] { writeToDevice(row); });
    add(QStringLiteral("Restore the original\u2026"), restorable,
        [this, row] { restoreOnDevice(row); });
    return menu;
}

void frmmemory::loadFromDevice()
{
    if (m_deviceSearch->busy()) {
        beep();
        return;
    }
    // The volumes are searched for the one that holds the files on the worker, and the chooser
    // opens once that search is over.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    (void)m_deviceSearch->start(
        [this](const std::atomic<bool>*, const SoundWorker::Post& post) {
            const QString start = device::deviceStartFolder();
            post([this, start] { m_state->deviceStartFolder = start; });
        },
        [this] {
            QApplication::restoreOverrideCursor();
            if (!m_state->unloaded)
                chooseDeviceFolder();
        },
        [](std::exception_ptr) {}); // the chooser opens on the home folder instead
}

void frmmemory::chooseDeviceFolder()
{
    const QString start =
        m_state->deviceStartFolder.isEmpty() ? QDir::homePath() : m_state->deviceStartFolder;
    const QString folder = chooseExistingFolder(
        fileDialogs(), this, QStringLiteral("Load from a device"), start, device::deviceVolumes());
    if (!folder.isEmpty())
        searchDeviceFolder(folder);
}

void frmmemory::searchDeviceFolder(const QString& folder)
{
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const bool started = m_deviceSearch->start(
        [this, folder](const std::atomic<bool>* stop, const SoundWorker::Post& post) {
            // The worker hands the window its result and nothing else.
            Result<device::ScanResult> found = device::scanFolder(folder, {}, stop);
            post([this, folder, found = std::move(found)] {
                if (m_state->unloaded)
                    return;
                if (found)
                    takeFoundFiles(found.value(), folder);
                else if (found.refusal() != Refusal::Cancelled)
                    AddText(QStringLiteral("Cannot search %1: %2").arg(folder, found.error()));
            });
        },
        [] { QApplication::restoreOverrideCursor(); },
        [this, folder](std::exception_ptr error) {
            AddText(QStringLiteral("Cannot search %1: %2").arg(folder, reasonOf(error)));
        });
    if (!started) { // a search is running already
        QApplication::restoreOverrideCursor();
        beep();
    }
}

void frmmemory::takeFoundFiles(const device::ScanResult& found, const QString& folder)
{
    QList<device::FoundFile> navigators;
    QList<device::FoundFile> archives;
    for (const device::FoundFile& file : found.found)
        (file.kind == device::FoundKind::Navigator ? navigators : archives).append(file);
    if (found.limitReached)
        AddText(QStringLiteral("The search of %1 stopped after %2 files; choose the folder that "
                               "holds the files.")
                    .arg(folder)
                    .arg(found.filesLookedAt));
    if (navigators.isEmpty() && archives.isEmpty()) {
        AddText(QStringLiteral("No navigator file or sound archive found in %1").arg(folder));
        return;
    }
    const auto pick = [this, &folder](const QList<device::FoundFile>& files,
                                      const QString& what) -> QString {
        if (files.size() <= 1)
            return files.isEmpty() ? QString() : files.constFirst().path;
        QList<QStringList> rows;
        for (const device::FoundFile& file : files)
            rows.append(rowOf(file));
        const QString title = QStringLiteral("%1 found in %2").arg(what, folder);
        const int chosen = m_state->context.chooseFromList
                               ? m_state->context.chooseFromList(title, rows)
                               : pickRow(this, title, rows);
        return chosen >= 0 && chosen < files.size() ? files.at(chosen).path : QString();
    };
    const QString navigator = pick(navigators, QStringLiteral("Navigator files"));
    const QString archive = pick(archives, QStringLiteral("Sound archives"));
    if (!navigator.isEmpty())
        loadNavigatorFrom(navigator);
    if (!archive.isEmpty())
        loadArchiveFrom(archive);
}

bool frmmemory::canWriteToDevice(DeviceRow row) const
{
    const auto [result, original] = deviceFilesOf(row);
    const QDateTime& loadedAt =
        row == DeviceRow::Navigator ? m_state->navigatorLoadedAt : m_state->archiveLoadedAt;
    return !result.isEmpty() && madeSince(result, loadedAt) && QFileInfo::exists(original);
}

std::pair<QString, QString> frmmemory::deviceFilesOf(DeviceRow row) const
{
    const QString modified = programFolder() + QStringLiteral("Modified") + QDir::separator();
    if (row == DeviceRow::Navigator) {
        const QString name = m_state->navigatorWorkingName();
        if (name.isEmpty() || m_state->navigator.SourcePath.isEmpty())
            return {};
        return {modified + name, m_state->navigator.SourcePath};
    }
    if (m_state->baseArchiveName.isEmpty() || m_state->archiveSourcePath.isEmpty())
        return {};
    return {modified + m_state->baseArchiveName, m_state->archiveSourcePath};
}

bool frmmemory::ask(const QString& question, bool yesByDefault)
{
    if (m_state->context.ask)
        return m_state->context.ask(question, yesByDefault);
    return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                                 yesByDefault ? QMessageBox::Yes : QMessageBox::No) ==
           QMessageBox::Yes;
}

void frmmemory::writeToDevice(DeviceRow row)
{
    const auto [result, original] = deviceFilesOf(row);
    if (!canWriteToDevice(row)) {
        beep();
        return;
    }
    const QString copy = row == DeviceRow::Navigator ? QStringLiteral("patched copy")
                                                     : QStringLiteral("new archive");
    if (!ask(QStringLiteral("Replace %1 with the %2 %3? The original is kept in Backup/.")
                 .arg(original, copy, result),
             true))
        return;
    const BusyCursor busy;
    if (!device::putOnDevice(result, original, device::backupRootOf(programFolder()), *this))
        beep();
}

void frmmemory::restoreOnDevice(DeviceRow row)
{
    const QString original = deviceFilesOf(row).second;
    if (original.isEmpty()) {
        beep();
        return;
    }
    const QString root = device::backupRootOf(programFolder());
    const QString backup = device::newestBackup(original, root);
    // Without a backup restoreOriginal writes nothing and says so.
    if (!backup.isEmpty() &&
        !ask(QStringLiteral("Put the original %1 back over %2?").arg(backup, original), true))
        return;
    const BusyCursor busy;
    if (!device::restoreOriginal(original, root, *this))
        beep();
}

} // namespace tollvik
