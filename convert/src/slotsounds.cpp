#include "convert/slotsounds.h"

#include "convert/speech.h"
#include "internal.h"

#include <QFileInfo>
#include <QLocale>
#include <map>

namespace tollvik::convert {
namespace {

// Each slot's own sound; an empty array for one that cannot be read.
QList<QByteArray> archiveSounds(const ListedArchive& archive)
{
    QList<QByteArray> sounds;
    for (const SlotSound& row : archive.table) {
        Result<QByteArray> sound = readSlotSound(archive.workingPath, row);
        sounds.append(sound ? std::move(sound).value() : QByteArray());
    }
    return sounds;
}

// The format most of the readable slot sounds have (of equal counts the first).
std::optional<SoundFormat>
commonFormat(const std::array<std::optional<SoundFormat>, kSlotCount>& formats)
{
    std::map<std::pair<int, int>, int> counts;
    std::optional<SoundFormat> best;
    int bestCount = 0;
    for (const auto& format : formats) {
        if (!format || !checkSlotFormat(*format))
            continue;
        const int n = ++counts[{format->sampleRate, format->channels}];
        if (n > bestCount) {
            bestCount = n;
            best = format;
        }
    }
    return best;
}

// Writes the sound into Temp/ under a name made of the slot's number and `sourceName`.
Result<SlotSoundMade> written(const ListedArchive& archive, int slot, const QString& sourceName,
                              const Result<Converted>& converted, const QString& readFrom = {})
{
    if (!converted)
        return converted.failure();
    const Result<QString> path =
        writeConvertedSound(archive.programFolder, slot, sourceName, converted->ogg, readFrom);
    if (!path)
        return path.failure();
    return SlotSoundMade{slot, path.value(), describe(converted.value())};
}

} // namespace

// A slot whose sound is of a format no slot sound has gets a refusal that names it; one whose
// sound cannot be read at all takes the format most of the others have.
Result<std::array<Target, kSlotCount>> slotTargets(const ListedArchive& archive, StopFlag stop)
{
    const QList<QByteArray> sounds = archiveSounds(archive);
    std::array<std::optional<SoundFormat>, kSlotCount> formats;
    QList<QByteArray> measured;
    for (int slot = 0; slot < kSlotCount && slot < sounds.size(); ++slot) {
        const Result<SoundFormat> format = oggFormat(sounds.at(slot));
        if (!format)
            continue;
        formats[static_cast<std::size_t>(slot)] = format.value();
        if (checkSlotFormat(format.value()))
            measured.append(sounds.at(slot));
    }
    const std::optional<SoundFormat> common = commonFormat(formats);
    if (!common)
        return fail(QStringLiteral("None of the sounds of %1 is an Ogg Vorbis slot sound.")
                        .arg(archive.workingPath));
    const Result<double> lufs = medianLoudness(measured, stop);
    if (!lufs)
        return lufs.failure();
    std::array<Target, kSlotCount> targets;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const std::optional<SoundFormat>& own = formats[static_cast<std::size_t>(slot)];
        Target& target = targets[static_cast<std::size_t>(slot)];
        target = Target{own.value_or(*common), lufs.value(), kMaxExternalSoundBytes, {}};
        if (const Status usable = checkSlotFormat(target.format); !usable)
            target.refusal = QStringLiteral("%1 of the archive is %2; a slot sound is "
                                            "8,000–48,000 Hz, mono or stereo")
                                 .arg(slotLabel(slot), detail::formatText(target.format));
    }
    return targets;
}

Result<SlotSoundMade> convertIntoSlot(const ListedArchive& archive, int slot, const Target& target,
                                      const QString& source, StopFlag stop)
{
    return written(archive, slot, QFileInfo(source).completeBaseName(),
                   convertFile(source, target, stop), source);
}

Result<SlotSoundMade> speakIntoSlot(const ListedArchive& archive, int slot, const Target& target,
                                    const QString& text, const QString& voice, StopFlag stop)
{
    if (text.trimmed().isEmpty())
        return fail(QStringLiteral("Menu item %1 has no text to speak.").arg(slot + 1));
    const Result<Pcm> spoken = speak(text, voice, stop);
    if (!spoken)
        return spoken.failure();
    return written(archive, slot, text + QStringLiteral(" (spoken)"),
                   convertPcm(spoken.value(), QStringLiteral("\"%1\"").arg(text), target, stop));
}

} // namespace tollvik::convert
