// The slot sounds' files: converted sounds in Temp/, files matched to slots by name, and the
// export of all 30 sounds.

#include "convert/slotfiles.h"

#include "core/fileio.h"
#include "core/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace tollvik::convert {
namespace {

QString tempFolder(const QString& programFolder)
{
    return RPP(programFolder) + QStringLiteral("Temp") + nativeSeparator();
}

} // namespace

QString convertedSoundPath(const QString& programFolder, int slot)
{
    return tempFolder(programFolder) +
           QStringLiteral("Converted %1.ogg").arg(slot + 1, 2, 10, QLatin1Char('0'));
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

Status removeConvertedSounds(const QString& programFolder)
{
    const QRegularExpression ours(QStringLiteral("^Converted (0[1-9]|[12][0-9]|30)\\.ogg$"));
    const QString folder = tempFolder(programFolder);
    const QStringList names = QDir(folder).entryList({QStringLiteral("Converted *.ogg")},
                                                     QDir::Files | QDir::Hidden | QDir::System);
    QStringList failed;
    for (const QString& name : names) {
        if (!ours.match(name).hasMatch())
            continue;
        if (const Status removed = removeFileIfPresent(folder + name); !removed)
            failed.append(QStringLiteral("%1 (%2)").arg(name, removed.error()));
    }
    if (!failed.isEmpty())
        return fail(QStringLiteral("Cannot delete the converted sounds %1 in %2.")
                        .arg(failed.join(QStringLiteral(", ")), folder));
    return {};
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
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QString path = RPP(folder) + slotLabel(slot) + QStringLiteral(".ogg");
        if (isSameFile(path, soundBoxes[static_cast<std::size_t>(slot)]) ||
            isSameFile(path, archive.workingPath))
            continue;
        if (const Status done = writeFileAtomically(path, sounds[slot]); !done)
            return fail(QStringLiteral("Cannot write %1: %2").arg(path, done.error()));
    }
    return {};
}

} // namespace tollvik::convert
