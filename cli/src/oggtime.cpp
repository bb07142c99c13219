#include "oggtime.h"

#include <algorithm>
#include <cstring>
#include <vorbis/vorbisfile.h>

namespace tollvik::cli {
namespace {

// libvorbisfile reads the stream from memory through these callbacks.
struct MemoryStream
{
    const QByteArray* bytes;
    qint64 position = 0;
};

size_t readMemory(void* target, size_t size, size_t count, void* source)
{
    auto* stream = static_cast<MemoryStream*>(source);
    const qint64 left = stream->bytes->size() - stream->position;
    const auto wanted = static_cast<qint64>(size * count);
    const qint64 n = std::clamp<qint64>(wanted, 0, left);
    std::memcpy(target, stream->bytes->constData() + stream->position, static_cast<size_t>(n));
    stream->position += n;
    return size == 0 ? 0 : static_cast<size_t>(n) / size;
}

int seekMemory(void* source, ogg_int64_t offset, int whence)
{
    auto* stream = static_cast<MemoryStream*>(source);
    const qint64 base = whence == SEEK_CUR   ? stream->position
                        : whence == SEEK_END ? stream->bytes->size()
                                             : 0;
    const qint64 position = base + offset;
    if (position < 0 || position > stream->bytes->size())
        return -1;
    stream->position = position;
    return 0;
}

long tellMemory(void* source)
{
    return static_cast<long>(static_cast<MemoryStream*>(source)->position);
}

} // namespace

double oggSeconds(const QByteArray& ogg)
{
    MemoryStream stream{&ogg};
    OggVorbis_File file;
    const ov_callbacks callbacks{readMemory, seekMemory, nullptr, tellMemory};
    if (ov_open_callbacks(&stream, &file, nullptr, 0, callbacks) != 0)
        return -1;
    const double seconds = ov_time_total(&file, -1);
    ov_clear(&file);
    return seconds < 0 ? -1 : seconds;
}

} // namespace tollvik::cli
