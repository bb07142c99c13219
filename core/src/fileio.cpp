#include "core/fileio.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <filesystem>
#include <system_error>

namespace tollvik {
namespace {

WriteFaultHook& faultHook()
{
    static WriteFaultHook hook;
    return hook;
}

QString injectedFault(const QString& path)
{
    const WriteFaultHook& hook = faultHook();
    return hook ? hook(path) : QString();
}

std::filesystem::path fsPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

constexpr qint64 kChunk = 1 << 20;

// QSaveFile::commit() does not check the flush of its write buffer: on a full disk the buffered
// tail is lost and the shortened file still replaces the target. Save files are therefore opened
// unbuffered, so that every write reaches the file system at once, and written in a loop: a
// short write is followed by another one, which reports the reason (a full disk, a size limit).
bool openSaveFile(QSaveFile& file)
{
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

FileResult writeAllTo(QSaveFile& file, const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.write(data + done, size - done);
        if (n <= 0) {
            const QString why = file.errorString();
            file.cancelWriting();
            return FileResult::failure(why);
        }
        done += n;
    }
    return {};
}

} // namespace

void setWriteFaultHookForTesting(WriteFaultHook hook)
{
    faultHook() = std::move(hook);
}

qint64 fileLength(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : -1;
}

FileResult readWholeFile(const QString& path, QByteArray& out, qint64 maxSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileResult::failure(file.errorString());
    const qint64 size = file.size();
    if (maxSize >= 0 && size > maxSize)
        return FileResult::failure(QStringLiteral("the file is longer than %1 bytes").arg(maxSize));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return FileResult::failure(file.errorString());
    if (data.size() != size)
        return FileResult::failure(QStringLiteral("the file changed while it was read"));
    out = std::move(data);
    return {};
}

FileResult readRange(const QString& path, qint64 offset, qint64 length, QByteArray& out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileResult::failure(file.errorString());
    const qint64 size = file.size();
    if (offset < 0 || length < 0 || offset > size || length > size - offset)
        return FileResult::failure(
            QStringLiteral("%1 bytes at offset %2 do not lie inside the file of %3 bytes")
                .arg(length)
                .arg(offset)
                .arg(size));
    if (!file.seek(offset))
        return FileResult::failure(file.errorString());
    QByteArray data = file.read(length);
    if (data.size() != length)
        return FileResult::failure(file.error() != QFileDevice::NoError
                                       ? file.errorString()
                                       : QStringLiteral("the file ended early"));
    out = std::move(data);
    return {};
}

FileResult writeFileAtomically(const QString& path, QByteArrayView data)
{
    if (const QString fault = injectedFault(path); !fault.isEmpty())
        return FileResult::failure(fault);
    QSaveFile file(path);
    if (!openSaveFile(file))
        return FileResult::failure(file.errorString());
    if (FileResult written = writeAllTo(file, data.data(), data.size()); !written)
        return written;
    if (!file.commit())
        return FileResult::failure(file.errorString());
    return {};
}

FileResult copyFileAtomically(const QString& from, const QString& to)
{
    if (isSameFile(from, to))
        return FileResult::failure(QStringLiteral("%1 and %2 are the same file").arg(from, to));
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return FileResult::failure(source.errorString());
    if (const QString fault = injectedFault(to); !fault.isEmpty())
        return FileResult::failure(fault);
    QSaveFile target(to);
    if (!openSaveFile(target))
        return FileResult::failure(target.errorString());
    const qint64 size = source.size();
    qint64 copied = 0;
    while (copied < size) {
        const QByteArray chunk = source.read(std::min(kChunk, size - copied));
        if (chunk.isEmpty()) {
            target.cancelWriting();
            return FileResult::failure(source.error() != QFileDevice::NoError
                                           ? source.errorString()
                                           : QStringLiteral("the file ended early"));
        }
        if (FileResult written = writeAllTo(target, chunk.constData(), chunk.size()); !written)
            return written;
        copied += chunk.size();
    }
    if (!target.commit())
        return FileResult::failure(target.errorString());
    return {};
}

FileResult removeFileIfPresent(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.remove())
        return FileResult::failure(file.errorString());
    return {};
}

bool isSameFile(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    std::error_code ec;
    const bool same = std::filesystem::equivalent(fsPath(a), fsPath(b), ec);
    return !ec && same;
}

} // namespace tollvik
