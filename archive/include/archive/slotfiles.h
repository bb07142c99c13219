#pragma once

#include "archive/archive.h"
#include "core/result.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <array>

namespace tollvik::convert {

// The slot sounds' files: where converted sounds are kept, which files a folder holds for which
// slot, and all 30 sounds saved at once. Nothing here decodes or encodes sound, so it lives with
// the archive and the window uses it without the converter; the conversions themselves load
// with the converter (convert/module.h). The names keep the converter's namespace, which its
// calls share (they take a ListedArchive).

// The listed archive a slot sound is made for.
struct ListedArchive
{
    QString programFolder;
    QString workingPath; // its working copy
    SlotSoundTable table;
};

// Where a slot's converted sound is kept until the archive is built: the program's Temp/ folder,
// "Converted 01.ogg" for slot 0 .. "Converted 30.ogg" for slot 29, numbered like slotLabel().
[[nodiscard]] QString convertedSoundPath(const QString& programFolder, int slot);
// Writes a converted sound there through the atomic file layer; returns its path.
[[nodiscard]] Result<QString> writeConvertedSound(const QString& programFolder, int slot,
                                                  const QByteArray& ogg);
// Deletes every converted sound in Temp/ (at shutdown); a file that cannot be deleted stays.
void removeConvertedSounds(const QString& programFolder);

// An .ogg file a slot can take as it is: its name ends in "ogg" and it is small enough.
[[nodiscard]] bool takesAsItIs(const QString& path);

// The slot a file's name points to: "Sound 07.ogg" or a leading number ("07 bell.wav",
// "7-bell.flac") gives slot 6; -1 when the name points to none.
[[nodiscard]] int slotOfFileName(const QString& fileName);
// The files matched to slots, by name; of several files for one slot the first in name order.
[[nodiscard]] QMap<int, QString> matchSlots(QStringList paths);

// Saves the sound each slot plays (its external file, or its archive sound) into `folder` as
// "Sound 01.ogg" .. "Sound 30.ogg". Refuses before writing when a sound cannot be read.
[[nodiscard]] Status exportAllSounds(const ListedArchive& archive,
                                     const std::array<QString, kSlotCount>& soundBoxes,
                                     const QString& folder);

} // namespace tollvik::convert
