// Temp/ and Modified/ read-only, missing or replaced by a file, and a read-only settings file:
// every operation that writes there logs a clear line, reports the failure and leaves every
// earlier file as it was; once the folder is repaired, a restarted operation works.
#include "faultkit.h"
#include "scenes.h"
#include "settings/ini.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace tollvik;
using namespace tollvik::test;

namespace {

enum class Operation
{
    ArchiveLoad,
    Build,
    Export,
    NavigatorLoad,
    NavigatorSave,
};

enum class Where
{
    Temp,
    Modified,
};

// What an operation under a folder fault must do: succeed or not, log a line with this text,
// and change only these files (relative to the program folder).
struct Expectation
{
    bool ok = false;
    QString logged;
    QStringList changed;
};

} // namespace

Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(Where)
Q_DECLARE_METATYPE(FolderFault)
Q_DECLARE_METATYPE(ReadOnlyRoute)

class FolderFaultTest : public QObject
{
    Q_OBJECT

private:
    static void addRows(Operation op, const char* opName, bool hookRoute)
    {
        for (Where where : {Where::Temp, Where::Modified}) {
            const char* folderName = where == Where::Temp ? "Temp" : "Modified";
            const std::pair<FolderFault, const char*> faults[] = {
                {FolderFault::ReadOnly, "read-only"},
                {FolderFault::Missing, "missing"},
                {FolderFault::ReplacedByFile, "a file"}};
            for (const auto& [fault, faultName] : faults) {
                QTest::addRow("%s, %s %s", opName, folderName, faultName)
                    << op << where << fault << ReadOnlyRoute::Mount;
                if (fault == FolderFault::ReadOnly && hookRoute)
                    QTest::addRow("%s, %s %s (file layer)", opName, folderName, faultName)
                        << op << where << fault << ReadOnlyRoute::Hook;
            }
        }
    }

    static Expectation expectationFor(Operation op, Where where, FolderFault fault)
    {
        const bool temp = where == Where::Temp;
        const bool gone = fault != FolderFault::ReadOnly;
        switch (op) {
        case Operation::ArchiveLoad:
            if (!temp)
                return {true, QStringLiteral("Loaded "), {QStringLiteral("Temp/voice.chk")}};
            return {false, QStringLiteral("Problem loading file: cannot copy"), {}};
        case Operation::Build:
            if (temp && gone)
                return {false, QStringLiteral("....Cannot open the working copy"), {}};
            if (!temp && gone)
                return {
                    false,
                    QStringLiteral("Modified is missing or is not a folder; nothing was written."),
                    {}};
            // The output is written first; the working copy then stays as it was.
            if (temp)
                return {false,
                        QStringLiteral("but the working copy could not be replaced"),
                        {QStringLiteral("Modified/voice.chk")}};
            return {false, QStringLiteral("....Writing the new archive failed"), {}};
        case Operation::Export:
            if (temp && gone)
                return {false, QStringLiteral("Cannot save the sound: reading"), {}};
            if (temp)
                return {true, QString(), {QStringLiteral("Modified/Sound 01.ogg")}};
            return {false, QStringLiteral("Cannot save the sound to"), {}};
        case Operation::NavigatorLoad:
            if (!temp)
                return {true, QStringLiteral("TTN file "), {}};
            return {false, QStringLiteral("Cannot copy the TTN file"), {}};
        case Operation::NavigatorSave:
            if (temp && gone)
                return {false, QStringLiteral("is missing or empty"), {}};
            if (temp)
                return {true,
                        QStringLiteral("Cannot refresh the working file"),
                        {QStringLiteral("Modified/TomTom.exe"), QStringLiteral("Tollvik.ini")}};
            return {false, QStringLiteral("....Could not save"), {}};
        }
        return {};
    }

    // Runs the operation once on the prepared scene; returns whether it reported success.
    static bool run(Operation op, ArchiveScene& archive, NavigatorScene& navigator,
                    const ProgramFolder& folder, RecordingLog& log)
    {
        switch (op) {
        case Operation::ArchiveLoad:
            return archive.reload(log);
        case Operation::Build:
            return data_chk_reload(archive.input({{1, 1}, {29, 2}}), log).ok();
        case Operation::Export: {
            RecordingLog listingLog;
            const Result<ChkListing> listed = Get_Chk_info(archive.working, listingLog);
            const SlotSound row = listed ? listed->table[0] : SlotSound{16, 100};
            return exportSlotSound(archive.working, row,
                                   folder.modified(QStringLiteral("Sound 01.ogg")), log)
                .ok();
        }
        case Operation::NavigatorLoad: {
            // A failed load keeps the state of the earlier one.
            const NavigatorState before = navigator.state;
            const bool loaded = navigator.reload(log);
            if (!loaded)
                navigator.state = before;
            return loaded;
        }
        case Operation::NavigatorSave:
            return saveModifiedNavigator(navigator.state, NavigatorScene::textsB(), folder.path(),
                                         log)
                .ok();
        }
        return false;
    }

private Q_SLOTS:
    void operationsSurviveAnUnusableWorkingFolder_data()
    {
        QTest::addColumn<Operation>("op");
        QTest::addColumn<Where>("where");
        QTest::addColumn<FolderFault>("fault");
        QTest::addColumn<ReadOnlyRoute>("route");
        addRows(Operation::ArchiveLoad, "archive load", true);
        addRows(Operation::Build, "build", true);
        addRows(Operation::Export, "export", true);
        addRows(Operation::NavigatorLoad, "navigator load", true);
        addRows(Operation::NavigatorSave, "navigator save", true);
    }

