// Import and export of single sounds.
#include "archive/archive.h"
#include "chkfactory.h"
#include "testsupport.h"

#include <QTest>

using namespace tollvik;
using namespace tollvik::test;

class TestChkSounds : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void importLogsThePathVerbatim_data();
    void importLogsThePathVerbatim();
    void exportWritesTheOggStreamOverALongerFile();
    void exportRefusalsChangeNoFile_data();
    void exportRefusalsChangeNoFile();
};

void TestChkSounds::importLogsThePathVerbatim_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("line");
    QTest::newRow("plain") << "C:\\snd\\radar.ogg" << 4 << "Load C:\\snd\\radar.ogg to position 5";
    QTest::newRow("%1 in the path") << "/snd/%1.ogg" << 0 << "Load /snd/%1.ogg to position 1";
    QTest::newRow("%2 and %1 in the path")
        << "/snd/%2 %1.ogg" << 29 << "Load /snd/%2 %1.ogg to position 30";
}

void TestChkSounds::importLogsThePathVerbatim()
{
    QFETCH(QString, path);
    QFETCH(int, index);
    QFETCH(QString, line);
    QCOMPARE(importLogLine(path, index), line);
    QCOMPARE(importInitialName(path, "/tool/"), path); // an import starts at the current file
}

void TestChkSounds::exportWritesTheOggStreamOverALongerFile()
{
    ProgramFolder folder;
    const QString working = folder.temp("data.chk");
    QVERIFY(writeAll(working, makeChk(200).bytes()));
    RecordingLog log;
    const Result<ChkListing> listing = Get_Chk_info(working, log);
    QVERIFY(listing);
    const QString target = exportSuggestedName(folder.path(), listing->labels[0]);
    QCOMPARE(target, folder.path() + "Sound 01.ogg");
    QVERIFY(writeAll(target, QByteArray(200000, 'x')));
    log.lines.clear();
    QVERIFY(exportSlotSound(working, listing->table[0], target, log));
    QCOMPARE(readAll(target), oggSounds()[0]);
    QVERIFY(log.lines.isEmpty());
}

void TestChkSounds::exportRefusalsChangeNoFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("shrunk"); // the working copy ends inside the listed sound
    QTest::newRow("working copy shrunk") << "out/radar.ogg" << true;
    QTest::newRow("target folder missing") << "missing/radar.ogg" << false;
    QTest::newRow("target is a folder") << "out" << false;
    QTest::newRow("target is the working copy") << "Temp/../Temp/data.chk" << false;
}

void TestChkSounds::exportRefusalsChangeNoFile()
{
    QFETCH(QString, target);
    QFETCH(bool, shrunk);
    ProgramFolder folder;
    const QString working = folder.temp("data.chk");
    QVERIFY(writeAll(working, makeChk(40).bytes()));
    RecordingLog log;
    const Result<ChkListing> listing = Get_Chk_info(working, log);
    QVERIFY(listing);
    if (shrunk)
        QVERIFY(writeAll(working, readAll(working).left(listing->table[29].dataOffset + 10)));
    QVERIFY(writeAll(folder.file("out/radar.ogg"), "an earlier sound"));
    const auto before = filesUnder(folder.path());
    log.lines.clear();
    QVERIFY(!exportSlotSound(working, listing->table[29], folder.file(target), log));
    QCOMPARE(log.lines.size(), 1);
    QVERIFY2(log.lines[0].startsWith("Cannot save the sound"), qPrintable(log.lines[0]));
    QCOMPARE(filesUnder(folder.path()), before);
}

QTEST_GUILESS_MAIN(TestChkSounds)
#include "test_chksounds.moc"
