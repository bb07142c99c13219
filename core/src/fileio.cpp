#include "core/fileio.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <filesystem>
#include <system_error>

namespace tollvik {
namespace {

// QSaveFile::commit() does not check the flush of its write buffer: on a full disk the buffered
// tail is lost and the shortened file still replaces the target. Save files are therefore opened
// unbuffered, so that every write reaches the file system at once, and written in a loop: a
// short write is followed by another one, which reports the reason (a full disk, a size limit).
bool openSaveFile(QSaveFile& file)
{
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

Status writeAllTo(QSaveFile& file, const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.write(data + done, size - done);
        if (n <= 0) {
            const QString why = file.errorString();
            file.cancelWriting();
            return fail(why);
        }
        done += n;
    }
    return {};
}

} // namespace

std::filesystem::path toFsPath(const QString& path)
{
    return std::filesystem::path(path.toStdU16String());
}

qint64 fileLength(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : -1;
}

Result<QByteArray> readWholeFile(const QString& path, qint64 maxSize)
{
    QByteArray data;
    if (Status read = readWholeFileInto(path, data, maxSize); !read)
        return read.failure();
    return data;
}

Status readWholeFileInto(const QString& path, QByteArray& buffer, qint64 maxSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    const qint64 size = file.size();
    if (maxSize >= 0 && size > maxSize)
        return fail(QStringLiteral("the file is longer than %1 bytes").arg(maxSize));
    buffer.resize(size);
    if (file.read(buffer.data(), size) != size || !file.atEnd())
        return fail(file.error() != QFileDevice::NoError
                        ? file.errorString()
                        : QStringLiteral("the file changed while it was read"));
    return {};
}

Result<QByteArray> readRange(const QString& path, qint64 offset, qint64 length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    const qint64 size = file.size();
    if (offset < 0 || length < 0 || offset > size || length > size - offset)
        return fail(QStringLiteral("%1 bytes at offset %2 do not lie inside the file of %3 bytes")
                        .arg(length)
                        .arg(offset)
                        .arg(size));
    if (!file.seek(offset))
        return fail(file.errorString());
    QByteArray data = file.read(length);
    if (data.size() != length)
        return fail(file.error() != QFileDevice::NoError ? file.errorString()
                                                         : QStringLiteral("the file ended early"));
    return data;
}

Status writeFileAtomically(const QString& path, QByteArrayView data)
{
    QSaveFile file(path);
    if (!openSaveFile(file))
        return fail(file.errorString());
    if (Status written = writeAllTo(file, data.data(), data.size()); !written)
        return written;
    if (!file.commit())
        return fail(file.errorString());
    return {};
}

Status removeFileIfPresent(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.remove())
        return fail(file.errorString());
    return {};
}

bool isSameFile(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    std::error_code ec;
    const bool same = std::filesystem::equivalent(toFsPath(a), toFsPath(b), ec);
    return !ec && same;
}

} // namespace tollvik
