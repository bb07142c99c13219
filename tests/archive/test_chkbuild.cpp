#include "archive/archive.h"
#include "chkfactory.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace tollvik;
using namespace tollvik::test;

namespace {

struct Fixture
{
    ProgramFolder folder;
    BuildInput in;
    QByteArray archive;

    explicit Fixture(const QByteArray& bytes) : archive(bytes)
    {
        in.programFolder = folder.path();
        in.workingPath = folder.temp("data.chk");
        in.baseArchiveName = QStringLiteral("data.chk");
        for (int k = 0; k < kSlotCount; ++k) {
            in.soundBoxes[k] = slotLabel(k);
            in.menuTexts[k] = QStringLiteral("Item %1").arg(k + 1);
        }
        writeAll(in.workingPath, archive);
    }

    QString external(int slot, const QByteArray& bytes)
    {
        const QString path = folder.file(QStringLiteral("snd/slot%1.ogg").arg(slot));
        writeAll(path, bytes);
        in.soundBoxes[slot] = path;
        return path;
    }

    [[nodiscard]] QString output() const { return folder.modified("data.chk"); }
};

QStringList listingLines(const QString& path)
{
    RecordingLog log;
    const ChkListing listing = Get_Chk_info(path, log);
    return listing.ok ? log.lines : QStringList();
}

} // namespace

class TestChkBuild : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildWithoutExternalFilesIsByteIdentical();
    void replacedEntryIsWrittenAndLaterEntriesMove_data();
    void replacedEntryIsWrittenAndLaterEntriesMove();
    void archiveOf102EntriesReplacesOnlyTwelveSlots();
    void endOffsetMismatchIsReportedAndNothingWritten();
    void nonOggNameIsNotBuiltIn();
    void refusalsLeaveEveryFileAsItWas_data();
    void refusalsLeaveEveryFileAsItWas();
};

void TestChkBuild::buildWithoutExternalFilesIsByteIdentical()
{
    Fixture f(makeChk(200).bytes());
    QVERIFY(writeAll(f.output(), QByteArray(f.archive.size() + 5000, 'o')));
    const QString size = QString::number(f.archive.size());

    RecordingLog log;
    const BuildResult r = data_chk_reload(f.in, log);
    QVERIFY(r.ok);
    QCOMPARE(readAll(f.output()), f.archive);
    QCOMPARE(readAll(f.in.workingPath), f.archive);
    QCOMPARE(r.workingPath, f.folder.temp("data.chk"));
    QVERIFY(r.listing.ok);
    QCOMPARE(r.listing.labels.size(), 30);

    QStringList expected{"Sound file " + f.in.workingPath,
                         "....Number of modules: 200 File size: " + size,
                         "....File size confirmed",
                         "....Calculating new parameters",
                         "....Recalculating header ",
                         "....new File Size is " + size,
                         "....Writing CHK file ",
                         "....Writing CHK file - Sounds",
                         "Done - real new file size is " + size,
                         "....new data.chk file created in the 'Modified' folder"};
    expected += listingLines(r.workingPath);
    expected += "....and reloaded the altered file for testing.";
    QCOMPARE(log.lines, expected);
    QCOMPARE(QDir(f.folder.modified()).entryList(QDir::Files), QStringList{"data.chk"});
}

void TestChkBuild::replacedEntryIsWrittenAndLaterEntriesMove_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("wordCount");
    QTest::addColumn<int>("padding");
    QTest::newRow("1,001 bytes") << 1001 << 0x00FE << 3;
    QTest::newRow("1,000 bytes") << 1000 << 253 << 0;
    QTest::newRow("1,002 bytes") << 1002 << 254 << 2;
    QTest::newRow("largest sound") << 131056 << 32767 << 0;
}

