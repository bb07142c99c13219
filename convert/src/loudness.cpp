// Integrated loudness (ITU-R BS.1770 / EBU R 128) with libebur128.

#include "internal.h"

#include <algorithm>
#include <cmath>
#include <ebur128.h>
#include <limits>
#include <memory>

namespace tollvik::convert {
namespace {

struct Ebur128Deleter
{
    void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};
using Ebur128Ptr = std::unique_ptr<ebur128_state, Ebur128Deleter>;

// The gating blocks are 400 ms long; a shorter sound is repeated to a little past that.
constexpr double kShortestMeasuredSeconds = 0.5;

} // namespace

Result<double> loudness(const Pcm& pcm)
{
    if (pcm.channels <= 0 || pcm.sampleRate <= 0)
        return fail(QStringLiteral("A sound without channels or rate has no loudness."));
    const qint64 frames = pcm.frames();
    if (frames == 0)
        return -std::numeric_limits<double>::infinity();
    Ebur128Ptr meter(ebur128_init(static_cast<unsigned>(pcm.channels),
                                  static_cast<unsigned long>(pcm.sampleRate), EBUR128_MODE_I));
    if (!meter)
        return fail(QStringLiteral("The loudness meter cannot start."));
    const auto wanted = static_cast<qint64>(kShortestMeasuredSeconds * pcm.sampleRate);
    for (qint64 fed = 0; fed == 0 || fed < wanted; fed += frames) {
        if (ebur128_add_frames_float(meter.get(), pcm.samples.data(),
                                     static_cast<size_t>(frames)) != EBUR128_SUCCESS)
            return fail(QStringLiteral("The loudness meter failed."));
    }
    double lufs = 0.0;
    if (ebur128_loudness_global(meter.get(), &lufs) != EBUR128_SUCCESS)
        return fail(QStringLiteral("The loudness meter failed."));
    return lufs;
}

Result<double> oggLoudness(QByteArrayView ogg, StopFlag stop)
{
    const Result<Pcm> pcm = decodeMemory(ogg, QStringLiteral("The sound"), stop);
    if (!pcm)
        return pcm.failure();
    return loudness(pcm.value());
}

Result<double> medianLoudness(const QList<QByteArray>& oggSounds, StopFlag stop)
{
    std::vector<double> measured;
    for (const QByteArray& sound : oggSounds) {
        if (detail::stopped(stop))
            return detail::cancelled();
        const Result<double> lufs = oggLoudness(sound, stop);
        if (lufs.refusal() == Refusal::Cancelled)
            return lufs.failure();
        if (lufs && std::isfinite(lufs.value()))
            measured.push_back(lufs.value());
    }
    if (measured.empty())
        return kDefaultLoudnessLufs;
    std::sort(measured.begin(), measured.end());
    const size_t half = measured.size() / 2;
    if (measured.size() % 2 == 1)
        return measured[half];
    return (measured[half - 1] + measured[half]) / 2.0;
}

} // namespace tollvik::convert
