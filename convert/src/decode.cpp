// Decoding with libsndfile, from a file or from memory.

#include "internal.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <sndfile.h>

namespace tollvik::convert {
namespace {

struct SndFileCloser
{
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

// The bytes a virtual sound file reads from.
struct MemoryFile
{
    QByteArrayView bytes;
    sf_count_t position = 0;
};

MemoryFile& memoryOf(void* user)
{
    return *static_cast<MemoryFile*>(user);
}

sf_count_t memoryLength(void* user)
{
    return memoryOf(user).bytes.size();
}

sf_count_t memorySeek(sf_count_t offset, int whence, void* user)
{
    MemoryFile& m = memoryOf(user);
    const sf_count_t base = whence == SEEK_CUR   ? m.position
                            : whence == SEEK_END ? m.bytes.size()
                                                 : 0;
    if (base + offset < 0)
        return -1;
    m.position = base + offset;
    return m.position;
}

sf_count_t memoryRead(void* to, sf_count_t count, void* user)
{
    MemoryFile& m = memoryOf(user);
    const sf_count_t left = std::max<sf_count_t>(0, m.bytes.size() - m.position);
    const sf_count_t n = std::clamp<sf_count_t>(count, 0, left);
    if (n > 0)
        std::memcpy(to, m.bytes.data() + m.position, static_cast<size_t>(n));
    m.position += n;
    return n;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t memoryTell(void* user)
{
    return memoryOf(user).position;
}

Failure notSound(const QString& name)
{
    return fail(QStringLiteral("%1 is not a sound file libsndfile can read.").arg(name));
}

// libsndfile's decoder; `memory` is its virtual file when it reads from memory.
class SndDecoder final : public Decoder
{
public:
    SndDecoder(std::unique_ptr<MemoryFile> memory, SndFilePtr file, const SF_INFO& info)
        : m_memory(std::move(memory)), m_file(std::move(file)), m_info(info)
    {}

    Status next(std::vector<float>& chunk, SoundFormat& format) override
    {
        constexpr sf_count_t kChunkFrames = 16384;
        format = {m_info.samplerate, m_info.channels};
        chunk.resize(static_cast<size_t>(kChunkFrames * m_info.channels));
        const sf_count_t got = sf_readf_float(m_file.get(), chunk.data(), kChunkFrames);
        chunk.resize(static_cast<size_t>(std::max<sf_count_t>(got, 0) * m_info.channels));
        if (got <= 0 && sf_error(m_file.get()) != SF_ERR_NO_ERROR)
            return fail(QString::fromUtf8(sf_strerror(m_file.get())));
        return {};
    }

    double headerSeconds() const override
    {
        if (m_info.frames <= 0 || m_info.frames == SF_COUNT_MAX)
            return -1.0;
        return static_cast<double>(m_info.frames) / m_info.samplerate;
    }

private:
    std::unique_ptr<MemoryFile> m_memory;
    SndFilePtr m_file;
    SF_INFO m_info;
};

Result<std::unique_ptr<Decoder>> sndDecoder(std::unique_ptr<MemoryFile> memory, SndFilePtr file,
                                            const SF_INFO& info, const QString& name)
{
    if (const Status bounded = checkSourceFormat({info.samplerate, info.channels}, name); !bounded)
        return bounded.failure();
    return std::unique_ptr<Decoder>(
        std::make_unique<SndDecoder>(std::move(memory), std::move(file), info));
}

QByteArray fileStart(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
}

// Keeps what came from one chunk, shaped when asked to.
Status take(Decoded& out, std::optional<Shaper>& shaper, std::optional<SoundFormat> into,
            const std::vector<float>& chunk, SoundFormat format, const QString& name)
{
    const qint64 frames = static_cast<qint64>(chunk.size()) / format.channels;
    if (!into) {
        if (out.pcm.channels != 0 && out.pcm.format() != format)
            return fail(
                QStringLiteral("%1 holds chained streams of different formats (%2, then "
                               "%3).")
                    .arg(name, detail::formatText(out.pcm.format()), detail::formatText(format)));
        out.pcm.sampleRate = format.sampleRate;
        out.pcm.channels = format.channels;
        out.pcm.samples.insert(out.pcm.samples.end(), chunk.begin(), chunk.end());
        return {};
    }
    return shaper->push(chunk.data(), frames, out.pcm.samples);
}

} // namespace

Status checkSourceFormat(SoundFormat format, const QString& name)
{
    if (format.sampleRate >= kMinSourceRate && format.sampleRate <= kMaxSourceRate &&
        format.channels >= 1 && format.channels <= kMaxSourceChannels)
        return {};
    return fail(QStringLiteral("%1 is %2; a sound to convert is %3–%4 Hz with 1 to %5 channels.")
                    .arg(name, detail::formatText(format),
                         QLocale(QLocale::English).toString(kMinSourceRate),
                         QLocale(QLocale::English).toString(kMaxSourceRate))
                    .arg(kMaxSourceChannels));
}

Result<std::unique_ptr<Decoder>> openSoundFile(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("%1 does not exist or is not a file.").arg(name));
    if (isOggVorbis(fileStart(path)))
        return openVorbis(path, {}, name);
    SF_INFO info{};
    SndFilePtr file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (file)
        return sndDecoder(nullptr, std::move(file), info, name);
    if (sf_error(nullptr) == SF_ERR_SYSTEM)
        return fail(QStringLiteral("%1 cannot be read: %2")
                        .arg(name, QString::fromUtf8(sf_strerror(nullptr))));
    return notSound(name);
}

Result<std::unique_ptr<Decoder>> openSoundMemory(QByteArrayView bytes, const QString& name)
{
    if (isOggVorbis(bytes))
        return openVorbis({}, bytes, name);
    SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    auto memory = std::make_unique<MemoryFile>(MemoryFile{bytes, 0});
    SF_INFO info{};
    SndFilePtr file(sf_open_virtual(&io, SFM_READ, &info, memory.get()));
    if (!file)
        return notSound(name);
    return sndDecoder(std::move(memory), std::move(file), info, name);
}

Result<Decoded> decodeAll(Decoder& decoder, const QString& name, std::optional<SoundFormat> into,
                          double limitSeconds, StopFlag stop)
{
    Decoded out;
    std::optional<Shaper> shaper;
    SoundFormat shaping{};
    std::vector<float> chunk;
    for (;;) {
        if (detail::stopped(stop))
            return detail::cancelled();
        SoundFormat format{};
        if (const Status got = decoder.next(chunk, format); !got)
            return fail(QStringLiteral("%1 cannot be decoded: %2").arg(name, got.error()));
        if (chunk.empty())
            break;
        if (const Status bounded = checkSourceFormat(format, name); !bounded)
            return bounded.failure();
        std::replace_if(
            chunk.begin(), chunk.end(), [](float v) { return !std::isfinite(v); }, 0.0f);
        if (into && (!shaper || shaping != format)) {
            if (shaper)
                if (const Status drained = shaper->finish(out.pcm.samples); !drained)
                    return drained.failure();
            shaper.emplace(format, *into);
            shaping = format;
            out.pcm.sampleRate = into->sampleRate;
            out.pcm.channels = into->channels;
        }
        if (const Status kept = take(out, shaper, into, chunk, format, name); !kept)
            return kept.failure();
        out.sourceSeconds +=
            static_cast<double>(chunk.size()) / format.channels / format.sampleRate;
        if (out.sourceSeconds > limitSeconds) {
            out.longer = true;
            return out;
        }
    }
    if (shaper)
        if (const Status drained = shaper->finish(out.pcm.samples); !drained)
            return drained.failure();
    // Never a silent cut: a stream that decodes to less than its pages state is refused.
    const double stated = decoder.headerSeconds();
    if (decoder.statesExactLength() && stated > 0 && out.sourceSeconds < stated - 0.05)
        return fail(QStringLiteral("%1 decodes to only %2 of its %3; part of it cannot be decoded.")
                        .arg(name, detail::minutesSeconds(out.sourceSeconds),
                             detail::minutesSeconds(stated)));
    return out;
}

qint64 Pcm::frames() const
{
    return channels > 0 ? static_cast<qint64>(samples.size()) / channels : 0;
}

double Pcm::seconds() const
{
    return sampleRate > 0 ? static_cast<double>(frames()) / sampleRate : 0.0;
}

namespace {

Result<Pcm> decodeWhole(Result<std::unique_ptr<Decoder>> decoder, const QString& name,
                        StopFlag stop)
{
    if (!decoder)
        return decoder.failure();
    Result<Decoded> decoded =
        decodeAll(*decoder.value(), name, std::nullopt, kMaxSourceSeconds, stop);
    if (!decoded)
        return decoded.failure();
    if (decoded->longer)
        return fail(QStringLiteral("%1 is longer than %2; longer sounds are not read.")
                        .arg(name, detail::minutesSeconds(kMaxSourceSeconds)));
    return std::move(decoded->pcm);
}

} // namespace

Result<Pcm> decodeFile(const QString& path, StopFlag stop)
{
    return decodeWhole(openSoundFile(path), QFileInfo(path).fileName(), stop);
}

Result<Pcm> decodeMemory(QByteArrayView bytes, const QString& name, StopFlag stop)
{
    return decodeWhole(openSoundMemory(bytes, name), name, stop);
}

} // namespace tollvik::convert