void TestChkBuild::replacedEntryIsWrittenAndLaterEntriesMove()
{
    QFETCH(int, length);
    QFETCH(int, wordCount);
    QFETCH(int, padding);
    const ChkArchive source = makeChk(200);
    Fixture f(source.bytes());
    const QByteArray ogg = oggOfSize(length);
    const QString path = f.external(0, ogg);

    RecordingLog log;
    const BuildResult r = data_chk_reload(f.in, log);
    QVERIFY(r.ok);
    const QByteArray out = readAll(f.output());
    QCOMPARE(readAll(f.in.workingPath), out);
    QVERIFY(log.lines.contains("....Verifying " + path));
    QVERIFY(log.lines.contains("....Including " + path + " for Item 1"));

    // Entry 170 holds the new sound.
    const qint32 start = source.offsetOf(170);
    const qint32 newSize = 16 + length + padding;
    QCOMPARE(be32(out, 4 * 171), start + newSize);
    QCOMPARE(out.mid(start, 4),
             QByteArray::fromHex("0100") + char(wordCount >> 8) + char(wordCount & 0xFF));
    QCOMPARE(be32(out, start + 4), 1);
    QCOMPARE(be32(out, start + 8), 8);
    QCOMPARE(be32(out, start + 12), length);
    QCOMPARE(out.mid(start + 16, length), ogg);
    QCOMPARE(out.mid(start + 16 + length, padding), QByteArray(padding, '\0'));

    // Offsets of 171..200 and the end move by the difference; the rest stay.
    const qint32 delta = newSize - qint32(source.entries[169].size());
    QCOMPARE(be32(out, 0), 200);
    for (int i = 1; i <= 170; ++i)
        QCOMPARE(be32(out, 4 * i), source.offsetOf(i));
    for (int i = 171; i <= 201; ++i)
        QCOMPARE(be32(out, 4 * i), source.offsetOf(i) + delta);
    QCOMPARE(out.size(), source.offsetOf(201) + delta);
    QVERIFY(log.lines.contains("....new File Size is " + QString::number(out.size())));
    QVERIFY(log.lines.contains("Done - real new file size is " + QString::number(out.size())));

    // Entries 1 to 169 and 171 to 200 are carried over byte for byte.
    QCOMPARE(out.left(start).mid(4 * 202), f.archive.left(start).mid(4 * 202));
    QCOMPARE(out.mid(start + newSize), f.archive.mid(source.offsetOf(171)));

    // The reloaded listing shows the new sound in slot 0.
    QVERIFY(r.listing.ok);
    QCOMPARE(r.listing.table[0].dataOffset, start + 16);
    QCOMPARE(r.listing.table[0].dataLength, length);
    QCOMPARE(log.lines.last(), QStringLiteral("....and reloaded the altered file for testing."));
}

void TestChkBuild::archiveOf102EntriesReplacesOnlyTwelveSlots()
{
    const ChkArchive source = makeChk(102);
    Fixture f(source.bytes());
    QList<QByteArray> sounds;
    for (int k = 0; k < 12; ++k) {
        sounds.append(oggOfSize(500 + 37 * k));
        f.external(k, sounds.last());
    }
    // Slots 12 to 29 are ignored, even when their files could not be read.
    for (int k = 12; k < 30; ++k)
        f.in.soundBoxes[k] = f.folder.file(QStringLiteral("snd/missing%1.ogg").arg(k));

    RecordingLog log;
    const BuildResult r = data_chk_reload(f.in, log);
    QVERIFY(r.ok);
    QCOMPARE(log.lines.filter("....Verifying ").size(), 12);
    QCOMPARE(log.lines.filter("....Including ").size(), 12);

    const QByteArray out = readAll(f.output());
    ChkArchive expected = source;
    for (int k = 0; k < 12; ++k)
        expected.entries[89 + k] = slotEntry(sounds[k]);
    QCOMPARE(out, expected.bytes());

    // The listing after the build shows entries 90..101 as slots 18..29.
    QVERIFY(r.listing.ok);
    for (int k = 0; k < 12; ++k) {
        QCOMPARE(r.listing.table[18 + k].dataLength, qint32(sounds[k].size()));
        QCOMPARE(out.mid(r.listing.table[18 + k].dataOffset, sounds[k].size()), sounds[k]);
    }
}

void TestChkBuild::endOffsetMismatchIsReportedAndNothingWritten()
{
    ChkArchive source = makeChk(32);
    source.entries[0] =
        fillerEntry(1, 1234000 - int(source.bytes().size()) + int(source.entries[0].size()));
    QByteArray bytes = source.bytes();
    QCOMPARE(bytes.size(), 1234000);
    putBe32(bytes, 4 * 33, 1234567);
    Fixture f(bytes);
    f.external(0, oggSounds()[1]);

    RecordingLog log;
    QVERIFY(!data_chk_reload(f.in, log).ok);
    QCOMPARE(log.lines, QStringList({"Sound file " + f.in.workingPath,
                                     "....Number of modules: 32 File size: 1234000",
                                     "....File size mismatch! Reported:12D687 Actual:1234000"}));
    QVERIFY(QDir(f.folder.modified()).isEmpty());
    QCOMPARE(readAll(f.in.workingPath), bytes);
}

