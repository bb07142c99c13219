#pragma once

#include "convert/convert.h"

#include <memory>
#include <optional>
#include <vector>

namespace tollvik::convert {

// A sound being decoded, handed out in chunks. A chained Ogg stream may change its format from
// one chunk to the next.
class Decoder
{
public:
    virtual ~Decoder() = default;
    // The next frames, interleaved, replacing `chunk`'s contents, and their format; an empty
    // chunk at the end of the sound.
    [[nodiscard]] virtual Status next(std::vector<float>& chunk, SoundFormat& format) = 0;
    // The length the header states, in seconds; -1 when it states none.
    [[nodiscard]] virtual double headerSeconds() const = 0;
    // Whether that length is exact (an Ogg stream's page positions), so that a decode that ends
    // short of it has lost part of the sound.
    [[nodiscard]] virtual bool statesExactLength() const { return false; }
};

// Refuses a rate or channel count outside the source limits before anything is decoded.
[[nodiscard]] Status checkSourceFormat(SoundFormat format, const QString& name);

// A decoder of a file: libvorbisfile for Ogg Vorbis, libsndfile for the rest.
[[nodiscard]] Result<std::unique_ptr<Decoder>> openSoundFile(const QString& path);
// A decoder of a sound in memory; `bytes` must outlive it.
[[nodiscard]] Result<std::unique_ptr<Decoder>> openSoundMemory(QByteArrayView bytes,
                                                               const QString& name);
// libvorbisfile over a file or over memory (whichever is set); refuses what oggFormat()
// refuses, and formats outside the source limits, before the stream is opened.
[[nodiscard]] Result<std::unique_ptr<Decoder>> openVorbis(const QString& path, QByteArrayView bytes,
                                                          const QString& name);
[[nodiscard]] bool isOggVorbis(QByteArrayView start);

// Mixes and resamples a stream of chunks into one format as they come; the resampler's buffers
// are sized by the chunk, never by the whole sound.
class Shaper
{
public:
    Shaper(SoundFormat from, SoundFormat to);
    ~Shaper();
    Shaper(const Shaper&) = delete;
    Shaper& operator=(const Shaper&) = delete;
    // Appends the shaped frames of `frames` interleaved frames to `out`.
    [[nodiscard]] Status push(const float* samples, qint64 frames, std::vector<float>& out);
    // Drains the resampler into `out`.
    [[nodiscard]] Status finish(std::vector<float>& out);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// A whole decode: into `into` when set (each chunk shaped as it comes, a chained stream's
// formats each shaped their way), else at the source's format, which must not change. It stops
// once the decoded sound passes limitSeconds: `longer` is set and pcm holds what came so far.
struct Decoded
{
    Pcm pcm;
    double sourceSeconds = 0.0; // of the sound decoded
    bool longer = false;
};
[[nodiscard]] Result<Decoded> decodeAll(Decoder& decoder, const QString& name,
                                        std::optional<SoundFormat> into, double limitSeconds,
                                        StopFlag stop);

// The loudness and true peak of a stream of chunks, measured as they come.
class Meter
{
public:
    Meter();
    ~Meter();
    Meter(const Meter&) = delete;
    Meter& operator=(const Meter&) = delete;
    [[nodiscard]] Status add(const float* samples, qint64 frames, SoundFormat format);
    [[nodiscard]] Result<double> loudness();
    [[nodiscard]] Result<double> truePeak() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Integrated loudness (LUFS) and true peak (dBTP) of a sound, measured in one pass: the true
// peak's oversampling costs more than the rest of the conversion's measuring.
struct Levels
{
    double lufs = 0.0;
    double truePeakDbtp = 0.0;
};
[[nodiscard]] Result<Levels> levels(const Pcm& pcm);

} // namespace tollvik::convert

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

// The refusal of a sound that no slot can hold: its length ("longer than" when the decode
// stopped at the limit) and the longest a sound like it can be at the format.
[[nodiscard]] Failure tooLong(const QString& name, double seconds, bool longer, double maxSeconds,
                              SoundFormat format);

// "22,050 Hz mono", "44,100 Hz stereo", "192,000 Hz with 255 channels".
[[nodiscard]] QString formatText(SoundFormat format);

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

} // namespace tollvik::convert::detail
