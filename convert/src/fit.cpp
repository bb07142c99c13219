// The search for the highest Vorbis quality whose stream fits a size limit.
//
// Every size comes from a real encode, but where to encode next is guessed from a model of the
// stream's size at each quality step: between two measured steps it runs straight from one to
// the other; beyond the measured steps it follows libvorbisenc's nominal bitrates from the
// nearest one, and with nothing measured it is the nominal bitrates. How much a stream grows from
// step to step depends on the sound (a pure tone barely grows at all), so the nominal bitrates
// alone would send the search astray. Before the first whole encode of a longer sound, a stretch
// from its middle encoded at the lowest, a middle and the highest quality gives the model its
// first points. An encode that passes the limit stops there, and one above a step that fits
// stops as soon as it cannot fit any more, so a step that is too big costs less than one that
// fits.

#include "internal.h"

#include <array>
#include <cmath>
#include <optional>

namespace tollvik::convert::detail {
namespace {

constexpr double kPilotFraction = 1.0 / 10.0;
constexpr double kPilotShortestSound = 15.0; // seconds; below that no stretch is tried
constexpr double kPilotShortestStretch = 2.0;
constexpr int kPilotSteps[] = {0, 6, 11}; // qualities -0.1, 0.5 and 1.0

class SizeModel
{
public:
    explicit SizeModel(const Pcm& pcm)
    {
        for (int s = 0; s < kQualitySteps; ++s)
            m_nominal[index(s)] = std::max(1.0, nominalBitrate(pcm.format(), qualityAt(s)));
        m_seconds = pcm.seconds();
    }

    void measured(int step, double bytes) { m_known[index(step)] = bytes; }

    [[nodiscard]] double estimate(int step) const
    {
        if (m_known[index(step)])
            return *m_known[index(step)];
        const int below = nearestKnown(step, -1);
        const int above = nearestKnown(step, +1);
        if (below >= 0 && above >= 0) {
            const double a = *m_known[index(below)];
            const double b = *m_known[index(above)];
            return a + (b - a) * (step - below) / (above - below);
        }
        const int near = below >= 0 ? below : above;
        if (near < 0)
            return m_nominal[index(step)] / 8.0 * m_seconds;
        return *m_known[index(near)] * m_nominal[index(step)] / m_nominal[index(near)];
    }

private:
    static size_t index(int step) { return static_cast<size_t>(step); }

    int nearestKnown(int step, int direction) const
    {
        for (int s = step + direction; s >= 0 && s < kQualitySteps; s += direction) {
            if (m_known[index(s)])
                return s;
        }
        return -1;
    }

    std::array<double, kQualitySteps> m_nominal{};
    std::array<std::optional<double>, kQualitySteps> m_known{};
    double m_seconds = 0.0;
};

// The size of the whole sound's stream, from an encode of all of it or of a stretch.
double wholeSize(const EncodeRun& run, double seconds)
{
    if (!run.over && run.secondsEncoded >= seconds)
        return static_cast<double>(run.ogg.size());
    const double sound = static_cast<double>(run.ogg.size() - run.headerBytes);
    return static_cast<double>(run.headerBytes) +
           sound / std::max(run.secondsEncoded, 1e-3) * seconds;
}

// The model's first points, from a stretch of the middle of a longer sound.
Status pilot(const Pcm& pcm, SizeModel& model, StopFlag stop)
{
    const double seconds = pcm.seconds();
    if (seconds < kPilotShortestSound)
        return {};
    const double stretchSeconds = std::max(kPilotShortestStretch, seconds * kPilotFraction);
    const auto frames = static_cast<qint64>(stretchSeconds * pcm.sampleRate);
    const auto first = pcm.samples.begin() + (pcm.frames() - frames) / 2 * pcm.channels;
    Pcm stretch;
    stretch.sampleRate = pcm.sampleRate;
    stretch.channels = pcm.channels;
    stretch.samples.assign(first, first + frames * pcm.channels);
    for (const int step : kPilotSteps) {
        const Result<EncodeRun> run = encodeUpTo(stretch, qualityAt(step), 0, stop);
        if (!run)
            return run.failure();
        model.measured(step, wholeSize(run.value(), seconds));
    }
    return {};
}

// The highest untried step the model expects to fit, else the lowest untried one.
int nextStep(const SizeModel& model, qint64 maxBytes, int fits, int over)
{
    for (int s = over - 1; s > fits; --s) {
        if (model.estimate(s) <= static_cast<double>(maxBytes))
            return s;
    }
    return fits + 1;
}

} // namespace

float qualityAt(int step)
{
    return static_cast<float>(step - 1) / 10.0f;
}

// Narrows down the step between the highest known to fit and the lowest known to be too big.
// The highest encode known to fit is the floor of those above it.
Result<QualityFit> fitQuality(const Pcm& pcm, qint64 maxBytes, StopFlag stop)
{
    SizeModel model(pcm);
    if (const Status guessed = pilot(pcm, model, stop); !guessed)
        return guessed.failure();
    QualityFit fit;
    for (int fits = -1, over = kQualitySteps; over - fits > 1;) {
        const int step = nextStep(model, maxBytes, fits, over);
        const EncodeRun* floor = fit.best ? &*fit.best : nullptr;
        Result<EncodeRun> run = encodeUpTo(pcm, qualityAt(step), maxBytes, stop, floor);
        if (!run)
            return run.failure();
        model.measured(step, wholeSize(run.value(), pcm.seconds()));
        if (run->over) {
            over = step;
            fit.lowestBytesPerSecond = static_cast<double>(run->ogg.size() - run->headerBytes) /
                                       std::max(run->secondsEncoded, 1e-3);
        } else {
            fits = step;
            fit.quality = qualityAt(step);
            fit.best = std::move(run).value();
        }
    }
    return fit;
}

} // namespace tollvik::convert::detail
