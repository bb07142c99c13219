// The format of an archive sound, from the identification header of its Ogg Vorbis stream.
//
// The first page of the stream: "OggS", version 0, header flags (0x02 = first page of the
// stream), granule position, serial, sequence and checksum, the segment count at byte 26 and the
// lacing values from byte 27; its body begins with the identification packet: 0x01 "vorbis",
// version (le32, 0), channels (u8), sample rate (le32), three bitrates, block sizes, framing.

#include "convert/convert.h"

namespace tollvik::convert {
namespace {

constexpr qsizetype kPageHeaderBytes = 27;
constexpr qsizetype kIdHeaderBytes = 30;
constexpr quint32 kMaxPlausibleRate = kMaxSourceRate;

Failure notVorbis(const char* why)
{
    return fail(QStringLiteral("The sound is not Ogg Vorbis: %1.").arg(QLatin1String(why)));
}

quint32 le32(QByteArrayView bytes, qsizetype at)
{
    quint32 v = 0;
    for (qsizetype i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<quint8>(bytes[at + i]);
    return v;
}

// The first packet of the first page, when the page holds all of it.
Result<QByteArrayView> firstPacket(QByteArrayView ogg)
{
    if (ogg.size() < kPageHeaderBytes || !ogg.startsWith("OggS"))
        return notVorbis("it does not begin with an Ogg page");
    if (ogg[4] != 0 || (static_cast<quint8>(ogg[5]) & 0x02) == 0)
        return notVorbis("its first page does not begin a stream");
    const qsizetype segments = static_cast<quint8>(ogg[26]);
    if (kPageHeaderBytes + segments > ogg.size())
        return notVorbis("its first page is cut short");
    qsizetype length = 0;
    bool ended = false;
    for (qsizetype i = 0; i < segments && !ended; ++i) {
        const auto lacing = static_cast<quint8>(ogg[kPageHeaderBytes + i]);
        length += lacing;
        ended = lacing < 255;
    }
    const qsizetype body = kPageHeaderBytes + segments;
    if (!ended || body + length > ogg.size())
        return notVorbis("its first page is cut short");
    return ogg.sliced(body, length);
}

} // namespace

Result<SoundFormat> oggFormat(QByteArrayView ogg)
{
    const Result<QByteArrayView> packet = firstPacket(ogg);
    if (!packet)
        return packet.failure();
    const QByteArrayView id = packet.value();
    if (id.size() < kIdHeaderBytes || id[0] != 0x01 || id.sliced(1, 6) != "vorbis")
        return notVorbis("it does not begin with a Vorbis identification header");
    if (le32(id, 7) != 0)
        return notVorbis("its Vorbis version is unknown");
    const auto channels = static_cast<quint8>(id[11]);
    const quint32 rate = le32(id, 12);
    if (channels == 0 || rate == 0 || rate > kMaxPlausibleRate)
        return notVorbis("its header gives no usable channel count or sample rate");
    return SoundFormat{static_cast<int>(rate), channels};
}

} // namespace tollvik::convert
