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
// under a name that says what it holds, numbered like slotLabel(): "03 horn.ogg" for slot 2
// converted from horn.wav (or from "03 horn.wav"), "05 Speed camera (spoken).ogg" for a spoken
// text. Characters a file name cannot take become "_", and a long source name is cut.
[[nodiscard]] QString convertedSoundName(int slot, const QString& sourceName);
// Writes a converted sound there through the atomic file layer; returns its path. Every name it
// writes is kept in a record in Temp/ so that removeConvertedSounds() removes exactly those: a
// file of that name that is not ours (nor `readFrom`, the file converted) is never replaced;
// the sound gets the name with " (2)", " (3)", ... added instead.
[[nodiscard]] Result<QString> writeConvertedSound(const QString& programFolder, int slot,
                                                  const QString& sourceName, const QByteArray& ogg,
                                                  const QString& readFrom = {});
// Deletes every converted sound the record names (at shutdown), then the record; a file that
// cannot be deleted stays in the record.
void removeConvertedSounds(const QString& programFolder);

// The slot a file's name points to: "Sound 07.ogg" or a leading number ("07 bell.wav",
// "7-bell.flac") gives slot 6; -1 when the name points to none.
[[nodiscard]] int slotOfFileName(const QString& fileName);
// The files matched to slots, by name; of several files for one slot the first in name order.
[[nodiscard]] QMap<int, QString> matchSlots(QStringList paths);

// The names exportAllSounds() gives; and how many of those already lie in `folder` and would
// be replaced (a slot's own file, left as it is, does not count).
[[nodiscard]] QString exportFileName(int slot);
[[nodiscard]] int exportFilesPresent(const std::array<QString, kSlotCount>& soundBoxes,
                                     const QString& folder);
// Saves the sound each slot plays (its external file, or its archive sound) into `folder` as
// "Sound 01.ogg" .. "Sound 30.ogg". Refuses before writing when a sound cannot be read or an
// export would land on a file it reads (the working copy, another slot's sound) or on something
// that is not a regular file (a folder, a FIFO, a device, a dangling link); a slot's own
// file, already there, is left as it is.
[[nodiscard]] Status exportAllSounds(const ListedArchive& archive,
                                     const std::array<QString, kSlotCount>& soundBoxes,
                                     const QString& folder);

} // namespace tollvik::convert
