// The file layer every subsystem writes through, and the test for a usable file.
#include "core/fileio.h"
#include "core/paths.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace tollvik;

class CoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setWriteFaultHookForTesting({}); }

    void fileExistsSkipsHiddenFilesAndFolders()
    {
        test::ProgramFolder folder;
        QVERIFY(test::writeAll(folder.file(QStringLiteral(".hidden")), "x"));
        QVERIFY(!FileExists(folder.file(QStringLiteral(".hidden"))));
        QVERIFY(!FileExists(folder.temp()));
    }

    void readRangeRefusesRangesOutsideTheFile_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<bool>("ok");
        QTest::newRow("whole") << qint64(0) << qint64(10) << true;
        QTest::newRow("empty at end") << qint64(10) << qint64(0) << true;
        QTest::newRow("one past") << qint64(9) << qint64(2) << false;
        QTest::newRow("offset past") << qint64(11) << qint64(0) << false;
        QTest::newRow("negative") << qint64(-1) << qint64(1) << false;
        QTest::newRow("overflow") << qint64(5) << std::numeric_limits<qint64>::max() << false;
    }

    void readRangeRefusesRangesOutsideTheFile()
    {
        QFETCH(qint64, offset);
        QFETCH(qint64, length);
        QFETCH(bool, ok);
        test::ProgramFolder folder;
        const QString path = folder.file(QStringLiteral("ten.bin"));
        QVERIFY(test::writeAll(path, "0123456789"));
        const auto out = readRange(path, offset, length);
        QCOMPARE(out.ok(), ok);
        if (ok)
            QCOMPARE(out.value(), QByteArray("0123456789").mid(offset, length));
    }

    void sameFileByAnyRouteAndAnyCharacters()
    {
        test::ProgramFolder folder;
        const QString path = folder.temp(QString::fromUcs4(U"Sp\u00e9cial \U0001F600 \u4e2d.bin"));
        QVERIFY(test::writeAll(path, "keep"));
        const QString roundabout =
            folder.path() + QStringLiteral("Modified/../Temp/./") + QFileInfo(path).fileName();
        QVERIFY(isSameFile(path, roundabout));
        QVERIFY(!copyFileAtomically(roundabout, path).ok());
        QVERIFY(QFile::link(path, folder.file(QStringLiteral("link.bin"))));
        QVERIFY(!copyFileAtomically(folder.file(QStringLiteral("link.bin")), path).ok());
        QCOMPARE(test::readAll(path), QByteArray("keep"));
        QVERIFY(!isSameFile(path, folder.file(QStringLiteral("missing"))));
    }

    void writesReplaceTheTargetWholeOrNotAtAll()
    {
        test::ProgramFolder folder;
        const QString from = folder.file(QStringLiteral("from.bin"));
        const QString to = folder.modified(QStringLiteral("to.bin"));
        const QByteArray big(3 * 1024 * 1024 + 17, 'b');
        QVERIFY(test::writeAll(from, big));
        QVERIFY(test::writeAll(to, QByteArray(5 * 1024 * 1024, 'o')));
        QVERIFY(copyFileAtomically(from, to).ok());
        QCOMPARE(test::readAll(to), big);

        setWriteFaultHookForTesting([](const QString&) { return QStringLiteral("disk full"); });
        const Status result = writeFileAtomically(to, "new");
        QCOMPARE(result.error(), QStringLiteral("disk full"));
        QCOMPARE(test::readAll(to), big);
        QCOMPARE(QDir(folder.modified()).entryList(QDir::Files), QStringList{"to.bin"});
    }
};

QTEST_GUILESS_MAIN(CoreTest)
#include "test_core.moc"
