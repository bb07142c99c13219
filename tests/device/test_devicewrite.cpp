// A write on the device that fails at one step, through a device whose file operations fail on
// demand, and a restore that must find the backup of exactly the file it restores.
#include "chkfactory.h"
#include "device/device.h"
#include "testsupport.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <sys/stat.h>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

enum class Step
{
    None,
    Write,
    Rename,
    Sync,
    Compare,
};

// One step of a write that fails: the calls of `step` whose path ends with a match of the
// pattern `pathEnd`, from the `from`-th to the `until`-th.
struct Failing
{
    Step step = Step::None;
    QString pathEnd;
    int until = 1;
    int from = 1;
};

// The system's file operations, except the failing ones. A failed write leaves half the file, as
// a device that filled up or went away would.
class FailingIo : public device::DeviceIo
{
public:
    explicit FailingIo(QList<Failing> failing)
        : m_failing(std::move(failing)), m_calls(m_failing.size())
    {}

    Status writeNewSynced(const QString& path, QByteArrayView data) override
    {
        if (!failsNow(Step::Write, path))
            return DeviceIo::writeNewSynced(path, data);
        (void)DeviceIo::writeNewSynced(path, data.first(data.size() / 2));
        return fail(u"No space left on device"_s);
    }
    Status renameOver(const QString& source, const QString& to) override
    {
        return failsNow(Step::Rename, source) ? fail(u"Input/output error"_s)
                                              : DeviceIo::renameOver(source, to);
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
    bool failsNow(Step called, const QString& path)
    {
        bool fails = false;
        for (qsizetype i = 0; i < m_failing.size(); ++i) {
            const Failing& f = m_failing[i];
            if (called != f.step || !QRegularExpression(f.pathEnd + u'$')
                                         .match(QDir::fromNativeSeparators(path))
                                         .hasMatch())
                continue;
            ++m_calls[i];
            fails = fails || (m_calls[i] >= f.from && m_calls[i] <= f.until);
        }
        return fails;
    }
    QList<Failing> m_failing;
    QList<int> m_calls;
};

QByteArray changed(QByteArray bytes, char mark)
{
    bytes[bytes.size() / 2] = mark;
    return bytes;
}

// The backup folders below a root, each with its files.
QStringList backupFolders(const QString& root)
{
    return QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

int linesStartingWith(const QStringList& lines, const QString& start)
{
    return int(std::ranges::count_if(lines, [&](const QString& l) { return l.startsWith(start); }));
}

} // namespace

Q_DECLARE_METATYPE(Failing)

class DeviceWriteTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aFailedStepLeavesOrPutsBackTheOriginal_data()
    {
        QTest::addColumn<QList<Failing>>("failing");
        QTest::addColumn<int>("backupsLeft");
        QTest::addColumn<QString>("lastLineEnd");
        const QString unchanged = u"The original is unchanged."_s;
        const QString putBack = u"The original was put back from "_s;
        const QString notPutBack = u"The original could not be put back ("_s;
        QTest::newRow("the read-back after the rename")
            << QList<Failing>{{Step::Compare, u"dev/voices/data.chk"_s, 1}} << 1 << putBack;
        QTest::newRow("the folder flush after the rename")
            << QList<Failing>{{Step::Sync, u"dev/voices"_s, 1}} << 1 << putBack;
        QTest::newRow("the read-back and the put-back")
            << QList<Failing>{{Step::Compare, u"dev/voices/data.chk"_s, 2}} << 1 << notPutBack;
        QTest::newRow("the folder flush and the put-back")
            << QList<Failing>{{Step::Sync, u"dev/voices"_s, 2}} << 1 << notPutBack;
        QTest::newRow("the read-back, then the write of the put-back")
            << QList<Failing>{{Step::Compare, u"dev/voices/data.chk"_s, 1},
                              {Step::Write, u"voices/data.chk.tollvik-part"_s, 2, 2}}
            << 1 << u"could not be put back (No space left on device); it is kept in "_s;
        QTest::newRow("writing the temporary file")
            << QList<Failing>{{Step::Write, u"voices/data.chk.tollvik-part"_s, 1}} << 1
            << unchanged;
        QTest::newRow("the rename over the original")
            << QList<Failing>{{Step::Rename, u"voices/data.chk.tollvik-part"_s, 1}} << 1
            << unchanged;
        QTest::newRow("copying the backup")
            << QList<Failing>{{Step::Write, u"/data.chk.tollvik-part"_s, 1}} << 0 << unchanged;
        QTest::newRow("writing the record of the backup")
            << QList<Failing>{{Step::Write, u"/Backup/[-0-9 ]+\\.tollvik-part"_s, 1}} << 0
            << unchanged;
        QTest::newRow("the read-back of the backup")
            << QList<Failing>{{Step::Compare, u"/data.chk"_s, 1}} << 0 << unchanged;
        QTest::newRow("flushing the backup folder")
            << QList<Failing>{{Step::Sync, u"Backup"_s, 1}} << 0 << unchanged;
    }

