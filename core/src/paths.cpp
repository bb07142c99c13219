#include "core/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tollvik {

QString nativeSeparator()
{
    return QString(QDir::separator());
}

QString programFile(const QString& programFolder, QStringView folder, const QString& name)
{
    return RPP(programFolder) + folder.toString() + nativeSeparator() + name;
}

bool Exists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

bool FileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && !info.isHidden();
}

QString RPP(const QString& path)
{
    if (path.endsWith(QDir::separator()))
        return path;
    return path + QDir::separator();
}

QString GetFileName(const QString& path)
{
    const qsizetype cut = path.lastIndexOf(QDir::separator());
    return cut < 0 ? path : path.mid(cut + 1);
}

QString programFolderOfExecutable()
{
    return RPP(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
}

} // namespace tollvik
