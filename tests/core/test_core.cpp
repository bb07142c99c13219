// The file layer every subsystem writes through, and the test for a usable file.
#include "core/fileio.h"
#include "core/paths.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace tollvik;
using namespace Qt::StringLiterals;

class CoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setWriteFaultHookForTesting({}); }

    void fileExistsSkipsHiddenFilesAndFolders()
    {
        test::ProgramFolder folder;
        QVERIFY(test::writeAll(folder.file(u".hidden"_s), "x"));
        QVERIFY(!FileExists(folder.file(u".hidden"_s)));
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
        const QString path = folder.file(u"ten.bin"_s);
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
            folder.path() + u"Modified/../Temp/./"_s + QFileInfo(path).fileName();
        QVERIFY(isSameFile(path, roundabout));
        QVERIFY(!copyFileAtomically(roundabout, path).ok());
        QVERIFY(QFile::link(path, folder.file(u"link.bin"_s)));
        QVERIFY(!copyFileAtomically(folder.file(u"link.bin"_s), path).ok());
        QCOMPARE(test::readAll(path), QByteArray("keep"));
        QVERIFY(!isSameFile(path, folder.file(u"missing"_s)));
    }

    void writesReplaceTheTargetWholeOrNotAtAll()
    {
        test::ProgramFolder folder;
        const QString from = folder.file(u"from.bin"_s);
        const QString to = folder.modified(u"to.bin"_s);
        const QByteArray big(3 * 1024 * 1024 + 17, 'b');
        QVERIFY(test::writeAll(from, big));
        QVERIFY(test::writeAll(to, QByteArray(5 * 1024 * 1024, 'o')));
        QVERIFY(copyFileAtomically(from, to).ok());
        QCOMPARE(test::readAll(to), big);

        setWriteFaultHookForTesting([](const QString&) { return u"disk full"_s; });
        const Status result = writeFileAtomically(to, "new");
        QCOMPARE(result.error(), u"disk full"_s);
        QCOMPARE(test::readAll(to), big);
        QCOMPARE(QDir(folder.modified()).entryList(QDir::Files), QStringList{"to.bin"});
    }
};

QTEST_GUILESS_MAIN(CoreTest)
#include "test_core.moc"
