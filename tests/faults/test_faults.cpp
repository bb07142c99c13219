// Faults under the program: unusable working folders, a full disk (a small tmpfs), working
// copies that vanish, and a build or save killed at a random point. A refusal logs a line and
// leaves every file as it was; a killed writer leaves each file complete, old or new.
#include "archive/archive.h"
#include "chkfactory.h"
#include "core/fileio.h"
#include "faultkit.h"
#include "navigatorfiles.h"
#include "patcher/patcher.h"
#include "settings/ini.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>
#include <filesystem>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

enum class Operation
{
    Build,
    Save,
    LoadArchive,
    LoadNavigator
};
enum class Fault
{
    ModifiedMissing,
    ModifiedIsFile,
    TempIsFile,
    WorkingCopyGone,
    ModifiedFull,
    TempFull
};

std::array<QString, kSlotCount> menuTexts(bool second)
{
    std::array<QString, kSlotCount> texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = second ? (i % 3 == 0 ? u"Blitzer %1 \u00e9"_s.arg(i + 1) : QString())
                          : u"Camera %1"_s.arg(i + 1);
    return texts;
}

// A program folder after an archive was loaded and built and a navigator file loaded and saved.
struct Scene
{
    explicit Scene(int entries = 40, int fillerSize = 0) : archive(makeChk(entries))
    {
        for (int entry = 1; fillerSize > 0 && entry <= entries - 31; ++entry)
            archive.entries[entry - 1] = fillerEntry(entry, fillerSize);
    }

    bool prepare()
    {
        RecordingLog& log = prepareLog;
        const bool written = writeAll(chosenChk, archive.bytes()) &&
                             writeAll(otherChk, makeChk(31).bytes()) &&
                             writeAll(sound, soundBytes) && writeAll(chosenTtn, ttn) &&
                             writeAll(otherTtn, makeNavigatorFile(13));
        return written && LoadBaseChk(chosenChk, folder.path(), log).ok() &&
               data_chk_reload(input(false), log).ok() &&
               loadNavigatorFile(chosenTtn, folder.path(), nav, log).ok() &&
               saveModifiedNavigator(nav, menuTexts(false), folder.path(), log).ok();
    }

    BuildInput input(bool withSound) const
    {
        BuildInput in{folder.path(), folder.temp(u"voice.chk"_s), u"voice.chk"_s, {}, {}, {}};
        for (int slot = 0; slot < kSlotCount; ++slot)
            in.soundBoxes[std::size_t(slot)] = withSound && slot == 1 ? sound : slotLabel(slot);
        in.check.playable = [](QByteArrayView) {
            return Status{};
        }; // a real Ogg sound
        return in;
    }

    bool run(Operation op, RecordingLog& log)
    {
        switch (op) {
        case Operation::Build:
            return data_chk_reload(input(true), log).ok();
        case Operation::Save:
            return saveModifiedNavigator(nav, menuTexts(true), folder.path(), log).ok();
        case Operation::LoadArchive:
            return LoadBaseChk(otherChk, folder.path(), log).ok();
        case Operation::LoadNavigator:
            return loadNavigatorFile(otherTtn, folder.path(), nav, log).ok();
        }
        return false;
    }

    // The navigator file a save with the second texts writes, from the navigator factory.
    QByteArray savedNavigator() const
    {
        return expectedPatch(ttn, expectedBuild(4), menuTexts(true));
    }

    // The archive a build with the sound in slot 1 writes, from the factory.
    QByteArray builtArchive() const
    {
        ChkArchive built = archive;
        built.entries[built.count() - 30] = slotEntry(soundBytes); // slot 1
        return built.bytes();
    }

    ProgramFolder folder;
    ChkArchive archive;
    QString chosenChk = folder.file(u"device/voice.chk"_s);
    QString otherChk = folder.file(u"device/other.chk"_s);
    QString sound = folder.file(u"sounds/tone.ogg"_s);
    QByteArray soundBytes = makeOggSine(600.0, 0.3);
    QByteArray ttn = makeNavigatorFile(4);
    QString chosenTtn = folder.file(u"device/TomTom.exe"_s);
    QString otherTtn = folder.file(u"device/Other.exe"_s);
    NavigatorState nav;
    RecordingLog prepareLog;
};

