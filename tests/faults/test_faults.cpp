// Faults under the program: unusable working folders, a full disk (a small tmpfs), working
// copies that vanish, and a build or save killed at a random point. A refusal logs a line and
// leaves every file as it was; a killed writer leaves each file complete, old or new.
#include "archive/archive.h"
#include "chkfactory.h"
#include "core/fileio.h"
#include "navigatorfiles.h"
#include "patcher/patcher.h"
#include "settings/ini.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

bool g_mounts = false; // a mount namespace of the test's own, for a small tmpfs

bool writeProcFile(const char* path, const QByteArray& text)
{
    const int fd = open(path, O_WRONLY);
    const bool ok = fd >= 0 && write(fd, text.constData(), size_t(text.size())) == text.size();
    if (fd >= 0)
        close(fd);
    return ok;
}

// Called first thing in main(), while the process has one thread: as root, or else as root of a
// user namespace, so that a small tmpfs never reaches the rest of the machine. Where neither is
// allowed the full-disk rows skip.
void enterPrivateMountNamespace()
{
    const QByteArray uid = QByteArray::number(geteuid()), gid = QByteArray::number(getegid());
    if (unshare(CLONE_NEWNS) != 0 && !(unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 &&
                                       writeProcFile("/proc/self/setgroups", "deny") &&
                                       writeProcFile("/proc/self/uid_map", "0 " + uid + " 1") &&
                                       writeProcFile("/proc/self/gid_map", "0 " + gid + " 1")))
        return;
    // Without this, mounts below a shared mount would still reach the rest of the machine.
    g_mounts = mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// Fills the file system of `folder` with a file until a write fails, the last partial page too.
void fillDisk(const QString& folder)
{
    QFile filler(folder + u"/filler"_s);
    if (filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        for (const qsizetype chunk : {4096, 1})
            while (filler.write(QByteArray(chunk, 'f')) == chunk) {
            }
}

// Runs `work` in a forked child and kills it with SIGKILL after `delayMicroseconds` unless it
// ended first. True when it was killed.
bool runAndKill(const std::function<void()>& work, qint64 delayMicroseconds)
{
    const pid_t child = fork();
    if (child == 0) {
        work();
        _exit(0); // never return into the test: destructors would remove the parent's folders
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

// The command line's process, for runAndKill.
std::function<void()> cliProcess(const QStringList& arguments)
{
    return [arguments] {
        std::vector<QByteArray> bytes{QByteArrayLiteral(TOLLVIK_CLI)};
        for (const QString& argument : arguments)
            bytes.push_back(QFile::encodeName(argument));
        std::vector<char*> argv(bytes.size() + 1, nullptr);
        std::transform(bytes.begin(), bytes.end(), argv.begin(),
                       [](QByteArray& b) { return b.data(); });
        dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
        execv(argv[0], argv.data());
    };
}

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
        return writeAll(chosenChk, archive.bytes()) && writeAll(otherChk, makeChk(31).bytes()) &&
               writeAll(sound, soundBytes) && writeAll(chosenTtn, ttn) &&
               writeAll(otherTtn, makeNavigatorFile(13)) &&
               LoadBaseChk(chosenChk, folder.path(), log).ok() &&
               data_chk_reload(input(false), log).ok() &&
               loadNavigatorFile(chosenTtn, folder.path(), nav, log).ok() &&
               saveModifiedNavigator(nav, menuTexts(false), folder.path(), log).ok();
    }

    // The build of the archive with slot 1 holding the sound (a real Ogg sound) or not.
    BuildInput input(bool withSound) const
    {
        BuildInput in{folder.path(), folder.temp(u"voice.chk"_s), u"voice.chk"_s, {}, {}, {}};
        for (int slot = 0; slot < kSlotCount; ++slot)
            in.soundBoxes[std::size_t(slot)] = withSound && slot == 1 ? sound : slotLabel(slot);
        in.check.playable = [](QByteArrayView) {
            return Status{};
        };
        return in;
    }

    // "build", "save", "archive load" or "navigator load".
    bool run(const QString& op, RecordingLog& log)
    {
        if (op == u"build"_s)
            return data_chk_reload(input(true), log).ok();
        if (op == u"save"_s)
            return saveModifiedNavigator(nav, menuTexts(true), folder.path(), log).ok();
        if (op == u"archive load"_s)
            return LoadBaseChk(otherChk, folder.path(), log).ok();
        return loadNavigatorFile(otherTtn, folder.path(), nav, log).ok();
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

// The names in a folder, hidden ones included; or only those a user looks at: all but the
// program's own temporary files and folders.
QStringList namesIn(const QString& folder, bool visibleOnly = false)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                               QDir::Hidden | QDir::System);
    names.removeIf([&](const QString& n) { return visibleOnly && n.startsWith(kTemporaryPrefix); });
    names.sort();
    return names;
}

// Makes what a killed run left look two minutes old, as the next run would find it later.
void ageTemporaryFiles(const QString& folder)
{
    for (const QString& name : namesIn(folder)) {
        const auto path = toFsPath(QDir(folder).filePath(name));
        if (name.startsWith(kTemporaryPrefix))
            std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) -
                                                       std::chrono::minutes(2));
    }
}