    void aFailedStepLeavesOrPutsBackTheOriginal()
    {
        QFETCH(QList<Failing>, failing);
        QFETCH(int, backupsLeft);
        QFETCH(QString, lastLineEnd);
        QTemporaryDir dir;
        const QString original = dir.filePath(u"dev/voices/data.chk"_s);
        const QByteArray before = makeChk(31).bytes();
        QVERIFY(writeAll(original, before));
        QVERIFY(writeAll(dir.filePath(u"dev/voices/other.chk"_s), before));
        const QString result = dir.filePath(u"Modified/data.chk"_s);
        QVERIFY(writeAll(result, changed(before, 'R')));
        const QString backups = dir.filePath(u"Backup"_s);

        FailingIo io(failing);
        RecordingLog log;
        const auto put = device::putOnDevice(result, original, backups, log, io);
        QVERIFY(!put.ok());
        QVERIFY2(log.lines.constLast().contains(lastLineEnd), qPrintable(log.lines.join(u'\n')));
        QCOMPARE(linesStartingWith(log.lines, u"Cannot"_s), 1);
        // The original is on the device (untouched or put back) or the result is, whole, and
        // nothing of ours beside it.
        const QByteArray now = readAll(original);
        if (lastLineEnd.contains(u"could not be put back"_s))
            QVERIFY(now == before || now == changed(before, 'R'));
        else
            QCOMPARE(now, before);
        QCOMPARE(QDir(dir.filePath(u"dev/voices"_s)).entryList(QDir::Files),
                 (QStringList{u"data.chk"_s, u"other.chk"_s}));
        // A backup is whole (the copy and its record) or not there at all.
        const QStringList folders = backupFolders(backups);
        QCOMPARE(folders.size(), backupsLeft);
        if (backupsLeft == 1) {
            QCOMPARE(QDir(backups + u'/' + folders.first()).entryList(QDir::Files),
                     (QStringList{u"data.chk"_s, device::backupRecordNameFor(u"data.chk"_s)}));
            QCOMPARE(device::newestBackup(original, backups),
                     QDir::toNativeSeparators(backups + u'/' + folders.first() + u"/data.chk"_s));
            QCOMPARE(readAll(device::newestBackup(original, backups)), before);
        }
    }

