#include "chkfolder.h"

#include "core/fileio.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace tollvik::cli {
namespace {

const QByteArray kIndexTitle = "tollvik-alerts chk index 1";

// A name that stays inside the folder: no separator, not "." or "..".
bool isPlainName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(u'/') && !name.contains(u'\\');
}

// A temporary folder is private to its owner; the extracted folder gets the permissions of a
// folder made the usual way.
void giveUsualPermissions(const QString& folder)
{
#ifdef Q_OS_UNIX
    const mode_t mask = ::umask(0);
    ::umask(mask);
    std::error_code ignored; // the folder then stays private, which loses nothing
    std::filesystem::permissions(toFsPath(folder), std::filesystem::perms(0777 & ~mask), ignored);
#else
    Q_UNUSED(folder);
#endif
}

} // namespace

Status writeFolder(const QString& given, const QList<NamedFile>& files)
{
    const QString folder = QDir::cleanPath(given); // "voice/" names the folder voice
    const QFileInfo target(folder);
    if (target.exists() && !target.isDir())
        return fail(QStringLiteral("%1 is not a folder").arg(folder));
    if (target.isDir() && !QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                QDir::Hidden | QDir::System))
        return fail(
            QStringLiteral("%1 is not empty; extract into a new or empty folder").arg(folder));
    const QString parent = target.absolutePath();
    if (!QFileInfo(parent).isDir())
        return fail(QStringLiteral("the folder %1 does not exist").arg(parent));
    (void)removeStaleTemporaryFiles(parent); // what a killed extract left
    QTemporaryDir staging(temporaryTemplate(parent));
    if (!staging.isValid())
        return fail(QStringLiteral("cannot write into %1: %2").arg(parent, staging.errorString()));
    for (const auto& [name, bytes] : files) {
        if (const Status written = writeFileAtomically(staging.filePath(name), bytes); !written)
            return fail(QStringLiteral("cannot write %1: %2").arg(name, written.error()));
    }
    giveUsualPermissions(staging.path());
    std::error_code ec;
    if (target.isDir() && !QDir().rmdir(folder))
        return fail(QStringLiteral("cannot replace the empty folder %1").arg(folder));
    std::filesystem::rename(toFsPath(staging.path()), toFsPath(target.absoluteFilePath()), ec);
    if (ec) {
        const QString why = QString::fromLocal8Bit(ec.message());
        if (target.isDir() && !QDir().mkdir(folder))
            return fail(QStringLiteral("cannot create %1 (%2), and the empty folder could not be "
                                       "made again")
                            .arg(folder, why));
        return fail(QStringLiteral("cannot create %1: %2").arg(folder, why));
    }
    staging.setAutoRemove(false);
    return {};
}

QByteArray indexOf(const QList<NamedFile>& entryFiles, bool hasGap)
{
    QByteArray index = kIndexTitle + '\n';
    if (hasGap)
        index += "gap " + kGapName.toUtf8() + '\n';
    for (const NamedFile& file : entryFiles)
        index += "entry " + file.first.toUtf8() + '\n';
    return index;
}

Result<IndexedFolder> readIndex(const QByteArray& index)
{
    QList<QByteArray> lines = index.split('\n');
    if (lines.value(0).trimmed() != kIndexTitle)
        return fail(
            QStringLiteral("it does not begin with \"%1\"").arg(QString::fromLatin1(kIndexTitle)));
    IndexedFolder folder;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        if (line.isEmpty())
            continue;
        const qsizetype space = line.indexOf(' ');
        const QByteArray kind = line.left(space);
        const QString name = QString::fromUtf8(line.mid(space + 1));
        if (space < 0 || !isPlainName(name) || (kind != "entry" && kind != "gap"))
            return fail(QStringLiteral("line %1 is not \"entry NAME\" or \"gap NAME\"").arg(i + 1));
        if (kind == "gap")
            folder.gapFile = name;
        else
            folder.entryFiles.append(name);
    }
    return folder;
}

} // namespace tollvik::cli
