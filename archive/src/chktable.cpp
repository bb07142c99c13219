#include "chktable.h"

#include "chkformat.h"
#include "core/fileio.h"

#include <QLocale>

namespace tollvik::chk {

OffsetTable readOffsetTable(QByteArrayView head, qint64 fileSize)
{
    OffsetTable t;
    t.fileSize = fileSize;
    t.hasCount = fileSize >= 4 && head.size() >= 4;
    if (!t.hasCount)
        return t;
    t.entryCount = get_long(head, 0);
    t.withinLimits = fileSize <= kArchiveSizeLimit && t.entryCount <= kArchiveEntryLimit;
    if (!t.withinLimits)
        return t;
    // Written so that it cannot overflow: the table's end against the file's size.
    t.fits = t.entryCount >= 0 && 4 * (qint64(t.entryCount) + 1) <= fileSize - 4;
    if (!t.fits || head.size() < t.tableEnd())
        return t;
    t.offsets.reserve(std::size_t(t.entryCount) + 1);
    qint64 previous = t.tableEnd();
    for (qint64 i = 0; i <= t.entryCount; ++i) {
        const qint32 offset = get_long(head, 4 + 4 * qsizetype(i));
        if (t.firstFalling < 0 && offset < previous)
            t.firstFalling = qsizetype(i);
        if (t.firstPastEnd < 0 && offset > fileSize)
            t.firstPastEnd = qsizetype(i);
        t.offsets.push_back(offset);
        previous = offset;
    }
    t.endIsLength = t.offsets.back() == fileSize;
    return t;
}

QString limitRefusal(const OffsetTable& table)
{
    const QLocale c(QLocale::English, QLocale::UnitedStates); // 65,536
    if (table.fileSize > kArchiveSizeLimit)
        return QStringLiteral("it is %1 bytes long; an archive is at most %2 bytes")
            .arg(c.toString(table.fileSize), c.toString(kArchiveSizeLimit));
    if (table.hasCount && table.entryCount > kArchiveEntryLimit)
        return QStringLiteral("it holds %1 entries; an archive holds at most %2")
            .arg(c.toString(table.entryCount), c.toString(kArchiveEntryLimit));
    return {};
}

} // namespace tollvik::chk

namespace tollvik {

Status checkArchiveLimits(const QString& path)
{
    chk::OffsetTable table;
    table.fileSize = fileLength(path);
    if (table.fileSize > kArchiveSizeLimit)
        return fail(chk::limitRefusal(table));
    if (table.fileSize >= 4) {
        if (const Result<QByteArray> count = readRange(path, 0, 4); count)
            table = chk::readOffsetTable(count.value(), table.fileSize);
    }
    if (const QString why = chk::limitRefusal(table); !why.isEmpty())
        return fail(why);
    return {};
}

} // namespace tollvik
