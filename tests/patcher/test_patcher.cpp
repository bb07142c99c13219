#include "navigatorfiles.h"
#include "patcher/patcher.h"
#include "settings/ini.h"
#include "testsupport.h"

#include <QFile>
#include <QTest>
#include <csignal>
#include <optional>
#include <sys/resource.h>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;
using Texts = std::array<QString, kSlotCount>;

namespace {

// While it lives, no file this process writes grows past `bytes`: a longer write fails as it
// would on a full disk, and leaves its target as it was.
struct FileSizeLimit
{
    explicit FileSizeLimit(rlim_t bytes) : ok(getrlimit(RLIMIT_FSIZE, &previous) == 0)
    {
        std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of ending the test
        const rlimit limit{bytes, previous.rlim_max};
        ok = ok && setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { (void)(ok && setrlimit(RLIMIT_FSIZE, &previous) == 0); }
    rlimit previous{};
    bool ok;
};

// A program folder where the user's navigator file is loaded.
struct Loaded
{
    ProgramFolder folder;
    NavigatorState state;
    RecordingLog log;
    QByteArray original;
    QString chosen;
    bool load(int index, const QString& relative = u"device/TomTom.exe"_s)
    {
        chosen = folder.file(relative);
        original = makeNavigatorFile(index);
        return writeAll(chosen, original) && loadNavigatorFile(chosen, folder.path(), state, log);
    }
    Result<WorkingCopy> save(const Texts& texts)
    {
        return saveModifiedNavigator(state, texts, folder.path(), log);
    }
};

} // namespace

class TestPatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Three probe bytes name the build; one of them off by one, or past the end of the file, is
    // no build at all; where two builds match, the lower index wins; the phone build is dormant.
    void identifiesBuildsByTheirProbes_data()
    {
        QTest::addColumn<int>("build");
        QTest::addColumn<int>("also");  // a second build whose probes are set as well
        QTest::addColumn<int>("probe"); // the probe altered, or -1
        QTest::addColumn<int>("delta"); // what is added to it; 0 cuts the file there
        QTest::addColumn<int>("expected");
        for (const ExpectedBuild& b : expectedBuilds()) {
            QTest::addRow("%d", b.index) << b.index << 0 << -1 << 0 << b.index;
            for (int probe = 0; probe < 3; ++probe) {
                for (const int delta : {1, -1, 0})
                    QTest::addRow("%d probe %d %+d", b.index, probe, delta)
                        << b.index << 0 << probe << delta << 0;
            }
        }
        QTest::newRow("5 and 14") << 14 << 5 << -1 << 0 << 5;
        QTest::newRow("1 and 15") << 15 << 1 << -1 << 0 << 1;
        QTest::newRow("phone") << 0 << 0 << -1 << 0 << 0;
    }
    void identifiesBuildsByTheirProbes()
    {
        QFETCH(int, build);
        QFETCH(int, also);
        QFETCH(int, probe);
        QFETCH(int, delta);
        QByteArray data = build ? makeNavigatorFile(build) : makeFillerFile();
        if (build == 0) // the probes of the dormant phone build
            data.replace(0x17C500, 1, "\x6D").replace(0x17C520, 1, "%").replace(0x17C540, 1, "%");
        if (also) {
            for (const auto& [offset, value] : expectedBuild(also).probes)
                data[offset] = static_cast<char>(value);
        }
        if (probe >= 0) {
            const auto [offset, value] = expectedBuild(build).probes[std::size_t(probe)];
            data = delta ? data.replace(offset, 1, QByteArray(1, char(value + delta)))
                         : data.left(offset);
        }
        const NavigatorBuild* found = IdentifyNavigatorFile(data);
        QTEST(found ? found->versionIndex : 0, "expected");
        if (found) {
            const ExpectedBuild& expected = expectedBuild(found->versionIndex);
            QCOMPARE(found->caption, QLatin1StringView(expected.caption));
            QCOMPARE(found->picture,
                     expected.go ? DevicePicture::GoDevice : DevicePicture::Handheld);
        }
    }

