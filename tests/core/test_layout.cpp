// The program folder's decision and readiness: which folder a layout of files on disk gives,
// and what the start-up says of a folder it cannot use.
#include "core/layout.h"
#include "testsupport.h"

#include <QTest>
#include <unistd.h>

using namespace tollvik;
using namespace Qt::StringLiterals;

class TestLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each row lays out files under a root: the executable's folder is root/usr/bin, the
    // installed library's root/usr/lib/x86_64-linux-gnu/tollvik-alerts ("@").
    void decision_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("installed");
        QTest::newRow("library beside the executable")
            << QStringList{u"usr/bin/libbass.so"_s} << false;
        QTest::newRow("library in the private folder") << QStringList{u"@/libbass.so"_s} << true;
        QTest::newRow("both: the folder beside wins")
            << QStringList{u"usr/bin/libbass.so"_s, u"@/libbass.so"_s} << false;
        QTest::newRow("no library anywhere") << QStringList{} << false;
        QTest::newRow("private folder without the library")
            << QStringList{u"@/libtollvik-convert.so"_s} << false;
        QTest::newRow("a folder named like the library")
            << QStringList{u"@/libbass.so/x"_s} << false;
        QTest::newRow("library in another program's private folder")
            << QStringList{u"usr/lib/x86_64-linux-gnu/other/libbass.so"_s} << false;
    }

    void decision()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, installed);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(u"usr/bin"_s));
        const QString lib = root.filePath(u"usr/lib/x86_64-linux-gnu/tollvik-alerts"_s);
        for (const QString& file : files.replaceInStrings(u"@"_s, lib))
            QVERIFY(test::writeAll(file.startsWith(u'/') ? file : root.filePath(file), "ELF"));
        const QString bin = root.filePath(u"usr/bin/"_s);
        const QString data = root.filePath(u"home/.local/share/tollvik-alerts"_s);
        const ProgramFolders folders = decideProgramFolders(
            {bin, u"libbass.so"_s, u"../lib/x86_64-linux-gnu/tollvik-alerts"_s, data});
        // Portable: exactly the executable's folder, as the program has always formed it.
        QCOMPARE(folders.layout, installed ? Layout::Installed : Layout::Portable);
        QCOMPARE(folders.programFolder, installed ? data + u'/' : bin);
        QCOMPARE(folders.libraryFolder, installed ? lib + u'/' : bin);
        QVERIFY(!QFileInfo::exists(data)); // deciding writes nothing
    }

    // A portable folder is never changed at start-up; one that cannot hold the working folders,
    // and an installed one that cannot be made, give the one message, naming folder and reason.
    void unusableFolderGivesTheOneMessage_data()
    {
        QTest::addColumn<QStringList>("files"); // a name ending in '/' is a folder
        QTest::addColumn<QString>("reason");    // empty: usable
        QTest::newRow("usable") << QStringList{u"Temp/"_s, u"Modified/"_s} << QString();
        QTest::newRow("usable with results in it")
            << QStringList{u"Temp/"_s, u"Modified/ttn"_s} << QString();
        QTest::newRow("no Temp") << QStringList{u"Modified/"_s} << u"Temp does not exist"_s;
        QTest::newRow("no Modified") << QStringList{u"Temp/"_s} << u"Modified does not exist"_s;
        QTest::newRow("Temp is a file")
            << QStringList{u"Modified/"_s, u"Temp"_s} << u"Temp is not a folder"_s;
        QTest::newRow("read-only")
            << QStringList{u"Temp/"_s, u"Modified/"_s} << u" cannot be written"_s;
        QTest::newRow("installed, home/.local a file")
            << QStringList{u"home/.local"_s}
            << u"home/.local/share/tollvik-alerts/ does not exist"_s;
    }

    void unusableFolderGivesTheOneMessage()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, reason);
        const bool readOnly = reason == u" cannot be written"_s;
        const bool installed = files.contains(u"home/.local"_s);
        if (readOnly && ::geteuid() == 0)
            QSKIP("root writes into any folder of a writable file system");
        QTemporaryDir root;
        for (const QString& file : files)
            QVERIFY(file.endsWith(u'/') ? QDir(root.path()).mkpath(file)
                                        : test::writeAll(root.filePath(file), "x"));
        const QString folder = root.path() + u'/';
        const QMap<QString, QByteArray> before = test::filesUnder(root.path());
        if (readOnly)
            QVERIFY(QFile::setPermissions(root.path(), QFile::ReadOwner | QFile::ExeOwner));
        const Status usable =
            installed
                ? prepareProgramFolder(
                      {Layout::Installed, folder + u"home/.local/share/tollvik-alerts/"_s, folder})
                : prepareProgramFolder({Layout::Portable, folder, folder});
        QFile::setPermissions(root.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(test::filesUnder(root.path()), before);
        QCOMPARE(usable.ok(), reason.isEmpty());
        if (!installed && !reason.isEmpty())
            QVERIFY2(usable.error().startsWith(u"The program folder "_s + folder +
                                               u" cannot be used: "_s),
                     qPrintable(usable.error()));
        QVERIFY2(usable.error().contains(folder + reason) || reason.isEmpty(),
                 qPrintable(usable.error()));
    }
};

QTEST_GUILESS_MAIN(TestLayout)
#include "test_layout.moc"
