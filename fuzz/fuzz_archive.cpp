// The sound archive: reader, listing, base-archive load and the custom build.
//
// Input records:
//   'A' the archive the user chooses (the last one counts);
//   'E' an external file: slot byte (mod 30), kind byte (mod 6: 0 "x.ogg", 1 "X.OGG", 2 a name
//       ending in "ogg" without a dot, 3 a path to a missing file, 4 "x.wav", which is no
//       external sound, 5 a folder named "x.ogg"), then the file's bytes; at most 30;
//   'W' bytes that replace the working copy after the load (a copy changed behind the window);
//   'O' option bits: 1 skip the load and put the archive straight into Temp/ as the working
//       copy, 2 an earlier output stands in Modified/, 4 the archive is named "Data.Chk",
//       8 a folder stands where the output goes, 16 Modified/ is missing;
//   'M' menu texts for the build's log, separated by LF;
//   'L' where the chosen archive lies (mod 4): 0 in the user's folder, 1 the working copy in
//       Temp/ itself, 2 a symbolic link in the user's folder to that working copy, 3 the
//       program folder; 1 and 2 are refused by the load.
//
// Invariants: the reader accepts only archives whose slot entries lie inside the file; the
// listing agrees with the reader, and every slot sound it lists reads back and exports as the
// bytes at its offset; a load either copies the file byte for byte into Temp/ or
// changes nothing; a build either changes nothing in Temp/ and Modified/, or writes one archive
// to both whose table describes it exactly, whose replaced entries hold the external files and
// whose other entries are the old ones byte for byte; a build of a workable archive with usable
// external files is not refused.
#include "archive/archive.h"
#include "core/codepage.h"
#include "fuzzsupport.h"

#include <QDir>
#include <QFile>
#include <vector>

using namespace tollvik;
using namespace tollvik::fuzz;

namespace {

constexpr qint64 kHeader = 16;

qint64 be32(QByteArrayView bytes, qint64 pos)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.data()) + pos;
    return qint32((quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) |
                  quint32(p[3]));
}

Scratch& scratch()
{
    static Scratch s;
    return s;
}

struct External
{
    int slot = 0;
    QString path;
    QByteArray bytes;
    bool exists = false; // a readable file holds bytes
};

// The reader's promises about an archive it accepted, checked against the bytes themselves.
void checkParse(const ChkParse& parse, const QByteArray& bytes, const KeepLog& log)
{
    if (!parse.ok)
        return;
    const ChkDescription& d = parse.description;
    FUZZ_CHECK(d.fileSize == bytes.size(), QString(), &log);
    FUZZ_CHECK(bytes.size() >= 4 && d.entryCount == be32(bytes, 0), QString(), &log);
    FUZZ_CHECK(d.entryCount >= 31 && d.offsets.size() == d.entryCount + 1, QString(), &log);
    const qint64 tableEnd = 4 * (qint64(d.entryCount) + 2);
    FUZZ_CHECK(tableEnd <= bytes.size(), QString(), &log);
    for (int s = 0; s < kSlotCount; ++s) {
        const qint64 entry = d.entryCount - kSlotCount + s;
        const qint64 start = be32(bytes, 4 * entry);
        const qint64 next = be32(bytes, 4 * (entry + 1));
        const SlotSound& row = d.slots[s];
        FUZZ_CHECK(row.dataOffset == start + kHeader, QStringLiteral("slot %1").arg(s), &log);
        FUZZ_CHECK(start >= tableEnd && next <= bytes.size() && next - start >= kHeader,
                   QStringLiteral("slot %1 entry outside the file").arg(s), &log);
        FUZZ_CHECK(row.dataLength >= 0 && row.dataLength == be32(bytes, start + 12) &&
                       row.dataLength <= next - row.dataOffset,
                   QStringLiteral("slot %1 data outside its entry").arg(s), &log);
    }
}

// Every slot sound of a listing can be read back from the listed file, and the export writes
// exactly those bytes.
void checkSounds(const QString& workingPath, const SlotSoundTable& table, const QByteArray& bytes,
                 const QString& exportPath, KeepLog& log)
{
    for (int s = 0; s < kSlotCount; ++s) {
        const SlotSound& row = table[s];
        QByteArray sound;
        const Status read = readSlotSound(workingPath, row, sound);
        FUZZ_CHECK(read.ok() && sound == bytes.mid(row.dataOffset, row.dataLength),
                   QStringLiteral("slot %1: %2").arg(s).arg(read.error()), &log);
    }
    const SlotSound& last = table[kSlotCount - 1];
    const Status exported = exportSlotSound(workingPath, last, exportPath, log);
    FUZZ_CHECK(exported.ok() && readFile(exportPath) == bytes.mid(last.dataOffset, last.dataLength),
               exported.error(), &log);
}

