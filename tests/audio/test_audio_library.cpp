// The audio library itself, loaded as the program loads it, on SDL's dummy output.

#include "audio/audiopreview.h"
#include "audio/modbass.h"
#include "fakeui.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QTest>
#include <cmath>

using namespace tollvik;
using namespace Qt::StringLiterals;

namespace {

QByteArray sine(double seconds, int rate, int channels)
{
    return test::makeOggSine(440.0, seconds, rate, channels);
}

} // namespace

class TestAudioLibrary : public QObject
{
    Q_OBJECT

private:
    AudioLibrary m_library;
    const BassApi* b = nullptr;

    tvb_handle open(const QByteArray& bytes)
    {
        return b->BASS_StreamCreateFile(1, bytes.constData(), 0, 0,
                                        static_cast<tvb_dword>(bytes.size()), 0, 0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_library.load(QStringLiteral(TOLLVIK_BASS_PATH)).ok());
        b = &m_library.api();
    }

    // Runs first: nothing is open yet.
    void callsBeforeInitAreRefused()
    {
        const QByteArray ogg = sine(0.2, 22050, 1);
        QCOMPARE(open(ogg), tvb_handle{0});
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_NOT_INIT);
        TvbInfo info{};
        info.size = TVB_INFO_SIZE;
        QCOMPARE(b->BASS_GetInfo(&info), 0);
        QCOMPARE(b->BASS_Free(), 0);
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_NOT_INIT);
    }

    void initOpensTheOutputOnce()
    {
        QVERIFY(b->BASS_Init(1, 44100, 0, nullptr, nullptr) != 0);
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_OK);
        QCOMPARE(b->BASS_Init(1, 44100, 0, nullptr, nullptr), 0);
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_ALREADY);
    }

    void outputInfoHasNoDirectSound()
    {
        TvbInfo info{};
        info.size = TVB_INFO_SIZE;
        info.directSoundVer = 77;
        QVERIFY(b->BASS_GetInfo(&info) != 0);
        QCOMPARE(info.directSoundVer, tvb_dword{0});
        QCOMPARE(info.outputRate, tvb_dword{44100});
        info.size = 56;
        QCOMPARE(b->BASS_GetInfo(&info), 0);
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_ARGUMENT);
    }

    void streamFiguresAreThoseOfSixteenBitPcm_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("seconds");
        QTest::newRow("22050 mono") << 22050 << 1 << 0.5;
        QTest::newRow("44100 stereo") << 44100 << 2 << 1.0;
        QTest::newRow("48000 six channels") << 48000 << 6 << 0.25;
        QTest::newRow("8000 mono") << 8000 << 1 << 0.3;
    }
    void streamFiguresAreThoseOfSixteenBitPcm()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(double, seconds);
        const QByteArray ogg = sine(seconds, rate, channels);
        QVERIFY(!ogg.isEmpty());
        const tvb_handle h = open(ogg);
        QVERIFY(h != 0);
        const auto frames = static_cast<tvb_qword>(std::lround(seconds * rate));
        QCOMPARE(b->BASS_StreamGetLength(h), frames * static_cast<tvb_qword>(channels) * 2);
        QCOMPARE(b->BASS_MusicGetLength(h, 1), ~tvb_qword{0});
        QCOMPARE(b->BASS_ChannelGetPosition(h), tvb_qword{0});
        const auto length = static_cast<tvb_dword>(b->BASS_StreamGetLength(h));
        QVERIFY(std::abs(b->BASS_ChannelBytes2Seconds(h, length, 0) - seconds) < 1e-4);

        TvbChannelInfo info{};
        QVERIFY(b->BASS_ChannelGetInfo(h, &info) != 0);
        QCOMPARE(info.frequency, tvb_dword(rate));
        QCOMPARE(info.channels, tvb_dword(channels));
        QCOMPARE(info.flags & TVB_CHANNEL_8BIT, 0u);
        tvb_dword freq = 0, volume = 0;
        int32_t pan = 5;
        QVERIFY(b->BASS_ChannelGetAttributes(h, &freq, &volume, &pan) != 0);
        QCOMPARE(freq, tvb_dword(rate));
        QCOMPARE(volume, 100u);
        QCOMPARE(pan, 0);
        b->BASS_StreamFree(h);
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_OK);
        QCOMPARE(b->BASS_StreamGetLength(h), ~tvb_qword{0});
    }

    void streamStartsAtTheGivenOffset()
    {
        const QByteArray ogg = sine(0.2, 22050, 1);
        const QByteArray block = QByteArray(10, 'z') + ogg + QByteArray(7, 'y');
        const tvb_handle h = b->BASS_StreamCreateFile(1, block.constData(), 10, 0,
                                                      static_cast<tvb_dword>(ogg.size()), 0, 0);
        QVERIFY(h != 0);
        QCOMPARE(b->BASS_StreamGetLength(h), tvb_qword{4410 * 2});
        b->BASS_StreamFree(h);
    }

    void refusesDataThatIsNoPlayableStream_data()
    {
        const QByteArray ogg = sine(0.3, 22050, 1);
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("signature only") << QByteArray("OggS");
        QTest::newRow("signature and noise") << QByteArray("OggS") + QByteArray(300, '\x5a');
        QTest::newRow("wave header") << QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16);
        QTest::newRow("first page only") << ogg.left(58);
        QTest::newRow("first 40 bytes") << ogg.left(40);
        QTest::newRow("headers damaged") << QByteArray(ogg).replace(30, 8, "DAMAGED!");
    }
    void refusesDataThatIsNoPlayableStream()
    {
        QFETCH(QByteArray, bytes);
        const QByteArray before = bytes;
        QCOMPARE(open(bytes), tvb_handle{0});
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_FORMAT);
        QCOMPARE(bytes, before);
    }

    void refusesAnEmptyOrMissingBlockAndMusic()
    {
        const QByteArray ogg = sine(0.2, 22050, 1);
        QCOMPARE(b->BASS_StreamCreateFile(1, ogg.constData(), 0, 0, 0, 0, 0), tvb_handle{0});
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_FORMAT);
        QCOMPARE(b->BASS_StreamCreateFile(1, nullptr, 0, 0, 100, 0, 0), tvb_handle{0});
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_ARGUMENT);
        QCOMPARE(b->BASS_StreamCreateFile(0, "x.ogg", 0, 0, 0, 0, 0), tvb_handle{0});
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_UNSUPPORTED);
        // Music is never loaded.
        QCOMPARE(b->BASS_MusicLoad(1, ogg.constData(), 0, 0, 104, 0, 0x8200, 0), tvb_handle{0});
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_FORMAT);
    }

    void truncatedStreamPlaysWhatItHolds()
    {
        // Long enough for several audio pages: a cut keeps the complete ones.
        const QByteArray ogg = sine(20.0, 22050, 1);
        const QByteArray cut = ogg.left(ogg.size() * 2 / 3);
        const tvb_handle h = open(cut);
        QVERIFY(h != 0);
        const tvb_qword length = b->BASS_StreamGetLength(h);
        QVERIFY(length > tvb_qword{5 * 22050 * 2});
        QVERIFY(length < tvb_qword{20 * 22050 * 2});
        b->BASS_StreamFree(h);
    }

    void wrongHandlesAreIgnored()
    {
        const QByteArray ogg = sine(0.2, 22050, 1);
        const tvb_handle h = open(ogg);
        QVERIFY(h != 0);
        b->BASS_MusicFree(h);
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_HANDLE);
        QCOMPARE(b->BASS_StreamGetLength(h), tvb_qword{4410 * 2});
        b->BASS_StreamFree(0);
        b->BASS_StreamFree(h + 1000);
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_HANDLE);
        QCOMPARE(b->BASS_ChannelPlay(h + 1000, 0), 0);
        TvbChannelInfo info{1, 2, 3, 4};
        QCOMPARE(b->BASS_ChannelGetInfo(h + 1000, &info), 0);
        QCOMPARE(info.channels, 2u);
        QCOMPARE(b->BASS_ChannelBytes2Seconds(h + 1000, 100, 0), -1.0f);
        b->BASS_StreamFree(h);
    }

    void playReturnsAtOnceAndRunsToTheEnd()
    {
        const QByteArray ogg = sine(0.4, 22050, 1);
        const tvb_handle h = open(ogg);
        QVERIFY(h != 0);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(b->BASS_ChannelPlay(h, 0) != 0);
        QVERIFY(timer.elapsed() < 200);
        const tvb_qword length = b->BASS_StreamGetLength(h);
        QVERIFY(b->BASS_ChannelGetPosition(h) < length);
        QTRY_COMPARE_WITH_TIMEOUT(b->BASS_ChannelGetPosition(h), length, 10000);
        // Played to its end: another play starts it over.
        QVERIFY(b->BASS_ChannelPlay(h, 0) != 0);
        QVERIFY(b->BASS_ChannelGetPosition(h) < length);
        b->BASS_StreamFree(h);
    }

    void previewPlaysAndCutsThroughTheLibrary()
    {
        test::FakeUi ui;
        AudioPreview preview(*b, ui);
        const QByteArray first = sine(3.0, 22050, 1);
        QCOMPARE(preview.startPreview(first), AudioPreview::ClickOutcome::Started);
        QTRY_VERIFY(!preview.isStarting());
        const tvb_handle firstChannel = preview.previewChannel();
        QVERIFY(firstChannel != 0);
        const double kbps = first.size() * 8.0 / 3.0 / 1000.0;
        QCOMPARE(ui.labels(),
                 (QStringList{u"0=Duration: 3.0 seconds / 00:00:03"_s,
                              u"1=Frequency: 22050 Hz, 16 bits, Mono"_s, u"2=Bytes/s: 44100"_s,
                              u"3=Kbp/s: %1 [avg kbp/s]"_s.arg(int(roundHalfEven(kbps)))}));
        QVERIFY(b->BASS_ChannelGetPosition(firstChannel) < b->BASS_StreamGetLength(firstChannel));

        // The next click cuts the first sound.
        QCOMPARE(preview.startPreview(sine(0.5, 44100, 2)), AudioPreview::ClickOutcome::Started);
        QTRY_VERIFY(!preview.isStarting());
        QCOMPARE(b->BASS_StreamGetLength(firstChannel), ~tvb_qword{0});
        const tvb_handle second = preview.previewChannel();
        QVERIFY(second != 0 && second != firstChannel);
        QCOMPARE(ui.labels().value(5), u"1=Frequency: 44100 Hz, 16 bits, Stereo"_s);
        QVERIFY(ui.boxes().isEmpty());

        QCOMPARE(preview.startPreview(QByteArray("OggS") + QByteArray(64, '\0')),
                 AudioPreview::ClickOutcome::Started);
        QTRY_VERIFY(!preview.isStarting());
        QCOMPARE(ui.boxes().size(), 1);
        QCOMPARE(ui.boxes()[0].text, u"Couldn't Get Data from Memory\r\n(error code: 2)"_s);
        QVERIFY(!preview.holdsBlock());
        // The shutdown frees the engine; open it again for the tests after this one.
        preview.shutdown();
        QCOMPARE(b->BASS_ChannelGetPosition(second), ~tvb_qword{0});
        QVERIFY(b->BASS_Init(1, 44100, 0, nullptr, nullptr) != 0);
    }

    void freeReleasesEveryChannel()
    {
        const QByteArray ogg = sine(0.2, 22050, 1);
        const tvb_handle h = open(ogg);
        QVERIFY(h != 0);
        QVERIFY(b->BASS_ChannelPlay(h, 0) != 0);
        QVERIFY(b->BASS_Free() != 0);
        QCOMPARE(b->BASS_StreamGetLength(h), ~tvb_qword{0});
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_HANDLE);
        QCOMPARE(open(ogg), tvb_handle{0});
        QCOMPARE(b->BASS_ErrorGetCode(), TVB_ERROR_NOT_INIT);
    }
};

QTEST_GUILESS_MAIN(TestAudioLibrary)
#include "test_audio_library.moc"
