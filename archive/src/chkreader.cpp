#include "chkformat.h"

#include <QFile>

namespace tollvik {

qint32 BytToLong(uchar a1, uchar a2, uchar a3, uchar a4)
{
    const quint32 u = (quint32(a1) << 24) | (quint32(a2) << 16) | (quint32(a3) << 8) | quint32(a4);
    return static_cast<qint32>(u);
}

QString slotLabel(int slot)
{
    return QStringLiteral("Sound %1").arg(slot + 1, 2, 10, QLatin1Char('0'));
}

bool isExternalSound(const QString& soundBoxText)
{
    return soundBoxText.right(3).toUpper() == QLatin1String("OGG");
}

namespace {

ChkParse refuse(QString why)
{
    ChkParse result;
    result.error = std::move(why);
    return result;
}

} // namespace

ChkParse parseChk(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("it cannot be opened (%1)").arg(file.errorString()));
    return chk::parseDevice(file);
}

ChkParse chk::parseDevice(QIODevice& file)
{
    const qint64 fileSize = file.size();
    if (fileSize == 0)
        return refuse(QStringLiteral("the file is empty"));
    if (fileSize < 4)
        return refuse(QStringLiteral("the file is only %1 bytes long").arg(fileSize));

    const QByteArray countBytes = file.read(4);
    if (countBytes.size() != 4)
        return refuse(QStringLiteral("its entry count cannot be read"));
    const qint32 n = chk::get_long(countBytes, 0);
    if (n < 0)
        return refuse(QStringLiteral("its entry count is 2^31 or more"));
    if (n < kSlotCount + 1)
        return refuse(
            QStringLiteral("it holds %1 entries; a sound archive has at least 31").arg(n));

    // N + 1 offsets follow the count.
    const qint64 tableBytes = 4 * (qint64(n) + 1);
    if (tableBytes > fileSize - 4)
        return refuse(QStringLiteral("its offset table of %1 entries runs past the end of the "
                                     "file of %2 bytes")
                          .arg(n)
                          .arg(fileSize));
    const QByteArray table = file.read(tableBytes);
    if (table.size() != tableBytes)
        return refuse(QStringLiteral("its offset table cannot be read"));
    const qint64 tableEnd = 4 + tableBytes;

    ChkParse result;
    ChkDescription& d = result.description;
    d.entryCount = n;
    d.fileSize = fileSize;
    d.offsets.reserve(n + 1);
    for (qint64 i = 0; i <= n; ++i)
        d.offsets.append(chk::get_long(table, 4 * i));

    // Each slot entry is read through its own window [start, next): the header and the data
    // must lie inside it, and it must lie inside the file.
    for (int s = 0; s < kSlotCount; ++s) {
        const qint32 entry = n - kSlotCount + s; // 1-based entry number
        const qint64 start = d.offsets[entry - 1];
        const qint64 next = d.offsets[entry];
        const QString which = QStringLiteral("slot %1 (entry %2)").arg(s + 1).arg(entry);
        if (start < tableEnd || start > fileSize)
            return refuse(QStringLiteral("%1 starts at offset %2, outside the entries of the file "
                                         "of %3 bytes")
                              .arg(which)
                              .arg(static_cast<quint32>(start))
                              .arg(fileSize));
        if (next < start || next > fileSize)
            return refuse(QStringLiteral("%1 ends at offset %2, before its start or past the end "
                                         "of the file")
                              .arg(which)
                              .arg(static_cast<quint32>(next)));
        if (next - start < chk::kEntryHeaderSize)
            return refuse(QStringLiteral("%1 is %2 bytes long, too short for its header")
                              .arg(which)
                              .arg(next - start));
        if (!file.seek(start + 12))
            return refuse(QStringLiteral("the header of %1 cannot be read").arg(which));
        const QByteArray lengthBytes = file.read(4);
        if (lengthBytes.size() != 4)
            return refuse(QStringLiteral("the header of %1 cannot be read").arg(which));
        const qint32 length = chk::get_long(lengthBytes, 0);
        if (length < 0 || length > next - start - chk::kEntryHeaderSize)
            return refuse(QStringLiteral("the sound length %1 of %2 does not fit its entry of "
                                         "%3 bytes")
                              .arg(static_cast<quint32>(length))
                              .arg(which)
                              .arg(next - start));
        d.slots[s].dataOffset = static_cast<qint32>(start + chk::kEntryHeaderSize);
        d.slots[s].dataLength = length;
    }
    result.ok = true;
    return result;
}

namespace chk {

ChkListing listDescription(const ChkDescription& description, LogSink& log)
{
    ChkListing listing;
    log.AddText(QStringLiteral("Total files: %1").arg(description.entryCount));
    for (int s = 0; s < kSlotCount; ++s) {
        const SlotSound& row = description.slots[s];
        listing.table[s] = row;
        log.AddText(QStringLiteral("x= %1 Len.= %2 to %3")
                        .arg(s)
                        .arg(row.dataLength)
                        .arg(QStringLiteral("%1")
                                 .arg(static_cast<quint32>(row.dataOffset), 8, 16, QLatin1Char('0'))
                                 .toUpper()));
        listing.labels.append(slotLabel(s));
    }
    listing.ok = true;
    return listing;
}

} // namespace chk

ChkListing Get_Chk_info(const QString& sFileName, LogSink& log)
{
    const ChkParse parse = parseChk(sFileName);
    if (!parse.ok) {
        log.AddText(QStringLiteral("Cannot list %1: %2.").arg(sFileName, parse.error));
        return {};
    }
    return chk::listDescription(parse.description, log);
}

} // namespace tollvik
