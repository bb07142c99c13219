#pragma once

#include "convert/convert.h"

#include <QString>

namespace tollvik::test {

// A 440 Hz tone of peak 0.25 in uniform noise of peak 0.05 from a fixed seed, the same on every
// channel: something like a recorded sound.
[[nodiscard]] convert::Pcm toneInNoise(double seconds, int rate, int channels);

// Writes a sound file with libsndfile; format is an SF_FORMAT_* major | subtype.
[[nodiscard]] bool writeSoundFile(const QString& path, const convert::Pcm& pcm, int format);

// An Ogg Vorbis file decoded with libvorbisfile; channels = 0 when it cannot be opened.
[[nodiscard]] convert::Pcm decodeWithVorbisfile(const QString& path);

} // namespace tollvik::test
