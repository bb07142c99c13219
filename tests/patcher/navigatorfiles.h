#pragma once

#include <QByteArray>
#include <QList>
#include <array>
#include <optional>

namespace tollvik::test {

// The known builds as the tests expect them, written out independently of the patcher's own
// table, so that a wrong number in either shows up.
struct ExpectedLocation
{
    qint32 offset = 0;
    qint32 address = 0; // used for the text area, the pointer table and the sound table only
};

struct ExpectedBuild
{
    int index = 0;
    std::array<std::pair<qint32, quint8>, 3> probes;
    const char* caption = "";
    bool go = false; // GO device picture, else the handheld picture
    ExpectedLocation text, pointers, sounds;
    qint32 pointerRef = 0, count = 0, soundRef1 = 0, soundRef2 = 0;
    std::optional<qint32> soundRef3;
    int firstSound = 0;
};

const QList<ExpectedBuild>& expectedBuilds();
const ExpectedBuild& expectedBuild(int index);

// Long enough for every probe and patch location of every build.
inline constexpr qint64 kNavigatorFileSize = 0x250000;

// A synthetic navigator file: a known filler with the build's probe bytes set.
QByteArray makeNavigatorFile(int index, qint64 size = kNavigatorFileSize);
// The filler alone: recognised as no build.
QByteArray makeFillerFile(qint64 size = kNavigatorFileSize);

// What a save must turn `original` into, from the expected tables: text slots, pointers, count
// byte, sound entries and references.
QByteArray expectedPatch(QByteArray original, const ExpectedBuild& build,
                         const std::array<QByteArray, 30>& cp1252Texts,
                         const std::array<QString, 30>& texts);

} // namespace tollvik::test
