// tollvik-alerts-cli run as a user runs it: a process with arguments, its exit code, its output
// and the files it leaves.
#include "chkfactory.h"
#include "navigatorfiles.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

Run cli(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(TOLLVIK_CLI), arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extractAllThenJoinGivesTheArchiveBack_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<QByteArray>("gap");
        QTest::newRow("31 entries") << 31 << QByteArray();
        QTest::newRow("bytes between table and first entry") << 40 << QByteArray("gap!", 4);
    }

    void extractAllThenJoinGivesTheArchiveBack()
    {
        QFETCH(int, entries);
        QFETCH(QByteArray, gap);
        ProgramFolder folder;
        ChkArchive archive = makeChk(entries);
        // An entry whose padding is not zero must come back as it was, not as we would write it.
        archive.entries[archive.count() - 2].back() = 'x';
        QByteArray bytes = archive.bytes();
        if (!gap.isEmpty()) {
            const qsizetype tableEnd = 4 + 4 * (qsizetype(entries) + 1);
            bytes.insert(tableEnd, gap);
            for (int i = 0; i <= entries; ++i)
                putBe32(bytes, 4 + 4 * i, be32(bytes, 4 + 4 * i) + qint32(gap.size()));
        }
        const QString chk = folder.file(u"Data \u00e9%1.chk"_s);
        QVERIFY(writeAll(chk, bytes));
        const QString dir = folder.file(u"entries"_s);

        const Run extracted = cli({u"chk"_s, u"extract"_s, chk, dir + u'/', u"--all"_s});
        QCOMPARE(extracted.code, 0);
        // The 30 slot sounds (all but the one with odd padding) come out as plain Ogg files.
        const QStringList oggs = QDir(dir).entryList({u"*.ogg"_s});
        QCOMPARE(oggs.size(), 29);
        QVERIFY(readAll(QDir(dir).filePath(oggs.first())).startsWith("OggS"));

        const QString joined = folder.file(u"joined.chk"_s);
        const Run join = cli({u"chk"_s, u"join"_s, dir, u"-o"_s, joined});
        QCOMPARE(join.code, 0);
        QCOMPARE(readAll(joined), bytes);
    }

    void listAllShowsEveryEntry()
    {
        ProgramFolder folder;
        const ChkArchive archive = makeChk(33);
        const QString chk = folder.file(u"a.chk"_s);
        QVERIFY(writeAll(chk, archive.bytes()));
        const Run run = cli({u"chk"_s, u"list"_s, chk, u"--all"_s});
        QCOMPARE(run.code, 0);
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 33);
        QCOMPARE(lines[1].split(u' ', Qt::SkipEmptyParts),
                 (QStringList{u"1"_s, QString::number(archive.offsetOf(1)),
                              QString::number(archive.entries[0].size()), u"data"_s}));
        const QStringList slot0 = lines[3].split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(slot0.value(3), u"ogg"_s);
        QVERIFY(qAbs(slot0.value(4).toDouble() - 0.1) < 0.02);
    }

    void identifyAndPatchGiveTheWindowsBytes_data()
    {
        QTest::addColumn<int>("build");
        QTest::newRow("GO 5.4") << 13;
        QTest::newRow("Navigator 5.0") << 4;
    }

    void identifyAndPatchGiveTheWindowsBytes()
    {
        QFETCH(int, build);
        ProgramFolder folder;
        const QString ttn = folder.file(u"ttn"_s);
        const QString ini = folder.file(u"texts.ini"_s);
        const QByteArray original = makeNavigatorFile(build);
        QVERIFY(writeAll(ttn, original));
        QVERIFY(writeAll(ini, "[MenuText]\r\nItem02=Gatso\r\nItem03=Mobile\r\n"));
        const Run identified = cli({u"identify"_s, ttn});
        QCOMPARE(identified.code, 0);
        QCOMPARE(identified.out.trimmed(), QString::fromLatin1(expectedBuild(build).caption));

        const QString out = folder.modified(u"ttn"_s);
        const Run patched = cli({u"patch"_s, ttn, u"-o"_s, out, u"--texts"_s, ini, u"--item"_s,
                                 u"3=Caf\u00e9 \u20ac"_s});
        QCOMPARE(patched.code, 0);
        std::array<QString, tollvik::kSlotCount> texts;
        texts[1] = u"Gatso"_s;
        texts[2] = u"Caf\u00e9 \u20ac"_s;
        QCOMPARE(readAll(out), expectedPatch(original, expectedBuild(build), texts));
        QVERIFY(patched.out.startsWith(u"Preparing to alter the the backed up"_s));
        QCOMPARE(readAll(ttn), original);

        const Run unknown = cli({u"identify"_s, ini});
        QCOMPARE(unknown.code, 1);
        QCOMPARE(unknown.err.split(u'\n', Qt::SkipEmptyParts).size(), 3);
    }

    void buildReplacesTheGivenSlots()
    {
        ProgramFolder folder;
        const ChkArchive archive = makeChk(40);
        const QString chk = folder.file(u"voice.chk"_s);
        const QString sound = folder.file(u"bell.ogg"_s);
        const QByteArray bell = makeOggSine(900.0, 0.2);
        QVERIFY(writeAll(chk, archive.bytes()) && writeAll(sound, bell));
        const QString out = folder.file(u"new.chk"_s);
        const Run run =
            cli({u"chk"_s, u"build"_s, chk, u"-o"_s, out, u"--slot"_s, u"30="_s + sound});
        QCOMPARE(run.code, 0);
        ChkArchive expected = archive;
        expected.entries[archive.count() - 2] = slotEntry(bell);
        QCOMPARE(readAll(out), expected.bytes());
        QCOMPARE(readAll(chk), archive.bytes());
    }

    void refusalsWriteNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        const QString chk = u"@/a.chk"_s;
        const QString out = u"@/out"_s;
        QTest::newRow("unknown command")
            << QStringList{u"frobnicate"_s} << u"unknown command \"frobnicate\""_s;
        QTest::newRow("join onto its own input")
            << QStringList{u"chk"_s, u"join"_s, u"@/x"_s, u"-o"_s, u"@/x/Entry 031.bin"_s}
            << u"input"_s;
        QTest::newRow("extract into a non-empty folder")
            << QStringList{u"chk"_s, u"extract"_s, chk, u"@/x"_s} << u"not empty"_s;
        QTest::newRow("not an archive")
            << QStringList{u"chk"_s, u"extract"_s, u"@/x/index.txt"_s, out, u"--all"_s}
            << u"not a sound archive"_s;
        QTest::newRow("join without an index")
            << QStringList{u"chk"_s, u"join"_s, u"@"_s, u"-o"_s, out} << u"index.txt"_s;
        QTest::newRow("join of a sound too large for an entry")
            << QStringList{u"chk"_s, u"join"_s, u"@/big"_s, u"-o"_s, out} << u"at most 131056"_s;
        QTest::newRow("a slot the build of 102 entries leaves alone")
            << QStringList{u"chk"_s,
                           u"build"_s,
                           u"@/b.chk"_s,
                           u"-o"_s,
                           out,
                           u"--slot"_s,
                           u"20=@/x/Entry 030.ogg"_s}
            << u"does not replace slot 20"_s;
        QTest::newRow("a build's slot past 30")
            << QStringList{u"chk"_s, u"build"_s, chk, u"-o"_s, out, u"--slot"_s, u"31=x.ogg"_s}
            << u"--slot needs N=SOUND with N from 1 to 30, not \"31=x.ogg\""_s;
        QTest::newRow("a menu item without its number")
            << QStringList{u"patch"_s,   chk, u"-o"_s,     out,
                           u"--texts"_s, chk, u"--item"_s, u"Gatso"_s}
            << u"--item needs N=TEXT with N from 1 to 30, not \"Gatso\""_s;
        QTest::newRow("a build without its output")
            << QStringList{u"chk"_s, u"build"_s, chk} << u"chk build needs -o OUT"_s;
    }

    // Each command's --help prints its usage and its options, and is no refusal.
    void helpSucceeds_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("usage");
        QTest::newRow("identify") << QStringList{u"identify"_s} << u"identify FILE"_s;
        QTest::newRow("patch") << QStringList{u"patch"_s} << u"patch FILE -o OUT"_s;
        QTest::newRow("chk join") << QStringList{u"chk"_s, u"join"_s} << u"chk join DIR -o OUT"_s;
        QTest::newRow("convert") << QStringList{u"convert"_s} << u"convert IN OUT"_s;
    }
    void helpSucceeds()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, usage);
        const Run run = cli(arguments << u"--help"_s);
        QCOMPARE(run.code, 0);
        QVERIFY2(run.out.startsWith(u"Usage: tollvik-alerts-cli "_s + usage), qPrintable(run.out));
        QVERIFY(run.out.contains(u"--help"_s) && run.err.isEmpty());
    }

    void refusalsWriteNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        ProgramFolder folder;
        const QString root = QDir::cleanPath(folder.path());
        QVERIFY(writeAll(root + u"/a.chk"_s, makeChk(31).bytes()) &&
                writeAll(root + u"/b.chk"_s, makeChk(102).bytes()) &&
                writeAll(root + u"/big/index.txt"_s, "tollvik-alerts chk index 1\nentry e.ogg\n") &&
                writeAll(root + u"/big/e.ogg"_s, "OggS" + QByteArray(131053, 'x')));
        QCOMPARE(cli({u"chk"_s, u"extract"_s, root + u"/a.chk"_s, root + u"/x"_s, u"--all"_s}).code,
                 0);
        const auto before = filesUnder(root);
        arguments.replaceInStrings(u"@"_s, root);
        const Run run = cli(arguments);
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        QCOMPARE(run.err.count(u'\n'), 1);
        QCOMPARE(filesUnder(root), before);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
