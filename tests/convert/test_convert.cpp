// Conversions from start to end: files in, slot sounds out, read back with libvorbisfile.

#include "archive/archive.h"
#include "convert/convert.h"
#include "core/fileio.h"
#include "soundfiles.h"
#include "testsupport.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <cmath>
#include <limits>
#include <sndfile.h>

using namespace tollvik;
using namespace tollvik::convert;

namespace {

constexpr int kWav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int kFlac = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
constexpr int kOgg = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
constexpr int kNoFile = 0;
constexpr int kRawBytes = -1;

// The loudness of a 1 kHz sine of peak 0.1 on one channel, and on two.
constexpr double kArchiveLufsMono = -23.03;
constexpr double kArchiveLufsStereo = -20.02;

float nextQuality(float quality)
{
    return static_cast<float>(std::lround(quality * 10.0f) + 1) / 10.0f;
}

} // namespace

class ConvertTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setWriteFaultHookForTesting({}); }

    void convertsFilesToTheSlotSoundsFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Pcm>("source");
        QTest::addColumn<int>("fileFormat");
        QTest::addColumn<SoundFormat>("slot");
        QTest::addColumn<bool>("peakLimited");
        QTest::newRow("WAV 44.1 kHz stereo to 22050 Hz mono")
            << "song.wav" << test::toneInNoise(4, 44100, 2) << kWav << SoundFormat{22050, 1}
            << false;
        QTest::newRow("FLAC 48 kHz mono to 44100 Hz stereo")
            << "song.flac" << test::toneInNoise(3, 48000, 1) << kFlac << SoundFormat{44100, 2}
            << false;
        QTest::newRow("Ogg 22050 Hz mono to the same")
            << "song.ogg" << test::sine(1000, 0.3, 3, 22050, 1) << kOgg << SoundFormat{22050, 1}
            << false;
        Pcm broken = test::toneInNoise(3, 22050, 1);
        broken.samples[100] = std::numeric_limits<float>::quiet_NaN();
        broken.samples[200] = std::numeric_limits<float>::infinity();
        QTest::newRow("float WAV with broken samples")
            << "broken.wav" << broken << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << SoundFormat{22050, 1}
            << false;
        QTest::newRow("clicks held back by their peaks")
            << "clicks.wav" << test::clicks(3, 16000) << kWav << SoundFormat{22050, 1} << true;
    }
    void convertsFilesToTheSlotSoundsFormat()
    {
        QFETCH(QString, name);
        QFETCH(Pcm, source);
        QFETCH(int, fileFormat);
        QFETCH(SoundFormat, slot);
        QFETCH(bool, peakLimited);
        test::ProgramFolder folder;
        const QString path = folder.file(name);
        QVERIFY(test::writeSoundFile(path, source, fileFormat));
        const QByteArray archiveSound =
            test::makeOggSine(1000, 1, slot.sampleRate, slot.channels, 0.1);
        const Result<Target> target = slotTarget(archiveSound, {archiveSound, archiveSound});
        QVERIFY2(target.ok(), qPrintable(target.error()));
        QCOMPARE(target->format, slot);
        QCOMPARE(target->maxBytes, kMaxExternalSoundBytes);
        const double lufs = slot.channels == 1 ? kArchiveLufsMono : kArchiveLufsStereo;
        QVERIFY(std::abs(target->loudnessLufs - lufs) < 0.3);

        const Result<Converted> c = convertFile(path, target.value());
        QVERIFY2(c.ok(), qPrintable(c.error()));
        QCOMPARE(c->sourceName, name);
        QCOMPARE(c->bytes, c->ogg.size());
        QVERIFY(c->bytes <= kMaxExternalSoundBytes);
        QCOMPARE(SoundFormat(c->sampleRate, c->channels), slot);
        QVERIFY(!c->rateLowered);
        QVERIFY(std::abs(c->sourceSeconds - source.seconds()) < 0.01);
        QCOMPARE(c->peakLimited, peakLimited);

        const Pcm decoded = test::decodeWithVorbisfile(c->ogg);
        QCOMPARE(decoded.format(), slot);
        QVERIFY(std::abs(decoded.seconds() - source.seconds()) < 0.02);
        QVERIFY(test::peakOf(decoded) < 1.0f);
        const double level = loudness(decoded).value();
        if (peakLimited) {
            QVERIFY(level < lufs - 1.0);
            QVERIFY(20 * std::log10(test::peakOf(decoded)) < kPeakCeilingDbfs + 0.5);
        } else {
            QVERIFY2(std::abs(level - lufs) < 1.0, qPrintable(QString::number(level)));
        }
    }

    void refusesWhatNoSlotCanHold_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Pcm>("source");
        QTest::addColumn<int>("fileFormat");
        QTest::addColumn<QString>("error"); // a pattern
        QTest::newRow("text file") << "notes.wav" << Pcm{} << kRawBytes
                                   << "^notes\\.wav is not a sound file libsndfile can read\\.$";
        QTest::newRow("missing file")
            << "gone.wav" << Pcm{} << kNoFile << "^gone\\.wav does not exist or is not a file\\.$";
        QTest::newRow("no frames") << "empty.wav" << test::sine(440, 0.5, 0, 8000, 1) << kWav
                                   << "^empty\\.wav holds no sound\\.$";
        QTest::newRow("5 minutes of noise")
            << "noise.wav" << test::noise(0.5, 300, 8000, 1) << kWav
            << "^noise\\.wav is 5:00 long; a slot's sound can be at most about [0-4]:[0-5]\\d\\.$";
        QTest::newRow("longer than is ever read")
            << "hour.wav" << test::sine(100, 0.5, 660, 1000, 1) << kWav
            << "^hour\\.wav is 11:00 long; a slot's sound can be at most about [0-4]:[0-5]\\d\\.$";
    }
    void refusesWhatNoSlotCanHold()
    {
        QFETCH(QString, name);
        QFETCH(Pcm, source);
        QFETCH(int, fileFormat);
        QFETCH(QString, error);
        test::ProgramFolder folder;
        const QString path = folder.file(name);
        if (fileFormat == kRawBytes)
            QVERIFY(test::writeAll(path, "Speed camera\r\nSchool zone\r\n"));
        else if (fileFormat != kNoFile)
            QVERIFY(test::writeSoundFile(path, source, fileFormat));
        const Result<Converted> c =
            convertFile(path, Target{{8000, 1}, -20.0, kMaxExternalSoundBytes});
        QVERIFY(!c.ok());
        QCOMPARE(c.refusal(), Refusal::Failed);
        QVERIFY2(QRegularExpression(error).match(c.error()).hasMatch(), qPrintable(c.error()));
        QVERIFY(QDir(folder.temp()).isEmpty());
    }

    // With the target at the sound's own loudness the gain is 0 dB, so the result must be the
    // plain encode at the chosen quality, and the next quality up must not fit.
    void picksTheHighestQualityThatFits_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<qint64>("maxBytes"); // -1: one byte less than the lowest quality
        QTest::addColumn<int>("rate");        // 0: refused
        QTest::newRow("everything fits") << 3.0 << qint64(10'000'000) << 22050;
        QTest::newRow("roomy") << 3.0 << qint64(40'000) << 22050;
        QTest::newRow("tight") << 3.0 << qint64(20'000) << 22050;
        QTest::newRow("tighter") << 3.0 << qint64(14'000) << 22050;
        QTest::newRow("longer sound, roomy") << 16.0 << qint64(120'000) << 22050;
        QTest::newRow("longer sound, tight") << 16.0 << qint64(60'000) << 22050;
        QTest::newRow("not even the lowest quality") << 3.0 << qint64(-1) << 11025;
        QTest::newRow("nothing fits") << 3.0 << qint64(4'500) << 0;
        QTest::newRow("not even the headers fit") << 3.0 << qint64(1'000) << 0;
    }
    void picksTheHighestQualityThatFits()
    {
        QFETCH(double, seconds);
        QFETCH(qint64, maxBytes);
        QFETCH(int, rate);
        const Pcm pcm = test::toneInNoise(seconds, 22050, 1);
        if (maxBytes < 0)
            maxBytes = encodeOgg(pcm, -0.1f).value().size() - 1;
        const Target target{pcm.format(), loudness(pcm).value(), maxBytes};
        const Result<Converted> c = convertPcm(pcm, QStringLiteral("tone"), target);
        if (rate == 0) {
            QVERIFY(!c.ok());
            QVERIFY2(c.error().startsWith(QStringLiteral(
                         "tone is 0:03 long; a slot's sound can be at most about 0:0")),
                     qPrintable(c.error()));
            return;
        }
        QVERIFY2(c.ok(), qPrintable(c.error()));
        QCOMPARE(c->sampleRate, rate);
        QCOMPARE(c->rateLowered, rate != pcm.sampleRate);
        QVERIFY(c->bytes <= maxBytes);
        QCOMPARE(c->loudnessChangeDb, 0.0);
        const Pcm encoded = rate == pcm.sampleRate ? pcm : toFormat(pcm, {rate, 1}).value();
        QCOMPARE(c->ogg, encodeOgg(encoded, c->quality).value());
        if (c->quality < 1.0f)
            QVERIFY(encodeOgg(encoded, nextQuality(c->quality)).value().size() > maxBytes);
    }

    void everyLongStepStopsWhenAsked()
    {
        test::ProgramFolder folder;
        const QString path = folder.file(QStringLiteral("song.wav"));
        const Pcm pcm = test::toneInNoise(1, 44100, 2);
        QVERIFY(test::writeSoundFile(path, pcm, kWav));
        const QByteArray ogg = test::makeOggSine();
        const Target target{{22050, 1}, -20.0, kMaxExternalSoundBytes};
        const std::atomic<bool> stop = true;
        QCOMPARE(decodeFile(path, &stop).refusal(), Refusal::Cancelled);
        QCOMPARE(decodeMemory(ogg, QStringLiteral("sound"), &stop).refusal(), Refusal::Cancelled);
        QCOMPARE(toFormat(pcm, {22050, 2}, &stop).refusal(), Refusal::Cancelled);
        QCOMPARE(encodeOgg(pcm, 0.5f, &stop).refusal(), Refusal::Cancelled);
        QCOMPARE(medianLoudness({ogg}, &stop).refusal(), Refusal::Cancelled);
        QCOMPARE(convertFile(path, target, &stop).refusal(), Refusal::Cancelled);
        QCOMPARE(convertPcm(pcm, QStringLiteral("song"), target, &stop).refusal(),
                 Refusal::Cancelled);
    }

    void describeNamesWhatWasMade_data()
    {
        QTest::addColumn<Converted>("converted");
        QTest::addColumn<QString>("line");
        Converted mono{"song.wav", {}, 22050, 1, 0.6f, 48213, 302.0, 3.24, false, false};
        QTest::newRow("mono, louder")
            << mono
            << "Converted song.wav: 22050 Hz, 1 channel, 48,213 bytes, quality 0.6, "
               "loudness +3.2 dB";
        Converted stereo{"talk.flac", {}, 44100, 2, -0.1f, 131056, 3.0, -12.04, false, false};
        QTest::newRow("stereo, quieter")
            << stereo
            << "Converted talk.flac: 44100 Hz, 2 channels, 131,056 bytes, quality -0.1, "
               "loudness -12.0 dB";
        Converted held{"long.mp3", {}, 11025, 1, 1.0f, 900, 60.0, -0.04, true, true};
        QTest::newRow("lowered rate, held back")
            << held
            << "Converted long.mp3: 11025 Hz (lowered to fit), 1 channel, 900 bytes, "
               "quality 1.0, loudness +0.0 dB (held back by its peaks)";
    }
    void describeNamesWhatWasMade()
    {
        QFETCH(Converted, converted);
        QFETCH(QString, line);
        QCOMPARE(describe(converted), line);
    }

    void convertedSoundsLiveInTempUnderOurNames()
    {
        test::ProgramFolder folder;
        Converted c;
        c.ogg = test::makeOggSine();
        const QString path = folder.temp(QStringLiteral("Converted 07.ogg"));
        QCOMPARE(convertedSoundPath(folder.path(), 6), path);
        QCOMPARE(writeConvertedSound(folder.path(), 6, c).value(), path);
        QCOMPARE(test::readAll(path), c.ogg);
        QVERIFY(!writeConvertedSound(folder.path(), kSlotCount, c).ok());

        setWriteFaultHookForTesting([](const QString&) { return QStringLiteral("disk full"); });
        const Result<QString> failed = writeConvertedSound(folder.path(), 0, c);
        QVERIFY(failed.error().contains(QStringLiteral("Converted 01.ogg: disk full")));
        QVERIFY(!QFile::exists(convertedSoundPath(folder.path(), 0)));
    }

    void removeConvertedSoundsKeepsEveryOtherFile()
    {
        test::ProgramFolder folder;
        QStringList others{"Converted 31.ogg", "Converted 7.ogg", "converted 02.ogg",
                           "Converted 03.ogg.bak", "song.ogg"};
        for (const QString& name : others + QStringList{"Converted 01.ogg", "Converted 30.ogg"})
            QVERIFY(test::writeAll(folder.temp(name), "x"));
        QVERIFY(removeConvertedSounds(folder.path()).ok());
        others.sort();
        QCOMPARE(QDir(folder.temp()).entryList(QDir::Files, QDir::Name), others);
    }
};

QTEST_GUILESS_MAIN(ConvertTest)
#include "test_convert.moc"
