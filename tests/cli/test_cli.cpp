// tollvik-alerts-cli run as a user runs it: a process with arguments, its exit code, its output
// and the files it leaves.
#include "chkfactory.h"
#include "navigatorfiles.h"
#include "testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define TOLLVIK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLLVIK_ASAN 1
#endif
#endif

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

// Runs the program in `folder` (so that a file named "-" would land there), within 1 GB: the
// address-space limit of this process, which the program inherits, or in a sanitizer build
// (whose shadow memory an address-space limit breaks) the sanitizer's own resident limit.
Run cli(const QStringList& arguments, const QString& folder = QDir::tempPath())
{
    QProcess process;
    process.setWorkingDirectory(folder);
#ifdef TOLLVIK_ASAN
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"ASAN_OPTIONS"_s,
                       environment.value(u"ASAN_OPTIONS"_s) + u":hard_rss_limit_mb=1024"_s);
    process.setProcessEnvironment(environment);
#endif
    process.start(QStringLiteral(TOLLVIK_CLI), arguments);
    // A FIFO that is opened blocks for ever: the run then fails here instead of hanging.
    if (!process.waitForFinished(20000))
        process.kill();
    process.waitForFinished();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// Every entry below a folder with what it is: the type, size and link of each, and the content
// of small regular files. Unlike filesUnder it opens no FIFO and reads no sparse giant.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry = it.nextFileInfo();
        const auto type = std::filesystem::symlink_status(entry.filePath().toStdString()).type();
        QByteArray what = QByteArray::number(int(type)) + ' ' + QByteArray::number(entry.size()) +
                          ' ' + entry.symLinkTarget().toUtf8();
        if (type == std::filesystem::file_type::regular && entry.size() < (1 << 20))
            what += ' ' + readAll(entry.filePath());
        entries.insert(QDir(folder).relativeFilePath(entry.filePath()), what);
    }
    return entries;
}

bool makeFifo(const QString& path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// A file of `size` bytes that takes no room (a hole), beginning with `head`.
bool makeSparse(const QString& path, qint64 size, const QByteArray& head = {})
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
           file.write(head) == head.size() && file.resize(size);
}

QByteArray be32Bytes(quint32 n)
{
    const char bytes[4] = {char(n >> 24), char((n >> 16) & 0xFF), char((n >> 8) & 0xFF),
                           char(n & 0xFF)};
    return QByteArray(bytes, 4);
}

// The hostile inputs of the refusal table, in `root`.
bool makeRefusalFiles(const QString& root)
{
    const QByteArray index = "tollvik-alerts chk index 1\n";
    const bool regular =
        writeAll(root + u"/a.chk"_s, makeChk(31).bytes()) &&
        writeAll(root + u"/b.chk"_s, makeChk(102).bytes()) &&
        writeAll(root + u"/c.chk"_s, makeChk(40).bytes()) &&
        writeAll(root + u"/big/index.txt"_s, index + "entry e.ogg\n") &&
        writeAll(root + u"/big/e.ogg"_s, "OggS" + QByteArray(131053, 'x')) &&
        writeAll(root + u"/bell.oga"_s, makeOggSine(700.0, 0.3)) &&
        writeAll(root + u"/bad.ogg"_s, "not a sound") &&
        writeAll(root + u"/short.chk"_s, makeChk(40).bytes().left(100)) &&
        writeAll(root + u"/ttn"_s, makeNavigatorFile(13)) &&
        writeAll(root + u"/t.ini"_s, "[MenuText]\r\nItem02=Gatso\r\n") &&
        writeAll(root + u"/joinfifo/index.txt"_s, index + "entry e.bin\n") &&
        writeAll(root + u"/joinhuge/index.txt"_s, index + "entry h.bin\n") &&
        writeAll(root + u"/joinsum/index.txt"_s, index + "entry h1.bin\nentry h2.bin\n") &&
        QDir().mkpath(root + u"/folder"_s);
    const qint64 mb = 1024 * 1024;
    // 70,000 entries whose table fits in the file: an archive only by the limit's measure.
    const bool sparse = makeSparse(root + u"/huge.chk"_s, 600 * mb, be32Bytes(31)) &&
                        makeSparse(root + u"/many.chk"_s, 300000, be32Bytes(70000)) &&
                        makeSparse(root + u"/huge.ini"_s, 2 * mb, "[MenuText]\r\n") &&
                        makeSparse(root + u"/joinhuge/h.bin"_s, 600 * mb) &&
                        makeSparse(root + u"/joinsum/h1.bin"_s, 300 * mb) &&
                        makeSparse(root + u"/joinsum/h2.bin"_s, 300 * mb);
    const bool fifos = makeFifo(root + u"/fifo"_s) && makeFifo(root + u"/fifo.ogg"_s) &&
                       makeFifo(root + u"/outfifo"_s) && makeFifo(root + u"/joinfifo/e.bin"_s);
    return regular && sparse && fifos &&
           cli({u"chk"_s, u"extract"_s, root + u"/a.chk"_s, root + u"/x"_s, u"--all"_s}).code == 0;
}

