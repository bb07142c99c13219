// The listing and the load of a base archive.
#include "archive/archive.h"
#include "chkfactory.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <filesystem>

using namespace tollvik;
using namespace tollvik::test;

class TestChkReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listsTheThirtyEntriesBeforeTheLast_data();
    void listsTheThirtyEntriesBeforeTheLast();
    void loadCopiesTheChosenArchiveAndListsIt();
    void refusesTheWorkingCopyByAnyRoute_data();
    void refusesTheWorkingCopyByAnyRoute();
    void refusesBrokenArchivesChangingNothing_data();
    void refusesBrokenArchivesChangingNothing();
};

void TestChkReader::listsTheThirtyEntriesBeforeTheLast_data()
{
    QTest::addColumn<int>("entries");
    QTest::newRow("31 entries: slot 0 is entry 1") << 31;
    QTest::newRow("102 entries list like any other") << 102;
    QTest::newRow("200 entries: slot 0 is entry 170") << 200;
}

void TestChkReader::listsTheThirtyEntriesBeforeTheLast()
{
    QFETCH(int, entries);
    ProgramFolder folder;
    const ChkArchive archive = makeChk(entries);
    QVERIFY(writeAll(folder.temp("data.chk"), archive.bytes()));
    RecordingLog log;
    const Result<ChkListing> listing = Get_Chk_info(folder.temp("data.chk"), log);
    QVERIFY(listing);
    QCOMPARE(log.lines, listingOf(archive));
    for (int s = 0; s < 30; ++s) {
        const SlotSound& row = listing->table[s];
        QCOMPARE(archive.bytes().mid(row.dataOffset, row.dataLength), oggSounds()[s % 4]);
        QCOMPARE(listing->labels[s], QString::asprintf("Sound %02d", s + 1));
    }
}

void TestChkReader::loadCopiesTheChosenArchiveAndListsIt()
{
    ProgramFolder folder;
    const ChkArchive archive = makeChk(200);
    const QString chosen = folder.file("nav/data.chk");
    const QString W = folder.temp("data.chk");
    QVERIFY(writeAll(chosen, archive.bytes()));
    QVERIFY(writeAll(W, makeChk(31).bytes())); // an earlier load of the same name
    RecordingLog log;
    const Result<LoadedChk> loaded = LoadBaseChk(chosen, folder.path(), log);
    QVERIFY(loaded);
    QCOMPARE(loaded->workingPath, W);
    QCOMPARE(loaded->baseArchiveName, QStringLiteral("data.chk"));
    QCOMPARE(readAll(W), archive.bytes());
    const QStringList expected =
        QStringList{"Loaded " + W + " as base .chk file.",
                    "....Highlight menu item/sound with mouse then",
                    "....Play sounds by pressing the 'speaker' button.",
                    "....Include an external .ogg by pressing the '...' button",
                    "....Save a sound by pressing the 'S' button."} +
        listingOf(archive);
    QCOMPARE(log.lines, expected);
    QCOMPARE(loaded->listing.table[29].dataOffset, archive.offsetOf(199) + 16);
}

void TestChkReader::refusesTheWorkingCopyByAnyRoute_data()
{
    QTest::addColumn<QString>("route");
    QTest::newRow("the same text") << "Temp/data.chk";
    QTest::newRow("through ..") << "Temp/../Temp/data.chk";
    QTest::newRow("a symbolic link to the folder") << "link/data.chk";
    QTest::newRow("a hard link") << "hard/data.chk";
}

void TestChkReader::refusesTheWorkingCopyByAnyRoute()
{
    QFETCH(QString, route);
    ProgramFolder folder;
    const QString W = folder.temp("data.chk");
    QVERIFY(writeAll(W, makeChk(40).bytes()));
    QVERIFY(QFile::link(folder.file("Temp"), folder.file("link")));
    QVERIFY(QDir().mkpath(folder.file("hard")));
    std::filesystem::create_hard_link(W.toStdString(), folder.file("hard/data.chk").toStdString());
    const auto before = filesUnder(folder.path());
    RecordingLog log;
    const Result<LoadedChk> loaded = LoadBaseChk(folder.file(route), folder.path(), log);
    QCOMPARE(loaded.refusal(), Refusal::SameFile);
    QCOMPARE(log.lines, QStringList{"Connot load file from the working Temp directory!"});
    QCOMPARE(filesUnder(folder.path()), before);
}

void TestChkReader::refusesBrokenArchivesChangingNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const ChkArchive good = makeChk(40);
    const qint32 slot0 = 40 - 30; // the table holds entry i's start offset at byte 4 * i
    const auto broken = [&](qsizetype pos, qint32 value) {
        QByteArray b = good.bytes();
        putBe32(b, pos, value);
        return b;
    };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("truncated header") << good.bytes().left(3);
    QTest::newRow("thirty entries") << makeChk(30).bytes();
    QTest::newRow("count past the end") << broken(0, 100000);
    QTest::newRow("overflowing offset") << broken(4 * slot0, qint32(0xFFFFFFF0));
    QTest::newRow("entry inside the offset table") << broken(4 * slot0, 8);
    QTest::newRow("entry past the end") << broken(4 * 40, good.offsetOf(41) + 4);
    QTest::newRow("oversized length")
        << broken(good.offsetOf(slot0) + 12, be32(good.entries[slot0 - 1], 12) + 4);
}

void TestChkReader::refusesBrokenArchivesChangingNothing()
{
    QFETCH(QByteArray, bytes);
    ProgramFolder folder;
    const QString chosen = folder.file("nav/data.chk");
    QVERIFY(writeAll(chosen, bytes));
    QVERIFY(writeAll(folder.temp("data.chk"), makeChk(31).bytes()));
    const auto before = filesUnder(folder.path());
    RecordingLog log;
    QVERIFY(!LoadBaseChk(chosen, folder.path(), log));
    QVERIFY(!Get_Chk_info(chosen, log));
    QCOMPARE(log.lines.size(), 2);
    QVERIFY2(log.lines[0] == "Problem loading file." ||
                 log.lines[0].startsWith("Problem loading file " + chosen + ": "),
             qPrintable(log.lines[0]));
    QVERIFY(log.lines[1].startsWith("Cannot list " + chosen + ": "));
    QCOMPARE(filesUnder(folder.path()), before);
}

QTEST_GUILESS_MAIN(TestChkReader)
#include "test_chkreader.moc"
