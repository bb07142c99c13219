#include "soundfiles.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstring>
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

struct Reader
{
    const QByteArray* bytes;
    size_t position = 0;
};

size_t readBytes(void* to, size_t size, size_t count, void* source)
{
    auto* r = static_cast<Reader*>(source);
    const size_t n = std::min(size * count, static_cast<size_t>(r->bytes->size()) - r->position);
    std::memcpy(to, r->bytes->constData() + r->position, n);
    r->position += n;
    return size == 0 ? 0 : n / size;
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
    Reader reader{&ogg};
    OggVorbis_File file;
    const ov_callbacks callbacks{readBytes, nullptr, nullptr, nullptr};
    if (ov_open_callbacks(&reader, &file, nullptr, 0, callbacks) != 0)
        return {};
    const vorbis_info* info = ov_info(&file, -1);
    convert::Pcm pcm;
    pcm.sampleRate = static_cast<int>(info->rate);
    pcm.channels = info->channels;
    for (;;) {
        float** channels = nullptr;
        int section = 0;
        const long frames = ov_read_float(&file, &channels, 1024, &section);
        if (frames < 0)
            pcm.channels = 0;
        if (frames <= 0)
            break;
        for (long f = 0; f < frames; ++f)
            for (int c = 0; c < pcm.channels; ++c)
                pcm.samples.push_back(channels[c][f]);
    }
    ov_clear(&file);
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
