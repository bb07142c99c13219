#pragma once

#include "archive/archive.h"
#include "core/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <vector>

namespace tollvik::chk {

// The bytes from the start of an archive to the end of the offset table of n entries: the
// count and n + 1 offsets.
[[nodiscard]] constexpr qint64 offsetTableEnd(qint64 n)
{
    return 4 * (n + 2);
}

// What an archive's offset table says, read and checked once. The readers of the archive (the
// listing, the build, the split into entries) each apply their own rule to it and word their
// own refusals.
struct OffsetTable
{
    qint64 fileSize = 0;
    bool hasCount = false; // the file holds the four bytes of the entry count
    qint32 entryCount = 0; // N as stored; negative when its top bit is set
    bool fits = false;     // N >= 0 and the whole table lies inside the file
    // The file is no longer than kArchiveSizeLimit and N is at most kArchiveEntryLimit; when
    // not, nothing past the count is read and limitRefusal() says why.
    bool withinLimits = false;
    // When the table fits: the start offsets of entries 1..N, then the end offset, each as
    // stored (a negative value had its top bit set). Entry e starts at offsets[e - 1].
    std::vector<qint32> offsets;
    bool endIsLength = false; // the end offset equals the file size
    // The first offset below the one before it, the table's end counting as the one before the
    // first; -1 when they rise (or stay) all the way.
    qsizetype firstFalling = -1;
    qsizetype firstPastEnd = -1; // the first offset past the end of the file; -1 when none

    [[nodiscard]] bool rising() const { return firstFalling < 0; }
    [[nodiscard]] qint64 tableEnd() const { return offsetTableEnd(entryCount); }
};

// Reads the table from the first bytes of an archive of `fileSize` bytes. `head` may be the
// whole file; when it is shorter than a fitting table, `offsets` stays empty and the caller
// reads offsetTableEnd(entryCount) bytes and asks again. Nothing here allocates more than the
// table's own size in the file.
[[nodiscard]] OffsetTable readOffsetTable(QByteArrayView head, qint64 fileSize);

// Why an archive passes the limits above, giving its figure ("it is 600,000,000 bytes long; an
// archive is at most 536,870,912 bytes"); empty when it is within them.
[[nodiscard]] QString limitRefusal(const OffsetTable& table);

} // namespace tollvik::chk
