// The conversion: format, level, then the highest quality that fits the slot, always at the
// slot's rate and channels; the figures logged are measured on the result.

#include "archive/archive.h"
#include "internal.h"

#include <QFileInfo>
#include <cmath>

namespace tollvik::convert {
namespace {

// How long a sound like this one can be in a slot is measured on a stretch of this length from
// its middle (or all of it when shorter), encoded at the lowest quality at the slot's format.
constexpr double kMeasuredSeconds = 30.0;
// A sound whose header states more than kMaxSourceSeconds is decoded only this far, to measure.
constexpr double kDecodedWhenTooLong = kMeasuredSeconds;
// Encodes that still overshoot the true-peak ceiling are made again this much quieter than the
// overshoot, at most this many times.
constexpr double kPeakMarginDb = 0.05;
constexpr int kPeakTries = 4;

Result<double> slotSecondsOfSoundLike(const Pcm& shaped, qint64 maxBytes, StopFlag stop)
{
    const qint64 frames =
        std::min(shaped.frames(), static_cast<qint64>(kMeasuredSeconds * shaped.sampleRate));
    const auto first = shaped.samples.begin() + (shaped.frames() - frames) / 2 * shaped.channels;
    Pcm stretch{{first, first + frames * shaped.channels}, shaped.sampleRate, shaped.channels};
    const Result<detail::EncodeRun> run =
        detail::encodeUpTo(stretch, detail::qualityAt(0), 0, stop);
    if (!run)
        return run.failure();
    const double bytesPerSecond =
        static_cast<double>(run->ogg.size() - run->headerBytes) / std::max(stretch.seconds(), 1e-3);
    return static_cast<double>(maxBytes - run->headerBytes) / std::max(bytesPerSecond, 1.0);
}

Failure refuseTooLong(const Pcm& shaped, const QString& name, double seconds, bool longer,
                      qint64 maxBytes, StopFlag stop)
{
    const Result<double> max = slotSecondsOfSoundLike(shaped, maxBytes, stop);
    if (!max)
        return max.failure();
    return detail::tooLong(name, seconds, longer, max.value(), shaped.format());
}

Status checkTarget(const Target& target, const QString& name)
{
    if (!target.refusal.isEmpty())
        return fail(target.refusal);
    if (target.maxBytes <= 0)
        return fail(QStringLiteral("No size limit is set for %1.").arg(name));
    const SoundFormat f = target.format;
    if (f.sampleRate < kMinSourceRate || f.sampleRate > kMaxSourceRate || f.channels < 1 ||
        f.channels > kMaxSlotChannels)
        return fail(
            QStringLiteral("%1 cannot be converted to %2.").arg(name, detail::formatText(f)));
    return {};
}

Pcm withGain(const Pcm& pcm, double gainDb)
{
    Pcm out = pcm;
    const auto factor = static_cast<float>(std::pow(10.0, gainDb / 20.0));
    for (float& v : out.samples)
        v *= factor;
    return out;
}

Result<Levels> measureOgg(const QByteArray& ogg, StopFlag stop)
{
    const Result<Pcm> decoded = decodeMemory(ogg, QStringLiteral("The converted sound"), stop);
    if (!decoded)
        return decoded.failure();
    const Result<Levels> measured = levels(decoded.value());
    if (!measured)
        return fail(QStringLiteral("The converted sound cannot be measured."));
    return measured;
}

// Levels and fits the sound, then measures the result; made again quieter while its true peak
// passes the ceiling.
Result<Converted> levelAndFit(const Pcm& shaped, const QString& name, double seconds,
                              const Target& target, StopFlag stop)
{
    const Result<Levels> source = levels(shaped);
    if (!source)
        return fail(QStringLiteral("%1 cannot be measured.").arg(name));
    if (!(source->lufs >= kSilenceLufs))
        return fail(QStringLiteral("%1 is silent: its loudness is below %2 LUFS.")
                        .arg(name)
                        .arg(kSilenceLufs, 0, 'f', 0));
    const double wanted = target.loudnessLufs - source->lufs;
    double room = kPeakCeilingDbfs - source->truePeakDbtp - kPeakMarginDb;
    for (int tries = 0; tries < kPeakTries; ++tries) {
        const double gain = std::min(wanted, room);
        Result<detail::QualityFit> fit =
            detail::fitQuality(withGain(shaped, gain), target.maxBytes, stop);
        if (!fit)
            return fit.failure();
        if (!fit->best)
            return refuseTooLong(shaped, name, seconds, false, target.maxBytes, stop);
        const Result<Levels> result = measureOgg(fit->best->ogg, stop);
        if (!result)
            return result.failure();
        if (result->truePeakDbtp <= kPeakCeilingDbfs) {
            Converted out;
            out.sourceName = name;
            out.ogg = std::move(fit->best->ogg);
            out.sampleRate = shaped.sampleRate;
            out.channels = shaped.channels;
            out.quality = fit->quality;
            out.loudnessChangeDb = result->lufs - source->lufs;
            out.loudnessLufs = result->lufs;
            out.truePeakDbtp = result->truePeakDbtp;
            out.peakLimited = wanted > room;
            return out;
        }
        room = gain - (result->truePeakDbtp - kPeakCeilingDbfs) - kPeakMarginDb;
    }
    return fail(QStringLiteral("%1 cannot be kept below a true peak of %2 dBTP.")
                    .arg(name)
                    .arg(kPeakCeilingDbfs, 0, 'f', 1));
}

} // namespace

Result<Converted> convertPcm(const Pcm& pcm, const QString& name, const Target& target,
                             StopFlag stop)
{
    if (const Status usable = checkTarget(target, name); !usable)
        return usable.failure();
    if (pcm.frames() == 0)
        return fail(QStringLiteral("%1 holds no sound.").arg(name));
    if (const Status bounded = checkSourceFormat(pcm.format(), name); !bounded)
        return bounded.failure();
    Result<Pcm> shaped = toFormat(pcm, target.format, stop);
    if (!shaped)
        return shaped.failure();
    if (pcm.seconds() > kMaxSourceSeconds)
        return refuseTooLong(shaped.value(), name, pcm.seconds(), false, target.maxBytes, stop);
    return levelAndFit(shaped.value(), name, pcm.seconds(), target, stop);
}

Result<Converted> convertFile(const QString& path, const Target& target, StopFlag stop)
{
    const QString name = QFileInfo(path).fileName();
    if (const Status usable = checkTarget(target, name); !usable)
        return usable.failure();
    const Result<std::unique_ptr<Decoder>> decoder = openSoundFile(path);
    if (!decoder)
        return decoder.failure();
    const double stated = decoder.value()->headerSeconds();
    const double limit = stated > kMaxSourceSeconds ? kDecodedWhenTooLong : kMaxSourceSeconds;
    const Result<Decoded> decoded = decodeAll(*decoder.value(), name, target.format, limit, stop);
    if (!decoded)
        return decoded.failure();
    const Pcm& shaped = decoded->pcm;
    if (shaped.frames() == 0)
        return fail(QStringLiteral("%1 holds no sound.").arg(name));
    if (decoded->longer) {
        const bool known = stated > kMaxSourceSeconds;
        return refuseTooLong(shaped, name, known ? stated : kMaxSourceSeconds, !known,
                             target.maxBytes, stop);
    }
    return levelAndFit(shaped, name, decoded->sourceSeconds, target, stop);
}

Failure failureOfException(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("The conversion ran out of memory."));
    } catch (const std::exception& e) {
        return fail(
            QStringLiteral("The conversion failed: %1").arg(QString::fromLocal8Bit(e.what())));
    } catch (...) {
    }
    return fail(QStringLiteral("The conversion failed."));
}

} // namespace tollvik::convert
