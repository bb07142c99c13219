#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <atomic>
#include <vector>

namespace tollvik::convert {

// Turns any sound the user picks into an Ogg Vorbis stream that a slot of the sound archive can
// hold: the sample rate and channel count of the slot's own sound, about the loudness of the
// archive's other sounds, and no more than kMaxExternalSoundBytes.
//
// Nothing here touches a widget or a global (speech.h has the one exception), so every call may
// run on a worker thread. Calls that take `stop` check it between their steps and inside their
// long loops; once it is set they return a failure of kind Refusal::Cancelled. Nothing here
// writes to disk.

using StopFlag = const std::atomic<bool>*;

// The loudness a converted sound gets when no archive sound could be measured (EBU R 128 / ITU-R
// BS.1770 integrated loudness; a common level for spoken prompts on small loudspeakers).
constexpr double kDefaultLoudnessLufs = -16.0;
// Sample peaks of a converted sound stay at or below this level, to leave the Vorbis encoder
// room for its overshoot.
constexpr double kPeakCeilingDbfs = -1.0;
// Longer sources are refused before they are decoded: no slot holds even half of that.
constexpr double kMaxSourceSeconds = 600.0;

struct SoundFormat
{
    int sampleRate = 0;
    int channels = 0;
    friend bool operator==(const SoundFormat&, const SoundFormat&) = default;
};

// Decoded sound: interleaved float samples, full scale at +-1.
struct Pcm
{
    std::vector<float> samples;
    int sampleRate = 0;
    int channels = 0;

    [[nodiscard]] SoundFormat format() const { return {sampleRate, channels}; }
    [[nodiscard]] qint64 frames() const;
    [[nodiscard]] double seconds() const;
};

// Decodes any file libsndfile reads (WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3, ...).
[[nodiscard]] Result<Pcm> decodeFile(const QString& path, StopFlag stop = nullptr);
// Decodes a sound held in memory, such as an archive's slot sound; `name` names it in messages.
[[nodiscard]] Result<Pcm> decodeMemory(QByteArrayView bytes, const QString& name,
                                       StopFlag stop = nullptr);

// The sample rate and channel count from the identification header of an Ogg Vorbis stream.
[[nodiscard]] Result<SoundFormat> oggFormat(QByteArrayView ogg);

// Mixes to the channel count (to mono averages all channels; otherwise the first channels are
// kept, the last one repeated as needed: mono to stereo duplicates) and resamples with libsoxr's
// high quality.
[[nodiscard]] Result<Pcm> toFormat(const Pcm& pcm, SoundFormat format, StopFlag stop = nullptr);

// Integrated loudness in LUFS; -infinity for silence. A sound shorter than the 400 ms gating
// block is measured as if it were played over and over for that long.
[[nodiscard]] Result<double> loudness(const Pcm& pcm);
[[nodiscard]] Result<double> oggLoudness(QByteArrayView ogg, StopFlag stop = nullptr);
// The median loudness of the archive's sounds. Silent and undecodable sounds do not count; with
// none left it is kDefaultLoudnessLufs.
[[nodiscard]] Result<double> medianLoudness(const QList<QByteArray>& oggSounds,
                                            StopFlag stop = nullptr);

// Ogg Vorbis in VBR quality mode, quality -0.1 .. 1.0. The stream's serial number is fixed, so
// the same sound at the same quality always gives the same bytes.
[[nodiscard]] Result<QByteArray> encodeOgg(const Pcm& pcm, float quality, StopFlag stop = nullptr);

// What a converted sound must match.
struct Target
{
    SoundFormat format; // of the slot's own sound
    double loudnessLufs = kDefaultLoudnessLufs;
    qint64 maxBytes = 0; // kMaxExternalSoundBytes for a slot
};

struct Converted
{
    QString sourceName; // as in the log line
    QByteArray ogg;     // a complete Ogg Vorbis stream
    int sampleRate = 0;
    int channels = 0;
    float quality = 0.0f;          // the highest of -0.1, 0.0, 0.1 .. 1.0 that fits
    double loudnessChangeDb = 0.0; // the gain applied, in dB (= LU)
    // The gain was held back so that sample peaks stay at or below kPeakCeilingDbfs: the sound
    // is quieter than the target. (No limiter is applied; the sound itself is not altered.)
    bool peakLimited = false;
    bool rateLowered = false; // sampleRate is below the target's, so that the sound fits
};

// Converts a sound file: decode, mix and resample to the target format, match the loudness, then
// the highest Vorbis quality (and only if needed a lower rate, not below 8000 Hz) that fits.
// A sound that fits in no way is refused with a line that says how long it is and about how long
// a slot's sound can be.
[[nodiscard]] Result<Converted> convertFile(const QString& path, const Target& target,
                                            StopFlag stop = nullptr);
// The same for decoded or spoken sound; `name` names it in messages and in the log line.
[[nodiscard]] Result<Converted> convertPcm(const Pcm& pcm, const QString& name,
                                           const Target& target, StopFlag stop = nullptr);

// The progress log's line for a converted sound, e.g.
// "Converted song.wav: 22050 Hz, 1 channel, 48,213 bytes, quality 0.6, loudness +3.2 dB".
[[nodiscard]] QString describe(const Converted& converted);

} // namespace tollvik::convert
