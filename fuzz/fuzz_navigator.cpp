// The navigator patcher: identification, load and save, against the tests' own copy of the
// build tables (navigatorfiles.h), never against the patcher's.
//
// Input: a build byte (one of the expected builds, or none past the last one), a probe byte and a
// value (probe 1 to 3 of that build gets the value; 0 alters nothing), a 32-bit length to cut the
// file to (0 keeps it whole), a flag byte (bit 0: the texts are UTF-8, so that characters
// Windows-1252 cannot store occur; otherwise Windows-1252 bytes) and the menu texts, separated by
// LF.
//
// Invariants: the identification is the first expected build whose three probes lie inside the
// file and match; the load succeeds exactly then and copies the file byte for byte; the save
// succeeds exactly when the file is long enough for the build's patch and every text is
// storable, and then writes the expected patch byte for byte; a refused load or save changes no
// file.
#include "core/codepage.h"
#include "fuzzsupport.h"
#include "navigatorfiles.h"
#include "patcher/patcher.h"

#include <algorithm>

using namespace tollvik;
using namespace tollvik::fuzz;

namespace {

const test::ExpectedBuild* expectedIdentification(const QByteArray& file)
{
    for (const test::ExpectedBuild& build : test::expectedBuilds()) {
        if (std::ranges::all_of(build.probes, [&](const auto& probe) {
                return probe.first < file.size() && quint8(file[probe.first]) == probe.second;
            }))
            return &build;
    }
    return nullptr;
}

// One past the last byte the build's patch writes.
qint64 patchEnd(const test::ExpectedBuild& b)
{
    return std::max({b.text.first + 480, b.pointers.first + 120, b.sounds.first + 120,
                     b.pointerRef + 4, b.count + 1, b.soundRef1 + 4, b.soundRef2 + 4,
                     b.soundRef3 + 4});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Scratch area;
    static const QByteArray filler = test::makeFillerFile();
    area.reset();
    FieldReader fields(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    const auto& builds = test::expectedBuilds();
    const qsizetype pick = fields.u8() % (builds.size() + 1);
    const int probe = fields.u8() % 4;
    const char value = static_cast<char>(fields.u8());
    const quint32 cut = fields.u32();
    const bool utf8 = (fields.u8() & 1) != 0;
    const QList<QByteArray> lines = fields.rest().toByteArray().split('\n');

    QByteArray file = filler;
    if (pick < builds.size()) {
        for (const auto& [offset, expected] : builds[pick].probes)
            file[offset] = static_cast<char>(expected);
        if (probe > 0)
            file[builds[pick].probes[std::size_t(probe - 1)].first] = value;
    }
    if (cut != 0)
        file.truncate(qsizetype(cut % quint32(file.size())));
    std::array<QString, 30> texts;
    std::array<QByteArray, 30> encoded;
    bool storable = true;
    for (std::size_t i = 0; i < 30 && i < std::size_t(lines.size()); ++i) {
        texts[i] =
            utf8 ? QString::fromUtf8(lines[qsizetype(i)]) : decodeCp1252(lines[qsizetype(i)]);
        const Cp1252Encoding encoding = encodeCp1252(texts[i]);
        storable = storable && encoding.ok();
        encoded[i] = encoding.bytes;
    }

    const test::ExpectedBuild* build = expectedIdentification(file);
    const NavigatorBuild* identified = IdentifyNavigatorFile(file);
    KeepLog log;
    FUZZ_CHECK((identified ? identified->versionIndex : 0) == (build ? build->index : 0), QString(),
               &log);

    const QString chosen = area.outside() + QStringLiteral("TomTom.exe");
    writeFile(chosen, file);
    // A refusal must leave every file as it was; the program folder is only read for that check,
    // as reading megabytes per run would dominate the fuzzing.
    NavigatorState state;
    const bool recognised = build != nullptr;
    const Snapshot empty = snapshot(area.program());
    FUZZ_CHECK(loadNavigatorFile(chosen, area.program(), state, log).ok() == recognised, QString(),
               &log);
    if (!recognised) {
        FUZZ_CHECK(compareSnapshots(empty, snapshot(area.program())).isEmpty(), QString(), &log);
        return 0;
    }
    FUZZ_CHECK(readFile(area.temp(QStringLiteral("TomTom.exe"))) == file, QString(), &log);

    const bool expected = storable && file.size() >= patchEnd(*build);
    const Snapshot before = expected ? Snapshot() : snapshot(area.program());
    FUZZ_CHECK(saveModifiedNavigator(state, texts, area.program(), log).ok() == expected, QString(),
               &log);
    if (expected)
        FUZZ_CHECK(readFile(area.modified(QStringLiteral("TomTom.exe"))) ==
                       test::expectedPatch(file, *build, encoded, texts),
                   QStringLiteral("the output differs from the expected patch"), &log);
    else
        FUZZ_CHECK(compareSnapshots(before, snapshot(area.program())).isEmpty(), QString(), &log);
    return 0;
}