bool sameTable(const SlotSoundTable& a, const SlotSoundTable& b)
{
    for (int s = 0; s < kSlotCount; ++s) {
        if (a[s].dataOffset != b[s].dataOffset || a[s].dataLength != b[s].dataLength)
            return false;
    }
    return true;
}

// The old working copy's layout, when the builder can work on it: N >= 32, the table inside the
// file, the end offset equal to its length, every entry after the table and of size >= 0.
struct Layout
{
    qint64 n = 0;
    std::vector<qint64> offsets; // index 1..N+1
};

bool buildable(const QByteArray& old, Layout& layout)
{
    if (old.size() < 4)
        return false;
    layout.n = be32(old, 0);
    if (layout.n < 32 || 4 * (layout.n + 1) > old.size() - 4)
        return false;
    const qint64 tableEnd = 4 * (layout.n + 2);
    layout.offsets.assign(std::size_t(layout.n) + 2, 0);
    for (qint64 i = 1; i <= layout.n + 1; ++i)
        layout.offsets[std::size_t(i)] = be32(old, 4 * i);
    if (layout.offsets[std::size_t(layout.n) + 1] != old.size())
        return false;
    for (qint64 i = 1; i <= layout.n; ++i) {
        if (layout.offsets[std::size_t(i)] < tableEnd ||
            layout.offsets[std::size_t(i) + 1] < layout.offsets[std::size_t(i)])
            return false;
    }
    return true;
}

