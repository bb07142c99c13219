// Times the conversion of a 30-second 44.1 kHz stereo WAV into a slot sound against one oggenc
// pass over the same file at the quality the conversion chose, with the same resampling and
// downmix. The conversion decodes, resamples, measures and encodes a few times to find the
// highest quality that fits; it should stay within 3 times the cost of that one pass.
// Speaking a menu text is timed as well (reported, no target).

#include "archive/archive.h"
#include "convert/convert.h"
#include "convert/speech.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <sndfile.h>
#include <vector>

using namespace tollvik::convert;

namespace {

constexpr int kRuns = 7;
constexpr double kTarget = 3.0;
constexpr int kRate = 44100;
constexpr double kSeconds = 30.0;
const SoundFormat kSlot{22050, 1};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Something like music: a chord that changes every second, a beat of noise bursts and a little
// hiss, the two channels a little apart.
std::vector<float> music()
{
    const auto frames = static_cast<size_t>(kSeconds * kRate);
    std::vector<float> out(frames * 2);
    const double roots[] = {220.0, 261.6, 196.0, 174.6};
    quint32 seed = 1;
    const auto hiss = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
    };
    for (size_t f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / kRate;
        const double root = roots[static_cast<size_t>(t) % 4];
        double chord = 0.0;
        for (const double ratio : {1.0, 1.25, 1.5, 2.0})
            chord += std::sin(2.0 * std::numbers::pi * root * ratio * t) / ratio;
        const double beat = std::exp(-12.0 * std::fmod(t, 0.5)); // a burst every half second
        out[2 * f] = static_cast<float>(0.15 * chord + 0.2 * beat * hiss() + 0.02 * hiss());
        out[2 * f + 1] = static_cast<float>(0.12 * chord + 0.2 * beat * hiss() + 0.02 * hiss());
    }
    return out;
}

bool writeWav(const QString& path)
{
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (file == nullptr)
        return false;
    const std::vector<float> samples = music();
    const auto frames = static_cast<sf_count_t>(samples.size() / 2);
    const bool ok = sf_writef_float(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && ok;
}

double oggencMs(const QString& oggenc, const QString& wav, const QString& out, float quality)
{
    QElapsedTimer timer;
    timer.start();
    const int status =
        QProcess::execute(oggenc, {QStringLiteral("-Q"), QStringLiteral("-q"),
                                   QString::number(static_cast<double>(quality) * 10.0, 'f', 1),
                                   QStringLiteral("--resample"), QString::number(kSlot.sampleRate),
                                   QStringLiteral("--downmix"), QStringLiteral("-o"), out, wav});
    return status == 0 ? static_cast<double>(timer.nsecsElapsed()) / 1e6 : -1.0;
}

// The median time to speak a menu text, after one call that starts espeak-ng.
double speechMs()
{
    const QString text = QStringLiteral("Speed camera ahead");
    if (!speak(text))
        return -1.0;
    std::vector<double> ms;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!speak(text))
            return -1.0;
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return median(ms);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString oggenc = QStandardPaths::findExecutable(QStringLiteral("oggenc"));
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("music.wav"));
    if (oggenc.isEmpty() || !dir.isValid() || !writeWav(wav)) {
        std::fprintf(stderr, "needs oggenc (vorbis-tools) and a writable temporary folder\n");
        return 2;
    }
    const Target target{kSlot, kDefaultLoudnessLufs, tollvik::kMaxExternalSoundBytes};
    std::vector<double> convertMs;
    std::vector<double> passMs;
    tollvik::Result<Converted> converted = tollvik::fail({});
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        converted = convertFile(wav, target);
        convertMs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (!converted) {
            std::fprintf(stderr, "%s\n", qPrintable(converted.error()));
            return 2;
        }
        passMs.push_back(
            oggencMs(oggenc, wav, dir.filePath(QStringLiteral("pass.ogg")), converted->quality));
        if (passMs.back() < 0) {
            std::fprintf(stderr, "oggenc failed\n");
            return 2;
        }
    }
    const double convert = median(convertMs);
    const double pass = median(passMs);
    const double ratio = convert / pass;
    std::printf("%s\n", qPrintable(describe(converted.value())));
    std::printf("oggenc pass:    %8.1f ms (%lld bytes at the same quality)\n", pass,
                static_cast<long long>(QFile(dir.filePath(QStringLiteral("pass.ogg"))).size()));
    std::printf("conversion:     %8.1f ms, median of %d runs\n", convert, kRuns);
    std::printf("ratio convert/oggenc: %.2f (target <= %.1f) %s\n", ratio, kTarget,
                ratio <= kTarget ? "OK" : "TOO SLOW");
    std::printf("speak a menu text: %.1f ms, median of %d runs\n", speechMs(), kRuns);
    return ratio <= kTarget ? 0 : 1;
}
