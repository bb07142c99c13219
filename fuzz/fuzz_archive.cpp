// The sound archive's reader, load and build, against the archive factory of the tests.
//
// Input records: 'A' the archive the user chooses; 'E' an external file: slot byte (mod 30),
// kind byte (mod 6: 0 "x.ogg", 1 "X.OGG", 2 a name ending in "ogg" without a dot, 3 a missing
// ".ogg", 4 a ".wav", which is no external sound, 5 a folder named "x.ogg"), then its bytes;
// 'O' option bits: 1 skips the load and puts the archive straight into Temp/.
//
// Invariants: every sound the listing names reads back as the bytes at its offset; the load
// copies the file byte for byte exactly when the listing accepts it, and changes nothing
// otherwise; the build writes exactly the archive the factory lays out from the old entries and
// the external files, to Modified/ and Temp/, exactly when the archive and the files allow it,
// and otherwise changes nothing.
#include "archive/archive.h"
#include "chkfactory.h"
#include "fuzzsupport.h"

#include <QDir>
#include <optional>

using namespace tollvik;
using namespace tollvik::fuzz;
using tollvik::test::be32;

namespace {

struct External
{
    QString path; // the slot's sound box; empty for its label
    QByteArray bytes;
    bool external = false; // the name ends in "ogg"
    bool usable = false;   // and it is a readable Ogg file that fits an entry
};

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
        if (!ext.external)
            continue;
        if (!ext.usable)
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
    static Scratch area;
    area.reset();
    KeepLog log;
    QByteArray archive;
    quint8 options = 0;
    QList<External> slots(kSlotCount); // what each slot's sound box names, when not its label
    for (const Record& r : readRecords(QByteArrayView(data, qsizetype(size)))) {
        FieldReader fields(r.bytes);
        if (r.tag == 'A')
            archive = r.bytes.toByteArray();
        if (r.tag == 'O')
            options = fields.u8();
        if (r.tag != 'E')
            continue;
        const int slot = fields.u8() % kSlotCount;
        const int kind = fields.u8() % 6;
        static const char* const suffixes[] = {".ogg",      ".OGG", "ogg",
                                               "_gone.ogg", ".wav", "_dir.ogg"};
        External& ext = slots[slot];
        ext.path = area.outside() + QStringLiteral("e%1").arg(slot) + QLatin1String(suffixes[kind]);
        ext.bytes = fields.rest().toByteArray();
        if (kind == 5)
            QDir().mkpath(ext.path);
        else if (kind != 3)
            writeFile(ext.path, ext.bytes);
        ext.external = kind != 4;
        ext.usable = kind <= 2 && !ext.bytes.isEmpty() && ext.bytes.size() <= 131056 &&
                     ext.bytes.startsWith("OggS");
    }

    const QString chosen = area.outside() + QStringLiteral("data.chk");
    const QString working = area.temp(QStringLiteral("data.chk"));
    writeFile(chosen, archive);
    const Result<ChkListing> listed = Get_Chk_info(chosen, log);
    FUZZ_CHECK(log.lines.size() == (listed ? 31 : 1), QString(), &log);
    for (const SlotSound& row : listed ? listed->table : SlotSoundTable{}) {
        const Result<QByteArray> sound = readSlotSound(chosen, row);
        FUZZ_CHECK(sound && sound.value() == archive.mid(row.dataOffset, row.dataLength),
                   sound.error(), &log);
    }

    if ((options & 1) == 0) {
        const Snapshot before = snapshot(area.program());
        const bool loaded = LoadBaseChk(chosen, area.program(), log).ok();
        FUZZ_CHECK(loaded == listed.ok(), QStringLiteral("the load disagrees with the listing"),
                   &log);
        FUZZ_CHECK(loaded ? readFile(working) == archive
                          : compareSnapshots(before, snapshot(area.program())).isEmpty(),
                   QStringLiteral("the load changed the wrong files"), &log);
    }
    writeFile(working, archive);

    BuildInput in{area.program(), working, QStringLiteral("data.chk"), {}, {}};
    for (int s = 0; s < kSlotCount; ++s)
        in.soundBoxes[std::size_t(s)] = slots[s].path.isEmpty() ? slotLabel(s) : slots[s].path;
    const std::optional<QByteArray> expected = expectedBuild(archive, slots);
    const Snapshot before = snapshot(area.program());
    const Result<BuiltChk> built = data_chk_reload(in, log);
    FUZZ_CHECK(built.ok() == expected.has_value(), QStringLiteral("built or refused wrongly"),
               &log);
    if (!built) {
        const QString diff = compareSnapshots(before, snapshot(area.program()));
        FUZZ_CHECK(diff.isEmpty(), QStringLiteral("a refused build changed ") + diff, &log);
        return 0;
    }
    FUZZ_CHECK(readFile(area.modified(QStringLiteral("data.chk"))) == *expected &&
                   readFile(working) == *expected,
               QStringLiteral("the build differs from the factory's archive"), &log);
    return 0;
}