// Every option a --help text shows: "--name" and "-x".
QStringList optionsOf(const QString& help)
{
    QStringList options;
    static const QRegularExpression option(u"(?<![\\w-])(--?[a-z][a-z-]*)"_s);
    for (const QRegularExpressionMatch& m : option.globalMatch(help))
        options.append(m.captured(1));
    options.removeDuplicates();
    return options;
}

// The rows of the refusal table; "@" stands for the folder of the hostile files.
const QString kChk = u"@/a.chk"_s;
const QString kOut = u"@/out"_s;
const QString kBell = u"@/bell.oga"_s;
const QStringList kRate{u"--rate"_s, u"22050"_s, u"--channels"_s, u"1"_s};
const QString kInput = u"an input of this command"_s;
const QString kDevice = u"it is a device, not a regular file, and is never replaced"_s;
const QString kFifo = u"it is a FIFO, not a regular file"_s;
const QString kTooLarge = u"an archive is at most 536,870,912 bytes"_s;

void row(const char* name, const QStringList& arguments, const QString& said)
{
    QTest::newRow(name) << arguments << said;
}

// Conventions of the command line.
void conventionRows()
{
    row("unknown command", {u"frobnicate"_s}, u"unknown command \"frobnicate\""_s);
    row("unknown chk command", {u"chk"_s, u"frob"_s}, u"unknown chk command \"frob\""_s);
    row("unknown device command", {u"device"_s, u"frob"_s}, u"unknown device command \"frob\""_s);
    row("unknown option", {u"chk"_s, u"list"_s, kChk, u"--frob"_s}, u"frob"_s);
    row("- as input", {u"chk"_s, u"list"_s, u"-"_s},
        u"-: standard input is not read; give a file"_s);
    row("- as output", {u"chk"_s, u"build"_s, kChk, u"-o"_s, u"-"_s},
        u"-: standard output is not written; give a file"_s);
    row("- as a converted sound", QStringList{u"convert"_s, kBell, u"-"_s} + kRate,
        u"-: standard output is not written"_s);
    row("- as the folder to extract into", {u"chk"_s, u"extract"_s, kChk, u"-"_s},
        u"-: standard output is not written; give a folder"_s);
    row("--like beside --rate",
        QStringList{u"convert"_s, kBell, kOut, u"--like"_s, kChk + u":3"_s} + kRate,
        u"give either --like or --rate and --channels"_s);
    row("speak an empty text", {u"speak"_s, u""_s, kOut}, u"speak needs a text"_s);
    row("speak a blank text", {u"speak"_s, u" \t "_s, kOut}, u"speak needs a text"_s);
    row("listing refusal on standard error", {u"chk"_s, u"list"_s, u"@/short.chk"_s},
        u"Cannot list"_s);
    row("build refusal on standard error",
        {u"chk"_s, u"build"_s, u"@/c.chk"_s, u"-o"_s, kOut, u"--slot"_s, u"30=@/bad.ogg"_s},
        u"is not an Ogg"_s);
    row("a build without its output", {u"chk"_s, u"build"_s, kChk}, u"chk build needs -o OUT"_s);
    row("a build's slot past 30",
        {u"chk"_s, u"build"_s, kChk, u"-o"_s, kOut, u"--slot"_s, u"31=x.ogg"_s},
        u"--slot needs N=SOUND with N from 1 to 30, not \"31=x.ogg\""_s);
    row("a menu item without its number",
        {u"patch"_s, u"@/ttn"_s, u"-o"_s, kOut, u"--texts"_s, u"@/t.ini"_s, u"--item"_s,
         u"Gatso"_s},
        u"--item needs N=TEXT with N from 1 to 30, not \"Gatso\""_s);
}