// A build reported as done: both files hold the same archive, laid out as the old one with the
// external files written into their entries.
void checkBuilt(const QByteArray& old, const Layout& layout, const BuildInput& in,
                const std::vector<const External*>& bySlot, const QByteArray& output,
                const KeepLog& log)
{
    const qint64 n = layout.n;
    const qint64 R = n == 102 ? 12 : 30;
    const qint64 S = n - R;
    FUZZ_CHECK(output.size() >= 4 * (n + 2) && be32(output, 0) == n, QString(), &log);
    std::vector<qint64> fresh(std::size_t(n) + 2, 0);
    for (qint64 i = 1; i <= n + 1; ++i)
        fresh[std::size_t(i)] = be32(output, 4 * i);
    FUZZ_CHECK(fresh[std::size_t(n) + 1] == output.size(),
               QStringLiteral("the end offset is not the file size"), &log);
    FUZZ_CHECK(fresh[1] == layout.offsets[1], QString(), &log);
    FUZZ_CHECK(output.mid(4 * (n + 2), layout.offsets[std::size_t(S)] - 4 * (n + 2)) ==
                   old.mid(4 * (n + 2), layout.offsets[std::size_t(S)] - 4 * (n + 2)),
               QStringLiteral("the entries before the replaceable ones changed"), &log);
    for (qint64 i = 1; i < S; ++i)
        FUZZ_CHECK(fresh[std::size_t(i)] == layout.offsets[std::size_t(i)], QString(), &log);
    for (qint64 J = S; J <= n; ++J) {
        const qint64 start = fresh[std::size_t(J)];
        const qint64 end = fresh[std::size_t(J) + 1];
        FUZZ_CHECK(start >= 4 * (n + 2) && end >= start && end <= output.size(),
                   QStringLiteral("entry %1 lies outside the output").arg(J), &log);
        const QByteArray entry = output.mid(start, end - start);
        const qint64 k = J - S;
        const External* ext = J < n ? bySlot[std::size_t(k)] : nullptr;
        if (ext != nullptr && isExternalSound(in.soundBoxes[std::size_t(k)])) {
            const qint64 padded = (ext->bytes.size() + 3) / 4 * 4;
            FUZZ_CHECK(entry.size() == kHeader + padded, QStringLiteral("entry %1").arg(J), &log);
            const qint64 wordCount = (quint8(entry[2]) << 8) | quint8(entry[3]);
            FUZZ_CHECK(entry[0] == 1 && entry[1] == 0 && wordCount == (padded + 12) / 4 &&
                           be32(entry, 4) == 1 && be32(entry, 8) == 8 &&
                           be32(entry, 12) == ext->bytes.size(),
                       QStringLiteral("header of entry %1").arg(J), &log);
            FUZZ_CHECK(entry.mid(kHeader, ext->bytes.size()) == ext->bytes &&
                           entry.mid(kHeader + ext->bytes.size()) ==
                               QByteArray(padded - ext->bytes.size(), '\0'),
                       QStringLiteral("data of entry %1").arg(J), &log);
        } else {
            const qint64 oldStart = layout.offsets[std::size_t(J)];
            const qint64 oldEnd = layout.offsets[std::size_t(J) + 1];
            FUZZ_CHECK(entry == old.mid(oldStart, oldEnd - oldStart),
                       QStringLiteral("entry %1 was not copied unchanged").arg(J), &log);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Scratch& area = scratch();
    area.reset();
    KeepLog log;

    QByteArray archive;
    QByteArray replacement;
    bool replaceWorking = false;
    quint8 options = 0;
    int location = 0;
    QList<QByteArray> menu;
    std::vector<External> externals;
    for (const Record& r :
         readRecords(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)))) {
        FieldReader fields(r.bytes);
        switch (r.tag) {
        case 'A':
            archive = r.bytes.toByteArray();
            break;
        case 'W':
            replacement = r.bytes.toByteArray();
            replaceWorking = true;
            break;
        case 'O':
            options = fields.u8();
            break;
        case 'L':
            location = fields.u8() % 4;
            break;
        case 'M':
            menu = r.bytes.toByteArray().split('\n');
            break;
        case 'E': {
            if (externals.size() == std::size_t(kSlotCount))
                break;
            External ext;
            ext.slot = fields.u8() % kSlotCount;
            const int kind = fields.u8() % 6;
            ext.bytes = fields.rest().toByteArray();
            const QString stem = area.outside() + QStringLiteral("ext%1").arg(externals.size());
            static const char* const suffixes[] = {".ogg", ".OGG", "ogg", ".ogg", ".wav", ".ogg"};
            ext.path = stem + QLatin1String(suffixes[kind]);
            if (kind == 5)
                QDir().mkpath(ext.path);
            else if (kind != 3)
                writeFile(ext.path, ext.bytes);
            ext.exists = kind != 3 && kind != 5;
            externals.push_back(std::move(ext));
            break;
        }
        default:
            break;
        }
    }

    const QString name =
        (options & 4) != 0 ? QStringLiteral("Data.Chk") : QStringLiteral("data.chk");
    const QString working = area.temp(name);
    QString chosen = area.outside() + name;
    if (location == 1 || location == 2)
        writeFile(working, archive);
    if (location == 1)
        chosen = working;
    else if (location == 2)
        QFile::link(working, chosen);
    else if (location == 3)
        chosen = area.program() + name;
    if (location != 1 && location != 2)
        writeFile(chosen, archive);

    // Reader and listing.
    const ChkParse parse = parseChk(chosen);
    checkParse(parse, archive, log);
    const ChkListing listed = Get_Chk_info(chosen, log);
    FUZZ_CHECK(listed.ok == parse.ok, QString(), &log);
    if (listed.ok) {
        FUZZ_CHECK(sameTable(listed.table, parse.description.slots), QString(), &log);
        FUZZ_CHECK(listed.labels.size() == kSlotCount && log.lines.size() == 31, QString(), &log);
    }

    // Load, or a working copy put straight into Temp/.
    bool loaded = false;
    if ((options & 1) == 0 || location == 1 || location == 2) {
        const Snapshot before = snapshot(area.program());
        const LoadBaseChkResult load = LoadBaseChk(chosen, area.program(), log);
        loaded = load.outcome == LoadBaseChkResult::Outcome::Loaded;
        const bool itself = location == 1 || location == 2;
        FUZZ_CHECK(itself ? load.outcome == LoadBaseChkResult::Outcome::RefusedSameFile
                          : loaded == parse.ok,
                   QStringLiteral("the load disagrees with the reader"), &log);
        if (loaded) {
            FUZZ_CHECK(load.workingPath == working && load.baseArchiveName == name, QString(),
                       &log);
            FUZZ_CHECK(readFile(working) == archive, QStringLiteral("the working copy differs"),
                       &log);
            FUZZ_CHECK(load.listing.ok && sameTable(load.listing.table, parse.description.slots),
                       QString(), &log);
            checkSounds(working, load.listing.table, archive,
                        area.program() + QStringLiteral("Sound 30.ogg"), log);
            QFile::remove(area.program() + QStringLiteral("Sound 30.ogg"));
        } else {
            const QString diff = compareSnapshots(before, snapshot(area.program()));
            FUZZ_CHECK(diff.isEmpty(), diff, &log);
        }
    }
    if (location == 2)
        QFile::remove(chosen); // the link would make the working copy a file of the user's
    if (!loaded)
        writeFile(working, archive);
    if (replaceWorking)
        writeFile(working, replacement);
    if ((options & 2) != 0)
        writeFile(area.modified(name), QByteArrayView("an earlier output"));
    if ((options & 8) != 0) {
        QFile::remove(area.modified(name));
        QDir().mkpath(area.modified(name));
    }
    if ((options & 16) != 0)
        QDir(area.program() + QStringLiteral("Modified")).removeRecursively();

    // Build.
    BuildInput in;
    in.programFolder = area.program();
    in.workingPath = working;
    in.baseArchiveName = name;
    std::vector<const External*> bySlot(kSlotCount, nullptr);
    for (int s = 0; s < kSlotCount; ++s)
        in.soundBoxes[std::size_t(s)] = slotLabel(s);
    for (const External& ext : externals) {
        in.soundBoxes[std::size_t(ext.slot)] = ext.path;
        bySlot[std::size_t(ext.slot)] = &ext;
    }
    for (int s = 0; s < kSlotCount && s < menu.size(); ++s)
        in.menuTexts[std::size_t(s)] = decodeCp1252(menu.at(s));

    const QByteArray old = readFile(working);
    const Snapshot before = snapshot(area.program());
    const Snapshot userBefore = snapshot(area.outside());
    const BuildResult built = data_chk_reload(in, log);
    const QString userDiff = compareSnapshots(userBefore, snapshot(area.outside()));
    FUZZ_CHECK(userDiff.isEmpty(), QStringLiteral("the user's files changed: ") + userDiff, &log);

    Layout layout;
    const bool canBuild = buildable(old, layout);
    if (!built.ok) {
        const QString diff = compareSnapshots(before, snapshot(area.program()));
        FUZZ_CHECK(diff.isEmpty(), QStringLiteral("a refused build changed ") + diff, &log);
        // A refusal has a reason: the layout, or an external file that cannot be written in.
        bool externalsFit = true;
        qint64 growth = 0;
        if (canBuild) {
            const qint64 S = layout.n - (layout.n == 102 ? 12 : 30);
            for (qint64 J = S; J < layout.n; ++J) {
                const External* ext = bySlot[std::size_t(J - S)];
                if (ext == nullptr || !isExternalSound(ext->path))
                    continue;
                externalsFit = externalsFit && ext->exists && !ext->bytes.isEmpty() &&
                               ext->bytes.size() <= kMaxExternalSoundBytes &&
                               ext->bytes.startsWith("OggS");
                growth += kHeader + (ext->bytes.size() + 3) / 4 * 4 -
                          (layout.offsets[std::size_t(J) + 1] - layout.offsets[std::size_t(J)]);
            }
        }
        FUZZ_CHECK(!canBuild || !externalsFit || old.size() + growth > 0x7FFFFFFF ||
                       (options & 24) != 0,
                   QStringLiteral("a buildable archive was refused"), &log);
        return 0;
    }

    FUZZ_CHECK(canBuild, QStringLiteral("a build succeeded on an archive it cannot describe"),
               &log);
    FUZZ_CHECK((options & 24) == 0, QStringLiteral("a build succeeded without its output folder"),
               &log);
    const QByteArray output = readFile(area.modified(name));
    FUZZ_CHECK(built.workingPath == working && readFile(working) == output,
               QStringLiteral("the working copy is not the output"), &log);
    checkBuilt(old, layout, in, bySlot, output, log);
    const ChkParse reparsed = parseChk(working);
    checkParse(reparsed, output, log);
    FUZZ_CHECK(built.listing.ok == reparsed.ok, QString(), &log);
    if (built.listing.ok)
        checkSounds(working, built.listing.table, output, area.outside() + QStringLiteral("x.ogg"),
                    log);
    if (parse.ok && !replaceWorking)
        FUZZ_CHECK(reparsed.ok,
                   QStringLiteral("a readable archive was built into an unreadable one"), &log);
    return 0;
}
