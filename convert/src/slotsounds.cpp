#include "convert/slotsounds.h"

#include "convert/speech.h"
#include "core/fileio.h"
#include "core/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace tollvik::convert {
namespace {

Result<QList<QByteArray>> archiveSounds(const ListedArchive& archive)
{
    QList<QByteArray> sounds;
    for (const SlotSound& row : archive.table) {
        Result<QByteArray> sound = readSlotSound(archive.workingPath, row);
        if (!sound)
            return fail(QStringLiteral("Cannot read the sounds of %1: %2")
                            .arg(archive.workingPath, sound.error()));
        sounds.append(std::move(sound).value());
    }
    return sounds;
}

Result<SlotSoundMade> written(const ListedArchive& archive, int slot,
                              const Result<Converted>& converted)
{
    if (!converted)
        return converted.failure();
    const Result<QString> path =
        writeConvertedSound(archive.programFolder, slot, converted.value());
    if (!path)
        return path.failure();
    return SlotSoundMade{slot, path.value(), describe(converted.value())};
}

} // namespace

Result<std::array<Target, kSlotCount>> slotTargets(const ListedArchive& archive, StopFlag stop)
{
    const Result<QList<QByteArray>> sounds = archiveSounds(archive);
    if (!sounds)
        return sounds.failure();
    const Result<double> lufs = medianLoudness(sounds.value(), stop);
    if (!lufs)
        return lufs.failure();
    std::array<Target, kSlotCount> targets;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const Result<SoundFormat> format = oggFormat(sounds->at(slot));
        if (!format)
            return fail(QStringLiteral("%1 of %2: %3")
                            .arg(slotLabel(slot), archive.workingPath, format.error()));
        targets[static_cast<std::size_t>(slot)] =
            Target{format.value(), lufs.value(), kMaxExternalSoundBytes};
    }
    return targets;
}

Result<SlotSoundMade> convertIntoSlot(const ListedArchive& archive, int slot, const Target& target,
                                      const QString& source, StopFlag stop)
{
    return written(archive, slot, convertFile(source, target, stop));
}

Result<SlotSoundMade> speakIntoSlot(const ListedArchive& archive, int slot, const Target& target,
                                    const QString& text, const QString& voice, StopFlag stop)
{
    if (text.trimmed().isEmpty())
        return fail(QStringLiteral("Menu item %1 has no text to speak.").arg(slot + 1));
    const Result<Pcm> spoken = speak(text, voice, stop);
    if (!spoken)
        return spoken.failure();
    return written(archive, slot,
                   convertPcm(spoken.value(), QStringLiteral("\"%1\"").arg(text), target, stop));
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
