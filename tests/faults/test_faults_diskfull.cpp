// The disk running full during a build, a save, a load and a settings write: a small tmpfs where
// the process may mount one, and always also a write failure injected without mounts (the file
// layer's write-fault hook, or a file size limit). Each failure logs a clear line and leaves
// every earlier file as it was; a build whose working copy cannot be replaced keeps its output.
#include "faultkit.h"
#include "scenes.h"
#include "settings/ini.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

using namespace tollvik;
using namespace tollvik::test;

namespace {

const QString kNoSpace = QStringLiteral("No space left on device");

// Counts the file layer's writes to one path and fails those the predicate picks.
struct CountingFault
{
    QString path;
    std::function<bool(int)> failCall;
    std::shared_ptr<int> calls = std::make_shared<int>(0);

    WriteFaultHook hook() const
    {
        return [p = QDir::cleanPath(path), failCall = failCall, calls = calls](const QString& to) {
            if (QDir::cleanPath(to) != p)
                return QString();
            ++*calls;
            return failCall(*calls) ? kNoSpace : QString();
        };
    }
};

} // namespace

class DiskFullTest : public QObject
{
    Q_OBJECT

private:
    // The program folder proper lies one level down in `outer`, so that a tmpfs can cover all
    // of it; with `tmpfsBytes`, it is a tmpfs of that size.
    static QString programRoot(const ProgramFolder& outer, ScopedMount& mount, qint64 tmpfsBytes)
    {
        const QString root = outer.file(QStringLiteral("program"));
        if (!QDir().mkpath(root) || (tmpfsBytes > 0 && !mount.tmpfs(root, tmpfsBytes)))
            return {};
        return root;
    }

    static void requireMounts()
    {
        if (!mountsAvailable())
            QSKIP("this process may not mount a tmpfs (not root, or no mount namespace)");
    }

private Q_SLOTS:
    // Modified/ or Temp/ on a tmpfs with room for the earlier files but not for the new ones.
    void buildOnAFullDiskKeepsTheEarlierFiles_data()
    {
        QTest::addColumn<bool>("modifiedFull");
        QTest::addColumn<bool>("lastPageOnly");
        QTest::newRow("Modified/ full halfway") << true << false;
        QTest::newRow("Modified/ full at the last page") << true << true;
        QTest::newRow("Temp/ full halfway") << false << false;
        QTest::newRow("Temp/ full at the last page") << false << true;
    }

    void buildOnAFullDiskKeepsTheEarlierFiles()
    {
        QFETCH(bool, modifiedFull);
        QFETCH(bool, lastPageOnly);
        requireMounts();
        ProgramFolder folder;
        ArchiveScene scene(folder);
        const qint64 oldSize = expectedBuild(scene.original, scene.soundBytes, {{0, 0}}).size();
        QVERIFY(oldSize > 0);
        const QString full = modifiedFull ? folder.modified() : folder.temp();
        ScopedMount mount;
        QVERIFY2(mount.tmpfs(full, 4 * oldSize + 65536), qPrintable(mount.error()));
        QVERIFY_PREPARED(scene);
        // Room for half of the new archive, or for all of it but its last page: the build fails
        // in the middle of its writing, or only when the last buffered bytes go to the disk.
        const qint64 newSize =
            expectedBuild(readAll(scene.working), scene.soundBytes, {{1, 1}, {2, 2}}).size();
        QVERIFY(fillDisk(full, lastPageOnly ? newSize / 4096 * 4096 : newSize / 2) >= 0);

        const FolderSnapshot before = snapshot(folder.path());
        RecordingLog log;
        const Result<BuiltChk> result = data_chk_reload(scene.input({{1, 1}, {2, 2}}), log);
        QVERIFY(!result);
        QVERIFY_LOGGED(log.lines,
                       modifiedFull ? QStringLiteral("....Writing the new archive failed")
                                    : QStringLiteral("but the working copy could not be replaced"));
        QVERIFY_LOGGED(log.lines, kNoSpace);
        QVERIFY(!anyLineContains(log.lines, QStringLiteral("Done")));
        QCOMPARE(
            differencesBesides(before, snapshot(folder.path()),
                               modifiedFull ? QString() : QStringLiteral("Modified/voice.chk")),
            QString());
        QCOMPARE(strayFiles(full, {scene.name, QStringLiteral("filler")}), QStringList());

        // With room again, the same build goes through.
        QVERIFY(QFile::remove(full + QStringLiteral("filler")));
        RecordingLog again;
        QVERIFY2(data_chk_reload(scene.input({{1, 1}, {2, 2}}), again).ok(),
                 qPrintable(again.lines.join(u'\n')));
        QCOMPARE(readAll(scene.output), readAll(scene.working));
    }