// Outputs onto inputs, by every route.
void sameFileRows()
{
    row("build onto its converted slot sound",
        {u"chk"_s, u"build"_s, kChk, u"-o"_s, kBell, u"--slot"_s, u"3="_s + kBell}, kInput);
    row("build onto its archive", {u"chk"_s, u"build"_s, kChk, u"-o"_s, u"@/x/../a.chk"_s}, kInput);
    row("speak onto its --like archive",
        {u"speak"_s, u"Hello"_s, kChk, u"--like"_s, kChk + u":3"_s}, kInput);
    row("convert onto its --like archive", {u"convert"_s, kBell, kChk, u"--like"_s, kChk + u":3"_s},
        kInput);
    row("convert onto its sound", QStringList{u"convert"_s, kBell, kBell} + kRate, kInput);
    row("patch onto its settings file",
        {u"patch"_s, u"@/ttn"_s, u"-o"_s, u"@/t.ini"_s, u"--texts"_s, u"@/t.ini"_s}, kInput);
    row("join onto its entry", {u"chk"_s, u"join"_s, u"@/x"_s, u"-o"_s, u"@/x/Entry 031.bin"_s},
        kInput);
    row("join onto its index", {u"chk"_s, u"join"_s, u"@/x"_s, u"-o"_s, u"@/x/index.txt"_s},
        kInput);
}

// Outputs that are special files.
void specialOutputRows()
{
    row("build onto a device", {u"chk"_s, u"build"_s, kChk, u"-o"_s, u"/dev/null"_s}, kDevice);
    row("convert onto a device", QStringList{u"convert"_s, kBell, u"/dev/null"_s} + kRate, kDevice);
    row("join onto a device", {u"chk"_s, u"join"_s, u"@/x"_s, u"-o"_s, u"/dev/null"_s}, kDevice);
    row("patch onto a device",
        {u"patch"_s, u"@/ttn"_s, u"-o"_s, u"/dev/null"_s, u"--texts"_s, u"@/t.ini"_s}, kDevice);
    row("convert onto a FIFO", QStringList{u"convert"_s, kBell, u"@/outfifo"_s} + kRate,
        u"it is a FIFO, not a regular file, and is never replaced"_s);
    row("build onto a folder", {u"chk"_s, u"build"_s, kChk, u"-o"_s, u"@/folder"_s},
        u"it is a folder, not a file, and is never replaced"_s);
}

