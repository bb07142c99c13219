#include "archive/archive.h"
#include "core/paths.h"

namespace tollvik {

QString importInitialName(const QString& soundBoxText, const QString& programFolder)
{
    return isExternalSound(soundBoxText) ? soundBoxText
                                         : RPP(programFolder) + QStringLiteral("*.ogg");
}

QString importLogLine(const QString& path, int index)
{
    return QStringLiteral("Load %1 to position %2").arg(path).arg(index + 1);
}

QString exportSuggestedName(const QString& programFolder, const QString& soundBoxText)
{
    return RPP(programFolder) + soundBoxText + QStringLiteral(".ogg");
}

FileResult readSlotSound(const QString& workingPath, const SlotSound& row, QByteArray& out)
{
    if (workingPath.isEmpty())
        return FileResult::failure(QStringLiteral("no sound archive is loaded"));
    return readRange(workingPath, row.dataOffset, row.dataLength, out);
}

FileResult exportSlotSound(const QString& workingPath, const SlotSound& row,
                           const QString& targetPath, LogSink& log)
{
    if (isSameFile(workingPath, targetPath)) {
        const FileResult refused = FileResult::failure(
            QStringLiteral("%1 is the working copy of the sound archive").arg(targetPath));
        log.AddText(QStringLiteral("Cannot save the sound: %1.").arg(refused.error));
        return refused;
    }
    QByteArray sound;
    if (const FileResult read = readSlotSound(workingPath, row, sound); !read) {
        log.AddText(QStringLiteral("Cannot save the sound: reading %1 failed: %2.")
                        .arg(workingPath, read.error));
        return read;
    }
    if (const FileResult written = writeFileAtomically(targetPath, sound); !written) {
        log.AddText(
            QStringLiteral("Cannot save the sound to %1: %2.").arg(targetPath, written.error));
        return written;
    }
    return {};
}

} // namespace tollvik
