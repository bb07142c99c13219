#include "navigatorfiles.h"

#include <QtEndian>
#include <algorithm>

namespace tollvik::test {

const QList<ExpectedBuild>& expectedBuilds()
{
    // index, probes, caption, GO picture, text, pointers and sounds (offset, address),
    // pointer ref, count, sound refs 1 to 3, first sound
    // clang-format off
    static const QList<ExpectedBuild> builds = {
        {1, {{{0x18D9C4, 0x53}, {0x18DA20, 0x38}, {0x18DA80, 0x31}}},
         "TomTom Navigator 5.1 loaded.", false, {0x18D9D0, 0x19E5D0}, {0x18C9B4, 0x19D5B4},
         {0x173070, 0x183C70}, 0x29594, 0x2950C, 0x294DC, 0x294E0, 0, 150},
        {4, {{{0x1E50C8, 0x53}, {0x1EB080, 0x45}, {0x52BE0, 0x03}}},
         "TomTom GO 5.0(a) loaded.", true, {0x1E50D4, 0x1ED0D4}, {0x1EB08C, 0x1F308C},
         {0x1EB180, 0x1F3180}, 0x9D8F4, 0x9D874, 0x9D84C, 0x9D850, 0, 151},
        {5, {{{0x1F5A00, 0x53}, {0x1F48D0, 0x94}, {0x61390, 0x74}}},
         "TomTom GO 5.2 loaded.", true, {0x1F5A0C, 0x1FDA0C}, {0x1FBC0C, 0x203C0C},
         {0x1FBD00, 0x203D00}, 0xA5CEC, 0xA5C6C, 0xA5C44, 0xA5C48, 0, 147},
        {6, {{{0x1F6B98, 0x53}, {0x1F57B0, 0x31}, {0x61390, 0x04}}},
         "TomTom GO 5.202 loaded.", true, {0x1F6BA4, 0x1FEBA4}, {0x1FCE74, 0x204E74},
         {0x1FCF68, 0x204F68}, 0xA6328, 0xA62A8, 0xA6280, 0xA6284, 0, 147},
        {7, {{{0x1F5A5C, 0x53}, {0x1F57B0, 0x00}, {0x61390, 0x70}}},
         "TomTom GO 5.201 loaded.", true, {0x1F5A68, 0x1FDA68}, {0x1FBC68, 0x203C68},
         {0x1FBD5C, 0x203D5C}, 0xA5CF8, 0xA5C78, 0xA5C50, 0xA5C54, 0, 147},
        {10, {{{0x1E50C8, 0x00}, {0x1EB080, 0x0C}, {0x52BE0, 0x87}}},
         "TomTom GO 5.1 loaded.", true, {0x1F2694, 0x1FA694}, {0x1F8854, 0x200854},
         {0x1F8948, 0x200948}, 0xA55FC, 0xA557C, 0xA5554, 0xA5558, 0, 147},
        {11, {{{0x1E50C8, 0x4B}, {0x1EB080, 0x25}, {0x52BE0, 0x03}}},
         "TomTom GO 5.0(b) loaded.", true, {0x1E5108, 0x1ED108}, {0x1EB0C0, 0x1F30C0},
         {0x1EB1B4, 0x1F31B4}, 0x9D928, 0x9D8A8, 0x9D880, 0x9D884, 0, 151},
        {12, {{{0x18D9C4, 0x02}, {0x18DA20, 0x7C}, {0x18DA80, 0xF0}}},
         "TomTom Navigator 5.0 loaded.", false, {0x188138, 0x199F38}, {0x18712C, 0x198F2C},
         {0x16E450, 0x17FC50}, 0x27DC4, 0x27D3C, 0x27D0C, 0x27D10, 0, 150},
        {13, {{{0x1F5A5C, 0x03}, {0x1F57B0, 0x03}, {0x61390, 0x00}}},
         "TomTom GO 5.4 loaded.", true, {0x23F1B0, 0x2471B0}, {0x23F4C4, 0x2474C4},
         {0x23FFAC, 0x247FAC}, 0x42E04, 0x42D94, 0x42DEC, 0x42DF0, 0x42DF4, 144},
        {14, {{{0x29E04, 0x10}, {0x18DA20, 0x98}, {0x18B810, 0x42}}},
         "TomTom Navigator 5.21 loaded.", false, {0x1921DC, 0x1A39DC}, {0x1911D4, 0x1A29D4},
         {0x177478, 0x188C78}, 0x29D9C, 0x29D14, 0x29CE4, 0x29CE8, 0, 150},
        {15, {{{0x29E04, 0xF8}, {0x29E40, 0x00}, {0xDC430, 0x02}}},
         "TomTom Navigator 5.21a loaded.", false, {0x1921DC, 0x1A39DC}, {0x1911D4, 0x1A29D4},
         {0x177478, 0x188C78}, 0x29E04, 0x29D7C, 0x29D4C, 0x29D50, 0, 150},
    };
    // clang-format on
    return builds;
}

const ExpectedBuild& expectedBuild(int index)
{
    const auto found = std::ranges::find(expectedBuilds(), index, &ExpectedBuild::index);
    if (found == expectedBuilds().end())
        qFatal("no expected build %d", index);
    return *found;
}

QByteArray makeFillerFile(qint64 size)
{
    // A pattern with no zero run and no repetition at probe distances.
    QByteArray data(size, Qt::Uninitialized);
    quint32 state = 0x2545F491u;
    for (qint64 i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        data[i] = static_cast<char>(state >> 24);
    }
    return data;
}

QByteArray makeNavigatorFile(int index)
{
    QByteArray data = makeFillerFile();
    for (const auto& [offset, value] : expectedBuild(index).probes)
        data[offset] = static_cast<char>(value);
    return data;
}

QByteArray expectedPatch(QByteArray data, const ExpectedBuild& build,
                         const std::array<QByteArray, kSlotCount>& cp1252Texts,
                         const std::array<QString, kSlotCount>& texts)
{
    const auto [text, textAddress] = build.text;
    const auto [sounds, soundsAddress] = build.sounds;
    for (int i = 0; i < 30; ++i) {
        const QByteArray& bytes = cp1252Texts[static_cast<std::size_t>(i)];
        for (int k = 0; k < 16; ++k)
            data[text + 16 * i + k] = k < 15 && k < bytes.size() ? bytes[k] : '\0';
        qToLittleEndian(quint32(textAddress + 16 * i), data.data() + build.pointers.first + 4 * i);
        qToLittleEndian(0xFFFFFF00u | quint8(build.firstSound - i), data.data() + sounds + 4 * i);
    }
    int count = 30;
    while (count > 0 && texts[static_cast<std::size_t>(count - 1)].isEmpty())
        --count;
    data[build.count] = static_cast<char>(count);
    qToLittleEndian(quint32(build.pointers.second), data.data() + build.pointerRef);
    for (const qint32 ref : {build.soundRef1, build.soundRef2, build.soundRef3}) {
        if (ref != 0)
            qToLittleEndian(quint32(soundsAddress), data.data() + ref);
    }
    return data;
}

QByteArray expectedPatch(const QByteArray& original, const ExpectedBuild& build,
                         const std::array<QString, kSlotCount>& texts)
{
    std::array<QByteArray, kSlotCount> bytes;
    for (std::size_t i = 0; i < texts.size(); ++i)
        bytes[i] = QString(texts[i]).replace(u'\u20AC', QChar(0x80)).toLatin1();
    return expectedPatch(original, build, bytes, texts);
}

} // namespace tollvik::test
