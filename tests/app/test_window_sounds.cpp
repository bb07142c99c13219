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

void trigger(QMenu* menu, const QString& text)
{
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

    // Runs before the converter is first loaded: without its module the window stays, with a
    // line and a beep, and writes nothing.
    void aMissingConverterIsALogLine()
    {
        WindowFixture f;
        f.converterModule = f.folder.file(QStringLiteral("nowhere/tollvik-convert"));
        const QString chk = f.folder.file(QStringLiteral("voice.chk"));
        const QString wav = f.folder.file(QStringLiteral("horn.wav"));
        QVERIFY(writeAll(chk, makeChk(40).bytes()));
        QVERIFY(writeSoundFile(wav, toneInNoise(0.5, 22050, 1), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        f.open();
        drop(f.window->Text2(), {chk});
        const auto before = filesUnder(f.folder.path());
        drop(f.window->Text1(31), {wav});
        QCOMPARE(f.beeps, 1);
        QVERIFY(f.window->logLines().constLast().startsWith(
            QStringLiteral("The sound converter cannot be loaded: ")));
        QCOMPARE(filesUnder(f.folder.path()), before);
    }

    void anySoundBecomesASlotSoundAndIsBuiltIn()
    {
        WindowFixture f;
        const ChkArchive archive = makeChk(40);
        const QString chk = f.folder.file(QStringLiteral("device/voice.chk"));
        const QString wav = f.folder.file(QStringLiteral("sounds/horn.wav"));
        const QString ogg = f.folder.file(QStringLiteral("sounds/ready.ogg"));
        const QString folder = f.folder.file(QStringLiteral("sounds/set"));
        QVERIFY(writeAll(chk, archive.bytes()) && writeAll(ogg, makeOggSine(700.0, 0.2)));
        QVERIFY(writeSoundFile(wav, toneInNoise(1.5, 44100, 2), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeSoundFile(folder + QStringLiteral("/07 bell.flac"), toneInNoise(1.0, 48000, 1),
                               SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
        f.open();
        frmmemory& w = *f.window;

        // Before an archive is listed there is nothing to match: a line and a beep.
        drop(w.Text1(31), {wav});
        QCOMPARE(f.beeps, 1);
        drop(w.Text2(), {chk});
        QCOMPARE(w.Text2()->text(), f.folder.temp(QStringLiteral("voice.chk")));

        drop(w.Text1(31), {wav});
        drop(w.Text1(32), {wav}); // the worker is busy: refused with a beep
        QCOMPARE(f.beeps, 2);
        QTRY_VERIFY(!w.soundWorkBusy());
        const QString converted = f.folder.temp(QStringLiteral("Converted 02.ogg"));
        QCOMPARE(w.Text1(31)->text(), converted);
        QVERIFY(
            w.logLines().constLast().startsWith(QStringLiteral("Converted horn.wav: 22050 Hz")));
        verifySlotSound(converted);

        drop(w.Text1(34), {ogg});
        QCOMPARE(w.Text1(34)->text(), ogg);
        drop(&w, {folder});
        QTRY_VERIFY(!w.soundWorkBusy());
        QCOMPARE(w.Text1(36)->text(), f.folder.temp(QStringLiteral("Converted 07.ogg")));

        trigger(w.slotMenu(2), QStringLiteral("Speak the menu text"));
        QTRY_VERIFY(!w.soundWorkBusy());
        verifySlotSound(f.folder.temp(QStringLiteral("Converted 03.ogg")));
        trigger(w.slotMenu(4), QStringLiteral("Use the archive's sound again"));
        QCOMPARE(w.Text1(34)->text(), QStringLiteral("Sound 05"));

        const QString exported = f.folder.file(QStringLiteral("exported"));
        f.answers << exported;
        QVERIFY(QDir().mkpath(exported));
        trigger(w.slotMenu(0), QStringLiteral("Export all sounds\u2026"));
        QCOMPARE(readAll(exported + QStringLiteral("/Sound 02.ogg")), readAll(converted));

        // The build takes the converted sound into slot 1's entry like any external .ogg.
        const QByteArray sound = readAll(converted);
        QTest::mouseClick(w.Command5(), Qt::LeftButton);
        ChkArchive expected = archive;
        expected.entries[archive.count() - 30] = slotEntry(sound);
        const QByteArray built = readAll(f.folder.modified(QStringLiteral("voice.chk")));
        QCOMPARE(built.mid(expected.offsetOf(archive.count() - 29),
                           expected.entries[archive.count() - 30].size()),
                 slotEntry(sound));

        f.close();
        QVERIFY(QDir(f.folder.temp()).entryList({QStringLiteral("Converted *")}).isEmpty());
    }
};

QTEST_MAIN(WindowSoundsTest)
#include "test_window_sounds.moc"