    // Names a device may hold: each is written and restored through its backup's record, or,
    // when our temporary name would be longer than a file system allows, refused untouched.
    void oddNamesAreWrittenAndRestored_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("written");
        QTest::newRow("a line break") << u"da\nta.chk"_s << true;
        QTest::newRow("a line break at the end") << u"data.chk\n"_s << true;
        QTest::newRow("a tab and a backslash") << u"da\tta\\.chk"_s << true;
        QTest::newRow("spaces and other scripts") << u" голос 声音 .chk"_s << true;
        QTest::newRow("a name like our own temporary file") << u"a.tollvik-part"_s << true;
        QTest::newRow("a name like a backup's record") << u"a.tollvik-origin"_s << true;
        QTest::newRow("240 bytes") << QString(236, u'n') + u".chk"_s << true;
        QTest::newRow("255 bytes, no room for our suffix")
            << QString(251, u'n') + u".chk"_s << false;
    }

    void oddNamesAreWrittenAndRestored()
    {
        QFETCH(QString, name);
        QFETCH(bool, written);
        QTemporaryDir dir;
        const QString original = dir.filePath(u"dev/"_s + name);
        const QByteArray before = makeChk(31).bytes();
        QVERIFY(writeAll(original, before));
        const QString result = dir.filePath(u"result.chk"_s);
        QVERIFY(writeAll(result, changed(before, 'R')));
        const QString backups = dir.filePath(u"Backup"_s);
        RecordingLog log;
        const auto put = device::putOnDevice(result, original, backups, log);
        QCOMPARE(put.ok(), written);
        QCOMPARE(QDir(dir.filePath(u"dev"_s)).entryList(QDir::Files), QStringList{name});
        if (!written) {
            QVERIFY(log.lines.constLast().endsWith(u"The original is unchanged."_s));
            QCOMPARE(readAll(original), before);
            QCOMPARE(backupFolders(backups), QStringList{});
            return;
        }
        QCOMPARE(readAll(original), changed(before, 'R'));
        QCOMPARE(device::newestBackup(original, backups), put->backupPath);
        QVERIFY(device::restoreOriginal(original, backups, log).ok());
        QCOMPARE(readAll(original), before);
    }

    // A restore writes from the backup, which stays: a failed read-back says to restore again.
    void aRestoreThatCannotBeConfirmedKeepsTheBackup()
    {
        QTemporaryDir dir;
        const QString original = dir.filePath(u"dev/ttn"_s);
        const QByteArray before = makeChk(31).bytes();
        QVERIFY(writeAll(original, before));
        QVERIFY(writeAll(dir.filePath(u"ttn"_s), changed(before, 'R')));
        const QString backups = dir.filePath(u"Backup"_s);
        RecordingLog log;
        QVERIFY(device::putOnDevice(dir.filePath(u"ttn"_s), original, backups, log).ok());
        FailingIo io({{Step::Compare, u"dev/ttn"_s}});
        log.lines.clear();
        QVERIFY(!device::restoreOriginal(original, backups, log, io).ok());
        QVERIFY2(log.lines.constLast().endsWith(u"is kept; restore it again."_s),
                 qPrintable(log.lines.join(u'\n')));
        QCOMPARE(readAll(device::newestBackup(original, backups)), before);
        QCOMPARE(QDir(dir.filePath(u"dev"_s)).entryList(QDir::Files), QStringList{u"ttn"_s});
        QVERIFY(device::restoreOriginal(original, backups, log).ok());
        QCOMPARE(readAll(original), before);
    }

    // Two devices hold a "ttn" each and two folders a "voice.chk": a restore takes the newest
    // backup of exactly the path it restores, whatever else of that name was written since.
    void aRestoreTakesTheBackupOfThatPath_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("restored");
        QTest::newRow("the other file of that name was written since") << u"both"_s << true;
        QTest::newRow("only the other file of that name has a backup") << u"other"_s << false;
        QTest::newRow("a backup without a record") << u"no record"_s << false;
        QTest::newRow("a record that is a FIFO") << u"fifo record"_s << false;
        QTest::newRow("a record without its line end") << u"cut record"_s << false;
        QTest::newRow("a record of the path with another case") << u"case"_s << false;
        QTest::newRow("a newer backup, older ones left") << u"twice"_s << true;
    }

    void aRestoreTakesTheBackupOfThatPath()
    {
        QFETCH(QString, setup);
        QFETCH(bool, restored);
        for (const QString& name : {u"ttn"_s, u"voice.chk"_s}) {
            QTemporaryDir dir;
            const QString mine = dir.filePath(u"GO 1/"_s + name);
            const QString other = dir.filePath(u"GO 2/"_s + name);
            const QByteArray mineBefore = makeChk(31).bytes();
            QVERIFY(writeAll(mine, mineBefore) && writeAll(other, makeChk(32).bytes()));
            const QString result = dir.filePath(u"Modified/"_s + name);
            QVERIFY(writeAll(result, changed(mineBefore, 'R')));
            const QString backups = dir.filePath(u"Backup"_s);
            RecordingLog log;
            if (setup != u"other"_s)
                QVERIFY(device::putOnDevice(result, mine, backups, log).ok());
            if (setup == u"twice"_s) {
                QVERIFY(writeAll(result, changed(mineBefore, 'S')));
                QVERIFY(device::putOnDevice(result, mine, backups, log).ok());
            }
            // The other file of that name is written last: its backup is the newest of the name.
            QVERIFY(device::putOnDevice(result, other, backups, log).ok());
            QVERIFY(spoilRecordOf(mine, setup, backups));
            const QByteArray mineNow = readAll(mine);
            const QByteArray otherNow = readAll(other);
            log.lines.clear();
            const auto restore = device::restoreOriginal(mine, backups, log);
            QCOMPARE(restore.ok(), restored);
            QCOMPARE(readAll(other), otherNow);
            if (restored) {
                QCOMPARE(readAll(mine),
                         setup == u"twice"_s ? changed(mineBefore, 'R') : mineBefore);
                continue;
            }
            QCOMPARE(log.lines.size(), 1);
            QVERIFY2(log.lines.first().endsWith(u"Nothing was written."_s),
                     qPrintable(log.lines.first()));
            QCOMPARE(readAll(mine), mineNow);
        }
    }

private:
    // Spoils the record beside the backup of `mine` the way the row says.
    static bool spoilRecordOf(const QString& mine, const QString& setup, const QString& backups)
    {
        if (setup == u"both"_s || setup == u"other"_s || setup == u"twice"_s)
            return true;
        const QString name = QFileInfo(mine).fileName();
        const QByteArray path = QDir::toNativeSeparators(mine).toUtf8();
        for (const QString& folder : backupFolders(backups)) {
            const QString record =
                backups + u'/' + folder + u'/' + device::backupRecordNameFor(name);
            if (readAll(record) != path + '\n')
                continue;
            if (!QFile::remove(record))
                return false;
            if (setup == u"fifo record"_s)
                return ::mkfifo(QFile::encodeName(record).constData(), 0600) == 0;
            if (setup == u"cut record"_s)
                return writeAll(record, path);
            if (setup == u"case"_s)
                return writeAll(record, path.toUpper() + '\n');
            return setup == u"no record"_s;
        }
        return false;
    }
};

QTEST_GUILESS_MAIN(DeviceWriteTest)
#include "test_devicewrite.moc"
