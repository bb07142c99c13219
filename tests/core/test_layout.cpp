// The program folder's decision and readiness: which folder a layout of files on disk gives,
// and what the start-up says of a folder it cannot use.
#include "core/layout.h"
#include "testsupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace tollvik;
using namespace Qt::StringLiterals;

namespace {

const QString kLibrary = u"libbass.so"_s;
const QString kPrivate = u"../lib/x86_64-linux-gnu/tollvik-alerts"_s;

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decision_data();
    void decision();
    void installedFolderIsMadeOnFirstStart();
    void portableFolderIsOnlyChecked_data();
    void portableFolderIsOnlyChecked();
    void readOnlyPortableFolder();
    void installedFolderThatCannotBeMade();
    void version();
};

// Each row lays out files under a root: the executable's folder is root/usr/bin.
void TestLayout::decision_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("installed");

    QTest::newRow("library beside the executable") << QStringList{u"usr/bin/libbass.so"_s} << false;
    QTest::newRow("library in the private folder")
        << QStringList{u"usr/lib/x86_64-linux-gnu/tollvik-alerts/libbass.so"_s} << true;
    QTest::newRow("both: the folder beside wins")
        << QStringList{u"usr/bin/libbass.so"_s,
                       u"usr/lib/x86_64-linux-gnu/tollvik-alerts/libbass.so"_s}
        << false;
    QTest::newRow("no library anywhere") << QStringList{} << false;
    QTest::newRow("private folder without the library")
        << QStringList{u"usr/lib/x86_64-linux-gnu/tollvik-alerts/libtollvik-convert.so"_s} << false;
    QTest::newRow("a folder named like the library")
        << QStringList{u"usr/lib/x86_64-linux-gnu/tollvik-alerts/libbass.so/x"_s} << false;
    QTest::newRow("library in another program's private folder")
        << QStringList{u"usr/lib/x86_64-linux-gnu/other/libbass.so"_s} << false;
}

void TestLayout::decision()
{
    QFETCH(QStringList, files);
    QFETCH(bool, installed);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(u"usr/bin"_s));
    for (const QString& file : files)
        QVERIFY(test::writeAll(root.filePath(file), "ELF"));
    const QString bin = root.filePath(u"usr/bin/"_s);
    const QString data = root.filePath(u"home/.local/share/tollvik-alerts"_s);

    const ProgramFolders folders = decideProgramFolders({bin, kLibrary, kPrivate, data});

    if (installed) {
        QCOMPARE(folders.layout, Layout::Installed);
        QCOMPARE(folders.programFolder, data + u'/');
        QCOMPARE(folders.libraryFolder,
                 root.filePath(u"usr/lib/x86_64-linux-gnu/tollvik-alerts/"_s));
    } else {
        // Exactly the executable's folder, as the program has always formed it.
        QCOMPARE(folders.layout, Layout::Portable);
        QCOMPARE(folders.programFolder, bin);
        QCOMPARE(folders.libraryFolder, bin);
    }
    QVERIFY(folders.programFolder.endsWith(u'/'));
    QVERIFY(folders.libraryFolder.endsWith(u'/'));
    QVERIFY(!QFileInfo::exists(data)); // deciding writes nothing
}

void TestLayout::installedFolderIsMadeOnFirstStart()
{
    QTemporaryDir root;
    const QString data = root.filePath(u"home/.local/share/tollvik-alerts/"_s);
    const ProgramFolders folders{Layout::Installed, data, root.filePath(u"lib/"_s)};

    QVERIFY(prepareProgramFolder(folders).ok());
    QVERIFY(QFileInfo(data + u"Temp"_s).isDir());
    QVERIFY(QFileInfo(data + u"Modified"_s).isDir());
    // A second start finds it and leaves what is in it.
    QVERIFY(test::writeAll(data + u"Tollvik.ini"_s, "kept"));
    QVERIFY(prepareProgramFolder(folders).ok());
    QCOMPARE(test::readAll(data + u"Tollvik.ini"_s), QByteArray("kept"));
}

// A portable folder is never changed at start-up; one that cannot hold the working folders
// gives the one message, naming the folder and the reason.
void TestLayout::portableFolderIsOnlyChecked_data()
{
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("reason"); // empty: usable

    QTest::newRow("usable") << QStringList{u"Temp"_s, u"Modified"_s} << QStringList{} << QString();
    QTest::newRow("usable with results in it")
        << QStringList{u"Temp"_s, u"Modified"_s} << QStringList{u"Modified/ttn"_s} << QString();
    QTest::newRow("no Temp") << QStringList{u"Modified"_s} << QStringList{}
                             << u"Temp does not exist"_s;
    QTest::newRow("no Modified") << QStringList{u"Temp"_s} << QStringList{}
                                 << u"Modified does not exist"_s;
    QTest::newRow("Temp is a file")
        << QStringList{u"Modified"_s} << QStringList{u"Temp"_s} << u"Temp is not a folder"_s;
}

void TestLayout::portableFolderIsOnlyChecked()
{
    QFETCH(QStringList, folders);
    QFETCH(QStringList, files);
    QFETCH(QString, reason);
    QTemporaryDir root;
    for (const QString& folder : folders)
        QVERIFY(QDir(root.path()).mkpath(folder));
    for (const QString& file : files)
        QVERIFY(test::writeAll(root.filePath(file), "x"));
    const QString folder = root.path() + u'/';
    const QMap<QString, QByteArray> before = test::filesUnder(root.path());

    const Status usable = prepareProgramFolder({Layout::Portable, folder, folder});

    QCOMPARE(test::filesUnder(root.path()), before);
    if (reason.isEmpty()) {
        QVERIFY2(usable.ok(), qPrintable(usable.error()));
        return;
    }
    QVERIFY(!usable.ok());
    QVERIFY2(usable.error().startsWith(u"The program folder "_s + folder + u" cannot be used: "_s),
             qPrintable(usable.error()));
    QVERIFY2(usable.error().contains(folder + reason), qPrintable(usable.error()));
}

void TestLayout::readOnlyPortableFolder()
{
    if (::geteuid() == 0)
        QSKIP("root writes into any folder of a writable file system");
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(u"Temp"_s));
    QVERIFY(QDir(root.path()).mkpath(u"Modified"_s));
    QVERIFY(QFile::setPermissions(root.path(), QFile::ReadOwner | QFile::ExeOwner));
    const QString folder = root.path() + u'/';

    const Status usable = prepareProgramFolder({Layout::Portable, folder, folder});

    QVERIFY(
        QFile::setPermissions(root.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(!usable.ok());
    QVERIFY2(usable.error().contains(root.path() + u"/ cannot be written"_s),
             qPrintable(usable.error()));
}

// A home folder whose data folder cannot be made: the same one message, not a failure later.
void TestLayout::installedFolderThatCannotBeMade()
{
    QTemporaryDir root;
    QVERIFY(test::writeAll(root.filePath(u"home/.local"_s), "a file, not a folder"));
    const QString data = root.filePath(u"home/.local/share/tollvik-alerts/"_s);

    const Status usable = prepareProgramFolder({Layout::Installed, data, root.path() + u'/'});

    QVERIFY(!usable.ok());
    QVERIFY2(usable.error().contains(data + u" does not exist"_s), qPrintable(usable.error()));
}

void TestLayout::version()
{
    QVERIFY(
        QRegularExpression(u"^[0-9]+\\.[0-9]+(\\.[0-9]+)?$"_s).match(programVersion()).hasMatch());
}

QTEST_GUILESS_MAIN(TestLayout)
#include "test_layout.moc"
