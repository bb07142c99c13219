// The converter's steps: the slot format from an Ogg header, loudness, mixing and resampling.

#include "convert/convert.h"
#include "soundfiles.h"
#include "testsupport.h"

#include <QTest>
#include <cmath>
#include <numeric>

using namespace tollvik;
using namespace tollvik::convert;

namespace {

// Byte positions in the first page of a libvorbisenc stream: one lacing value, then the
// identification header from byte 28.
constexpr int kSegmentCount = 26;
constexpr int kFirstLacing = 27;
constexpr int kPacketType = 28;
constexpr int kChannels = 39;
constexpr int kRate = 40;

QByteArray patched(QByteArray ogg, int at, char value)
{
    ogg[at] = value;
    return ogg;
}

// Zero crossings upwards per second of the first channel: the tone's frequency.
double frequencyOf(const Pcm& pcm)
{
    int crossings = 0;
    for (qint64 f = 1; f < pcm.frames(); ++f) {
        if (pcm.samples[size_t((f - 1) * pcm.channels)] < 0 &&
            pcm.samples[size_t(f * pcm.channels)] >= 0)
            ++crossings;
    }
    return crossings / pcm.seconds();
}

double rms(const Pcm& pcm, int channel)
{
    double sum = 0;
    for (qint64 f = 0; f < pcm.frames(); ++f) {
        const double v = pcm.samples[size_t(f * pcm.channels + channel)];
        sum += v * v;
    }
    return std::sqrt(sum / double(pcm.frames()));
}

} // namespace

class ConvertPartsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void oggFormatTrustsOnlyAWholeIdentificationHeader_data()
    {
        QTest::addColumn<QByteArray>("ogg");
        QTest::addColumn<int>("rate"); // 0: refused
        QTest::addColumn<int>("channels");
        const QByteArray mono = test::makeOggSine(440, 0.2, 22050, 1);
        const QByteArray stereo = test::makeOggSine(440, 0.2, 44100, 2);
        QTest::newRow("22050 Hz mono") << mono << 22050 << 1;
        QTest::newRow("44100 Hz stereo") << stereo << 44100 << 2;
        QTest::newRow("empty") << QByteArray() << 0 << 0;
        QTest::newRow("page header cut") << mono.left(26) << 0 << 0;
        QTest::newRow("lacing cut") << mono.left(27) << 0 << 0;
        QTest::newRow("packet cut") << mono.left(kRate + 2) << 0 << 0;
        QTest::newRow("not Ogg") << patched(mono, 0, 'X') << 0 << 0;
        QTest::newRow("not the first page") << patched(mono, 5, 0) << 0 << 0;
        QTest::newRow("packet longer than page")
            << patched(mono, kFirstLacing, char(255)) << 0 << 0;
        QTest::newRow("lacing past the end") << patched(mono, kSegmentCount, char(200)) << 0 << 0;
        QTest::newRow("packet too short") << patched(mono, kFirstLacing, 16) << 0 << 0;
        QTest::newRow("comment header first") << patched(mono, kPacketType, 3) << 0 << 0;
        QTest::newRow("no channels") << patched(mono, kChannels, 0) << 0 << 0;
        QTest::newRow("no rate") << patched(patched(mono, kRate, 0), kRate + 1, 0) << 0 << 0;
        QTest::newRow("absurd rate") << patched(mono, kRate + 3, char(0x7f)) << 0 << 0;
        QTest::newRow("garbage") << QByteArray(4096, char(0xA5)) << 0 << 0;
    }
    void oggFormatTrustsOnlyAWholeIdentificationHeader()
    {
        QFETCH(QByteArray, ogg);
        QFETCH(int, rate);
        QFETCH(int, channels);
        const Result<SoundFormat> format = oggFormat(ogg);
        QCOMPARE(format.ok(), rate != 0);
        if (format) {
            QCOMPARE(format->sampleRate, rate);
            QCOMPARE(format->channels, channels);
        } else {
            QVERIFY(format.error().startsWith(QStringLiteral("The sound is not Ogg Vorbis: ")));
        }
    }

    // A 1 kHz sine of peak A on one channel measures 20 log10(A) - 3.01 LUFS (BS.1770); each
    // further channel of the same signal adds its power.
    void loudnessOfKnownSignals_data()
    {
        QTest::addColumn<Pcm>("pcm");
        QTest::addColumn<double>("lufs");
        QTest::newRow("half scale mono") << test::sine(1000, 0.5, 2, 48000, 1) << -9.03;
        QTest::newRow("half scale stereo") << test::sine(1000, 0.5, 2, 44100, 2) << -6.02;
        QTest::newRow("-40 dB mono") << test::sine(1000, 0.01, 2, 22050, 1) << -43.01;
        QTest::newRow("shorter than a block") << test::sine(1000, 0.5, 0.15, 22050, 1) << -9.03;
        QTest::newRow("silence") << test::sine(1000, 0.0, 2, 22050, 1) << -qInf();
    }
    void loudnessOfKnownSignals()
    {
        QFETCH(Pcm, pcm);
        QFETCH(double, lufs);
        const Result<double> measured = loudness(pcm);
        QVERIFY2(measured.ok(), qPrintable(measured.error()));
        if (std::isinf(lufs))
            QCOMPARE(measured.value(), lufs);
        else
            QVERIFY2(std::abs(measured.value() - lufs) < 0.1,
                     qPrintable(QString::number(measured.value())));
    }

    void medianLoudnessSkipsWhatItCannotMeasure_data()
    {
        QTest::addColumn<QList<double>>("amplitudes"); // 0: silent, < 0: not a sound
        QTest::addColumn<double>("lufs");
        QTest::newRow("odd count") << QList<double>{0.5, 0.05, 0.1} << -23.03;
        QTest::newRow("even count") << QList<double>{0.5, 0.05, 0.1, 0.25} << -19.0;
        QTest::newRow("silent and broken skipped") << QList<double>{0.0, 0.1, -1.0} << -23.03;
        QTest::newRow("nothing measurable") << QList<double>{0.0, -1.0} << kDefaultLoudnessLufs;
        QTest::newRow("none") << QList<double>{} << kDefaultLoudnessLufs;
    }
    void medianLoudnessSkipsWhatItCannotMeasure()
    {
        QFETCH(QList<double>, amplitudes);
        QFETCH(double, lufs);
        QList<QByteArray> sounds;
        for (const double a : amplitudes)
            sounds.append(a < 0 ? QByteArray("OggS broken")
                                : test::makeOggSine(1000, 1, 22050, 1, a));
        const Result<double> median = medianLoudness(sounds);
        QVERIFY2(median.ok(), qPrintable(median.error()));
        QVERIFY2(std::abs(median.value() - lufs) < 0.3,
                 qPrintable(QString::number(median.value())));
    }

    // The tone keeps its pitch and length; each channel its level, or to mono their average.
    void toFormatMixesAndResamples_data()
    {
        QTest::addColumn<SoundFormat>("from");
        QTest::addColumn<SoundFormat>("to");
        QTest::newRow("stereo to mono") << SoundFormat{44100, 2} << SoundFormat{22050, 1};
        QTest::newRow("mono to stereo") << SoundFormat{8000, 1} << SoundFormat{48000, 2};
        QTest::newRow("stereo to stereo") << SoundFormat{22050, 2} << SoundFormat{11025, 2};
        QTest::newRow("three to mono") << SoundFormat{8000, 3} << SoundFormat{8000, 1};
        QTest::newRow("three to stereo") << SoundFormat{8000, 3} << SoundFormat{8000, 2};
    }
    void toFormatMixesAndResamples()
    {
        QFETCH(SoundFormat, from);
        QFETCH(SoundFormat, to);
        const QList<double> levels = QList<double>{1.0, 0.5, 0.3}.first(from.channels);
        Pcm pcm = test::sine(440, 0.5, 3, from.sampleRate, from.channels);
        for (size_t i = 0; i < pcm.samples.size(); ++i)
            pcm.samples[i] *= float(levels[qsizetype(i) % levels.size()]);

        const Result<Pcm> out = toFormat(pcm, to);
        QVERIFY2(out.ok(), qPrintable(out.error()));
        QCOMPARE(out->format(), to);
        QVERIFY(std::abs(out->seconds() - 3.0) < 0.01);
        QVERIFY(std::abs(frequencyOf(out.value()) - 440.0) < 2.0);
        for (int c = 0; c < to.channels; ++c) {
            const double level =
                to.channels == 1
                    ? std::accumulate(levels.begin(), levels.end(), 0.0) / from.channels
                    : levels[std::min(c, from.channels - 1)];
            QVERIFY2(std::abs(rms(out.value(), c) / (level * 0.5 / std::sqrt(2.0)) - 1.0) < 0.01,
                     qPrintable(QStringLiteral("channel %1: %2").arg(c).arg(rms(out.value(), c))));
        }
    }
};

QTEST_GUILESS_MAIN(ConvertPartsTest)
#include "test_convert_parts.moc"
