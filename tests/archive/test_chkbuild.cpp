// Loading and listing a base archive, the custom build compared byte for byte with archives the
// factory lays out itself, and the refusals of the load, the build and the export.
#include "archive/archive.h"
#include "archive/entries.h"
#include "archive/slotfiles.h"
#include "chkfactory.h"
#include "convert/module.h"
#include "soundfiles.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <sys/stat.h>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

const QByteArray kMissing = "(no file)";

// The converter's own check, as the command line hands it in.
SoundCheck converterCheck()
{
    return convert::soundCheckOf(&convert::checkPlayable, &convert::oggFormat);
}

// The chosen archive nav/data.chk, a working copy Temp/data.chk as the load leaves it, and the
// window's sound and menu boxes.
struct Fixture
{
    ProgramFolder folder;
    BuildInput in{folder.path(), folder.temp("data.chk"), "data.chk", {}, {}, {}};

    explicit Fixture(const QByteArray& archive)
    {
        for (int k = 0; k < kSlotCount; ++k) {
            in.soundBoxes[k] = QString::asprintf("Sound %02d", k + 1);
            in.menuTexts[k] = u"Item %1"_s.arg(k + 1);
        }
        in.check.playable = [](QByteArrayView) {
            return Status{};
        };
        writeAll(in.workingPath, archive);
        writeAll(folder.file("nav/data.chk"), archive);
    }

    // Puts a file (for kMissing only its name) into slot k's sound box.
    QString external(int k, const QByteArray& bytes, const char* suffix = "ogg")
    {
        in.soundBoxes[k] = folder.file(QString::asprintf("snd/slot%d.%s", k, suffix));
        if (bytes != kMissing)
            writeAll(in.soundBoxes[k], bytes);
        return in.soundBoxes[k];
    }
};

} // namespace

