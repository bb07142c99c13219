// Conversions from start to end: files made with libsndfile and libvorbisenc in, slot sounds out,
// read back with libvorbisfile; the slot's format from its Ogg header; speech.

#include "archive/slotfiles.h"
#include "convert/convert.h"
#include "convert/speech.h"
#include "soundfiles.h"
#include "testsupport.h"

#include <QTest>
#include <algorithm>
#include <cmath>
#include <sndfile.h>

using namespace tollvik;
using namespace tollvik::convert;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kSlotBytes = 131056;
constexpr int kWav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

double peakDb(const Pcm& pcm)
{
    const auto [low, high] = std::ranges::minmax(pcm.samples);
    return 20 * std::log10(std::max(-low, high));
}

} // namespace

class ConvertTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The archive's sounds are 1 kHz sines of peak A: 20 log10(A) - 3.01 LUFS on one channel,
    // 3.01 LU more on two. Refusals leave every file as it was.
    void convertsFilesToTheSlotsFormatAndLoudness_data()
    {
        QTest::addColumn<Pcm>("source");
        QTest::addColumn<int>("fileFormat");
        QTest::addColumn<SoundFormat>("slot");
        QTest::addColumn<double>("archivePeak");
        QTest::addColumn<QString>("refusal"); // how the message begins
        const auto tone = &test::toneInNoise;
        const SoundFormat mono{22050, 1};
        const int flac = SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ogg = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        const QString tooLong = "x is %1 long; a slot's sound can be at most about ";
        QTest::newRow("WAV stereo to mono") << tone(4, 44100, 2) << kWav << mono << 0.1 << "";
        QTest::newRow("FLAC to stereo")
            << tone(3, 48000, 1) << flac << SoundFormat{44100, 2} << 0.1 << "";
        QTest::newRow("Ogg, quieter")
            << tone(3, 22050, 1) << ogg << SoundFormat{11025, 1} << 0.05 << "";
        QTest::newRow("held back by the peaks") << tone(3, 16000, 1) << kWav << mono << 0.9 << "";
        QTest::newRow("text") << Pcm{} << 0 << mono << 0.1 << "x is not a sound file";
        QTest::newRow("5:00") << tone(300, 8000, 1) << kWav << mono << 0.1 << tooLong.arg("5:00");
        QTest::newRow("11:00") << tone(660, 1000, 1) << kWav << mono << 0.1 << tooLong.arg("11:00");
    }
    void convertsFilesToTheSlotsFormatAndLoudness()
    {
        QFETCH(Pcm, source);
        QFETCH(int, fileFormat);
        QFETCH(SoundFormat, slot);
        QFETCH(double, archivePeak);
        QFETCH(QString, refusal);
        test::ProgramFolder folder;
        const QString path = folder.file(u"x"_s);
        QVERIFY(fileFormat == 0 ? test::writeAll(path, "Speed camera\r\nSchool zone\r\n")
                                : test::writeSoundFile(path, source, fileFormat));
        const QByteArray archiveSound =
            test::makeOggSine(1000, 1, slot.sampleRate, slot.channels, archivePeak);
        const Result<SoundFormat> format = oggFormat(archiveSound);
        const Result<double> median = medianLoudness({archiveSound, archiveSound});
        const double lufs = 20 * std::log10(archivePeak) - 3.01 + 10 * std::log10(slot.channels);
        QVERIFY(format && format.value() == slot && median &&
                std::abs(median.value() - lufs) < 0.3);
        const Target target{format.value(), median.value(), kSlotBytes};

        const auto before = test::filesUnder(folder.path());
        const Result<Converted> c = convertFile(path, target);
        QVERIFY2(c ? refusal.isEmpty() : !refusal.isEmpty() && c.error().startsWith(refusal),
                 qPrintable(c.error()));
        QCOMPARE(test::filesUnder(folder.path()), before);
        if (!c)
            return;
        const Pcm decoded =
            test::decodeWithVorbisfile(writeConvertedSound(folder.path(), 6, c->ogg).value());
        QVERIFY(decoded.format() == slot && std::abs(decoded.seconds() - source.seconds()) < 0.02);
        QVERIFY(c->ogg.size() <= kSlotBytes && c->peakLimited == (archivePeak > 0.5));
        QVERIFY(peakDb(decoded) < (c->peakLimited ? kPeakCeilingDbfs + 0.5 : 0.0));
        const double level = loudness(decoded).value();
        QVERIFY2(c->peakLimited ? level < lufs - 1.0 : std::abs(level - lufs) < 1.0,
                 qPrintable(QString::number(level)));
    }

    // At the sound's own format and loudness the gain is 0 dB: the stream is the plain encode at
    // the chosen quality, the next quality up must not fit, and the rate is halved only when not
    // even the lowest quality fits.
    void picksTheHighestQualityThatFits_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<qint64>("maxBytes"); // -1: 1 byte below the lowest quality: 11025 Hz
        QTest::newRow("tight") << 3.0 << qint64(14'000);
        QTest::newRow("longer sound") << 16.0 << qint64(60'000);
        QTest::newRow("not even the lowest quality") << 3.0 << qint64(-1);
    }
    void picksTheHighestQualityThatFits()
    {
        QFETCH(double, seconds);
        QFETCH(qint64, maxBytes);
        const Pcm pcm = test::toneInNoise(seconds, 22050, 1);
        const bool belowLowest = maxBytes < 0;
        if (belowLowest)
            maxBytes = encodeOgg(pcm, -0.1f).value().size() - 1;
        const Result<Converted> c =
            convertPcm(pcm, u"tone"_s, {pcm.format(), loudness(pcm).value(), maxBytes});
        QVERIFY2(c && c->sampleRate == (belowLowest ? 11025 : 22050), qPrintable(c.error()));
        const Pcm encoded = toFormat(pcm, {c->sampleRate, 1}).value();
        QVERIFY(c->ogg.size() <= maxBytes && c->ogg == encodeOgg(encoded, c->quality).value());
        const float next = float(std::lround(c->quality * 10) + 1) / 10;
        QVERIFY(next > 1.0f || encodeOgg(encoded, next).value().size() > maxBytes);
    }

    void oggFormatReadsOnlyAWholeIdentificationHeader_data()
    {
        QTest::addColumn<QByteArray>("ogg");
        QTest::addColumn<int>("rate"); // 0: refused
        const QByteArray mono = test::makeOggSine(440, 0.2, 22050, 1);
        QTest::newRow("22050 Hz mono") << mono << 22050;
        QTest::newRow("packet cut") << mono.left(44) << 0;
        QTest::newRow("packet too short") << QByteArray(mono).replace(27, 1, "\x10") << 0;
        QTest::newRow("no channels") << QByteArray(mono).replace(39, 1, QByteArray(1, 0)) << 0;
        QTest::newRow("absurd rate") << QByteArray(mono).replace(43, 1, "\x7f") << 0;
    }
    void oggFormatReadsOnlyAWholeIdentificationHeader()
    {
        QFETCH(QByteArray, ogg);
        QFETCH(int, rate);
        const Result<SoundFormat> format = oggFormat(ogg);
        QCOMPARE(format ? format->sampleRate : 0, rate);
    }

    void speaksAShortText()
    {
        if (!voices())
            QSKIP("espeak-ng cannot start here");
        const Result<Pcm> spoken = speak(u"Speed camera ahead"_s);
        QVERIFY2(spoken && spoken->format() == (SoundFormat{22050, 1}) &&
                     peakDb(spoken.value()) > -20,
                 qPrintable(spoken.error()));
    }
};

QTEST_GUILESS_MAIN(ConvertTest)
#include "test_convert.moc"
