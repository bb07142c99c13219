// The custom build, compared byte for byte with archives the factory lays out itself.
#include "archive/archive.h"
#include "chkfactory.h"
#include "core/fileio.h"
#include "testsupport.h"

#include <QTest>

using namespace tollvik;
using namespace tollvik::test;

namespace {

const QByteArray kMissing = "(no file)";

// A loaded working copy Temp/data.chk and the window's 60 boxes.
struct Fixture
{
    ProgramFolder folder;
    BuildInput in;

    explicit Fixture(const QByteArray& archive)
    {
        in.programFolder = folder.path();
        in.workingPath = folder.temp("data.chk");
        in.baseArchiveName = QStringLiteral("data.chk");
        for (int k = 0; k < kSlotCount; ++k) {
            in.soundBoxes[k] = QString::asprintf("Sound %02d", k + 1);
            in.menuTexts[k] = QStringLiteral("Item %1").arg(k + 1);
        }
        writeAll(in.workingPath, archive);
    }

    // Puts a file (or, for kMissing, only its path) into slot k's sound box.
    QString external(int k, const QByteArray& bytes, const char* suffix = "ogg")
    {
        in.soundBoxes[k] = folder.file(QString::asprintf("snd/slot%d.%s", k, suffix));
        if (bytes != kMissing)
            writeAll(in.soundBoxes[k], bytes);
        return in.soundBoxes[k];
    }
};

} // namespace

class TestChkBuild : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesTheFactoryArchiveAndLogsEveryStep_data();
    void writesTheFactoryArchiveAndLogsEveryStep();
    void refusalsChangeNoFile_data();
    void refusalsChangeNoFile();
};

void TestChkBuild::writesTheFactoryArchiveAndLogsEveryStep_data()
{
    // Slot k's box holds a file of sounds[k] bytes (> 0), a missing .ogg (-1), a .wav (-2) or
    // its label (0); the files of positive size go into entry firstEntry + k.
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("firstEntry");
    QTest::addColumn<QList<int>>("sounds");
    QList<int> twelve(30, -1);
    for (int k = 0; k < 12; ++k)
        twelve[k] = 500 + 37 * k;
    QList<int> largest(30, 0);
    largest[0] = 131056;
    largest[29] = 1002;
    QTest::newRow("no external sound: the same bytes") << 200 << 170 << QList<int>{};
    QTest::newRow("1,001 bytes: word count 254, 3 zero bytes") << 200 << 170 << QList<int>{1001};
    QTest::newRow("1,000 bytes: no padding") << 200 << 170 << QList<int>{1000};
    QTest::newRow("largest sound and the last slot") << 40 << 10 << largest;
    QTest::newRow("102 entries: slots 0 to 11 into 90 to 101, the rest unread")
        << 102 << 90 << twelve;
    QTest::newRow("a name not ending in ogg is not built in") << 200 << 170 << QList<int>{-2};
}

void TestChkBuild::writesTheFactoryArchiveAndLogsEveryStep()
{
    QFETCH(int, entries);
    QFETCH(int, firstEntry);
    QFETCH(QList<int>, sounds);
    ChkArchive expected = makeChk(entries);
    const QString oldSize = QString::number(expected.bytes().size());
    Fixture f(expected.bytes());
    QStringList verifying, including;
    for (int k = 0; k < sounds.size(); ++k) {
        if (sounds[k] == 0)
            continue;
        const QByteArray sound = sounds[k] == -1 ? kMissing : oggOfSize(qAbs(sounds[k]));
        const QString path = f.external(k, sound, sounds[k] == -2 ? "wav" : "ogg");
        if (sounds[k] > 0) {
            expected.entries[firstEntry + k - 1] = slotEntry(sound);
            verifying << "....Verifying " + path;
            including << "....Including " + path + " for Item " + QString::number(k + 1);
        }
    }
    const QString newSize = QString::number(expected.bytes().size());

    RecordingLog log;
    const Result<BuiltChk> built = data_chk_reload(f.in, log);
    QVERIFY2(built, qPrintable(log.lines.join('\n')));
    QCOMPARE(readAll(f.folder.modified("data.chk")), expected.bytes());
    QCOMPARE(readAll(f.in.workingPath), expected.bytes());
    QCOMPARE(built->workingPath, f.in.workingPath);
    QVERIFY(built->listing);
    const QStringList steps =
        QStringList{"Sound file " + f.in.workingPath,
                    "....Number of modules: " + QString::number(entries) + " File size: " + oldSize,
                    "....File size confirmed", "....Calculating new parameters"} +
        verifying +
        QStringList{"....Recalculating header ", "....new File Size is " + newSize,
                    "....Writing CHK file ", "....Writing CHK file - Sounds"} +
        including +
        QStringList{"Done - real new file size is " + newSize,
                    "....new data.chk file created in the 'Modified' folder"} +
        listingOf(expected) + QStringList{"....and reloaded the altered file for testing."};
    QCOMPARE(log.lines, steps);
}

