// The play buttons of the real window, on our audio library and SDL's dummy output.
#include "audio/audiopreview.h"
#include "audio/audiostartup.h"
#include "chkfactory.h"
#include "windowfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tollvik;
using tollvik::test::WindowFixture;
using namespace Qt::StringLiterals;

class WindowPreviewTest : public QObject
{
    Q_OBJECT

private:
    AudioLibrary m_library;
    std::unique_ptr<WindowFixture> m_fixture;
    std::unique_ptr<AudioPreview> m_preview;

    frmmemory& window() { return *m_fixture->window; }

private Q_SLOTS:
    void initTestCase()
    {
        configureApplication(*qApp);
        QVERIFY(m_library.load(QStringLiteral(TOLLVIK_BASS_PATH)).ok());
    }

    void init()
    {
        QVERIFY(openOutput(m_library.api(), nullptr, [](const AudioMessage&) {}).ok());
        m_fixture = std::make_unique<WindowFixture>();
        m_fixture->open();
        m_preview = std::make_unique<AudioPreview>(m_library.api(), window());
        window().attachAudio(m_preview.get());
        const QString chosen = m_fixture->folder.file(u"device/voice.chk"_s);
        QVERIFY(test::writeAll(chosen, test::makeChk(31).bytes()));
        m_fixture->dialogs.answers << chosen;
        QTest::mouseClick(window().Load2(), Qt::LeftButton);
        QVERIFY(window().Command5()->isVisible());
    }

    void cleanup()
    {
        m_fixture->close();
        m_preview.reset();
        m_fixture.reset();
    }

    void playingAnArchiveSoundShowsItsFigures()
    {
        QTest::mouseClick(window().Command1(0), Qt::LeftButton);
        QCOMPARE(window().Label3(4)->text(), u"File: Sound 01"_s);
        QTRY_VERIFY(window().Label3(3)->text().endsWith(u" [avg kbp/s]"_s));
        QCOMPARE(window().Label3(1)->text(), u"Frequency: 22050 Hz, 16 bits, Mono"_s);
        QTRY_VERIFY(!m_preview->isStarting());
        QCOMPARE(m_fixture->beeps, 0);
        QVERIFY(m_fixture->messages.isEmpty());
    }

    void unplayableExternalSoundsBeep()
    {
        const QString empty = m_fixture->folder.file(u"sounds/empty.ogg"_s);
        QVERIFY(test::writeAll(empty, {}));
        m_fixture->dialogs.answers << empty;
        QTest::mouseClick(window().Command3(0), Qt::LeftButton);
        QTest::mouseClick(window().Command1(0), Qt::LeftButton);
        QCOMPARE(m_fixture->beeps, 1);
        QCOMPARE(window().Label3(4)->text(), u"File: "_s + empty);

        QVERIFY(QFile::remove(empty));
        const qsizetype lines = test::logLines(window()).size();
        QTest::mouseClick(window().Command1(0), Qt::LeftButton);
        QCOMPARE(m_fixture->beeps, 2);
        QCOMPARE(test::logLines(window()).size(), lines + 1);
        QVERIFY(test::logLines(window()).constLast().startsWith(u"Cannot play "_s));
        QVERIFY(!m_preview->isStarting());

        // The archive's working copy gone: a line and a beep, nothing plays.
        QVERIFY(QFile::remove(window().Text2()->text()));
        QTest::mouseClick(window().Command1(1), Qt::LeftButton);
        QCOMPARE(m_fixture->beeps, 3);
        QVERIFY(test::logLines(window()).constLast().startsWith(u"Cannot play Sound 02"_s));
    }
};

QTEST_MAIN(WindowPreviewTest)
#include "test_window_preview.moc"
