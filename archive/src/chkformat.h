#pragma once

#include "archive/archive.h"

#include <QByteArray>
#include <QByteArrayView>
#include <limits>

namespace tollvik::chk {

// Size of the fixed header in front of a slot sound's data.
constexpr qint64 kEntryHeaderSize = 16;

// a1 is the most significant byte; a1 >= 0x80 gives a negative value.
[[nodiscard]] inline qint32 BytToLong(uchar a1, uchar a2, uchar a3, uchar a4)
{
    const quint32 u = (quint32(a1) << 24) | (quint32(a2) << 16) | (quint32(a3) << 8) | quint32(a4);
    return static_cast<qint32>(u);
}

// The number at pos, most significant byte first. The caller has checked the range.
[[nodiscard]] inline qint32 get_long(QByteArrayView bytes, qsizetype pos)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.data()) + pos;
    return BytToLong(p[0], p[1], p[2], p[3]);
}

// Appends l, most significant byte first.
inline void put_long(QByteArray& out, qint32 l)
{
    const auto u = static_cast<quint32>(l);
    out.append(static_cast<char>(u >> 24));
    out.append(static_cast<char>((u >> 16) & 0xFF));
    out.append(static_cast<char>((u >> 8) & 0xFF));
    out.append(static_cast<char>(u & 0xFF));
}

// What the reader found in an archive: its entry count and where each slot's sound lies.
struct ChkDescription
{
    qint32 entryCount = 0;
    SlotSoundTable slots{};
};

// Checks everything the listing follows: at least 31 entries, the offset table inside the
// bytes, and every slot entry's header and data inside the entry and the bytes. The end offset
// is not compared with the length here; that is the build's check.
[[nodiscard]] Result<ChkDescription> parse(QByteArrayView bytes);

// Logs the listing of an archive the reader has accepted, and returns what the window shows.
[[nodiscard]] ChkListing list(const ChkDescription& description, LogSink& log);

// Parses and lists bytes read from `name`; when they cannot be listed, logs one line saying why.
[[nodiscard]] Result<ChkListing> listBytes(const QString& name, QByteArrayView bytes, LogSink& log);

} // namespace tollvik::chk
