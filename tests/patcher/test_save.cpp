#include "core/codepage.h"
#include "core/fileio.h"
#include "navigatorfiles.h"
#include "patcher/patcher.h"
#include "settings/ini.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTest>
#include <unistd.h>

using namespace tollvik;
using namespace tollvik::test;
using Texts = std::array<QString, 30>;

namespace {

Texts typicalTexts()
{
    Texts texts{u"Gatso"_qs, u"Truvelo"_qs, u"Red light"_qs, u"Speed 30"_qs, u"School zone"_qs};
    texts[7] = u"Mobile camera"_qs;
    return texts;
}

std::array<QByteArray, 30> cp1252(const Texts& texts)
{
    std::array<QByteArray, 30> bytes;
    for (std::size_t i = 0; i < texts.size(); ++i)
        bytes[i] = encodeCp1252(texts[i]).bytes;
    return bytes;
}

// Every file under the program folder with its content.
QMap<QString, QByteArray> snapshot(const ProgramFolder& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, readAll(path));
    }
    return files;
}

QString firstDifference(const QByteArray& actual, const QByteArray& expected)
{
    if (actual.size() != expected.size())
        return QStringLiteral("size %1, expected %2").arg(actual.size()).arg(expected.size());
    for (qsizetype i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i])
            return QStringLiteral("offset 0x%1: 0x%2, expected 0x%3")
                .arg(i, 0, 16)
                .arg(quint8(actual[i]), 2, 16, QLatin1Char('0'))
                .arg(quint8(expected[i]), 2, 16, QLatin1Char('0'));
    }
    return {};
}

// A loaded navigator file in a fresh program folder.
struct Loaded
{
    explicit Loaded(int buildIndex, const QString& name = QStringLiteral("TomTom.exe"))
        : index(buildIndex), original(makeNavigatorFile(buildIndex))
    {
        chosen = folder.file(QStringLiteral("device/") + name);
        writeAll(chosen, original);
        RecordingLog loadLog;
        outcome = loadNavigatorFile(chosen, folder.path(), state, loadLog).outcome;
        output = folder.modified(name);
        working = folder.temp(name);
    }

    ProgramFolder folder;
    int index;
    QByteArray original;
    QString chosen, output, working;
    NavigatorState state;
    LoadNavigatorResult::Outcome outcome;
    RecordingLog log;

    SaveResult save(const Texts& texts)
    {
        return saveModifiedNavigator(state, texts, folder.path(), log);
    }
    QString ini() const { return folder.path() + QStringLiteral("Tollvik.ini"); }
    // Where the output differs from the patch the texts must give; empty when it does not.
    QString diff(const Texts& texts) const
    {
        return firstDifference(readAll(output),
                               expectedPatch(original, expectedBuild(index), cp1252(texts), texts));
    }
};

} // namespace

