#include "chktable.h"

#include "chkformat.h"

namespace tollvik::chk {

OffsetTable readOffsetTable(QByteArrayView head, qint64 fileSize)
{
    OffsetTable t;
    t.fileSize = fileSize;
    t.hasCount = fileSize >= 4 && head.size() >= 4;
    if (!t.hasCount)
        return t;
    t.entryCount = get_long(head, 0);
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

} // namespace tollvik::chk
