// What the audio library sends to the output, captured by SDL's disk driver: every sample of
// the sound, converted to 16-bit stereo at 44100 Hz. The driver writes whole buffers, so the
// sound sits between silence.

#include "audio/modbass.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstring>
#include <vector>

using namespace tollvik;

class TestAudioDisk : public QObject
{
    Q_OBJECT

private:
    AudioLibrary m_library;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(m_library.load(QStringLiteral(TOLLVIK_BASS_PATH)).ok());
        qputenv("SDL_AUDIODRIVER", "disk");
    }

    void wholeSoundComesOutAtTheOutputRate_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("seconds");
        QTest::newRow("22050 mono, half a second") << 22050 << 1 << 0.5;
        QTest::newRow("44100 stereo, no conversion") << 44100 << 2 << 0.4;
        QTest::newRow("32000 mono, odd ratio") << 32000 << 1 << 0.6;
        QTest::newRow("48000 stereo") << 48000 << 2 << 0.5;
        QTest::newRow("8000 mono") << 8000 << 1 << 0.3;
    }
    void wholeSoundComesOutAtTheOutputRate()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(double, seconds);
        const BassApi& b = m_library.api();
        const QString capture =
            m_dir.filePath(QStringLiteral("out-%1-%2.raw").arg(rate).arg(channels));
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(capture));

        const QByteArray ogg = test::makeOggSine(440.0, seconds, rate, channels);
        QVERIFY(b.BASS_Init(1, 44100, 0, nullptr, nullptr) != 0);
        const tvb_handle h = b.BASS_StreamCreateFile(1, ogg.constData(), 0, 0,
                                                     static_cast<tvb_dword>(ogg.size()), 0, 0);
        QVERIFY(h != 0);
        QVERIFY(b.BASS_ChannelPlay(h, 0) != 0);
        const tvb_qword length = b.BASS_StreamGetLength(h);
        QTRY_COMPARE_WITH_TIMEOUT(b.BASS_ChannelGetPosition(h), length, 20000);
        QTest::qWait(150); // the buffer holding the end reaches the file
        QVERIFY(b.BASS_Free() != 0);

        const QByteArray raw = test::readAll(capture);
        std::vector<std::int16_t> samples(static_cast<std::size_t>(raw.size()) / 2);
        std::memcpy(samples.data(), raw.constData(), samples.size() * 2);
        const std::size_t frames = samples.size() / 2;
        std::size_t first = frames;
        std::size_t last = 0;
        for (std::size_t i = 0; i < frames; ++i) {
            if (samples[2 * i] != 0 || samples[2 * i + 1] != 0) {
                first = std::min(first, i);
                last = i;
            }
        }
        QVERIFY2(first < frames, "no sound came out");
        const auto expected = static_cast<long>(std::lround(seconds * 44100));
        const long span = static_cast<long>(last - first + 1);
        QVERIFY2(
            std::abs(span - expected) <= 16,
            qPrintable(QStringLiteral("%1 frames of sound, expected %2").arg(span).arg(expected)));

        // The tone: both channels alike, 440 Hz by its zero crossings.
        int crossings = 0;
        int previousSign = 0;
        for (std::size_t i = first; i <= last; ++i) {
            QVERIFY(std::abs(samples[2 * i] - samples[2 * i + 1]) <= 1);
            const int sign = samples[2 * i] > 0 ? 1 : samples[2 * i] < 0 ? -1 : 0;
            if (sign != 0 && previousSign != 0 && sign != previousSign)
                ++crossings;
            if (sign != 0)
                previousSign = sign;
        }
        const double frequency = crossings / 2.0 / (static_cast<double>(span) / 44100.0);
        QVERIFY2(std::abs(frequency - 440.0) < 5.0,
                 qPrintable(QStringLiteral("tone of %1 Hz").arg(frequency)));
    }
};

QTEST_GUILESS_MAIN(TestAudioDisk)
#include "test_audio_disk.moc"
