#include "testsupport.h"

#include "core/paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <sys/resource.h>

namespace tollvik::test {

QString ProgramFolder::path() const
{
    return RPP(QDir::toNativeSeparators(m_dir.path()));
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QMap<QString, QByteArray> filesUnder(const QString& folder)
{
    QMap<QString, QByteArray> files;
    const QDir root(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry = it.nextFileInfo();
        files.insert(root.relativeFilePath(entry.filePath()),
                     entry.isDir() ? QByteArray("<folder>") : readAll(entry.filePath()));
    }
    return files;
}

bool limitAddressSpace()
{
#ifndef TOLLVIK_ASAN
    const rlimit limit{1L << 30, 1L << 30};
    return setrlimit(RLIMIT_AS, &limit) == 0;
#else
    return true;
#endif
}

} // namespace tollvik::test
