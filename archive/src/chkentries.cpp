#include "archive/entries.h"
#include "chkformat.h"

namespace tollvik {
namespace {

// The offsets of entries 1..N and the end offset, checked against the archive's length.
Result<QList<qint64>> readOffsets(const QByteArray& archive)
{
    const qint64 size = archive.size();
    if (size < 4)
        return fail(QStringLiteral("the file is only %1 bytes long").arg(size));
    const qint32 n = chk::get_long(archive, 0);
    if (n < 0)
        return fail(QStringLiteral("its entry count is 2^31 or more"));
    const qint64 tableEnd = 4 + 4 * (qint64(n) + 1);
    if (tableEnd > size)
        return fail(
            QStringLiteral("the offset table of %1 entries runs past the end of the file").arg(n));
    QList<qint64> offsets;
    offsets.reserve(n + 1);
    for (qint64 i = 0; i <= n; ++i) {
        const qint64 offset = chk::get_long(archive, 4 + 4 * i);
        const qint64 previous = i == 0 ? tableEnd : offsets.constLast();
        if (offset < previous || offset > size)
            return fail(QStringLiteral("offset %1 of the table (%2) lies outside the entries")
                            .arg(i + 1)
                            .arg(offset));
        offsets.append(offset);
    }
    if (offsets.constLast() != size)
        return fail(QStringLiteral("its end offset %1 is not its length %2")
                        .arg(offsets.constLast())
                        .arg(size));
    return offsets;
}

} // namespace

Result<ChkContents> splitChk(const QByteArray& archive)
{
    const Result<QList<qint64>> offsets = readOffsets(archive);
    if (!offsets)
        return offsets.failure();
    const QList<qint64>& at = offsets.value();
    const qint64 tableEnd = 4 + 4 * qint64(at.size());
    ChkContents contents;
    contents.gap = archive.mid(tableEnd, at.constFirst() - tableEnd);
    for (qsizetype i = 0; i + 1 < at.size(); ++i)
        contents.entries.append(archive.mid(at[i], at[i + 1] - at[i]));
    return contents;
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

QByteArray oggOfEntry(const QByteArray& entry, bool canonicalOnly)
{
    if (entry.size() < chk::kEntryHeaderSize + 4)
        return {};
    const qint64 length = chk::get_long(entry, 12);
    if (length < 4 || length > entry.size() - chk::kEntryHeaderSize)
        return {};
    QByteArray ogg = entry.mid(chk::kEntryHeaderSize, length);
    if (!ogg.startsWith("OggS"))
        return {};
    if (canonicalOnly) {
        const Result<QByteArray> again = soundEntry(ogg);
        if (!again || again.value() != entry)
            return {};
    }
    return ogg;
}

Result<QByteArray> soundEntry(const QByteArray& ogg)
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
