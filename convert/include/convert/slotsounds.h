#pragma once

#include "archive/archive.h"
#include "convert/convert.h"

#include <QMap>
#include <QStringList>
#include <array>

namespace tollvik::convert {

// Sounds for the warning slots of a listed archive: an external sound converted like the
// slot's own, a spoken menu text, a folder matched to slots, all 30 saved at once. None of it
// touches a widget; the window runs the conversions on its worker thread.

// The listed archive a slot sound is made for.
struct ListedArchive
{
    QString programFolder;
    QString workingPath; // Text2
    SlotSoundTable table;
};

// What a conversion made: the sound box's new text and the log's line.
struct SlotSoundMade
{
    int slot = -1;
    QString path;
    QString logLine;
};

// The targets of the 30 slots: each slot's own format, the archive's median loudness.
[[nodiscard]] Result<std::array<Target, kSlotCount>> slotTargets(const ListedArchive& archive,
                                                                 StopFlag stop = nullptr);

// Converts the file for `slot` and writes it into Temp/ under a name of our own.
[[nodiscard]] Result<SlotSoundMade> convertIntoSlot(const ListedArchive& archive, int slot,
                                                    const Target& target, const QString& source,
                                                    StopFlag stop = nullptr);
// Speaks the text for `slot` the same way.
[[nodiscard]] Result<SlotSoundMade> speakIntoSlot(const ListedArchive& archive, int slot,
                                                  const Target& target, const QString& text,
                                                  const QString& voice, StopFlag stop = nullptr);

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
