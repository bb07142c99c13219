// Integrated loudness and true peak (ITU-R BS.1770 / EBU R 128) with libebur128.

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

Failure meterFailed()
{
    return fail(QStringLiteral("The loudness meter failed."));
}

double toDb(double linear)
{
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

} // namespace

// The meter starts at the first chunk's format; a chained stream's later formats each get a
// meter of their own, and the loudness is that of the longest.
struct Meter::State
{
    Ebur128Ptr meter;
    SoundFormat format;
    qint64 frames = 0;
    std::vector<float> start; // the first kShortestMeasuredSeconds, to repeat a short sound
    double peak = 0.0;        // linear, of every meter so far
    double longestLufs = -std::numeric_limits<double>::infinity();
    qint64 longestFrames = 0;

    Status close()
    {
        if (!meter)
            return {};
        const auto wanted = static_cast<qint64>(kShortestMeasuredSeconds * format.sampleRate);
        const qint64 kept = static_cast<qint64>(start.size()) / format.channels;
        for (qint64 fed = frames; kept > 0 && fed < wanted; fed += kept)
            if (ebur128_add_frames_float(meter.get(), start.data(), static_cast<size_t>(kept)) !=
                EBUR128_SUCCESS)
                return meterFailed();
        double lufs = 0.0;
        if (ebur128_loudness_global(meter.get(), &lufs) != EBUR128_SUCCESS)
            return meterFailed();
        for (unsigned c = 0; c < static_cast<unsigned>(format.channels); ++c) {
            double p = 0.0;
            if (ebur128_true_peak(meter.get(), c, &p) != EBUR128_SUCCESS)
                return meterFailed();
            peak = std::max(peak, p);
        }
        if (frames > longestFrames) {
            longestFrames = frames;
            longestLufs = lufs;
        }
        meter.reset();
        return {};
    }
};

Meter::Meter() : m_state(std::make_unique<State>()) {}
Meter::~Meter() = default;

Status Meter::add(const float* samples, qint64 frames, SoundFormat format)
{
    State& s = *m_state;
    if (format.channels <= 0 || format.sampleRate <= 0)
        return fail(QStringLiteral("A sound without channels or rate has no loudness."));
    if (s.meter && s.format != format)
        if (const Status closed = s.close(); !closed)
            return closed;
    if (!s.meter) {
        s.meter.reset(ebur128_init(static_cast<unsigned>(format.channels),
                                   static_cast<unsigned long>(format.sampleRate),
                                   EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK));
        if (!s.meter)
            return fail(QStringLiteral("The loudness meter cannot start."));
        s.format = format;
        s.frames = 0;
        s.start.clear();
    }
    const auto wanted = static_cast<qint64>(kShortestMeasuredSeconds * format.sampleRate);
    const qint64 keep = std::clamp<qint64>(wanted - s.frames, 0, frames);
    s.start.insert(s.start.end(), samples, samples + keep * format.channels);
    s.frames += frames;
    if (frames > 0 && ebur128_add_frames_float(s.meter.get(), samples,
                                               static_cast<size_t>(frames)) != EBUR128_SUCCESS)
        return meterFailed();
    return {};
}

Result<double> Meter::loudness()
{
    if (const Status closed = m_state->close(); !closed)
        return closed.failure();
    return m_state->longestLufs;
}

Result<double> Meter::truePeak() const
{
    if (m_state->meter)
        return fail(QStringLiteral("The true peak is read after the loudness."));
    return toDb(m_state->peak);
}

Result<Levels> levels(const Pcm& pcm)
{
    if (pcm.channels <= 0 || pcm.sampleRate <= 0)
        return fail(QStringLiteral("A sound without channels or rate has no loudness."));
    if (pcm.frames() == 0)
        return Levels{-std::numeric_limits<double>::infinity(),
                      -std::numeric_limits<double>::infinity()};
    Meter meter;
    if (const Status added = meter.add(pcm.samples.data(), pcm.frames(), pcm.format()); !added)
        return added.failure();
    const Result<double> lufs = meter.loudness();
    if (!lufs)
        return lufs.failure();
    return Levels{lufs.value(), meter.truePeak().value()};
}

Result<double> loudness(const Pcm& pcm)
{
    const Result<Levels> measured = levels(pcm);
    if (!measured)
        return measured.failure();
    return measured->lufs;
}

Result<double> truePeak(const Pcm& pcm)
{
    const Result<Levels> measured = levels(pcm);
    if (!measured)
        return measured.failure();
    return measured->truePeakDbtp;
}

// Measured as it is decoded: no sound is kept but the first half second.
Result<double> oggLoudness(QByteArrayView ogg, StopFlag stop)
{
    const QString name = QStringLiteral("The sound");
    const Result<std::unique_ptr<Decoder>> decoder = openSoundMemory(ogg, name);
    if (!decoder)
        return decoder.failure();
    Meter meter;
    std::vector<float> chunk;
    double seconds = 0.0;
    for (SoundFormat format{};;) {
        if (detail::stopped(stop))
            return detail::cancelled();
        if (const Status got = decoder.value()->next(chunk, format); !got)
            return fail(QStringLiteral("The sound cannot be decoded: %1").arg(got.error()));
        if (chunk.empty())
            break;
        if (const Status bounded = checkSourceFormat(format, name); !bounded)
            return bounded.failure();
        const qint64 frames = static_cast<qint64>(chunk.size()) / format.channels;
        if (const Status added = meter.add(chunk.data(), frames, format); !added)
            return added.failure();
        seconds += static_cast<double>(frames) / format.sampleRate;
        if (seconds > kMaxSourceSeconds)
            return fail(QStringLiteral("The sound is longer than %1.")
                            .arg(detail::minutesSeconds(kMaxSourceSeconds)));
    }
    return meter.loudness();
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