void TestChkBuild::nonOggNameIsNotBuiltIn()
{
    Fixture f(makeChk(200).bytes());
    f.external(0, oggSounds()[2]);
    const QString wav = f.folder.file("snd/radar.wav");
    QVERIFY(QFile::rename(f.in.soundBoxes[0], wav));
    f.in.soundBoxes[0] = wav;

    RecordingLog log;
    QVERIFY(data_chk_reload(f.in, log).ok);
    QCOMPARE(readAll(f.output()), f.archive);
    QVERIFY(log.lines.filter("....Verifying").isEmpty());
}

void TestChkBuild::refusalsLeaveEveryFileAsItWas_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("31 entries") << QStringLiteral("....The archive holds 31 entries");
    QTest::newRow("offsets out of order") << QStringLiteral("....Entry 51 starts at offset");
    QTest::newRow("entry inside the table") << QStringLiteral("....Entry 1 starts at offset");
    QTest::newRow("table past the end") << QStringLiteral("....The offset table");
    QTest::newRow("external file missing") << QStringLiteral("....Cannot read ");
    QTest::newRow("external file empty") << QStringLiteral("is empty");
    QTest::newRow("external file too long") << QStringLiteral("is 131057 bytes long");
    QTest::newRow("external file not Ogg") << QStringLiteral("is not an Ogg sound");
    QTest::newRow("Modified missing") << QStringLiteral("....The folder ");
    QTest::newRow("output cannot be created")
        << QStringLiteral("....Writing the new archive failed");
    QTest::newRow("working copy cannot be replaced")
        << QStringLiteral("....Writing the new archive failed");
}

void TestChkBuild::refusalsLeaveEveryFileAsItWas()
{
    QFETCH(QString, line);
    const QByteArray what = QTest::currentDataTag();
    QByteArray bytes = makeChk(what == "31 entries" ? 31 : 200).bytes();
    if (what == "offsets out of order")
        putBe32(bytes, 4 * 51, be32(bytes, 4 * 52) + 4);
    if (what == "entry inside the table")
        putBe32(bytes, 4, 100);
    if (what == "table past the end")
        putBe32(bytes, 0, 5000000);
    Fixture f(bytes);
    f.external(1, oggSounds()[0]);
    if (what == "external file missing")
        f.in.soundBoxes[5] = f.folder.file("snd/nothere.ogg");
    if (what == "external file empty")
        f.external(5, QByteArray());
    if (what == "external file too long")
        f.external(5, oggOfSize(131057));
    if (what == "external file not Ogg")
        f.external(5, QByteArray(400, 'v'));
    const QByteArray oldOutput("the earlier custom archive");
    if (what == "Modified missing") {
        QVERIFY(QDir(f.folder.modified()).removeRecursively());
    } else if (what == "output cannot be created") {
        QVERIFY(QDir().mkpath(f.output()));
    } else {
        QVERIFY(writeAll(f.output(), oldOutput));
    }
    if (what == "working copy cannot be replaced") {
        // The working copy lies elsewhere, and Temp/ + the name cannot be written.
        f.in.workingPath = f.folder.file("elsewhere/data.chk");
        QVERIFY(writeAll(f.in.workingPath, bytes));
        QVERIFY(QFile::remove(f.folder.temp("data.chk")));
        QVERIFY(QDir().mkpath(f.folder.temp("data.chk")));
    }
    const QStringList modifiedBefore = QDir(f.folder.modified()).entryList(QDir::Files);
    const QStringList tempBefore = QDir(f.folder.temp()).entryList(QDir::AllEntries);

    RecordingLog log;
    const BuildResult r = data_chk_reload(f.in, log);
    QVERIFY(!r.ok);
    QVERIFY(!r.listing.ok);
    QVERIFY2(log.lines.last().contains(line), qPrintable(log.lines.last()));
    QVERIFY(log.lines.filter("Done").isEmpty());
    QVERIFY(log.lines.filter("Total files").isEmpty());

    QCOMPARE(readAll(f.in.workingPath), bytes);
    if (what != "Modified missing" && what != "output cannot be created")
        QCOMPARE(readAll(f.output()), oldOutput);
    QCOMPARE(QDir(f.folder.modified()).entryList(QDir::Files), modifiedBefore);
    QCOMPARE(QDir(f.folder.temp()).entryList(QDir::AllEntries), tempBefore);
}

QTEST_GUILESS_MAIN(TestChkBuild)
#include "test_chkbuild.moc"