class TestSave : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setWriteFaultHookForTesting({}); }

    // The output differs from the chosen file exactly at the patch locations, for every build.
    void outputDiffersOnlyByThePatch_data()
    {
        QTest::addColumn<int>("index");
        for (const ExpectedBuild& build : expectedBuilds())
            QTest::addRow("%d", build.index) << build.index;
    }

    void outputDiffersOnlyByThePatch()
    {
        QFETCH(int, index);
        Loaded loaded(index);
        QCOMPARE(loaded.outcome, LoadNavigatorResult::Outcome::Loaded);
        const Texts texts = typicalTexts();
        const SaveResult result = loaded.save(texts);
        QVERIFY(result.ok);
        QVERIFY(result.workingCopyRefreshed);

        QCOMPARE(loaded.diff(texts), QString());
        // The chosen file is only read; the working copy is an unaltered copy again.
        QCOMPARE(readAll(loaded.chosen), loaded.original);
        QCOMPARE(readAll(loaded.working), loaded.original);
        QCOMPARE(loaded.state.workingCopyPath, loaded.working);
    }

    // Literal bytes of a GO build, a Navigator build and GO 5.4 with its third reference.
    void writesTheKnownWords_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("GO 5.2 pointer 29")
            << 5 << qint64(0x1FBC0C + 4 * 29) << QByteArray("\xDC\xDB\x1F\x00", 4);
        QTest::newRow("Navigator 5.0 pointer ref")
            << 12 << qint64(0x27DC4) << QByteArray("\x2C\x8F\x19\x00", 4);
        QTest::newRow("GO 5.4 sound ref 3")
            << 13 << qint64(0x42DF4) << QByteArray("\xAC\x7F\x24\x00", 4);
        QTest::newRow("GO 5.4 text 0")
            << 13 << qint64(0x23F1B0) << QByteArray("Gatso\0\0\0\0\0\0\0\0\0\0\0", 16);
    }

    void writesTheKnownWords()
    {
        QFETCH(int, index);
        QFETCH(qint64, offset);
        QFETCH(QByteArray, bytes);
        Loaded loaded(index);
        QVERIFY(loaded.save(typicalTexts()).ok);
        QCOMPARE(readAll(loaded.output).mid(offset, bytes.size()).toHex(' '), bytes.toHex(' '));
    }

    // Only GO 5.4 has a third sound reference; a later load of another build keeps the stale
    // location, which then has no effect.
    void writesThirdReferenceOnlyForGo54()
    {
        Loaded go54(13);
        QVERIFY(go54.save(typicalTexts()).ok);
        const QByteArray other = makeNavigatorFile(10);
        const QString chosen = go54.folder.file(QStringLiteral("device/go51.exe"));
        writeAll(chosen, other);
        RecordingLog log;
        QCOMPARE(loadNavigatorFile(chosen, go54.folder.path(), go54.state, log).outcome,
                 LoadNavigatorResult::Outcome::Loaded);
        const Texts texts = typicalTexts();
        QVERIFY(saveModifiedNavigator(go54.state, texts, go54.folder.path(), log).ok);
        const QByteArray expected = expectedPatch(other, expectedBuild(10), cp1252(texts), texts);
        QCOMPARE(
            firstDifference(readAll(go54.folder.modified(QStringLiteral("go51.exe"))), expected),
            QString());
    }

    void countByte_data()
    {
        QTest::addColumn<Texts>("texts");
        QTest::addColumn<int>("count");
        Texts all;
        all.fill(QStringLiteral("x"));
        QTest::newRow("all filled") << all << 30;
        QTest::newRow("all empty") << Texts{} << 0;
        Texts ten;
        for (std::size_t i = 0; i < 10; ++i)
            ten[i] = QStringLiteral("item");
        QTest::newRow("0 to 9 filled") << ten << 10;
        Texts gap = all;
        gap[3].clear();
        QTest::newRow("gap at 3, 29 filled") << gap << 30;
        Texts spaces = ten;
        spaces[29] = QStringLiteral("   ");
        QTest::newRow("last holds spaces") << spaces << 30;
        Texts first;
        first[0] = QStringLiteral("only");
        QTest::newRow("only item 0") << first << 1;
    }

    void countByte()
    {
        QFETCH(Texts, texts);
        QFETCH(int, count);
        Loaded loaded(5);
        QVERIFY(loaded.save(texts).ok);
        QCOMPARE(int(quint8(readAll(loaded.output)[0xA5C6C])), count);
        QVERIFY(loaded.log.lines.contains(
            QStringLiteral("....Altered number of usable menu item in TTN to %1").arg(count)));
        QCOMPARE(loaded.diff(texts), QString());
    }

    void textSlot_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("slot");
        QTest::newRow("15 characters")
            << QStringLiteral("ABCDEFGHIJKLMNO") << QByteArray("ABCDEFGHIJKLMNO\0", 16);
        QTest::newRow("16 characters")
            << QStringLiteral("ABCDEFGHIJKLMNOP") << QByteArray("ABCDEFGHIJKLMNO\0", 16);
        QTest::newRow("20 characters")
            << QStringLiteral("ABCDEFGHIJKLMNOPQRST") << QByteArray("ABCDEFGHIJKLMNO\0", 16);
        QTest::newRow("spaces only")
            << QStringLiteral("   ") << QByteArray("   \0\0\0\0\0\0\0\0\0\0\0\0\0", 16);
        QTest::newRow("e acute and euro") << QStringLiteral("Caf\u00e9 \u20ac5")
                                          << QByteArray("Caf\xE9 \x80"
                                                        "5\0\0\0\0\0\0\0\0\0",
                                                        16);
        QTest::newRow("empty") << QString() << QByteArray(16, '\0');
    }

    void textSlot()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, slot);
        Loaded loaded(12);
        Texts texts = typicalTexts();
        texts[2] = text;
        QVERIFY(loaded.save(texts).ok);
        QCOMPARE(readAll(loaded.output).mid(0x188138 + 16 * 2, 16).toHex(' '), slot.toHex(' '));
        // The settings file keeps the whole text, untrimmed.
        QCOMPARE(ReadIniValue(loaded.ini(), QStringLiteral("MenuText"), QStringLiteral("Item03")).value(),
                 text);
        const QString line =
            text.trimmed().isEmpty()
                ? QStringLiteral("....Unused menu item.")
                : QStringLiteral("....'%1' added as menu item and pointer altered.").arg(text);
        QCOMPARE(loaded.log.lines.at(1 + 2), line);
    }

    void logsEveryStepExactly()
    {
        Loaded loaded(7, QStringLiteral("navcore.exe"));
        Texts texts;
        texts[0] = QStringLiteral("Gatso");
        texts[1] = QStringLiteral("  ");
        texts[2] = QStringLiteral(" Truvelo ");
        QVERIFY(loaded.save(texts).ok);
        QStringList expected = {
            QStringLiteral("Preparing to alter the the backed up TTN file."),
            QStringLiteral("....'Gatso' added as menu item and pointer altered."),
            QStringLiteral("....Unused menu item."),
            QStringLiteral("....' Truvelo ' added as menu item and pointer altered.")};
        for (int i = 3; i < 30; ++i)
            expected << QStringLiteral("....Unused menu item.");
        expected << QStringLiteral("....Altered number of usable menu item in TTN to 3")
                 << QStringLiteral("....Adjusted associated sounds to our new menu items.")
                 << QStringLiteral("....Updated the Tollvik.ini file.")
                 << QStringLiteral(
                        "....Modification complete, saving working file to the 'Modified' folder.")
                 << QStringLiteral("....deleting working file in temp. folder navcore.exe")
                 << QStringLiteral("....replace working file with original.");
        QCOMPARE(loaded.log.lines, expected);
    }

    void twoSavesInARowGiveTheSameOutput()
    {
        Loaded loaded(1);
        QVERIFY(loaded.save(typicalTexts()).ok);
        const QByteArray first = readAll(loaded.output);
        QVERIFY(loaded.save(typicalTexts()).ok);
        QCOMPARE(firstDifference(readAll(loaded.output), first), QString());

        // Changed texts change only the later output; each save starts from the unaltered build.
        Texts changed = typicalTexts();
        changed[0] = QStringLiteral("Changed");
        QVERIFY(loaded.save(changed).ok);
        QCOMPARE(loaded.diff(changed), QString());
    }

    // The save stores all 30 texts, empty ones included, in one rewrite of the settings file
    // that leaves the very bytes the 30 single writes would, also in a file edited by hand.
    void storesTheTextsInSettings_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<Texts>("texts");
        Texts texts = typicalTexts();
        texts[8] = QStringLiteral("Caf\u00e9 \u20ac");
        texts[29] = QStringLiteral("Last one = \u00e9");
        const QByteArray edited = "[Other]\r\nItem01=keep\r\n\r\n\r\n[menutext]\r\nitem05=old\r\n"
                                  "Item06 = x\r\nItem07=a[b\r\nItem08=hidden\r\nItem09=last";
        QTest::newRow("no file") << QByteArray() << texts;
        QTest::newRow("all empty") << QByteArray() << Texts{};
        QTest::newRow("edited by hand") << edited << texts;
    }
    void storesTheTextsInSettings()
    {
        QFETCH(QByteArray, before);
        QFETCH(Texts, texts);
        Loaded loaded(5);
        const QString reference = loaded.folder.file(QStringLiteral("reference.ini"));
        if (!before.isEmpty())
            QVERIFY(writeAll(loaded.ini(), before) && writeAll(reference, before));
        for (int n = 1; n <= 30; ++n)
            QVERIFY(WriteIniValue(reference, QStringLiteral("MenuText"),
                                  QStringLiteral("Item%1").arg(n, 2, 10, QLatin1Char('0')),
                                  texts[static_cast<std::size_t>(n - 1)])
                        .ok());
        int settingsWrites = 0;
        setWriteFaultHookForTesting([&](const QString& path) {
            settingsWrites += path == loaded.ini() ? 1 : 0;
            return QString();
        });
        QVERIFY(loaded.save(texts).ok);
        QCOMPARE(settingsWrites, 1);
        QCOMPARE(readAll(loaded.ini()), readAll(reference));
        if (before.isEmpty())
            QCOMPARE(readAll(loaded.ini()).count("\r\nItem"), 30);
    }

    // Each refusal logs one clear line and leaves every file as it was: the earlier output, the
    // settings file, the working copy and the chosen file.
    void refusalsChangeNothing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expectedStart");
        const QString refused = QStringLiteral("Cannot save the modified TTN file: ");
        QTest::newRow("working copy deleted")
            << QStringLiteral("deleted") << refused + QStringLiteral("the working copy");
        QTest::newRow("working copy empty")
            << QStringLiteral("empty") << refused + QStringLiteral("the working copy");
        QTest::newRow("working copy truncated")
            << QStringLiteral("truncated") << refused + QStringLiteral("the working copy");
        QTest::newRow("working copy another build")
            << QStringLiteral("other") << refused + QStringLiteral("the working copy");
        QTest::newRow("character outside Windows-1252")
            << QStringLiteral("character")
            << refused + QStringLiteral("menu item 12 holds the character '\u2192' (U+2192)");
        QTest::newRow("output write fails")
            << QStringLiteral("writefault") << QStringLiteral("....Could not save ");
        QTest::newRow("Modified read-only")
            << QStringLiteral("readonly") << QStringLiteral("....Could not save ");
    }

    void refusalsChangeNothing()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expectedStart);
        if (kind == u"readonly" && geteuid() == 0)
            QSKIP("permissions do not bind root; the write-fault row covers the same path");

        Loaded loaded(13);
        Texts texts = typicalTexts();
        QVERIFY(loaded.save(texts).ok); // an earlier output and settings file to keep
        texts[0] = QStringLiteral("New text");

        if (kind == u"deleted")
            QVERIFY(QFile::remove(loaded.working));
        else if (kind == u"empty")
            writeAll(loaded.working, {});
        else if (kind == u"truncated")
            writeAll(loaded.working, loaded.original.left(0x23FFAC + 4 * 30 - 1));
        else if (kind == u"other")
            writeAll(loaded.working, makeNavigatorFile(7));
        else if (kind == u"character")
            texts[11] = QStringLiteral("Turn \u2192 here");
        else if (kind == u"writefault")
            setWriteFaultHookForTesting([&](const QString& path) {
                return path.startsWith(loaded.folder.modified()) ? QStringLiteral("disk full")
                                                                 : QString();
            });
        else if (kind == u"readonly")
            QVERIFY(QFile::setPermissions(loaded.folder.modified(),
                                          QFile::ReadOwner | QFile::ExeOwner));

        const QMap<QString, QByteArray> before = snapshot(loaded.folder);
        const NavigatorState stateBefore = loaded.state;
        loaded.log.lines.clear();

        const SaveResult result = loaded.save(texts);
        QFile::setPermissions(loaded.folder.modified(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!result.ok && !result.workingCopyRefreshed);
        QCOMPARE(snapshot(loaded.folder), before);
        QCOMPARE(loaded.state.workingCopyPath, stateBefore.workingCopyPath);
        QCOMPARE(loaded.state.VersionIndex, stateBefore.VersionIndex);

        const bool writeFailure = kind == u"writefault" || kind == u"readonly";
        // After a write failure the patch and the settings had run, then the settings were put
        // back; every other refusal logs its one line.
        QCOMPARE(loaded.log.lines.size(), writeFailure ? 1 + 30 + 2 + 2 + 1 : 1);
        QCOMPARE(loaded.log.lines.last().left(expectedStart.size()), expectedStart);

        // Once the cause is gone the next save works again.
        setWriteFaultHookForTesting({});
        if (kind != u"character" && !writeFailure)
            writeAll(loaded.working, loaded.original);
        texts[11].clear();
        QVERIFY(loaded.save(texts).ok);
    }

    // With no file loaded, or with the file loaded from Modified/ that its own output would
    // overwrite, the save is refused and every file stays as it was.
    void refusesWithoutUsableLoadedFile()
    {
        ProgramFolder folder;
        NavigatorState state;
        RecordingLog log;
        QVERIFY(!saveModifiedNavigator(state, typicalTexts(), folder.path(), log).ok);
        QCOMPARE(log.lines, QStringList{QStringLiteral(
                                "Cannot save the modified TTN file: no TTN file is loaded.")});
        QVERIFY(snapshot(folder).isEmpty());

        const QString chosen = folder.modified(QStringLiteral("nav.exe"));
        writeAll(chosen, makeNavigatorFile(6));
        QCOMPARE(loadNavigatorFile(chosen, folder.path(), state, log).outcome,
                 LoadNavigatorResult::Outcome::Loaded);
        const QMap<QString, QByteArray> before = snapshot(folder);
        log.lines.clear();
        QVERIFY(!saveModifiedNavigator(state, typicalTexts(), folder.path(), log).ok);
        QCOMPARE(log.lines.size(), 1);
        QVERIFY(log.lines.front().startsWith(u"Cannot save the modified TTN file: "_qs));
        QCOMPARE(snapshot(folder), before);
    }

    // The chosen file vanished or changed since the load: the output is complete, the working
    // copy stays as it was and serves the next save.
    void keepsWorkingCopyWhenSourceIsGone_data()
    {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("deleted") << false;
        QTest::newRow("replaced by another build") << true;
    }

    void keepsWorkingCopyWhenSourceIsGone()
    {
        QFETCH(bool, replaced);
        Loaded loaded(11);
        if (replaced)
            writeAll(loaded.chosen, makeNavigatorFile(4));
        else
            QVERIFY(QFile::remove(loaded.chosen));
        const Texts texts = typicalTexts();
        const SaveResult result = loaded.save(texts);
        QVERIFY(result.ok && !result.workingCopyRefreshed);
        QCOMPARE(loaded.diff(texts), QString());
        QCOMPARE(readAll(loaded.working), loaded.original);
        const QString last = loaded.log.lines.last();
        QVERIFY2(last.startsWith(QStringLiteral("....Cannot refresh the working file from ") +
                                 loaded.chosen),
                 qPrintable(last));
        QVERIFY(last.endsWith(QStringLiteral("The output in the 'Modified' folder is complete.")));
        QVERIFY(
            !loaded.log.lines.contains(QStringLiteral("....replace working file with original.")));
        QVERIFY(loaded.save(texts).ok);
        QCOMPARE(loaded.diff(texts), QString());
    }

    // The settings file cannot be written: the output is still produced.
    void producesOutputWhenSettingsCannotBeWritten()
    {
        Loaded loaded(4);
        setWriteFaultHookForTesting([&](const QString& path) {
            return path == loaded.ini() ? QStringLiteral("settings locked") : QString();
        });
        const Texts texts = typicalTexts();
        QVERIFY(loaded.save(texts).ok);
        QVERIFY(!QFile::exists(loaded.ini()));
        QVERIFY(!loaded.log.lines.contains(QStringLiteral("....Updated the Tollvik.ini file.")));
        QCOMPARE(loaded.log.lines.filter(QStringLiteral("settings locked")).size(), 1);
        QCOMPARE(loaded.diff(texts), QString());
    }

    void fillPatchTableNeedsAWorkingCopy()
    {
        NavigatorState state;
        QVERIFY(!FillPatchTable(state));
        QCOMPARE(state.patchTable.MenuTextArea.fileOffset, 0);
        Loaded loaded(15);
        QVERIFY(FillPatchTable(loaded.state));
        QCOMPARE(loaded.state.patchTable.MenuPointerTableRef.fileOffset, 0x29E04);
        // Without its working copy the table is left as it was.
        QVERIFY(QFile::remove(loaded.working));
        loaded.state.VersionIndex = 13;
        QVERIFY(!FillPatchTable(loaded.state));
        QCOMPARE(loaded.state.patchTable.MenuPointerTableRef.fileOffset, 0x29E04);
    }
};

QTEST_GUILESS_MAIN(TestSave)
#include "test_save.moc"
