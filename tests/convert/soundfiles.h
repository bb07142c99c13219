#pragma once

#include "convert/convert.h"

#include <QByteArray>
#include <QString>

namespace tollvik::test {

// Sounds made by the tests: interleaved, the same signal on every channel unless stated.
[[nodiscard]] convert::Pcm sine(double frequencyHz, double amplitude, double seconds, int rate,
                                int channels);
// Uniform white noise from a fixed seed.
[[nodiscard]] convert::Pcm noise(double amplitude, double seconds, int rate, int channels);
// A tone in a little noise, peaks below half scale: something like a recorded sound.
[[nodiscard]] convert::Pcm toneInNoise(double seconds, int rate, int channels);
// A quiet tone with a full-scale click every half second: loud peaks, little loudness.
[[nodiscard]] convert::Pcm clicks(double seconds, int rate);

// Writes a sound file with libsndfile; format is an SF_FORMAT_* major | subtype.
[[nodiscard]] bool writeSoundFile(const QString& path, const convert::Pcm& pcm, int format);

// An Ogg Vorbis stream decoded with libvorbisfile; channels = 0 when it does not decode.
[[nodiscard]] convert::Pcm decodeWithVorbisfile(const QByteArray& ogg);

[[nodiscard]] float peakOf(const convert::Pcm& pcm);

} // namespace tollvik::test
