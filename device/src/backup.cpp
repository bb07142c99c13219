#include "backup.h"

#include "core/paths.h"
#include "syncfile.h"

#include <QDateTime>
#include <QDir>
#include <algorithm>

namespace tollvik::device {
namespace {

constexpr int kMaxFoldersPerSecond = 999;

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

} // namespace

QString backupRootOf(const QString& programFolder)
{
    return RPP(programFolder) + QStringLiteral("Backup");
}

QString tempNameFor(const QString& original)
{
    return GetFileName(QDir::toNativeSeparators(original)) + QStringLiteral(".tollvik-part");
}

namespace detail {

Result<QString> makeBackupFolder(const QString& backupRoot)
{
    if (!QDir().mkpath(backupRoot))
        return fail(QStringLiteral("the folder %1 cannot be made").arg(backupRoot));
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
    for (int n = 1; n <= kMaxFoldersPerSecond; ++n) {
        const QString name = n == 1 ? stamp : stamp + QStringLiteral("-%1").arg(n);
        const QString path = RPP(QDir::toNativeSeparators(backupRoot)) + name;
        if (makeNewFolder(path))
            return path;
        if (statPath(path).kind == Kind::Missing)
            return fail(QStringLiteral("the folder %1 cannot be made").arg(path));
    }
    return fail(QStringLiteral("too many backups within one second in %1").arg(backupRoot));
}

} // namespace detail

QString newestBackup(const QString& original, const QString& backupRoot)
{
    const QString name = GetFileName(QDir::toNativeSeparators(original));
    QStringList folders = QDir(backupRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::ranges::sort(folders,
                      [](const QString& a, const QString& b) { return orderKey(a) > orderKey(b); });
    for (const QString& folder : folders) {
        const QString path =
            RPP(QDir::toNativeSeparators(backupRoot)) + folder + nativeSeparator() + name;
        if (detail::statPath(path).kind == detail::Kind::Regular)
            return path;
    }
    return {};
}

} // namespace tollvik::device
