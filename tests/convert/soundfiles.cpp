#include "soundfiles.h"

#include "testsupport.h"

#include <QFile>
#include <QtEndian>
#include <cmath>
#include <numbers>
#include <ogg/ogg.h>
#include <sndfile.h>
#include <vorbis/vorbisfile.h>

namespace tollvik::test {

convert::Pcm toneInNoise(double seconds, int rate, int channels)
{
    convert::Pcm pcm{{}, rate, channels};
    quint32 state = 0x12345678u;
    for (long f = 0; f < std::lround(seconds * rate); ++f) {
        state = state * 1664525u + 1013904223u;
        const double hiss = 0.05 * (static_cast<double>(state >> 8) / 8388608.0 - 1.0);
        const double tone = 0.25 * std::sin(2.0 * std::numbers::pi * 440.0 * f / rate);
        pcm.samples.insert(pcm.samples.end(), size_t(channels), static_cast<float>(tone + hiss));
    }
    return pcm;
}

bool writeSoundFile(const QString& path, const convert::Pcm& pcm, int format)
{
    SF_INFO info{0, pcm.sampleRate, pcm.channels, format, 0, 0};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    const bool ok =
        file != nullptr && sf_writef_float(file, pcm.samples.data(), pcm.frames()) == pcm.frames();
    return file != nullptr && sf_close(file) == 0 && ok;
}

convert::Pcm decodeWithVorbisfile(const QString& path)
{
    OggVorbis_File file;
    if (ov_fopen(QFile::encodeName(path).constData(), &file) != 0)
        return {};
    convert::Pcm pcm{{}, int(ov_info(&file, -1)->rate), ov_info(&file, -1)->channels};
    float** channels = nullptr;
    for (long frames; (frames = ov_read_float(&file, &channels, 1024, nullptr)) > 0;)
        for (long f = 0; f < frames; ++f)
            for (int c = 0; c < pcm.channels; ++c)
                pcm.samples.push_back(channels[c][f]);
    ov_clear(&file);
    return pcm;
}

convert::Pcm overshootingBursts(double seconds, int rate)
{
    convert::Pcm pcm{{}, rate, 1};
    const long period = rate / 2;
    const long burst = rate / 100;
    for (long f = 0; f < std::lround(seconds * rate); ++f) {
        double v = 0.1 * std::sin(2.0 * std::numbers::pi * 1000.0 * f / rate);
        if (f % period < burst)
            v += 0.5 * std::sin(std::numbers::pi / 2 * double(f) + std::numbers::pi / 4);
        pcm.samples.push_back(float(v));
    }
    return pcm;
}

QByteArray withFirstPageChecksum(QByteArray ogg)
{
    const int segments = quint8(ogg[26]);
    int body = 0;
    for (int i = 0; i < segments; ++i)
        body += quint8(ogg[27 + i]);
    ogg_page page{reinterpret_cast<unsigned char*>(ogg.data()), 27 + segments,
                  reinterpret_cast<unsigned char*>(ogg.data()) + 27 + segments, body};
    ogg_page_checksum_set(&page);
    return ogg;
}

QByteArray wavStating(quint32 rate, int channels, int frames)
{
    const auto le = [](quint32 v, int bytes) {
        v = qToLittleEndian(v);
        return QByteArray(reinterpret_cast<const char*>(&v), bytes);
    };
    const quint32 data = quint32(frames * channels * 2), ch = quint32(channels);
    return "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(ch, 2) + le(rate, 4) +
           le(rate * ch * 2, 4) + le(ch * 2, 2) + le(16, 2) + "data" + le(data, 4) +
           QByteArray(int(data), 0);
}

QByteArray oggOpus(const QString& scratchPath)
{
    const bool ok =
        writeSoundFile(scratchPath, toneInNoise(0.5, 48000, 1), SF_FORMAT_OGG | SF_FORMAT_OPUS);
    return ok ? readAll(scratchPath) : QByteArray();
}

} // namespace tollvik::test

#ifdef TOLLVIK_ASAN
// The sanitizer's own options for the converter's tests: a run past 1 GB of resident memory
// fails (the environment's ASAN_OPTIONS add to these).
extern "C" const char* __asan_default_options()
{
    return "hard_rss_limit_mb=1024";
}
#endif
