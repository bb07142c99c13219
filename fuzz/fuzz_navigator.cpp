// The navigator patcher: identification, load and save.
//
// The file under test is built from the input, so that a run stays small and fast although a
// navigator file is some 2.4 MB: a filler made once per process, the probe bytes of one build
// set on it, then a few regions overwritten. Input records:
//   'B' build byte: one of the active builds, or (the value past the last one) none;
//   'Z' file size, 32-bit (mod the usual size + 256); without it the usual size;
//   'P' a region: 32-bit offset (mod the size), then the bytes written there;
//   'R' the whole file instead (small arbitrary files);
//   'N' name byte: which of a few file names the chosen file has;
//   'L' where the chosen file lies (mod 5): 0 in the user's folder, 1 the working copy in Temp/
//       itself, 2 a symbolic link in the user's folder to that working copy (both refused by
//       the load), 3 the program folder, 4 Modified/, where the output would replace it;
// and, after the load, in order:
//   'X' a change behind the window's back: kind byte, 32-bit argument, bytes (see tamper());
//   'T' a save: flag byte (bit 0: the texts are UTF-8, so that characters Windows-1252 cannot
//       store occur; otherwise Windows-1252 bytes), then up to 30 texts separated by LF.
//   'F' write faults for the next save: bit i of the byte makes the (i + 1)-th write of the
//       project's file layer during that save fail, as a full disk would.
// Without a 'T' record there is one save with empty texts; at most three saves run.
//
// Invariants: the identification is the first active build whose three probes lie inside the
// file and match; a load either copies the file byte for byte into Temp/ or changes nothing; a
// save either refuses with every file byte-identical, or writes an output of the working copy's
// length that differs from it only inside the patch locations of the loaded build, leaves the
// chosen file alone and puts either a fresh copy of it or the old working copy back into Temp/.
// A failed write changes no file; only when a second fault also stops the settings file from
// being put back (which the log reports) may Tollvik.ini hold the new texts.
#include "core/codepage.h"
#include "core/fileio.h"
#include "fuzzsupport.h"
#include "navigatorfiles.h"
#include "patcher/patcher.h"
#include "settings/ini.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstring>
#include <vector>

using namespace tollvik;
using namespace tollvik::fuzz;

