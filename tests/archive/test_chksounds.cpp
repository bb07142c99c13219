#include "archive/archive.h"
#include "chkfactory.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace tollvik;
using namespace tollvik::test;

class TestChkSounds : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void dialogNamesAndLogLines();
    void exportWritesTheOggStreamWithoutHeaderOrPadding();
    void exportReplacesALongerFileWhole();
    void exportFailuresLeaveTheTargetAsItWas_data();
    void exportFailuresLeaveTheTargetAsItWas();
    void exportNeverWritesOntoTheWorkingCopy();
    void readSlotSoundRefusesARangeOutsideTheFile();

private:
    std::unique_ptr<ProgramFolder> m_folder;
    ChkListing m_listing;
    QByteArray m_archive;
    QString m_working;
};

void TestChkSounds::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_archive = makeChk(200).bytes();
    m_working = m_folder->temp("data.chk");
    QVERIFY(writeAll(m_working, m_archive));
    RecordingLog log;
    m_listing = Get_Chk_info(m_working, log);
    QVERIFY(m_listing.ok);
}

void TestChkSounds::dialogNamesAndLogLines()
{
    // The import starts at the external file, or at the program folder for a label or any name
    // that does not end in "ogg"; the export suggests the label in the program folder.
    const QString p = m_folder->path();
    QCOMPARE(importInitialName("Sound 05", p), p + "*.ogg");
    QCOMPARE(importInitialName("/snd/RADAR.OGG", p), QStringLiteral("/snd/RADAR.OGG"));
    QCOMPARE(importInitialName("/snd/radar.wav", p), p + "*.ogg");
    QCOMPARE(importLogLine("C:\\snd\\radar.ogg", 4),
             QStringLiteral("Load C:\\snd\\radar.ogg to position 5"));
    QCOMPARE(importLogLine("/snd/a.ogg", 29), QStringLiteral("Load /snd/a.ogg to position 30"));
    QCOMPARE(exportSuggestedName(p, slotLabel(0)), p + "Sound 01.ogg");
    QCOMPARE(exportSuggestedName(p, slotLabel(29)), p + "Sound 30.ogg");
}

void TestChkSounds::exportWritesTheOggStreamWithoutHeaderOrPadding()
{
    const QString target = exportSuggestedName(m_folder->path(), slotLabel(0));
    RecordingLog log;
    QVERIFY(exportSlotSound(m_working, m_listing.table[0], target, log).ok());
    QVERIFY(log.lines.isEmpty());
    const QByteArray written = readAll(target);
    QVERIFY(written.startsWith("OggS"));
    QCOMPARE(written.size(), m_listing.table[0].dataLength);
    QCOMPARE(written, oggSounds()[0]);
    QCOMPARE(readAll(m_working), m_archive);
}

void TestChkSounds::exportReplacesALongerFileWhole()
{
    const QString target = m_folder->file("out/radar.ogg");
    QVERIFY(writeAll(target, QByteArray(200000, 'x')));
    RecordingLog log;
    QVERIFY(exportSlotSound(m_working, m_listing.table[3], target, log).ok());
    QCOMPARE(readAll(target), oggSounds()[3]);
}

void TestChkSounds::exportFailuresLeaveTheTargetAsItWas_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("range no longer fits") << "shrunk";
    QTest::newRow("target folder missing") << "nofolder";
    QTest::newRow("target is a folder") << "folder";
}

void TestChkSounds::exportFailuresLeaveTheTargetAsItWas()
{
    QFETCH(QString, what);
    QString target = m_folder->file("out/radar.ogg");
    const QByteArray old("old sound");
    QVERIFY(writeAll(target, old));
    if (what == "shrunk")
        QVERIFY(writeAll(m_working, m_archive.left(m_listing.table[29].dataOffset + 10)));
    if (what == "nofolder")
        target = m_folder->file("missing/radar.ogg");
    if (what == "folder")
        target = m_folder->file("out");

    RecordingLog log;
    const Status r = exportSlotSound(m_working, m_listing.table[29], target, log);
    QVERIFY(!r.ok());
    QVERIFY(!r.error().isEmpty());
    QCOMPARE(log.lines.size(), 1);
    QVERIFY2(log.lines[0].startsWith("Cannot save the sound"), qPrintable(log.lines[0]));
    QCOMPARE(readAll(m_folder->file("out/radar.ogg")), old);
    QVERIFY(!QFile::exists(m_folder->file("missing/radar.ogg")));
}

void TestChkSounds::exportNeverWritesOntoTheWorkingCopy()
{
    RecordingLog log;
    const QString sameFile = m_folder->file("Temp/../Temp/data.chk");
    QVERIFY(!exportSlotSound(m_working, m_listing.table[0], sameFile, log).ok());
    QCOMPARE(log.lines.size(), 1);
    QCOMPARE(readAll(m_working), m_archive);
}

void TestChkSounds::readSlotSoundRefusesARangeOutsideTheFile()
{
    const auto out = readSlotSound(m_working, m_listing.table[7]);
    QVERIFY(out.ok());
    QCOMPARE(out.value(), oggSounds()[7 % oggSounds().size()]);

    QVERIFY(!readSlotSound(m_working, {qint32(m_archive.size()) - 4, 8}).ok());
    QVERIFY(!readSlotSound(m_working, {-1, 8}).ok());
    QVERIFY(!readSlotSound(m_working, {16, -1}).ok());
    QVERIFY(!readSlotSound(QString(), m_listing.table[0]).ok());
}

QTEST_GUILESS_MAIN(TestChkSounds)
#include "test_chksounds.moc"
