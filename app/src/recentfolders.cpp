#include "recentfolders.h"

#include "settings/ini.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>

namespace tollvik {
namespace {

const QString kSection = QStringLiteral("RecentFolders");

QString keyOf(FolderKind kind)
{
    static const std::array<QString, 6> keys = {
        QStringLiteral("Navigator"),  QStringLiteral("Archive"),   QStringLiteral("SlotSound"),
        QStringLiteral("SlotExport"), QStringLiteral("ExportAll"), QStringLiteral("ImportAll")};
    return keys.at(static_cast<std::size_t>(kind));
}

} // namespace

QString rememberedFolder(const QString& programFolder, FolderKind kind)
{
    const QString path = settingsFilePath(programFolder);
    if (!QFileInfo(path).isFile()) // ReadIniValue would create the file
        return {};
    const Result<QString> stored = ReadIniValue(path, kSection, keyOf(kind));
    if (!stored || stored.value().isEmpty() || !QFileInfo(stored.value()).isDir())
        return {};
    return stored.value();
}

void rememberFolder(const QString& programFolder, FolderKind kind, const QString& folder)
{
    const QString path = settingsFilePath(programFolder);
    const QString value = QDir::toNativeSeparators(folder);
    if (value.isEmpty() || !QFileInfo(path).isFile())
        return;
    const Result<QString> stored = ReadIniValue(path, kSection, keyOf(kind));
    if (!stored || stored.value() == value)
        return;
    // Remembering is a convenience: a file that cannot take the value keeps what it had.
    (void)WriteIniValue(path, kSection, keyOf(kind), value);
}

DialogStart startInRememberedFolder(const QString& programFolder, FolderKind kind,
                                    const QString& fileName)
{
    DialogStart start{fileName, {}};
    const QString folder = rememberedFolder(programFolder, kind);
    if (folder.isEmpty())
        return start;
    const QString name = QDir::fromNativeSeparators(fileName);
    const qsizetype slash = name.lastIndexOf(u'/');
    if (slash < 0) {
        start.initialDir = folder;
        return start;
    }
    const QString own = QDir::fromNativeSeparators(programFolder);
    if (QDir::cleanPath(name.left(slash)) == QDir::cleanPath(own))
        start.fileName = QDir::toNativeSeparators(QDir(folder).filePath(name.mid(slash + 1)));
    return start;
}

} // namespace tollvik
