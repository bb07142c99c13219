#include "soundfiles.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <sndfile.h>
#include <vorbis/vorbisfile.h>

namespace tollvik::test {
namespace {

convert::Pcm shaped(double seconds, int rate, int channels)
{
    convert::Pcm pcm;
    pcm.sampleRate = rate;
    pcm.channels = channels;
    pcm.samples.resize(static_cast<size_t>(std::lround(seconds * rate)) *
                       static_cast<size_t>(channels));
    return pcm;
}

} // namespace

convert::Pcm sine(double frequencyHz, double amplitude, double seconds, int rate, int channels)
{
    convert::Pcm pcm = shaped(seconds, rate, channels);
    for (size_t i = 0; i < pcm.samples.size(); ++i) {
        const double t = static_cast<double>(i / static_cast<size_t>(channels)) / rate;
        pcm.samples[i] =
            static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequencyHz * t));
    }
    return pcm;
}

convert::Pcm noise(double amplitude, double seconds, int rate, int channels)
{
    convert::Pcm pcm = shaped(seconds, rate, channels);
    quint32 state = 0x12345678u;
    for (float& v : pcm.samples) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<float>(amplitude * (static_cast<double>(state >> 8) / 8388608.0 - 1.0));
    }
    return pcm;
}

convert::Pcm toneInNoise(double seconds, int rate, int channels)
{
    convert::Pcm pcm = sine(440.0, 0.25, seconds, rate, channels);
    const convert::Pcm hiss = noise(0.05, seconds, rate, channels);
    for (size_t i = 0; i < pcm.samples.size(); ++i)
        pcm.samples[i] += hiss.samples[i];
    return pcm;
}

convert::Pcm clicks(double seconds, int rate)
{
    convert::Pcm pcm = sine(440.0, 0.01, seconds, rate, 1);
    for (size_t i = 0; i < pcm.samples.size(); i += static_cast<size_t>(rate / 2))
        pcm.samples[i] = 1.0f;
    return pcm;
}

bool writeSoundFile(const QString& path, const convert::Pcm& pcm, int format)
{
    SF_INFO info{};
    info.samplerate = pcm.sampleRate;
    info.channels = pcm.channels;
    info.format = format;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (file == nullptr)
        return false;
    const sf_count_t frames = pcm.frames();
    const bool ok = sf_writef_float(file, pcm.samples.data(), frames) == frames;
    return sf_close(file) == 0 && ok;
}

convert::Pcm decodeWithVorbisfile(const QByteArray& ogg)
{
    FILE* memory = fmemopen(const_cast<char*>(ogg.constData()), size_t(ogg.size()), "rb");
    OggVorbis_File file;
    if (memory == nullptr || ov_open(memory, &file, nullptr, 0) != 0)
        return {};
    convert::Pcm pcm;
    pcm.sampleRate = int(ov_info(&file, -1)->rate);
    pcm.channels = ov_info(&file, -1)->channels;
    float** channels = nullptr;
    int section = 0;
    long frames = 0;
    while ((frames = ov_read_float(&file, &channels, 1024, &section)) > 0) {
        for (long f = 0; f < frames; ++f)
            for (int c = 0; c < pcm.channels; ++c)
                pcm.samples.push_back(channels[c][f]);
    }
    if (frames < 0)
        pcm.channels = 0;
    ov_clear(&file); // closes the memory file too
    return pcm;
}

float peakOf(const convert::Pcm& pcm)
{
    float peak = 0.0f;
    for (const float v : pcm.samples)
        peak = std::max(peak, std::abs(v));
    return peak;
}

} // namespace tollvik::test
