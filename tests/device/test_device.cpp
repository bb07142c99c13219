// The device subsystem: the search of a device's tree; the write of a result over the original
// with a backup on a real FAT file system, through file operations that fail on demand, and
// killed during the command line's device put; the restore of the original.
#include "chkfactory.h"
#include "device/device.h"
#include "fatimage.h"
#include "navigatorfiles.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <sys/stat.h>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kImageBytes = qint64(32) << 20;
const QString kUnchanged = u"The original is unchanged."_s;

#define REQUIRE_FAT()                                                                              \
    do {                                                                                           \
        if (const QString why = FatImage::unavailable(); !why.isEmpty())                           \
            QSKIP(qPrintable(why));                                                                \
    } while (false)

// A result differs from the original it replaces, so a write that did nothing shows up.
QByteArray changed(QByteArray bytes, char mark)
{
    bytes[bytes.size() / 2] = mark;
    return bytes;
}

bool mkfifo(const QString& path)
{
    return QDir().mkpath(QFileInfo(path).path()) &&
           ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// Makes a tree below `root`: "l>t" a link l to t, "|f" a FIFO, "N*e" N entries e with %1 their
// number; other names a file, an archive of 31 entries when the name ends with ".chk".
bool makeTree(const QDir& root, const QStringList& tree)
{
    bool made = true;
    for (const QString& e : tree) {
        if (const qsizetype star = e.indexOf(u'*'); star > 0) {
            for (int i = 0; i < e.left(star).toInt() && made; ++i)
                made = makeTree(root, {e.mid(star + 1).arg(i)});
        } else if (e.contains(u'>')) {
            made = made && QFile::link(root.filePath(e.section(u'>', 1)),
                                       root.filePath(e.section(u'>', 0, 0)));
        } else {
            made = made && (e.startsWith(u'|')
                                ? mkfifo(root.filePath(e.mid(1)))
                                : writeAll(root.filePath(e),
                                           e.endsWith(u".chk"_s) ? makeChk(31).bytes() : ""));
        }
    }
    return made;
}

QStringList found(const Result<device::ScanResult>& scan)
{
    QStringList lines;
    for (const device::FoundFile& f : scan->found)
        lines.append(QDir::fromNativeSeparators(f.relativePath) + u' ' + f.description());
    return lines;
}

// The exit code and the lines of standard output and standard error.
std::tuple<int, QStringList, QStringList> cli(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(TOLLVIK_CLI), arguments);
    process.waitForFinished(60000);
    const auto lines = [](const QByteArray& b) {
        return QString::fromUtf8(b).split(u'\n', Qt::SkipEmptyParts);
    };
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            lines(process.readAllStandardOutput()), lines(process.readAllStandardError())};
}

enum class Step
{
    None,
    Write,
    Rename,
    Sync,
    Compare
};

// Calls `from` to `until` of `step` on a path that ends with a match of `pathEnd` fail.
struct Failing
{
    Step step = Step::None;
    QString pathEnd;
    int until = 1;
    int from = 1;
    int calls = 0;
};

// The system's file operations, except the failing ones. A failed write leaves half the file, as
// a device that filled up or went away would.
class FailingIo : public device::DeviceIo
{
public:
    explicit FailingIo(QList<Failing> failing) : m_failing(std::move(failing)) {}

    Status writeNewSynced(const QString& path, QByteArrayView data) override
    {
        if (!failsNow(Step::Write, path))
            return DeviceIo::writeNewSynced(path, data);
        (void)DeviceIo::writeNewSynced(path, data.first(data.size() / 2));
        return fail(u"No space left on device"_s);
    }
    Status renameOver(const QString& from, const QString& to) override
    {
        return failsNow(Step::Rename, from) ? fail(u"Input/output error"_s)
                                            : DeviceIo::renameOver(from, to);
    }
    Status syncFolder(const QString& folder) override
    {
        return failsNow(Step::Sync, folder) ? fail(u"Input/output error"_s)
                                            : DeviceIo::syncFolder(folder);
    }
    Status compareWithDevice(const QString& path, QByteArrayView expected) override
    {
        return failsNow(Step::Compare, path) ? fail(u"it differs from byte 0 on"_s)
                                             : DeviceIo::compareWithDevice(path, expected);
    }

private:
    bool failsNow(Step step, const QString& path)
    {
        bool fails = false;
        for (Failing& f : m_failing) {
            if (step == f.step && QRegularExpression(f.pathEnd + u'$').match(path).hasMatch())
                fails = (++f.calls >= f.from && f.calls <= f.until) || fails;
        }
        return fails;
    }
    QList<Failing> m_failing;
};

} // namespace

