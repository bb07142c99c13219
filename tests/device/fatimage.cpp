#include "fatimage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <sys/stat.h>

namespace tollvik::test {
namespace {

bool runTool(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000))
        return false;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString tool(const QString& name)
{
    return QStandardPaths::findExecutable(name,
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                           QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
}

// A mount point is mounted when it lies on another device than its parent folder.
bool isMounted(const QString& path)
{
    struct stat here
    {
    }, parent{};
    return ::stat(QFile::encodeName(path).constData(), &here) == 0 &&
           ::stat(QFile::encodeName(path + QStringLiteral("/..")).constData(), &parent) == 0 &&
           here.st_dev != parent.st_dev;
}

} // namespace

QString FatImage::unavailable()
{
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse")))
        return QStringLiteral("no /dev/fuse here, so no FAT image can be mounted");
    for (const char* name : {"fusefat", "fusermount", "mkfs.vfat", "fsck.vfat"}) {
        if (tool(QLatin1String(name)).isEmpty())
            return QStringLiteral("%1 is not installed (Debian: fusefat, fuse, dosfstools)")
                .arg(QLatin1String(name));
    }
    QFile fuse(QStringLiteral("/dev/fuse"));
    if (!fuse.open(QIODevice::ReadWrite))
        return QStringLiteral("/dev/fuse cannot be opened: %1").arg(fuse.errorString());
    return {};
}

FatImage::FatImage(qint64 bytes)
    : m_image(m_dir.filePath(QStringLiteral("device.img"))),
      m_mount(m_dir.filePath(QStringLiteral("mnt")))
{
    QFile image(m_image);
    m_made = QDir().mkpath(m_mount) && image.open(QIODevice::WriteOnly) && image.resize(bytes);
    image.close();
    m_made = m_made && runTool(tool(QStringLiteral("mkfs.vfat")), {m_image});
}

FatImage::~FatImage()
{
    (void)unmount();
}

bool FatImage::mount(bool writable)
{
    if (m_fuse)
        return false;
    m_fuse = std::make_unique<QProcess>();
    m_fuse->setProcessChannelMode(QProcess::MergedChannels);
    m_fuse->setStandardOutputFile(QProcess::nullDevice());
    // -f keeps fusefat in the foreground, so the end of its process is the end of its writes.
    m_fuse->start(tool(QStringLiteral("fusefat")),
                  {QStringLiteral("-f"), QStringLiteral("-o"),
                   writable ? QStringLiteral("rw+") : QStringLiteral("ro"), m_image, m_mount});
    for (int i = 0; i < 200; ++i) {
        if (isMounted(m_mount))
            return true;
        if (m_fuse->state() == QProcess::NotRunning)
            break;
        QThread::msleep(10);
    }
    m_fuse.reset();
    return false;
}

bool FatImage::unmount()
{
    if (!m_fuse)
        return true;
    bool unmounted = false;
    for (int i = 0; i < 50 && !unmounted; ++i) {
        unmounted = runTool(tool(QStringLiteral("fusermount")), {QStringLiteral("-u"), m_mount});
        if (!unmounted)
            QThread::msleep(50);
    }
    const bool finished = m_fuse->waitForFinished(30000);
    m_fuse.reset();
    return unmounted && finished;
}

QString FatImage::fsckFaults() const
{
    QString output;
    if (runTool(tool(QStringLiteral("fsck.vfat")), {QStringLiteral("-n"), m_image}, &output))
        return {};
    return output.isEmpty() ? QStringLiteral("fsck.vfat -n failed") : output;
}

} // namespace tollvik::test
