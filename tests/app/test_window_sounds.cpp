// Sounds from anything through the real window: files dropped on slots, the grid and the rows,
// the slot's context menu, the sound worker, the build that takes the converted sounds, and
// their removal at shutdown.
#include "archive/archive.h"
#include "chkfactory.h"
#include "convert/convert.h"
#include "soundfiles.h"
#include "windowfixture.h"

#include <QDir>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <sndfile.h>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

// A slot sound as the navigator takes it: the slot's rate and channels, small enough.
void verifySlotSound(const QString& path)
{
    const QByteArray ogg = readAll(path);
    QVERIFY(!ogg.isEmpty() && ogg.size() <= kMaxExternalSoundBytes);
    const auto format = convert::oggFormat(ogg);
    QVERIFY(format.ok());
    QCOMPARE(format.value(), (convert::SoundFormat{22050, 1}));
}

bool writeWav(const QString& path, double seconds, int rate, int channels)
{
    return writeSoundFile(path, toneInNoise(seconds, rate, channels),
                          SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

// Opens the window and lists a generated archive of 40 entries in it.
void openWithArchive(WindowFixture& f)
{
    f.open();
    f.loadArchive(makeChk(40).bytes());
}

// Triggers an item of the menu a right click on the slot's sound box opens.
void trigger(frmmemory& window, int slot, const QString& text)
{
    QVERIFY(test::trigger(window.Text1(slot + kSlotCount), text));
}

// Waits for the sound worker's job to end: the busy cursor goes with it.
#define WAIT_FOR_JOB() QTRY_VERIFY(!QApplication::overrideCursor())

} // namespace

class WindowSoundsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { configureApplication(*qApp); }

    void anySoundBecomesASlotSoundAndIsBuiltIn()
    {
        WindowFixture f;
        const ChkArchive archive = makeChk(40);
        const QString chk = f.folder.file(u"device/voice.chk"_s);
        const QString wav = f.folder.file(u"sounds/horn.wav"_s);
        const QString folder = f.folder.file(u"sounds/set"_s);
        QVERIFY(writeAll(chk, archive.bytes()) && QDir().mkpath(folder));
        QVERIFY(writeWav(wav, 1.5, 44100, 2) && writeWav(folder + u"/07 bell.wav"_s, 1, 48000, 1));
        // A dropped folder's .ogg files are checked too: one too big to take as it is.
        QVERIFY(writeAll(folder + u"/08 big.ogg"_s,
                         makeOggSine(600, 0.3) + QByteArray(kMaxExternalSoundBytes, 0)));
        // Without the converter's module (this runs before it is first loaded) the window stays,
        // with a line, and writes nothing.
        f.converterModule = f.folder.file(u"nowhere/tollvik-convert"_s);
        f.open();
        drop(f.window->Text2(), chk);
        const auto before = filesUnder(f.folder.path());
        drop(f.window->Text1(31), wav);
        QVERIFY(logLines(*f.window).constLast().startsWith(u"The sound converter cannot be"_s));
        QCOMPARE(filesUnder(f.folder.path()), before);
        f.close();
        f.converterModule = QStringLiteral(TOLLVIK_CONVERT_MODULE);
        f.open();
        frmmemory& w = *f.window;

        // Before an archive is listed there is nothing to match: a line and a beep.
        drop(w.Text1(31), wav);
        QCOMPARE(f.beeps, 2);
        drop(w.Text2(), chk);
        drop(w.Text1(31), wav);
        drop(w.Text1(32), wav); // the worker is busy: refused with a line and a beep,
        drop(w.Text2(), chk);   // and so is a load, which would replace what it reads
        QCOMPARE(f.beeps, 4);
        QCOMPARE(logLines(w).filter(u"A sound is being converted; try again"_s).size(), 2);
        WAIT_FOR_JOB();
        const QString converted = f.folder.temp(u"02 horn.ogg"_s);
        QCOMPARE(w.Text1(31)->text(), converted);
        QVERIFY(logLines(w).constLast().startsWith(u"Converted horn.wav: 22050 Hz"_s));
        verifySlotSound(converted);

        drop(&w, folder);
        WAIT_FOR_JOB();
        QCOMPARE(w.Text1(36)->text(), f.folder.temp(u"07 bell.ogg"_s));
        QCOMPARE(w.Text1(37)->text(), f.folder.temp(u"08 big.ogg"_s));
        trigger(w, 6, u"Use the archive's sound again"_s);
        QCOMPARE(w.Text1(36)->text(), u"Sound 07"_s);
        const QString exported = f.folder.file(u"exported"_s);
        f.answers << exported;
        QVERIFY(QDir().mkpath(exported));
        trigger(w, 0, u"Export all sounds\u2026"_s);
        QCOMPARE(readAll(exported + u"/Sound 02.ogg"_s), readAll(converted));

        // The build takes the converted sound into slot 1's entry like any external .ogg.
        QTest::mouseClick(w.Command5(), Qt::LeftButton);
        ChkArchive expected = archive;
        expected.entries[10] = slotEntry(readAll(converted));
        QCOMPARE(readAll(f.folder.modified(u"voice.chk"_s))
                     .mid(expected.offsetOf(11), expected.entries[10].size()),
                 expected.entries[10]);
        f.close();
        // Shutdown removes the converted sounds and the working copy, whatever its name.
        QCOMPARE(QDir(f.folder.temp()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // A dropped .ogg file goes in as it is only when the navigator can play it.
    void droppedOggFilesAreChecked_data()
    {
        QTest::addColumn<QByteArray>("ogg");
        QTest::addColumn<QString>("box");  // "as is", "converted" or "refused"
        QTest::addColumn<QString>("line"); // the start of a log line the drop leaves
        const QByteArray opus = oggOpus(QDir::temp().filePath(u"tollvik-window-opus.opus"_s));
        const QByteArray sine = makeOggSine(600, 0.3);
        QTest::newRow("playable") << sine << "as is"
                                  << "Load ";
        QTest::newRow("Opus") << opus << "converted"
                              << "x.ogg is not an Ogg Vorbis sound the navigator can play (it "
                                 "holds an Opus stream)";
        QTest::newRow("15 bytes of OggS") << QByteArray("OggS\0\x02"
                                                        "123456789",
                                                        15)
                                          << "refused"
                                          << "x.ogg is not an Ogg Vorbis";
        QTest::newRow("too big to take as it is")
            << sine + QByteArray(kMaxExternalSoundBytes, 0) << "converted"
            << "x.ogg is larger than a slot holds";
    }
    void droppedOggFilesAreChecked()
    {
        QFETCH(QByteArray, ogg);
        QFETCH(QString, box);
        QFETCH(QString, line);
        QVERIFY(!ogg.isEmpty());
        WindowFixture f;
        openWithArchive(f);
        frmmemory& w = *f.window;
        const QString path = f.folder.file(u"sounds/x.ogg"_s);
        QVERIFY(writeAll(path, ogg));
        drop(w.Text1(33), path);
        WAIT_FOR_JOB();
        const QString expected = box == "as is"_L1       ? path
                                 : box == "converted"_L1 ? f.folder.temp(u"04 x.ogg"_s)
                                                         : u"Sound 04"_s;
        QCOMPARE(w.Text1(33)->text(), expected);
        QVERIFY2(
            std::ranges::any_of(logLines(w), [&](const QString& l) { return l.startsWith(line); }),
            qPrintable(logLines(w).join(u'\n')));
        QCOMPARE(f.beeps, box == "refused"_L1 ? 1 : 0);
        if (box == "converted"_L1)
            verifySlotSound(expected);
        QCOMPARE(readAll(path), ogg);
        f.close();
    }

    void convertedSoundsAreNamedForWhatTheyHold_data()
    {
        QTest::addColumn<QString>("source"); // a file converted into slot 1, or a text spoken
        QTest::addColumn<bool>("spoken");
        QTest::addColumn<QString>("usersFile"); // already in Temp/, not ours
        QTest::addColumn<QString>("name");
        QTest::newRow("numbered for the slot")
            << u"2 horn.wav"_s << false << QString() << u"02 horn.ogg"_s;
        QTest::newRow("a user's file of that name")
            << u"horn.wav"_s << false << u"02 horn.ogg"_s << u"02 horn (2).ogg"_s;
        QTest::newRow("characters a name cannot take")
            << u"a:b?*.wav"_s << false << QString() << u"02 a_b__.ogg"_s;
        QTest::newRow("spoken, with a slash")
            << u"Bus/lane "_s << true << QString() << u"02 Bus_lane (spoken).ogg"_s;
    }
    void convertedSoundsAreNamedForWhatTheyHold()
    {
        QFETCH(QString, source);
        QFETCH(bool, spoken);
        QFETCH(QString, usersFile);
        QFETCH(QString, name);
        WindowFixture f;
        const QString wav = f.folder.file(u"sounds/"_s + source);
        QVERIFY(QDir().mkpath(f.folder.file(u"sounds"_s)));
        QVERIFY(spoken || writeWav(wav, 0.5, 22050, 1));
        QVERIFY(usersFile.isEmpty() || writeAll(f.folder.temp(usersFile), "mine"));
        openWithArchive(f);
        frmmemory& w = *f.window;
        if (spoken) {
            w.Text1(1)->setText(source);
            trigger(w, 1, u"Speak the menu text"_s);
        } else {
            drop(w.Text1(31), wav);
        }
        WAIT_FOR_JOB();
        QCOMPARE(w.Text1(31)->text(), f.folder.temp(name));
        verifySlotSound(f.folder.temp(name));
        f.close();
        // Shutdown removes what was converted, and only that.
        const QStringList left = QDir(f.folder.temp()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, usersFile.isEmpty() ? QStringList() : QStringList{usersFile});
        QVERIFY(usersFile.isEmpty() || readAll(f.folder.temp(usersFile)) == "mine");
    }

    void exportAllAsksBeforeReplacing_data()
    {
        QTest::addColumn<QStringList>("present"); // in the folder before
        QTest::addColumn<int>("slot3Plays");      // the index of the file slot 3 plays, or -1
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QString>("question");
        QTest::addColumn<bool>("written");
        QStringList twelve;
        for (int i = 1; i <= 12; ++i)
            twelve.append(u"Sound %1.ogg"_s.arg(i, 2, 10, QLatin1Char('0')));
        const QString many = u"Replace the 12 sound files already in "_s;
        const QString one = u"Replace the 1 sound file already in "_s;
        QTest::newRow("none there") << QStringList() << -1 << QList<bool>() << QString() << true;
        QTest::newRow("twelve there, No") << twelve << -1 << QList<bool>{false} << many << false;
        QTest::newRow("twelve there, Yes") << twelve << -1 << QList<bool>{true} << many << true;
        QTest::newRow("one there")
            << QStringList{u"Sound 30.ogg"_s} << -1 << QList<bool>{true} << one << true;
        // Slot 3 plays the folder's own "Sound 04.ogg": left as it is, not asked about.
        QTest::newRow("a slot's own file")
            << QStringList{u"Sound 04.ogg"_s} << 0 << QList<bool>() << QString() << true;
        // Slot 3 plays "Sound 05.ogg", which slot 4's export would replace: refused.
        QTest::newRow("another slot's file")
            << QStringList{u"Sound 05.ogg"_s} << 0 << QList<bool>{true} << one << false;
    }
    void exportAllAsksBeforeReplacing()
    {
        QFETCH(QStringList, present);
        QFETCH(int, slot3Plays);
        QFETCH(QList<bool>, answers);
        QFETCH(QString, question);
        QFETCH(bool, written);
        WindowFixture f;
        const QString folder = f.folder.file(u"exported"_s);
        QVERIFY(QDir().mkpath(folder));
        for (const QString& name : std::as_const(present))
            QVERIFY(writeAll(folder + u'/' + name, makeOggSine(900, 0.2)));
        openWithArchive(f);
        frmmemory& w = *f.window;
        if (slot3Plays >= 0) {
            w.Text1(3)->setFocus();
            f.click(w.Command3(3), folder + u'/' + present[slot3Plays]);
        }
        // The settings file remembers the chosen folder; no other file may change.
        auto before = filesUnder(f.folder.path());
        before.remove(u"Tollvik.ini"_s);
        f.answers << folder;
        f.confirmations = answers;
        trigger(w, 0, u"Export all sounds\u2026"_s);
        const QString asked = question + QDir::toNativeSeparators(folder) + u'?';
        QCOMPARE(f.questions, question.isEmpty() ? QStringList() : QStringList{asked});
        QCOMPARE(logLines(w).constLast().startsWith(u"Saved the 30 sounds"_s), written);
        auto after = filesUnder(f.folder.path());
        after.remove(u"Tollvik.ini"_s);
        if (!written)
            QCOMPARE(after, before);
        else
            QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 30);
        f.close();
    }
};

QTEST_MAIN(WindowSoundsTest)
#include "test_window_sounds.moc"
