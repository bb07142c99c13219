#include "archive/archive.h"
#include "core/fileio.h"
#include "core/paths.h"

namespace tollvik {

QString importInitialName(const QString& soundBoxText, const QString& programFolder)
{
    return isExternalSound(soundBoxText) ? soundBoxText
                                         : RPP(programFolder) + QStringLiteral("*.ogg");
}

// Built by concatenation: a path may itself contain "%1" or "%2", which a second arg() call
// would replace.
QString importLogLine(const QString& path, int index)
{
    return QStringLiteral("Load ") + path + QStringLiteral(" to position ") +
           QString::number(index + 1);
}

QString exportSuggestedName(const QString& programFolder, const QString& soundBoxText)
{
    return RPP(programFolder) + soundBoxText + QStringLiteral(".ogg");
}

Result<QByteArray> readSlotSound(const QString& workingPath, const SlotSound& row)
{
    if (workingPath.isEmpty())
        return fail(QStringLiteral("no sound archive is loaded"));
    return readRange(workingPath, row.dataOffset, row.dataLength);
}

Status exportSlotSound(const QString& workingPath, const SlotSound& row, const QString& targetPath,
                       LogSink& log)
{
    if (isSameFile(workingPath, targetPath)) {
        const QString why =
            QStringLiteral("%1 is the working copy of the sound archive").arg(targetPath);
        log.AddText(QStringLiteral("Cannot save the sound: %1.").arg(why));
        return fail(why);
    }
    const Result<QByteArray> sound = readSlotSound(workingPath, row);
    if (!sound) {
        log.AddText(QStringLiteral("Cannot save the sound: reading %1 failed: %2.")
                        .arg(workingPath, sound.error()));
        return sound.failure();
    }
    if (const Status written = writeFileAtomically(targetPath, sound.value()); !written) {
        log.AddText(
            QStringLiteral("Cannot save the sound to %1: %2.").arg(targetPath, written.error()));
        return written;
    }
    return {};
}

} // namespace tollvik