namespace {

std::vector<const NavigatorBuild*> activeBuilds()
{
    std::vector<const NavigatorBuild*> builds;
    for (const NavigatorBuild& b : navigatorBuilds()) {
        if (!b.dormant)
            builds.push_back(&b);
    }
    return builds;
}

const std::vector<const NavigatorBuild*>& builds()
{
    static const std::vector<const NavigatorBuild*> list = activeBuilds();
    return list;
}

const QByteArray& filler()
{
    static const QByteArray bytes = test::makeFillerFile(test::kNavigatorFileSize);
    return bytes;
}

const NavigatorBuild* expectedBuild(QByteArrayView bytes)
{
    for (const NavigatorBuild* b : builds()) {
        bool all = true;
        for (const NavigatorProbe& p : b->probes)
            all = all && p.offset >= 0 && p.offset < bytes.size() &&
                  static_cast<quint8>(bytes[p.offset]) == p.expected;
        if (all)
            return b;
    }
    return nullptr;
}

// The bytes a save of this build may change, as [begin, end) ranges.
std::vector<std::pair<qint64, qint64>> patchRanges(const NavigatorBuild& b)
{
    const PatchTable& t = b.patch;
    std::vector<std::pair<qint64, qint64>> ranges = {
        {t.MenuTextArea.fileOffset, qint64(t.MenuTextArea.fileOffset) + 480},
        {t.MenuPointerTable.fileOffset, qint64(t.MenuPointerTable.fileOffset) + 120},
        {t.MenuPointerTableRef.fileOffset, qint64(t.MenuPointerTableRef.fileOffset) + 4},
        {t.MenuItemCount.fileOffset, qint64(t.MenuItemCount.fileOffset) + 1},
        {t.SoundTable.fileOffset, qint64(t.SoundTable.fileOffset) + 120},
        {t.SoundTableRef1.fileOffset, qint64(t.SoundTableRef1.fileOffset) + 4},
        {t.SoundTableRef2.fileOffset, qint64(t.SoundTableRef2.fileOffset) + 4},
    };
    if (b.hasSoundTableRef3)
        ranges.push_back({t.SoundTableRef3.fileOffset, qint64(t.SoundTableRef3.fileOffset) + 4});
    return ranges;
}

// The first byte outside the ranges where a and b (of equal length) differ, or -1. The gaps are
// compared with memcmp: a byte loop over megabytes would dominate the run.
qint64 firstChangeOutside(std::vector<std::pair<qint64, qint64>> ranges, QByteArrayView a,
                          QByteArrayView b)
{
    std::sort(ranges.begin(), ranges.end());
    ranges.push_back({a.size(), a.size()});
    qint64 pos = 0;
    for (const auto& [begin, end] : ranges) {
        const qint64 gapEnd = std::min<qint64>(begin, a.size());
        if (gapEnd > pos && std::memcmp(a.data() + pos, b.data() + pos, gapEnd - pos) != 0) {
            while (a[pos] == b[pos])
                ++pos;
            return pos;
        }
        pos = std::max(pos, end);
    }
    return -1;
}

Scratch& scratch()
{
    static Scratch s;
    return s;
}

void overwrite(QByteArray& bytes, quint32 offset, QByteArrayView region)
{
    if (bytes.isEmpty())
        return;
    const qsizetype at = qsizetype(offset % quint32(bytes.size()));
    const qsizetype length = std::min(region.size(), bytes.size() - at);
    std::copy_n(region.data(), length, bytes.data() + at);
}

// A change made between the load and a save, as another program or the user might make it.
void tamper(const Scratch& area, const QString& source, const QString& name, FieldReader fields)
{
    const int kind = fields.u8() % 10;
    const quint32 argument = fields.u32();
    const QByteArrayView bytes = fields.rest();
    const QString working = area.temp(name);
    switch (kind) {
    case 0: { // the working copy cut short
        QFile file(working);
        if (file.exists())
            (void)file.resize(qint64(argument % quint32(std::max<qint64>(file.size(), 1))));
        break;
    }
    case 1: { // the working copy altered
        if (!QFile::exists(working))
            break;
        QByteArray content = readFile(working);
        overwrite(content, argument, bytes);
        writeFile(working, content);
        break;
    }
    case 2:
        QFile::remove(working);
        break;
    case 3:
        QFile::remove(source);
        break;
    case 4: { // the chosen file altered
        if (!QFile::exists(source))
            break;
        QByteArray content = readFile(source);
        overwrite(content, argument, bytes);
        writeFile(source, content);
        break;
    }
    case 5: // a folder where the output goes
        QFile::remove(area.modified(name));
        QDir().mkpath(area.modified(name));
        break;
    case 6: // an earlier output
        if (!QFileInfo(area.modified(name)).isDir())
            writeFile(area.modified(name), bytes);
        break;
    case 7: // an earlier settings file
        writeFile(area.program() + QStringLiteral("Tollvik.ini"), bytes);
        break;
    case 8:
        QDir(area.program() + QStringLiteral("Modified")).removeRecursively();
        break;
    case 9: // a folder in place of the working copy
        QFile::remove(working);
        QDir().mkpath(working);
        break;
    default:
        break;
    }
}

bool iniSafe(const QString& text)
{
    return !text.contains(u'\r') && !text.contains(u'\n') && !text.contains(u'[') &&
           (text.isEmpty() || text.back().unicode() > 13);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Scratch& area = scratch();
    area.reset();
    KeepLog log;
    const QList<Record> records =
        readRecords(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));

    // The chosen file.
    const NavigatorBuild* chosenBuild = nullptr;
    qint64 fileSize = test::kNavigatorFileSize;
    const QByteArray* raw = nullptr;
    QByteArray rawBytes;
    int nameChoice = 0;
    int location = 0;
    for (const Record& r : records) {
        FieldReader fields(r.bytes);
        if (r.tag == 'B') {
            const std::size_t pick = fields.u8() % (builds().size() + 1);
            chosenBuild = pick < builds().size() ? builds()[pick] : nullptr;
        } else if (r.tag == 'Z') {
            fileSize = qint64(fields.u32() % quint32(test::kNavigatorFileSize + 256));
        } else if (r.tag == 'R') {
            rawBytes = r.bytes.toByteArray();
            raw = &rawBytes;
        } else if (r.tag == 'N') {
            nameChoice = fields.u8() % 3;
        } else if (r.tag == 'L') {
            location = fields.u8() % 5;
        }
    }
    // The large buffers keep their memory from run to run (see readInto()).
    static QByteArray file;
    if (raw != nullptr) {
        file.resize(raw->size());
        std::copy_n(raw->constData(), raw->size(), file.data());
    } else {
        file.resize(fileSize);
        const qint64 fromFiller = std::min<qint64>(fileSize, filler().size());
        std::copy_n(filler().constData(), fromFiller, file.data());
        std::fill(file.data() + fromFiller, file.data() + fileSize, '\x5A');
        if (chosenBuild != nullptr) {
            for (const NavigatorProbe& p : chosenBuild->probes) {
                if (p.offset < file.size())
                    file[p.offset] = static_cast<char>(p.expected);
            }
        }
        for (const Record& r : records) {
            if (r.tag != 'P')
                continue;
            FieldReader fields(r.bytes);
            const quint32 offset = fields.u32();
            overwrite(file, offset, fields.rest());
        }
    }
    static const QString names[] = {QStringLiteral("TomTom Navigator.exe"), QStringLiteral("ttn"),
                                    QStringLiteral("Ttn.Exe")};
    const QString name = names[nameChoice];
    QString source = area.outside() + name;
    const bool itself = location == 1 || location == 2;
    if (itself)
        writeFile(area.temp(name), file);
    if (location == 1)
        source = area.temp(name);
    else if (location == 2)
        QFile::link(area.temp(name), source);
    else if (location == 3)
        source = area.program() + name;
    else if (location == 4)
        source = area.modified(name);
    if (!itself)
        writeFile(source, file);

