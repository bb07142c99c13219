#include "backup.h"

#include "core/paths.h"
#include "syncfile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace tollvik::device {
namespace {

constexpr int kMaxFoldersPerSecond = 999;
// A record holds one path: far more than any file system allows for one.
constexpr qint64 kMaxRecordBytes = 64 * 1024;
// Folders of a backup root looked at by a search: a root is ours, but need not stay small.
constexpr qsizetype kMaxBackupFolders = 100000;

// A backup folder is named by the time of the write, "yyyy-MM-dd HH-mm-ss", with "-N" added for
// the N-th write within the same second: this key orders them as they were made.
std::pair<QString, int> orderKey(const QString& folderName)
{
    const qsizetype dash = folderName.lastIndexOf(u'-');
    bool ok = false;
    const int n = dash > 16 ? folderName.mid(dash + 1).toInt(&ok) : 0;
    if (ok)
        return {folderName.left(dash), n};
    return {folderName, 1};
}

Result<QString> makeBackupFolder(const QString& backupRoot, DeviceIo& io)
{
    if (!QDir().mkpath(backupRoot))
        return fail(QStringLiteral("the folder %1 cannot be made").arg(backupRoot));
    const QString root = QDir::toNativeSeparators(backupRoot);
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
    for (int n = 1; n <= kMaxFoldersPerSecond; ++n) {
        const QString name = n == 1 ? stamp : stamp + QStringLiteral("-%1").arg(n);
        const QString path = RPP(root) + name;
        if (detail::makeNewFolder(path)) {
            if (const Status synced = io.syncFolder(root); !synced) {
                QDir().rmdir(path);
                return synced.failure();
            }
            return path;
        }
        if (detail::statPath(path).kind == detail::Kind::Missing)
            return fail(QStringLiteral("the folder %1 cannot be made").arg(path));
    }
    return fail(QStringLiteral("too many backups within one second in %1").arg(backupRoot));
}

// Writes `bytes` to `target` through the temporary file `part` on the same file system: whole or
// not at all.
Status writeWhole(const QString& part, const QString& target, QByteArrayView bytes, DeviceIo& io)
{
    Status written = io.writeNewSynced(part, bytes);
    if (written)
        written = io.renameOver(part, target);
    if (!written)
        (void)detail::removeFile(part);
    return written;
}

// The path a backup's record names, or an empty string when the record is missing or unreadable.
QString recordedPath(const QString& record)
{
    if (detail::statPath(record).kind != detail::Kind::Regular)
        return {};
    const Result<QByteArray> bytes = detail::readRegular(record, kMaxRecordBytes);
    if (!bytes || !bytes->endsWith('\n'))
        return {};
    return QString::fromUtf8(bytes->chopped(1));
}

} // namespace

QString backupRootOf(const QString& programFolder)
{
    return RPP(programFolder) + QStringLiteral("Backup");
}

QString tempNameFor(const QString& original)
{
    return GetFileName(QDir::toNativeSeparators(original)) + QStringLiteral(".tollvik-part");
}

QString backupRecordNameFor(const QString& name)
{
    return name + QStringLiteral(".tollvik-origin");
}

namespace detail {

QString absoluteNative(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

Result<QString> writeBackup(const QString& original, QByteArrayView bytes,
                            const QString& backupRoot, DeviceIo& io)
{
    const Result<QString> folder = makeBackupFolder(backupRoot, io);
    if (!folder)
        return folder.failure();
    const QString name = GetFileName(absoluteNative(original));
    const QString target = RPP(folder.value()) + name;
    const QString record = RPP(folder.value()) + backupRecordNameFor(name);
    Status copied = writeWhole(RPP(folder.value()) + tempNameFor(name), target, bytes, io);
    // The record's temporary file goes beside the folder, so that the record costs no more
    // length of name than the write on the device does.
    if (copied)
        copied = writeWhole(folder.value() + QStringLiteral(".tollvik-part"), record,
                            (absoluteNative(original) + u'\n').toUtf8(), io);
    if (copied)
        copied = io.syncFolder(folder.value());
    if (copied)
        copied = io.compareWithDevice(target, bytes);
    if (!copied) {
        (void)removeFile(record);
        (void)removeFile(target);
        QDir().rmdir(folder.value());
        return fail(QStringLiteral("%1 (in %2)").arg(copied.error(), folder.value()));
    }
    return target;
}

BackupSearch findBackups(const QString& original, const QString& backupRoot)
{
    const QString wanted = absoluteNative(original);
    const QString name = GetFileName(wanted);
    const QString root = RPP(QDir::toNativeSeparators(backupRoot));
    QStringList folders =
        QDir(backupRoot)
            .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks);
    if (folders.size() > kMaxBackupFolders)
        folders.resize(kMaxBackupFolders);
    std::ranges::sort(folders,
                      [](const QString& a, const QString& b) { return orderKey(a) > orderKey(b); });
    BackupSearch found;
    for (const QString& folder : folders) {
        const QString path = root + folder + nativeSeparator() + name;
        if (statPath(path).kind != Kind::Regular)
            continue;
        if (recordedPath(root + folder + nativeSeparator() + backupRecordNameFor(name)) == wanted) {
            found.newest = path;
            return found;
        }
        ++found.sameNameElsewhere;
    }
    return found;
}

} // namespace detail

QString newestBackup(const QString& original, const QString& backupRoot)
{
    return detail::findBackups(original, backupRoot).newest;
}

} // namespace tollvik::device