    // Without mounts: every file this process writes is limited below the new archive's size.
    void buildOverAFileSizeLimitKeepsTheEarlierFiles()
    {
        ProgramFolder folder;
        ArchiveScene scene(folder);
        QVERIFY_PREPARED(scene);
        const FolderSnapshot before = snapshot(folder.path());
        RecordingLog log;
        {
            ScopedFileSizeLimit limit(readAll(scene.output).size() / 2);
            QVERIFY(limit.ok());
            QVERIFY(!data_chk_reload(scene.input({{1, 1}}), log).ok());
        }
        QVERIFY_LOGGED(log.lines, QStringLiteral("....Writing the new archive failed"));
        QVERIFY(!anyLineContains(log.lines, QStringLiteral("Done")));
        QVERIFY_UNCHANGED(before, folder.path());
        RecordingLog again;
        QVERIFY2(data_chk_reload(scene.input({{1, 1}}), again).ok(),
                 qPrintable(again.lines.join(u'\n')));
    }

    // The save: the output on a full Modified/, or the whole program folder full (settings file
    // included).
    void saveOnAFullDiskKeepsTheEarlierFiles_data()
    {
        QTest::addColumn<bool>("wholeFolder");
        QTest::newRow("Modified/ full") << false;
        QTest::newRow("program folder full") << true;
    }

    void saveOnAFullDiskKeepsTheEarlierFiles()
    {
        QFETCH(bool, wholeFolder);
        requireMounts();
        ProgramFolder outer;
        ScopedMount mount;
        NavigatorScene probe(outer);
        const qint64 fileSize = probe.original.size();
        const QString root = programRoot(outer, mount, wholeFolder ? 6 * fileSize : 0);
        QVERIFY2(!root.isEmpty(), qPrintable(mount.error()));
        QVERIFY(QDir(root).mkpath(QStringLiteral("Temp")));
        QVERIFY(QDir(root).mkpath(QStringLiteral("Modified")));
        if (!wholeFolder)
            QVERIFY2(mount.tmpfs(root + QStringLiteral("/Modified"), fileSize + fileSize / 2),
                     qPrintable(mount.error()));

        NavigatorState state;
        const QString programFolder = root + QLatin1Char('/');
        const QString chosen = outer.file(QStringLiteral("device/TomTom.exe"));
        QVERIFY(writeAll(chosen, probe.original));
        RecordingLog log;
        QVERIFY(loadNavigatorFile(chosen, programFolder, state, log).ok());
        QVERIFY2(saveModifiedNavigator(state, NavigatorScene::textsA(), programFolder, log).ok(),
                 qPrintable(log.lines.join(u'\n')));
        if (wholeFolder)
            QVERIFY(fillDisk(root) >= 0);

        const FolderSnapshot before = snapshot(root);
        RecordingLog faulty;
        const Result<WorkingCopy> result =
            saveModifiedNavigator(state, NavigatorScene::textsB(), programFolder, faulty);
        QVERIFY(!result.ok());
        QVERIFY_LOGGED(faulty.lines, QStringLiteral("....Could not save"));
        QVERIFY_LOGGED(faulty.lines, kNoSpace);
        if (wholeFolder)
            QVERIFY_LOGGED(faulty.lines,
                           QStringLiteral("....Could not update the Tollvik.ini file"));
        QVERIFY_UNCHANGED(before, root);

        // Room again: the same save goes through.
        if (wholeFolder)
            QVERIFY(QFile::remove(root + QStringLiteral("/filler")));
        else
            QVERIFY2(mount.resize(root + QStringLiteral("/Modified"), 4 * fileSize),
                     qPrintable(mount.error()));
        RecordingLog again;
        QVERIFY2(saveModifiedNavigator(state, NavigatorScene::textsB(), programFolder, again).ok(),
                 qPrintable(again.lines.join(u'\n')));
        QCOMPARE(readAll(root + QStringLiteral("/Modified/TomTom.exe")),
                 expectedSave(probe.original, NavigatorScene::textsB()).first);
    }

    // Without mounts, through the file layer: the settings file, the output, or both fail.
    void saveWithInjectedWriteFailuresKeepsTheEarlierFiles_data()
    {
        QTest::addColumn<bool>("failSettings");
        QTest::addColumn<bool>("failOutput");
        QTest::newRow("settings file") << true << false;
        QTest::newRow("output") << false << true;
        QTest::newRow("settings file and output") << true << true;
    }

