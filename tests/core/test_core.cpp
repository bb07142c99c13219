// The file layer every subsystem reads through, the same-file guard and the test for a usable
// file.
#include "core/fileio.h"
#include "core/paths.h"
#include "testsupport.h"

#include <QFile>
#include <QTest>

using namespace tollvik;
using namespace Qt::StringLiterals;

class CoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QVERIFY(QFile::link(path, folder.file(u"link.bin"_s)));
        QVERIFY(isSameFile(folder.file(u"link.bin"_s), path));
        QVERIFY(!isSameFile(path, folder.file(u"missing"_s)));
    }
};

QTEST_GUILESS_MAIN(CoreTest)
#include "test_core.moc"
