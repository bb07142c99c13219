#include "core/paths.h"
#include "testsupport.h"

#include <QFile>
#include <QTest>

using namespace tollvik;

class PathsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rppAddsExactlyOneSeparator_data()
    {
        const QString sep = nativeSeparator();
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QStringLiteral("tool") << QStringLiteral("tool") + sep;
        QTest::newRow("already") << QStringLiteral("tool") + sep << QStringLiteral("tool") + sep;
        QTest::newRow("drive") << QStringLiteral("C:") << QStringLiteral("C:") + sep;
        QTest::newRow("double kept") << sep + sep << sep + sep;
    }
    void rppAddsExactlyOneSeparator()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(RPP(path), expected);
    }

    void getFileNameSplitsAtLastSeparator()
    {
        const QString sep = nativeSeparator();
        QCOMPARE(GetFileName(QStringLiteral("data.chk")), QStringLiteral("data.chk"));
        QCOMPARE(GetFileName(sep + QStringLiteral("a") + sep + QStringLiteral("b.chk")),
                 QStringLiteral("b.chk"));
        QCOMPARE(GetFileName(QStringLiteral("a") + sep), QString());
    }

    void existsNeedsAtLeastOneByte()
    {
        test::ProgramFolder folder;
        const QString empty = folder.file(QStringLiteral("empty.bin"));
        const QString full = folder.file(QStringLiteral("full.bin"));
        QVERIFY(test::writeAll(empty, {}));
        QVERIFY(test::writeAll(full, "x"));
        QVERIFY(!Exists(empty));
        QVERIFY(Exists(full));
        QVERIFY(!Exists(folder.file(QStringLiteral("missing/none.bin"))));
        QVERIFY(!Exists(folder.temp()));
        QVERIFY(!Exists(QString()));
    }

    void fileExistsSkipsHiddenFilesAndFolders()
    {
        test::ProgramFolder folder;
        const QString hidden = folder.file(QStringLiteral(".hidden"));
        const QString plain = folder.file(QStringLiteral("plain"));
        QVERIFY(test::writeAll(hidden, "x"));
        QVERIFY(test::writeAll(plain, {}));
        QVERIFY(!FileExists(hidden));
        QVERIFY(FileExists(plain));
        QVERIFY(!FileExists(folder.temp()));
    }
};

QTEST_GUILESS_MAIN(PathsTest)
#include "test_paths.moc"
