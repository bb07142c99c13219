#include "faultkit.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace tollvik::test {
namespace {

bool g_privateMounts = false;

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

void sleepMicroseconds(qint64 us)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(us / 1000000);
    ts.tv_nsec = static_cast<long>((us % 1000000) * 1000);
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
    }
}

} // namespace

FolderSnapshot snapshot(const QString& root)
{
    FolderSnapshot result;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString name = base.relativeFilePath(info.filePath());
        if (info.isDir()) {
            result.insert(name, QByteArrayLiteral("<dir>"));
            continue;
        }
        QFile file(info.filePath());
        result.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll()
                                                           : QByteArrayLiteral("<unreadable>"));
    }
    return result;
}

QString differences(const FolderSnapshot& before, const FolderSnapshot& after)
{
    QStringList out;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!after.contains(it.key()))
            out << QStringLiteral("removed %1").arg(it.key());
        else if (after.value(it.key()) != it.value())
            out << QStringLiteral("changed %1 (%2 -> %3 bytes)")
                       .arg(it.key())
                       .arg(it.value().size())
                       .arg(after.value(it.key()).size());
    }
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (!before.contains(it.key()))
            out << QStringLiteral("added %1").arg(it.key());
    }
    return out.join(QStringLiteral("; "));
}

QString differencesBesides(FolderSnapshot before, FolderSnapshot after, const QString& path)
{
    before.remove(path);
    after.remove(path);
    return differences(before, after);
}

bool enterPrivateMountNamespace()
{
    if (geteuid() != 0)
        return false;
    if (unshare(CLONE_NEWNS) != 0)
        return false;
    // Without this, mounts below a shared mount would still reach the rest of the machine.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    g_privateMounts = true;
    return true;
}

bool mountsAvailable()
{
    return g_privateMounts;
}

ScopedMount::~ScopedMount()
{
    for (auto it = m_mounted.crbegin(); it != m_mounted.crend(); ++it)
        umount2(nativePath(*it).constData(), MNT_DETACH);
}

bool ScopedMount::tmpfs(const QString& folder, qint64 bytes)
{
    if (!g_privateMounts) {
        m_error = QStringLiteral("no private mount namespace");
        return false;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    if (mount("tmpfs", nativePath(folder).constData(), "tmpfs", 0, options.constData()) != 0) {
        m_error = QStringLiteral("mount tmpfs on %1: %2").arg(folder, lastError());
        return false;
    }
    m_mounted << folder;
    return true;
}

bool ScopedMount::resize(const QString& folder, qint64 bytes)
{
    const QByteArray options = "size=" + QByteArray::number(bytes);
    if (mount(nullptr, nativePath(folder).constData(), nullptr, MS_REMOUNT, options.constData()) !=
        0) {
        m_error = QStringLiteral("resize tmpfs on %1: %2").arg(folder, lastError());
        return false;
    }
    return true;
}

bool ScopedMount::readOnly(const QString& folder)
{
    if (!g_privateMounts) {
        m_error = QStringLiteral("no private mount namespace");
        return false;
    }
    const QByteArray path = nativePath(folder);
    if (mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) != 0) {
        m_error = QStringLiteral("bind mount %1: %2").arg(folder, lastError());
        return false;
    }
    m_mounted << folder;
    if (mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        m_error = QStringLiteral("read-only remount of %1: %2").arg(folder, lastError());
        return false;
    }
    return true;
}

ScopedWriteFault::ScopedWriteFault(WriteFaultHook hook)
{
    setWriteFaultHookForTesting(std::move(hook));
}

ScopedWriteFault::~ScopedWriteFault()
{
    setWriteFaultHookForTesting({});
}

WriteFaultHook failWritesUnder(const QString& folder, const QString& reason)
{
    const QString root = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    return [root, reason](const QString& path) {
        const QString target = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        return target == root || target.startsWith(root + QLatin1Char('/')) ? reason : QString();
    };
}

ScopedFileSizeLimit::ScopedFileSizeLimit(qint64 bytes)
{
    rlimit old{};
    if (getrlimit(RLIMIT_FSIZE, &old) != 0)
        return;
    m_oldSoft = old.rlim_cur;
    m_oldHard = old.rlim_max;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    m_ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

ScopedFileSizeLimit::~ScopedFileSizeLimit()
{
    if (!m_ok)
        return;
    rlimit old{};
    old.rlim_cur = static_cast<rlim_t>(m_oldSoft);
    old.rlim_max = static_cast<rlim_t>(m_oldHard);
    setrlimit(RLIMIT_FSIZE, &old);
}

ScopedFolderFault::ScopedFolderFault(const QString& folder, FolderFault fault, ReadOnlyRoute route)
    : m_folder(QDir::cleanPath(folder)), m_fault(fault)
{
    switch (fault) {
    case FolderFault::ReadOnly:
        if (route == ReadOnlyRoute::Hook) {
            m_hook = std::make_unique<ScopedWriteFault>(
                failWritesUnder(m_folder, QString::fromLocal8Bit(std::strerror(EROFS))));
        } else if (geteuid() != 0) {
            m_chmodded = QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::ExeOwner);
            if (!m_chmodded)
                m_unavailable = QStringLiteral("cannot change the permissions of ") + m_folder;
        } else {
            m_mount = std::make_unique<ScopedMount>();
            if (!m_mount->readOnly(m_folder))
                m_unavailable = m_mount->error();
        }
        break;
    case FolderFault::Missing:
        if (!QDir(m_folder).removeRecursively())
            m_unavailable = QStringLiteral("cannot remove ") + m_folder;
        break;
    case FolderFault::ReplacedByFile: {
        QFile file(m_folder);
        if (!QDir(m_folder).removeRecursively() || !file.open(QIODevice::WriteOnly) ||
            file.write("not a folder\n") != 13)
            m_unavailable = QStringLiteral("cannot replace %1 by a file").arg(m_folder);
        break;
    }
    }
}

ScopedFolderFault::~ScopedFolderFault()
{
    repair();
}

void ScopedFolderFault::repair()
{
    if (m_repaired)
        return;
    m_repaired = true;
    m_hook.reset();
    m_mount.reset();
    if (m_chmodded)
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (m_fault == FolderFault::ReplacedByFile)
        QFile::remove(m_folder);
    if (m_fault != FolderFault::ReadOnly)
        QDir().mkpath(m_folder);
}

qint64 fillDisk(const QString& folder, qint64 leave)
{
    QFile file(QDir(folder).filePath(QStringLiteral("filler")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return -1;
    const QByteArray page(4096, 'x');
    qint64 total = 0;
    while (file.write(page) == page.size())
        total += page.size();
    // The tail of a short write may sit in part of a page; one byte at a time closes the gap.
    while (file.write("x", 1) == 1)
        ++total;
    const qint64 kept = std::max<qint64>(0, total - leave);
    return file.resize(kept) ? kept : -1;
}

QStringList strayFiles(const QString& folder, const QStringList& expected)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    for (const QString& name : expected)
        names.removeAll(name);
    return names;
}

bool runAndKill(const std::function<void()>& work, qint64 delayMicroseconds)
{
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        work();
        // Never return into the test: destructors would remove the parent's folders.
        _exit(0);
    }
    sleepMicroseconds(delayMicroseconds);
    kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

qint64 timeInChild(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return timer.nsecsElapsed() / 1000;
}

} // namespace tollvik::test
