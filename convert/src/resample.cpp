// Channel mixing, and resampling with libsoxr.

#include "internal.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <soxr.h>

namespace tollvik::convert {
namespace {

struct SoxrDeleter
{
    void operator()(soxr* resampler) const { soxr_delete(resampler); }
};
using SoxrPtr = std::unique_ptr<soxr, SoxrDeleter>;

Pcm mixChannels(const Pcm& in, int channels)
{
    Pcm out;
    out.sampleRate = in.sampleRate;
    out.channels = channels;
    const auto frames = static_cast<size_t>(in.frames());
    const auto from = static_cast<size_t>(in.channels);
    const auto to = static_cast<size_t>(channels);
    out.samples.resize(frames * to);
    for (size_t f = 0; f < frames; ++f) {
        const float* src = in.samples.data() + f * from;
        float* dst = out.samples.data() + f * to;
        if (to == 1) {
            float sum = 0.0f;
            for (size_t c = 0; c < from; ++c)
                sum += src[c];
            dst[0] = sum / static_cast<float>(from);
        } else {
            for (size_t c = 0; c < to; ++c)
                dst[c] = src[std::min(c, from - 1)];
        }
    }
    return out;
}

Failure resampleFailed(int rate, soxr_error_t error)
{
    return fail(
        QStringLiteral("Resampling to %1 Hz failed: %2.").arg(rate).arg(QString::fromUtf8(error)));
}

// Feeds the sound through in chunks, then drains the resampler.
Result<Pcm> resample(const Pcm& in, int rate, StopFlag stop)
{
    soxr_error_t error = nullptr;
    const auto channels = static_cast<size_t>(in.channels);
    // libsoxr's defaults: interleaved 32-bit float in and out, its high quality (SOXR_HQ).
    SoxrPtr resampler(soxr_create(in.sampleRate, rate, static_cast<unsigned>(channels), &error,
                                  nullptr, nullptr, nullptr));
    if (error != nullptr)
        return resampleFailed(rate, error);
    Pcm out;
    out.sampleRate = rate;
    out.channels = in.channels;
    const double ratio = static_cast<double>(rate) / in.sampleRate;
    out.samples.reserve(
        static_cast<size_t>(std::ceil(static_cast<double>(in.frames()) * ratio) + 64.0) * channels);
    constexpr size_t kChunkFrames = 65536;
    const auto bufferFrames = static_cast<size_t>(static_cast<double>(kChunkFrames) * ratio) + 1024;
    std::vector<float> buffer(bufferFrames * channels);
    const auto frames = static_cast<size_t>(in.frames());
    for (size_t at = 0;;) {
        if (detail::stopped(stop))
            return detail::cancelled();
        const bool draining = at >= frames;
        const size_t length = draining ? 0 : std::min(kChunkFrames, frames - at);
        size_t used = 0;
        size_t made = 0;
        error =
            soxr_process(resampler.get(), draining ? nullptr : in.samples.data() + at * channels,
                         length, &used, buffer.data(), bufferFrames, &made);
        if (error != nullptr)
            return resampleFailed(rate, error);
        out.samples.insert(out.samples.end(), buffer.begin(),
                           buffer.begin() + static_cast<std::ptrdiff_t>(made * channels));
        at += used;
        if (draining && made == 0)
            break;
        if (!draining && used == 0 && made == 0)
            return resampleFailed(rate, "the resampler took no more sound");
    }
    return out;
}

} // namespace

Result<Pcm> toFormat(const Pcm& pcm, SoundFormat format, StopFlag stop)
{
    if (pcm.channels <= 0 || pcm.sampleRate <= 0 || format.channels <= 0 || format.sampleRate <= 0)
        return fail(QStringLiteral("A sound cannot be converted from %1 Hz, %2 channels to %3 Hz, "
                                   "%4 channels.")
                        .arg(pcm.sampleRate)
                        .arg(pcm.channels)
                        .arg(format.sampleRate)
                        .arg(format.channels));
    // Mix first when it leaves fewer channels to resample.
    const bool mixFirst = format.channels < pcm.channels;
    Pcm mixed = mixFirst ? mixChannels(pcm, format.channels) : pcm;
    if (mixed.sampleRate != format.sampleRate) {
        Result<Pcm> resampled = resample(mixed, format.sampleRate, stop);
        if (!resampled)
            return resampled.failure();
        mixed = std::move(resampled).value();
    }
    if (mixed.channels != format.channels)
        mixed = mixChannels(mixed, format.channels);
    return mixed;
}

} // namespace tollvik::convert
