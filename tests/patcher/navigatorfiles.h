#pragma once

#include "core/slots.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>

namespace tollvik::test {

// The known builds as the tests expect them, written out independently of the patcher's own
// table, so that a wrong number in either shows up. Offsets are file offsets; the text area, the
// pointer table and the sound table also carry their memory addresses.
struct ExpectedBuild
{
    int index = 0;
    std::array<std::pair<qint32, quint8>, 3> probes;
    const char* caption = "";
    bool go = false; // the GO device picture, else the handheld one
    std::pair<qint32, qint32> text, pointers, sounds;
    qint32 pointerRef = 0, count = 0, soundRef1 = 0, soundRef2 = 0;
    qint32 soundRef3 = 0; // GO 5.4 only
    int firstSound = 0;
};

const QList<ExpectedBuild>& expectedBuilds();
const ExpectedBuild& expectedBuild(int index);

// Long enough for every probe and patch location of every build.
inline constexpr qint64 kNavigatorFileSize = 0x250000;

// A synthetic navigator file: a filler that matches no build, with the build's probe bytes set.
QByteArray makeNavigatorFile(int index);
QByteArray makeFillerFile(qint64 size = kNavigatorFileSize);

// What a save must turn `original` into: text slots, pointers, count byte, sound entries and
// references, from the expected tables.
QByteArray expectedPatch(QByteArray original, const ExpectedBuild& build,
                         const std::array<QByteArray, kSlotCount>& cp1252Texts,
                         const std::array<QString, kSlotCount>& texts);
// The same for texts of Latin-1 characters and the euro sign, which is 0x80 in Windows-1252.
QByteArray expectedPatch(const QByteArray& original, const ExpectedBuild& build,
                         const std::array<QString, kSlotCount>& texts);

} // namespace tollvik::test
