#include "core/fileio.h"
#include "core/paths.h"
#include "navigatorfiles.h"
#include "patcher/patcher.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <unistd.h>

using namespace tollvik;
using namespace tollvik::test;
using Outcome = LoadNavigatorResult::Outcome;

class TestIdentify : public QObject
{
    Q_OBJECT

private:
    static QString writeFile(const ProgramFolder& folder, const QString& relative,
                             const QByteArray& data)
    {
        const QString path = folder.file(relative);
        writeAll(path, data);
        return path;
    }

    static IdentifyResult identify(const QByteArray& data)
    {
        ProgramFolder folder;
        return IdentifyNavigatorFile(writeFile(folder, QStringLiteral("navcore"), data));
    }

    static QStringList loadLines(const QString& chosen, const QString& temp)
    {
        return {QStringLiteral("File %1 copied to the \\Temp folder.").arg(chosen),
                QStringLiteral("TTN file %1 loaded.").arg(temp),
                QStringLiteral("....if you elect to alter this file, the texts in the green"),
                QStringLiteral("....textboxes will be written to the .exe file, along with"),
                QStringLiteral("....the required changes to the code allowing all 30 sounds"),
                QStringLiteral("....to be played from within TomTom.")};
    }

private Q_SLOTS:
    // Each build is recognised by its three probe bytes; one probe byte off by one, or a probe
    // just past the end of the file, is no build at all.
    void identifiesEveryBuild_data()
    {
        QTest::addColumn<int>("index");
        for (const ExpectedBuild& build : expectedBuilds())
            QTest::addRow("%d", build.index) << build.index;
    }
    void identifiesEveryBuild()
    {
        QFETCH(int, index);
        const ExpectedBuild& expected = expectedBuild(index);
        const IdentifyResult result = identify(makeNavigatorFile(index));
        QVERIFY(result.recognised && !result.readFailed && result.build);
        QCOMPARE(result.build->versionIndex, index);
        QCOMPARE(result.build->caption.toString(), QString::fromLatin1(expected.caption));
        QCOMPARE(result.build->picture,
                 expected.go ? DevicePicture::GoDevice : DevicePicture::Handheld);

        qint32 last = 0;
        for (const auto& [offset, value] : expected.probes) {
            last = std::max(last, offset);
            for (const int delta : {1, -1}) {
                QByteArray data = makeNavigatorFile(index);
                data[offset] = static_cast<char>(value + delta);
                const IdentifyResult miss = identify(data);
                QVERIFY(!miss.readFailed && !miss.recognised && !miss.build);
            }
        }
        const QByteArray full = makeNavigatorFile(index, last + 1);
        QVERIFY(identify(full).recognised);
        const IdentifyResult shortResult = identify(full.left(last));
        QVERIFY(!shortResult.recognised && !shortResult.readFailed);
    }

    void takesLowerIndexWhenTwoEntriesMatch_data()
    {
        QTest::addColumn<int>("lower");
        QTest::addColumn<int>("higher");
        QTest::newRow("5 and 14") << 5 << 14;
        QTest::newRow("1 and 15") << 1 << 15;
        QTest::newRow("4 and 12") << 4 << 12;
    }
    void takesLowerIndexWhenTwoEntriesMatch()
    {
        QFETCH(int, lower);
        QFETCH(int, higher);
        QByteArray data = makeNavigatorFile(higher);
        for (const auto& [offset, value] : expectedBuild(lower).probes)
            data[offset] = static_cast<char>(value);
        const IdentifyResult result = identify(data);
        QVERIFY(result.recognised);
        QCOMPARE(result.build->versionIndex, lower);
    }

    void neverRecognisesTheDormantPhoneBuild()
    {
        QByteArray data = makeFillerFile();
        data[0x17C500] = 0x6D;
        data[0x17C520] = 0x25;
        data[0x17C540] = 0x25;
        QVERIFY(!identify(data).recognised);
        QVERIFY(findNavigatorBuild(0) == nullptr);
    }

    void reportsUnreadableFile()
    {
        ProgramFolder folder;
        const IdentifyResult missing = IdentifyNavigatorFile(folder.file(QStringLiteral("none")));
        QVERIFY(missing.readFailed && !missing.recognised && !missing.error.isEmpty());
    }

    void loadCopiesRecognisedFileIntoTemp()
    {
        ProgramFolder folder;
        const QByteArray data = makeNavigatorFile(5);
        const QString chosen = writeFile(folder, QStringLiteral("device/TomTom.exe"), data);
        NavigatorState state;
        RecordingLog log;

        const LoadNavigatorResult result = loadNavigatorFile(chosen, folder.path(), state, log);
        QCOMPARE(result.outcome, Outcome::Loaded);
        QCOMPARE(result.build->versionIndex, 5);
        const QString temp = folder.temp(QStringLiteral("TomTom.exe"));
        QCOMPARE(state.VersionIndex, 5);
        QCOMPARE(state.SourcePath, chosen);
        QCOMPARE(state.WorkingFileNames[5], QStringLiteral("TomTom.exe"));
        QCOMPARE(state.workingCopyPath, temp);
        QCOMPARE(readAll(temp), data);
        QCOMPARE(readAll(chosen), data);
        QCOMPARE(log.lines, loadLines(chosen, temp));
    }

