// The sound archive's reader and load against the archive factory of the tests.
//
// Input, read by FuzzedDataProvider: the entry count (30 to 110; the empty input gives 40), up to
// 7 byte edits of the factory's archive with real Ogg sounds in its slots (the new byte, then its
// offset), then a count of bytes to cut from its end. The build has its own tests.
//
// Invariants: the split into entries accepts exactly the archives within the limits whose table
// describes the bytes exactly, gives views of the archive that join back to it byte for byte, and
// every Ogg entry's length (the converter's bounded read, as `chk list --all` shows it) is a
// finite, non-negative number of seconds or a refusal; every sound the listing names reads back
// as the bytes at its offset; the load copies the file byte for byte exactly when the listing
// accepts it, and changes nothing otherwise.
#include "archive/archive.h"
#include "archive/entries.h"
#include "chkfactory.h"
#include "convert/module.h"
#include "fuzzsupport.h"

#include <cmath>

using namespace tollvik;
using tollvik::test::be32;
using namespace Qt::StringLiterals;

namespace {

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    QByteArray archive = test::makeChk(30 + (in.ConsumeIntegralInRange(0, 80) + 10) % 81).bytes();
    for (int edits = in.ConsumeIntegralInRange(0, 7); edits > 0; --edits) {
        const char value = in.ConsumeIntegral<char>();
        archive[in.ConsumeIntegralInRange<qsizetype>(0, archive.size() - 1)] = value;
    }
    archive.chop(in.ConsumeIntegralInRange<qsizetype>(0, archive.size() - 1));
    test::ProgramFolder folder;
    QTemporaryDir user;
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
    return 0;
}
