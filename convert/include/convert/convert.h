#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <atomic>
#include <exception>
#include <utility>
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
// The true peak (ITU-R BS.1770, 4x oversampled) of a converted sound, measured on the encoded
// sound decoded again, stays at or below this level: EBU R 128's ceiling for lossy sounds.
constexpr double kPeakCeilingDbfs = -1.0;
// Decoding stops, and the sound is refused, once it passes this length: no slot holds even half
// of that, however the sound is encoded. Memory grows with the sound decoded, never with what a
// header claims.
constexpr double kMaxSourceSeconds = 600.0;
// A sound to decode has a rate and channel count within these, or is refused before decoding.
constexpr int kMinSourceRate = 1000;
constexpr int kMaxSourceRate = 384000;
constexpr int kMaxSourceChannels = 8;
// What a slot sound is, and so what a conversion for a slot may target.
constexpr int kMinSlotRate = 8000;
constexpr int kMaxSlotRate = 48000;
constexpr int kMaxSlotChannels = 2;
// A source whose integrated loudness is below this (or that has none) is refused as silent.
constexpr double kSilenceLufs = -70.0;

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

// Decodes any file libsndfile reads (WAV, AIFF, FLAC, Opus, MP3, ...); Ogg Vorbis, chained
// streams included, with libvorbisfile (chained streams of different formats are refused). A
// rate or channel count outside kMinSourceRate..kMaxSourceRate, 1..kMaxSourceChannels is
// refused before decoding, a sound longer than kMaxSourceSeconds as soon as the decode passes
// that length.
[[nodiscard]] Result<Pcm> decodeFile(const QString& path, StopFlag stop = nullptr);
// Decodes a sound held in memory, such as an archive's slot sound; `name` names it in messages.
[[nodiscard]] Result<Pcm> decodeMemory(QByteArrayView bytes, const QString& name,
                                       StopFlag stop = nullptr);

// The sample rate and channel count from the identification header of an Ogg Vorbis stream.
[[nodiscard]] Result<SoundFormat> oggFormat(QByteArrayView ogg);
// The length in seconds of an Ogg Vorbis stream (all of its chained streams) held in memory,
// read with libvorbisfile from its pages' positions: nothing is decoded, and a rate or channel
// count outside the limits above is refused before the stream is opened.
[[nodiscard]] Result<double> oggSeconds(QByteArrayView ogg);

// Whether a slot sound can be made for this format: kMinSlotRate..kMaxSlotRate Hz, mono or
// stereo. The failure's text is the reason, e.g. "it is 192,000 Hz with 255 channels; a slot
// sound is 8,000–48,000 Hz, mono or stereo".
[[nodiscard]] Status checkSlotFormat(SoundFormat format);

// Whether the navigator can play the sound as it is: a complete, single Ogg Vorbis stream of at
// most kMaxExternalSoundBytes (131,056) bytes in a slot sound's format, that decodes from start
// to end without error. The failure's text is the reason, to follow "is not an Ogg Vorbis sound
// the navigator can play": "it is not an Ogg file", "it is cut short", "it holds an Opus
// stream", "it holds 2 chained streams", "it is damaged at byte 4,212", ... The decode is
// bounded like decodeMemory()'s and keeps no sound.
[[nodiscard]] Status checkPlayable(QByteArrayView ogg, StopFlag stop = nullptr);

// One line for an exception caught around any call here, for a caller's boundary (a worker, a
// command's main): "The conversion ran out of memory." for std::bad_alloc. Nothing here
// catches what it does not expect; its callers do, with this.
[[nodiscard]] Failure failureOfException(std::exception_ptr error);

// Mixes to the channel count (to mono averages all channels; otherwise the first channels are
// kept, the last one repeated as needed: mono to stereo duplicates) and resamples with libsoxr's
// high quality.
[[nodiscard]] Result<Pcm> toFormat(const Pcm& pcm, SoundFormat format, StopFlag stop = nullptr);

// Integrated loudness in LUFS; -infinity for silence. A sound shorter than the 400 ms gating
// block is measured as if it were played over and over for that long.
[[nodiscard]] Result<double> loudness(const Pcm& pcm);
// The true peak in dBTP (libebur128's 4x oversampling), the highest of all channels;
// -infinity for silence.
[[nodiscard]] Result<double> truePeak(const Pcm& pcm);
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
    Target() = default;
    Target(SoundFormat f, double lufs, qint64 max, QString why = {})
        : format(f), loudnessLufs(lufs), maxBytes(max), refusal(std::move(why))
    {}

    SoundFormat format; // of the slot's own sound
    double loudnessLufs = kDefaultLoudnessLufs;
    qint64 maxBytes = 0; // kMaxExternalSoundBytes for a slot
    // Set when no sound can be made for the slot (its own sound is of a format no slot sound
    // has): every conversion for it is refused with this line.
    QString refusal;
};

struct Converted
{
    QString sourceName; // as in the log line
    QByteArray ogg;     // a complete Ogg Vorbis stream
    int sampleRate = 0;
    int channels = 0;
    float quality = 0.0f; // the highest of -0.1, 0.0, 0.1 .. 1.0 that fits
    // Measured on the encoded sound decoded again: its loudness less the source's (at the
    // target's format), its loudness and its true peak.
    double loudnessChangeDb = 0.0; // in dB (= LU)
    double loudnessLufs = 0.0;
    double truePeakDbtp = 0.0;
    // The gain was held back so that the true peak stays at or below kPeakCeilingDbfs: the
    // sound is quieter than the target. (No limiter is applied; the sound itself is not altered.)
    bool peakLimited = false;
    bool rateLowered = false; // always false: a conversion keeps the target's rate
};

// Converts a sound file: decode, mix and resample to the target format, match the loudness, then
// the highest Vorbis quality that fits, always at the target's rate and channels. A sound that
// fits not even at the lowest quality is refused with a line that says how long it is and how
// long a sound like it can be in a slot at that format, measured the same way for every sound;
// a silent sound is refused as silent.
[[nodiscard]] Result<Converted> convertFile(const QString& path, const Target& target,
                                            StopFlag stop = nullptr);
// The same for decoded or spoken sound; `name` names it in messages and in the log line.
[[nodiscard]] Result<Converted> convertPcm(const Pcm& pcm, const QString& name,
                                           const Target& target, StopFlag stop = nullptr);

// The progress log's line for a converted sound, e.g.
// "Converted song.wav: 22050 Hz, 1 channel, 48,213 bytes, quality 0.6, loudness +3.2 dB to
// -16.0 LUFS, true peak -3.4 dBTP".
[[nodiscard]] QString describe(const Converted& converted);

} // namespace tollvik::convert
