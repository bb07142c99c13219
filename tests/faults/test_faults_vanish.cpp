// A chosen file, a working copy or an external .ogg that vanishes or changes between the click
// and the read: each operation logs a clear line, reports the failure and keeps every earlier
// file; a load never leaves a working copy other than the file it checked.
#include "chkfactory.h"
#include "faultkit.h"
#include "navigatorfiles.h"
#include "scenes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace tollvik;
using namespace tollvik::test;

namespace {

// Rewrites a file in place (same inode, so that a reader that already opened it sees the change).
void rewriteInPlace(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::ReadWrite)) {
        file.resize(0);
        file.write(bytes);
    }
}

// Runs `change` once, the first time the file layer is about to write to `target`: after the
// loads have checked the chosen file, before they copy it.
WriteFaultHook changeBeforeWriting(const QString& target, std::function<void()> change)
{
    auto done = std::make_shared<bool>(false);
    const QString t = QDir::cleanPath(target);
    return [t, change = std::move(change), done](const QString& path) {
        if (!*done && QDir::cleanPath(path) == t) {
            *done = true;
            change();
        }
        return QString();
    };
}

enum class Change
{
    Vanish,
    Truncate,
    Garbage,
};

void applyChange(Change change, const QString& path, const QByteArray& original)
{
    if (change == Change::Vanish)
        QFile::remove(path);
    else
        rewriteInPlace(path, change == Change::Truncate ? original.left(original.size() / 2)
                                                        : QByteArray(original.size(), 'g'));
}

} // namespace

Q_DECLARE_METATYPE(Change)

