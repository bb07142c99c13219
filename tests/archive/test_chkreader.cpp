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
    void bytToLongCombinesBigEndian_data();
    void bytToLongCombinesBigEndian();
    void externalSoundIsDecidedByTheLastThreeCharacters_data();
    void externalSoundIsDecidedByTheLastThreeCharacters();
    void slotsAreTheThirtyEntriesBeforeTheLast_data();
    void slotsAreTheThirtyEntriesBeforeTheLast();
    void listingLogsThirtyOneLinesWithZeroFilledHex();
    void refusesArchivesItCannotFollow_data();
    void refusesArchivesItCannotFollow();
};

void TestChkReader::bytToLongCombinesBigEndian_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint32>("value");
    QTest::newRow("256") << QByteArray::fromHex("00000100") << 256;
    QTest::newRow("minus one") << QByteArray::fromHex("FFFFFFFF") << -1;
    QTest::newRow("2^31 is negative")
        << QByteArray::fromHex("80000000") << std::numeric_limits<qint32>::min();
    QTest::newRow("byte order") << QByteArray::fromHex("12345678") << 0x12345678;
}

void TestChkReader::bytToLongCombinesBigEndian()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint32, value);
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    QCOMPARE(BytToLong(b[0], b[1], b[2], b[3]), value);
}

void TestChkReader::externalSoundIsDecidedByTheLastThreeCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("external");
    QTest::newRow("path") << "C:\\snd\\radar.ogg" << true;
    QTest::newRow("upper case") << "/snd/RADAR.OGG" << true;
    QTest::newRow("mixed case") << "/snd/radar.oGg" << true;
    QTest::newRow("bare ogg") << "ogg" << true;
    QTest::newRow("label") << "Sound 05" << false;
    QTest::newRow("wav") << "/snd/radar.wav" << false;
    QTest::newRow("ogg inside") << "/snd/radar.ogg.bak" << false;
    QTest::newRow("short") << "gg" << false;
    QTest::newRow("empty") << "" << false;
}

void TestChkReader::externalSoundIsDecidedByTheLastThreeCharacters()
{
    QFETCH(QString, text);
    QFETCH(bool, external);
    QCOMPARE(isExternalSound(text), external);
}

void TestChkReader::slotsAreTheThirtyEntriesBeforeTheLast_data()
{
    QTest::addColumn<int>("entries");
    QTest::newRow("31 entries: slot 0 is entry 1") << 31;
    QTest::newRow("200 entries: slot 0 is entry 170") << 200;
    QTest::newRow("102 entries list like any other") << 102;
}

void TestChkReader::slotsAreTheThirtyEntriesBeforeTheLast()
{
    QFETCH(int, entries);
    ProgramFolder folder;
    const ChkArchive archive = makeChk(entries);
    const QByteArray bytes = archive.bytes();
    QVERIFY(writeAll(folder.temp("data.chk"), bytes));

    RecordingLog log;
    const ChkListing listing = Get_Chk_info(folder.temp("data.chk"), log);
    QVERIFY(listing.ok);
    QCOMPARE(log.lines.size(), 31);
    QCOMPARE(listing.labels.size(), 30);
    for (int s = 0; s < 30; ++s) {
        const int entry = entries - 30 + s;
        const SlotSound& row = listing.table[s];
        QCOMPARE(row.dataOffset, archive.offsetOf(entry) + 16);
        const QByteArray& sound = oggSounds()[s % oggSounds().size()];
        QCOMPARE(row.dataLength, qint32(sound.size()));
        QCOMPARE(bytes.mid(row.dataOffset, row.dataLength), sound);
        QCOMPARE(listing.labels[s], slotLabel(s));
    }
    // The last entry belongs to no slot.
    QVERIFY(listing.table[29].dataOffset < archive.offsetOf(entries));
}

