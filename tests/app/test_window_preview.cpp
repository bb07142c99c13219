// The play buttons of the real window, on our audio library and SDL's dummy output.
#include "audio/audiopreview.h"
#include "audio/audiostartup.h"
#include "chkfactory.h"
#include "windowfixture.h"

#include <QLabel>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

class WindowPreviewTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { configureApplication(*qApp); }

    // An archive sound plays with its figures; an unplayable or vanished one beeps, with a line.
    void playButtonsPlayOrBeep()
    {
        AudioLibrary library;
        QVERIFY(library.load(QStringLiteral(TOLLVIK_BASS_PATH)).ok());
        QVERIFY(openOutput(library.api(), nullptr, [](const AudioMessage&) {}).ok());
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        AudioPreview preview(library.api(), w);
        w.attachAudio(&preview);
        f.loadArchive(makeChk(31).bytes());
        QTest::mouseClick(w.Command1(0), Qt::LeftButton);
        QCOMPARE(w.Label3(4)->text(), u"File: Sound 01"_s);
        QTRY_VERIFY(w.Label3(3)->text().endsWith(u" [avg kbp/s]"_s));
        QCOMPARE(w.Label3(1)->text(), u"Frequency: 22050 Hz, 16 bits, Mono"_s);
        QTRY_VERIFY(!preview.isStarting());
        QCOMPARE(f.beeps, 0);
        QVERIFY(f.messages.isEmpty());

        const QString empty = f.folder.file(u"sounds/empty.ogg"_s);
        QVERIFY(writeAll(empty, {}));
        f.click(w.Command3(0), empty);
        QTest::mouseClick(w.Command1(0), Qt::LeftButton);
        QCOMPARE(f.beeps, 1);
        QCOMPARE(w.Label3(4)->text(), u"File: "_s + empty);
        QVERIFY(QFile::remove(empty));
        const qsizetype lines = logLines(w).size();
        QTest::mouseClick(w.Command1(0), Qt::LeftButton);
        QCOMPARE(f.beeps, 2);
        QCOMPARE(logLines(w).size(), lines + 1);
        QVERIFY(logLines(w).constLast().startsWith(u"Cannot play "_s));
        QVERIFY(!preview.isStarting());
        // The archive's working copy gone: a line and a beep, nothing plays.
        QVERIFY(QFile::remove(w.Text2()->text()));
        QTest::mouseClick(w.Command1(1), Qt::LeftButton);
        QCOMPARE(f.beeps, 3);
        QVERIFY(logLines(w).constLast().startsWith(u"Cannot play Sound 02"_s));
        f.close();
    }
};

QTEST_MAIN(WindowPreviewTest)
#include "test_window_preview.moc"
