// The sound archive's reader, load and build, against the archive factory of the tests.
//
// Input, read by FuzzedDataProvider: the entry count (30 to 110; the empty input gives 40), up to
// 7 byte edits of the factory's archive with real Ogg sounds in its slots (the new byte, then its
// offset), a count of bytes to cut from its end, then external files while input is left: a
// slot, a kind (".ogg", ".OGG", a name ending in "ogg" without a dot, a missing ".ogg", a ".wav",
// which is no external sound, a folder named like an .ogg), whether the file is filler ("x"s,
// up to 199 bytes) or begins like Ogg, and its size (up to 139,999 bytes). The empty input is a
// whole archive of 40 entries.
//
// Invariants: the split into entries accepts exactly the archives within the limits whose table
// describes the bytes exactly, gives views of the archive that join back to it byte for byte, and
// every Ogg entry's length (the converter's bounded read, as `chk list --all` shows it) is a
// finite, non-negative number of seconds or a refusal; every sound the listing names reads back
// as the bytes at its offset; the load
// copies the file byte for byte exactly when the listing accepts it, and changes nothing
// otherwise; the build writes exactly the archive the factory lays out from the old entries and
// the external files, to Modified/ and Temp/, exactly when the archive and the files allow it,
// and otherwise changes nothing. The build's sound check is a stand-in that refuses every sound
// whose length leaves 1 when divided by 5 (the converter's own check has its harness); the
// formats it compares are the converter's.
#include "archive/archive.h"
#include "archive/entries.h"
#include "chkfactory.h"
#include "convert/module.h"
#include "fuzzsupport.h"

#include <QDir>
#include <cmath>
#include <optional>

using namespace tollvik;
using tollvik::test::be32;
using namespace Qt::StringLiterals;