    // Identification and load.
    const IdentifyResult identified = IdentifyNavigatorFile(source);
    const NavigatorBuild* expected = expectedBuild(file);
    FUZZ_CHECK(!identified.readFailed && identified.build == expected &&
                   identified.recognised == (expected != nullptr),
               QStringLiteral("identified as %1, expected %2")
                   .arg(identified.build ? identified.build->versionIndex : -1)
                   .arg(expected ? expected->versionIndex : -1),
               &log);

    NavigatorState state;
    const Snapshot programBefore = snapshot(area.program());
    const LoadNavigatorResult load = loadNavigatorFile(source, area.program(), state, log);
    const bool loaded = load.outcome == LoadNavigatorResult::Outcome::Loaded;
    FUZZ_CHECK(loaded == (expected != nullptr && !itself), QString(), &log);
    if (loaded) {
        FUZZ_CHECK(load.build == expected && state.VersionIndex == expected->versionIndex &&
                       state.SourcePath == source && state.workingCopyPath == area.temp(name) &&
                       state.WorkingFileNames[std::size_t(state.VersionIndex)] == name,
                   QStringLiteral("the state after the load"), &log);
        static QByteArray copy;
        FUZZ_CHECK(readInto(area.temp(name), copy) && copy == file,
                   QStringLiteral("the working copy differs from the chosen file"), &log);
    } else {
        FUZZ_CHECK(load.outcome == (itself ? LoadNavigatorResult::Outcome::RefusedSameFile
                                           : LoadNavigatorResult::Outcome::Unrecognised) &&
                       state.VersionIndex == 0 && state.SourcePath.isEmpty() &&
                       state.workingCopyPath.isEmpty(),
                   QString(), &log);
        const QString diff = compareSnapshots(programBefore, snapshot(area.program()));
        FUZZ_CHECK(diff.isEmpty(), QStringLiteral("an unrecognised load changed ") + diff, &log);
    }

