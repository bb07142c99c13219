#pragma once

#include "convert/convert.h"

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
    QByteArray ogg;
    qint64 headerBytes = 0;      // the three header pages at its start
    bool over = false;           // passed maxBytes; ogg is then incomplete
    double secondsEncoded = 0.0; // of sound in the pages written
};
[[nodiscard]] Result<EncodeRun> encodeUpTo(const Pcm& pcm, float quality, qint64 maxBytes,
                                           StopFlag stop);

// libvorbisenc's own estimate of a quality's bitrate at a format, in bits per second.
[[nodiscard]] double nominalBitrate(SoundFormat format, float quality);

// The length of a sound file from its header, without decoding it (-1 when not known).
[[nodiscard]] Result<double> soundFileSeconds(const QString& path);

} // namespace tollvik::convert::detail
