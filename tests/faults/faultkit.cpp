#include "faultkit.h"

#include <QElapsedTimer>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tollvik::test {
namespace {

bool g_mounts = false;

bool writeProcFile(const char* path, const QByteArray& text)
{
    const int fd = open(path, O_WRONLY);
    const bool ok = fd >= 0 && write(fd, text.constData(), size_t(text.size())) == text.size();
    if (fd >= 0)
        close(fd);
    return ok;
}

// Without root, a user namespace whose root is this user may still mount a tmpfs.
bool enterUserNamespace()
{
    const QByteArray uid = QByteArray::number(geteuid());
    const QByteArray gid = QByteArray::number(getegid());
    return unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 &&
           writeProcFile("/proc/self/setgroups", "deny") &&
           writeProcFile("/proc/self/uid_map", "0 " + uid + " 1") &&
           writeProcFile("/proc/self/gid_map", "0 " + gid + " 1");
}

} // namespace

bool enterPrivateMountNamespace()
{
    if (unshare(CLONE_NEWNS) != 0 && !enterUserNamespace())
        return false;
    // Without this, mounts below a shared mount would still reach the rest of the machine.
    g_mounts = mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return g_mounts;
}

bool mountsAvailable()
{
    return g_mounts;
}

ScopedTmpfs::ScopedTmpfs(const QString& folder, qint64 bytes) : m_folder(folder)
{
    const QByteArray options = "size=" + QByteArray::number(bytes);
    m_ok = g_mounts && mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0,
                             options.constData()) == 0;
}

ScopedTmpfs::~ScopedTmpfs()
{
    if (m_ok)
        umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

void fillDisk(const QString& folder)
{
    QFile filler(folder + u"/filler"_s);
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray chunk(4096, 'f');
    while (filler.write(chunk) == chunk.size()) {
    }
    // The last partial page too.
    while (filler.write(chunk.constData(), 1) == 1) {
    }
}

bool runAndKill(const std::function<void()>& work, qint64 delayMicroseconds)
{
    const pid_t child = fork();
    if (child == 0) {
        work();
        // Never return into the test: destructors would remove the parent's folders.
        _exit(0);
    }
    // The child is watched while the delay runs, so that one that ends early is not waited for.
    int status = 0;
    QElapsedTimer timer;
    timer.start();
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (timer.nsecsElapsed() / 1000 >= delayMicroseconds) {
            kill(child, SIGKILL);
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    return WIFSIGNALED(status);
}

} // namespace tollvik::test
