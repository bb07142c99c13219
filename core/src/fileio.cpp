#include "core/fileio.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <filesystem>
#include <system_error>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tollvik {
namespace {

namespace fs = std::filesystem;

// The reason a path of this type is no regular file, to follow it in a line.
QString notRegularReason(fs::file_type type)
{
    switch (type) {
    case fs::file_type::fifo:
        return QStringLiteral("it is a FIFO, not a regular file");
    case fs::file_type::character:
    case fs::file_type::block:
        return QStringLiteral("it is a device, not a regular file");
    case fs::file_type::socket:
        return QStringLiteral("it is a socket, not a regular file");
    case fs::file_type::directory:
        return QStringLiteral("it is a folder, not a file");
    default:
        return QStringLiteral("it is not a regular file");
    }
}

fs::file_type typeOf(const QString& path)
{
    std::error_code ec;
    const fs::file_status status = fs::status(toFsPath(path), ec); // stat(), never open()
    return ec && status.type() != fs::file_type::not_found ? fs::file_type::unknown : status.type();
}

// A missing file goes on to open(), which words its own reason as before; anything else that is
// not a regular file is refused here.
Status checkBeforeOpen(const QString& path)
{
    const fs::file_type type = typeOf(path);
    if (type == fs::file_type::regular || type == fs::file_type::not_found)
        return {};
    return fail(notRegularReason(type));
}

// Unbuffered-like writing: every write is checked, a short one followed by another, which
// reports the reason (a full disk, a size limit).
Status writeAllTo(QFile& file, const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.write(data + done, size - done);
        if (n <= 0)
            return fail(file.errorString());
        done += n;
    }
    if (!file.flush())
        return fail(file.errorString());
    return {};
}

// Flushes the file's content to the disk, so that the rename never puts an empty or short file
// in place of the old one after a power loss.
bool syncToDisk(QFile& file)
{
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0;
#else
    Q_UNUSED(file);
    return true;
#endif
}

// The permissions a replaced file keeps, or those of a file made the usual way.
QFileDevice::Permissions permissionsFor(const QString& path)
{
    if (QFileInfo::exists(path))
        return QFileInfo(path).permissions();
    QFileDevice::Permissions usual = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                     QFileDevice::ReadUser | QFileDevice::WriteUser |
                                     QFileDevice::ReadGroup | QFileDevice::ReadOther;
#ifdef Q_OS_UNIX
    const mode_t mask = ::umask(0);
    ::umask(mask);
    usual = QFileDevice::ReadOwner | QFileDevice::ReadUser;
    const auto add = [&usual, mask](mode_t bit, QFileDevice::Permissions p) {
        if ((mask & bit) == 0)
            usual |= p;
    };
    add(S_IWUSR, QFileDevice::WriteOwner | QFileDevice::WriteUser);
    add(S_IRGRP, QFileDevice::ReadGroup);
    add(S_IWGRP, QFileDevice::WriteGroup);
    add(S_IROTH, QFileDevice::ReadOther);
    add(S_IWOTH, QFileDevice::WriteOther);
#endif
    return usual;
}

bool isTemporaryName(const QString& name)
{
    return name.size() == kTemporaryPrefix.size() + 6 && name.startsWith(kTemporaryPrefix);
}

} // namespace

Status checkRegularFile(const QString& path)
{
    const fs::file_type type = typeOf(path);
    if (type == fs::file_type::regular)
        return {};
    if (type == fs::file_type::not_found)
        return fail(QStringLiteral("it does not exist"));
    return fail(notRegularReason(type));
}

Status checkWritableTarget(const QString& path)
{
    const fs::file_type type = typeOf(path);
    if (type == fs::file_type::regular || type == fs::file_type::not_found)
        return {};
    return fail(notRegularReason(type) + QStringLiteral(", and is never replaced"));
}

QString temporaryTemplate(const QString& folder)
{
    return QDir(folder).filePath(kTemporaryPrefix + QStringLiteral("XXXXXX"));
}

int removeStaleTemporaryFiles(const QString& folder)
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-60);
    int removed = 0;
    const QFileInfoList found = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& info : found) {
        if (!isTemporaryName(info.fileName()) || info.lastModified().toUTC() >= before)
            continue;
        std::error_code ec;
        if (fs::remove_all(toFsPath(info.absoluteFilePath()), ec) > 0 && !ec)
            ++removed;
    }
    return removed;
}

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
    if (const Status regular = checkBeforeOpen(path); !regular)
        return regular;
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
    if (const Status regular = checkBeforeOpen(path); !regular)
        return regular.failure();
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

Status writeFileAtomically(const QString& given, QByteArrayView data)
{
    if (const Status target = checkWritableTarget(given); !target)
        return target;
    // A symbolic link stays, and the file it names is replaced.
    const QFileInfo link(given);
    const QString path =
        link.isSymLink() && !link.canonicalFilePath().isEmpty() ? link.canonicalFilePath() : given;
    const QFileInfo target(path);
    if (!target.absoluteDir().exists())
        return fail(QStringLiteral("the folder %1 does not exist").arg(target.absolutePath()));
    QTemporaryFile file(temporaryTemplate(target.absolutePath()));
    if (!file.open())
        return fail(file.errorString());
    if (Status written = writeAllTo(file, data.data(), data.size()); !written)
        return written;
    if (!syncToDisk(file))
        return fail(QStringLiteral("the file could not be flushed to the disk"));
    (void)file.setPermissions(permissionsFor(path)); // a private file loses nothing
    file.close();
    std::error_code ec;
    fs::rename(toFsPath(file.fileName()), toFsPath(path), ec);
    if (ec)
        return fail(QString::fromLocal8Bit(ec.message()));
    file.setAutoRemove(false);
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
