// The device round trip on a real FAT file system: finding the navigator's files, writing the
// results back over them with a backup, and what a refused or interrupted write leaves.
#include "chkfactory.h"
#include "device/device.h"
#include "fatimage.h"
#include "navigatorfiles.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int kBuild = 5; // TomTom GO 5.2
constexpr qint64 kImageBytes = qint64(32) << 20;

#define REQUIRE_FAT()                                                                              \
    do {                                                                                           \
        if (const QString why = FatImage::unavailable(); !why.isEmpty())                           \
            QSKIP(qPrintable(why));                                                                \
    } while (false)

// The files of a navigator's storage card: the main executable at the top, voices below, and
// files of other kinds beside them.
struct DeviceFiles
{
    QByteArray navigator = makeNavigatorFile(kBuild);
    QByteArray voice40 = makeChk(40).bytes();
    QByteArray voice35 = makeChk(35).bytes();
};

bool fill(const FatImage& fat, const DeviceFiles& files)
{
    return writeAll(fat.file(u"ttn"_s), files.navigator) &&
           writeAll(fat.file(u"voices/data0.chk"_s), files.voice40) &&
           writeAll(fat.file(u"voices/Dutch/data1.chk"_s), files.voice35) &&
           writeAll(fat.file(u"voices/readme.txt"_s), "not an archive") &&
           writeAll(fat.file(u"maps/Europe/europe.pna"_s), makeFillerFile(300000));
}

QStringList described(const Result<device::ScanResult>& scan)
{
    QStringList lines;
    for (const device::FoundFile& f : scan->found)
        lines.append((f.kind == device::FoundKind::Navigator ? u"navigator "_s : u"archive "_s) +
                     QDir::fromNativeSeparators(f.relativePath) + u' ' + f.description());
    return lines;
}

// A result differs from the original it replaces, so a write that did nothing shows up.
QByteArray changed(QByteArray bytes, char mark)
{
    bytes[bytes.size() / 2] = mark;
    return bytes;
}

struct Run
{
    int code = -1;
    QStringList out;
    QStringList err;
};

Run cli(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(TOLLVIK_CLI), arguments);
    process.waitForFinished(60000);
    const auto lines = [](const QByteArray& bytes) {
        return QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts);
    };
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            lines(process.readAllStandardOutput()), lines(process.readAllStandardError())};
}

// An archive of about 5 MB, as large as a device's voice archives get.
QByteArray bigArchive()
{
    ChkArchive archive = makeChk(31);
    archive.entries[0] = fillerEntry(1, 5 << 20);
    return archive.bytes();
}

// A file name that is bytes, not UTF-8 text.
QByteArray rawName(const QString& root)
{
    return QFile::encodeName(root) + "/a/\xff\xfe.chk";
}

// A file whose name is bytes, not text.
bool writeRaw(const QByteArray& path, const QByteArray& data)
{
    FILE* file = std::fopen(path.constData(), "wb");
    if (file == nullptr)
        return false;
    const bool written =
        std::fwrite(data.constData(), 1, size_t(data.size()), file) == size_t(data.size());
    return std::fclose(file) == 0 && written;
}

