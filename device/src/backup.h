#pragma once

#include "core/result.h"
#include "device/device.h"

#include <QByteArrayView>
#include <QString>

namespace tollvik::device::detail {

// The absolute, cleaned path with native separators: the form a backup's record holds.
[[nodiscard]] QString absoluteNative(const QString& path);

// Copies `bytes`, the content of `original`, into a new folder <backupRoot>/<date and time>[-N]
// (never over an earlier backup) under the original's name, with the record of the original's
// path beside it; both are written under temporary names, flushed and renamed, the folders
// flushed and the copy read back. Gives the copy's path; a failure leaves no folder behind.
[[nodiscard]] Result<QString> writeBackup(const QString& original, QByteArrayView bytes,
                                          const QString& backupRoot, DeviceIo& io);

// What the backups in a root hold for one original.
struct BackupSearch
{
    QString newest;            // the newest backup whose record names the original, or empty
    int sameNameElsewhere = 0; // backups of the same name that are not of that original
};
[[nodiscard]] BackupSearch findBackups(const QString& original, const QString& backupRoot);

} // namespace tollvik::device::detail