    void loadKeepsLaterNameAndReplacesSameNamedCopy()
    {
        ProgramFolder folder;
        const QString first = writeFile(folder, QStringLiteral("a/one.exe"), makeNavigatorFile(13));
        QByteArray other = makeNavigatorFile(13);
        other[10] = 'x';
        const QString second = writeFile(folder, QStringLiteral("b/two.exe"), other);
        const QString again = writeFile(folder, QStringLiteral("c/one.exe"), other);
        NavigatorState state;
        RecordingLog log;
        QCOMPARE(loadNavigatorFile(first, folder.path(), state, log).outcome, Outcome::Loaded);
        QCOMPARE(loadNavigatorFile(second, folder.path(), state, log).outcome, Outcome::Loaded);
        QCOMPARE(state.WorkingFileNames[13], QStringLiteral("two.exe"));
        QCOMPARE(state.SourcePath, second);
        // The earlier working copy stays in Temp/.
        QCOMPARE(readAll(folder.temp(QStringLiteral("one.exe"))), makeNavigatorFile(13));
        QCOMPARE(loadNavigatorFile(again, folder.path(), state, log).outcome, Outcome::Loaded);
        QCOMPARE(readAll(folder.temp(QStringLiteral("one.exe"))), other);
    }

    void cancelledLoadDoesNothing()
    {
        ProgramFolder folder;
        NavigatorState state;
        RecordingLog log;
        QCOMPARE(loadNavigatorFile(QString(), folder.path(), state, log).outcome,
                 Outcome::Cancelled);
        QVERIFY(log.lines.isEmpty());
        QCOMPARE(state.VersionIndex, 0);
    }

    // Every refused or failed load after a good one leaves the state, the log apart from its
    // lines, and every file exactly as they were.
    void laterBadLoadKeepsEarlierFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("exact working path") << QStringLiteral("exact");
        QTest::newRow("working path via ..") << QStringLiteral("dotdot");
        QTest::newRow("working path via symlink") << QStringLiteral("symlink");
        QTest::newRow("unrecognised") << QStringLiteral("unrecognised");
        QTest::newRow("missing file") << QStringLiteral("missing");
        QTest::newRow("a folder") << QStringLiteral("folder");
        QTest::newRow("unreadable file") << QStringLiteral("unreadable");
        QTest::newRow("copy into Temp fails") << QStringLiteral("copyfault");
    }

    void laterBadLoadKeepsEarlierFile()
    {
        QFETCH(QString, kind);
        ProgramFolder folder;
        const QByteArray good = makeNavigatorFile(12);
        const QString chosen = writeFile(folder, QStringLiteral("in/nav.exe"), good);
        NavigatorState state;
        RecordingLog log;
        QCOMPARE(loadNavigatorFile(chosen, folder.path(), state, log).outcome, Outcome::Loaded);
        const QString temp = folder.temp(QStringLiteral("nav.exe"));
        const NavigatorState before = state;
        log.lines.clear();

        QString path;
        Outcome expected = Outcome::RefusedSameFile;
        QStringList expectedLines = {u"Connot load file from the working Temp directory!"_qs};
        if (kind == u"exact") {
            path = temp;
        } else if (kind == u"dotdot") {
            path = folder.path() + QStringLiteral("Temp/../Temp/nav.exe");
        } else if (kind == u"symlink") {
            path = folder.file(QStringLiteral("elsewhere/nav.exe"));
            QDir().mkpath(folder.file(QStringLiteral("elsewhere")));
            QVERIFY(QFile::link(temp, path));
        } else if (kind == u"unrecognised") {
            path = writeFile(folder, QStringLiteral("other/nav.exe"), makeFillerFile());
            expected = Outcome::Unrecognised;
            expectedLines = {
                QStringLiteral("TTN file ") + path,
                QStringLiteral("....does not appear to be a TomTom file."),
                QStringLiteral("....Use only an unmodified version of the main executable file.")};
        } else {
            expected = Outcome::Failed;
            path = folder.file(kind == u"folder" ? u"in"_qs : u"gone/nav.exe"_qs);
            expectedLines = {QStringLiteral("Cannot read the TTN file ") + path};
            if (kind == u"copyfault") {
                path = writeFile(folder, QStringLiteral("other/copy.exe"), makeNavigatorFile(4));
                expectedLines = {QStringLiteral("Cannot copy the TTN file ") + path};
                setWriteFaultHookForTesting([](const QString&) { return u"disk full"_qs; });
            } else if (kind == u"unreadable") {
                if (geteuid() == 0)
                    QSKIP("permissions do not bind root");
                path = writeFile(folder, QStringLiteral("locked/nav.exe"), good);
                QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
                expectedLines = {QStringLiteral("Cannot read the TTN file ") + path};
            }
        }

        const LoadNavigatorResult result = loadNavigatorFile(path, folder.path(), state, log);
        setWriteFaultHookForTesting({});
        QCOMPARE(result.outcome, expected);
        if (expected == Outcome::Failed) { // the failure's own text follows the start
            QCOMPARE(log.lines.size(), 1);
            QVERIFY2(log.lines.front().startsWith(expectedLines.front()),
                     qPrintable(log.lines.front()));
        } else {
            QCOMPARE(log.lines, expectedLines);
        }
        QCOMPARE(state.VersionIndex, before.VersionIndex);
        QCOMPARE(state.SourcePath, before.SourcePath);
        QCOMPARE(state.workingCopyPath, before.workingCopyPath);
        QVERIFY(state.WorkingFileNames == before.WorkingFileNames);
        QCOMPARE(readAll(temp), good);
        QCOMPARE(readAll(chosen), good);
        QVERIFY(!QFile::exists(folder.temp(QStringLiteral("copy.exe"))));
    }
};

QTEST_GUILESS_MAIN(TestIdentify)
#include "test_identify.moc"
