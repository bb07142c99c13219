// Decoding with libsndfile, from a file or from memory.

#include "internal.h"

#include <QFile>
#include <QFileInfo>
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

struct OpenSound
{
    SndFilePtr file;
    SF_INFO info{};
};

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

Result<OpenSound> openFile(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("%1 does not exist or is not a file.").arg(name));
    OpenSound sound;
    sound.file.reset(sf_open(QFile::encodeName(path).constData(), SFM_READ, &sound.info));
    if (sound.file)
        return sound;
    if (sf_error(nullptr) == SF_ERR_SYSTEM)
        return fail(QStringLiteral("%1 cannot be read: %2")
                        .arg(name, QString::fromUtf8(sf_strerror(nullptr))));
    return notSound(name);
}

// Reads every frame. Non-finite samples (from broken float files) become silence.
Result<Pcm> readAll(const OpenSound& sound, const QString& name, StopFlag stop)
{
    const SF_INFO& info = sound.info;
    if (info.channels <= 0 || info.samplerate <= 0)
        return notSound(name);
    Pcm pcm;
    pcm.sampleRate = info.samplerate;
    pcm.channels = info.channels;
    const auto maxFrames = static_cast<qint64>(kMaxSourceSeconds * info.samplerate);
    if (info.frames > 0 && info.frames <= maxFrames)
        pcm.samples.reserve(static_cast<size_t>(info.frames * info.channels));
    constexpr sf_count_t kChunkFrames = 16384;
    for (;;) {
        if (detail::stopped(stop))
            return detail::cancelled();
        const size_t old = pcm.samples.size();
        pcm.samples.resize(old + static_cast<size_t>(kChunkFrames * info.channels));
        const sf_count_t got =
            sf_readf_float(sound.file.get(), pcm.samples.data() + old, kChunkFrames);
        pcm.samples.resize(old + static_cast<size_t>(std::max<sf_count_t>(got, 0) * info.channels));
        if (got <= 0)
            break;
        if (pcm.frames() > maxFrames)
            return fail(QStringLiteral("%1 is longer than %2; longer sounds are not read.")
                            .arg(name, detail::minutesSeconds(kMaxSourceSeconds)));
    }
    if (sf_error(sound.file.get()) != SF_ERR_NO_ERROR)
        return fail(QStringLiteral("%1 cannot be decoded: %2")
                        .arg(name, QString::fromUtf8(sf_strerror(sound.file.get()))));
    std::replace_if(
        pcm.samples.begin(), pcm.samples.end(), [](float v) { return !std::isfinite(v); }, 0.0f);
    return pcm;
}

} // namespace

qint64 Pcm::frames() const
{
    return channels > 0 ? static_cast<qint64>(samples.size()) / channels : 0;
}

double Pcm::seconds() const
{
    return sampleRate > 0 ? static_cast<double>(frames()) / sampleRate : 0.0;
}

Result<Pcm> decodeFile(const QString& path, StopFlag stop)
{
    Result<OpenSound> sound = openFile(path);
    if (!sound)
        return sound.failure();
    return readAll(sound.value(), QFileInfo(path).fileName(), stop);
}

Result<Pcm> decodeMemory(QByteArrayView bytes, const QString& name, StopFlag stop)
{
    SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    MemoryFile memory{bytes, 0};
    OpenSound sound;
    sound.file.reset(sf_open_virtual(&io, SFM_READ, &sound.info, &memory));
    if (!sound.file)
        return notSound(name);
    return readAll(sound, name, stop);
}

Result<double> detail::soundFileSeconds(const QString& path)
{
    Result<OpenSound> sound = openFile(path);
    if (!sound)
        return sound.failure();
    const SF_INFO& info = sound->info;
    if (info.samplerate <= 0 || info.frames <= 0 || info.frames == SF_COUNT_MAX)
        return -1.0;
    return static_cast<double>(info.frames) / info.samplerate;
}

} // namespace tollvik::convert