// Inputs that are special files: refused at once, never opened.
void specialInputRows()
{
    row("archive a FIFO", {u"chk"_s, u"list"_s, u"@/fifo"_s}, kFifo);
    row("archive a FIFO, full listing", {u"chk"_s, u"list"_s, u"@/fifo"_s, u"--all"_s}, kFifo);
    row("archive a device", {u"chk"_s, u"extract"_s, u"/dev/zero"_s, u"@/new"_s},
        u"it is a device, not a regular file"_s);
    row("navigator file a FIFO", {u"identify"_s, u"@/fifo"_s}, kFifo);
    row("navigator file a FIFO, patch",
        {u"patch"_s, u"@/fifo"_s, u"-o"_s, kOut, u"--texts"_s, u"@/t.ini"_s}, kFifo);
    row("slot sound a FIFO",
        {u"chk"_s, u"build"_s, kChk, u"-o"_s, kOut, u"--slot"_s, u"3=@/fifo.ogg"_s}, kFifo);
    row("converted slot sound a FIFO",
        {u"chk"_s, u"build"_s, kChk, u"-o"_s, kOut, u"--slot"_s, u"3=@/fifo"_s}, kFifo);
    row("join entry a FIFO", {u"chk"_s, u"join"_s, u"@/joinfifo"_s, u"-o"_s, kOut}, kFifo);
    row("settings file a FIFO", {u"patch"_s, u"@/ttn"_s, u"-o"_s, kOut, u"--texts"_s, u"@/fifo"_s},
        kFifo);
    row("sound to convert a FIFO", QStringList{u"convert"_s, u"@/fifo"_s, kOut} + kRate, kFifo);
    row("--like archive a FIFO", {u"convert"_s, kBell, kOut, u"--like"_s, u"@/fifo:3"_s}, kFifo);
}

// Sizes and counts, from stat and the first bytes, before anything is read whole.
void limitRows()
{
    row("archive of 600 MB", {u"chk"_s, u"list"_s, u"@/huge.chk"_s, u"--all"_s}, kTooLarge);
    row("archive of 600 MB to build",
        {u"chk"_s, u"build"_s, u"@/huge.chk"_s, u"-o"_s, kOut, u"--slot"_s, u"3="_s + kBell},
        kTooLarge);
    row("archive of 600 MB to build as it is",
        {u"chk"_s, u"build"_s, u"@/huge.chk"_s, u"-o"_s, kOut}, kTooLarge);
    row("extract of 70,000 entries",
        {u"chk"_s, u"extract"_s, u"@/many.chk"_s, u"@/new"_s, u"--all"_s},
        u"holds 70,000 entries; an archive holds at most 65,536"_s);
    row("listing of 70,000 entries", {u"chk"_s, u"list"_s, u"@/many.chk"_s, u"--all"_s},
        u"holds 70,000 entries"_s);
    row("settings file of 2 MB",
        {u"patch"_s, u"@/ttn"_s, u"-o"_s, kOut, u"--texts"_s, u"@/huge.ini"_s},
        u"a settings file is at most 1048576 bytes"_s);
    row("join entry of 600 MB", {u"chk"_s, u"join"_s, u"@/joinhuge"_s, u"-o"_s, kOut}, kTooLarge);
    row("join entries adding up to 600 MB", {u"chk"_s, u"join"_s, u"@/joinsum"_s, u"-o"_s, kOut},
        u"the entries would make an archive of about"_s);
}

// The archive's own refusals.
void archiveRows()
{
    row("extract into a non-empty folder", {u"chk"_s, u"extract"_s, kChk, u"@/x"_s},
        u"not empty"_s);
    row("not an archive", {u"chk"_s, u"extract"_s, u"@/x/index.txt"_s, kOut, u"--all"_s},
        u"not a sound archive"_s);
    row("join without an index", {u"chk"_s, u"join"_s, u"@"_s, u"-o"_s, kOut}, u"index.txt"_s);
    row("join of a sound too large for an entry", {u"chk"_s, u"join"_s, u"@/big"_s, u"-o"_s, kOut},
        u"at most 131056"_s);
    row("a slot the build of 102 entries leaves alone",
        {u"chk"_s, u"build"_s, u"@/b.chk"_s, u"-o"_s, kOut, u"--slot"_s, u"20=@/x/Entry 030.ogg"_s},
        u"does not replace slot 20"_s);
}

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
#ifndef TOLLVIK_ASAN
        // The program inherits it: a hostile input that makes it allocate fails the run.
        const rlimit limit{1L << 30, 1L << 30};
        QCOMPARE(setrlimit(RLIMIT_AS, &limit), 0);
