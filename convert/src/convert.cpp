// The conversion: format, level, then the highest quality (and if need be a lower rate) that
// fits the slot.

#include "archive/archive.h"
#include "internal.h"

#include <QFileInfo>
#include <cmath>

namespace tollvik::convert {
namespace {

constexpr int kLowestRate = 8000;

struct Level
{
    double gainDb = 0.0;
    bool peakLimited = false;
};

// The gain that brings the sound to the target loudness, held back when it would lift the
// sample peaks above kPeakCeilingDbfs. Silence keeps its level.
Result<Level> levelFor(const Pcm& pcm, double targetLufs)
{
    const Result<double> measured = loudness(pcm);
    if (!measured)
        return measured.failure();
    if (!std::isfinite(measured.value()))
        return Level{};
    float peak = 0.0f;
    for (const float v : pcm.samples)
        peak = std::max(peak, std::abs(v));
    const double wanted = targetLufs - measured.value();
    const double room = kPeakCeilingDbfs - 20.0 * std::log10(static_cast<double>(peak));
    if (wanted > room)
        return Level{room, true};
    return Level{wanted, false};
}

void applyGain(Pcm& pcm, double gainDb)
{
    const auto factor = static_cast<float>(std::pow(10.0, gainDb / 20.0));
    for (float& v : pcm.samples)
        v *= factor;
}

// How long a slot's sound can be is estimated from the bitrate of the lowest quality.
Failure refuseTooLong(const QString& name, double seconds, qint64 maxBytes, double bytesPerSecond)
{
    const double maxSeconds =
        bytesPerSecond > 0.0 ? static_cast<double>(maxBytes) / bytesPerSecond : 0.0;
    return detail::tooLong(name, seconds, maxSeconds);
}

// The quality search at the target's rate, then at half of it and so on down to 8000 Hz.
Result<Converted> fitSlot(const Pcm& leveled, const QString& name, double sourceSeconds,
                          qint64 maxBytes, StopFlag stop)
{
    double lowestBytesPerSecond = 0.0;
    for (int rate = leveled.sampleRate;;) {
        Pcm lowered; // only when the rate is lowered; the first pass uses the sound itself
        if (rate != leveled.sampleRate) {
            Result<Pcm> resampled = toFormat(leveled, {rate, leveled.channels}, stop);
            if (!resampled)
                return resampled.failure();
            lowered = std::move(resampled).value();
        }
        const Pcm& at = rate == leveled.sampleRate ? leveled : lowered;
        Result<detail::QualityFit> fit = detail::fitQuality(at, maxBytes, stop);
        if (!fit)
            return fit.failure();
        if (fit->best) {
            Converted out;
            out.sourceName = name;
            out.ogg = std::move(fit->best->ogg);
            out.sampleRate = rate;
            out.channels = leveled.channels;
            out.quality = fit->quality;
            out.rateLowered = rate != leveled.sampleRate;
            return out;
        }
        lowestBytesPerSecond = fit->lowestBytesPerSecond;
        if (rate <= kLowestRate)
            break;
        rate = std::max(rate / 2, kLowestRate);
    }
    return refuseTooLong(name, sourceSeconds, maxBytes, lowestBytesPerSecond);
}

// The refusal of a sound too long to decode, with libvorbisenc's estimate of the lowest bitrate.
Failure refuseBeforeDecoding(const QString& name, double seconds, const Target& target)
{
    const SoundFormat lowest{std::min(target.format.sampleRate, kLowestRate),
                             target.format.channels};
    return refuseTooLong(name, seconds, target.maxBytes,
                         detail::nominalBitrate(lowest, detail::qualityAt(0)) / 8.0);
}

} // namespace

Result<Converted> convertPcm(const Pcm& pcm, const QString& name, const Target& target,
                             StopFlag stop)
{
    if (pcm.frames() == 0)
        return fail(QStringLiteral("%1 holds no sound.").arg(name));
    if (target.maxBytes <= 0)
        return fail(QStringLiteral("No size limit is set for %1.").arg(name));
    if (pcm.seconds() > kMaxSourceSeconds)
        return refuseBeforeDecoding(name, pcm.seconds(), target);
    Result<Pcm> shaped = toFormat(pcm, target.format, stop);
    if (!shaped)
        return shaped.failure();
    const Result<Level> level = levelFor(shaped.value(), target.loudnessLufs);
    if (!level)
        return level.failure();
    applyGain(shaped.value(), level->gainDb);
    if (detail::stopped(stop))
        return detail::cancelled();
    Result<Converted> out = fitSlot(shaped.value(), name, pcm.seconds(), target.maxBytes, stop);
    if (out) {
        out->loudnessChangeDb = level->gainDb;
        out->peakLimited = level->peakLimited;
    }
    return out;
}

Result<Converted> convertFile(const QString& path, const Target& target, StopFlag stop)
{
    const QString name = QFileInfo(path).fileName();
    const Result<double> seconds = detail::soundFileSeconds(path);
    if (!seconds)
        return seconds.failure();
    if (seconds.value() > kMaxSourceSeconds)
        return refuseBeforeDecoding(name, seconds.value(), target);
    const Result<Pcm> pcm = decodeFile(path, stop);
    if (!pcm)
        return pcm.failure();
    return convertPcm(pcm.value(), name, target, stop);
}

} // namespace tollvik::convert
