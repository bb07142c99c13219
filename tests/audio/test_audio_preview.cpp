#include "audio/audiopreview.h"
#include "fakebass.h"
#include "fakeui.h"

#include <QLocale>
#include <QTest>
#include <chrono>
#include <thread>

using namespace tollvik;
using namespace Qt::StringLiterals;
using tollvik::test::fakeBass;
using Outcome = AudioPreview::ClickOutcome;
using tollvik::test::FakeUi;

namespace {

QByteArray oggLike(int size)
{
    QByteArray bytes(size, 'x');
    bytes.replace(0, 4, "OggS");
    return bytes;
}

} // namespace

class TestAudioPreview : public QObject
{
    Q_OBJECT

private:
    BassApi m_api = test::fakeBassApi();

private Q_SLOTS:
    void init()
    {
        fakeBass().reset();
        QLocale::setDefault(QLocale::c());
    }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void labelsShowTheFiguresThenPlaybackStarts_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<qulonglong>("streamBytes");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("kbps");
        QTest::newRow("example") << u"C"_s << 416304ull << 18900
                                 << u"Duration: 2.4 seconds / 00:00:02"_s
                                 << u"Kbp/s: 64 [avg kbp/s]"_s;
        QTest::newRow("decimal comma")
            << u"de_DE"_s << 416304ull << 18900 << u"Duration: 2,4 seconds / 00:00:02"_s
            << u"Kbp/s: 64 [avg kbp/s]"_s;
        QTest::newRow("no grouping")
            << u"en_US"_s << 176400ull * 1234 << 1000000 << u"Duration: 1234.0 seconds / 00:20:34"_s
            << u"Kbp/s: 6 [avg kbp/s]"_s;
        QTest::newRow("2.5 s rounds to even")
            << u"C"_s << 441000ull << 20000 << u"Duration: 2.5 seconds / 00:00:02"_s
            << u"Kbp/s: 64 [avg kbp/s]"_s;
        QTest::newRow("3.5 s rounds to even")
            << u"C"_s << 617400ull << 28000 << u"Duration: 3.5 seconds / 00:00:04"_s
            << u"Kbp/s: 64 [avg kbp/s]"_s;
        QTest::newRow("zero duration")
            << u"C"_s << 0ull << 100 << u"Duration: 0.0 seconds / 00:00:00"_s
            << u"Kbp/s: 0 [avg kbp/s]"_s;
    }
    void labelsShowTheFiguresThenPlaybackStarts()
    {
        QFETCH(QString, locale);
        QFETCH(qulonglong, streamBytes);
        QFETCH(int, size);
        QFETCH(QString, duration);
        QFETCH(QString, kbps);
        QLocale::setDefault(QLocale(locale));
        fakeBass().streamLength = streamBytes;
        FakeUi ui;
        AudioPreview preview(m_api, ui);
        const QByteArray bytes = oggLike(size);
        QCOMPARE(preview.startPreview(bytes), Outcome::Started);
        QTRY_VERIFY(!preview.isStarting());

        QCOMPARE(ui.labels(),
                 (QStringList{u"0="_s + duration, u"1=Frequency: 44100 Hz, 16 bits, Stereo"_s,
                              u"2=Bytes/s: 176400"_s, u"3="_s + kbps}));
        QCOMPARE(fakeBass().takeCalls(),
                 (QStringList{u"StreamFree 0"_s, u"MusicFree 0"_s,
                              u"StreamCreateFile 1 0 0 %1 0 0"_s.arg(size), u"ChannelPlay 1 0"_s}));
        QCOMPARE(fakeBass().lastBlock, bytes);
        QVERIFY(ui.boxes().isEmpty());
        QVERIFY(preview.holdsBlock());
        QCOMPARE(preview.previewChannel(), tvb_handle{1});
    }

    void musicIsTheFallbackForARefusedStream()
    {
        fakeBass().nextStream = 0;
        fakeBass().nextMusic = 9;
        fakeBass().streamLength = ~tvb_qword{0};
        fakeBass().musicLength = 176400;
        FakeUi ui;
        AudioPreview preview(m_api, ui);
        QCOMPARE(preview.startPreview(oggLike(16000)), Outcome::Started);
        QTRY_VERIFY(!preview.isStarting());
        const QStringList calls = fakeBass().takeCalls();
        QVERIFY(calls.contains(u"MusicLoad 1 0 0 16000 0 0x8200 0"_s));
        QCOMPARE(calls.last(), u"ChannelPlay 9 0"_s);
        QCOMPARE(ui.labels().value(0), u"0=Duration: 1.0 seconds / 00:00:01"_s);
        QCOMPARE(ui.labels().value(3), u"3=Kbp/s: 128 [avg kbp/s]"_s);
    }

    void refusedDataShowsTheErrorBoxAndLeavesTheLabels()
    {
        fakeBass().nextStream = 0;
        fakeBass().nextMusic = 0;
        fakeBass().errorCode = TVB_ERROR_FORMAT;
        FakeUi ui;
        AudioPreview preview(m_api, ui);
        QCOMPARE(preview.startPreview(oggLike(50)), Outcome::Started);
        QTRY_VERIFY(!preview.isStarting());
        QCOMPARE(ui.boxes(),
                 (QList<AudioMessage>{{u"Couldn't Get Data from Memory\r\n(error code: 2)"_s,
                                       u"Error"_s, AudioMessage::Icon::Exclamation}}));
        QVERIFY(ui.labels().isEmpty());
        QVERIFY(!fakeBass().takeCalls().join(u'|').contains(u"ChannelPlay"_s));
        QVERIFY(!preview.holdsBlock());
        QCOMPARE(preview.previewChannel(), tvb_handle{0});
    }

    void workerStaysBusyUntilTheBoxIsClosed()
    {
        fakeBass().nextStream = 0;
        FakeUi ui;
        ui.keepBoxesOpen();
        AudioPreview preview(m_api, ui);
        QCOMPARE(preview.startPreview(oggLike(50)), Outcome::Started);
        QTRY_COMPARE(ui.boxes().size(), 1);
        QTest::qWait(50);
        QVERIFY(preview.isStarting());
        QCOMPARE(preview.startPreview(oggLike(60)), Outcome::Busy);
        ui.takePending()();
        QTRY_VERIFY(!preview.isStarting());
        QCOMPARE(ui.boxes().size(), 1);
    }

    void secondQuickClickIsBusy()
    {
        fakeBass().holdStreamCreate = true;
        FakeUi ui;
        AudioPreview preview(m_api, ui);
        const QByteArray first = oggLike(40);
        QCOMPARE(preview.startPreview(first), Outcome::Started);
        QVERIFY(fakeBass().waitUntilHeld());
        QVERIFY(preview.isStarting());
        QCOMPARE(preview.startPreview(oggLike(80)), Outcome::Busy);
        fakeBass().release();
        QTRY_VERIFY(!preview.isStarting());
        QCOMPARE(fakeBass().takeCalls().filter(u"StreamCreateFile"_s),
                 QStringList{u"StreamCreateFile 1 0 0 40 0 0"_s});
        QCOMPARE(fakeBass().lastBlock, first);
    }

    void clickAfterStartUpCutsThePlayingSound()
    {
        FakeUi ui;
        AudioPreview preview(m_api, ui);
        QCOMPARE(preview.startPreview(oggLike(40)), Outcome::Started);
        QTRY_VERIFY(!preview.isStarting());
        (void)fakeBass().takeCalls();
        fakeBass().nextStream = 2;
        QCOMPARE(preview.startPreview(oggLike(60)), Outcome::Started);
        QTRY_VERIFY(!preview.isStarting());
        const QStringList calls = fakeBass().takeCalls();
        QCOMPARE(calls.mid(0, 3), (QStringList{u"StreamFree 1"_s, u"MusicFree 1"_s,
                                               u"StreamCreateFile 1 0 0 60 0 0"_s}));
        QCOMPARE(calls.last(), u"ChannelPlay 2 0"_s);
        QCOMPARE(preview.previewChannel(), tvb_handle{2});
    }

    // Anything but the Ogg signature at the start beeps without touching the library.
    void soundThatIsNotOggBeeps_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("three bytes") << QByteArray("Ogg");
        QTest::newRow("wrong case") << QByteArray("oggS and more");
        QTest::newRow("riff") << QByteArray("RIFF\0\0\0\0WAVE", 12);
        QTest::newRow("signature later") << QByteArray("xOggS");
        QTest::newRow("exactly the signature is enough") << QByteArray("OggS");
    }
    void soundThatIsNotOggBeeps()
    {
        QFETCH(QByteArray, bytes);
        FakeUi ui;
        AudioPreview preview(m_api, ui);
        if (bytes == "OggS") {
            QCOMPARE(preview.startPreview(bytes), Outcome::Started);
            QTRY_VERIFY(!preview.isStarting());
            QCOMPARE(fakeBass().lastLength, tvb_dword{4});
            return;
        }
        QCOMPARE(preview.startPreview(bytes), Outcome::NotOgg);
        QVERIFY(!preview.isStarting());
        QTest::qWait(20);
        QVERIFY(fakeBass().takeCalls().isEmpty());
        QVERIFY(ui.labels().isEmpty());
    }

    void shutdownWaitsForAStartingWorker()
    {
        fakeBass().holdStreamCreate = true;
        FakeUi ui;
        AudioPreview preview(m_api, ui);
        QCOMPARE(preview.startPreview(oggLike(40)), Outcome::Started);
        QVERIFY(fakeBass().waitUntilHeld());
        std::thread releaser([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            fakeBass().release();
        });
        preview.shutdown();
        releaser.join();
        const QStringList calls = fakeBass().takeCalls();
        QCOMPARE(calls.last(), u"Free"_s);
        QVERIFY(!calls.contains(u"Free while StreamCreateFile runs"_s));
        QCOMPARE(calls.value(calls.size() - 2), u"ChannelPlay 1 0"_s);
        QVERIFY(!preview.holdsBlock());
        QCOMPARE(preview.startPreview(oggLike(40)), Outcome::Busy);
    }

    void shutdownDoesNotWaitForAnOpenErrorBox()
    {
        fakeBass().nextStream = 0;
        std::function<void()> lateClose;
        FakeUi ui;
        ui.keepBoxesOpen();
        {
            AudioPreview preview(m_api, ui);
            QCOMPARE(preview.startPreview(oggLike(50)), Outcome::Started);
            QTRY_COMPARE(ui.boxes().size(), 1);
            preview.shutdown();
            QCOMPARE(fakeBass().takeCalls().last(), u"Free"_s);
            QVERIFY(!preview.isStarting());
            lateClose = ui.takePending();
        }
        // The box closes after the preview is gone.
        QVERIFY(bool(lateClose));
        lateClose();
    }

    void shutdownFreesTheEngineOnce()
    {
        FakeUi ui;
        {
            AudioPreview preview(m_api, ui);
            preview.shutdown();
            preview.shutdown();
            QCOMPARE(fakeBass().takeCalls(), QStringList{u"Free"_s});
            QVERIFY(!preview.holdsBlock());
        }
        QVERIFY(fakeBass().takeCalls().isEmpty());
        {
            AudioPreview preview(m_api, ui);
            QCOMPARE(preview.startPreview(oggLike(40)), Outcome::Started);
        }
        QCOMPARE(fakeBass().takeCalls().last(), u"Free"_s);
    }
};

QTEST_GUILESS_MAIN(TestAudioPreview)
#include "test_audio_preview.moc"
