#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QList>

namespace tollvik {

// Every entry of a sound archive, for tools that work on the whole archive rather than on the
// 30 warning slots: split into entries and joined back, byte for byte.
struct ChkContents
{
    // Bytes between the offset table and the first entry; empty in a well-formed archive, kept
    // so that an archive with a gap there still joins back to the same bytes.
    QByteArray gap;
    QList<QByteArray> entries; // entries 1..N, each exactly as it lies in the file
};

// Splits an archive. Refuses an archive whose count, offset table or offsets do not describe
// the bytes exactly: the table must lie inside the file, the offsets must not decrease, the
// first entry must not start inside the table and the end offset must equal the length.
[[nodiscard]] Result<ChkContents> splitChk(const QByteArray& archive);

// The archive of these entries: count, offsets, gap, entries. Refuses more than an archive can
// describe (offsets are signed 32-bit numbers).
[[nodiscard]] Result<QByteArray> joinChk(const ChkContents& contents);

// The Ogg stream a slot entry carries (16-byte header, data, zero padding), or an empty array
// when the entry is not a sound entry. With `canonicalOnly`, only an entry that soundEntry()
// would write again byte for byte counts.
[[nodiscard]] QByteArray oggOfEntry(const QByteArray& entry, bool canonicalOnly = false);

// A slot entry as the builder writes it: 01 00, the word count, 1, 8, the data length, the Ogg
// data and zero padding to a multiple of four bytes. Refuses data that does not begin like Ogg
// and data longer than kMaxExternalSoundBytes, whose word count would not fit.
[[nodiscard]] Result<QByteArray> soundEntry(const QByteArray& ogg);

} // namespace tollvik
