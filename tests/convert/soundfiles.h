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

// A quiet 1 kHz tone (peak 0.1) with a 10 ms burst every half second of a sine at a quarter of
// the rate (peak 0.5) whose samples fall 45 degrees off its crests: the bursts' true peaks are
// 3 dB above their samples, and they set the peaks, not the loudness.
[[nodiscard]] convert::Pcm overshootingBursts(double seconds, int rate);

// The Ogg stream with its first page's checksum set again after an edit.
[[nodiscard]] QByteArray withFirstPageChecksum(QByteArray ogg);

// A WAV file of 16-bit PCM whose header states `rate` Hz, holding `frames` frames of silence.
[[nodiscard]] QByteArray wavStating(quint32 rate, int channels, int frames);

// An Ogg Opus stream, written with libsndfile.
[[nodiscard]] QByteArray oggOpus(const QString& scratchPath);

} // namespace tollvik::test
