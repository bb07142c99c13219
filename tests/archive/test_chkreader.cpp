// Loading and listing a base archive, and the single sounds taken from it or put into it.
#include "archive/archive.h"
#include "chkfactory.h"
#include "testsupport.h"

#include <QTest>

using namespace tollvik;
using namespace tollvik::test;

class TestChkReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadListsTheThirtyEntriesBeforeTheLast_data()
    {
        QTest::addColumn<int>("entries");
        QTest::newRow("31 entries: slot 0 is entry 1") << 31;
        QTest::newRow("102 entries list like any other") << 102;
        QTest::newRow("200 entries: slot 0 is entry 170") << 200;
    }

    void loadListsTheThirtyEntriesBeforeTheLast()
    {
        QFETCH(int, entries);
        ProgramFolder folder;
        const ChkArchive archive = makeChk(entries);
        const QString W = folder.temp("data.chk");
        QVERIFY(writeAll(folder.file("nav/data.chk"), archive.bytes()));
        QVERIFY(writeAll(W, makeChk(40).bytes())); // an earlier load of the same name
        RecordingLog log;
        const auto loaded = LoadBaseChk(folder.file("nav/data.chk"), folder.path(), log);
        QVERIFY(loaded);
        QCOMPARE(loaded->workingPath, W);
        QCOMPARE(loaded->baseArchiveName, QStringLiteral("data.chk"));
        QCOMPARE(readAll(W), archive.bytes());
        QCOMPARE(log.lines,
                 QStringList({"Loaded " + W + " as base .chk file.",
                              "....Highlight menu item/sound with mouse then",
                              "....Play sounds by pressing the 'speaker' button.",
                              "....Include an external .ogg by pressing the '...' button",
                              "....Save a sound by pressing the 'S' button."}) +
                     listingOf(archive));
        // The last slot's sound exports as its Ogg stream, over a longer file, logging nothing.
        const QString target = exportSuggestedName(folder.path(), loaded->listing.labels[29]);
        QCOMPARE(target, folder.path() + "Sound 30.ogg");
        QVERIFY(writeAll(target, QByteArray(200000, 'x')));
        QVERIFY(exportSlotSound(W, loaded->listing.table[29], target, log));
        QCOMPARE(readAll(target), oggSounds()[29 % 4]);
        QCOMPARE(log.lines.size(), 5 + 31);
    }

    void importLogsThePathVerbatim()
    {
        QCOMPARE(importLogLine("C:\\snd\\radar.ogg", 4), "Load C:\\snd\\radar.ogg to position 5");
        QCOMPARE(importLogLine("/snd/%2 %1.ogg", 29), "Load /snd/%2 %1.ogg to position 30");
    }
};

QTEST_GUILESS_MAIN(TestChkReader)
#include "test_chkreader.moc"
