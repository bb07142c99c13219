#pragma once

#include "core/fileio.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <memory>
#include <sys/types.h>

// Tools of the fault tests: file-tree snapshots, mounts in a private mount namespace (a small
// tmpfs for a full disk, a read-only bind mount for a read-only folder, since root ignores
// permissions), the file layer's write-fault hook and a file size limit.
namespace tollvik::test {

// Every file and folder below `root`: relative path -> content ("<dir>" for a folder).
using FolderSnapshot = QMap<QString, QByteArray>;
[[nodiscard]] FolderSnapshot snapshot(const QString& root);
// Empty when both are equal; otherwise the paths that were added, removed or changed.
[[nodiscard]] QString differences(const FolderSnapshot& before, const FolderSnapshot& after);
// `before` and `after` without `path`.
[[nodiscard]] QString differencesBesides(FolderSnapshot before, FolderSnapshot after,
                                         const QString& path);

[[nodiscard]] inline bool anyLineContains(const QStringList& lines, const QString& text)
{
    return std::any_of(lines.cbegin(), lines.cend(),
                       [&](const QString& line) { return line.contains(text); });
}

// Call first thing in main(), while the process has one thread: gives the process a mount
// namespace of its own, so that its mounts are invisible outside and vanish with it. False when
// the process may not do that (not root, or no such right in this container).
bool enterPrivateMountNamespace();
[[nodiscard]] bool mountsAvailable();

// A mount that is undone when the object goes.
class ScopedMount
{
public:
    ScopedMount() = default;
    ~ScopedMount();
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;

    // A tmpfs of `bytes` over `folder` (which must exist; its content is hidden meanwhile).
    [[nodiscard]] bool tmpfs(const QString& folder, qint64 bytes);
    // Gives the tmpfs this object mounted on `folder` a new size, its files kept.
    [[nodiscard]] bool resize(const QString& folder, qint64 bytes);
    // `folder` made read-only in place, content kept.
    [[nodiscard]] bool readOnly(const QString& folder);
    [[nodiscard]] const QString& error() const { return m_error; }

private:
    QStringList m_mounted;
    QString m_error;
};

// Sets the file layer's write-fault hook for the life of the object.
class ScopedWriteFault
{
public:
    explicit ScopedWriteFault(WriteFaultHook hook);
    ~ScopedWriteFault();
    ScopedWriteFault(const ScopedWriteFault&) = delete;
    ScopedWriteFault& operator=(const ScopedWriteFault&) = delete;
};

// A hook that fails every write to a path inside `folder` (or to `folder` itself) with `reason`.
[[nodiscard]] WriteFaultHook failWritesUnder(const QString& folder, const QString& reason);

// Limits the size of every file this process writes (RLIMIT_FSIZE, SIGXFSZ ignored): a write
// beyond the limit fails as on a full disk, whatever code makes it.
class ScopedFileSizeLimit
{
public:
    explicit ScopedFileSizeLimit(qint64 bytes);
    ~ScopedFileSizeLimit();
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;
    [[nodiscard]] bool ok() const { return m_ok; }

private:
    bool m_ok = false;
    quint64 m_oldSoft = 0;
    quint64 m_oldHard = 0;
};

// The three ways a working folder can be unusable.
enum class FolderFault
{
    ReadOnly,
    Missing,
    ReplacedByFile,
};
// How a read-only folder is made: a read-only bind mount, permissions (only when not root, as
// root ignores them), or the file layer's write-fault hook.
enum class ReadOnlyRoute
{
    Mount,
    Hook,
};

// Puts `fault` on `folder` for the life of the object; repair() (or the destructor) undoes it
// and leaves an empty, writable folder where the folder was missing or a file.
class ScopedFolderFault
{
public:
    ScopedFolderFault(const QString& folder, FolderFault fault,
                      ReadOnlyRoute route = ReadOnlyRoute::Mount);
    ~ScopedFolderFault();
    ScopedFolderFault(const ScopedFolderFault&) = delete;
    ScopedFolderFault& operator=(const ScopedFolderFault&) = delete;

    // Empty when the fault is in place; otherwise why it could not be made (skip the test).
    [[nodiscard]] const QString& unavailable() const { return m_unavailable; }
    void repair();

private:
    QString m_folder;
    FolderFault m_fault;
    bool m_chmodded = false;
    bool m_repaired = false;
    std::unique_ptr<ScopedMount> m_mount;
    std::unique_ptr<ScopedWriteFault> m_hook;
    QString m_unavailable;
};

// Fills the file system of `folder` with a file "filler" until a write fails, then gives back
// `leave` bytes; returns the filler's size.
qint64 fillDisk(const QString& folder, qint64 leave = 0);

// Names in `folder` other than `expected`: temporary files a killed writer left behind.
[[nodiscard]] QStringList strayFiles(const QString& folder, const QStringList& expected);

// Runs `work` in a forked child and kills it with SIGKILL after `delayMicroseconds` (when it has
// not ended by then). Returns true when the child was killed, false when it ended first.
bool runAndKill(const std::function<void()>& work, qint64 delayMicroseconds);
// Runs `work` in a forked child to its end and returns how long it took, in microseconds.
qint64 timeInChild(const std::function<void()>& work);

} // namespace tollvik::test

// Some line of `lines` holds `text`; the failure shows them all.
#define QVERIFY_LOGGED(lines, text)                                                                \
    QVERIFY2(tollvik::test::anyLineContains(lines, text), qPrintable((lines).join(u'\n')))
// Every file below `root` as it stood in `before`.
#define QVERIFY_UNCHANGED(before, root)                                                            \
    QCOMPARE(tollvik::test::differences(before, tollvik::test::snapshot(root)), QString())
