#include "archive/entries.h"
#include "chkformat.h"
#include "chktable.h"
#include "core/fileio.h"

#include <algorithm>

namespace tollvik {
namespace {

using chk::OffsetTable;

// The offsets of entries 1..N and the end offset. The split must join back to the very bytes,
// so it takes only a table that describes them exactly.
Result<OffsetTable> readOffsets(QByteArrayView archive)
{
    const qint64 size = archive.size();
    OffsetTable table = chk::readOffsetTable(archive, size);
    if (!table.hasCount)
        return fail(QStringLiteral("the file is only %1 bytes long").arg(size));
    if (!table.withinLimits)
        return fail(chk::limitRefusal(table));
    const qint32 n = table.entryCount;
    if (n < 0)
        return fail(QStringLiteral("its entry count is 2^31 or more"));
    if (!table.fits)
        return fail(
            QStringLiteral("the offset table of %1 entries runs past the end of the file").arg(n));
    const auto firstOutside = [&table] {
        if (table.firstFalling < 0 || table.firstPastEnd < 0)
            return std::max(table.firstFalling, table.firstPastEnd);
        return std::min(table.firstFalling, table.firstPastEnd);
    }();
    if (firstOutside >= 0)
        return fail(QStringLiteral("offset %1 of the table (%2) lies outside the entries")
                        .arg(firstOutside + 1)
                        .arg(table.offsets[std::size_t(firstOutside)]));
    if (!table.endIsLength)
        return fail(QStringLiteral("its end offset %1 is not its length %2")
                        .arg(table.offsets.back())
                        .arg(size));
    return table;
}

} // namespace

Result<ChkParts> splitChk(QByteArrayView archive)
{
    const Result<OffsetTable> table = readOffsets(archive);
    if (!table)
        return table.failure();
    const std::vector<qint32>& at = table->offsets;
    const qint64 tableEnd = table->tableEnd();
    ChkParts parts;
    parts.gap = archive.sliced(tableEnd, at.front() - tableEnd);
    parts.entries.reserve(qsizetype(at.size()) - 1);
    for (std::size_t i = 0; i + 1 < at.size(); ++i)
        parts.entries.append(archive.sliced(at[i], qint64(at[i + 1]) - at[i]));
    return parts;
}

Result<SplitArchive> readSplitArchive(const QString& path)
{
    const auto notAnArchive = [&path](const QString& why) {
        return fail(QStringLiteral("%1 is not a sound archive: %2").arg(path, why));
    };
    if (const Status within = checkArchiveLimits(path); !within)
        return notAnArchive(within.error());
    Result<QByteArray> bytes = readWholeFile(path, kArchiveSizeLimit);
    if (!bytes)
        return fail(QStringLiteral("cannot read %1: %2").arg(path, bytes.error()));
    const Result<ChkParts> parts = splitChk(bytes.value());
    if (!parts)
        return notAnArchive(parts.error());
    // Moving the buffer keeps its data where it is, so the views stay valid.
    return SplitArchive(std::move(bytes).value(), parts.value());
}

Result<QByteArray> joinChk(const ChkContents& contents)
{
    const qint64 n = contents.entries.size();
    qint64 size = 4 + 4 * (n + 1) + contents.gap.size();
    for (const QByteArray& entry : contents.entries)
        size += entry.size();
    if (size > kMaxArchiveBytes)
        return fail(QStringLiteral("the archive would be longer than an archive can describe"));
    QByteArray archive;
    archive.reserve(size);
    chk::put_long(archive, static_cast<qint32>(n));
    qint64 offset = 4 + 4 * (n + 1) + contents.gap.size();
    for (const QByteArray& entry : contents.entries) {
        chk::put_long(archive, static_cast<qint32>(offset));
        offset += entry.size();
    }
    chk::put_long(archive, static_cast<qint32>(offset));
    archive.append(contents.gap);
    for (const QByteArray& entry : contents.entries)
        archive.append(entry);
    return archive;
}

QByteArrayView oggOfEntry(QByteArrayView entry, bool canonicalOnly)
{
    if (entry.size() < chk::kEntryHeaderSize + 4)
        return {};
    const qint64 length = chk::get_long(entry, 12);
    if (length < 4 || length > entry.size() - chk::kEntryHeaderSize)
        return {};
    const QByteArrayView ogg = entry.sliced(chk::kEntryHeaderSize, length);
    if (!ogg.startsWith("OggS"))
        return {};
    if (canonicalOnly) {
        const Result<QByteArray> again = soundEntry(ogg);
        if (!again || again.value() != entry)
            return {};
    }
    return ogg;
}

Result<QByteArray> soundEntry(QByteArrayView ogg)
{
    if (!ogg.startsWith("OggS"))
        return fail(QStringLiteral("it does not begin like an Ogg stream"));
    if (ogg.size() > kMaxExternalSoundBytes)
        return fail(QStringLiteral("it is %1 bytes long; a sound entry holds at most %2")
                        .arg(ogg.size())
                        .arg(kMaxExternalSoundBytes));
    const qint64 padded = (ogg.size() + 3) / 4 * 4;
    const auto words = static_cast<quint16>((padded + 12) / 4);
    QByteArray entry;
    entry.reserve(chk::kEntryHeaderSize + padded);
    entry.append(char(0x01)).append(char(0x00));
    entry.append(static_cast<char>(words >> 8)).append(static_cast<char>(words & 0xFF));
    chk::put_long(entry, 1);
    chk::put_long(entry, 8);
    chk::put_long(entry, static_cast<qint32>(ogg.size()));
    entry.append(ogg);
    entry.append(padded - ogg.size(), '\0');
    return entry;
}

} // namespace tollvik
