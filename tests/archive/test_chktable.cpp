// The archive's offset table as its three readers see it: the listing follows only the slot
// entries, the build wants every entry in order and the end at the file's end, the split wants
// a table that describes the bytes exactly (the archive harness checks its parts). Each names what
// it refuses in its own words.
#include "archive/archive.h"
#include "archive/entries.h"
#include "chkfactory.h"
#include "testsupport.h"

#include <QTest>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

class TestChkTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // An empty line means that reader accepts the table.
    void eachReaderAppliesItsOwnRule_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QString>("listing");
        QTest::addColumn<QString>("build");
        QTest::addColumn<QString>("split");
        const ChkArchive chk = makeChk(40);
        const QByteArray good = chk.bytes();
        const auto at = [&good](int entry, qint32 offset) {
            QByteArray b = good;
            putBe32(b, 4 * entry, offset);
            return b;
        };
        const qint32 end = chk.offsetOf(41);
        const auto row = [](const char* name, const QByteArray& archive, const QString& listing,
                            const QString& build, const QString& split) {
            QTest::newRow(name) << archive << listing << build << split;
        };
        const QString past = u"offset table of 40 entries runs past the end"_s;
        const QString many = u"it holds 65,537 entries; an archive holds at most 65,536"_s;
        row("good", good, {}, {}, {});
        row("empty", {}, "the file is empty", "too short to hold an entry count",
            "the file is only 0 bytes long");
        row("count only, negative", be32s({-2}), "entry count is 2^31 or more", "holds -2 entries",
            "entry count is 2^31 or more");
        // The table of 40 entries needs 168 bytes; one short of them is past the end.
        row("table one byte short", good.left(167), past + " of the file of 167", past, past);
        row("end short of the length", at(41, end - 1), {},
            "mismatch! Reported:" + QString::number(end - 1, 16).toUpper(),
            u"its end offset %1 is not its length %2"_s.arg(end - 1).arg(end));
        row("entry 2 starts past the end", at(2, end + 8), {},
            u"Entry 2 starts at offset %1, after the start"_s.arg(end + 8),
            u"offset 2 of the table (%1) lies outside"_s.arg(end + 8));
        row("entry 3 starts before entry 2", at(3, chk.offsetOf(2) - 4), {},
            u"Entry 2 starts at offset %1, after the start"_s.arg(chk.offsetOf(2)),
            u"offset 3 of the table (%1) lies outside"_s.arg(chk.offsetOf(2) - 4));
        row("entry 1 inside the table", at(1, 164), {},
            "Entry 1 starts at offset 164, inside the offset table",
            "offset 1 of the table (164) lies outside");
        // The readers' limit on entries, at and one past it; the count is read before the table.
        row("65,536 entries", makeChk(65536).bytes(), {}, {}, {});
        row("65,537 entries", be32s({65537}), many, "cannot be built: " + many, many);
        row("slot entry 10 past the end", at(10, end + 4),
            u"slot 1 (entry 10) starts at offset %1"_s.arg(end + 4), "Entry 10 starts",
            "offset 10 of the table");
    }
    void eachReaderAppliesItsOwnRule()
    {
        QFETCH(QByteArray, archive);
        ProgramFolder folder;
        const QString path = folder.temp(u"data.chk"_s);
        QVERIFY(writeAll(path, archive));
        const auto says = [](bool ok, const QString& text, const QString& expected) {
            return expected.isEmpty() ? ok : !ok && text.contains(expected);
        };
        RecordingLog log;
        const Result<ChkListing> listed = Get_Chk_info(path, log);
        QFETCH(QString, listing);
        QVERIFY2(says(listed.ok(), listed.error(), listing), qPrintable(listed.error()));
        BuildInput in;
        in.workingPath = path;
        for (int k = 0; k < kSlotCount; ++k)
            in.soundBoxes[std::size_t(k)] = slotLabel(k);
        log.lines.clear();
        const Result<QByteArray> built = assembleCustomChk(in, log);
        QFETCH(QString, build);
        QVERIFY2(says(built.ok(), log.lines.join(u'\n'), build), qPrintable(log.lines.join(u'\n')));
        const Result<ChkParts> parts = splitChk(archive);
        QFETCH(QString, split);
        QVERIFY2(says(parts.ok(), parts.error(), split), qPrintable(parts.error()));
    }
};

QTEST_GUILESS_MAIN(TestChkTable)
#include "test_chktable.moc"
