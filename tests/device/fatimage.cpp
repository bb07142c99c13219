#include "fatimage.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

using namespace Qt::StringLiterals;

namespace tollvik::test {
namespace {

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QLatin1String(name),
                                          {u"/usr/sbin"_s, u"/sbin"_s, u"/usr/bin"_s, u"/bin"_s});
}

// Runs a tool to its end; true when it succeeded. Its output, merged, goes to `output`.
bool run(const char* name, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(tool(name), arguments);
    const bool finished = process.waitForFinished(30000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

QString FatImage::unavailable()
{
    for (const char* name : {"fusefat", "fusermount", "mkfs.vfat", "fsck.vfat"}) {
        if (tool(name).isEmpty())
            return u"%1 is not installed (Debian: fusefat, fuse, dosfstools)"_s.arg(name);
    }
    QFile fuse(u"/dev/fuse"_s);
    return fuse.open(QIODevice::ReadWrite) ? QString()
                                           : u"no usable /dev/fuse: "_s + fuse.errorString();
}

FatImage::FatImage(qint64 bytes)
    : m_image(m_dir.filePath(u"device.img"_s)), m_mount(m_dir.filePath(u"mnt"_s))
{
    QFile image(m_image);
    m_made = QDir().mkpath(m_mount) && image.open(QIODevice::WriteOnly) && image.resize(bytes);
    image.close();
    m_made = m_made && run("mkfs.vfat", {m_image});
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
    m_fuse->setStandardOutputFile(QProcess::nullDevice());
    m_fuse->setStandardErrorFile(QProcess::nullDevice());
    // -f keeps fusefat in the foreground, so the end of its process is the end of its writes.
    m_fuse->start(tool("fusefat"),
                  {u"-f"_s, u"-o"_s, writable ? u"rw+"_s : u"ro"_s, m_image, m_mount});
    for (int i = 0; i < 200 && m_fuse->state() != QProcess::NotRunning; ++i, QThread::msleep(10)) {
        QFile mounts(u"/proc/self/mounts"_s);
        if (mounts.open(QIODevice::ReadOnly) &&
            mounts.readAll().contains(' ' + QFile::encodeName(m_mount) + ' '))
            return true;
    }
    m_fuse.reset();
    return false;
}

bool FatImage::unmount()
{
    if (!m_fuse)
        return true;
    bool unmounted = false;
    for (int i = 0; i < 50 && !(unmounted = run("fusermount", {u"-u"_s, m_mount})); ++i)
        QThread::msleep(50);
    const bool finished = m_fuse->waitForFinished(30000);
    m_fuse.reset();
    return unmounted && finished;
}

QString FatImage::fsckFaults() const
{
    QString output;
    if (run("fsck.vfat", {u"-n"_s, m_image}, &output))
        return {};
    return output.isEmpty() ? u"fsck.vfat -n failed"_s : output;
}

} // namespace tollvik::test