class TestChkBuild : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The hostile rows below must fail rather than take the machine.
    void initTestCase() { QVERIFY(limitAddressSpace()); }

    // The load replaces an earlier working copy, logs its hints and the listing; the build
    // writes the factory's archive, logs every step and reloads.
    void writesTheFactoryArchiveAndLogsEveryStep_data()
    {
        // Slot k's box holds a file of sounds[k] bytes (> 0), which goes into entry
        // firstEntry + k, a missing .ogg (-1), a .wav (-2) or its label (0).
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("firstEntry");
        QTest::addColumn<QList<int>>("sounds");
        QList<int> twelve(30, -1), largest(30, 0);
        for (int k = 0; k < 12; ++k)
            twelve[k] = 500 + 37 * k;
        largest[0] = 131056;
        largest[29] = 1000;
        QTest::newRow("1,001 bytes: 3 zero bytes; a .wav stays out")
            << 200 << 170 << QList<int>{1001, -2};
        QTest::newRow("largest sound; 1,000 bytes in the last slot") << 40 << 10 << largest;
        QTest::newRow("102 entries: slots 0-11 into 90-101, the rest unread")
            << 102 << 90 << twelve;
    }

    void writesTheFactoryArchiveAndLogsEveryStep()
    {
        QFETCH(int, entries);
        QFETCH(int, firstEntry);
        QFETCH(QList<int>, sounds);
        ChkArchive expected = makeChk(entries);
        const QString oldSize = QString::number(expected.bytes().size()); // before the sounds
        Fixture f(expected.bytes());
        QVERIFY(writeAll(f.in.workingPath, makeChk(40).bytes())); // from an earlier load
        RecordingLog log;
        const auto loaded = LoadBaseChk(f.folder.file("nav/data.chk"), f.folder.path(), log);
        QVERIFY(loaded && loaded->workingPath == f.in.workingPath);
        QCOMPARE(readAll(f.in.workingPath), expected.bytes());
        QCOMPARE(log.lines,
                 QStringList({"Loaded " + f.in.workingPath + " as base .chk file.",
                              "....Highlight menu item/sound with mouse then",
                              "....Play sounds by pressing the 'speaker' button.",
                              "....Include an external .ogg by pressing the '...' button",
                              "....Save a sound by pressing the 'S' button."}) +
                     listingOf(expected));
        log.lines.clear();
        QString verifying, including;
        for (int k = 0; k < sounds.size(); ++k) {
            if (sounds[k] == 0)
                continue;
            const QByteArray sound = sounds[k] == -1 ? kMissing : oggOfSize(qAbs(sounds[k]));
            const QString path = f.external(k, sound, sounds[k] == -2 ? "wav" : "ogg");
            if (sounds[k] > 0) {
                expected.entries[firstEntry + k - 1] = slotEntry(sound);
                verifying += "....Verifying " + path + '\n';
                including += QString("....Including %1 for Item %2\n").arg(path).arg(k + 1);
            }
        }
        const QString size = QString::number(expected.bytes().size());
        const Result<BuiltChk> built = data_chk_reload(f.in, log);
        QVERIFY2(built, qPrintable(built.error()));
        QCOMPARE(readAll(f.folder.modified("data.chk")), expected.bytes());
        QCOMPARE(readAll(f.in.workingPath), expected.bytes());
        QCOMPARE(log.lines, QString("Sound file %1\n....Number of modules: %2 File size: %3\n"
                                    "....File size confirmed\n....Calculating new parameters\n"
                                    "%4....Recalculating header \n....new File Size is %5\n"
                                    "....Writing CHK file \n....Writing CHK file - Sounds\n"
                                    "%6Done - real new file size is %5\n"
                                    "....new data.chk file created in the 'Modified' folder\n%7\n"
                                    "....and reloaded the altered file for testing.")
                                .arg(f.in.workingPath, QString::number(entries), oldSize, verifying,
                                     size, including, listingOf(expected).join('\n'))
                                .split('\n'));
        // A path holding "%1" or "%2" stays as it is.
        QCOMPARE(importLogLine("/snd/%2 %1.ogg", 29), "Load /snd/%2 %1.ogg to position 30");
    }

    void refusalsChangeNoFile_data()
    {
        // Each action that has a line refuses with it: the load of the archive (of the working
        // copy itself for the "Connot" line), the build with `sound` in slot 5, the export of
        // slot 29 of the good archive onto `exportTo`.
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QByteArray>("sound");
        QTest::addColumn<QString>("loadLine");
        QTest::addColumn<QString>("buildLine");
        QTest::addColumn<QString>("exportTo");
        const QByteArray good = makeChk(40).bytes(), ogg = oggSounds()[1];
        const auto broken = [&](qsizetype pos, qint32 value) {
            QByteArray b = good;
            putBe32(b, pos, value);
            return b;
        };
        const auto row = [](const char* name, const QByteArray& archive, const QByteArray& sound,
                            const char* load, const QString& build, const char* exportTo = "") {
            QTest::newRow(name) << archive << sound << QString(load) << build << QString(exportTo);
        };
        const char* problem = "Problem loading file";
        row("truncated header", good.left(3), ogg, problem, "too short");
        row("31 entries", makeChk(31).bytes(), ogg, "", "holds 31 entries");
        row("overflowing offset", broken(80, qint32(0x80000010)), ogg, problem, "Entry 19 starts");
        row("oversized length", broken(makeChk(40).offsetOf(10) + 12, 100000), ogg, problem, "");
        row("external sound too large", good, oggOfSize(131057), "", "can hold at most 131056");
        row("external sound not Ogg", good, QByteArray(9, 'v'), "", "is not an Ogg sound");
        row("external sound empty", good, "", "", "is empty");
        row("external sound missing", good, kMissing, "", "....Cannot read ");
        // The navigator plays only a complete, single Ogg Vorbis stream.
        const QString scratch = QDir::temp().filePath(u"tollvik-chkbuild-opus.ogg"_s);
        const QByteArray opus = oggOpus(scratch);
        QFile::remove(scratch);
        const QString cannot = "....Sound 06: slot5.ogg is not an Ogg Vorbis sound the navigator "
                               "can play (";
        row("external sound Opus", good, opus, "",
            cannot + "it holds an Opus stream). Use \"Import and convert a sound\u2026\" to "
                     "convert it.");
        row("external sound cut short", good, ogg.left(ogg.size() * 2 / 3), "",
            cannot + "it is cut short)");
        row("external sound of 15 bytes after OggS", good, QByteArray("OggS").append(11, '\x01'),
            "", cannot);
        row("external sound of 2 chained streams", good, ogg + oggSounds()[2], "",
            cannot + "it holds 2 chained streams)");
        row("export from a shrunk working copy", good.chopped(200), ogg, "", "mismatch", "x.ogg");
        row("loading or exporting onto the working copy", good, ogg, "Connot load", "",
            "Temp/../Temp/data.chk");
    }

    void refusalsChangeNoFile()
    {
        QFETCH(QByteArray, archive);
        QFETCH(QByteArray, sound);
        QFETCH(QString, loadLine);
        QFETCH(QString, buildLine);
        QFETCH(QString, exportTo);
        Fixture f(archive);
        f.in.check = converterCheck();
        f.external(5, sound);
        QVERIFY(writeAll(f.folder.modified("data.chk"), "the earlier custom archive"));
        const auto before = filesUnder(f.folder.path());
        RecordingLog log;
        const auto refused = [&log](const auto& result, const QString& line) {
            const bool why = !result && log.lines.value(log.lines.size() - 1).contains(line);
            log.lines.clear();
            return why;
        };
        if (!loadLine.isEmpty()) { // the working copy itself is refused without a beep's log
            const bool itself = loadLine.startsWith("Connot");
            const QString chosen = f.folder.file(itself ? "Temp/../Temp/data.chk" : "nav/data.chk");
            const auto loaded = LoadBaseChk(chosen, f.folder.path(), log);
            QVERIFY(refused(loaded, loadLine) && (loaded.refusal() == Refusal::SameFile) == itself);
        }
        QVERIFY(buildLine.isEmpty() || refused(data_chk_reload(f.in, log), buildLine));
        const ChkArchive good = makeChk(40);
        const SlotSound last{good.offsetOf(39) + 16, be32(good.entries[38], 12)};
        QVERIFY(exportTo.isEmpty() ||
                refused(exportSlotSound(f.in.workingPath, last, f.folder.file(exportTo), log),
                        "Cannot save the sound"));
        QCOMPARE(filesUnder(f.folder.path()), before);
    }

    // An archive past the readers' limits is refused from its length and first bytes, before
    // it is read whole: by the listing, the load, the build and the split.
    void limitsRefuseBeforeReading_data()
    {
        QTest::addColumn<qint64>("size");  // the file is made this long, sparse past its count
        QTest::addColumn<qint32>("count"); // the entry count its first bytes state
        QTest::addColumn<QString>("why");
        QTest::newRow("512 MB and a byte") << 536870913LL << 40
                                           << "it is 536,870,913 bytes long; an archive is at most "
                                              "536,870,912 bytes";
        QTest::newRow("65,537 entries")
            << 4096LL << 65537 << "it holds 65,537 entries; an archive holds at most 65,536";
    }
    void limitsRefuseBeforeReading()
    {
        QFETCH(qint64, size);
        QFETCH(qint32, count);
        QFETCH(QString, why);
        Fixture f(QByteArray{});
        f.in.check = converterCheck();
        const QString chosen = f.folder.file("nav/data.chk");
        for (const QString& path : {chosen, f.in.workingPath}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(be32s({count})) == 4);
            QVERIFY(file.resize(size)); // sparse: nothing past the count is stored
        }
        RecordingLog log;
        QVERIFY(!Get_Chk_info(chosen, log) && !LoadBaseChk(chosen, f.folder.path(), log));
        QVERIFY(!data_chk_reload(f.in, log));
        QCOMPARE(log.lines, QStringList({u"Cannot list %1: %2."_s.arg(chosen, why),
                                         u"Problem loading file %1: %2."_s.arg(chosen, why),
                                         "Sound file " + f.in.workingPath,
                                         "....The working copy cannot be built: " + why +
                                             "; nothing was written."}));
        const Result<SplitArchive> split = readSplitArchive(chosen);
        QCOMPARE(split.error(), chosen + " is not a sound archive: " + why);
        QCOMPARE(QFileInfo(f.in.workingPath).size(), size);
        QVERIFY(QDir(f.folder.modified()).isEmpty());
    }

    // A sound of another rate or channel count than the one it replaces is built in, with a
    // line saying so (one of the slot's own format gets none); the command line, which has no
    // menu texts, names the slot after "for".
    void otherFormatIsBuiltInWithALine()
    {
        ChkArchive expected = makeChk(40);
        Fixture f(expected.bytes());
        f.in.check = converterCheck();
        f.in.menuTexts = {};
        const QByteArray stereo = makeOggSine(660.0, 0.4, 44100, 2), own = makeOggSine(550.0, 0.3);
        const QString path = f.external(3, stereo);
        f.external(4, own);
        RecordingLog log;
        const Result<QByteArray> built = assembleCustomChk(f.in, log);
        QVERIFY2(built, qPrintable(log.lines.join('\n')));
        expected.entries[12] = slotEntry(stereo);
        expected.entries[13] = slotEntry(own);
        QCOMPARE(built.value(), expected.bytes());
        const QString line = "....Sound 04: slot3.ogg is 44,100 Hz stereo, the sound it replaces "
                             "22,050 Hz mono; it is built in as it is.";
        QCOMPARE(log.lines.filter("the sound it replaces"), QStringList(line));
        QCOMPARE(log.lines.value(log.lines.indexOf("....Verifying " + path) + 1), line);
        QVERIFY(log.lines.contains("....Including " + path + " for Sound 04"));
    }
    // Exporting all sounds replaces regular files only: a FIFO, a folder or a link to nowhere in
    // the way is refused before anything is written, and stays what it was.
    void exportAllRefusesWhatIsNotAFile()
    {
        Fixture f(makeChk(40).bytes());
        RecordingLog log;
        const Result<ChkListing> listed = Get_Chk_info(f.in.workingPath, log);
        QVERIFY(listed);
        const convert::ListedArchive archive{f.folder.path(), f.in.workingPath, listed->table};
        for (int kind = 0; kind < 3; ++kind) {
            const QString out = f.folder.file(u"out%1"_s.arg(kind)),
                          name = convert::exportFileName(7);
            const QString blocked = out + u'/' + name;
            QVERIFY(QDir().mkpath(out) &&
                    (kind == 0   ? ::mkfifo(QFile::encodeName(blocked).constData(), 0600) == 0
                     : kind == 1 ? QDir().mkdir(blocked)
                                 : QFile::link(out + u"/nowhere"_s, blocked)));
            const Status exported = convert::exportAllSounds(archive, f.in.soundBoxes, out);
            QVERIFY2(!exported && exported.error().contains(blocked), qPrintable(exported.error()));
            QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                     QStringList{name});
            const QFileInfo after(blocked);
            QVERIFY(kind == 1   ? after.isDir()
                    : kind == 0 ? !after.isFile() && after.exists()
                                : after.isSymLink() && !after.exists());
        }
    }
};

QTEST_GUILESS_MAIN(TestChkBuild)
#include "test_chkbuild.moc"