    // Changes behind the window's back, and saves.
    // The settings file can be read back while every text stored in it so far was one the
    // reader gives back (see fuzz_settings.cpp) and nothing else wrote it.
    bool iniClean = true;
    quint8 faults = 0;
    int saves = 0;
    bool anySave = false;
    for (qsizetype i = 0; i <= records.size() && saves < 3; ++i) {
        const bool last = i == records.size();
        if (last && anySave)
            break;
        std::array<QString, 30> texts;
        if (!last) {
            const Record& r = records.at(i);
            if (r.tag == 'X') {
                iniClean = iniClean && (r.bytes.isEmpty() || quint8(r.bytes[0]) % 10 != 7);
                tamper(area, source, name, FieldReader(r.bytes));
                continue;
            }
            if (r.tag == 'F') {
                faults = FieldReader(r.bytes).u8();
                continue;
            }
            if (r.tag != 'T')
                continue;
            FieldReader fields(r.bytes);
            const bool utf8 = (fields.u8() & 1) != 0;
            const QList<QByteArray> parts = fields.rest().toByteArray().split('\n');
            for (qsizetype t = 0; t < parts.size() && t < 30; ++t)
                texts[std::size_t(t)] =
                    utf8 ? QString::fromUtf8(parts.at(t)) : decodeCp1252(parts.at(t));
        }
        anySave = true;
        ++saves;

        const QString workingPath = state.workingCopyPath;
        static QByteArray workingBefore;
        if (workingPath.isEmpty() || !readInto(workingPath, workingBefore))
            workingBefore.resize(0);
        const Snapshot before = snapshot(area.program());
        const Snapshot userBefore = snapshot(area.outside());
        const FileDigest sourceBefore = digest(source);
        const NavigatorState stateBefore = state;
        int writesSeen = 0;
        if (faults != 0)
            setWriteFaultHookForTesting([&writesSeen, faults](const QString&) {
                const int bit = writesSeen++;
                return bit < 8 && (faults >> bit & 1) != 0
                           ? QStringLiteral("No space left on device")
                           : QString();
            });
        const qsizetype logStart = log.lines.size();
        const SaveResult saved = saveModifiedNavigator(state, texts, area.program(), log);
        setWriteFaultHookForTesting({});
        faults = 0;
        const auto logged = [&](QStringView start) {
            return std::any_of(log.lines.cbegin() + logStart, log.lines.cend(),
                               [start](const QString& l) { return l.startsWith(start); });
        };
        const bool iniStored = logged(u"....Updated the Tollvik.ini file.");
        const Snapshot after = snapshot(area.program());
        const QString userDiff = compareSnapshots(userBefore, snapshot(area.outside()));
        FUZZ_CHECK(userDiff.isEmpty() && digest(source) == sourceBefore,
                   QStringLiteral("the chosen file changed: ") + userDiff, &log);
        FUZZ_CHECK(state.VersionIndex == stateBefore.VersionIndex &&
                       state.SourcePath == stateBefore.SourcePath &&
                       state.WorkingFileNames == stateBefore.WorkingFileNames,
                   QString(), &log);

        if (!saved.ok) {
            Snapshot kept = before;
            Snapshot keptAfter = after;
            if (logged(u"....Could not restore the Tollvik.ini file")) {
                kept.remove(QStringLiteral("Tollvik.ini"));
                keptAfter.remove(QStringLiteral("Tollvik.ini"));
            }
            const QString diff = compareSnapshots(kept, keptAfter);
            FUZZ_CHECK(diff.isEmpty(), QStringLiteral("a refused save changed ") + diff, &log);
            FUZZ_CHECK(!saved.workingCopyRefreshed && state.workingCopyPath == workingPath,
                       QString(), &log);
            continue;
        }

        FUZZ_CHECK(loaded, QStringLiteral("a save without a loaded file"), &log);
        const NavigatorBuild* build = findNavigatorBuild(state.VersionIndex);
        FUZZ_CHECK(build != nullptr && expectedBuild(workingBefore) == build,
                   QStringLiteral("a save of a working copy that is not the loaded build"), &log);
        static QByteArray output;
        FUZZ_CHECK(readInto(area.modified(name), output), QStringLiteral("no output"), &log);
        FUZZ_CHECK(output.size() == workingBefore.size(),
                   QStringLiteral("the output is %1 bytes, the working copy %2")
                       .arg(output.size())
                       .arg(workingBefore.size()),
                   &log);
        const auto ranges = patchRanges(*build);
        const qint64 changed = firstChangeOutside(ranges, output, workingBefore);
        FUZZ_CHECK(changed < 0,
                   QStringLiteral("byte 0x%1 changed outside the patch").arg(changed, 0, 16), &log);
        // The chosen file is unchanged (checked above); its digest stands for its bytes.
        const FileDigest working = after.value(QStringLiteral("Temp/") + name);
        if (saved.workingCopyRefreshed)
            FUZZ_CHECK(state.workingCopyPath == area.temp(name) && working == sourceBefore,
                       QStringLiteral("the refreshed working copy is not the chosen file"), &log);
        else
            FUZZ_CHECK(state.workingCopyPath == workingPath &&
                           working == before.value(QStringLiteral("Temp/") + name),
                       QStringLiteral("the kept working copy changed"), &log);
        // Nothing else in the program folder changes but the output, the working copy and the
        // settings file.
        const QString ini = QStringLiteral("Tollvik.ini");
        const QString outKey = QStringLiteral("Modified/") + name;
        const QString tempKey = QStringLiteral("Temp/") + name;
        Snapshot rest = before;
        Snapshot restAfter = after;
        for (Snapshot* s : {&rest, &restAfter}) {
            s->remove(ini);
            s->remove(outKey);
            s->remove(tempKey);
        }
        const QString diff = compareSnapshots(rest, restAfter);
        FUZZ_CHECK(diff.isEmpty(), QStringLiteral("a save changed ") + diff, &log);

        if (!iniStored)
            FUZZ_CHECK(after.value(ini) == before.value(ini),
                       QStringLiteral("a failed settings write changed the file"), &log);
        iniClean = iniClean && std::all_of(texts.cbegin(), texts.cend(), iniSafe);
        if (iniClean && iniStored) {
            for (int n = 1; n <= 30; ++n) {
                const QString& text = texts[std::size_t(n - 1)];
                const QString key = QStringLiteral("Item%1").arg(n, 2, 10, QLatin1Char('0'));
                FUZZ_CHECK(ReadIniValue(area.program() + ini, QStringLiteral("MenuText"), key) ==
                               text,
                           QStringLiteral("%1 was not stored").arg(key), &log);
            }
        }
    }
    return 0;
}