    void saveWithInjectedWriteFailuresKeepsTheEarlierFiles()
    {
        QFETCH(bool, failSettings);
        QFETCH(bool, failOutput);
        ProgramFolder folder;
        NavigatorScene scene(folder);
        QVERIFY_PREPARED(scene);
        const FolderSnapshot before = snapshot(folder.path());

        const QString ini = QDir::cleanPath(scene.ini);
        const QString output = QDir::cleanPath(scene.output);
        RecordingLog log;
        Result<WorkingCopy> result = fail(QString());
        {
            ScopedWriteFault fault([=](const QString& path) {
                const QString p = QDir::cleanPath(path);
                if ((failSettings && p == ini) || (failOutput && p == output))
                    return kNoSpace;
                return QString();
            });
            result =
                saveModifiedNavigator(scene.state, NavigatorScene::textsB(), folder.path(), log);
        }
        QCOMPARE(result.ok(), !failOutput);
        if (failSettings)
            QVERIFY_LOGGED(log.lines, QStringLiteral("....Could not update the Tollvik.ini file"));
        if (failOutput) {
            QVERIFY_LOGGED(log.lines, QStringLiteral("....Could not save"));
            // The settings file keeps the texts of the output that stands in Modified/.
            QVERIFY_UNCHANGED(before, folder.path());
        } else {
            // The output is produced; the settings file alone keeps its earlier texts.
            FolderSnapshot expected = before;
            expected.insert(QStringLiteral("Modified/TomTom.exe"),
                            expectedSave(scene.original, NavigatorScene::textsB()).first);
            QCOMPARE(differences(expected, snapshot(folder.path())), QString());
        }
        // The log never claims what did not happen.
        QCOMPARE(anyLineContains(log.lines, QStringLiteral("....Updated the Tollvik.ini file.")),
                 !failSettings);
    }

    // A settings write on a full disk, into an earlier file or at a first start (the refused
    // write without mounts is a folder fault test): nothing changes, the texts are kept.
    void settingsWriteOnAFullDiskKeepsTheFile_data()
    {
        QTest::addColumn<bool>("firstStart");
        QTest::newRow("earlier file") << false;
        QTest::newRow("first start") << true;
    }

    void settingsWriteOnAFullDiskKeepsTheFile()
    {
        QFETCH(bool, firstStart);
        requireMounts();
        ProgramFolder outer;
        ScopedMount mount;
        const QString root = programRoot(outer, mount, 64 * 1024);
        QVERIFY2(!root.isEmpty(), qPrintable(mount.error()));
        const QString programFolder = root + QLatin1Char('/');
        const QString ini = programFolder + QStringLiteral("Tollvik.ini");
        const QStringList gatso(30, QStringLiteral("Gatso"));
        RecordingLog log;
        QStringList texts = gatso;
        if (!firstStart) // A first start writes the file from the defaults.
            QVERIFY(GetINIData(programFolder, texts, log).ok());
        const QByteArray earlier = readAll(ini);
        QVERIFY(fillDisk(root) >= 0);
        const FolderSnapshot before = snapshot(root);
        if (firstStart) {
            QVERIFY(!GetINIData(programFolder, texts, log).ok());
            QCOMPARE(log.lines.size(), 1);
            QVERIFY2(log.lines[0].contains(QStringLiteral("could not be written")),
                     qPrintable(log.lines[0]));
        } else {
            const Status written = WriteIniValue(ini, QStringLiteral("MenuText"),
                                                     QStringLiteral("Item05"), QString(4000, u'x'));
            QVERIFY(!written.ok());
            QVERIFY2(written.error().contains(kNoSpace), qPrintable(written.error()));
            // The next start still reads the earlier texts.
            texts = QStringList(30);
            QVERIFY(GetINIData(programFolder, texts, log).ok());
        }
        QCOMPARE(texts, gatso);
        QVERIFY_UNCHANGED(before, root);
        QCOMPARE(readAll(ini), earlier);
    }

    // The loads copy the chosen file into Temp/: a full Temp/ keeps the earlier working copy.
    void loadsOnAFullDiskKeepTheEarlierWorkingCopy_data()
    {
        QTest::addColumn<bool>("archive");
        QTest::newRow("archive") << true;
        QTest::newRow("navigator") << false;
    }

    void loadsOnAFullDiskKeepTheEarlierWorkingCopy()
    {
        QFETCH(bool, archive);
        requireMounts();
        ProgramFolder folder;
        ArchiveScene chk(folder);
        NavigatorScene nav(folder);
        ScopedMount mount;
        const qint64 size = archive ? chk.original.size() : nav.original.size();
        QVERIFY2(mount.tmpfs(folder.temp(), 4 * size + 65536), qPrintable(mount.error()));
        if (archive)
            QVERIFY_PREPARED(chk);
        else
            QVERIFY_PREPARED(nav);
        QVERIFY(fillDisk(folder.temp(), size / 2) >= 0);
        const FolderSnapshot before = snapshot(folder.path());
        RecordingLog log;
        if (archive) {
            QVERIFY(!chk.reload(log));
            QVERIFY_LOGGED(log.lines, QStringLiteral("Problem loading file: cannot copy"));
        } else {
            const NavigatorState earlier = nav.state;
            QVERIFY(!loadNavigatorFile(nav.chosen, folder.path(), nav.state, log).ok());
            QCOMPARE(nav.state.SourcePath, earlier.SourcePath);
            QVERIFY_LOGGED(log.lines, QStringLiteral("Cannot copy the TTN file"));
        }
        QVERIFY_LOGGED(log.lines, kNoSpace);
        QVERIFY_UNCHANGED(before, folder.path());
    }
};

TOLLVIK_FAULT_TEST_MAIN(DiskFullTest, QCoreApplication)
#include "test_faults_diskfull.moc"