// The microseconds `work` takes when it is not killed, for the random kill points.
qint64 typicalMicroseconds(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    runAndKill(work, 60'000'000);
    return std::max<qint64>(timer.nsecsElapsed() / 1000, 1);
}

} // namespace

class FaultTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The row's name is the operation, then the fault.
    void refusalsKeepEveryFile_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("fault");
        for (const char* name :
             {"build, Modified/ missing", "build, Modified/ a file", "build, working copy gone",
              "build, Modified/ full", "save, Modified/ missing", "save, Modified/ a file",
              "save, Modified/ full", "archive load, Temp/ a file", "archive load, Temp/ full",
              "navigator load, Temp/ a file", "navigator load, Temp/ full"})
            QTest::newRow(name) << QString::fromLatin1(name).section(u", "_s, 0, 0)
                                << QString::fromLatin1(name).section(u", "_s, 1);
    }

    void refusalsKeepEveryFile()
    {
        QFETCH(QString, operation);
        QFETCH(QString, fault);
        Scene scene;
        const bool full = fault.endsWith(u"full"_s);
        const QString target =
            fault.startsWith(u"Temp"_s) ? scene.folder.temp() : scene.folder.modified();
        if (full && !g_mounts)
            QSKIP("no mount namespace here for a small tmpfs");
        const QByteArray mountPoint = QFile::encodeName(target);
        if (full) // a tmpfs of 8 MB over the folder, undone at the end
            QVERIFY(mount("tmpfs", mountPoint, "tmpfs", 0, "size=8388608") == 0);
        const auto unmount = qScopeGuard([&] {
            if (full)
                umount2(mountPoint, MNT_DETACH);
        });
        QVERIFY2(scene.prepare(), qPrintable(scene.prepareLog.lines.join(u'\n')));
        if (full)
            fillDisk(target);
        else if (fault == u"working copy gone"_s)
            QVERIFY(QFile::remove(scene.folder.temp(u"voice.chk"_s)));
        else
            QVERIFY(QDir(target).removeRecursively() &&
                    (fault.endsWith(u"missing"_s) ||
                     writeAll(QDir::cleanPath(target), "not a folder\n")));
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
        QVERIFY(settingsUnwritable ? QFile::remove(ini) && QDir().mkdir(ini)
                                   : writeAll(scene.chosenTtn, makeFillerFile()));
        RecordingLog log;
        QVERIFY(scene.run(u"save"_s, log));
        QVERIFY2(log.lines.join(u'\n').contains(said), qPrintable(log.lines.join(u'\n')));
        QCOMPARE(readAll(scene.folder.modified(u"TomTom.exe"_s)),
                 expectedPatch(scene.ttn, expectedBuild(4), menuTexts(true)));
        QCOMPARE(readAll(scene.folder.temp(u"TomTom.exe"_s)), scene.ttn);
    }

    // The window's file layer killed at a random point of a build or save: each file is
    // complete, old or new; what the killed writer left is hidden, of the program's own name,
    // and cleaned by the next start once it is stale; a restarted program goes on over it.
    void killedBuildsAndSavesLeaveCompleteFiles_data()
    {
        QTest::addColumn<bool>("build");
        QTest::newRow("build") << true;
        QTest::newRow("save") << false;
    }

    void killedBuildsAndSavesLeaveCompleteFiles()
    {
        QFETCH(bool, build);
        // Large entries before the slots, so that a build takes long enough to be interrupted.
        Scene scene(200, 16 * 1024);
        QVERIFY2(scene.prepare(), qPrintable(scene.prepareLog.lines.join(u'\n')));
        const QString output = scene.folder.modified(build ? u"voice.chk"_s : u"TomTom.exe"_s);
        const QString working = scene.folder.temp(build ? u"voice.chk"_s : u"TomTom.exe"_s);
        const QString ini = settingsFilePath(scene.folder.path());
        const QByteArray oldOutput = readAll(output), oldWorking = readAll(working);
        const QByteArray oldIni = readAll(ini);
        ChkArchive built = scene.archive; // with the sound in slot 1, or the second texts
        built.entries[built.count() - 30] = slotEntry(scene.soundBytes);
        const QByteArray newOutput =
            build ? built.bytes() : expectedPatch(scene.ttn, expectedBuild(4), menuTexts(true));
        const QByteArray newWorking = build ? newOutput : oldWorking;
        const NavigatorState loaded = scene.nav;
        const auto work = [&] {
            RecordingLog log;
            scene.nav = loaded;
            (void)scene.run(build ? u"build"_s : u"save"_s, log);
        };
        const qint64 typical = typicalMicroseconds(work);
        const QStringList folders{scene.folder.modified(), scene.folder.temp()};
        const QStringList visible = namesIn(folders[0], true) + namesIn(folders[1], true);
        QRandomGenerator random(20261207);
        int killed = 0;
        for (int run = 0; run < 25; ++run) {
            QVERIFY(writeAll(output, oldOutput) && writeAll(working, oldWorking) &&
                    writeAll(ini, oldIni));
            killed += runAndKill(work, random.bounded(typical + typical / 5 + 1));
            QVERIFY2(readAll(output) == oldOutput || readAll(output) == newOutput,
                     qPrintable(QString::number(run)));
            QVERIFY(readAll(working) == oldWorking || readAll(working) == newWorking);
            const auto texts = readMenuTexts(ini);
            QVERIFY(texts &&
                    (texts.value() == menuTexts(false) || texts.value() == menuTexts(true)));
            QCOMPARE(namesIn(folders[0], true) + namesIn(folders[1], true), visible);
            for (const QString& folder : folders) {
                ageTemporaryFiles(folder);
                (void)removeStaleTemporaryFiles(folder);
                QCOMPARE(namesIn(folder), namesIn(folder, true));
            }
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
        QVERIFY(writeAll(chk, Scene(60, 4 * 1024).archive.bytes()) &&
                writeAll(sound, makeOggSine(500.0, 0.5, 44100, 2)));
        const QString result = work + (build ? u"/new.chk"_s : u"/voice"_s);
        const QStringList arguments =
            build ? QStringList{u"chk"_s,    u"build"_s,     chk, u"-o"_s, result,
                                u"--slot"_s, u"3="_s + sound}
                  : QStringList{u"chk"_s, u"extract"_s, chk, result, u"--all"_s};
        const QStringList inputs = namesIn(work);
        QStringList withResult = namesIn(work) << QFileInfo(result).fileName();
        withResult.sort();
        const auto remove = [&] {
            return QDir(result).removeRecursively() || QFile::remove(result) ||
                   !QFileInfo::exists(result);
        };
        const qint64 typical = typicalMicroseconds(cliProcess(arguments));
        const auto contentOf = [&] {
            return build ? QMap<QString, QByteArray>{{QString(), readAll(result)}}
                         : filesUnder(result);
        };
        const auto complete = contentOf();
        QVERIFY(!complete.isEmpty() && !complete.first().isEmpty());
        QRandomGenerator random(20261208);
        int killed = 0;
        for (int run = 0; run < 10; ++run) {
            QVERIFY(remove());
            killed += runAndKill(cliProcess(arguments), random.bounded(typical + typical / 5 + 1));
            const QStringList seen = namesIn(work, true);
            QVERIFY2(seen == inputs || seen == withResult, qPrintable(seen.join(u", "_s)));
            if (seen != inputs) // the result is there only when complete
                QCOMPARE(contentOf(), complete);
            QVERIFY(remove());
            ageTemporaryFiles(work);
            QCOMPARE(QProcess::execute(QStringLiteral(TOLLVIK_CLI), arguments), 0);
            QCOMPARE(namesIn(work), withResult);
            QCOMPARE(contentOf(), complete);
        }
        QVERIFY(killed > 0);
    }
};

int main(int argc, char** argv)
{
    enterPrivateMountNamespace(); // while the process has one thread
    QCoreApplication app(argc, argv);
    FaultTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_faults.moc"
