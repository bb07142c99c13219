// The navigator patcher: identification, load and save, against the tests' own copy of the
// build tables (navigatorfiles.h), never against the patcher's.
//
// Input, read by FuzzedDataProvider: a build (one of the expected builds, or none past the last
// one), a probe and a value (probe 1 to 3 of that build gets the value; 0 alters nothing), a count
// of bytes to cut from the file's end, whether the texts are UTF-8 (so that characters
// Windows-1252 cannot store occur; otherwise Windows-1252 bytes), and the rest: the menu texts,
// separated by LF. The empty input is a whole file of the first build with empty texts.
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

using namespace tollvik;
using namespace Qt::StringLiterals;

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
    static const QByteArray filler = test::makeFillerFile();
    FuzzedDataProvider in(data, size);
    const auto& builds = test::expectedBuilds();
    const qsizetype pick = in.ConsumeIntegralInRange<qsizetype>(0, builds.size());
    const int probe = in.ConsumeIntegralInRange(0, 3);
    const char value = in.ConsumeIntegral<char>();
    const qsizetype cut = in.ConsumeIntegralInRange<qsizetype>(0, filler.size() - 1);
    const bool utf8 = in.ConsumeBool();
    const QByteArray rest = fuzz::bytes(in.ConsumeRemainingBytesAsString());
    const QStringList lines = (utf8 ? QString::fromUtf8(rest) : decodeCp1252(rest)).split(u'\n');
    QByteArray file = filler;
    if (pick < builds.size()) {
        for (const auto& [offset, expected] : builds[pick].probes)
            file[offset] = static_cast<char>(expected);
        if (probe > 0)
            file[builds[pick].probes[std::size_t(probe - 1)].first] = value;
    }
    file.chop(cut);
    std::array<QString, kSlotCount> texts;
    std::array<QByteArray, kSlotCount> encoded;
    for (std::size_t i = 0; i < 30; ++i)
        encoded[i] = encodeCp1252(texts[i] = lines.value(qsizetype(i))).bytes;
    const bool storable = encodeCp1252(QStringList(texts.begin(), texts.end()).join(u' ')).ok();

    const test::ExpectedBuild* build = expectedIdentification(file);
    const NavigatorBuild* identified = IdentifyNavigatorFile(file);
    test::RecordingLog log;
    FUZZ_CHECK((identified ? identified->versionIndex : 0) == (build ? build->index : 0));

    test::ProgramFolder folder;
    QTemporaryDir user;
    const QString chosen = user.filePath(u"TomTom.exe"_s);
    FUZZ_CHECK(test::writeAll(chosen, file));
    NavigatorState state;
    const auto empty = test::filesUnder(folder.path());
    FUZZ_CHECK(loadNavigatorFile(chosen, folder.path(), state, log).ok() == (build != nullptr));
    if (build == nullptr) {
        FUZZ_CHECK(test::filesUnder(folder.path()) == empty);
        return 0;
    }
    FUZZ_CHECK(test::readAll(folder.temp(u"TomTom.exe"_s)) == file);

    // Reading the megabytes of the program folder costs much, so only a refusal is checked so.
    const bool expected = storable && file.size() >= patchEnd(*build);
    const auto before = expected ? decltype(empty)() : test::filesUnder(folder.path());
    FUZZ_CHECK(saveModifiedNavigator(state, texts, folder.path(), log).ok() == expected);
    FUZZ_CHECK(expected ? test::readAll(folder.modified(u"TomTom.exe"_s)) ==
                              test::expectedPatch(file, *build, encoded, texts)
                        : test::filesUnder(folder.path()) == before);
    return 0;
}