Q_DECLARE_METATYPE(Failing)

class DeviceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What lies beyond the limits, behind a link or in a FIFO is never read.
    void scanKeepsToItsLimits_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("limitReached");
        const QString a = u"a/data.chk 31 entries"_s;
        QTest::newRow("three levels down, not four")
            << QStringList{u"a/b/c/data.chk"_s, u"a/b/c/d/data.chk"_s}
            << QStringList{u"a/b/c/data.chk 31 entries"_s} << false;
        QTest::newRow("behind a link to a folder")
            << QStringList{u"real/data.chk"_s, u"link>real"_s}
            << QStringList{u"real/data.chk 31 entries"_s} << false;
        QTest::newRow("our own unfinished write")
            << QStringList{u"a/data.chk.tollvik-part"_s} << QStringList{} << false;
        QTest::newRow("a FIFO of an archive's name")
            << QStringList{u"|data.chk"_s, u"a/data.chk"_s} << QStringList{a} << false;
        QTest::newRow("a folder of 3,000 folders")
            << QStringList{u"a/data.chk"_s, u"3000*w/%1/x"_s} << QStringList{a} << true;
    }

    void scanKeepsToItsLimits()
    {
        QFETCH(QStringList, tree);
        QFETCH(QStringList, expected);
        QFETCH(bool, limitReached);
        QTemporaryDir dir;
        QVERIFY(makeTree(dir.path(), tree));
        const Result<device::ScanResult> scan = device::scanFolder(dir.path());
        QVERIFY(scan.ok());
        QCOMPARE(found(scan), expected);
        QCOMPARE(scan->limitReached, limitReached);
    }

    void scanPassesOverWhatIsNoArchive_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray decreasing = makeChk(31).bytes();
        putBe32(decreasing, 8, be32(decreasing, 12) + 4); // entry 1 ends after entry 2 starts
        QTest::newRow("offsets that decrease") << decreasing;
        QTest::newRow("truncated by one byte") << makeChk(31).bytes().chopped(1);
        QTest::newRow("only 30 entries") << makeChk(30).bytes();
        QTest::newRow("a navigator file missing one probe byte")
            << makeNavigatorFile(5).left(expectedBuild(5).probes[0].first);
        QTest::newRow("empty") << QByteArray();
    }

    void scanPassesOverWhatIsNoArchive()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath(u"data.chk"_s), bytes));
        const Result<device::ScanResult> scan = device::scanFolder(dir.path());
        QVERIFY(scan.ok() && scan->found.isEmpty());
        QCOMPARE(scan->filesLookedAt, 1);
    }

    void scanStopsAtTheFileLimitAndTheSizeLimit()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 8; ++i)
            QVERIFY(writeAll(dir.filePath(u"f%1.chk"_s.arg(i)), makeChk(31 + i).bytes()));
        Result<device::ScanResult> scan = device::scanFolder(dir.path(), {.maxFiles = 5});
        QVERIFY(scan.ok() && scan->limitReached);
        QCOMPARE(scan->filesLookedAt, 5);
        QCOMPARE(scan->found.size(), 5);
        scan = device::scanFolder(dir.path(), {.maxFileSize = makeChk(34).bytes().size()});
        QVERIFY(scan.ok() && !scan->limitReached);
        QCOMPARE(scan->found.size(), 4); // 31 to 34 entries fit, the larger ones are not read
        const std::atomic_bool cancel{true};
        QCOMPARE(device::scanFolder(dir.path(), {}, &cancel).refusal(), Refusal::Cancelled);
    }

    // On a FAT device the search finds the navigator and the archives, and the write of each
    // result keeps its original; a temporary file a killed write left is removed first.
    void putWritesBothBackAndKeepsTheOriginals()
    {
        REQUIRE_FAT();
        FatImage fat(kImageBytes);
        QVERIFY(fat.made() && fat.mount());
        const QByteArray navigator = makeNavigatorFile(5), voice = makeChk(40).bytes();
        QVERIFY(writeAll(fat.file(u"ttn"_s), navigator) &&
                writeAll(fat.file(u"voices/data0.chk"_s), voice) &&
                writeAll(fat.file(u"voices/Dutch/data1.chk"_s), makeChk(35).bytes()) &&
                writeAll(fat.file(u"voices/readme.txt"_s), "not an archive") &&
                writeAll(fat.file(u"voices/"_s + device::tempNameFor(u"data0.chk"_s)),
                         voice.left(999)));
        const Result<device::ScanResult> scan = device::scanFolder(fat.root());
        QVERIFY2(scan.ok(), qPrintable(scan.error()));
        QCOMPARE(found(scan),
                 (QStringList{u"ttn "_s + QString::fromLatin1(expectedBuild(5).caption).chopped(8),
                              u"voices/data0.chk 40 entries"_s,
                              u"voices/Dutch/data1.chk 35 entries"_s}));
        QCOMPARE(scan->found[1].size, voice.size());

        ProgramFolder program;
        const QString backups = device::backupRootOf(program.path());
        RecordingLog log;
        for (const QString& name : {u"ttn"_s, u"voices/data0.chk"_s}) {
            const QByteArray before = readAll(fat.file(name));
            QVERIFY(writeAll(program.modified(u"result"_s), changed(before, 'P')));
            const auto put =
                device::putOnDevice(program.modified(u"result"_s), fat.file(name), backups, log);
            QVERIFY2(put.ok(), qPrintable(log.lines.join(u'\n')));
            QCOMPARE(readAll(put->backupPath), before);
        }
        QCOMPARE(log.lines.size(), 7 + 8); // space, backup, write, rename, folder, read-back, done
        QVERIFY(log.lines[7].contains(u"interrupted"_s));
        QCOMPARE(QDir(backups).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);

        // The device holds the results once fusefat has written its image, and is clean.
        const auto after = filesUnder(fat.root());
        QVERIFY(fat.unmount());
        QCOMPARE(fat.fsckFaults(), QString());
        QVERIFY(fat.mount());
        QCOMPARE(filesUnder(fat.root()), after);
        QCOMPARE(after.size(), 6); // the temporary file is gone
        QCOMPARE(after.value(u"ttn"_s), changed(navigator, 'P'));
        QCOMPARE(after.value(u"voices/data0.chk"_s), changed(voice, 'P'));
    }

    // A refused or failed write on a FAT device: the original stays (untouched or put back)
    // unless the put-back failed too, nothing of ours is left beside it, and a backup is whole
    // (the copy and its record) or not there at all.
    void aWriteThatFailsChangesNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QList<Failing>>("failing");
        QTest::addColumn<int>("backups");
        QTest::addColumn<QString>("lastLine");
        const QString putBack = u"The original was put back from "_s;
        const QString notPutBack = u"The original could not be put back ("_s;
        const QString part = u"voices/data.chk.tollvik-part"_s, voices = u"mnt/voices"_s;
        const QString original = voices + u"/data.chk"_s;
        const auto row = [](const char* name, const QString& fault, QList<Failing> failing,
                            int backups, const QString& last) {
            QTest::newRow(name) << fault << failing << backups << last;
        };
        for (const char* fault : {"read-only", "full", "vanished", "same", "fifo", "folder"})
            row(fault, QLatin1String(fault), {}, 0, kUnchanged);
        row("the read-back after the rename", {}, {{Step::Compare, original}}, 1, putBack);
        row("the folder flush after the rename", {}, {{Step::Sync, voices}}, 1, putBack);
        row("the read-back and the put-back", {}, {{Step::Compare, original, 2}}, 1, notPutBack);
        row("the folder flush and the put-back", {}, {{Step::Sync, voices, 2}}, 1, notPutBack);
        row("the read-back, then the write of the put-back", {},
            {{Step::Compare, original}, {Step::Write, part, 2, 2}}, 1,
            u"could not be put back (No space left on device); it is kept in "_s);
        row("writing the temporary file", {}, {{Step::Write, part}}, 1, kUnchanged);
        row("the rename over the original", {}, {{Step::Rename, part}}, 1, kUnchanged);
        row("copying the backup", {}, {{Step::Write, u"/data.chk.tollvik-part"_s}}, 0, kUnchanged);
        row("writing the record of the backup", {},
            {{Step::Write, u"/Backup/[-0-9 ]+\\.tollvik-part"_s}}, 0, kUnchanged);
        row("the read-back of the backup", {}, {{Step::Compare, u"/data.chk"_s}}, 0, kUnchanged);
        row("flushing the backup folder", {}, {{Step::Sync, u"Backup"_s}}, 0, kUnchanged);
    }

    void aWriteThatFailsChangesNothing()
    {
        REQUIRE_FAT();
        QFETCH(QString, fault);
        QFETCH(QList<Failing>, failing);
        QFETCH(int, backups);
        QFETCH(QString, lastLine);
        // The small image holds an archive of 900 KB, and has not the room for a second.
        FatImage fat(fault == u"full"_s ? 1440 * 1024 : kImageBytes);
        QVERIFY(fat.made() && fat.mount());
        QByteArray archive = makeChk(31).bytes() + QByteArray(900000, 'x');
        putBe32(archive, 4 + 4 * 31, qint32(archive.size()));
        QString target = fat.file(u"voices/data.chk"_s);
        QVERIFY(writeAll(target, archive) &&
                writeAll(fat.file(u"voices/other.chk"_s), archive.left(9)));
        ProgramFolder program;
        QString result = program.modified(u"data.chk"_s);
        QVERIFY(fault == u"fifo"_s ? mkfifo(result) : writeAll(result, changed(archive, 'R')));
        if (fault == u"vanished"_s)
            QVERIFY(QFile::remove(target));
        if (fault == u"same"_s)
            result = target;
        if (fault == u"folder"_s)
            target = fat.file(u"voices"_s);
        if (fault == u"read-only"_s)
            QVERIFY(fat.unmount() && fat.mount(false));
        const auto before = filesUnder(fat.root());
        const QString root = device::backupRootOf(program.path());
        FailingIo io(failing);
        RecordingLog log;
        QVERIFY(!device::putOnDevice(result, target, root, log, io).ok());
        QVERIFY2(log.lines.constLast().contains(lastLine), qPrintable(log.lines.join(u'\n')));
        QCOMPARE(log.lines.filter(QRegularExpression(u"^Cannot"_s)).size(), 1);
        auto after = filesUnder(fat.root());
        if (lastLine.contains(u"could not be put back"_s) &&
            after[u"voices/data.chk"_s] == readAll(result))
            after[u"voices/data.chk"_s] = archive;
        QCOMPARE(after, before);
        const QStringList folders = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(folders.size(), backups);
        if (backups == 1) {
            QCOMPARE(QDir(root + u'/' + folders.first()).entryList(QDir::Files),
                     (QStringList{u"data.chk"_s, device::backupRecordNameFor(u"data.chk"_s)}));
            QCOMPARE(readAll(device::newestBackup(target, root)), archive);
        }
        QVERIFY(fat.unmount());
        QCOMPARE(fat.fsckFaults(), QString());
    }

    // Two devices hold a file of that name each: a restore takes the newest backup of exactly
    // the path it restores, whatever else of that name was written since, and keeps it when
    // unsure. Each name a device may hold is found again through its backup's record.
    void aRestoreTakesTheBackupOfThatPath_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("restored");
        const auto row = [](const char* what, const QString& name, const char* setup,
                            bool restored) {
            QTest::newRow(what) << name << QString::fromLatin1(setup) << restored;
        };
        row("the other file of that name was written since", u"ttn"_s, "both", true);
        row("a newer backup, older ones left", u"ttn"_s, "twice", true);
        row("only the other file of that name has a backup", u"ttn"_s, "other", false);
        row("a backup without a record", u"ttn"_s, "no record", false);
        row("a record that is a FIFO", u"ttn"_s, "fifo record", false);
        row("a record of the path with another case", u"ttn"_s, "case record", false);
        row("a read-back that fails: the backup stays", u"ttn"_s, "read-back", false);
        row("a line break at the end", u"data.chk\n"_s, "both", true);
        row("a tab, a backslash, other scripts", u"da\tta\\ голос 声音 .chk"_s, "both", true);
        row("a name like our own temporary file", u"a.tollvik-part"_s, "both", true);
        row("a name like a backup's record", u"a.tollvik-origin"_s, "both", true);
        row("240 bytes", QString(236, u'n') + u".chk"_s, "both", true);
    }

    void aRestoreTakesTheBackupOfThatPath()
    {
        QFETCH(QString, name);
        QFETCH(QString, setup);
        QFETCH(bool, restored);
        QTemporaryDir dir;
        const QString mine = dir.filePath(u"GO 1/"_s + name),
                      other = dir.filePath(u"GO 2/"_s + name);
        const QString result = dir.filePath(u"result"_s), backups = dir.filePath(u"Backup"_s);
        const QByteArray before = makeChk(31).bytes();
        QVERIFY(writeAll(mine, before) && writeAll(other, makeChk(32).bytes()) &&
                writeAll(result, changed(before, 'O')));
        RecordingLog log;
        const QByteArray marks = setup == u"other"_s ? "" : setup == u"twice"_s ? "RS" : "R";
        for (const char mark : marks)
            QVERIFY(writeAll(result, changed(before, mark)) &&
                    device::putOnDevice(result, mine, backups, log).ok());
        QVERIFY(device::putOnDevice(result, other, backups, log).ok()); // the newest of the name
        const QString record = QFileInfo(device::newestBackup(mine, backups)).path() + u'/' +
                               device::backupRecordNameFor(name);
        QVERIFY(!setup.endsWith(u"record"_s) || QFile::remove(record));
        QVERIFY(setup != u"fifo record"_s || mkfifo(record));
        QVERIFY(setup != u"case record"_s || writeAll(record, mine.toUpper().toUtf8() + '\n'));
        const QByteArray mineNow = readAll(mine), otherNow = readAll(other);
        FailingIo io({{setup == u"read-back"_s ? Step::Compare : Step::None, u"GO 1/ttn"_s}});
        log.lines.clear();
        QCOMPARE(device::restoreOriginal(mine, backups, log, io).ok(), restored);
        QCOMPARE(readAll(other), otherNow);
        QCOMPARE(QDir(dir.filePath(u"GO 1"_s)).entryList(QDir::Files), QStringList{name});
        if (setup == u"read-back"_s) {
            QVERIFY2(log.lines.constLast().endsWith(u"is kept; restore it again."_s),
                     qPrintable(log.lines.join(u'\n')));
            QVERIFY(device::restoreOriginal(mine, backups, log).ok());
        } else if (!restored) {
            QCOMPARE(log.lines.size(), 1);
            QVERIFY2(log.lines.first().endsWith(u"Nothing was written."_s),
                     qPrintable(log.lines.first()));
        }
        QCOMPARE(readAll(mine), !restored && setup != u"read-back"_s ? mineNow
                                : setup == u"twice"_s                ? changed(before, 'R')
                                                                     : before);
    }

    // A file name of the device may hold what separates the fields and lines of the output.
    void theCommandLineScanEscapesOddNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("printed");
        QTest::newRow("a navigator") << u"ttn"_s << u"navigator\tDIR/ttn\tTomTom GO 5.2"_s;
        QTest::newRow("a tab and a line break")
            << u"d\ta\n.chk"_s << u"archive\tDIR/d\\ta\\n.chk\t31 entries"_s;
        QTest::newRow("a backslash and an escape")
            << u"\\\x1b[2J.chk"_s << u"archive\tDIR/\\\\\\x1b[2J.chk\t31 entries"_s;
    }

    void theCommandLineScanEscapesOddNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, printed);
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath(name),
                         name == u"ttn"_s ? makeNavigatorFile(5) : makeChk(31).bytes()));
        QCOMPARE(cli({u"device"_s, u"scan"_s, dir.path()}),
                 std::tuple(0, QStringList{printed.replace(u"DIR"_s, dir.path())}, QStringList{}));
    }

    // Killed at any moment, a write leaves the old file or the new one, whole, and at most a
    // temporary file of ours that the next write removes; then the restore puts the old back.
    void aKilledPutLeavesTheOldOrTheNewFile()
    {
        REQUIRE_FAT();
        FatImage fat(kImageBytes);
        QVERIFY(fat.made() && fat.mount());
        ProgramFolder program;
        ChkArchive big = makeChk(31);
        big.entries[0] = fillerEntry(1, 5 << 20); // as large as a device's voice archives get
        const QByteArray versions[2] = {big.bytes(), changed(big.bytes(), 'K')};
        const QString results[2] = {program.modified(u"old.chk"_s), program.modified(u"new.chk"_s)};
        const QString original = fat.file(u"voices/data0.chk"_s),
                      backups = program.file(u"Backup"_s);
        QVERIFY(writeAll(results[0], versions[0]) && writeAll(results[1], versions[1]));
        QVERIFY(writeAll(original, versions[0]));
        const auto put = [&](int version) {
            return QStringList{u"device"_s, u"put"_s,      results[version],
                               original,    u"--backup"_s, backups};
        };
        const auto left = [&] {
            return QDir(fat.file(u"voices"_s)).entryList(QDir::Files);
        };
        // The kills fall between the program's start-up (a run that only prints its help) and
        // the end of a whole write, where the device is being written.
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(std::get<0>(cli({u"device"_s, u"put"_s, u"--help"_s})), 0);
        const qint64 startUp = clock.restart();
        QCOMPARE(std::get<0>(cli(put(1))), 0);
        const qint64 fullRun = std::max<qint64>(clock.elapsed(), startUp + 20);
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("kill moments from seed %u between %lld and %lld ms", seed, startUp, fullRun);
        QRandomGenerator random(seed);
        int current = 1;
        for (int i = 0; i < 25; ++i) {
            QProcess process;
            process.start(QStringLiteral(TOLLVIK_CLI), put(1 - current));
            QVERIFY(process.waitForStarted());
            QThread::msleep(quint32(startUp) + random.bounded(quint32(fullRun - startUp)));
            process.kill();
            QVERIFY(process.waitForFinished());
            const QByteArray now = readAll(original);
            QVERIFY2(now == versions[0] || now == versions[1], qPrintable(u"kill %1"_s.arg(i)));
            current = now == versions[1] ? 1 : 0;
            QVERIFY(left() == QStringList{u"data0.chk"_s} ||
                    left() == (QStringList{u"data0.chk"_s, device::tempNameFor(u"data0.chk"_s)}));
        }
        QCOMPARE(std::get<0>(cli(put(1 - current))), 0);
        QCOMPARE(readAll(original), versions[1 - current]);
        QCOMPARE(left(), QStringList{u"data0.chk"_s});
        // A refusal is one line on standard error; the restore takes the newest backup.
        const auto refused =
            cli({u"device"_s, u"restore"_s, original, u"--backup"_s, backups + u"/none"_s});
        QCOMPARE(std::get<0>(refused), 2);
        QCOMPARE(std::get<2>(refused).size(), 1);
        QCOMPARE(std::get<0>(cli({u"device"_s, u"restore"_s, original, u"--backup"_s, backups})),
                 0);
        QCOMPARE(readAll(original), versions[current]);
        QVERIFY(fat.unmount());
        QCOMPARE(fat.fsckFaults(), QString());
    }
};

QTEST_GUILESS_MAIN(DeviceTest)
#include "test_device.moc"
