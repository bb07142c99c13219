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

const char* versionOf(const QByteArray& bytes, const QByteArray& oldBytes,
                      const QByteArray& newBytes)
{
    if (bytes == oldBytes)
        return "old";
    if (bytes == newBytes)
        return "new";
    return nullptr;
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
        QString why;
        QVERIFY2(scene.prepare(&why), qPrintable(why));
        const QByteArray oldBytes = readAll(scene.output);
        QCOMPARE(readAll(scene.working), oldBytes);
        const BuildInput input = scene.input({{1, 1}, {29, 2}});
        const QByteArray newBytes = expectedBuild(oldBytes, scene.soundBytes, {{1, 1}, {29, 2}});
        QVERIFY(!newBytes.isEmpty() && newBytes != oldBytes);

        const auto reset = [&] {
            QVERIFY(writeAll(scene.output, oldBytes));
            QVERIFY(writeAll(scene.working, oldBytes));
        };
        const auto work = [&] {
            RecordingLog log;
            (void)data_chk_reload(input, log);
        };
        const qint64 duration = typicalDuration(work, reset);

        QRandomGenerator random(seed());
        QMap<QString, int> outcomes;
        for (int run = 0; run < kRuns; ++run) {
            reset();
            const qint64 delay = randomDelay(random, duration);
            const bool killed = runAndKill(work, delay);

            const char* output = versionOf(readAll(scene.output), oldBytes, newBytes);
            const char* working = versionOf(readAll(scene.working), oldBytes, newBytes);
            QVERIFY2(output, qPrintable(QStringLiteral("run %1, killed after %2 us: the output "
                                                       "is neither the old nor the new archive")
                                            .arg(run)
                                            .arg(delay)));
            QVERIFY2(working, qPrintable(QStringLiteral("run %1, killed after %2 us: the working "
                                                        "copy is neither version")
                                             .arg(run)
                                             .arg(delay)));
            ++outcomes[QStringLiteral("%1 output %2, working copy %3")
                           .arg(killed ? QStringLiteral("killed:") : QStringLiteral("finished:"),
                                QLatin1String(output), QLatin1String(working))];

            // The restarted build runs over whatever the killed one left.
            RecordingLog log;
            const BuildResult again = data_chk_reload(input, log);
            QVERIFY2(again.ok, qPrintable(log.lines.join(u'\n')));
            QVERIFY(again.listing.ok);
            QCOMPARE(readAll(scene.output), newBytes);
            QCOMPARE(readAll(scene.working), newBytes);
        }
        report(outcomes, duration, folder);
        QVERIFY(outcomes.size() > 1);
    }

    void saveKilledAtRandomPointsLosesNothing()
    {
        ProgramFolder folder;
        NavigatorScene scene(folder);
        QString why;
        QVERIFY2(scene.prepare(&why), qPrintable(why));
        const QByteArray oldOutput = readAll(scene.output);
        const QByteArray oldIni = readAll(scene.ini);
        const auto [newOutput, newIni] = expectedSave(scene.original, NavigatorScene::textsB());
        QVERIFY(!newOutput.isEmpty() && newOutput != oldOutput);
        QVERIFY(!newIni.isEmpty() && newIni != oldIni);

        const NavigatorState loaded = scene.state;
        const auto reset = [&] {
            QVERIFY(writeAll(scene.output, oldOutput));
            QVERIFY(writeAll(scene.ini, oldIni));
            QVERIFY(writeAll(scene.working, scene.original));
        };
        const auto work = [&] {
            NavigatorState state = loaded;
            RecordingLog log;
            (void)saveModifiedNavigator(state, NavigatorScene::textsB(), folder.path(), log);
        };
        const qint64 duration = typicalDuration(work, reset);

        QRandomGenerator random(seed() + 1);
        QMap<QString, int> outcomes;
        for (int run = 0; run < kRuns; ++run) {
            reset();
            const qint64 delay = randomDelay(random, duration);
            const bool killed = runAndKill(work, delay);

            const char* output = versionOf(readAll(scene.output), oldOutput, newOutput);
            const char* ini = versionOf(readAll(scene.ini), oldIni, newIni);
            QVERIFY2(output, qPrintable(QStringLiteral("run %1, killed after %2 us: the output "
                                                       "is neither the old nor the new file")
                                            .arg(run)
                                            .arg(delay)));
            QVERIFY2(ini, qPrintable(QStringLiteral("run %1, killed after %2 us: Tollvik.ini "
                                                    "holds neither the old nor the new texts:\n%3")
                                         .arg(run)
                                         .arg(delay)
                                         .arg(QString::fromLatin1(readAll(scene.ini)))));
            QCOMPARE(readAll(scene.working), scene.original);
            ++outcomes[QStringLiteral("%1 output %2, settings %3")
                           .arg(killed ? QStringLiteral("killed:") : QStringLiteral("finished:"),
                                QLatin1String(output), QLatin1String(ini))];

            // A restarted program: a fresh load of the chosen file, then the save.
            RecordingLog log;
            QVERIFY2(scene.reload(log), qPrintable(log.lines.join(u'\n')));
            const SaveResult again =
                saveModifiedNavigator(scene.state, NavigatorScene::textsB(), folder.path(), log);
            QVERIFY2(again.ok && again.workingCopyRefreshed, qPrintable(log.lines.join(u'\n')));
            QCOMPARE(readAll(scene.output), newOutput);
            QCOMPARE(readAll(scene.ini), newIni);
            QCOMPARE(readAll(scene.working), scene.original);
        }
        report(outcomes, duration, folder);
        QVERIFY(outcomes.size() > 1);
    }

private:
    static void report(const QMap<QString, int>& outcomes, qint64 duration,
                       const ProgramFolder& folder)
    {
        qInfo("typical duration %lld us", static_cast<long long>(duration));
        for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it)
            qInfo("%2d x %s", it.value(), qPrintable(it.key()));
        const QStringList strays =
            strayFiles(folder.temp(), {QStringLiteral("voice.chk"), QStringLiteral("TomTom.exe")}) +
            strayFiles(folder.modified(),
                       {QStringLiteral("voice.chk"), QStringLiteral("TomTom.exe")}) +
            strayFiles(folder.path(), {QStringLiteral("Temp"), QStringLiteral("Modified"),
                                       QStringLiteral("Tollvik.ini"), QStringLiteral("device"),
                                       QStringLiteral("sounds")});
        qInfo("temporary files left by killed runs: %lld", static_cast<long long>(strays.size()));
    }
};

TOLLVIK_FAULT_TEST_MAIN(KillTest, QCoreApplication)
#include "test_faults_kill.moc"
