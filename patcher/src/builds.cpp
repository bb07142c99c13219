#include "core/paths.h"
#include "navigator_detail.h"

#include <algorithm>

namespace tollvik {
namespace {

// A location the build does not have.
constexpr PatchLocation kNoLocation{};

constexpr PatchLocation at(qint32 fileOffset)
{
    return {fileOffset, 0};
}

constexpr PatchLocation at(qint32 fileOffset, qint32 memoryAddress)
{
    return {fileOffset, memoryAddress};
}

// The known builds. The memory address of a location is its file offset plus the load offset of
// its file section; both numbers are stated, neither is computed from the other.
constexpr std::array<detail::BuildEntry, 12> kBuilds{{
    // TTMobile on a SmartPhone: kept as data only. It lacks the third sound-table reference the
    // patch would need for it, so it is never probed and never patched.
    {.build = {.versionIndex = 0,
               .probes = {{{0x17C500, 0x6D}, {0x17C520, 0x25}, {0x17C540, 0x25}}},
               .caption = u"TTMobile (SmartPhone 5 (a)) loaded.",
               .picture = DevicePicture::Phone},
     .dormant = true,
     .patch = {.MenuTextArea = at(0x17E814, 0x190A14),
               .MenuPointerTable = at(0x17D7F8, 0x18F9F8),
               .MenuPointerTableRef = at(0x24D74),
               .MenuItemCount = at(0x24CEC),
               .SoundTable = at(0x165598, 0x176B98),
               .SoundTableRef1 = at(0x24CBC),
               .SoundTableRef2 = at(0x24CC0),
               .SoundTableRef3 = kNoLocation,
               .FirstSoundNumber = 151}},
    {.build = {.versionIndex = 1,
               .probes = {{{0x18D9C4, 0x53}, {0x18DA20, 0x38}, {0x18DA80, 0x31}}},
               .caption = u"TomTom Navigator 5.1 loaded.",
               .picture = DevicePicture::Handheld},
     .patch = {.MenuTextArea = at(0x18D9D0, 0x19E5D0),
               .MenuPointerTable = at(0x18C9B4, 0x19D5B4),
               .MenuPointerTableRef = at(0x29594),
               .MenuItemCount = at(0x2950C),
               .SoundTable = at(0x173070, 0x183C70),
               .SoundTableRef1 = at(0x294DC),
               .SoundTableRef2 = at(0x294E0),
               .SoundTableRef3 = kNoLocation,
               .FirstSoundNumber = 150}},
    {.build = {.versionIndex = 4,
               .probes = {{{0x1E50C8, 0x53}, {0x1EB080, 0x45}, {0x52BE0, 0x03}}},
               .caption = u"TomTom GO 5.0(a) loaded.",
               .picture = DevicePicture::GoDevice},
     .patch = {.MenuTextArea = at(0x1E50D4, 0x1ED0D4),
               .MenuPointerTable = at(0x1EB08C, 0x1F308C),
               .MenuPointerTableRef = at(0x9D8F4),
               .MenuItemCount = at(0x9D874),
               .SoundTable = at(0x1EB180, 0x1F3180),
               .SoundTableRef1 = at(0x9D84C),
               .SoundTableRef2 = at(0x9D850),
               .SoundTableRef3 = kNoLocation,
               .FirstSoundNumber = 151}},
    {.build = {.versionIndex = 5,
               .probes = {{{0x1F5A00, 0x53}, {0x1F48D0, 0x94}, {0x61390, 0x74}}},
               .caption = u"TomTom GO 5.2 loaded.",
               .picture = DevicePicture::GoDevice},
     .patch = {.MenuTextArea = at(0x1F5A0C, 0x1FDA0C),
               .MenuPointerTable = at(0x1FBC0C, 0x203C0C),
               .MenuPointerTableRef = at(0xA5CEC),
               .MenuItemCount = at(0xA5C6C),
               .SoundTable = at(0x1FBD00, 0x203D00),
               .SoundTableRef1 = at(0xA5C44),
               .SoundTableRef2 = at(0xA5C48),
               .SoundTableRef3 = kNoLocation,
               .FirstSoundNumber = 147}},
    {.build = {.versionIndex = 6,
               .probes = {{{0x1F6B98, 0x53}, {0x1F57B0, 0x31}, {0x61390, 0x04}}},
               .caption = u"TomTom GO 5.202 loaded.",
               .picture = DevicePicture::GoDevice},
     .patch = {.MenuTextArea = at(0x1F6BA4, 0x1FEBA4),
               .MenuPointerTable = at(0x1FCE74, 0x204E74),
               .MenuPointerTableRef = at(0xA6328),
               .MenuItemCount = at(0xA62A8),
               .SoundTable = at(0x1FCF68, 0x204F68),
               .SoundTableRef1 = at(0xA6280),
               .SoundTableRef2 = at(0xA6284),
               .SoundTableRef3 = kNoLocation,
               .FirstSoundNumber = 147}},
    {.build = {.versionIndex = 7,
               .probes = {{{0x1F5A5C, 0x53}, {0x1F57B0, 0x00}, {0x61390, 0x70}}},
               .caption = u"TomTom GO 5.201 loaded.",
               .picture = DevicePicture::GoDevice},
     .patch = {.MenuTextArea = at(0x1F5A68, 0x1FDA68),
               .MenuPointerTable = at(0x1FBC68, 0x203C68),
               .MenuPointerTableRef = at(0xA5CF8),
               .MenuItemCount = at(0xA5C78),
               .SoundTable = at(0x1FBD5C, 0x203D5C),
               .SoundTableRef1 = at(0xA5C50),
               .SoundTableRef2 = at(0xA5C54),
               .SoundTableRef3 = kNoLocation,
               .FirstSoundNumber = 147}},
    {.build = {.versionIndex = 10,
               .probes = {{{0x1E50C8, 0x00}, {0x1EB080, 0x0C}, {0x52BE0, 0x87}}},
               .caption = u"TomTom GO 5.1 loaded.",
               .picture = DevicePicture::GoDevice},
     .patch = {.MenuTextArea = at(0x1F2694, 0x1FA694),
               .MenuPointerTable = at(0x1F8854, 0x200854),
               .MenuPointerTableRef = at(0xA55FC),
               .MenuItemCount = at(0xA557C),
               .SoundTable = at(0x1F8948, 0x200948),
               .SoundTableRef1 = at(0xA5554),
               .SoundTableRef2 = at(0xA5558),
               .SoundTableRef3 = kNoLocation,
               .FirstSoundNumber = 147}},
    {.build = {.versionIndex = 11,
               .probes = {{{0x1E50C8, 0x4B}, {0x1EB080, 0x25}, {0x52BE0, 0x03}}},
               .caption = u"TomTom GO 5.0(b) loaded.",
               .picture = DevicePicture::GoDevice},
     .patch = {.MenuTextArea = at(0x1E5108, 0x1ED108),
               .MenuPointerTable = at(0x1EB0C0, 0x1F30C0),
               .MenuPointerTableRef = at(0x9D928),
               .MenuItemCount = at(0x9D8A8),
               .SoundTable = at(0x1EB1B4, 0x1F31B4),
               .SoundTableRef1 = at(0x9D880),
               .SoundTableRef2 = at(0x9D884),
               .SoundTableRef3 = kNoLocation,
               .FirstSoundNumber = 151}},
    {.build = {.versionIndex = 12,
               .probes = {{{0x18D9C4, 0x02}, {0x18DA20, 0x7C}, {0x18DA80, 0xF0}}},
               .caption = u"TomTom Navigator 5.0 loaded.",
               .picture = DevicePicture::Handheld},
     .patch = {.MenuTextArea = at(0x188138, 0x199F38),
               .MenuPointerTable = at(0x18712C, 0x198F2C),
               .MenuPointerTableRef = at(0x27DC4),
               .MenuItemCount = at(0x27D3C),
               .SoundTable = at(0x16E450, 0x17FC50),
               .SoundTableRef1 = at(0x27D0C),
               .SoundTableRef2 = at(0x27D10),
               .SoundTableRef3 = kNoLocation,
               .FirstSoundNumber = 150}},
    {.build = {.versionIndex = 13,
               .probes = {{{0x1F5A5C, 0x03}, {0x1F57B0, 0x03}, {0x61390, 0x00}}},
               .caption = u"TomTom GO 5.4 loaded.",
               .picture = DevicePicture::GoDevice},
     .patch = {.MenuTextArea = at(0x23F1B0, 0x2471B0),
               .MenuPointerTable = at(0x23F4C4, 0x2474C4),
               .MenuPointerTableRef = at(0x42E04),
               .MenuItemCount = at(0x42D94),
               .SoundTable = at(0x23FFAC, 0x247FAC),
               .SoundTableRef1 = at(0x42DEC),
               .SoundTableRef2 = at(0x42DF0),
               .SoundTableRef3 = at(0x42DF4),
               .FirstSoundNumber = 144}},
    {.build = {.versionIndex = 14,
               .probes = {{{0x29E04, 0x10}, {0x18DA20, 0x98}, {0x18B810, 0x42}}},
               .caption = u"TomTom Navigator 5.21 loaded.",
               .picture = DevicePicture::Handheld},
     .patch = {.MenuTextArea = at(0x1921DC, 0x1A39DC),
               .MenuPointerTable = at(0x1911D4, 0x1A29D4),
               .MenuPointerTableRef = at(0x29D9C),
               .MenuItemCount = at(0x29D14),
               .SoundTable = at(0x177478, 0x188C78),
               .SoundTableRef1 = at(0x29CE4),
               .SoundTableRef2 = at(0x29CE8),
               .SoundTableRef3 = kNoLocation,
               .FirstSoundNumber = 150}},
    {.build = {.versionIndex = 15,
               .probes = {{{0x29E04, 0xF8}, {0x29E40, 0x00}, {0xDC430, 0x02}}},
               .caption = u"TomTom Navigator 5.21a loaded.",
               .picture = DevicePicture::Handheld},
     .patch = {.MenuTextArea = at(0x1921DC, 0x1A39DC),
               .MenuPointerTable = at(0x1911D4, 0x1A29D4),
               .MenuPointerTableRef = at(0x29E04),
               .MenuItemCount = at(0x29D7C),
               .SoundTable = at(0x177478, 0x188C78),
               .SoundTableRef1 = at(0x29D4C),
               .SoundTableRef2 = at(0x29D50),
               .SoundTableRef3 = kNoLocation,
               .FirstSoundNumber = 150}},
}};

constexpr qint16 versionOf(const detail::BuildEntry& entry)
{
    return entry.build.versionIndex;
}

static_assert(std::ranges::is_sorted(kBuilds, {}, versionOf),
              "the identification takes the first match in ascending version index");

} // namespace

std::span<const detail::BuildEntry> detail::buildEntries()
{
    return kBuilds;
}

const detail::BuildEntry* detail::findBuildEntry(qint16 versionIndex)
{
    for (const BuildEntry& entry : kBuilds) {
        if (entry.build.versionIndex == versionIndex && !entry.dormant)
            return &entry;
    }
    return nullptr;
}

const NavigatorBuild* findNavigatorBuild(qint16 versionIndex)
{
    const detail::BuildEntry* entry = detail::findBuildEntry(versionIndex);
    return entry != nullptr ? &entry->build : nullptr;
}

Status detail::FillPatchTable(NavigatorState& state)
{
    if (!Exists(state.workingCopyPath))
        return fail(QStringLiteral("the working copy %1 is missing or empty; load the TTN file "
                                   "again.")
                        .arg(state.workingCopyPath));
    const BuildEntry* entry = findBuildEntry(state.VersionIndex);
    if (entry == nullptr)
        return fail(QStringLiteral("no TTN file is loaded."));
    PatchTable& table = state.patchTable;
    const PatchLocation ref3 = table.SoundTableRef3;
    table = entry->patch;
    // A build without a third reference leaves the old value, which the patch then never writes.
    if (!writesSoundTableRef3(state.VersionIndex))
        table.SoundTableRef3 = ref3;
    return {};
}

} // namespace tollvik
