// Channel mixing, and resampling with libsoxr, chunk by chunk.

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

// Appends `frames` frames of `from` channels mixed to `to` channels: to mono averages all
// channels; otherwise the first channels are kept, the last one repeated as needed.
void mixChannels(const float* in, qint64 frames, int from, int to, std::vector<float>& out)
{
    const auto f = static_cast<size_t>(from);
    const auto t = static_cast<size_t>(to);
    const size_t old = out.size();
    out.resize(old + static_cast<size_t>(frames) * t);
    float* dst = out.data() + old;
    for (qint64 n = 0; n < frames; ++n, in += f, dst += t) {
        if (t == 1) {
            float sum = 0.0f;
            for (size_t c = 0; c < f; ++c)
                sum += in[c];
            dst[0] = sum / static_cast<float>(f);
        } else {
            for (size_t c = 0; c < t; ++c)
                dst[c] = in[std::min(c, f - 1)];
        }
    }
}

Failure resampleFailed(int rate, soxr_error_t error)
{
    return fail(
        QStringLiteral("Resampling to %1 Hz failed: %2.").arg(rate).arg(QString::fromUtf8(error)));
}

// Frames handed to the resampler at once; its output buffer holds what they become.
constexpr qint64 kChunkFrames = 4096;

} // namespace

struct Shaper::State
{
    SoundFormat from;
    SoundFormat to;
    int resampledChannels = 0; // mix first when it leaves fewer channels to resample
    SoxrPtr resampler;
    soxr_error_t error = nullptr;
    std::vector<float> mixed;
    std::vector<float> buffer;
    size_t bufferFrames = 0;

    // Resamples `frames` frames of resampledChannels (none: drains), then mixes to `to`.
    Status resample(const float* in, qint64 frames, std::vector<float>& out)
    {
        const auto channels = static_cast<size_t>(resampledChannels);
        size_t at = 0;
        for (;;) {
            const bool draining = in == nullptr;
            size_t used = 0;
            size_t made = 0;
            error = soxr_process(resampler.get(), draining ? nullptr : in + at * channels,
                                 draining ? 0 : static_cast<size_t>(frames) - at, &used,
                                 buffer.data(), bufferFrames, &made);
            if (error != nullptr)
                return resampleFailed(to.sampleRate, error);
            mixChannels(buffer.data(), static_cast<qint64>(made), resampledChannels, to.channels,
                        out);
            at += used;
            if (draining ? made == 0 : at >= static_cast<size_t>(frames))
                return {};
            if (!draining && used == 0 && made == 0)
                return resampleFailed(to.sampleRate, "the resampler took no more sound");
        }
    }
};

Shaper::Shaper(SoundFormat from, SoundFormat to) : m_state(std::make_unique<State>())
{
    State& s = *m_state;
    s.from = from;
    s.to = to;
    s.resampledChannels = std::min(from.channels, to.channels);
    if (from.sampleRate == to.sampleRate)
        return;
    // libsoxr's defaults: interleaved 32-bit float in and out, its high quality (SOXR_HQ).
    s.resampler.reset(soxr_create(from.sampleRate, to.sampleRate,
                                  static_cast<unsigned>(s.resampledChannels), &s.error, nullptr,
                                  nullptr, nullptr));
    const double ratio = static_cast<double>(to.sampleRate) / from.sampleRate;
    s.bufferFrames = static_cast<size_t>(std::ceil(kChunkFrames * ratio)) + 1024;
    s.buffer.resize(s.bufferFrames * static_cast<size_t>(s.resampledChannels));
}

Shaper::~Shaper() = default;

Status Shaper::push(const float* samples, qint64 frames, std::vector<float>& out)
{
    State& s = *m_state;
    if (s.error != nullptr)
        return resampleFailed(s.to.sampleRate, s.error);
    if (!s.resampler) {
        mixChannels(samples, frames, s.from.channels, s.to.channels, out);
        return {};
    }
    for (qint64 at = 0; at < frames; at += kChunkFrames) {
        const qint64 count = std::min(kChunkFrames, frames - at);
        const float* in = samples + at * s.from.channels;
        if (s.resampledChannels != s.from.channels) {
            s.mixed.clear();
            mixChannels(in, count, s.from.channels, s.resampledChannels, s.mixed);
            in = s.mixed.data();
        }
        if (const Status done = s.resample(in, count, out); !done)
            return done;
    }
    return {};
}

Status Shaper::finish(std::vector<float>& out)
{
    State& s = *m_state;
    if (s.error != nullptr)
        return resampleFailed(s.to.sampleRate, s.error);
    return s.resampler ? s.resample(nullptr, 0, out) : Status{};
}

Result<Pcm> toFormat(const Pcm& pcm, SoundFormat format, StopFlag stop)
{
    const auto bounded = [](SoundFormat f) {
        return f.channels > 0 && f.channels <= 255 && f.sampleRate >= kMinSourceRate &&
               f.sampleRate <= kMaxSourceRate;
    };
    if (!bounded(pcm.format()) || !bounded(format))
        return fail(QStringLiteral("A sound cannot be converted from %1 Hz, %2 channels to %3 Hz, "
                                   "%4 channels.")
                        .arg(pcm.sampleRate)
                        .arg(pcm.channels)
                        .arg(format.sampleRate)
                        .arg(format.channels));
    Shaper shaper(pcm.format(), format);
    Pcm out{{}, format.sampleRate, format.channels};
    const qint64 frames = pcm.frames();
    constexpr qint64 kStep = 65536;
    for (qint64 at = 0; at < frames; at += kStep) {
        if (detail::stopped(stop))
            return detail::cancelled();
        const Status pushed = shaper.push(pcm.samples.data() + at * pcm.channels,
                                          std::min(kStep, frames - at), out.samples);
        if (!pushed)
            return pushed.failure();
    }
    if (const Status drained = shaper.finish(out.samples); !drained)
        return drained.failure();
    return out;
}

} // namespace tollvik::convert
