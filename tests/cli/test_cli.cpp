// tollvik-alerts-cli run as a user runs it: a process with arguments, its exit code, its output
// and the files it leaves.
#include "chkfactory.h"
#include "core/codepage.h"
#include "navigatorfiles.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace tollvik::test;

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

// Every file below the folder with its content.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDir dir(folder);
    for (const QString& name :
         dir.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name))
        files.insert(name, readAll(dir.filePath(name)));
    for (const QString& sub : dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        files.insert(sub + QStringLiteral("/"), {});
    return files;
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
        QTest::newRow("102 entries") << 102 << QByteArray();
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
        const QString chk = folder.file(QStringLiteral("Data \u00e9%1.chk"));
        QVERIFY(writeAll(chk, bytes));
        const QString dir = folder.file(QStringLiteral("entries"));

        const Run extracted = cli(
            {QStringLiteral("chk"), QStringLiteral("extract"), chk, dir, QStringLiteral("--all")});
        QCOMPARE(extracted.code, 0);
        QVERIFY(QFileInfo::exists(dir + QStringLiteral("/index.txt")));
        // The 30 slot sounds (all but the one with odd padding) come out as plain Ogg files.
        const QStringList oggs = QDir(dir).entryList({QStringLiteral("*.ogg")});
        QCOMPARE(oggs.size(), 29);
        QVERIFY(readAll(QDir(dir).filePath(oggs.first())).startsWith("OggS"));

        const QString joined = folder.file(QStringLiteral("joined.chk"));
        const Run join =
            cli({QStringLiteral("chk"), QStringLiteral("join"), dir, QStringLiteral("-o"), joined});
        QCOMPARE(join.code, 0);
        QCOMPARE(readAll(joined), bytes);
    }

    void listAllShowsEveryEntry()
    {
        ProgramFolder folder;
        const ChkArchive archive = makeChk(33);
        const QString chk = folder.file(QStringLiteral("a.chk"));
        QVERIFY(writeAll(chk, archive.bytes()));
        const Run run =
            cli({QStringLiteral("chk"), QStringLiteral("list"), chk, QStringLiteral("--all")});
        QCOMPARE(run.code, 0);
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 33);
        QCOMPARE(lines[1].split(u' ', Qt::SkipEmptyParts),
                 (QStringList{QStringLiteral("1"), QString::number(archive.offsetOf(1)),
                              QString::number(archive.entries[0].size()), QStringLiteral("data")}));
        const QStringList slot0 = lines[3].split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(slot0.value(3), QStringLiteral("ogg"));
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
        const QString ttn = folder.file(QStringLiteral("ttn"));
        const QString ini = folder.file(QStringLiteral("texts.ini"));
        const QByteArray original = makeNavigatorFile(build);
        QVERIFY(writeAll(ttn, original));
        QVERIFY(writeAll(ini, "[MenuText]\r\nItem02=Gatso\r\nItem03=Mobile\r\n"));
        const Run identified = cli({QStringLiteral("identify"), ttn});
        QCOMPARE(identified.code, 0);
        QCOMPARE(identified.out.trimmed(), QString::fromLatin1(expectedBuild(build).caption));

        const QString out = folder.modified(QStringLiteral("ttn"));
        const Run patched =
            cli({QStringLiteral("patch"), ttn, QStringLiteral("-o"), out, QStringLiteral("--texts"),
                 ini, QStringLiteral("--item"), QStringLiteral("3=Caf\u00e9 \u20ac")});
        QCOMPARE(patched.code, 0);
        std::array<QString, 30> texts;
        texts[1] = QStringLiteral("Gatso");
        texts[2] = QStringLiteral("Caf\u00e9 \u20ac");
        std::array<QByteArray, 30> encoded;
        for (std::size_t i = 0; i < 30; ++i)
            encoded[i] = tollvik::encodeCp1252(texts[i]).bytes;
        QCOMPARE(readAll(out), expectedPatch(original, expectedBuild(build), encoded, texts));
        QVERIFY(patched.out.startsWith(QStringLiteral("Preparing to alter the the backed up")));
        QCOMPARE(readAll(ttn), original);

        const Run unknown = cli({QStringLiteral("identify"), ini});
        QCOMPARE(unknown.code, 1);
        QCOMPARE(unknown.err.split(u'\n', Qt::SkipEmptyParts).size(), 3);
    }

    void buildReplacesTheGivenSlots()
    {
        ProgramFolder folder;
        const ChkArchive archive = makeChk(40);
        const QString chk = folder.file(QStringLiteral("voice.chk"));
        const QString sound = folder.file(QStringLiteral("bell.ogg"));
        const QByteArray bell = makeOggSine(900.0, 0.2);
        QVERIFY(writeAll(chk, archive.bytes()) && writeAll(sound, bell));
        const QString out = folder.file(QStringLiteral("new.chk"));
        const Run run =
            cli({QStringLiteral("chk"), QStringLiteral("build"), chk, QStringLiteral("-o"), out,
                 QStringLiteral("--slot"), QStringLiteral("30=") + sound});
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
        const QString chk = QStringLiteral("@/a.chk");
        const QString out = QStringLiteral("@/out");
        QTest::newRow("unknown command")
            << QStringList{QStringLiteral("frobnicate")} << QStringLiteral("Usage:");
        QTest::newRow("join onto its own input")
            << QStringList{QStringLiteral("chk"), QStringLiteral("join"), QStringLiteral("@/x"),
                           QStringLiteral("-o"), QStringLiteral("@/x/Entry 031.bin")}
            << QStringLiteral("input");
        QTest::newRow("extract into a non-empty folder")
            << QStringList{QStringLiteral("chk"), QStringLiteral("extract"), chk,
                           QStringLiteral("@/x")}
            << QStringLiteral("not empty");
        QTest::newRow("not an archive")
            << QStringList{QStringLiteral("chk"), QStringLiteral("extract"),
                           QStringLiteral("@/x/index.txt"), out, QStringLiteral("--all")}
            << QStringLiteral("not a sound archive");
        QTest::newRow("join without an index")
            << QStringList{QStringLiteral("chk"), QStringLiteral("join"), QStringLiteral("@"),
                           QStringLiteral("-o"), out}
            << QStringLiteral("index.txt");
    }

    void refusalsWriteNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        ProgramFolder folder;
        const QString root = QDir::cleanPath(folder.path());
        QVERIFY(writeAll(root + QStringLiteral("/a.chk"), makeChk(31).bytes()));
        QCOMPARE(
            cli({QStringLiteral("chk"), QStringLiteral("extract"), root + QStringLiteral("/a.chk"),
                 root + QStringLiteral("/x"), QStringLiteral("--all")})
                .code,
            0);
        const auto before = snapshot(root);
        const auto beforeX = snapshot(root + QStringLiteral("/x"));
        arguments.replaceInStrings(QStringLiteral("@"), root);
        const Run run = cli(arguments);
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        QCOMPARE(run.err.count(u'\n'), said == QStringLiteral("Usage:") ? run.err.count(u'\n') : 1);
        QCOMPARE(snapshot(root), before);
        QCOMPARE(snapshot(root + QStringLiteral("/x")), beforeX);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
