#include "device/device.h"

#include <QDir>
#include <QStorageInfo>

namespace tollvik::device {
namespace {

// A volume counts as a device when it is mounted under one of the usual roots for removable
// media; elsewhere (Windows, macOS) when QStorageInfo offers it and it is not the system volume.
bool isDeviceVolume(const QStorageInfo& volume)
{
    if (!volume.isValid() || !volume.isReady())
        return false;
    const QString root = volume.rootPath();
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    for (const QLatin1String prefix :
         {QLatin1String("/media/"), QLatin1String("/run/media/"), QLatin1String("/mnt/")}) {
        if (root.startsWith(prefix))
            return true;
    }
    return false;
#else
    return !volume.isRoot() && root != QStorageInfo(QDir::homePath()).rootPath();
#endif
}

} // namespace

QStringList deviceVolumes()
{
    QStringList volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (isDeviceVolume(volume))
            volumes.append(QDir::toNativeSeparators(volume.rootPath()));
    }
    return volumes;
}

QString deviceStartFolder(const ScanLimits& limits)
{
    for (const QString& volume : deviceVolumes()) {
        const Result<ScanResult> scan = scanFolder(volume, limits);
        if (!scan)
            continue;
        for (const FoundFile& file : scan->found) {
            if (file.kind == FoundKind::Navigator)
                return volume;
        }
    }
    return QDir::toNativeSeparators(QDir::homePath());
}

} // namespace tollvik::device
