#include "soundfiles.h"

#include <QFile>
#include <cmath>
#include <numbers>
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

} // namespace tollvik::test
