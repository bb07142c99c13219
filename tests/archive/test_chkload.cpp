#include "archive/archive.h"
#include "chkfactory.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <filesystem>

using namespace tollvik;
using namespace tollvik::test;
using Outcome = LoadBaseChkResult::Outcome;

namespace {

const QStringList kHints{
    QStringLiteral("....Highlight menu item/sound with mouse then"),
    QStringLiteral("....Play sounds by pressing the 'speaker' button."),
    QStringLiteral("....Include an external .ogg by pressing the '...' button"),
    QStringLiteral("....Save a sound by pressing the 'S' button.")};

} // namespace

class TestChkLoad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadCopiesIntoTempAndLists();
    void secondLoadOfTheSameNameReplacesTheWorkingCopy();
    void refusesTheWorkingCopyByAnyRoute_data();
    void refusesTheWorkingCopyByAnyRoute();
    void refusesBadArchivesBeforeCopying_data();
    void refusesBadArchivesBeforeCopying();
};

void TestChkLoad::loadCopiesIntoTempAndLists()
{
    ProgramFolder folder;
    const QByteArray bytes = makeChk(200).bytes();
    const QString chosen = folder.file("nav/data.chk");
    QVERIFY(writeAll(chosen, bytes));

    RecordingLog log;
    const LoadBaseChkResult r = LoadBaseChk(chosen, folder.path(), log);
    QCOMPARE(r.outcome, Outcome::Loaded);
    const QString W = folder.temp("data.chk");
    QCOMPARE(r.workingPath, W);
    QCOMPARE(r.baseArchiveName, QStringLiteral("data.chk"));
    QCOMPARE(readAll(W), bytes);
    QCOMPARE(readAll(chosen), bytes);

    QCOMPARE(log.lines.size(), 1 + 4 + 31);
    QCOMPARE(log.lines[0], "Loaded " + W + " as base .chk file.");
    QCOMPARE(log.lines.mid(1, 4), kHints);
    RecordingLog listingLog;
    const ChkListing listing = Get_Chk_info(W, listingLog);
    QCOMPARE(log.lines.mid(5), listingLog.lines);
    QVERIFY(r.listing.ok);
    QCOMPARE(r.listing.labels, listing.labels);
    for (int s = 0; s < 30; ++s) {
        QCOMPARE(r.listing.table[s].dataOffset, listing.table[s].dataOffset);
        QCOMPARE(r.listing.table[s].dataLength, listing.table[s].dataLength);
    }
}

void TestChkLoad::secondLoadOfTheSameNameReplacesTheWorkingCopy()
{
    ProgramFolder folder;
    QVERIFY(writeAll(folder.file("a/data.chk"), makeChk(31).bytes()));
    const QByteArray second = makeChk(200).bytes();
    QVERIFY(writeAll(folder.file("b/data.chk"), second));
    RecordingLog log;
    QCOMPARE(LoadBaseChk(folder.file("a/data.chk"), folder.path(), log).outcome, Outcome::Loaded);
    const LoadBaseChkResult r = LoadBaseChk(folder.file("b/data.chk"), folder.path(), log);
    QCOMPARE(r.outcome, Outcome::Loaded);
    QCOMPARE(readAll(folder.temp("data.chk")), second);
    QCOMPARE(log.lines.filter(QStringLiteral("Total files: 200")).size(), 1);
}

void TestChkLoad::refusesTheWorkingCopyByAnyRoute_data()
{
    QTest::addColumn<QString>("route");
    QTest::newRow("the same text") << "Temp/data.chk";
    QTest::newRow("through ..") << "Temp/../Temp/data.chk";
    QTest::newRow("through ./") << "Temp/./data.chk";
    QTest::newRow("a symbolic link to the folder") << "link/data.chk";
    QTest::newRow("a hard link") << "hard/data.chk";
}

void TestChkLoad::refusesTheWorkingCopyByAnyRoute()
{
    QFETCH(QString, route);
    ProgramFolder folder;
    const QByteArray bytes = makeChk(40).bytes();
    const QString W = folder.temp("data.chk");
    QVERIFY(writeAll(W, bytes));
    QVERIFY(QFile::link(folder.file("Temp"), folder.file("link")));
    QVERIFY(QDir().mkpath(folder.file("hard")));
    std::error_code ec;
    std::filesystem::create_hard_link(W.toStdString(), folder.file("hard/data.chk").toStdString(),
                                      ec);
    QVERIFY(!ec);
    const QString chosen = folder.file(route);

    RecordingLog log;
    const LoadBaseChkResult r = LoadBaseChk(chosen, folder.path(), log);
    QCOMPARE(r.outcome, Outcome::RefusedSameFile);
    QCOMPARE(log.lines, QStringList{"Connot load file from the working Temp directory!"});
    QCOMPARE(readAll(W), bytes);
    QCOMPARE(QDir(folder.temp()).entryList(QDir::Files), QStringList{"data.chk"});
    QCOMPARE(readAll(chosen), bytes);
}

void TestChkLoad::refusesBadArchivesBeforeCopying_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("line");
    QTest::newRow("empty file") << QByteArray() << "Problem loading file.";
    QTest::newRow("thirty entries") << makeChk(30).bytes() << "";
    QTest::newRow("last slot sound cut short") << makeChk(40).bytes().chopped(40) << "";
}

void TestChkLoad::refusesBadArchivesBeforeCopying()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, line);
    ProgramFolder folder;
    // An earlier load of the same name stays as it was.
    const QByteArray earlier = makeChk(31).bytes();
    const QString W = folder.temp("data.chk");
    QVERIFY(writeAll(W, earlier));
    const QString chosen = folder.file("nav/data.chk");
    QVERIFY(writeAll(chosen, bytes));

    RecordingLog log;
    const LoadBaseChkResult r = LoadBaseChk(chosen, folder.path(), log);
    QCOMPARE(r.outcome, Outcome::Problem);
    QCOMPARE(log.lines.size(), 1);
    if (!line.isEmpty())
        QCOMPARE(log.lines[0], line);
    else
        QVERIFY2(log.lines[0].startsWith("Problem loading file " + chosen + ": "),
                 qPrintable(log.lines[0]));
    QVERIFY(r.baseArchiveName.isEmpty());
    QVERIFY(r.workingPath.isEmpty());
    QCOMPARE(readAll(W), earlier);
    QCOMPARE(readAll(chosen), bytes);
}

QTEST_GUILESS_MAIN(TestChkLoad)
#include "test_chkload.moc"
