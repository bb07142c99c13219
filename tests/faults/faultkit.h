#pragma once

#include <QString>
#include <functional>

// What the fault tests need beyond the test support: a mount namespace of the test's own (as
// root, or else as root of a user namespace) for a small tmpfs, and a process killed mid-work.
namespace tollvik::test {

// Call first thing in main(), while the process has one thread. False when this machine allows
// neither way; the tests that need a mount then skip.
bool enterPrivateMountNamespace();
[[nodiscard]] bool mountsAvailable();

// A tmpfs of `bytes` over the existing folder, undone with the object.
class ScopedTmpfs
{
public:
    ScopedTmpfs(const QString& folder, qint64 bytes);
    ~ScopedTmpfs();
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;
    [[nodiscard]] bool ok() const { return m_ok; }

private:
    QString m_folder;
    bool m_ok = false;
};

// Fills the file system of `folder` with a file "filler" until a write fails.
void fillDisk(const QString& folder);

// Runs `work` in a forked child and kills it with SIGKILL after `delayMicroseconds` unless it
// ended first. True when it was killed.
bool runAndKill(const std::function<void()>& work, qint64 delayMicroseconds);

} // namespace tollvik::test

// A test main that first gives the process its own mount namespace (while it has one thread).
#define TOLLVIK_FAULT_TEST_MAIN(TestObject)                                                        \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        tollvik::test::enterPrivateMountNamespace();                                               \
        QCoreApplication app(argc, argv);                                                          \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
