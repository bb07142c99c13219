// The file layer every subsystem reads through, the same-file guard and the test for a usable
// file.
#include "core/fileio.h"
#include "core/paths.h"
#include "testsupport.h"

#include <QTest>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tollvik;
using namespace Qt::StringLiterals;

namespace {

// Makes the special file at `path`: "fifo", "device" (a link to /dev/null, which every route
// follows), "socket" or "folder".
bool makeSpecial(const QString& kind, const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (kind == u"fifo"_s)
        return ::mkfifo(native.constData(), 0600) == 0;
    if (kind == u"device"_s)
        return QFile::link(u"/dev/null"_s, path);
    if (kind == u"folder"_s)
        return QDir().mkdir(path);
    sockaddr_un address{AF_UNIX, {}};
    std::copy(native.begin(), native.end(), address.sun_path); // a short path: it fits
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound =
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd); // the socket file stays
    return bound;
}

QStringList namesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                               QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

} // namespace

class CoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileExistsSkipsHiddenFilesAndFolders()
    {
        test::ProgramFolder folder;
        QVERIFY(test::writeAll(folder.file(u".hidden"_s), "x"));
        QVERIFY(!FileExists(folder.file(u".hidden"_s)) && !FileExists(folder.temp()));
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
        QVERIFY(test::writeAll(folder.file(u"ten.bin"_s), "0123456789"));
        const auto out = readRange(folder.file(u"ten.bin"_s), offset, length);
        QCOMPARE(out.ok(), ok);
        if (ok)
            QCOMPARE(out.value(), QByteArray("0123456789").mid(offset, length));
    }

    // A special file is refused by stat before anything opens it, for reading and for writing:
    // a FIFO would block, a device would be replaced or fed. Each stays what it was.
    void specialFilesAreNeitherReadNorReplaced_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");
        for (const char* kind : {"FIFO", "device", "socket"})
            QTest::newRow(kind) << QString::fromLatin1(kind).toLower()
                                << u"it is a %1, not a regular file"_s.arg(QLatin1String(kind));
        QTest::newRow("folder") << u"folder"_s << u"it is a folder, not a file"_s;
    }

    void specialFilesAreNeitherReadNorReplaced()
    {
        QFETCH(QString, kind);
        QFETCH(QString, said);
        // A short path: a socket's name is limited to about 100 bytes.
        QTemporaryDir dir(QDir::tempPath() + u"/tc-XXXXXX"_s);
        const QString path = dir.filePath(u"s"_s);
        QVERIFY(makeSpecial(kind, path));
        const auto type = std::filesystem::status(toFsPath(path)).type();
        QCOMPARE(checkRegularFile(path).error(), said);
        QCOMPARE(readWholeFile(path).error(), said);
        QCOMPARE(readRange(path, 0, 1).error(), said);
        QVERIFY(checkWritableTarget(path).error().startsWith(said));
        QVERIFY(writeFileAtomically(path, "replaced").error().startsWith(said));
        QCOMPARE(std::filesystem::status(toFsPath(path)).type(), type);
        QCOMPARE(namesIn(dir.path()), QStringList{u"s"_s}); // no temporary file left beside it
    }

    void regularFilesAreReadAndReplacedThroughALink()
    {
        test::ProgramFolder folder;
        const QString file = folder.file(u"a.bin"_s), link = folder.file(u"link"_s);
        QVERIFY(test::writeAll(file, "old") && QFile::link(file, link));
        QCOMPARE(checkRegularFile(folder.file(u"missing"_s)).error(), u"it does not exist"_s);
        QVERIFY(checkWritableTarget(folder.file(u"missing"_s)).ok());
        QVERIFY(writeFileAtomically(link, "new").ok());
        QVERIFY(QFileInfo(link).isSymLink()); // the link stays, its file is new
        QCOMPARE(test::readAll(file), QByteArray("new"));
        QCOMPARE(readWholeFile(link).value(), QByteArray("new"));
    }

    // What a killed writer leaves is named plainly ours; the next run removes it once it is
    // older than a minute, and nothing else, however alike. A write leaves only its target.
    void staleTemporaryFilesAreRemovedAndNothingElse()
    {
        test::ProgramFolder folder;
        const QString dir = folder.modified(), prefix = QString(kTemporaryPrefix);
        const QStringList stale{prefix + u"a1B2c3"_s, prefix + u"folder"_s};
        QStringList kept{prefix + u"fresh1"_s, prefix + u"toolong"_s, u"Data.chk"_s,
                         u"x"_s + prefix + u"a1B2c3"_s, u"user.tollvik-alerts-partial"_s};
        for (const QString& name : stale + kept) {
            const QString path = dir + name + (name.endsWith(u"folder"_s) ? u"/in.ogg"_s : u""_s);
            QVERIFY(test::writeAll(path, "x"));
            const auto p = toFsPath(dir + name);
            if (name != prefix + u"fresh1"_s)
                std::filesystem::last_write_time(p, std::filesystem::last_write_time(p) -
                                                        std::chrono::minutes(2));
        }
        QCOMPARE(removeStaleTemporaryFiles(dir), 2);
        kept.sort();
        QCOMPARE(namesIn(dir), kept);
        QVERIFY(writeFileAtomically(dir + u"Data.chk"_s, "new").ok());
        QCOMPARE(namesIn(dir), kept);
    }

    void sameFileByAnyRouteAndAnyCharacters()
    {
        test::ProgramFolder folder;
        const QString path = folder.temp(QString::fromUcs4(U"Sp\u00e9cial \U0001F600 \u4e2d.bin"));
        QVERIFY(test::writeAll(path, "keep") && QFile::link(path, folder.file(u"link.bin"_s)));
        QVERIFY(isSameFile(path,
                           folder.path() + u"Modified/../Temp/./"_s + QFileInfo(path).fileName()));
        QVERIFY(isSameFile(folder.file(u"link.bin"_s), path));
        QVERIFY(!isSameFile(path, folder.file(u"missing"_s)));
    }
};

QTEST_GUILESS_MAIN(CoreTest)
#include "test_core.moc"
