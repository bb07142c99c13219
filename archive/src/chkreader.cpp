#include "chkformat.h"
#include "chktable.h"
#include "core/fileio.h"

namespace tollvik {

QString slotLabel(int slot)
{
    return QStringLiteral("Sound %1").arg(slot + 1, 2, 10, QLatin1Char('0'));
}

bool isExternalSound(const QString& soundBoxText)
{
    return soundBoxText.right(3).toUpper() == QLatin1String("OGG");
}

namespace chk {
namespace {

// Slot s's entry is read through its own window [start, next): the header and the data must lie
// inside it, and it must lie inside the bytes after the offset table.
Result<SlotSound> slotSound(QByteArrayView bytes, const OffsetTable& table, int s)
{
    const qint32 entry = table.entryCount - kSlotCount + s; // 1-based
    const qint64 start = table.offsets[std::size_t(entry) - 1];
    const qint64 next = table.offsets[std::size_t(entry)];
    const qint64 tableEnd = table.tableEnd();
    const QString which = QStringLiteral("slot %1 (entry %2)").arg(s + 1).arg(entry);
    if (start < tableEnd || start > bytes.size())
        return fail(which + QStringLiteral(" starts at offset %1, outside the entries of the file "
                                           "of %2 bytes")
                                .arg(static_cast<quint32>(start))
                                .arg(bytes.size()));
    if (next < start || next > bytes.size())
        return fail(which + QStringLiteral(" ends at offset %1, before its start or past the end "
                                           "of the file")
                                .arg(static_cast<quint32>(next)));
    if (next - start < kEntryHeaderSize)
        return fail(
            which +
            QStringLiteral(" is %1 bytes long, too short for its header").arg(next - start));
    const qint32 length = get_long(bytes, qsizetype(start) + 12);
    if (length < 0 || length > next - start - kEntryHeaderSize)
        return fail(QStringLiteral("the sound length %1 of ").arg(static_cast<quint32>(length)) +
                    which +
                    QStringLiteral(" does not fit its entry of %1 bytes").arg(next - start));
    return SlotSound{static_cast<qint32>(start + kEntryHeaderSize), length};
}

} // namespace

// The listing follows only the 30 slot entries, so it asks no more of the table than that it
// lies inside the file; the end offset and the other entries are the build's concern.
Result<ChkDescription> parse(QByteArrayView bytes)
{
    const qint64 size = bytes.size();
    const OffsetTable table = readOffsetTable(bytes, size);
    if (size == 0)
        return fail(QStringLiteral("the file is empty"));
    if (!table.hasCount)
        return fail(QStringLiteral("the file is only %1 bytes long").arg(size));
    if (!table.withinLimits)
        return fail(limitRefusal(table));
    const qint32 n = table.entryCount;
    if (n < 0)
        return fail(QStringLiteral("its entry count is 2^31 or more"));
    if (n < kSlotCount + 1)
        return fail(QStringLiteral("it holds %1 entries; a sound archive has at least 31").arg(n));
    if (!table.fits)
        return fail(QStringLiteral("its offset table of %1 entries runs past the end of the file "
                                   "of %2 bytes")
                        .arg(n)
                        .arg(size));
    ChkDescription d;
    d.entryCount = n;
    for (int s = 0; s < kSlotCount; ++s) {
        Result<SlotSound> row = slotSound(bytes, table, s);
        if (!row)
            return row.failure();
        d.slots[static_cast<std::size_t>(s)] = row.value();
    }
    return d;
}

ChkListing list(const ChkDescription& description, LogSink& log)
{
    ChkListing listing;
    listing.table = description.slots;
    log.AddText(QStringLiteral("Total files: %1").arg(description.entryCount));
    for (int s = 0; s < kSlotCount; ++s) {
        const SlotSound& row = description.slots[static_cast<std::size_t>(s)];
        const QString offset =
            QStringLiteral("%1").arg(static_cast<quint32>(row.dataOffset), 8, 16, QLatin1Char('0'));
        log.AddText(QStringLiteral("x= %1 Len.= %2 to %3")
                        .arg(s)
                        .arg(row.dataLength)
                        .arg(offset.toUpper()));
        listing.labels.append(slotLabel(s));
    }
    return listing;
}

Result<ChkListing> listBytes(const QString& name, QByteArrayView bytes, LogSink& log)
{
    const Result<ChkDescription> parsed = parse(bytes);
    if (!parsed) {
        log.AddText(QStringLiteral("Cannot list %1: %2.").arg(name, parsed.error()));
        return parsed.failure();
    }
    return list(parsed.value(), log);
}

} // namespace chk

Result<ChkListing> Get_Chk_info(const QString& sFileName, LogSink& log)
{
    if (const Status within = checkArchiveLimits(sFileName); !within) {
        log.AddText(QStringLiteral("Cannot list %1: %2.").arg(sFileName, within.error()));
        return within.failure();
    }
    const Result<QByteArray> bytes = readWholeFile(sFileName, kArchiveSizeLimit);
    if (!bytes) {
        const QString why = QStringLiteral("it cannot be read (%1)").arg(bytes.error());
        log.AddText(QStringLiteral("Cannot list %1: %2.").arg(sFileName, why));
        return fail(why);
    }
    return chk::listBytes(sFileName, bytes.value(), log);
}

} // namespace tollvik