#endif
    }

    void extractAllThenJoinGivesTheArchiveBack_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<QByteArray>("gap");
        QTest::newRow("31 entries") << 31 << QByteArray();
        QTest::newRow("bytes between table and first entry") << 40 << QByteArray("gap!", 4);
    }

    void extractAllThenJoinGivesTheArchiveBack()
    {
        QFETCH(int, entries);
        QFETCH(QByteArray, gap);
        ProgramFolder folder;
        ChkArchive archive = makeChk(entries);
        // An entry whose padding is not zero must come back as it was, not as we would write it.
        archive.entries[archive.count() - 2].back() = 'x';
        QByteArray bytes = archive.bytes();
        if (!gap.isEmpty()) {
            const qsizetype tableEnd = 4 + 4 * (qsizetype(entries) + 1);
            bytes.insert(tableEnd, gap);
            for (int i = 0; i <= entries; ++i)
                putBe32(bytes, 4 + 4 * i, be32(bytes, 4 + 4 * i) + qint32(gap.size()));
        }
        const QString chk = folder.file(u"Data \u00e9%1.chk"_s);
        QVERIFY(writeAll(chk, bytes));
        const QString dir = folder.file(u"entries"_s);

        const Run extracted = cli({u"chk"_s, u"extract"_s, chk, dir + u'/', u"--all"_s});
        QCOMPARE(extracted.code, 0);
        // The 30 slot sounds (all but the one with odd padding) come out as plain Ogg files.
        const QStringList oggs = QDir(dir).entryList({u"*.ogg"_s});
        QCOMPARE(oggs.size(), 29);
        QVERIFY(readAll(QDir(dir).filePath(oggs.first())).startsWith("OggS"));

        const QString joined = folder.file(u"joined.chk"_s);
        const Run join = cli({u"chk"_s, u"join"_s, dir, u"-o"_s, joined});
        QCOMPARE(join.code, 0);
        QCOMPARE(readAll(joined), bytes);
    }

    void listAllShowsEveryEntry()
    {
        ProgramFolder folder;
        const ChkArchive archive = makeChk(33);
        const QString chk = folder.file(u"a.chk"_s);
        QVERIFY(writeAll(chk, archive.bytes()));
        const Run run = cli({u"chk"_s, u"list"_s, chk, u"--all"_s});
        QCOMPARE(run.code, 0);
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 33);
        QCOMPARE(lines[1].split(u' ', Qt::SkipEmptyParts),
                 (QStringList{u"1"_s, QString::number(archive.offsetOf(1)),
                              QString::number(archive.entries[0].size()), u"data"_s}));
        const QStringList slot0 = lines[3].split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(slot0.value(3), u"ogg"_s);
        QVERIFY(qAbs(slot0.value(4).toDouble() - 0.1) < 0.02);
        // Each header word ends where its column of numbers ends (Kind starts where kinds do).
        const QString& header = lines[0];
        const QString& row = lines[3];
        for (const QString& word : {u"Entry"_s, u"Offset"_s, u"Size"_s, u"Seconds"_s}) {
            const qsizetype end = header.indexOf(word) + word.size();
            QVERIFY2(row.at(end - 1) != u' ' && (end == row.size() || row.at(end) == u' '),
                     qPrintable(header + u'\n' + row));
        }
        QCOMPARE(row.indexOf(u"ogg"_s), header.indexOf(u"Kind"_s));
    }

    void identifyAndPatchGiveTheWindowsBytes_data()
    {
        QTest::addColumn<int>("build");
        QTest::newRow("GO 5.4") << 13;
        QTest::newRow("Navigator 5.0") << 4;
    }

    void identifyAndPatchGiveTheWindowsBytes()
    {
        QFETCH(int, build);
        ProgramFolder folder;
        const QString ttn = folder.file(u"ttn"_s);
        const QString ini = folder.file(u"texts.ini"_s);
        const QByteArray original = makeNavigatorFile(build);
        QVERIFY(writeAll(ttn, original));
        QVERIFY(writeAll(ini, "[MenuText]\r\nItem02=Gatso\r\nItem03=Mobile\r\n"));
        const Run identified = cli({u"identify"_s, ttn});
        QCOMPARE(identified.code, 0);
        QCOMPARE(identified.out.trimmed(), QString::fromLatin1(expectedBuild(build).caption));

        const QString out = folder.modified(u"ttn"_s);
        const Run patched = cli({u"patch"_s, ttn, u"-o"_s, out, u"--texts"_s, ini, u"--item"_s,
                                 u"3=Caf\u00e9 \u20ac"_s});
        QCOMPARE(patched.code, 0);
        std::array<QString, tollvik::kSlotCount> texts;
        texts[1] = u"Gatso"_s;
        texts[2] = u"Caf\u00e9 \u20ac"_s;
        QCOMPARE(readAll(out), expectedPatch(original, expectedBuild(build), texts));
        QVERIFY(patched.out.startsWith(u"Preparing to alter the the backed up"_s));
        QCOMPARE(readAll(ttn), original);

        const Run unknown = cli({u"identify"_s, ini});
        QCOMPARE(unknown.code, 1);
        QCOMPARE(unknown.err.split(u'\n', Qt::SkipEmptyParts).size(), 3);
    }

    void buildReplacesTheGivenSlots()
    {
        ProgramFolder folder;
        const ChkArchive archive = makeChk(40);
        const QString chk = folder.file(u"voice.chk"_s);
        const QString sound = folder.file(u"bell.ogg"_s);
        const QByteArray bell = makeOggSine(900.0, 0.2);
        QVERIFY(writeAll(chk, archive.bytes()) && writeAll(sound, bell));
        const QString out = folder.file(u"new.chk"_s);
        const Run run =
            cli({u"chk"_s, u"build"_s, chk, u"-o"_s, out, u"--slot"_s, u"30="_s + sound});
        QCOMPARE(run.code, 0);
        ChkArchive expected = archive;
        expected.entries[archive.count() - 2] = slotEntry(bell);
        QCOMPARE(readAll(out), expected.bytes());
        QCOMPARE(readAll(chk), archive.bytes());
        QVERIFY2(run.out.contains(u"....Including "_s + sound + u" for Sound 30\n"_s),
                 qPrintable(run.out));
    }

    // Every refusal: exit 2, one line on standard error that says what and why (and the
    // reason nowhere else), and every file as it was: no output onto an input, a special file
    // or "-", no special file read, no giant read before its size is checked.
    void refusalsWriteNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        conventionRows();
        sameFileRows();
        specialOutputRows();
        specialInputRows();
        limitRows();
        archiveRows();
    }

    // Without --texts the settings file of the program folder is read, and so is never the
    // output: a portable copy of the program whose folder holds it.
    void patchNeverWritesOverTheDefaultSettingsFile()
    {
        QTemporaryDir dir;
        const QString root = QDir::cleanPath(dir.path());
        const QString program = root + u"/tollvik-alerts-cli"_s;
        QVERIFY(QFile::copy(QStringLiteral(TOLLVIK_CLI), program));
        QVERIFY(writeAll(root + u"/libbass.so"_s, QByteArray()) &&
                writeAll(root + u"/Tollvik.ini"_s, "[MenuText]\r\nItem02=Gatso\r\n") &&
                writeAll(root + u"/ttn"_s, makeNavigatorFile(13)));
        const auto before = snapshot(root);
        QProcess process;
        process.setWorkingDirectory(root);
        process.start(program, {u"patch"_s, u"ttn"_s, u"-o"_s, u"./Tollvik.ini"_s});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY2(process.readAllStandardError().contains("an input of this command"),
                 "the settings file was not refused as the output");
        QCOMPARE(snapshot(root), before);
    }

    void refusalsWriteNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString root = QDir::cleanPath(dir.path());
        QVERIFY(makeRefusalFiles(root));
        const auto before = snapshot(root);
        arguments.replaceInStrings(u"@"_s, root);
        const Run run = cli(arguments, root);
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.startsWith(u"tollvik-alerts-cli: "_s) && run.err.contains(said),
                 qPrintable(run.err));
        QCOMPARE(run.err.count(u'\n'), 1);
        QVERIFY2(!run.out.contains(said), qPrintable(run.out));
        QCOMPARE(snapshot(root), before);
        QVERIFY(QFileInfo(u"/dev/null"_s).exists() && !QFileInfo(u"/dev/null"_s).isFile());
    }

    // Each command's --help, at any level, prints its usage and its options on standard output,
    // and is no refusal; so does --version.
    void helpSucceeds_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("usage");
        for (const QString& command : commands())
            QTest::newRow(qPrintable(command))
                << command.split(u' ') << u"Usage: tollvik-alerts-cli "_s + command;
        QTest::newRow("top level") << QStringList{} << u"Usage: tollvik-alerts-cli COMMAND"_s;
        QTest::newRow("chk") << QStringList{u"chk"_s}
                             << u"Usage: tollvik-alerts-cli chk list|extract|build|join"_s;
        QTest::newRow("device") << QStringList{u"device"_s}
                                << u"Usage: tollvik-alerts-cli device scan|put|restore"_s;
    }
    void helpSucceeds()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, usage);
        const Run run = cli(arguments << u"--help"_s);
        QCOMPARE(run.code, 0);
        QVERIFY2(run.out.startsWith(usage), qPrintable(run.out));
        QVERIFY(run.out.contains(u"--help"_s) && run.err.isEmpty());
    }

    void versionSucceeds()
    {
        const Run run = cli({u"--version"_s});
        QCOMPARE(run.code, 0);
        QVERIFY2(QRegularExpression(u"^tollvik-alerts-cli \\d+\\.\\d+"_s).match(run.out).hasMatch(),
                 qPrintable(run.out));
        QVERIFY(run.err.isEmpty());
    }

    // The manual page documents every option that a command's --help shows, and names every
    // command the top-level usage lists.
    void manPageDocumentsEveryOption()
    {
        const QString page = QString::fromUtf8(readAll(QStringLiteral(TOLLVIK_CLI_MANPAGE)));
        QVERIFY(!page.isEmpty());
        for (const QString& command : commands()) {
            const Run run = cli(command.split(u' ') << u"--help"_s);
            QCOMPARE(run.code, 0);
            const QStringList options = optionsOf(run.out);
            QVERIFY(options.contains(u"--help"_s));
            for (const QString& option : options) {
                QString groff = option;
                groff.replace(u'-', u"\\-"_s);
                QVERIFY2(page.contains(groff), qPrintable(command + u": "_s + option));
            }
            QVERIFY2(page.contains(u".B tollvik-alerts-cli "_s + command + u'\n'),
                     qPrintable(command));
        }
        const Run overview = cli({u"--help"_s});
        for (const QString& command : commands())
            QVERIFY2(overview.out.contains(u"  "_s + command + u' '), qPrintable(command));
    }

private:
    static QStringList commands()
    {
        return {u"identify"_s,    u"patch"_s,      u"chk list"_s,      u"chk extract"_s,
                u"chk build"_s,   u"chk join"_s,   u"convert"_s,       u"speak"_s,
                u"device scan"_s, u"device put"_s, u"device restore"_s};
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
