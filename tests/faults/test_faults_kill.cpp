// A build and a save killed (SIGKILL) at random points, 50 times each, in a forked child: the
// output in Modified/ is always the complete old file or the complete new one, the working copy
// and the settings file are each one complete version, and a restarted operation works whatever
// temporary files the killed one left behind.
#include "faultkit.h"
#include "scenes.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTest>
#include <algorithm>

using namespace tollvik;
using namespace tollvik::test;

namespace {

constexpr int kRuns = 50;
// Fixed, so that a failure can be repeated; TOLLVIK_KILL_SEED picks another sequence.
constexpr quint32 kDefaultSeed = 20240611;

quint32 seed()
{
    bool ok = false;
    const quint32 value = qEnvironmentVariable("TOLLVIK_KILL_SEED").toUInt(&ok);
    return ok ? value : kDefaultSeed;
}

// The median of three timed runs of `work` in a child, in microseconds.
qint64 typicalDuration(const std::function<void()>& work, const std::function<void()>& reset)
{
    std::array<qint64, 3> times{};
    for (qint64& t : times) {
        reset();
        t = timeInChild(work);
    }
    std::sort(times.begin(), times.end());
    return std::max<qint64>(times[1], 1);
}

// Delays from a few microseconds to a little past the typical duration, so that the kills land
// before, inside and after the work.
qint64 randomDelay(QRandomGenerator& random, qint64 duration)
{
    if (random.bounded(10) == 0)
        return random.bounded(50);
    return random.bounded(duration + duration / 5 + 1);
}

// A file the killed work writes: after every kill it holds one of its two versions.
struct Written
{
    const char* name;
    QString path;
    QByteArray oldBytes;
    QByteArray newBytes;
};

// Runs `work` kRuns times, each killed after a random delay from the files' old versions; each
// time every file holds a complete version and `restart` (a restarted program) then succeeds.
void killRepeatedly(quint32 seedOffset, const std::function<void()>& work,
                    const QList<Written>& files, const std::function<void()>& restart,
                    const ProgramFolder& folder)
{
    const auto reset = [&] {
        for (const Written& file : files)
            QVERIFY(writeAll(file.path, file.oldBytes));
    };
    const qint64 duration = typicalDuration(work, reset);
    QRandomGenerator random(seed() + seedOffset);
    QMap<QString, int> outcomes;
    for (int run = 0; run < kRuns; ++run) {
        reset();
        const qint64 delay = randomDelay(random, duration);
        QString outcome =
            runAndKill(work, delay) ? QStringLiteral("killed:") : QStringLiteral("finished:");
        for (const Written& file : files) {
            const QByteArray bytes = readAll(file.path);
            QVERIFY2(bytes == file.oldBytes || bytes == file.newBytes,
                     qPrintable(QStringLiteral("run %1, killed after %2 us: %3 is neither version")
                                    .arg(run)
                                    .arg(delay)
                                    .arg(QLatin1String(file.name))));
            outcome += QStringLiteral(" %1 %2").arg(QLatin1String(file.name),
                                                    bytes == file.oldBytes ? u"old" : u"new");
        }
        ++outcomes[outcome];
        restart();
        if (QTest::currentTestFailed())
            return;
        for (const Written& file : files)
            QCOMPARE(readAll(file.path), file.newBytes);
    }
    qInfo("typical duration %lld us", static_cast<long long>(duration));
    for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it)
        qInfo("%2d x %s", it.value(), qPrintable(it.key()));
    const QStringList names{QStringLiteral("voice.chk"), QStringLiteral("TomTom.exe")};
    qInfo("temporary files left by killed runs: %lld",
          static_cast<long long>(strayFiles(folder.temp(), names).size() +
                                 strayFiles(folder.modified(), names).size()));
    QVERIFY(outcomes.size() > 1);
}

} // namespace

class KillTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildKilledAtRandomPointsLosesNothing()
    {
        ProgramFolder folder;
        // About 2.7 MB, so that the build takes long enough to be interrupted.
        ArchiveScene scene(folder, 200, 16 * 1024);
        QVERIFY_PREPARED(scene);
        const QByteArray oldBytes = readAll(scene.output);
        QCOMPARE(readAll(scene.working), oldBytes);
        const BuildInput input = scene.input({{1, 1}, {29, 2}});
        const QByteArray newBytes = expectedBuild(oldBytes, scene.soundBytes, {{1, 1}, {29, 2}});
        QVERIFY(!newBytes.isEmpty() && newBytes != oldBytes);
        killRepeatedly(
            0,
            [&] {
                RecordingLog log;
                (void)data_chk_reload(input, log);
            },
            {{"output", scene.output, oldBytes, newBytes},
             {"working copy", scene.working, oldBytes, newBytes}},
            [&] {
                // The restarted build runs over whatever the killed one left.
                RecordingLog log;
                const Result<BuiltChk> again = data_chk_reload(input, log);
                QVERIFY2(again && again->listing, qPrintable(log.lines.join(u'\n')));
            },
            folder);
    }

    void saveKilledAtRandomPointsLosesNothing()
    {
        ProgramFolder folder;
        NavigatorScene scene(folder);
        QVERIFY_PREPARED(scene);
        const QByteArray oldOutput = readAll(scene.output);
        const QByteArray oldIni = readAll(scene.ini);
        const auto [newOutput, newIni] = expectedSave(scene.original, NavigatorScene::textsB());
        QVERIFY(!newOutput.isEmpty() && newOutput != oldOutput);
        QVERIFY(!newIni.isEmpty() && newIni != oldIni);
        const NavigatorState loaded = scene.state;
        killRepeatedly(
            1,
            [&] {
                NavigatorState state = loaded;
                RecordingLog log;
                (void)saveModifiedNavigator(state, NavigatorScene::textsB(), folder.path(), log);
            },
            {{"output", scene.output, oldOutput, newOutput},
             {"settings", scene.ini, oldIni, newIni},
             {"working copy", scene.working, scene.original, scene.original}},
            [&] {
                // A restarted program: a fresh load of the chosen file, then the save.
                RecordingLog log;
                QVERIFY2(scene.reload(log), qPrintable(log.lines.join(u'\n')));
                const Result<WorkingCopy> again = saveModifiedNavigator(
                    scene.state, NavigatorScene::textsB(), folder.path(), log);
                QVERIFY2(again.ok() && again.value() == WorkingCopy::Refreshed,
                         qPrintable(log.lines.join(u'\n')));
            },
            folder);
    }
};

TOLLVIK_FAULT_TEST_MAIN(KillTest, QCoreApplication)
#include "test_faults_kill.moc"