void TestChkReader::listingLogsThirtyOneLinesWithZeroFilledHex()
{
    // Slot 0's entry starts at 107,168 and holds 5,230 data bytes.
    ProgramFolder folder;
    ChkArchive archive = makeChk(32);
    archive.entries[1] = slotEntry(oggOfSize(5230));
    archive.entries[0] = fillerEntry(1, 107168 - 4 * 34);
    QCOMPARE(archive.offsetOf(2), 107168);
    QVERIFY(writeAll(folder.temp("data.chk"), archive.bytes()));

    RecordingLog log;
    const ChkListing listing = Get_Chk_info(folder.temp("data.chk"), log);
    QVERIFY(listing.ok);
    QStringList expected{QStringLiteral("Total files: 32"),
                         QStringLiteral("x= 0 Len.= 5230 to 0001A2B0")};
    for (int s = 1; s < 30; ++s) {
        const qint32 offset = archive.offsetOf(32 - 30 + s) + 16;
        const qint32 length = qint32(oggSounds()[s % oggSounds().size()].size());
        expected.append(QStringLiteral("x= %1 Len.= %2 to %3")
                            .arg(s)
                            .arg(length)
                            .arg(QString::asprintf("%08X", unsigned(offset))));
    }
    QCOMPARE(log.lines, expected);
}

void TestChkReader::refusesArchivesItCannotFollow_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const ChkArchive good = makeChk(40);
    const QByteArray base = good.bytes();
    const int n = good.count();
    // The table holds entry i's start offset at byte 4 * i.
    const int slot0 = n - 30;

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("three bytes") << QByteArray::fromHex("000000");
    QTest::newRow("thirty entries") << makeChk(30).bytes();
    QByteArray b = base;
    putBe32(b, 0, qint32(0x80000028));
    QTest::newRow("entry count 2^31 or more") << b;
    b = base;
    putBe32(b, 0, 100000);
    QTest::newRow("table past the end") << b;
    QTest::newRow("table cut short") << base.left(4 * (n + 1));
    b = base;
    putBe32(b, 4 * slot0, 8);
    QTest::newRow("slot entry inside the table") << b;
    b = base;
    putBe32(b, 4 * slot0, qint32(base.size()) + 100);
    QTest::newRow("slot entry past the end") << b;
    b = base;
    putBe32(b, 4 * slot0, -16);
    QTest::newRow("slot entry offset 2^31 or more") << b;
    b = base;
    putBe32(b, 4 * (slot0 + 1), good.offsetOf(slot0) - 4);
    QTest::newRow("slot entry runs backwards") << b;
    b = base;
    putBe32(b, 4 * n, qint32(base.size()) + 4);
    QTest::newRow("last slot entry ends past the file") << b;
    b = base;
    putBe32(b, 4 * (slot0 + 1), good.offsetOf(slot0) + 12);
    QTest::newRow("slot entry shorter than its header") << b;
    b = base;
    putBe32(b, good.offsetOf(slot0) + 12, be32(base, good.offsetOf(slot0) + 12) + 4);
    QTest::newRow("sound length reaches the next entry") << b;
    b = base;
    putBe32(b, good.offsetOf(n - 1) + 12, qint32(0xFFFFFFF0));
    QTest::newRow("sound length 2^31 or more") << b;
}

void TestChkReader::refusesArchivesItCannotFollow()
{
    QFETCH(QByteArray, bytes);
    ProgramFolder folder;
    const QString path = folder.temp("data.chk");
    QVERIFY(writeAll(path, bytes));

    RecordingLog log;
    const ChkListing listing = Get_Chk_info(path, log);
    QVERIFY(!listing.ok);
    QCOMPARE(log.lines.size(), 1);
    QVERIFY2(log.lines[0].startsWith("Cannot list " + path + ": "), qPrintable(log.lines[0]));
    QVERIFY(!parseChk(path).ok);
    QCOMPARE(readAll(path), bytes);
}

QTEST_GUILESS_MAIN(TestChkReader)
#include "test_chkreader.moc"