void TestChkBuild::refusalsChangeNoFile_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QByteArray>("sound"); // slot 5's external file
    QTest::addColumn<bool>("outputFails");
    QTest::addColumn<QString>("line");
    const QByteArray good = makeChk(40).bytes();
    const QByteArray ogg = oggSounds()[1];
    const auto broken = [&](qsizetype pos, qint32 value) {
        QByteArray b = good;
        putBe32(b, pos, value);
        return b;
    };
    ChkArchive big = makeChk(32); // 1,234,000 bytes whose end offset says 1,234,567
    big.entries[0] = fillerEntry(1, 1234000 - big.offsetOf(33) + int(big.entries[0].size()));
    QByteArray mismatch = big.bytes();
    putBe32(mismatch, 4 * 33, 1234567);

    QTest::newRow("truncated header") << good.left(3) << ogg << false
                                      << "....The working copy is too short to hold an entry count";
    QTest::newRow("31 entries") << makeChk(31).bytes() << ogg << false
                                << "....The archive holds 31 entries; a build needs at least 32";
    QTest::newRow("count past the end")
        << broken(0, 100000) << ogg << false << "....The offset table of 100000 entries runs past";
    QTest::newRow("size mismatch")
        << mismatch << ogg << false << "....File size mismatch! Reported:12D687 Actual:1234000";
    QTest::newRow("entry inside the offset table")
        << broken(4, 100) << ogg << false << "....Entry 1 starts at offset 100, inside the offset";
    QTest::newRow("overflowing offset")
        << broken(4 * 20, qint32(0x80000010)) << ogg << false << "....Entry 19 starts at offset ";
    QTest::newRow("external sound too large")
        << good << oggOfSize(131057) << false << "is 131057 bytes long; a sound can hold at most";
    QTest::newRow("external sound not Ogg")
        << good << QByteArray(400, 'v') << false << "is not an Ogg sound";
    QTest::newRow("external sound empty") << good << QByteArray("") << false << "is empty";
    QTest::newRow("external sound missing") << good << kMissing << false << "....Cannot read ";
    QTest::newRow("output cannot be written")
        << good << ogg << true << "....Writing the new archive failed (";
}

void TestChkBuild::refusalsChangeNoFile()
{
    QFETCH(QByteArray, archive);
    QFETCH(QByteArray, sound);
    QFETCH(bool, outputFails);
    QFETCH(QString, line);
    Fixture f(archive);
    f.external(5, sound);
    QVERIFY(writeAll(f.folder.modified("data.chk"), "the earlier custom archive"));
    const auto before = filesUnder(f.folder.path());
    if (outputFails)
        setWriteFaultHookForTesting([](const QString&) { return QStringLiteral("disk full"); });
    RecordingLog log;
    const Result<BuiltChk> built = data_chk_reload(f.in, log);
    setWriteFaultHookForTesting({});
    QVERIFY(!built);
    QVERIFY2(log.lines.last().contains(line), qPrintable(log.lines.last()));
    QCOMPARE(filesUnder(f.folder.path()), before);
}

QTEST_GUILESS_MAIN(TestChkBuild)
#include "test_chkbuild.moc"
