#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace tollvik::test {

// A synthetic sound archive held in memory: entries[0] is entry 1. bytes() lays it out as the
// navigator does: the count, N + 1 big-endian offsets, the entries one after the other.
struct ChkArchive
{
    QList<QByteArray> entries;

    [[nodiscard]] int count() const { return int(entries.size()); }
    // Start offset of entry i (1-based); count() + 1 gives the end offset.
    [[nodiscard]] qint32 offsetOf(int entry) const;
    [[nodiscard]] QByteArray bytes() const;
};

// Big-endian helpers for building and checking archives.
[[nodiscard]] QByteArray be32s(std::initializer_list<qint32> values);
[[nodiscard]] qint32 be32(const QByteArray& bytes, qsizetype pos);
void putBe32(QByteArray& bytes, qsizetype pos, qint32 value);

// A slot entry: 01 00 word count, 1, 8, the length, the sound, zero padding to 4 bytes.
[[nodiscard]] QByteArray slotEntry(const QByteArray& sound);
// An entry that belongs to no slot: bytes that tell the entry apart from its neighbours.
[[nodiscard]] QByteArray fillerEntry(int entry, int size);

// Distinct real Ogg Vorbis streams, encoded once per test run.
[[nodiscard]] const QList<QByteArray>& oggSounds();

// An archive of n entries whose 30 entries before the last carry real Ogg sounds (slot s gets
// oggSounds()[s % size]) and whose other entries are fillers of varying size.
[[nodiscard]] ChkArchive makeChk(int n);

// A file that begins like an Ogg stream and is exactly size bytes long.
[[nodiscard]] QByteArray oggOfSize(int size);

// The 31 lines a listing of the archive logs: the count, then slot s's length and data offset.
[[nodiscard]] QStringList listingOf(const ChkArchive& archive);

} // namespace tollvik::test
