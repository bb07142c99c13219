#pragma once

#include "convert/convert.h"

#include <optional>
#include <vector>

namespace tollvik::convert::detail {

[[nodiscard]] inline bool stopped(StopFlag stop)
{
    return stop != nullptr && stop->load(std::memory_order_relaxed);
}

[[nodiscard]] inline Failure cancelled()
{
    return fail(QStringLiteral("The conversion was cancelled."), Refusal::Cancelled);
}

// "m:ss", rounded down to whole seconds.
[[nodiscard]] QString minutesSeconds(double seconds);

// The refusal of a sound that no slot can hold.
[[nodiscard]] Failure tooLong(const QString& name, double seconds, double maxSeconds);

// One encode that gives up as soon as its output passes maxBytes (when maxBytes > 0).
struct EncodeRun
{
    struct Mark
    {
        qint64 frames = 0; // of sound in the pages written
        qint64 bytes = 0;  // of the stream so far
    };
    QByteArray ogg;
    qint64 headerBytes = 0;      // the three header pages at its start
    bool over = false;           // passed maxBytes (or would: see encodeUpTo); ogg is incomplete
    double secondsEncoded = 0.0; // of sound in the pages written
    std::vector<Mark> marks;     // how the stream grew, one mark per step of the encoder
};
// With `floor`, a complete encode of the same sound at a lower quality, the encode also gives up
// once its output so far plus what the floor still added after that point passes maxBytes: at a
// higher quality every stretch of the sound takes at least as many bytes.
[[nodiscard]] Result<EncodeRun> encodeUpTo(const Pcm& pcm, float quality, qint64 maxBytes,
                                           StopFlag stop, const EncodeRun* floor = nullptr);

// The quality steps tried: -0.1, 0.0, 0.1 .. 1.0.
constexpr int kQualitySteps = 12;
[[nodiscard]] float qualityAt(int step);

// The highest quality step whose stream of the whole sound fits maxBytes.
struct QualityFit
{
    std::optional<EncodeRun> best; // none when not even the lowest quality fits
    float quality = 0.0f;
    double lowestBytesPerSecond = 0.0; // of the sound, measured when even that was too big
};
[[nodiscard]] Result<QualityFit> fitQuality(const Pcm& pcm, qint64 maxBytes, StopFlag stop);

// libvorbisenc's own estimate of a quality's bitrate at a format, in bits per second.
[[nodiscard]] double nominalBitrate(SoundFormat format, float quality);

// The length of a sound file from its header, without decoding it (-1 when not known).
[[nodiscard]] Result<double> soundFileSeconds(const QString& path);

} // namespace tollvik::convert::detail