namespace {

struct External
{
    QString path; // the slot's sound box; empty for its label
    QByteArray bytes;
    int kind = 0;
};

// Whether the stand-in check takes a sound.
bool playable(QByteArrayView ogg)
{
    return ogg.size() % 5 != 1;
}

// Whether the split must take the archive: within the limits, offsets rising from the table's
// end to the file's end.
bool splits(const QByteArray& a)
{
    const qint64 n = a.size() >= 4 ? be32(a, 0) : -1;
    if (n < 0 || n > 65536 || 4 * (n + 2) > a.size())
        return false;
    qint64 previous = 4 * (n + 2);
    for (qint64 i = 1; i <= n + 1; ++i) {
        if (be32(a, 4 * i) < previous || be32(a, 4 * i) > a.size())
            return false;
        previous = be32(a, 4 * i);
    }
    return previous == a.size();
}

// The split and the listing with entry lengths.
void splitAndMeasure(const QByteArray& archive)
{
    const Result<ChkParts> parts = splitChk(archive);
    FUZZ_CHECK(parts.ok() == splits(archive));
    if (!parts)
        return;
    ChkContents contents{parts->gap.toByteArray(), {}};
    for (const QByteArrayView entry : parts->entries) {
        FUZZ_CHECK(entry.data() >= archive.constData() &&
                   entry.data() + entry.size() <= archive.constEnd());
        contents.entries.append(entry.toByteArray());
        const QByteArrayView ogg = oggOfEntry(entry);
        if (ogg.isEmpty())
            continue;
        const Result<double> seconds = convert::oggSeconds(ogg);
        FUZZ_CHECK(!seconds || (std::isfinite(seconds.value()) && seconds.value() >= 0));
    }
    FUZZ_CHECK(joinChk(contents).value() == archive);
}

// The archive the build must write, laid out by the factory; nothing when it must refuse.
std::optional<QByteArray> expectedBuild(const QByteArray& old, const QList<External>& slots)
{
    const qint64 n = old.size() >= 4 ? be32(old, 0) : 0;
    if (n < 32 || 4 * (n + 1) > old.size() - 4 || be32(old, 4 * (n + 1)) != old.size())
        return std::nullopt;
    test::ChkArchive archive;
    for (qint64 i = 1; i <= n; ++i) {
        const qint64 start = i == 1 ? 4 * (n + 2) : be32(old, 4 * i);
        if (be32(old, 4 * i) < 4 * (n + 2) || be32(old, 4 * (i + 1)) < be32(old, 4 * i))
            return std::nullopt;
        archive.entries.append(old.mid(start, be32(old, 4 * (i + 1)) - start));
    }
    const qint64 first = n == 102 ? n - 12 : n - 30;
    for (qint64 entry = first; entry < n; ++entry) {
        const External& ext = slots[int(entry - first)];
        if (ext.path.isEmpty() || ext.kind == 4) // no external sound
            continue;
        if (ext.kind > 2 || ext.bytes.size() > 131056 || !ext.bytes.startsWith("OggS") ||
            !playable(ext.bytes))
            return std::nullopt;
        archive.entries[int(entry - 1)] = test::slotEntry(ext.bytes);
    }
    QByteArray bytes = archive.bytes();
    test::putBe32(bytes, 4, be32(old, 4)); // entry 1 keeps its offset, past any gap
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const suffixes[] = {".ogg", ".OGG", "ogg", "_gone.ogg", ".wav", "_dir.ogg"};
    FuzzedDataProvider in(data, size);
    QByteArray archive = test::makeChk(30 + (in.ConsumeIntegralInRange(0, 80) + 10) % 81).bytes();
    for (int edits = in.ConsumeIntegralInRange(0, 7); edits > 0; --edits) {
        const char value = in.ConsumeIntegral<char>();
        archive[in.ConsumeIntegralInRange<qsizetype>(0, archive.size() - 1)] = value;
    }
    archive.chop(in.ConsumeIntegralInRange<qsizetype>(0, archive.size() - 1));
    test::ProgramFolder folder;
    QTemporaryDir user;
    QList<External> slots(kSlotCount);
    while (in.remaining_bytes() > 0) {
        const int slot = in.ConsumeIntegralInRange(0, kSlotCount - 1);
        External& ext = slots[slot];
        ext.kind = in.ConsumeIntegralInRange(0, 5);
        ext.path =
            user.filePath(QStringLiteral("e%1").arg(slot) + QLatin1String(suffixes[ext.kind]));
        ext.bytes = in.ConsumeBool() ? QByteArray(in.ConsumeIntegralInRange(0, 199), 'x')
                                     : test::oggOfSize(in.ConsumeIntegralInRange(0, 139'999));
        if (ext.kind != 3)
            FUZZ_CHECK(ext.kind == 5 ? QDir().mkpath(ext.path)
                                     : test::writeAll(ext.path, ext.bytes));
    }

    splitAndMeasure(archive);
    test::RecordingLog log;
    const QString chosen = user.filePath(u"data.chk"_s);
    const QString working = folder.temp(u"data.chk"_s);
    FUZZ_CHECK(test::writeAll(chosen, archive));
    const Result<ChkListing> listed = Get_Chk_info(chosen, log);
    FUZZ_CHECK(log.lines.size() == (listed ? 31 : 1));
    for (const SlotSound& row : listed ? listed->table : SlotSoundTable{}) {
        const Result<QByteArray> sound = readSlotSound(chosen, row);
        FUZZ_CHECK(sound && sound.value() == archive.mid(row.dataOffset, row.dataLength));
    }
    const auto empty = test::filesUnder(folder.path());
    const bool loaded = LoadBaseChk(chosen, folder.path(), log).ok();
    FUZZ_CHECK(loaded == listed.ok());
    FUZZ_CHECK(loaded ? test::readAll(working) == archive
                      : test::filesUnder(folder.path()) == empty);

    FUZZ_CHECK(test::writeAll(working, archive));
    BuildInput build{folder.path(), working, u"data.chk"_s, {}, {}, {}};
    build.check = convert::soundCheckOf(&convert::checkPlayable, &convert::oggFormat);
    build.check.playable = [](QByteArrayView ogg) -> Status {
        if (playable(ogg))
            return {};
        return fail(QStringLiteral("it is refused here"));
    };
    for (int s = 0; s < kSlotCount; ++s)
        build.soundBoxes[std::size_t(s)] = slots[s].path.isEmpty() ? slotLabel(s) : slots[s].path;
    const std::optional<QByteArray> expected = expectedBuild(archive, slots);
    const auto before = test::filesUnder(folder.path());
    const Result<BuiltChk> built = data_chk_reload(build, log);
    FUZZ_CHECK(built.ok() == expected.has_value());
    FUZZ_CHECK(built ? test::readAll(folder.modified(u"data.chk"_s)) == *expected &&
                           test::readAll(working) == *expected
                     : test::filesUnder(folder.path()) == before);
    return 0;
}
