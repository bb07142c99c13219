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
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <sndfile.h>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

// A drop as the window system delivers it: the drag enters, then the files are dropped.
void drop(QWidget* target, const QStringList& paths)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// The menu a right click on the slot's sound box opens.
QMenu* slotMenu(frmmemory& window, int slot)
{
    QLineEdit* box = window.Text1(slot + kSlotCount);
    Q_EMIT box->customContextMenuRequested(QPoint(1, 1));
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

void trigger(QMenu* menu, const QString& text)
{
    QVERIFY(menu != nullptr);
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            action->trigger();
    }
    delete menu;
}

// A slot sound as the navigator takes it: the slot's rate and channels, small enough.
void verifySlotSound(const QString& path)
{
    const QByteArray ogg = readAll(path);
    QVERIFY(!ogg.isEmpty() && ogg.size() <= kMaxExternalSoundBytes);
    const auto format = convert::oggFormat(ogg);
    QVERIFY(format.ok());
    QCOMPARE(format.value(), (convert::SoundFormat{22050, 1}));
}

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
        const QString ogg = f.folder.file(u"sounds/ready.ogg"_s);
        const QString folder = f.folder.file(u"sounds/set"_s);
        QVERIFY(writeAll(chk, archive.bytes()) && writeAll(ogg, makeOggSine(700.0, 0.2)));
        QVERIFY(writeSoundFile(wav, toneInNoise(1.5, 44100, 2), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeSoundFile(folder + u"/07 bell.flac"_s, toneInNoise(1.0, 48000, 1),
                               SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
        // Without the converter's module (this runs before it is first loaded) the window stays,
        // with a line and a beep, and writes nothing.
        f.converterModule = f.folder.file(u"nowhere/tollvik-convert"_s);
        f.open();
        drop(f.window->Text2(), {chk});
        const auto before = filesUnder(f.folder.path());
        drop(f.window->Text1(31), {wav});
        QVERIFY(
            test::logLines(*f.window).constLast().startsWith(u"The sound converter cannot be"_s));
        QCOMPARE(filesUnder(f.folder.path()), before);
        f.close();
        f.converterModule = QStringLiteral(TOLLVIK_CONVERT_MODULE);
        f.open();
        frmmemory& w = *f.window;

        // Before an archive is listed there is nothing to match: a line and a beep.
        drop(w.Text1(31), {wav});
        QCOMPARE(f.beeps, 2);
        drop(w.Text2(), {chk});
        QCOMPARE(w.Text2()->text(), f.folder.temp(u"voice.chk"_s));

        drop(w.Text1(31), {wav});
        drop(w.Text1(32), {wav}); // the worker is busy: refused with a line and a beep,
        drop(w.Text2(), {chk});   // and so is a load, which would replace what it reads
        QCOMPARE(f.beeps, 4);
        QCOMPARE(test::logLines(w).filter(u"A sound is being converted; try again"_s).size(), 2);
        QTRY_VERIFY(!QApplication::overrideCursor()); // the busy cursor goes with the job
        const QString converted = f.folder.temp(u"02 horn.ogg"_s);
        QCOMPARE(w.Text1(31)->text(), converted);
        QVERIFY(test::logLines(w).constLast().startsWith(u"Converted horn.wav: 22050 Hz"_s));
        verifySlotSound(converted);

        drop(w.Text1(34), {ogg});
        QCOMPARE(w.Text1(34)->text(), ogg);
        drop(&w, {folder});
        QTRY_VERIFY(!QApplication::overrideCursor()); // the busy cursor goes with the job
        QCOMPARE(w.Text1(36)->text(), f.folder.temp(u"07 bell.ogg"_s));

        trigger(slotMenu(w, 2), u"Speak the menu text"_s);
        QTRY_VERIFY(!QApplication::overrideCursor()); // the busy cursor goes with the job
        verifySlotSound(f.folder.temp(u"03 Gatso 30 (spoken).ogg"_s));
        trigger(slotMenu(w, 4), u"Use the archive's sound again"_s);
        QCOMPARE(w.Text1(34)->text(), u"Sound 05"_s);

        const QString exported = f.folder.file(u"exported"_s);
        f.answers << exported;
        QVERIFY(QDir().mkpath(exported));
        trigger(slotMenu(w, 0), u"Export all sounds\u2026"_s);
        QCOMPARE(readAll(exported + u"/Sound 02.ogg"_s), readAll(converted));

        // The build takes the converted sound into slot 1's entry like any external .ogg.
        const QByteArray sound = readAll(converted);
        QTest::mouseClick(w.Command5(), Qt::LeftButton);
        ChkArchive expected = archive;
        expected.entries[archive.count() - 30] = slotEntry(sound);
        const QByteArray built = readAll(f.folder.modified(u"voice.chk"_s));
        QCOMPARE(built.mid(expected.offsetOf(archive.count() - 29),
                           expected.entries[archive.count() - 30].size()),
                 slotEntry(sound));

        f.close();
        // Shutdown removes the converted sounds and the working copy, whatever its name.
        QCOMPARE(QDir(f.folder.temp()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_MAIN(WindowSoundsTest)
#include "test_window_sounds.moc"
