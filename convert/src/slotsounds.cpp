#include "convert/slotsounds.h"

#include "convert/speech.h"

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
    const Result<QString> path = writeConvertedSound(archive.programFolder, slot, converted->ogg);
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

} // namespace tollvik::convert
