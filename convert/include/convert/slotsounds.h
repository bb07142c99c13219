#pragma once

#include "archive/slotfiles.h"
#include "convert/convert.h"

namespace tollvik::convert {

// Sounds for the warning slots of a listed archive: an external sound converted like the
// slot's own, a spoken menu text. None of it touches a widget; the window runs the conversions
// on its worker thread.

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

} // namespace tollvik::convert