// One of the hostile trees of scanSurvivesHostileTrees beside a/data.chk in `root`.
bool makeHostileTree(const QString& root, const QString& tree, const QByteArray& archive)
{
    const QDir dir(root);
    if (tree == u"loops"_s)
        return QFile::link(root, dir.filePath(u"a/up"_s)) &&
               QFile::link(dir.filePath(u"b"_s), dir.filePath(u"b"_s)) &&
               QFile::link(dir.filePath(u"a"_s), dir.filePath(u"a/self"_s));
    if (tree == u"deep"_s)
        return dir.mkpath(QStringList(300, u"d"_s).join(u'/'));
    if (tree == u"wide"_s) {
        // a/ is searched first; the folders below wide/ are more than a search lists.
        if (!dir.mkdir(u"wide"_s))
            return false;
        for (int i = 0; i < 3000; ++i) {
            if (!dir.mkdir(u"wide/%1"_s.arg(i, 4, 10, QChar(u'0'))))
                return false;
        }
        return true;
    }
    if (tree == u"many files"_s) {
        // In the chosen folder itself, so that a/ is never listed.
        for (int i = 0; i < 5000; ++i) {
            if (!writeAll(dir.filePath(u"%1.bin"_s.arg(i)), {}))
                return false;
        }
        return true;
    }
    if (tree == u"fifo"_s)
        return dir.mkpath(u"a/b"_s) &&
               ::mkfifo(QFile::encodeName(dir.filePath(u"a/b/data.chk"_s)).constData(), 0600) == 0;
    if (tree == u"bytes"_s) {
        // The archive's only copy has a name Qt cannot give back as it is: passed over, no harm.
        return QFile::remove(dir.filePath(u"a/data.chk"_s)) && writeRaw(rawName(root), archive);
    }
    if (tree == u"unreadable"_s)
        return writeAll(dir.filePath(u"a/closed/data.chk"_s), archive) &&
               QFile::setPermissions(dir.filePath(u"a/closed"_s), {});
    return false;
}

} // namespace

class DeviceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scanFindsTheNavigatorAndTheArchives_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("expected");
        const QString caption = QString::fromLatin1(expectedBuild(kBuild).caption).chopped(8);
        QTest::newRow("the whole device, one navigator and several archives")
            << QString()
            << QStringList{u"navigator ttn "_s + caption, u"archive voices/data0.chk 40 entries"_s,
                           u"archive voices/Dutch/data1.chk 35 entries"_s};
        QTest::newRow("a folder of one archive")
            << u"voices/Dutch"_s << QStringList{u"archive data1.chk 35 entries"_s};
        QTest::newRow("a folder of neither") << u"maps"_s << QStringList{};
    }

    void scanFindsTheNavigatorAndTheArchives()
    {
        REQUIRE_FAT();
        QFETCH(QString, folder);
        QFETCH(QStringList, expected);
        FatImage fat(kImageBytes);
        QVERIFY(fat.made() && fat.mount());
        const DeviceFiles files;
        QVERIFY(fill(fat, files));
        const Result<device::ScanResult> scan = device::scanFolder(fat.file(folder));
        QVERIFY2(scan.ok(), qPrintable(scan.error()));
        QCOMPARE(described(scan), expected);
        for (const device::FoundFile& f : scan->found) {
            QCOMPARE(f.size, QFileInfo(f.path).size());
            QVERIFY(f.modified.isValid());
        }
    }

    void scanPassesOverWhatIsNoArchive_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray archive = makeChk(31).bytes();
        QTest::newRow("end offset one short of the length") << archive + QByteArray(1, 'x');
        QTest::newRow("truncated by one byte") << archive.chopped(1);
        QTest::newRow("only 30 entries") << makeChk(30).bytes();
        QByteArray decreasing = archive;
        putBe32(decreasing, 8, be32(decreasing, 12) + 4); // entry 1 ends after entry 2 starts
        QTest::newRow("offsets that decrease") << decreasing;
        QByteArray huge = archive;
        putBe32(huge, 0, 0x7FFFFFF0);
        QTest::newRow("a count that runs past the file") << huge;
        QTest::newRow("a navigator file missing one probe byte")
            << makeNavigatorFile(kBuild).left(expectedBuild(kBuild).probes[0].first);
        QTest::newRow("empty") << QByteArray();
    }

    void scanPassesOverWhatIsNoArchive()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath(u"data.chk"_s), bytes));
        const Result<device::ScanResult> scan = device::scanFolder(dir.path());
        QVERIFY(scan.ok());
        QCOMPARE(described(scan), QStringList{});
        QCOMPARE(scan->filesLookedAt, 1);
    }

    // Hostile trees: what lies beyond the limits, behind a link or in a FIFO is never read.
    void scanKeepsToItsLimits_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("found");
        QTest::newRow("three levels down") << u"a/b/c/data.chk"_s << true;
        QTest::newRow("four levels down") << u"a/b/c/d/data.chk"_s << false;
        QTest::newRow("behind a link to a folder") << u"link/data.chk"_s << false;
        QTest::newRow("our own unfinished write") << u"data.chk.tollvik-part"_s << false;
        QTest::newRow("a name with a line break") << u"a/da\nta.chk"_s << true;
        QTest::newRow("a name with a tab and a backslash") << u"da\tta\\.chk"_s << true;
        QTest::newRow("a name of 255 bytes") << QString(251, u'n') + u".chk"_s << true;
        QTest::newRow("a name beginning with a dash") << u"-rf.chk"_s << true;
        QTest::newRow("a hidden name") << u".data.chk"_s << true;
        QTest::newRow("a name of other scripts") << u"голос/声音.chk"_s << true;
    }

    void scanKeepsToItsLimits()
    {
        QFETCH(QString, where);
        QFETCH(bool, found);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"real"_s));
        QVERIFY(QFile::link(dir.filePath(u"real"_s), dir.filePath(u"link"_s)));
        // A FIFO no one writes to: opening it for reading in the usual way would block forever.
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(u"fifo.chk"_s)).constData(), 0600), 0);
        const QString target = where.startsWith(u"link/"_s)
                                   ? dir.filePath(u"real/"_s + where.mid(5))
                                   : dir.filePath(where);
        QVERIFY(writeAll(target, makeChk(31).bytes()));
        const Result<device::ScanResult> scan = device::scanFolder(dir.path());
        QVERIFY(scan.ok());
        const bool inLink = where.startsWith(u"link/"_s);
        // The file behind the link is found once, at its real place.
        QCOMPARE(scan->found.size(), (found || inLink) ? 1 : 0);
        if (inLink)
            QCOMPARE(QDir::fromNativeSeparators(scan->found.first().relativePath),
                     u"real/data.chk"_s);
    }

    // Trees no device should have, but a hostile or broken one may: each search ends, finds the
    // archive where it may and reads nothing it must not.
    void scanSurvivesHostileTrees_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<int>("found");
        QTest::addColumn<bool>("limitReached");
        QTest::newRow("links that loop back up") << u"loops"_s << 1 << false;
        QTest::newRow("a tree 300 folders deep") << u"deep"_s << 1 << false;
        QTest::newRow("a folder of 3,000 folders") << u"wide"_s << 1 << true;
        QTest::newRow("a folder of 5,000 empty files") << u"many files"_s << 0 << true;
        QTest::newRow("an archive behind a FIFO of that name") << u"fifo"_s << 1 << false;
        QTest::newRow("a name that is not UTF-8") << u"bytes"_s << 0 << false;
        QTest::newRow("an unreadable folder") << u"unreadable"_s << 1 << false;
    }

    void scanSurvivesHostileTrees()
    {
        QFETCH(QString, tree);
        QFETCH(int, found);
        QFETCH(bool, limitReached);
        if (tree == u"unreadable"_s && ::geteuid() == 0)
            QSKIP("root reads every folder");
        QTemporaryDir dir;
        const QByteArray archive = makeChk(31).bytes();
        QVERIFY(writeAll(dir.filePath(u"a/data.chk"_s), archive));
        QVERIFY(makeHostileTree(dir.path(), tree, archive));
        const Result<device::ScanResult> scan = device::scanFolder(dir.path());
        if (tree == u"bytes"_s)
            QCOMPARE(::unlink(rawName(dir.path()).constData()), 0); // QTemporaryDir cannot
        if (tree == u"unreadable"_s)
            QFile::setPermissions(dir.filePath(u"a/closed"_s),
                                  QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
        QVERIFY(scan.ok());
        QCOMPARE(scan->limitReached, limitReached);
        // The archive at a/data.chk, unless a limit stopped the search before it.
        QCOMPARE(scan->found.size(), found);
        if (found == 1)
            QCOMPARE(QDir::fromNativeSeparators(scan->found.first().relativePath), u"a/data.chk"_s);
    }

    void scanStopsAtTheFileLimitAndTheSizeLimit()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 8; ++i)
            QVERIFY(writeAll(dir.filePath(u"f%1.chk"_s.arg(i)), makeChk(31 + i).bytes()));
        device::ScanLimits limits;
        limits.maxFiles = 5;
        Result<device::ScanResult> scan = device::scanFolder(dir.path(), limits);
        QVERIFY(scan.ok());
        QCOMPARE(scan->filesLookedAt, 5);
        QVERIFY(scan->limitReached);
        QCOMPARE(scan->found.size(), 5);

        limits = {};
        limits.maxFileSize = makeChk(34).bytes().size();
        scan = device::scanFolder(dir.path(), limits);
        QVERIFY(scan.ok() && !scan->limitReached);
        QCOMPARE(scan->found.size(), 4); // 31 to 34 entries fit, the larger ones are not read

        const std::atomic_bool cancel{true};
        scan = device::scanFolder(dir.path(), {}, &cancel);
        QCOMPARE(scan.refusal(), Refusal::Cancelled);
    }

    void putWritesBothBackAndKeepsTheOriginals()
    {
        REQUIRE_FAT();
        FatImage fat(kImageBytes);
        QVERIFY(fat.made() && fat.mount());
        const DeviceFiles files;
        QVERIFY(fill(fat, files));
        ProgramFolder program;
        const QString backups = device::backupRootOf(program.path());
        const QByteArray patched = changed(files.navigator, 'P');
        const QByteArray built = changed(files.voice40, 'B');
        QVERIFY(writeAll(program.modified(u"ttn"_s), patched));
        QVERIFY(writeAll(program.modified(u"data0.chk"_s), built));

        RecordingLog log;
        const auto nav =
            device::putOnDevice(program.modified(u"ttn"_s), fat.file(u"ttn"_s), backups, log);
        QVERIFY2(nav.ok(), qPrintable(log.lines.join(u'\n')));
        QCOMPARE(log.lines.size(), 7); // space, backup, write, rename, folder, read-back, done
        const auto chk = device::putOnDevice(program.modified(u"data0.chk"_s),
                                             fat.file(u"voices/data0.chk"_s), backups, log);
        QVERIFY2(chk.ok(), qPrintable(log.lines.join(u'\n')));

        // Each write kept its original in a folder of its own.
        QCOMPARE(readAll(nav->backupPath), files.navigator);
        QCOMPARE(readAll(chk->backupPath), files.voice40);
        QVERIFY(QFileInfo(nav->backupPath).path() != QFileInfo(chk->backupPath).path());
        QCOMPARE(QDir(backups).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);

        // The device holds the results once fusefat has written its image, and is clean.
        QVERIFY(fat.unmount());
        QCOMPARE(fat.fsckFaults(), QString());
        QVERIFY(fat.mount());
        QCOMPARE(readAll(fat.file(u"ttn"_s)), patched);
        QCOMPARE(readAll(fat.file(u"voices/data0.chk"_s)), built);
        QCOMPARE(readAll(fat.file(u"voices/Dutch/data1.chk"_s)), files.voice35);
        QVERIFY(!QFileInfo::exists(fat.file(device::tempNameFor(u"ttn"_s))));

        // A second write of the same file keeps the result it replaces in a newer folder, and
        // a restore puts the newest backup back.
        QVERIFY(writeAll(program.modified(u"ttn"_s), changed(files.navigator, 'Q')));
        const auto again =
            device::putOnDevice(program.modified(u"ttn"_s), fat.file(u"ttn"_s), backups, log);
        QVERIFY(again.ok());
        QCOMPARE(device::newestBackup(fat.file(u"ttn"_s), backups), again->backupPath);
        QCOMPARE(readAll(again->backupPath), patched);
        QCOMPARE(readAll(nav->backupPath), files.navigator);
        const auto restored = device::restoreOriginal(fat.file(u"ttn"_s), backups, log);
        QVERIFY(restored.ok());
        QCOMPARE(readAll(fat.file(u"ttn"_s)), patched);
        QVERIFY(fat.unmount());
        QCOMPARE(fat.fsckFaults(), QString());
    }

    void aStaleTemporaryFileIsRemoved()
    {
        REQUIRE_FAT();
        FatImage fat(kImageBytes);
        QVERIFY(fat.made() && fat.mount());
        const DeviceFiles files;
        QVERIFY(fill(fat, files));
        const QString stale = fat.file(u"voices/"_s + device::tempNameFor(u"data0.chk"_s));
        QVERIFY(writeAll(stale, files.voice40.left(1000)));
        ProgramFolder program;
        QVERIFY(writeAll(program.modified(u"data0.chk"_s), files.voice35));
        RecordingLog log;
        const auto put =
            device::putOnDevice(program.modified(u"data0.chk"_s), fat.file(u"voices/data0.chk"_s),
                                device::backupRootOf(program.path()), log);
        QVERIFY(put.ok());
        QVERIFY(log.lines.first().contains(u"interrupted"_s));
        QVERIFY(!QFileInfo::exists(stale));
        QCOMPARE(readAll(fat.file(u"voices/data0.chk"_s)), files.voice35);
    }

    void refusalsChangeNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<qint64>("imageBytes");
        QTest::newRow("a read-only mount") << u"read-only"_s << kImageBytes;
        QTest::newRow("a device without the space") << u"full"_s << qint64(1440 * 1024);
        QTest::newRow("an original that vanished") << u"vanished"_s << kImageBytes;
        QTest::newRow("the result is the original") << u"same"_s << kImageBytes;
        QTest::newRow("the result is a FIFO") << u"fifo"_s << kImageBytes;
        QTest::newRow("the original is a folder") << u"folder"_s << kImageBytes;
    }

    void refusalsChangeNothing()
    {
        REQUIRE_FAT();
        QFETCH(QString, fault);
        QFETCH(qint64, imageBytes);
        FatImage fat(imageBytes);
        QVERIFY(fat.made() && fat.mount());
        // The small image holds an archive of 900 KB, and has not the room for a second.
        const QByteArray original = makeChk(31).bytes() + QByteArray(900000, 'x');
        QByteArray archive = original;
        putBe32(archive, 4 + 4 * 31, qint32(archive.size()));
        QVERIFY(writeAll(fat.file(u"data.chk"_s), archive));
        QVERIFY(QDir(fat.root()).mkpath(u"voices"_s));
        ProgramFolder program;
        QString result = program.modified(u"data.chk"_s);
        QVERIFY(writeAll(result, changed(archive, 'R')));
        QString target = fat.file(u"data.chk"_s);
        if (fault == u"vanished"_s) {
            QVERIFY(QFile::remove(target));
        } else if (fault == u"same"_s) {
            result = target;
        } else if (fault == u"fifo"_s) {
            QVERIFY(QFile::remove(result));
            QCOMPARE(::mkfifo(QFile::encodeName(result).constData(), 0600), 0);
        } else if (fault == u"folder"_s) {
            target = fat.file(u"voices"_s);
        } else if (fault == u"read-only"_s) {
            QVERIFY(fat.unmount() && fat.mount(false));
        }
        const auto before = filesUnder(fat.root());
        RecordingLog log;
        const QString backups = device::backupRootOf(program.path());
        const auto put = device::putOnDevice(result, target, backups, log);
        QVERIFY(!put.ok());
        QVERIFY2(log.lines.constLast().endsWith(u"The original is unchanged."_s),
                 qPrintable(log.lines.join(u'\n')));
        QCOMPARE(filesUnder(fat.root()), before);
        QVERIFY(!QDir(backups).exists()); // refused before the backup, which is not needed
        QVERIFY(fat.unmount());
        QCOMPARE(fat.fsckFaults(), QString());
    }

    void theCommandLineScansAndPuts()
    {
        REQUIRE_FAT();
        FatImage fat(kImageBytes);
        QVERIFY(fat.made() && fat.mount());
        const DeviceFiles files;
        QVERIFY(fill(fat, files));
        const Run scan = cli({u"device"_s, u"scan"_s, fat.root()});
        QCOMPARE(scan.code, 0);
        QCOMPARE(scan.out.size(), 3);
        QCOMPARE(scan.out.first(), u"navigator\t"_s + fat.file(u"ttn"_s) + u"\tTomTom GO 5.2"_s);
        QVERIFY(scan.out.last().endsWith(u"data1.chk\t35 entries"_s));

        ProgramFolder program;
        const QString result = program.modified(u"ttn"_s);
        QVERIFY(writeAll(result, changed(files.navigator, 'C')));
        const QString backups = program.file(u"kept"_s);
        const Run put =
            cli({u"device"_s, u"put"_s, result, fat.file(u"ttn"_s), u"--backup"_s, backups});
        QCOMPARE(put.code, 0);
        QCOMPARE(put.err, QStringList{});
        QCOMPARE(readAll(fat.file(u"ttn"_s)), readAll(result));
        QCOMPARE(readAll(device::newestBackup(fat.file(u"ttn"_s), backups)), files.navigator);

        // A refusal is one line on standard error, and the device keeps its file.
        const Run refused = cli({u"device"_s, u"put"_s, program.file(u"missing"_s),
                                 fat.file(u"ttn"_s), u"--backup"_s, backups});
        QCOMPARE(refused.code, 2);
        QCOMPARE(refused.err.size(), 1);
        QVERIFY(refused.err.first().contains(u"The original is unchanged."_s));
        QCOMPARE(readAll(fat.file(u"ttn"_s)), readAll(result));
        QCOMPARE(cli({u"device"_s, u"put"_s, u"--help"_s}).code, 0);
        QCOMPARE(cli({u"device"_s, u"scan"_s}).code, 2);

        // The restore puts the original back, on the device and from the backup folder named.
        const Run restored =
            cli({u"device"_s, u"restore"_s, fat.file(u"ttn"_s), u"--backup"_s, backups});
        QCOMPARE(restored.code, 0);
        QCOMPARE(restored.err, QStringList{});
        QVERIFY(restored.out.constLast().contains(u"is back on the device"_s));
        QCOMPARE(readAll(fat.file(u"ttn"_s)), files.navigator);
        QVERIFY(fat.unmount());
        QCOMPARE(fat.fsckFaults(), QString());
    }

    // A file name of the device may hold what separates the fields and lines of the output.
    void theCommandLineScanEscapesOddNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("printed");
        QTest::newRow("a tab") << u"da\tta.chk"_s << u"da\\tta.chk"_s;
        QTest::newRow("a line break") << u"da\nta.chk"_s << u"da\\nta.chk"_s;
        QTest::newRow("a backslash") << u"da\\ta.chk"_s << u"da\\\\ta.chk"_s;
        QTest::newRow("an escape") << u"\x1b[2J.chk"_s << u"\\x1b[2J.chk"_s;
        QTest::newRow("other scripts") << u"голос.chk"_s << u"голос.chk"_s;
    }

    void theCommandLineScanEscapesOddNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, printed);
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath(name), makeChk(31).bytes()));
        const Run scan = cli({u"device"_s, u"scan"_s, dir.path()});
        QCOMPARE(scan.code, 0);
        QCOMPARE(scan.out, QStringList{u"archive\t"_s + dir.filePath(printed) + u"\t31 entries"_s});
    }

    void theCommandLineRestores_data()
    {
        QTest::addColumn<QStringList>("arguments"); // ORIGINAL and BACKUP stand for the paths
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("restored");
        QTest::newRow("the newest backup of that file")
            << QStringList{u"ORIGINAL"_s, u"--backup"_s, u"BACKUP"_s} << 0 << true;
        QTest::newRow("the same name in another folder")
            << QStringList{u"OTHER"_s, u"--backup"_s, u"BACKUP"_s} << 2 << false;
        QTest::newRow("a backup folder that is not there")
            << QStringList{u"ORIGINAL"_s, u"--backup"_s, u"BACKUP/none"_s} << 2 << false;
        QTest::newRow("no original named") << QStringList{u"--backup"_s, u"BACKUP"_s} << 2 << false;
        QTest::newRow("help") << QStringList{u"--help"_s} << 0 << false;
    }

    void theCommandLineRestores()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(bool, restored);
        QTemporaryDir dir;
        const QString original = dir.filePath(u"GO/voice.chk"_s);
        const QString other = dir.filePath(u"GO/voices/voice.chk"_s);
        const QByteArray before = makeChk(31).bytes();
        QVERIFY(writeAll(original, before) && writeAll(other, makeChk(32).bytes()));
        const QString result = dir.filePath(u"result.chk"_s);
        QVERIFY(writeAll(result, changed(before, 'R')));
        const QString backups = dir.filePath(u"Backup"_s);
        RecordingLog log;
        QVERIFY(device::putOnDevice(result, original, backups, log).ok());
        const auto files = filesUnder(dir.path());
        for (QString& argument : arguments)
            argument.replace(u"ORIGINAL"_s, original)
                .replace(u"OTHER"_s, other)
                .replace(u"BACKUP"_s, backups);
        const Run run = cli(QStringList{u"device"_s, u"restore"_s} + arguments);
        QCOMPARE(run.code, code);
        QCOMPARE(run.err.size(), code == 0 ? 0 : 1);
        QCOMPARE(readAll(original), restored ? before : readAll(result));
        if (!restored)
            QCOMPARE(filesUnder(dir.path()), files);
    }

    // Killed at any moment, a write leaves the old file or the new one, whole, and at most a
    // temporary file of ours that the next write removes.
    void aKilledPutLeavesTheOldOrTheNewFile()
    {
        REQUIRE_FAT();
        FatImage fat(kImageBytes);
        QVERIFY(fat.made() && fat.mount());
        ProgramFolder program;
        const QByteArray versions[2] = {bigArchive(), changed(bigArchive(), 'K')};
        const QString results[2] = {program.modified(u"old.chk"_s), program.modified(u"new.chk"_s)};
        QVERIFY(writeAll(results[0], versions[0]) && writeAll(results[1], versions[1]));
        const QString original = fat.file(u"voices/data0.chk"_s);
        QVERIFY(writeAll(original, versions[0]));
        const QString temp = fat.file(u"voices/"_s + device::tempNameFor(original));
        const QString backups = program.file(u"Backup"_s);
        const auto putArguments = [&](int version) {
            return QStringList{u"device"_s, u"put"_s,      results[version],
                               original,    u"--backup"_s, backups};
        };
        // The kills fall between the program's start-up (a run that only prints its help) and
        // the end of a whole write, where the device is being written.
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(cli({u"device"_s, u"put"_s, u"--help"_s}).code, 0);
        const qint64 startUp = clock.restart();
        QCOMPARE(cli(putArguments(1)).code, 0);
        const qint64 fullRun = std::max<qint64>(clock.elapsed(), startUp + 20);

        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("kill moments from seed %u between %lld and %lld ms", seed, startUp, fullRun);
        QRandomGenerator random(seed);
        int current = 1;
        int tempsLeft = 0;
        for (int i = 0; i < 25; ++i) {
            QProcess put;
            put.start(QStringLiteral(TOLLVIK_CLI), putArguments(1 - current));
            QVERIFY(put.waitForStarted());
            QThread::msleep(quint32(startUp) + random.bounded(quint32(fullRun - startUp)));
            put.kill();
            QVERIFY(put.waitForFinished());
            const QByteArray now = readAll(original);
            QVERIFY2(now == versions[0] || now == versions[1], qPrintable(u"kill %1"_s.arg(i)));
            current = now == versions[1] ? 1 : 0;
            const QStringList left = QDir(fat.file(u"voices"_s)).entryList(QDir::Files);
            tempsLeft += left.contains(device::tempNameFor(original)) ? 1 : 0;
            QVERIFY(QSet<QString>(left.begin(), left.end())
                        .subtract({u"data0.chk"_s, device::tempNameFor(original)})
                        .isEmpty());
        }
        qInfo("%d of 25 kills left a temporary file for the next write", tempsLeft);
        const Run last = cli(putArguments(1 - current));
        QCOMPARE(last.code, 0);
        QCOMPARE(readAll(original), versions[1 - current]);
        QVERIFY(!QFileInfo::exists(temp));
        QVERIFY(fat.unmount());
        QCOMPARE(fat.fsckFaults(), QString());
    }
};

QTEST_GUILESS_MAIN(DeviceTest)
#include "test_device.moc"
