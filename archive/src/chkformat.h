#pragma once

#include "archive/archive.h"

#include <QByteArray>
#include <QIODevice>

namespace tollvik::chk {

// Size of the fixed header in front of a slot sound's data.
constexpr qint64 kEntryHeaderSize = 16;

// The number at pos in bytes, most significant byte first. The caller has checked the range.
[[nodiscard]] inline qint32 get_long(const QByteArray& bytes, qsizetype pos)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData()) + pos;
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

// parseChk over an open device (a file, or bytes already read into a buffer).
[[nodiscard]] ChkParse parseDevice(QIODevice& device);

// Logs the listing of an archive the reader has accepted, and returns what the window shows.
[[nodiscard]] ChkListing listDescription(const ChkDescription& description, LogSink& log);

} // namespace tollvik::chk
