#pragma once

#include "archive/archive.h"
#include "faultkit.h"
#include "patcher/patcher.h"
#include "testsupport.h"

#include <QTest>
#include <array>
#include <initializer_list>
#include <utility>

// Program folders in the state a user reaches before a fault: an archive loaded and built once,
// a navigator file loaded and saved once. The fault then hits the next build or save, and the
// test compares every file with what stood there before.
namespace tollvik::test {

inline constexpr int kSceneEntries = 40;

class ArchiveScene
{
public:
    explicit ArchiveScene(const ProgramFolder& folder, int entries = kSceneEntries,
                          int fillerSize = 0);

    // Writes the chosen archive and three external sounds, loads the archive and builds it
    // once with sound 0 in slot 0, so that Modified/ and Temp/ hold that earlier output.
    [[nodiscard]] bool prepare(QString* why = nullptr);
    // Loads the chosen archive again (a restarted program); the working copy is the original.
    [[nodiscard]] bool reload(RecordingLog& log);

    // A build of the current working copy where each (slot, sound) pair takes external sound
    // `sound` into `slot`.
    [[nodiscard]] BuildInput input(std::initializer_list<std::pair<int, int>> slotSounds) const;

    const ProgramFolder& folder;
    QString name = QStringLiteral("voice.chk");
    QString chosen;  // the file the user picked
    QString working; // Temp/voice.chk
    QString output;  // Modified/voice.chk
    QByteArray original;
    QStringList sounds; // external .ogg files
    QList<QByteArray> soundBytes;

private:
    int m_entries;
    int m_fillerSize;
};

// The builder's output for `original` with the given slots replaced, computed in a program
// folder of its own.
[[nodiscard]] QByteArray expectedBuild(const QByteArray& original,
                                       const QList<QByteArray>& soundBytes,
                                       std::initializer_list<std::pair<int, int>> slotSounds);

class NavigatorScene
{
public:
    explicit NavigatorScene(const ProgramFolder& folder, int buildIndex = 4);

    // Writes the chosen navigator file, loads it and saves once with textsA().
    [[nodiscard]] bool prepare(QString* why = nullptr);
    // Loads the chosen file into a fresh state (a restarted program).
    [[nodiscard]] bool reload(RecordingLog& log);

    [[nodiscard]] static std::array<QString, 30> textsA();
    [[nodiscard]] static std::array<QString, 30> textsB();

    const ProgramFolder& folder;
    NavigatorState state;
    QString name = QStringLiteral("TomTom.exe");
    QString chosen;
    QString working;
    QString output;
    QString ini;
    QByteArray original;

private:
    int m_buildIndex;
};

// The save's output and settings file for `original` and `texts`, from a program folder of its
// own: {Modified/ file, Tollvik.ini}.
[[nodiscard]] std::pair<QByteArray, QByteArray> expectedSave(const QByteArray& original,
                                                             const std::array<QString, 30>& texts);

} // namespace tollvik::test

// Prepares a scene or fails the test with the reason.
#define QVERIFY_PREPARED(scene)                                                                    \
    do {                                                                                           \
        QString why_;                                                                              \
        QVERIFY2((scene).prepare(&why_), qPrintable(why_));                                        \
    } while (false)

// A test main that first gives the process its own mount namespace (while it has one thread),
// so that the tests can mount a small tmpfs or a read-only folder where the machine allows it.
#define TOLLVIK_FAULT_TEST_MAIN(TestObject, AppClass)                                              \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        tollvik::test::enterPrivateMountNamespace();                                               \
        AppClass app(argc, argv);                                                                  \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
