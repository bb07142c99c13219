// tollvik-alerts-cli run as a user runs it: a process with arguments, its exit code, its output
// and the files it leaves.
#include "chkfactory.h"
#include "navigatorfiles.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>
#include <sys/stat.h>

using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

// Runs the program in `folder` (so that a file named "-" would land there), within 1 GB: the
// address-space limit of this process, which the program inherits, or in a sanitizer build
// (whose shadow memory an address-space limit breaks) the sanitizer's own resident limit.
Run cli(const QStringList& arguments, const QString& folder = QDir::tempPath(),
        const QString& program = QStringLiteral(TOLLVIK_CLI))
{
    QProcess process;
    process.setWorkingDirectory(folder);
#ifdef TOLLVIK_ASAN
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"ASAN_OPTIONS"_s,
                       environment.value(u"ASAN_OPTIONS"_s) + u":hard_rss_limit_mb=1024"_s);
    process.setProcessEnvironment(environment);
#endif
    process.start(program, arguments);
    // A FIFO that is opened blocks for ever: the run then fails here instead of hanging.
    if (!process.waitForFinished(20000))
        process.kill();
    process.waitForFinished();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// Every entry below a folder with its type, size and link, and the content of small regular
// files. Unlike filesUnder it opens no FIFO and reads no sparse giant.
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

// The hostile inputs of the refusal table, in `root`: files, sparse files of a size that take no
// room (beginning with their head) and FIFOs.
bool makeRefusalFiles(const QString& root)
{
    const QByteArray index = "tollvik-alerts chk index 1\n";
    const QByteArray count31("\0\0\0\x1f", 4);
    const QByteArray count70000("\0\x01\x11\x70", 4); // a table that fits: only the limit refuses
    const qint64 mb = 1 << 20;
    const QList<std::pair<const char*, QByteArray>> files{
        {"a.chk", makeChk(31).bytes()},
        {"b.chk", makeChk(102).bytes()},
        {"c.chk", makeChk(40).bytes()},
        {"big/index.txt", index + "entry e.ogg\n"},
        {"big/e.ogg", "OggS" + QByteArray(131053, 'x')},
        {"bell.oga", makeOggSine(700.0, 0.3)},
        {"bad.ogg", "not a sound"},
        {"short.chk", makeChk(40).bytes().left(100)},
        {"ttn", makeNavigatorFile(13)},
        {"t.ini", "[MenuText]\r\nItem02=Gatso\r\n"},
        {"joinfifo/index.txt", index + "entry e.bin\n"},
        {"joinhuge/index.txt", index + "entry h.bin\n"},
        {"joinsum/index.txt", index + "entry h1.bin\nentry h2.bin\n"}};
    const QList<std::tuple<const char*, qint64, QByteArray>> sparse{
        {"huge.chk", 600 * mb, count31},        {"many.chk", 300000, count70000},
        {"huge.ini", 2 * mb, "[MenuText]\r\n"}, {"joinhuge/h.bin", 600 * mb, {}},
        {"joinsum/h1.bin", 300 * mb, {}},       {"joinsum/h2.bin", 300 * mb, {}}};
    bool ok = QDir().mkpath(root + u"/folder"_s);
    for (const auto& [name, bytes] : files)
        ok = ok && writeAll(root + u'/' + QLatin1String(name), bytes);
    for (const auto& [name, size, head] : sparse) {
        QFile file(root + u'/' + QLatin1String(name));
        ok = ok && file.open(QIODevice::WriteOnly) && file.write(head) == head.size() &&
             file.resize(size);
    }
    for (const char* fifo : {"fifo", "fifo.ogg", "outfifo", "joinfifo/e.bin"})
        ok = ok && ::mkfifo(QFile::encodeName(root + u'/' + QLatin1String(fifo)), 0600) == 0;
    return ok &&
           cli({u"chk"_s, u"extract"_s, root + u"/a.chk"_s, root + u"/x"_s, u"--all"_s}).code == 0;
}

// A row of the refusal table: the arguments split as a shell splits them, "@" for the folder of
// the hostile files, '' for an empty argument.
void row(const char* name, const char* arguments, const char* said)
{
    QStringList split = QProcess::splitCommand(QString::fromUtf8(arguments));
    for (QString& argument : split)
        argument = argument == u"''"_s ? QString() : argument;
    QTest::newRow(name) << split << QString::fromUtf8(said);
}

const char* const kInput = "an input of this command";
const char* const kDevice = "it is a device, not a regular file";
const char* const kFifo = "it is a FIFO, not a regular file";
const char* const kTooLarge = "an archive is at most 536,870,912 bytes";

