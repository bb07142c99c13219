// The slot sounds' files: converted sounds in Temp/, files matched to slots by name, and the
// export of all 30 sounds.

#include "archive/slotfiles.h"

#include "core/fileio.h"
#include "core/paths.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace tollvik::convert {

QString convertedSoundPath(const QString& programFolder, int slot)
{
    return programFile(programFolder, u"Temp",
                       QStringLiteral("Converted %1.ogg").arg(slot + 1, 2, 10, QLatin1Char('0')));
}

Result<QString> writeConvertedSound(const QString& programFolder, int slot, const QByteArray& ogg)
{
    if (slot < 0 || slot >= kSlotCount)
        return fail(QStringLiteral("There is no slot %1.").arg(slot + 1));
    const QString path = convertedSoundPath(programFolder, slot);
    if (const Status written = writeFileAtomically(path, ogg); !written)
        return fail(QStringLiteral("Cannot write %1: %2").arg(path, written.error()));
    return path;
}

void removeConvertedSounds(const QString& programFolder)
{
    for (int slot = 0; slot < kSlotCount; ++slot)
        (void)removeFileIfPresent(convertedSoundPath(programFolder, slot));
}

bool takesAsItIs(const QString& path)
{
    const qint64 length = fileLength(path);
    return isExternalSound(path) && length > 0 && length <= kMaxExternalSoundBytes;
}

int slotOfFileName(const QString& fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(?:sound[ _-]*)?0*([1-9][0-9]?)(?![0-9])"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(QFileInfo(fileName).fileName());
    const int number = match.hasMatch() ? match.captured(1).toInt() : 0;
    return number >= 1 && number <= kSlotCount ? number - 1 : -1;
}

QMap<int, QString> matchSlots(QStringList paths)
{
    std::sort(paths.begin(), paths.end(), [](const QString& a, const QString& b) {
        return QFileInfo(a).fileName().compare(QFileInfo(b).fileName(), Qt::CaseInsensitive) < 0;
    });
    QMap<int, QString> slots;
    for (const QString& path : std::as_const(paths)) {
        const int slot = slotOfFileName(path);
        if (slot >= 0 && !slots.contains(slot))
            slots.insert(slot, path);
    }
    return slots;
}

Status exportAllSounds(const ListedArchive& archive,
                       const std::array<QString, kSlotCount>& soundBoxes, const QString& folder)
{
    QList<QByteArray> sounds;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QString& box = soundBoxes[static_cast<std::size_t>(slot)];
        Result<QByteArray> sound =
            isExternalSound(box)
                ? readWholeFile(box, kMaxExternalSoundBytes)
                : readSlotSound(archive.workingPath, archive.table[static_cast<std::size_t>(slot)]);
        if (!sound)
            return fail(QStringLiteral("Cannot read %1 for slot %2: %3")
                            .arg(box)
                            .arg(slot + 1)
                            .arg(sound.error()));
        sounds.append(std::move(sound).value());
    }
    const auto exportPath = [&folder](int slot) {
        return RPP(folder) + slotLabel(slot) + QStringLiteral(".ogg");
    };
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (isSameFile(exportPath(slot), archive.workingPath))
            return fail(QStringLiteral("%1 is the working copy of the sound archive")
                            .arg(exportPath(slot)));
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QString path = exportPath(slot);
        // A slot's own file already holds its sound.
        if (isSameFile(path, soundBoxes[static_cast<std::size_t>(slot)]))
            continue;
        if (const Status done = writeFileAtomically(path, sounds[slot]); !done)
            return fail(QStringLiteral("Cannot write %1: %2").arg(path, done.error()));
    }
    return {};
}

} // namespace tollvik::convert
