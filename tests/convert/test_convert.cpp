// Conversions from start to end: files made with libsndfile and libvorbisenc in, slot sounds out,
// read back with libvorbisfile; the slot's format from its Ogg header; speech.

#include "archive/archive.h"
#include "archive/slotfiles.h"
#include "chkfactory.h"
#include "convert/convert.h"
#include "convert/slotsounds.h"
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

// Rewrites the identification header of an Ogg Vorbis stream (channels at byte 39, rate at 40)
// and sets its page's checksum again, so that only the header lies.
QByteArray vorbisStating(int channels, quint32 rate)
{
    QByteArray ogg = test::makeOggSine(440, 1, 22050, 1);
    ogg[39] = char(channels);
    for (int i = 0; i < 4; ++i)
        ogg[40 + i] = char(rate >> (8 * i));
    return test::withFirstPageChecksum(ogg);
}

// Two streams one after the other: 1.5 s of 44,100 Hz stereo, 1 s of 22,050 Hz mono.
QByteArray chained()
{
    return encodeOgg(test::toneInNoise(1.5, 44100, 2), 0.2f).value() +
           test::makeOggSine(440, 1, 22050, 1);
}

} // namespace

class ConvertTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Hostile inputs fail here instead of taking the machine.
    void initTestCase() { QVERIFY(test::limitAddressSpace()); }

    // The archive's sounds are 1 kHz sines of peak A: 20 log10(A) - 3.01 LUFS on one channel,
    // 3.01 LU more on two. Refusals leave every file as it was.
    void convertsFilesToTheSlotsFormatAndLoudness_data()
    {
        QTest::addColumn<Pcm>("source");
        QTest::addColumn<int>("fileFormat");
        QTest::addColumn<SoundFormat>("slot");
        QTest::addColumn<double>("archivePeak");
        QTest::addColumn<QString>("refusal");  // how the message begins
        QTest::addColumn<QByteArray>("bytes"); // the file as it is, when set (source: its length)
        const auto tone = &test::toneInNoise;
        const SoundFormat mono{22050, 1};
        const int flac = SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ogg = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        const QString tooLong = "x is %1 long; a slot's sound can be at most about ";
        const QString bounds = "x is %1; a sound to convert is 1,000–384,000 Hz with 1 to 8 "
                               "channels.";
        const auto row = [](const char* name, const Pcm& source, int file, SoundFormat slot,
                            double peak, const QString& refusal = {},
                            const QByteArray& bytes = {}) {
            QTest::newRow(name) << source << file << slot << peak << refusal << bytes;
        };
        row("WAV stereo to mono", tone(4, 44100, 2), kWav, mono, 0.1);
        row("FLAC to stereo", tone(3, 48000, 1), flac, {44100, 2}, 0.1);
        row("Ogg, quieter", tone(3, 22050, 1), ogg, {11025, 1}, 0.05);
        row("inter-sample peaks held back", test::overshootingBursts(3, 22050), kWav, mono, 0.9);
        row("chained streams, whole", tone(2.5, 22050, 1), 0, mono, 0.1, {}, chained());
        row("text", {}, 0, mono, 0.1, "x is not a sound file", "Speed camera\r\nSchool zone\r\n");
        row("silent", {std::vector<float>(30000), 8000, 1}, kWav, mono, 0.1, "x is silent");
        row("60 s of noise: the rate is kept, so it does not fit", tone(60, 22050, 1), kWav, mono,
            0.1, tooLong.arg("1:00"));
        // Hostile headers: refused before decoding, within the address-space limit.
        row("WAV stating 1,073,785,924 Hz", {}, 0, mono, 0.1, bounds.arg("1,073,785,924 Hz mono"),
            test::wavStating(1073785924, 1, 50));
        row("Vorbis stating 255 channels", {}, 0, mono, 0.1,
            bounds.arg("22,050 Hz with 255 channels"), vorbisStating(255, 22050));
        row("Vorbis stating 2 GHz", {}, 0, mono, 0.1,
            "x cannot be decoded. The sound is not Ogg Vorbis: its header gives no usable",
            vorbisStating(1, 2000000000));
    }
    void convertsFilesToTheSlotsFormatAndLoudness()
    {
        QFETCH(Pcm, source);
        QFETCH(int, fileFormat);
        QFETCH(SoundFormat, slot);
        QFETCH(double, archivePeak);
        QFETCH(QString, refusal);
        QFETCH(QByteArray, bytes);
        test::ProgramFolder folder;
        const QString path = folder.file(u"x"_s);
        QVERIFY(fileFormat == 0 ? test::writeAll(path, bytes)
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
        const Pcm decoded = test::decodeWithVorbisfile(
            writeConvertedSound(folder.path(), 6, u"bell"_s, c->ogg).value());
        QVERIFY(decoded.format() == slot && std::abs(decoded.seconds() - source.seconds()) < 0.02);
        QVERIFY(c->ogg.size() <= kSlotBytes && c->peakLimited == (archivePeak > 0.5));
        QVERIFY(checkPlayable(c->ogg));
        // The figures logged are the result's: its loudness, its change from the source at the
        // slot's format, and a true peak at most at the ceiling.
        const double level = loudness(decoded).value();
        const double peak = truePeak(decoded).value();
        QVERIFY2(peak <= kPeakCeilingDbfs && peakDb(decoded) <= kPeakCeilingDbfs,
                 qPrintable(QString::number(peak)));
        QVERIFY2(std::abs(c->loudnessLufs - level) <= 0.5 &&
                     std::abs(c->truePeakDbtp - peak) <= 0.1,
                 qPrintable(describe(c.value())));
        // (A chained stream of two formats is measured only as the converter shapes it.)
        const Result<Pcm> original = bytes.isEmpty() ? Result<Pcm>(source) : decodeFile(path);
        if (original) {
            const double sourceLevel = loudness(toFormat(original.value(), slot).value()).value();
            QVERIFY(std::abs(c->loudnessChangeDb - (level - sourceLevel)) <= 0.5);
        }
        QVERIFY(describe(c.value()).contains(u" to %1 LUFS"_s.arg(c->loudnessLufs, 0, 'f', 1)));
        QVERIFY2(c->peakLimited ? level < lufs - 1.0 : std::abs(level - lufs) < 1.0,
                 qPrintable(QString::number(level)));
    }

    // At the sound's own format and loudness the gain is 0 dB: the stream is the plain encode at
    // the chosen quality and the next quality up must not fit; when not even the lowest quality
    // fits, the sound is refused (the rate is never lowered).
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
        if (belowLowest) {
            QVERIFY2(!c && c.error().startsWith(
                               u"tone is 0:03 long; a slot's sound can be at most about 0:"_s),
                     qPrintable(c.error()));
            return;
        }
        QVERIFY2(c && c->sampleRate == 22050, qPrintable(c.error()));
        const Pcm encoded = pcm;
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

    // The archive's slot sounds as targets: slot 5's header states 192 kHz with 255 channels,
    // slot 7 is no sound at all, slots 11 to 30 are 16 kHz stereo. Neither stops the others.
    void measuresEachSlotsTargetOnItsOwn()
    {
        test::ProgramFolder folder;
        test::ChkArchive chk = test::makeChk(40);
        const QByteArray stereo = test::makeOggSine(440, 0.3, 16000, 2);
        for (int slot = 10; slot < kSlotCount; ++slot)
            chk.entries[slot + 9] = test::slotEntry(stereo);
        chk.entries[4 + 9] = test::slotEntry(vorbisStating(255, 192000));
        chk.entries[6 + 9] = test::slotEntry("not a sound at all");
        const QString path = folder.file(u"data.chk"_s);
        QVERIFY(test::writeAll(path, chk.bytes()));
        test::RecordingLog log;
        const Result<ChkListing> listed = Get_Chk_info(path, log);
        QVERIFY(listed);
        const ListedArchive archive{folder.path(), path, listed->table};
        const auto targets = slotTargets(archive);
        QVERIFY2(targets, qPrintable(targets.error()));
        const auto& t = targets.value();
        QCOMPARE(t[4].refusal, u"Sound 05 of the archive is 192,000 Hz with 255 channels; a slot "
                               "sound is 8,000–48,000 Hz, mono or stereo"_s);
        QVERIFY(t[0].format == (SoundFormat{22050, 1}) && t[0].refusal.isEmpty());
        QVERIFY(t[6].format == (SoundFormat{16000, 2}) && t[6].refusal.isEmpty());
        const QString wav = folder.file(u"horn.wav"_s);
        QVERIFY(test::writeSoundFile(wav, test::toneInNoise(1, 44100, 1), kWav));
        QCOMPARE(convertFile(wav, t[4]).error(), t[4].refusal);
        const Result<Converted> seventh = convertFile(wav, t[6]);
        QVERIFY2(seventh && seventh->channels == 2, qPrintable(seventh.error()));
    }

    // What the navigator can play, and why not; oggSeconds reads a length without decoding.
    void checksWhatTheNavigatorCanPlay_data()
    {
        QTest::addColumn<QByteArray>("ogg");
        QTest::addColumn<QString>("reason"); // empty: playable
        const QByteArray valid = test::makeOggSine(440, 1.0, 22050, 1);
        QByteArray damaged = valid;
        damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x55);
        QTest::newRow("valid") << valid << "";
        QTest::newRow("chained") << chained() << "it holds 2 chained streams";
        QTest::newRow("a byte changed") << damaged << "it is damaged at byte ";
        QTest::newRow("WAV") << test::wavStating(8000, 1, 100) << "it is not an Ogg file";
        QTest::newRow("255 channels")
            << vorbisStating(255, 22050)
            << "it is 22,050 Hz with 255 channels; a slot sound is 8,000–48,000 Hz, mono or stereo";
        QTest::newRow("too big") << valid + QByteArray(131056, 0) << "it is 13";
    }
    void checksWhatTheNavigatorCanPlay()
    {
        QFETCH(QByteArray, ogg);
        QFETCH(QString, reason);
        QVERIFY(!ogg.isEmpty());
        const Status playable = checkPlayable(ogg);
        QVERIFY2(reason.isEmpty() ? playable.ok() : playable.error().startsWith(reason),
                 qPrintable(playable.error()));
        const Result<double> seconds = oggSeconds(ogg);
        if (reason.isEmpty())
            QVERIFY(seconds && std::abs(seconds.value() - 1.0) < 0.01);
        if (QTest::currentDataTag() == "chained"_L1)
            QVERIFY(seconds && std::abs(seconds.value() - 2.5) < 0.01);
    }

    // What `espeak-ng --voices` prints names a voice: its name (as printed, with "_"), its
    // language code or its file; a name wins over a language. The speech itself, when it runs.
    void findsAVoiceAndSpeaks()
    {
        const QList<Voice> list = {{u"German"_s, u"de"_s, u"gmw/de"_s},
                                   {u"English (Great Britain)"_s, u"en-gb"_s, u"gmw/en"_s},
                                   {u"English (America)"_s, u"en-us"_s, u"gmw/en-US"_s},
                                   {u"de"_s, u"de-ch"_s, u"gmw/de-CH"_s}};
        const QString gb = u"English (Great Britain)"_s;
        for (const auto& [given, found] : {std::pair{u"english_(great_britain)"_s, gb},
                                           {u"en-GB"_s, gb},
                                           {u"de"_s, u"de"_s},
                                           {u"gmw/en-US"_s, u"English (America)"_s},
                                           {u"xx-yy"_s, QString()},
                                           {u" "_s, QString()}})
            QCOMPARE(findVoice(list, given), found);
        const Result<QList<Voice>> installed = voices();
        if (!installed)
            QSKIP("espeak-ng cannot start here");
        QVERIFY(std::is_sorted(installed->begin(), installed->end(),
                               [](const Voice& a, const Voice& b) {
                                   return QString::localeAwareCompare(a.name, b.name) < 0;
                               }));
        const Result<Pcm> spoken = speak(u"Speed camera ahead"_s);
        QVERIFY2(spoken && spoken->format() == (SoundFormat{22050, 1}) &&
                     peakDb(spoken.value()) > -20,
                 qPrintable(spoken.error()));
        QVERIFY(!speak(u"Go"_s, u"xx-nowhere"_s).ok());
    }
};

QTEST_GUILESS_MAIN(ConvertTest)
#include "test_convert.moc"