const QStringList kCommands{u"identify"_s,    u"patch"_s,      u"chk list"_s,      u"chk extract"_s,
                            u"chk build"_s,   u"chk join"_s,   u"convert"_s,       u"speak"_s,
                            u"device scan"_s, u"device put"_s, u"device restore"_s};

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The program inherits the limit: a hostile input that makes it allocate fails the run.
    void initTestCase() { QVERIFY(limitAddressSpace()); }

    void extractAllThenJoinGivesTheArchiveBack_data()
    {
        QTest::addColumn<QByteArray>("gap");
        QTest::newRow("31 entries") << QByteArray();
        QTest::newRow("bytes between table and first entry") << QByteArray("gap!", 4);
    }

    void extractAllThenJoinGivesTheArchiveBack()
    {
        QFETCH(QByteArray, gap);
        ProgramFolder folder;
        ChkArchive archive = makeChk(31);
        // An entry whose padding is not zero must come back as it was, not as we would write it.
        archive.entries[archive.count() - 2].back() = 'x';
        QByteArray bytes = archive.bytes().insert(4 + 4 * 32, gap);
        for (int i = 0; !gap.isEmpty() && i <= 31; ++i)
            putBe32(bytes, 4 + 4 * i, be32(bytes, 4 + 4 * i) + qint32(gap.size()));
        const QString chk = folder.file(u"Data \u00e9%1.chk"_s);
        const QString dir = folder.file(u"entries"_s);
        const QString joined = folder.file(u"joined.chk"_s);
        QVERIFY(writeAll(chk, bytes));
        QCOMPARE(cli({u"chk"_s, u"extract"_s, chk, dir + u'/', u"--all"_s}).code, 0);
        // The 30 slot sounds (all but the one with odd padding) come out as plain Ogg files.
        const QStringList oggs = QDir(dir).entryList({u"*.ogg"_s});
        QCOMPARE(oggs.size(), 29);
        QVERIFY(readAll(QDir(dir).filePath(oggs.first())).startsWith("OggS"));
        QCOMPARE(cli({u"chk"_s, u"join"_s, dir, u"-o"_s, joined}).code, 0);
        QCOMPARE(readAll(joined), bytes);
    }

    void listAllShowsEveryEntryInColumns()
    {
        ProgramFolder folder;
        const ChkArchive archive = makeChk(33);
        QVERIFY(writeAll(folder.file(u"a.chk"_s), archive.bytes()));
        const Run run = cli({u"chk"_s, u"list"_s, folder.file(u"a.chk"_s), u"--all"_s});
        QCOMPARE(run.code, 0);
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 33);
        QCOMPARE(lines[1].split(u' ', Qt::SkipEmptyParts),
                 (QStringList{u"1"_s, QString::number(archive.offsetOf(1)),
                              QString::number(archive.entries[0].size()), u"data"_s}));
        const QString &header = lines[0], &row = lines[3]; // slot 0
        QCOMPARE(row.split(u' ', Qt::SkipEmptyParts).value(3), u"ogg"_s);
        QVERIFY(qAbs(row.split(u' ', Qt::SkipEmptyParts).value(4).toDouble() - 0.1) < 0.02);
        // Each header word ends where its column of numbers ends (Kind starts where kinds do).
        for (const QString& word : {u"Entry"_s, u"Offset"_s, u"Size"_s, u"Seconds"_s}) {
            const qsizetype end = header.indexOf(word) + word.size();
            QVERIFY2(row.at(end - 1) != u' ' && (end == row.size() || row.at(end) == u' '),
                     qPrintable(header + u'\n' + row));
        }
        QCOMPARE(row.indexOf(u"ogg"_s), header.indexOf(u"Kind"_s));
    }

    void identifyAndPatchGiveTheWindowsBytes()
    {
        ProgramFolder folder;
        const QString ttn = folder.file(u"ttn"_s), ini = folder.file(u"t.ini"_s);
        const QString out = folder.modified(u"ttn"_s);
        const QByteArray original = makeNavigatorFile(4);
        QVERIFY(writeAll(ttn, original) &&
                writeAll(ini, "[MenuText]\r\nItem02=Gatso\r\nItem03=Mobile\r\n"));
        const Run identified = cli({u"identify"_s, ttn});
        QCOMPARE(identified.code, 0);
        QCOMPARE(identified.out.trimmed(), QString::fromLatin1(expectedBuild(4).caption));
        const Run patched = cli({u"patch"_s, ttn, u"-o"_s, out, u"--texts"_s, ini, u"--item"_s,
                                 u"3=Caf\u00e9 \u20ac"_s});
        QCOMPARE(patched.code, 0);
        std::array<QString, tollvik::kSlotCount> texts{u""_s, u"Gatso"_s, u"Caf\u00e9 \u20ac"_s};
        QCOMPARE(readAll(out), expectedPatch(original, expectedBuild(4), texts));
        QVERIFY(patched.out.startsWith(u"Preparing to alter the the backed up"_s));
        QCOMPARE(readAll(ttn), original);
        const Run unknown = cli({u"identify"_s, ini});
        QCOMPARE(unknown.code, 1);
        QCOMPARE(unknown.err.split(u'\n', Qt::SkipEmptyParts).size(), 3);
    }

    // The build replaces the given slot and its log names the slot.
    void buildReplacesTheGivenSlot()
    {
        ProgramFolder folder;
        const ChkArchive archive = makeChk(40);
        const QString chk = folder.file(u"voice.chk"_s), sound = folder.file(u"bell.ogg"_s);
        const QByteArray bell = makeOggSine(900.0, 0.2);
        QVERIFY(writeAll(chk, archive.bytes()) && writeAll(sound, bell));
        const Run run =
            cli({u"chk"_s, u"build"_s, chk, u"-o"_s, chk + u'2', u"--slot"_s, u"30="_s + sound});
        ChkArchive expected = archive;
        expected.entries[archive.count() - 2] = slotEntry(bell);
        QCOMPARE(readAll(chk + u'2'), expected.bytes());
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
        // Conventions of the command line.
        row("unknown command", "frobnicate", "unknown command \"frobnicate\"");
        row("unknown chk command", "chk frob", "unknown chk command \"frob\"");
        row("unknown option", "chk list @/a.chk --frob", "frob");
        row("- as input", "chk list -", "-: standard input is not read; give a file");
        row("- as output", "chk build @/a.chk -o -",
            "-: standard output is not written; give a file");
        row("- as the folder to extract into", "chk extract @/a.chk -",
            "-: standard output is not written; give a folder");
        row("--like beside --rate",
            "convert @/bell.oga @/out --like @/a.chk:3 --rate 22050 --channels 1",
            "give either --like or --rate and --channels");
        row("speak an empty text", "speak '' @/out", "speak needs a text");
        row("speak a blank text", "speak \" \t \" @/out", "speak needs a text");
        row("listing refusal", "chk list @/short.chk", "Cannot list");
        row("build refusal", "chk build @/c.chk -o @/out --slot 30=@/bad.ogg", "is not an Ogg");
        row("a build without its output", "chk build @/a.chk", "chk build needs -o OUT");
        row("a build's slot past 30", "chk build @/a.chk -o @/out --slot 31=x.ogg",
            "--slot needs N=SOUND with N from 1 to 30, not \"31=x.ogg\"");
        // Outputs onto inputs, by every route.
        row("build onto its slot sound", "chk build @/a.chk -o @/bell.oga --slot 3=@/bell.oga",
            kInput);
        row("build onto its archive", "chk build @/a.chk -o @/x/../a.chk", kInput);
        row("speak onto its --like archive", "speak Hello @/a.chk --like @/a.chk:3", kInput);
        row("convert onto its --like archive", "convert @/bell.oga @/a.chk --like @/a.chk:3",
            kInput);
        row("convert onto its sound", "convert @/bell.oga @/bell.oga --rate 22050 --channels 1",
            kInput);
        row("patch onto its settings file", "patch @/ttn -o @/t.ini --texts @/t.ini", kInput);
        row("join onto its entry", "chk join @/x -o \"@/x/Entry 031.bin\"", kInput);
        row("join onto its index", "chk join @/x -o @/x/index.txt", kInput);
        // Outputs that are special files.
        row("build onto a device", "chk build @/a.chk -o /dev/null", kDevice);
        row("convert onto a FIFO", "convert @/bell.oga @/outfifo --rate 22050 --channels 1",
            "it is a FIFO, not a regular file, and is never replaced");
        row("build onto a folder", "chk build @/a.chk -o @/folder",
            "it is a folder, not a file, and is never replaced");
        // Inputs that are special files: refused at once, never opened.
        row("archive a FIFO", "chk list @/fifo", kFifo);
        row("archive a device", "chk extract /dev/zero @/new", kDevice);
        row("navigator file a FIFO", "identify @/fifo", kFifo);
        row("slot sound a FIFO", "chk build @/a.chk -o @/out --slot 3=@/fifo.ogg", kFifo);
        row("join entry a FIFO", "chk join @/joinfifo -o @/out", kFifo);
        row("settings file a FIFO", "patch @/ttn -o @/out --texts @/fifo", kFifo);
        row("sound to convert a FIFO", "convert @/fifo @/out --rate 22050 --channels 1", kFifo);
        // Sizes and counts, from stat and the first bytes, before anything is read whole.
        row("archive of 600 MB", "chk list @/huge.chk --all", kTooLarge);
        row("archive of 600 MB to build as it is", "chk build @/huge.chk -o @/out", kTooLarge);
        row("extract of 70,000 entries", "chk extract @/many.chk @/new --all",
            "holds 70,000 entries; an archive holds at most 65,536");
        row("listing of 70,000 entries", "chk list @/many.chk --all", "holds 70,000 entries");
        row("settings file of 2 MB", "patch @/ttn -o @/out --texts @/huge.ini",
            "a settings file is at most 1048576 bytes");
        row("join entry of 600 MB", "chk join @/joinhuge -o @/out", kTooLarge);
        row("join entries adding up to 600 MB", "chk join @/joinsum -o @/out",
            "the entries would make an archive of about");
        // The archive's own refusals, as the command line reaches them.
        row("extract into a non-empty folder", "chk extract @/a.chk @/x", "not empty");
        row("join without an index", "chk join @ -o @/out", "index.txt");
        row("join of a sound too large for an entry", "chk join @/big -o @/out", "at most 131056");
        row("a slot the build of 102 entries leaves alone",
            "chk build @/b.chk -o @/out --slot \"20=@/x/Entry 030.ogg\"",
            "does not replace slot 20");
    }

    void refusalsWriteNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString root = QDir::cleanPath(dir.path());
        QVERIFY(makeRefusalFiles(root));
        const auto before = snapshot(root);
        const Run run = cli(arguments.replaceInStrings(u"@"_s, root), root);
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.startsWith(u"tollvik-alerts-cli: "_s) && run.err.contains(said),
                 qPrintable(run.err));
        QCOMPARE(run.err.count(u'\n'), 1);
        QVERIFY2(!run.out.contains(said), qPrintable(run.out));
        QCOMPARE(snapshot(root), before);
        QVERIFY(QFileInfo(u"/dev/null"_s).exists() && !QFileInfo(u"/dev/null"_s).isFile());
    }

    // Without --texts the settings file of the program folder is read, and so is never the
    // output: a portable copy of the program whose folder holds it.
    void patchNeverWritesOverTheDefaultSettingsFile()
    {
        QTemporaryDir dir;
        const QString root = QDir::cleanPath(dir.path());
        QVERIFY(QFile::copy(QStringLiteral(TOLLVIK_CLI), root + u"/tollvik-alerts-cli"_s));
        QVERIFY(writeAll(root + u"/libbass.so"_s, QByteArray()) &&
                writeAll(root + u"/Tollvik.ini"_s, "[MenuText]\r\nItem02=Gatso\r\n") &&
                writeAll(root + u"/ttn"_s, makeNavigatorFile(13)));
        const auto before = snapshot(root);
        const Run run = cli({u"patch"_s, u"ttn"_s, u"-o"_s, u"./Tollvik.ini"_s}, root,
                            root + u"/tollvik-alerts-cli"_s);
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.contains(u"an input of this command"_s), qPrintable(run.err));
        QCOMPARE(snapshot(root), before);
    }

    // Each command's --help, at any level, prints its usage and its options on standard output
    // and is no refusal; the manual page documents every option it shows and every command.
    void helpSucceedsAndTheManualHasEachOption_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("usage");
        for (const QString& command : kCommands)
            QTest::newRow(qPrintable(command)) << command << command;
        QTest::newRow("top level") << QString() << u"COMMAND"_s;
        QTest::newRow("chk") << u"chk"_s << u"chk list|extract|build|join"_s;
        QTest::newRow("device") << u"device"_s << u"device scan|put|restore"_s;
    }

    void helpSucceedsAndTheManualHasEachOption()
    {
        QFETCH(QString, command);
        QFETCH(QString, usage);
        const QString page = QString::fromUtf8(readAll(QStringLiteral(TOLLVIK_CLI_MANPAGE)));
        const Run run = cli(command.split(u' ', Qt::SkipEmptyParts) << u"--help"_s);
        QCOMPARE(run.code, 0);
        QVERIFY2(run.out.startsWith(u"Usage: tollvik-alerts-cli "_s + usage), qPrintable(run.out));
        QVERIFY(run.out.contains(u"--help"_s) && run.err.isEmpty());
        static const QRegularExpression option(u"(?<![\\w-])(--?[a-z][a-z-]*)"_s);
        for (const QRegularExpressionMatch& m : option.globalMatch(run.out))
            QVERIFY2(page.contains(m.captured(1).replace(u'-', u"\\-"_s)),
                     qPrintable(m.captured()));
        if (kCommands.contains(command))
            QVERIFY2(page.contains(u".B tollvik-alerts-cli "_s + command + u'\n'),
                     qPrintable(command));
        for (const QString& listed : command.isEmpty() ? kCommands : QStringList())
            QVERIFY2(run.out.contains(u"  "_s + listed + u' '), qPrintable(listed));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
