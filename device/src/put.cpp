#include "backup.h"
#include "core/paths.h"
#include "device/device.h"
#include "syncfile.h"

#include <QDir>
#include <QFileInfo>

namespace tollvik::device {
namespace {

using detail::FileStat;
using detail::Kind;

// Everything one write needs, gathered and checked before the device is touched.
struct Write
{
    DeviceIo* io = nullptr;
    QString source;   // the result, or the backup for a restore
    QString original; // the file on the device
    QString folder;   // the original's folder
    QString temp;     // our temporary file beside the original
    QByteArray bytes; // the source's bytes: what the device must hold afterwards
    FileStat originalStat;
    QString backupPath;
};

Failure refused(LogSink& log, const Write& w, const QString& why)
{
    return logged(log, QStringLiteral("Cannot write %1 to %2: %3. The original is unchanged.")
                           .arg(w.source, w.original, why));
}

// A restore may put back an original that is gone; a write needs the original it replaces.
Result<Write> plan(const QString& source, const QString& original, bool mayBeMissing, DeviceIo& io,
                   LogSink& log)
{
    Write w{&io, detail::absoluteNative(source), detail::absoluteNative(original), {}, {}, {}, {},
            {}};
    w.folder = QDir::toNativeSeparators(QFileInfo(w.original).absolutePath());
    w.temp = RPP(w.folder) + tempNameFor(w.original);
    w.originalStat = detail::statPath(w.original);
    if (w.originalStat.kind == Kind::Missing && !mayBeMissing)
        return refused(log, w, QStringLiteral("the original is not there"));
    if (w.originalStat.kind == Kind::Other)
        return refused(log, w, QStringLiteral("the original is not a regular file"));
    const FileStat sourceStat = detail::statPath(w.source);
    if (sourceStat.kind != Kind::Regular)
        return refused(log, w,
                       sourceStat.kind == Kind::Missing
                           ? QStringLiteral("the file to write is not there")
                           : QStringLiteral("the file to write is not a regular file"));
    if (sourceStat.device == w.originalStat.device && sourceStat.inode == w.originalStat.inode)
        return refused(log, w, QStringLiteral("it is the original itself"));
    if (const Status writable = detail::canWriteIn(w.folder); !writable)
        return refused(log, w,
                       QStringLiteral("the folder cannot be written (%1)").arg(writable.error()));
    Result<QByteArray> bytes = detail::readRegular(w.source, ScanLimits{}.maxFileSize);
    if (!bytes)
        return refused(log, w,
                       QStringLiteral("the file to write cannot be read (%1)").arg(bytes.error()));
    w.bytes = std::move(bytes).value();
    return w;
}

// A temporary file of ours beside the original is what an interrupted write left: its content
// never replaced the original, so it goes.
Status removeStaleTemp(const Write& w, LogSink& log)
{
    const FileStat stale = detail::statPath(w.temp);
    if (stale.kind == Kind::Missing)
        return {};
    if (stale.kind == Kind::Other)
        return refused(log, w, QStringLiteral("%1 is in the way and is not a file").arg(w.temp));
    if (const Status removed = detail::removeFile(w.temp); !removed)
        return refused(log, w,
                       QStringLiteral("%1, left by an interrupted write, cannot be "
                                      "removed (%2)")
                           .arg(w.temp, removed.error()));
    log.AddText(QStringLiteral("Removed %1, left by an interrupted write.").arg(w.temp));
    return {};
}

Status checkSpace(const Write& w, LogSink& log)
{
    const qint64 free = detail::freeBytes(w.folder);
    if (free < 0)
        return refused(log, w, QStringLiteral("the free space on the device cannot be asked"));
    if (free < w.bytes.size())
        return refused(log, w,
                       QStringLiteral("the device has %1 bytes free and the file needs %2")
                           .arg(free)
                           .arg(w.bytes.size()));
    log.AddText(QStringLiteral("The device has %1 bytes free; the file needs %2.")
                    .arg(free)
                    .arg(w.bytes.size()));
    return {};
}

Status backUp(Write& w, const QString& backupRoot, LogSink& log)
{
    const Result<QByteArray> original = detail::readRegular(w.original, ScanLimits{}.maxFileSize);
    if (!original)
        return refused(log, w,
                       QStringLiteral("the original cannot be read (%1)").arg(original.error()));
    const Result<QString> copy =
        detail::writeBackup(w.original, original.value(), backupRoot, *w.io);
    if (!copy)
        return refused(log, w, QStringLiteral("the backup failed: %1").arg(copy.error()));
    w.backupPath = copy.value();
    log.AddText(
        QStringLiteral("Original %1 copied to %2 and compared.").arg(w.original, w.backupPath));
    return {};
}

// The original must still be the file that was checked (and backed up) before it is replaced.
bool originalUnchanged(const Write& w)
{
    const FileStat now = detail::statPath(w.original);
    if (w.originalStat.kind == Kind::Missing)
        return now.kind == Kind::Missing;
    return now.kind == Kind::Regular && now.size == w.originalStat.size &&
           now.mtimeNs == w.originalStat.mtimeNs && now.inode == w.originalStat.inode;
}

Status writeTemp(const Write& w, LogSink& log)
{
    if (const Status written = w.io->writeNewSynced(w.temp, w.bytes); !written) {
        (void)detail::removeFile(w.temp);
        return refused(log, w,
                       QStringLiteral("writing %1 failed (%2)").arg(w.temp, written.error()));
    }
    log.AddText(QStringLiteral("Wrote %1 bytes to %2 and flushed them to the device.")
                    .arg(w.bytes.size())
                    .arg(w.temp));
    return {};
}

Status swapIn(const Write& w, LogSink& log)
{
    Status renamed = originalUnchanged(w)
                         ? w.io->renameOver(w.temp, w.original)
                         : Status(fail(QStringLiteral("the original changed during the write")));
    if (!renamed) {
        (void)detail::removeFile(w.temp);
        return refused(log, w, renamed.error());
    }
    log.AddText(QStringLiteral("Renamed %1 over %2.").arg(w.temp, w.original));
    return {};
}

// Writes the backup over the file the write could not confirm, with the same steps and checks;
// a failure's text is the reason alone.
Status putBack(const Write& w)
{
    Write back{w.io, w.backupPath, w.original, w.folder, w.temp, {}, detail::statPath(w.original),
               {}};
    Result<QByteArray> bytes = detail::readRegular(w.backupPath, ScanLimits{}.maxFileSize);
    if (!bytes)
        return bytes.failure();
    back.bytes = std::move(bytes).value();
    Status restored = w.io->writeNewSynced(w.temp, back.bytes);
    if (restored)
        restored = originalUnchanged(back)
                       ? w.io->renameOver(w.temp, w.original)
                       : Status(fail(QStringLiteral("the file changed during the write")));
    if (!restored) {
        (void)detail::removeFile(w.temp);
        return restored;
    }
    restored = w.io->syncFolder(w.folder);
    if (restored)
        restored = w.io->compareWithDevice(w.original, back.bytes);
    return restored;
}

// After the rename: the folder is flushed and the file read back. A failure here means the
// device may not hold the result, so the original goes back from the backup.
Status confirm(const Write& w, LogSink& log)
{
    Status step = w.io->syncFolder(w.folder);
    if (step)
        log.AddText(QStringLiteral("Flushed the folder %1 to the device.").arg(w.folder));
    if (step)
        step = w.io->compareWithDevice(w.original, w.bytes);
    if (step) {
        log.AddText(QStringLiteral("Read %1 back: the same %2 bytes as %3.")
                        .arg(w.original)
                        .arg(w.bytes.size())
                        .arg(w.source));
        return {};
    }
    const QString why =
        QStringLiteral("Cannot confirm %1 on the device: %2.").arg(w.original, step.error());
    // A restore writes from a backup, which stays where it is: the restore can be made again.
    if (w.backupPath.isEmpty())
        return logged(
            log, why + QStringLiteral(" The backup %1 is kept; restore it again.").arg(w.source));
    const Status restored = putBack(w);
    return logged(
        log,
        why + (restored
                   ? QStringLiteral(" The original was put back from %1.").arg(w.backupPath)
                   : QStringLiteral(" The original could not be put back (%1); it is kept in %2.")
                         .arg(restored.error(), w.backupPath)));
}

Result<PutReport> safeWrite(const QString& source, const QString& original,
                            const QString& backupRoot, bool makeBackup, DeviceIo& io, LogSink& log)
{
    Result<Write> planned = plan(source, original, !makeBackup, io, log);
    if (!planned)
        return planned.failure();
    Write& w = planned.value();
    if (Status s = removeStaleTemp(w, log); !s)
        return s.failure();
    if (Status s = checkSpace(w, log); !s)
        return s.failure();
    if (makeBackup) {
        if (Status s = backUp(w, backupRoot, log); !s)
            return s.failure();
    }
    if (Status s = writeTemp(w, log); !s)
        return s.failure();
    if (Status s = swapIn(w, log); !s)
        return s.failure();
    if (Status s = confirm(w, log); !s)
        return s.failure();
    return PutReport{w.backupPath, w.bytes.size()};
}

} // namespace

Status DeviceIo::writeNewSynced(const QString& path, QByteArrayView data)
{
    return detail::writeNewSynced(path, data);
}

Status DeviceIo::renameOver(const QString& from, const QString& to)
{
    return detail::renameOver(from, to);
}

Status DeviceIo::syncFolder(const QString& folder)
{
    return detail::syncFolder(folder);
}

Status DeviceIo::compareWithDevice(const QString& path, QByteArrayView expected)
{
    return detail::compareWithDevice(path, expected);
}

DeviceIo& systemIo()
{
    static DeviceIo io;
    return io;
}

Result<PutReport> putOnDevice(const QString& result, const QString& original,
                              const QString& backupRoot, LogSink& log, DeviceIo& io)
{
    Result<PutReport> put = safeWrite(result, original, backupRoot, true, io, log);
    if (put)
        log.AddText(QStringLiteral("%1 is on the device as %2; the original is kept in %3.")
                        .arg(detail::absoluteNative(result), detail::absoluteNative(original),
                             put->backupPath));
    return put;
}

Result<PutReport> restoreOriginal(const QString& original, const QString& backupRoot, LogSink& log,
                                  DeviceIo& io)
{
    const QString target = detail::absoluteNative(original);
    const detail::BackupSearch backups = detail::findBackups(target, backupRoot);
    if (backups.newest.isEmpty() && backups.sameNameElsewhere > 0)
        return logged(log, QStringLiteral("Cannot restore %1: none of the %2 backups named %3 in "
                                          "%4 is of that file. Nothing was written.")
                               .arg(target)
                               .arg(backups.sameNameElsewhere)
                               .arg(GetFileName(target), backupRoot));
    if (backups.newest.isEmpty())
        return logged(log, QStringLiteral("Cannot restore %1: there is no backup of it in %2. "
                                          "Nothing was written.")
                               .arg(target, backupRoot));
    Result<PutReport> put = safeWrite(backups.newest, target, backupRoot, false, io, log);
    if (put)
        log.AddText(
            QStringLiteral("%1 is back on the device from %2.").arg(target, backups.newest));
    return put;
}

} // namespace tollvik::device
