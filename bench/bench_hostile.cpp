// Peak memory and time of a conversion of hostile sound files: headers that state absurd rates
// or channel counts, and a stream that decodes to far more sound than any slot holds. Each
// conversion runs in a child process of its own, so that its peak resident memory is its own
// (from wait4()). Targets: each at most 256 MB and 5 s. Exits 1 when one misses them.

#include "convert/convert.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ogg/ogg.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tollvik::convert;

namespace {

constexpr double kMaxMb = 256.0;
constexpr double kMaxSeconds = 5.0;

QByteArray le(quint32 v, int bytes)
{
    QByteArray out(bytes, 0);
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<char>(v >> (8 * i));
    return out;
}

// A WAV of 16-bit PCM silence (50 frames) whose header states `rate`.
QByteArray wavStating(quint32 rate, int channels)
{
    const quint32 data = static_cast<quint32>(50 * channels * 2);
    const auto ch = static_cast<quint32>(channels);
    return "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(ch, 2) + le(rate, 4) +
           le(rate * ch * 2, 4) + le(ch * 2, 2) + le(16, 2) + "data" + le(data, 4) +
           QByteArray(static_cast<int>(data), 0);
}

Pcm noise(double seconds, int rate, int channels, float level)
{
    Pcm pcm{{}, rate, channels};
    pcm.samples.resize(static_cast<size_t>(seconds * rate) * static_cast<size_t>(channels));
    quint32 seed = 1;
    for (float& v : pcm.samples) {
        seed = seed * 1664525u + 1013904223u;
        v = level * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
    }
    return pcm;
}

// About 300 KB of Ogg Vorbis whose identification header states `channels` and `rate`, with
// its page's checksum set again.
QByteArray vorbisStating(int channels, quint32 rate)
{
    QByteArray ogg = encodeOgg(noise(20, 44100, 2, 0.5f), 0.5f).value();
    ogg[39] = static_cast<char>(channels);
    ogg.replace(40, 4, le(rate, 4));
    const int segments = static_cast<quint8>(ogg[26]);
    int body = 0;
    for (int i = 0; i < segments; ++i)
        body += static_cast<quint8>(ogg[27 + i]);
    auto* bytes = reinterpret_cast<unsigned char*>(ogg.data());
    ogg_page page{bytes, 27 + segments, bytes + 27 + segments, body};
    ogg_page_checksum_set(&page);
    return ogg;
}

struct Case
{
    const char* name;
    QByteArray bytes;
    SoundFormat target;
};

// Runs one conversion in a child; its peak memory in MB and the time it took in seconds.
bool measure(const QString& path, SoundFormat target, double& mb, double& seconds)
{
    QElapsedTimer timer;
    timer.start();
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        const tollvik::Result<Converted> c = convertFile(path, Target{target, -16.0, 131056});
        std::printf("    %s\n", qPrintable(c ? describe(c.value()) : c.error()));
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return false;
    seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    // 9:50 of quiet noise: decoded whole (and shaped as it is decoded), then refused.
    Pcm quiet = noise(590, 48000, 2, 0.01f);
    const Case cases[] = {
        {"WAV stating 1 Hz, to 192,000 Hz stereo", wavStating(1, 2), {192000, 2}},
        {"WAV stating 1,073,785,924 Hz", wavStating(1073785924, 1), {22050, 1}},
        {"Vorbis stating 255 channels", vorbisStating(255, 44100), {22050, 1}},
        {"Vorbis stating 2 GHz", vorbisStating(2, 2000000000), {22050, 1}},
        {"9:50 of quiet 48 kHz stereo Vorbis", encodeOgg(quiet, -0.1f).value(), {8000, 1}},
    };
    quiet = {};
    double worstMb = 0.0;
    double worstSeconds = 0.0;
    for (const Case& c : cases) {
        const QString path = dir.filePath(QStringLiteral("input"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(c.bytes) != c.bytes.size())
            return 2;
        file.close();
        double mb = 0.0;
        double seconds = 0.0;
        std::printf("%s (%lld bytes):\n", c.name, static_cast<long long>(c.bytes.size()));
        if (!measure(path, c.target, mb, seconds))
            return 2;
        std::printf("    peak %.1f MB, %.2f s\n", mb, seconds);
        worstMb = std::max(worstMb, mb);
        worstSeconds = std::max(worstSeconds, seconds);
    }
    std::printf("hostile conversions, highest peak memory: %.1f MB (target <= %.0f MB)\n", worstMb,
                kMaxMb);
    std::printf("hostile conversions, longest time: %.2f s (target <= %.0f s)\n", worstSeconds,
                kMaxSeconds);
    return worstMb <= kMaxMb && worstSeconds <= kMaxSeconds ? 0 : 1;
}