    // The output is the chosen file with exactly the patch, for every build; the chosen file is
    // only read and the working copy is an unaltered copy again. A build saved after GO 5.4 does
    // not get GO 5.4's third sound reference.
    void savesEveryBuildByteExact_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("earlier");
        QTest::addColumn<Texts>("texts");
        Texts varied;
        std::ranges::copy(u"Gatso||ABCDEFGHIJKLMNOPQRST|ABCDEFGHIJKLMNO|   | Truvelo |\t|\u00A0|"
                          u"Caf\u00e9 \u20ac5"_s.split(u'|'),
                          varied.begin());
        varied[27] = u"  "_s; // spaces count as a text for the count byte
        for (const ExpectedBuild& b : expectedBuilds())
            QTest::addRow("%d", b.index) << b.index << 0 << varied;
        Texts full;
        full.fill(u"x"_s);
        QTest::newRow("all empty") << 5 << 0 << Texts{};
        QTest::newRow("all filled") << 12 << 0 << full;
        QTest::newRow("10 after 13") << 10 << 13 << varied;
        QTest::newRow("13 after 13 of another name") << 13 << 13 << varied;
    }
    void savesEveryBuildByteExact()
    {
        QFETCH(int, index);
        QFETCH(int, earlier);
        QFETCH(Texts, texts);
        Loaded f;
        QVERIFY(!earlier || (f.load(earlier, u"device/earlier.exe"_s) && f.save(texts).ok()));
        f.log.lines.clear();
        QVERIFY(f.load(index));
        const Result<WorkingCopy> saved = f.save(texts);
        QVERIFY(saved.ok() && saved.value() == WorkingCopy::Refreshed);
        const QByteArray patched = expectedPatch(f.original, expectedBuild(index), texts);
        QVERIFY(readAll(f.folder.modified(u"TomTom.exe"_s)) == patched);
        QVERIFY(readAll(f.chosen) == f.original);
        QVERIFY(readAll(f.folder.temp(u"TomTom.exe"_s)) == f.original);
        // Only spaces make an item unused in the log; the count byte counts every text that is
        // not empty.
        QStringList log{u"File %1 copied to the \\Temp folder."_s.arg(f.chosen),
                        u"TTN file %1 loaded."_s.arg(f.folder.temp(u"TomTom.exe"_s)),
                        u"....if you elect to alter this file, the texts in the green"_s,
                        u"....textboxes will be written to the .exe file, along with"_s,
                        u"....the required changes to the code allowing all 30 sounds"_s,
                        u"....to be played from within TomTom."_s,
                        u"Preparing to alter the the backed up TTN file."_s};
        for (const QString& text : texts)
            log << (QString(text).remove(u' ').isEmpty()
                        ? u"....Unused menu item."_s
                        : u"....'%1' added as menu item and pointer altered."_s.arg(text));
        log << u"....Altered number of usable menu item in TTN to %1"_s.arg(
                   int(patched[expectedBuild(index).count]))
            << u"....Adjusted associated sounds to our new menu items."_s
            << u"....Updated the Tollvik.ini file."_s
            << u"....Modification complete, saving working file to the 'Modified' folder."_s
            << u"....deleting working file in temp. folder TomTom.exe"_s
            << u"....replace working file with original."_s;
        QCOMPARE(f.log.lines, log);
    }

    // After a good load and save, each refused load or save logs why and leaves every file (the
    // output, the settings file, the working copy, the chosen file) and the state as they were.
    // When the output cannot be written, the settings file is put back and the log says that the
    // new texts were not stored.
    void refusalsChangeNothing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("lines");
        const QString save = u"Cannot save the modified TTN file: "_s;
        const QString temp = u"Connot load file from the working Temp directory!"_s;
        const QString kept = u"....The new menu texts were not stored: the Tollvik.ini file was "
                             u"put back as it was."_s;
        QTest::newRow("load: working copy via ..") << u"Temp/../Temp/nav.exe"_s << temp << 1;
        QTest::newRow("load: unrecognised") << u"other.exe"_s << u"....Use only an"_s << 3;
        QTest::newRow("load: missing") << u"gone.exe"_s << u"Cannot read the TTN file "_s << 1;
        QTest::newRow("nothing loaded") << u"none"_s << save + u"no TTN file is loaded."_s << 1;
        for (const char* kind : {"deleted", "empty", "truncated", "another build"})
            QTest::newRow(kind) << QString::fromLatin1(kind) << save + u"the working copy "_s << 1;
        QTest::newRow("no Windows-1252 byte")
            << u"character"_s << save + u"menu item 12 holds the character '\u2192' (U+2192)"_s
            << 1;
        QTest::newRow("loaded from Modified")
            << u"modified"_s << u"Modified/nav.exe is the loaded file itself"_s << 1;
        QTest::newRow("output write fails") << u"write"_s << kept << 37;
    }
    void refusalsChangeNothing()
    {
        QFETCH(QString, kind);
        QFETCH(QString, line);
        QFETCH(int, lines);
        Loaded f;
        Texts texts{u"Gatso"_s, u"Truvelo"_s};
        if (kind == u"modified")
            QVERIFY(f.load(6, u"Modified/nav.exe"_s));
        else if (kind != u"none")
            QVERIFY(f.load(13, u"in/nav.exe"_s));
        (void)f.save(texts); // an earlier output and settings file to keep
        const QString working = f.folder.temp(u"nav.exe"_s);
        if (kind == u"deleted")
            QVERIFY(QFile::remove(working));
        else if (kind == u"empty" || kind == u"truncated")
            writeAll(working, f.original.left(kind == u"empty" ? 0 : 0x23FFAC + 4 * 30 - 1));
        else if (kind == u"another build")
            writeAll(working, makeNavigatorFile(7));
        else if (kind == u"other.exe")
            writeAll(f.folder.file(kind), makeFillerFile());
        // The settings file is small enough to be written; the navigator file is not.
        std::optional<FileSizeLimit> limit;
        if (kind.endsWith(u"write"))
            QVERIFY(limit.emplace(64 * 1024).ok && f.original.size() > 64 * 1024);
        texts[11] = kind == u"character" ? u"Turn \u2192 here"_s : u"New"_s;
        const auto before = filesUnder(f.folder.path());
        const NavigatorState state = f.state;
        f.log.lines.clear();
        if (kind.contains(u'.')) {
            const auto loaded =
                loadNavigatorFile(f.folder.file(kind), f.folder.path(), f.state, f.log);
            QVERIFY(!loaded.ok());
            QCOMPARE(loaded.refusal() == Refusal::SameFile, line.startsWith(u"Connot"));
        } else {
            QVERIFY(!f.save(texts).ok());
        }
        limit.reset(); // the checks below may write the test's own output
        QCOMPARE(filesUnder(f.folder.path()), before);
        QVERIFY(f.state.VersionIndex == state.VersionIndex &&
                f.state.SourcePath == state.SourcePath &&
                f.state.WorkingFileNames == state.WorkingFileNames &&
                f.state.workingCopyPath == state.workingCopyPath);
        QVERIFY2(f.log.lines.last().contains(line) && f.log.lines.size() == lines,
                 qPrintable(f.log.lines.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(TestPatcher)
#include "test_patcher.moc"