    void operationsSurviveAnUnusableWorkingFolder()
    {
        QFETCH(Operation, op);
        QFETCH(Where, where);
        QFETCH(FolderFault, fault);
        QFETCH(ReadOnlyRoute, route);

        ProgramFolder folder;
        ArchiveScene archive(folder);
        NavigatorScene navigator(folder);
        const bool onArchive =
            op == Operation::ArchiveLoad || op == Operation::Build || op == Operation::Export;
        if (onArchive) {
            QVERIFY_PREPARED(archive);
            // An earlier export, to be kept when the next one fails.
            QVERIFY(writeAll(folder.modified(QStringLiteral("Sound 01.ogg")), "earlier export"));
        } else {
            QVERIFY_PREPARED(navigator);
        }

        const QString target = where == Where::Temp ? folder.temp() : folder.modified();
        ScopedFolderFault faulty(target, fault, route);
        if (!faulty.unavailable().isEmpty())
            QSKIP(qPrintable(faulty.unavailable()));
        const FolderSnapshot before = snapshot(folder.path());

        RecordingLog log;
        const bool ok = run(op, archive, navigator, folder, log);
        const Expectation expected = expectationFor(op, where, fault);
        QCOMPARE(ok, expected.ok);
        if (!expected.logged.isEmpty())
            QVERIFY_LOGGED(log.lines, expected.logged);
        if (!ok) {
            QVERIFY(!anyLineContains(log.lines, QStringLiteral("Done")));
            QVERIFY(!anyLineContains(log.lines, QStringLiteral(" copied to the ")));
        }

        FolderSnapshot after = snapshot(folder.path());
        FolderSnapshot expectedAfter = before;
        for (const QString& name : expected.changed) {
            if (after.contains(name))
                expectedAfter.insert(name, after.value(name));
        }
        QCOMPARE(differences(expectedAfter, after), QString());

        // Repaired, a restarted program loads and writes again.
        faulty.repair();
        RecordingLog again;
        if (onArchive) {
            QVERIFY(archive.reload(again));
            QVERIFY(data_chk_reload(archive.input({{2, 1}}), again).ok());
            QCOMPARE(readAll(archive.output), readAll(archive.working));
        } else {
            // A failed load or save kept the state naming the earlier, intact working copy.
            QCOMPARE(navigator.state.workingCopyPath, navigator.working);
            QVERIFY(navigator.reload(again));
            QVERIFY(saveModifiedNavigator(navigator.state, NavigatorScene::textsB(), folder.path(),
                                          again)
                        .ok());
            QCOMPARE(readAll(navigator.output),
                     expectedSave(navigator.original, NavigatorScene::textsB()).first);
        }
    }

    // The settings file beside the program: a read-only folder, a read-only file (by the file
    // layer, as root may write anyway) or a folder where the file should be.
    void settingsWritesSurviveAnUnwritableSettingsFile_data()
    {
        QTest::addColumn<int>("variant");
        QTest::newRow("program folder read-only") << 0;
        QTest::newRow("file layer refuses the settings file") << 1;
        QTest::newRow("Tollvik.ini is a folder") << 2;
    }

    void settingsWritesSurviveAnUnwritableSettingsFile()
    {
        QFETCH(int, variant);
        ProgramFolder folder;
        const QString ini = folder.path() + QStringLiteral("Tollvik.ini");
        const QString section = QStringLiteral("MenuText");
        if (variant != 2)
            QVERIFY(
                WriteIniValue(ini, section, QStringLiteral("Item01"), QStringLiteral("Gatso")).ok());

        std::unique_ptr<ScopedFolderFault> faulty;
        std::unique_ptr<ScopedWriteFault> hook;
        if (variant == 0) {
            faulty = std::make_unique<ScopedFolderFault>(folder.path(), FolderFault::ReadOnly);
            if (!faulty->unavailable().isEmpty())
                QSKIP(qPrintable(faulty->unavailable()));
        } else if (variant == 1) {
            hook = std::make_unique<ScopedWriteFault>(
                failWritesUnder(ini, QStringLiteral("Permission denied")));
        } else {
            QVERIFY(QDir().mkpath(ini));
        }
        const FolderSnapshot before = snapshot(folder.path());

        const Status written =
            WriteIniValue(ini, section, QStringLiteral("Item01"), QStringLiteral("Truvelo"));
        QVERIFY(!written.ok());
        QVERIFY(!written.error().isEmpty());

        // The start-up read logs one line and keeps the texts it had.
        RecordingLog log;
        QStringList texts(30, QStringLiteral("Default"));
        const Status read = GetINIData(folder.path(), texts, log);
        if (variant == 2) {
            QVERIFY(!read.ok());
            QCOMPARE(log.lines.size(), 1);
            QVERIFY2(log.lines[0].startsWith(QStringLiteral("Settings file ")),
                     qPrintable(log.lines[0]));
            QCOMPARE(texts, QStringList(30, QStringLiteral("Default")));
        } else {
            QVERIFY(read.ok());
            QCOMPARE(texts.value(0), QStringLiteral("Gatso"));
        }
        QVERIFY_UNCHANGED(before, folder.path());
    }
};

TOLLVIK_FAULT_TEST_MAIN(FolderFaultTest, QCoreApplication)
#include "test_faults_folders.moc"