// The names in a folder, hidden ones included.
QStringList namesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                               QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

// The names a user looks at: everything but the program's own temporary files and folders.
QStringList visibleNames(const QString& folder)
{
    QStringList names = namesIn(folder);
    names.removeIf([](const QString& name) { return name.startsWith(kTemporaryPrefix); });
    return names;
}

// Makes what a killed run left look two minutes old, as the next run would find it later.
void ageTemporaryFiles(const QString& folder)
{
    for (const QString& name : namesIn(folder)) {
        if (!name.startsWith(kTemporaryPrefix))
            continue;
        const auto path = toFsPath(QDir(folder).filePath(name));
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) -
                                                   std::chrono::minutes(2));
    }
}

struct CliRun
{
    int code = -1;
    QString err;
};

CliRun runCli(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(TOLLVIK_CLI), arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

// Starts the program and kills it with SIGKILL after `delayMicroseconds`; true when it was
// killed before it ended.
bool runCliAndKill(const QStringList& arguments, qint64 delayMicroseconds)
{
    QProcess process;
    process.start(QStringLiteral(TOLLVIK_CLI), arguments);
    if (!process.waitForStarted())
        return false;
    QThread::usleep(static_cast<unsigned long>(delayMicroseconds));
    const bool running = process.state() == QProcess::Running;
    process.kill();
    process.waitForFinished();
    return running && process.exitStatus() == QProcess::CrashExit;
}

bool replaceByFile(const QString& folder)
{
    return QDir(folder).removeRecursively() && writeAll(QDir::cleanPath(folder), "not a folder\n");
}

} // namespace

class FaultTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusalsKeepEveryFile_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<Fault>("fault");
        const auto row = [](const char* name, Operation op, Fault fault) {
            QTest::newRow(name) << op << fault;
        };
        row("build, Modified/ missing", Operation::Build, Fault::ModifiedMissing);
        row("build, Modified/ a file", Operation::Build, Fault::ModifiedIsFile);
        row("build, working copy gone", Operation::Build, Fault::WorkingCopyGone);
        row("build, Modified/ full", Operation::Build, Fault::ModifiedFull);
        row("save, Modified/ missing", Operation::Save, Fault::ModifiedMissing);
        row("save, Modified/ a file", Operation::Save, Fault::ModifiedIsFile);
        row("save, Modified/ full", Operation::Save, Fault::ModifiedFull);
        row("archive load, Temp/ a file", Operation::LoadArchive, Fault::TempIsFile);
        row("archive load, Temp/ full", Operation::LoadArchive, Fault::TempFull);
        row("navigator load, Temp/ a file", Operation::LoadNavigator, Fault::TempIsFile);
        row("navigator load, Temp/ full", Operation::LoadNavigator, Fault::TempFull);
    }

    void refusalsKeepEveryFile()
    {
        QFETCH(Operation, operation);
        QFETCH(Fault, fault);
        Scene scene;
        const bool full = fault == Fault::ModifiedFull || fault == Fault::TempFull;
        const QString target = fault == Fault::TempFull || fault == Fault::TempIsFile
                                   ? scene.folder.temp()
                                   : scene.folder.modified();
        if (full && !mountsAvailable())
            QSKIP("no mount namespace here for a small tmpfs");
        std::optional<ScopedTmpfs> tmpfs;
        if (full)
            QVERIFY(tmpfs.emplace(target, 8 << 20).ok());
        QVERIFY2(scene.prepare(), qPrintable(scene.prepareLog.lines.join(u'\n')));

        switch (fault) {
        case Fault::ModifiedMissing:
            QVERIFY(QDir(target).removeRecursively());
            break;
        case Fault::ModifiedIsFile:
        case Fault::TempIsFile:
            QVERIFY(replaceByFile(target));
            break;
        case Fault::WorkingCopyGone:
            QVERIFY(QFile::remove(operation == Operation::Build
                                      ? scene.folder.temp(u"voice.chk"_s)
                                      : scene.folder.temp(u"TomTom.exe"_s)));
            break;
        case Fault::ModifiedFull:
        case Fault::TempFull:
            fillDisk(target);
            break;
        }
        const auto before = filesUnder(scene.folder.path());
        RecordingLog log;
        QVERIFY(!scene.run(operation, log));
        QVERIFY(!log.lines.isEmpty());
        QCOMPARE(filesUnder(scene.folder.path()), before);
    }

    // The settings file and the working copy's refresh are side steps: when they fail, the
    // output is still complete and the log says what was not done.
    void sideStepFailuresStillGiveTheOutput_data()
    {
        QTest::addColumn<bool>("settingsUnwritable");
        QTest::addColumn<QString>("said");
        QTest::newRow("settings file is a folder") << true << u"Tollvik.ini"_s;
        QTest::newRow("chosen file changed") << false << u"working copy is kept"_s;
    }

    void sideStepFailuresStillGiveTheOutput()
    {
        QFETCH(bool, settingsUnwritable);
        QFETCH(QString, said);
        Scene scene;
        QVERIFY2(scene.prepare(), qPrintable(scene.prepareLog.lines.join(u'\n')));
        const QString ini = settingsFilePath(scene.folder.path());
        if (settingsUnwritable)
            QVERIFY(QFile::remove(ini) && QDir().mkdir(ini));
        else
            QVERIFY(writeAll(scene.chosenTtn, makeFillerFile()));
        RecordingLog log;
        QVERIFY(scene.run(Operation::Save, log));
        QVERIFY2(log.lines.join(u'\n').contains(said), qPrintable(log.lines.join(u'\n')));
        QCOMPARE(readAll(scene.folder.modified(u"TomTom.exe"_s)), scene.savedNavigator());
        QCOMPARE(readAll(scene.folder.temp(u"TomTom.exe"_s)), scene.ttn);
    }

    void killedBuildsAndSavesLeaveCompleteFiles_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::newRow("build") << Operation::Build;
        QTest::newRow("save") << Operation::Save;
    }

    void killedBuildsAndSavesLeaveCompleteFiles()
    {
        QFETCH(Operation, operation);
        // Large entries before the slots, so that a build takes long enough to be interrupted.
        Scene scene(200, 16 * 1024);
        QVERIFY2(scene.prepare(), qPrintable(scene.prepareLog.lines.join(u'\n')));
        const bool build = operation == Operation::Build;
        const QString output = scene.folder.modified(build ? u"voice.chk"_s : u"TomTom.exe"_s);
        const QString working = scene.folder.temp(build ? u"voice.chk"_s : u"TomTom.exe"_s);
        const QString ini = settingsFilePath(scene.folder.path());
        const QByteArray oldOutput = readAll(output);
        const QByteArray oldWorking = readAll(working);
        const QByteArray oldIni = readAll(ini);
        const QByteArray newOutput = build ? scene.builtArchive() : scene.savedNavigator();
        const QByteArray newWorking = build ? newOutput : oldWorking;
        const NavigatorState loaded = scene.nav;
        const auto work = [&] {
            RecordingLog log;
            scene.nav = loaded;
            (void)scene.run(operation, log);
        };
        QElapsedTimer timer;
        timer.start();
        runAndKill(work, 10'000'000);
        const qint64 typical = std::max<qint64>(timer.nsecsElapsed() / 1000, 1);
        QMap<QString, QStringList> visible;
        for (const QString& folder : {scene.folder.modified(), scene.folder.temp()})
            visible.insert(folder, visibleNames(folder));
        QRandomGenerator random(20261207);
        int killed = 0;
        for (int run = 0; run < 25; ++run) {
            QVERIFY(writeAll(output, oldOutput) && writeAll(working, oldWorking) &&
                    writeAll(ini, oldIni));
            killed += runAndKill(work, random.bounded(typical + typical / 5 + 1));
            const QByteArray out = readAll(output);
            QVERIFY2(out == oldOutput || out == newOutput, qPrintable(QString::number(run)));
            QVERIFY(readAll(working) == oldWorking || readAll(working) == newWorking);
            const auto texts = readMenuTexts(ini);
            QVERIFY(texts &&
                    (texts.value() == menuTexts(false) || texts.value() == menuTexts(true)));
            // What the killed writer left is of the program's own name, hidden, and cleaned by
            // the next start once it is stale.
            for (const QString& folder : {scene.folder.modified(), scene.folder.temp()}) {
                QCOMPARE(visibleNames(folder), visible.value(folder));
                ageTemporaryFiles(folder);
                (void)removeStaleTemporaryFiles(folder);
                QCOMPARE(namesIn(folder), visibleNames(folder));
            }
            // A restarted program goes on over whatever the killed one left.
            work();
            QCOMPARE(readAll(output), newOutput);
        }
        QVERIFY(killed > 0);
    }

    // The command line killed at a random point of a build that converts a slot sound and of a
    // full extract: where the user looks there is the old state or the complete result, never
    // a part; what it left is hidden and of its own name, and the next run removes it.
    void killedCommandLineLeavesNothingWhereAUserLooks_data()
    {
        QTest::addColumn<bool>("build");
        QTest::newRow("chk build with a converted slot") << true;
        QTest::newRow("chk extract --all") << false;
    }

    void killedCommandLineLeavesNothingWhereAUserLooks()
    {
        QFETCH(bool, build);
        ProgramFolder folder;
        const QString work = QDir::cleanPath(folder.file(u"work"_s));
        const QString chk = work + u"/voice.chk"_s;
        const QString sound = work + u"/horn.oga"_s; // not .ogg: it is converted
        Scene scene(60, 4 * 1024);
        QVERIFY(writeAll(chk, scene.archive.bytes()) &&
                writeAll(sound, makeOggSine(500.0, 0.5, 44100, 2)));
        const QString result = work + (build ? u"/new.chk"_s : u"/voice"_s);
        const QStringList arguments =
            build ? QStringList{u"chk"_s,    u"build"_s,     chk, u"-o"_s, result,
                                u"--slot"_s, u"3="_s + sound}
                  : QStringList{u"chk"_s, u"extract"_s, chk, result, u"--all"_s};
        const QStringList inputs = namesIn(work);
        QStringList withResult = QStringList(inputs) << QFileInfo(result).fileName();
        withResult.sort();
        QElapsedTimer timer;
        timer.start();
        const CliRun first = runCli(arguments);
        QVERIFY2(first.code == 0, qPrintable(first.err));
        const qint64 typical = std::max<qint64>(timer.nsecsElapsed() / 1000, 1);
        const auto contentOf = [build](const QString& path) {
            return build ? QMap<QString, QByteArray>{{QString(), readAll(path)}} : filesUnder(path);
        };
        const auto complete = contentOf(result);
        QRandomGenerator random(20261208);
        int killed = 0;
        int leftBehind = 0;
        for (int run = 0; run < 10; ++run) {
            QVERIFY(QDir(result).removeRecursively() || QFile::remove(result) ||
                    !QFileInfo::exists(result));
            killed += runCliAndKill(arguments, random.bounded(typical + typical / 5 + 1));
            const QStringList seen = visibleNames(work);
            leftBehind += seen.size() != namesIn(work).size();
            QVERIFY2(seen == inputs || seen == withResult, qPrintable(seen.join(u", "_s)));
            if (seen != inputs) // the result is there only when complete
                QCOMPARE(contentOf(result), complete);
            QVERIFY(QDir(result).removeRecursively() || QFile::remove(result) ||
                    !QFileInfo::exists(result));
            ageTemporaryFiles(work);
            const CliRun again = runCli(arguments);
            QVERIFY2(again.code == 0, qPrintable(again.err));
            QCOMPARE(namesIn(work), withResult);
            QCOMPARE(contentOf(result), complete);
        }
        qInfo("%d of 10 runs killed, %d of them leaving temporary files", killed, leftBehind);
        QVERIFY(killed > 0);
    }
};

TOLLVIK_FAULT_TEST_MAIN(FaultTest)
#include "test_faults.moc"