class VanishTest : public QObject
{
    Q_OBJECT

private:
    static void addChangeRows()
    {
        QTest::addColumn<Change>("change");
        QTest::newRow("vanished") << Change::Vanish;
        QTest::newRow("truncated") << Change::Truncate;
        QTest::newRow("overwritten") << Change::Garbage;
    }

private Q_SLOTS:
    // The chosen archive changes after the click, or after the load checked it and before it
    // copies it: the load lists exactly what it copied, or fails and keeps every earlier file.
    void archiveLoadOfAFileThatChanges_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("duringTheLoad");
        for (const bool during : {false, true}) {
            const char* when = during ? "during the load" : "after the click";
            QTest::addRow("vanished %s", when) << Change::Vanish << during;
            QTest::addRow("truncated %s", when) << Change::Truncate << during;
            QTest::addRow("overwritten %s", when) << Change::Garbage << during;
        }
    }
    void archiveLoadOfAFileThatChanges()
    {
        QFETCH(Change, change);
        QFETCH(bool, duringTheLoad);
        ProgramFolder folder;
        ArchiveScene scene(folder);
        QVERIFY_PREPARED(scene);
        const auto tamper = [&] {
            applyChange(change, scene.chosen, scene.original);
        };
        if (!duringTheLoad)
            tamper();
        const FolderSnapshot before = snapshot(folder.path());
        RecordingLog log;
        Result<LoadedChk> result = fail(QString());
        {
            ScopedWriteFault seam(
                changeBeforeWriting(duringTheLoad ? scene.working : QString(), tamper));
            result = LoadBaseChk(scene.chosen, folder.path(), log);
        }
        if (result) {
            // The load read the file before it changed: what it lists is what it copied.
            QVERIFY(duringTheLoad);
            QCOMPARE(readAll(scene.working), scene.original);
            return;
        }
        QCOMPARE(result.refusal(), Refusal::Failed);
        QVERIFY_LOGGED(log.lines, QStringLiteral("Problem loading file"));
        QVERIFY(!anyLineContains(log.lines, QStringLiteral("Loaded ")));
        QCOMPARE(
            differencesBesides(before, snapshot(folder.path()), QStringLiteral("device/voice.chk")),
            QString());
    }

    // The chosen navigator file changes after the click, or after the identification.
    void navigatorLoadOfAFileThatChanges_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("duringTheLoad");
        QTest::newRow("vanished after the click") << Change::Vanish << false;
        QTest::newRow("truncated after the click") << Change::Truncate << false;
        QTest::newRow("vanished during the load") << Change::Vanish << true;
        QTest::newRow("truncated during the load") << Change::Truncate << true;
        QTest::newRow("overwritten during the load") << Change::Garbage << true;
    }

    void navigatorLoadOfAFileThatChanges()
    {
        QFETCH(Change, change);
        QFETCH(bool, duringTheLoad);
        ProgramFolder folder;
        NavigatorScene scene(folder);
        QVERIFY_PREPARED(scene);
        // A second file of another build, loaded over the first one.
        const QString other = folder.file(QStringLiteral("device2/TomTom.exe"));
        const QByteArray otherBytes = makeNavigatorFile(10);
        QVERIFY(writeAll(other, otherBytes));
        const NavigatorState earlier = scene.state;
        const FolderSnapshot before = snapshot(folder.path());

        RecordingLog log;
        Result<const NavigatorBuild*> result = fail(QString());
        {
            const auto tamper = [&] {
                applyChange(change, other, otherBytes);
            };
            if (!duringTheLoad)
                tamper();
            ScopedWriteFault seam(
                changeBeforeWriting(duringTheLoad ? scene.working : QString(), tamper));
            result = loadNavigatorFile(other, folder.path(), scene.state, log);
        }
        if (result.ok()) {
            // Loaded as the build it read: the working copy is exactly that file.
            QCOMPARE(readAll(scene.working), otherBytes);
            QCOMPARE(scene.state.VersionIndex, qint16(10));
            return;
        }
        QVERIFY2(result.refusal() == Refusal::Failed, qPrintable(log.lines.join(u'\n')));
        QVERIFY(!log.lines.isEmpty());
        QVERIFY(!anyLineContains(log.lines, QStringLiteral(" loaded.")));
        QCOMPARE(scene.state.VersionIndex, earlier.VersionIndex);
        QCOMPARE(scene.state.SourcePath, earlier.SourcePath);
        QCOMPARE(scene.state.workingCopyPath, earlier.workingCopyPath);
        QCOMPARE(differencesBesides(before, snapshot(folder.path()),
                                    QStringLiteral("device2/TomTom.exe")),
                 QString());
        // The earlier file still saves.
        RecordingLog again;
        QVERIFY2(
            saveModifiedNavigator(scene.state, NavigatorScene::textsB(), folder.path(), again).ok(),
            qPrintable(again.lines.join(u'\n')));
    }

    // The working copy of the archive, or an imported .ogg, changes between the import click and
    // the build.
    void buildAfterAFileChanged_data()
    {
        QTest::addColumn<bool>("workingCopy");
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("logged");
        QTest::newRow("working copy vanished")
            << true << Change::Vanish << QStringLiteral("....Cannot open the working copy");
        QTest::newRow("working copy truncated")
            << true << Change::Truncate << QStringLiteral("....File size mismatch! Reported:");
        QTest::newRow("working copy overwritten")
            << true << Change::Garbage << QStringLiteral("; nothing was written.");
        QTest::newRow(".ogg vanished")
            << false << Change::Vanish << QStringLiteral("....Cannot read");
        QTest::newRow(".ogg truncated to nothing")
            << false << Change::Truncate << QStringLiteral("is not an Ogg sound");
        QTest::newRow(".ogg overwritten")
            << false << Change::Garbage << QStringLiteral("is not an Ogg sound");
        QTest::newRow(".ogg grown too long")
            << false << Change::Garbage << QStringLiteral("a sound can hold at most");
    }

    void buildAfterAFileChanged()
    {
        QFETCH(bool, workingCopy);
        QFETCH(Change, change);
        QFETCH(QString, logged);
        ProgramFolder folder;
        ArchiveScene scene(folder);
        QVERIFY_PREPARED(scene);
        if (workingCopy) {
            applyChange(change, scene.working, readAll(scene.working));
        } else if (QByteArray(QTest::currentDataTag()).contains("too long")) {
            rewriteInPlace(scene.sounds[1], oggOfSize(int(kMaxExternalSoundBytes) + 1));
        } else if (change == Change::Truncate) {
            rewriteInPlace(scene.sounds[1], "Ogg");
        } else {
            applyChange(change, scene.sounds[1], scene.soundBytes[1]);
        }
        const FolderSnapshot before = snapshot(folder.path());
        RecordingLog log;
        QVERIFY(!data_chk_reload(scene.input({{1, 1}}), log));
        QVERIFY_LOGGED(log.lines, logged);
        QVERIFY(!anyLineContains(log.lines, QStringLiteral("Done")));
        QVERIFY_UNCHANGED(before, folder.path());
    }

    // Export and preview read the listed range of the working copy.
    void exportAndPreviewOfAWorkingCopyThatChanged_data() { addChangeRows(); }
    void exportAndPreviewOfAWorkingCopyThatChanged()
    {
        QFETCH(Change, change);
        ProgramFolder folder;
        ArchiveScene scene(folder);
        QVERIFY_PREPARED(scene);
        RecordingLog listingLog;
        const Result<ChkListing> listed = Get_Chk_info(scene.working, listingLog);
        QVERIFY(listed);
        const SlotSound last = listed->table[29];
        const QString target = folder.file(QStringLiteral("Sound 30.ogg"));
        QVERIFY(writeAll(target, "an earlier export"));
        const QByteArray working = readAll(scene.working);
        if (change == Change::Garbage)
            rewriteInPlace(scene.working, working.left(last.dataOffset));
        else
            applyChange(change, scene.working, working);
        const FolderSnapshot before = snapshot(folder.path());

        RecordingLog log;
        const Status exported = exportSlotSound(scene.working, last, target, log);
        QVERIFY(!exported.ok());
        QCOMPARE(log.lines.size(), 1);
        QVERIFY2(log.lines[0].startsWith(QStringLiteral("Cannot save the sound: reading ")),
                 qPrintable(log.lines[0]));
        QVERIFY(!readSlotSound(scene.working, last).ok());
        QVERIFY_UNCHANGED(before, folder.path());
    }

    // The navigator save: the working copy or the chosen file (SourcePath) changes after the
    // load.
    void saveAfterAFileChanged_data()
    {
        QTest::addColumn<bool>("workingCopy");
        QTest::addColumn<Change>("change");
        QTest::newRow("working copy vanished") << true << Change::Vanish;
        QTest::newRow("working copy truncated") << true << Change::Truncate;
        QTest::newRow("working copy overwritten") << true << Change::Garbage;
        QTest::newRow("chosen file vanished") << false << Change::Vanish;
        QTest::newRow("chosen file truncated") << false << Change::Truncate;
        QTest::newRow("chosen file overwritten") << false << Change::Garbage;
    }

    void saveAfterAFileChanged()
    {
        QFETCH(bool, workingCopy);
        QFETCH(Change, change);
        ProgramFolder folder;
        NavigatorScene scene(folder);
        QVERIFY_PREPARED(scene);
        applyChange(change, workingCopy ? scene.working : scene.chosen, scene.original);
        const FolderSnapshot before = snapshot(folder.path());

        RecordingLog log;
        const Result<WorkingCopy> result =
            saveModifiedNavigator(scene.state, NavigatorScene::textsB(), folder.path(), log);
        if (workingCopy) {
            QVERIFY(!result.ok());
            QCOMPARE(log.lines.size(), 1);
            QVERIFY2(log.lines[0].startsWith(QStringLiteral("Cannot save the modified TTN file: ")),
                     qPrintable(log.lines[0]));
            QVERIFY_UNCHANGED(before, folder.path());
            return;
        }
        // The output is made from the intact working copy, which is kept.
        QVERIFY(result.ok());
        QVERIFY(result.value() == WorkingCopy::Kept);
        QVERIFY2(
            anyLineContains(log.lines, QStringLiteral("the working copy is kept. The output "
                                                      "in the 'Modified' folder is complete.")),
            qPrintable(log.lines.join(u'\n')));
        const auto [output, ini] = expectedSave(scene.original, NavigatorScene::textsB());
        QCOMPARE(readAll(scene.output), output);
        QCOMPARE(readAll(scene.ini), ini);
        QCOMPARE(readAll(scene.working), scene.original);
    }
};

TOLLVIK_FAULT_TEST_MAIN(VanishTest, QCoreApplication)
#include "test_faults_vanish.moc"
