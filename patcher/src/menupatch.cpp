#include "navigator_detail.h"

#include <algorithm>

namespace tollvik::detail {
namespace {

// Every write lands inside the file: the caller has checked requiredFileLength(), and a write
// that would not fit is dropped rather than let past the end.
void putByte(QByteArray& file, qint64 offset, quint8 value)
{
    if (offset >= 0 && offset < file.size())
        file[offset] = static_cast<char>(value);
}

// A 32-bit word, lowest byte first.
void putWord(QByteArray& file, qint64 offset, quint32 value)
{
    for (int k = 0; k < 4; ++k)
        putByte(file, offset + k, static_cast<quint8>(value >> (8 * k)));
}

// The log calls an item unused when its text, with leading and trailing spaces removed, is empty:
// only spaces count, a tab or a no-break space is a text.
bool blankForTheLog(const QString& text)
{
    return std::ranges::all_of(text, [](QChar c) { return c == u' '; });
}

qint64 endOf(const PatchLocation& location, qint64 size)
{
    return qint64(location.fileOffset) + size;
}

} // namespace

qint64 requiredFileLength(const PatchTable& table, bool writesSoundTableRef3)
{
    qint64 end = std::max({endOf(table.MenuTextArea, kSlotCount * kTextSlotSize),
                           endOf(table.MenuPointerTable, kSlotCount * 4),
                           endOf(table.MenuPointerTableRef, 4), endOf(table.MenuItemCount, 1),
                           endOf(table.SoundTable, kSlotCount * 4), endOf(table.SoundTableRef1, 4),
                           endOf(table.SoundTableRef2, 4)});
    if (writesSoundTableRef3)
        end = std::max(end, endOf(table.SoundTableRef3, 4));
    return end;
}

void mPutName(QByteArray& file, const PatchTable& table, int ii, QByteArrayView encodedText)
{
    const qint64 start = qint64(table.MenuTextArea.fileOffset) + qint64(kTextSlotSize) * ii;
    for (int k = 1; k <= kTextSlotSize; ++k) {
        quint8 value = 0;
        if (k < kTextSlotSize && k <= encodedText.size())
            value = static_cast<quint8>(encodedText[k - 1]);
        putByte(file, start + k - 1, value);
    }
}

void UdateTomTom(QByteArray& file, const PatchTable& table, qint16 VersionIndex,
                 const std::array<QString, kSlotCount>& menuTexts,
                 const std::array<QByteArray, kSlotCount>& encodedTexts, LogSink& log)
{
    for (int i = 0; i < kSlotCount; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        mPutName(file, table, i, encodedTexts[slot]);
        putWord(file, qint64(table.MenuPointerTable.fileOffset) + 4 * i,
                static_cast<quint32>(table.MenuTextArea.memoryAddress) +
                    static_cast<quint32>(kTextSlotSize * i));
        if (blankForTheLog(menuTexts[slot]))
            log.AddText(QStringLiteral("....Unused menu item."));
        else
            log.AddText(QStringLiteral("....'") + menuTexts[slot] +
                        QStringLiteral("' added as menu item and pointer altered."));
    }

    // Only exactly empty texts at the end are unusable; spaces count as a text here.
    int trailingEmpty = 0;
    for (int i = kSlotCount - 1; i >= 0 && menuTexts[static_cast<std::size_t>(i)].isEmpty(); --i)
        ++trailingEmpty;
    const int usable = kSlotCount - trailingEmpty;
    putByte(file, table.MenuItemCount.fileOffset, static_cast<quint8>(usable));
    log.AddText(QStringLiteral("....Altered number of usable menu item in TTN to ") +
                QString::number(usable));

    putWord(file, table.MenuPointerTableRef.fileOffset,
            static_cast<quint32>(table.MenuPointerTable.memoryAddress));

    for (int i = 0; i < kSlotCount; ++i) {
        const qint64 entry = qint64(table.SoundTable.fileOffset) + 4 * i;
        putByte(file, entry, static_cast<quint8>(table.FirstSoundNumber - i));
        putByte(file, entry + 1, 0xFF);
        putByte(file, entry + 2, 0xFF);
        putByte(file, entry + 3, 0xFF);
    }
    log.AddText(QStringLiteral("....Adjusted associated sounds to our new menu items."));

    const auto soundTable = static_cast<quint32>(table.SoundTable.memoryAddress);
    putWord(file, table.SoundTableRef1.fileOffset, soundTable);
    putWord(file, table.SoundTableRef2.fileOffset, soundTable);
    // Only GO 5.4 has a third reference. The dormant TTMobile entry has none, so index 0 never
    // writes it.
    if (writesSoundTableRef3(VersionIndex))
        putWord(file, table.SoundTableRef3.fileOffset, soundTable);
}

} // namespace tollvik::detail
