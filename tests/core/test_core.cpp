// The file layer every subsystem reads through, the same-file guard and the test for a usable
// file.
#include "core/fileio.h"
#include "core/paths.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tollvik;
using namespace Qt::StringLiterals;

namespace {

enum class Special
{
    Fifo,
    Device,
    Socket,
    Folder
};

// Makes the special file at `path` (a device: a link to /dev/null, which every route follows).
bool makeSpecial(Special kind, const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    switch (kind) {
    case Special::Fifo:
        return ::mkfifo(native.constData(), 0600) == 0;
    case Special::Device:
        return QFile::link(u"/dev/null"_s, path);
    case Special::Socket: {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd < 0 || std::size_t(native.size()) >= sizeof(address.sun_path))
            return false;
        std::copy(native.begin(), native.end(), address.sun_path);
        const bool bound =
            ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        ::close(fd); // the socket file stays
        return bound;
    }
    case Special::Folder:
        return QDir().mkdir(path);
    }
    return false;
}

// The type of what is at the path, by stat.
std::filesystem::file_type typeAt(const QString& path)
{
    return std::filesystem::status(toFsPath(path)).type();
}

// Sets the last-write time of a file or folder `seconds` back.
void age(const QString& path, int seconds)
{
    const auto p = toFsPath(path);
    std::filesystem::last_write_time(p, std::filesystem::last_write_time(p) -
                                            std::chrono::seconds(seconds));
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

    // A special file is refused by stat before anything opens it, for reading and for writing:
    // a FIFO would block, a device would be replaced or fed. Each stays what it was.
    void specialFilesAreNeitherReadNorReplaced_data()
    {
        QTest::addColumn<Special>("kind");
        QTest::addColumn<QString>("said");
        QTest::newRow("FIFO") << Special::Fifo << u"it is a FIFO, not a regular file"_s;
        QTest::newRow("device") << Special::Device << u"it is a device, not a regular file"_s;
        QTest::newRow("socket") << Special::Socket << u"it is a socket, not a regular file"_s;
        QTest::newRow("folder") << Special::Folder << u"it is a folder, not a file"_s;
    }

    void specialFilesAreNeitherReadNorReplaced()
    {
        QFETCH(Special, kind);
        QFETCH(QString, said);
        // A short path: a socket's name is limited to about 100 bytes.
        QTemporaryDir dir(QDir::tempPath() + u"/tc-XXXXXX"_s);
        const QString path = dir.filePath(u"s"_s);
        QVERIFY(makeSpecial(kind, path));
        const auto type = typeAt(path);

        QCOMPARE(checkRegularFile(path).error(), said);
        QCOMPARE(readWholeFile(path).error(), said);
        QCOMPARE(readRange(path, 0, 1).error(), said);
        QVERIFY(checkWritableTarget(path).error().startsWith(said));
        QVERIFY(writeFileAtomically(path, "replaced").error().startsWith(said));
        QCOMPARE(typeAt(path), type);
        QCOMPARE(
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
            QStringList{u"s"_s}); // no temporary file left beside it
    }

    void regularFilesAreReadAndReplacedThroughALink()
    {
        test::ProgramFolder folder;
        const QString file = folder.file(u"a.bin"_s);
        QVERIFY(test::writeAll(file, "old"));
        QCOMPARE(checkRegularFile(folder.file(u"missing"_s)).error(), u"it does not exist"_s);
        QVERIFY(checkWritableTarget(folder.file(u"missing"_s)).ok());
        QVERIFY(QFile::link(file, folder.file(u"link"_s)));
        QVERIFY(writeFileAtomically(folder.file(u"link"_s), "new").ok());
        QVERIFY(QFileInfo(folder.file(u"link"_s)).isSymLink()); // the link stays, its file is new
        QCOMPARE(test::readAll(file), QByteArray("new"));
        QCOMPARE(readWholeFile(folder.file(u"link"_s)).value(), QByteArray("new"));
    }

    // What a killed writer leaves is named plainly ours; the next run removes it once it is
    // older than a minute, and nothing else, however alike.
    void staleTemporaryFilesAreRemovedAndNothingElse()
    {
        test::ProgramFolder folder;
        const QString dir = folder.modified();
        const QString prefix = QString(kTemporaryPrefix);
        const QStringList stale{prefix + u"a1B2c3"_s, prefix + u"folder"_s};
        const QStringList kept{prefix + u"fresh1"_s, prefix + u"toolong"_s, u"Data.chk"_s,
                               u"x"_s + prefix + u"a1B2c3"_s, u"user.tollvik-alerts-partial"_s};
        for (const QString& name : stale + kept) {
            if (name.endsWith(u"folder"_s))
                QVERIFY(test::writeAll(dir + name + u"/inside.ogg"_s, "x"));
            else
                QVERIFY(test::writeAll(dir + name, "x"));
            if (name != prefix + u"fresh1"_s)
                age(dir + name, 120);
        }
        QCOMPARE(removeStaleTemporaryFiles(dir), 2);
        QDir listing(dir);
        QStringList left =
            listing.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        QStringList expected = kept;
        left.sort();
        expected.sort();
        QCOMPARE(left, expected);

        // A write leaves only its target, whatever it replaced.
        QVERIFY(writeFileAtomically(dir + u"Data.chk"_s, "new").ok());
        QCOMPARE(listing.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(),
                 expected.size());
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
