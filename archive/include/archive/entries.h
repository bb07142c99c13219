#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace tollvik {

// Every entry of a sound archive, for tools that work on the whole archive rather than on the
// 30 warning slots: split into entries and joined back, byte for byte.

// The pieces of an archive, each a view of the archive's own bytes: they stay valid as long as
// those bytes do, and splitting copies nothing.
struct ChkParts
{
    // Bytes between the offset table and the first entry; empty in a well-formed archive, kept
    // so that an archive with a gap there still joins back to the same bytes.
    QByteArrayView gap;
    QList<QByteArrayView> entries; // entries 1..N, each exactly as it lies in the file
};

// Entries to join, each held on its own (as read from a folder of entry files).
struct ChkContents
{
    QByteArray gap;
    QList<QByteArray> entries;
};

// Splits an archive. Refuses an archive past the readers' limits (512 MB, 65,536 entries) and
// one whose count, offset table or offsets do not describe the bytes exactly: the table must
// lie inside the file, the offsets must not decrease, the first entry must not start inside the
// table and the end offset must equal the length.
[[nodiscard]] Result<ChkParts> splitChk(QByteArrayView archive);

// An archive file read once and split into views of that one buffer, which it keeps.
class SplitArchive
{
public:
    SplitArchive(QByteArray bytes, ChkParts parts)
        : m_bytes(std::move(bytes)), m_parts(std::move(parts))
    {}
    [[nodiscard]] QByteArrayView gap() const { return m_parts.gap; }
    [[nodiscard]] const QList<QByteArrayView>& entries() const { return m_parts.entries; }

private:
    QByteArray m_bytes; // never changed, so the views above stay where it keeps its data
    ChkParts m_parts;
};

// Reads and splits an archive file, its length and count checked against the limits before it
// is read whole. The failure's text is a sentence: "cannot read PATH: why" or "PATH is not a
// sound archive: it holds 70,000 entries; an archive holds at most 65,536".
[[nodiscard]] Result<SplitArchive> readSplitArchive(const QString& path);

// The archive of these entries: count, offsets, gap, entries. Refuses more than an archive can
// describe (offsets are signed 32-bit numbers).
[[nodiscard]] Result<QByteArray> joinChk(const ChkContents& contents);

// The Ogg stream a slot entry carries (16-byte header, data, zero padding), as a view of the
// entry, or an empty view when the entry is not a sound entry. With `canonicalOnly`, only an
// entry that soundEntry() would write again byte for byte counts.
[[nodiscard]] QByteArrayView oggOfEntry(QByteArrayView entry, bool canonicalOnly = false);

// A slot entry as the builder writes it: 01 00, the word count, 1, 8, the data length, the Ogg
// data and zero padding to a multiple of four bytes. Refuses data that does not begin like Ogg
// and data longer than kMaxExternalSoundBytes, whose word count would not fit.
[[nodiscard]] Result<QByteArray> soundEntry(QByteArrayView ogg);

} // namespace tollvik
