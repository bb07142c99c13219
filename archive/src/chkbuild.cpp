#include "archive/entries.h"
#include "chkformat.h"
#include "chktable.h"
#include "core/fileio.h"
#include "core/paths.h"

#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <vector>

namespace tollvik {
namespace {

// One entry of the archive being built. Index 0 stays zero, 1..N are the entries, N + 1 stands
// for the end of the file.
struct ChkEntry
{
    qint64 newOffset = 0;
    qint64 oldOffset = 0;
    qint64 size = 0;
    QByteArray entry; // the external file in its entry, made once when it is verified
    int slot = -1;    // the slot whose external file replaces this entry, or -1
};

// Everything the build writes, read and checked before any file is touched.
struct BuildPlan
{
    QByteArray source; // the working copy, read once
    qint32 N = 0;
    qint32 S = 0;                // the first replaceable entry
    qsizetype firstFalling = -1; // from the offset table: -1 when its offsets rise
    std::vector<ChkEntry> entries;
};

// Logs a refusal and returns it. Refusals before the writing say that nothing was written.
Failure refuseUnwritten(LogSink& log, const QString& why)
{
    return logged(log, why + QStringLiteral("; nothing was written."));
}

// The offsets of entries 1..N + 1 and the entry sizes; the end offset must be the file size.
Status readOffsets(BuildPlan& plan, const chk::OffsetTable& table, LogSink& log)
{
    std::vector<ChkEntry>& entries = plan.entries;
    entries.resize(std::size_t(plan.N) + 2);
    for (std::size_t i = 1; i < entries.size(); ++i)
        entries[i].oldOffset = entries[i].newOffset = table.offsets[i - 1];
    for (std::size_t i = 1; i + 1 < entries.size(); ++i)
        entries[i].size = entries[i + 1].oldOffset - entries[i].oldOffset;
    plan.firstFalling = table.firstFalling;
    if (!table.endIsLength)
        return logged(
            log, QStringLiteral("....File size mismatch! Reported:%1 Actual:%2")
                     .arg(QString::number(static_cast<quint32>(table.offsets.back()), 16).toUpper())
                     .arg(plan.source.size()));
    return {};
}

// The working copy, read once, with its count and offset table.
Result<BuildPlan> readWorkingCopy(const QString& P, LogSink& log)
{
    log.AddText(QStringLiteral("Sound file ") + P);
    if (const Status within = checkArchiveLimits(P); !within)
        return refuseUnwritten(
            log, QStringLiteral("....The working copy cannot be built: %1").arg(within.error()));
    Result<QByteArray> read = readWholeFile(P, kArchiveSizeLimit);
    if (!read)
        return refuseUnwritten(
            log, QStringLiteral("....Cannot open the working copy (%1)").arg(read.error()));
    BuildPlan plan;
    plan.source = std::move(read).value();
    const qint64 Fsize = plan.source.size();
    const chk::OffsetTable table = chk::readOffsetTable(plan.source, Fsize);
    if (!table.hasCount)
        return refuseUnwritten(
            log, QStringLiteral("....The working copy is too short to hold an entry count"));
    if (!table.withinLimits)
        return refuseUnwritten(log, QStringLiteral("....The working copy cannot be built: %1")
                                        .arg(chk::limitRefusal(table)));
    const qint32 N = table.entryCount;
    log.AddText(QStringLiteral("....Number of modules: %1 File size: %2").arg(N).arg(Fsize));
    // The build needs at least one entry before the replaceable ones.
    if (N < 32)
        return refuseUnwritten(
            log,
            QStringLiteral("....The archive holds %1 entries; a build needs at least 32").arg(N));
    if (!table.fits)
        return refuseUnwritten(
            log, QStringLiteral("....The offset table of %1 entries runs past the end of the file")
                     .arg(N));
    plan.N = N;
    plan.S = buildEntryOfSlot(N, 0);
    if (Status offsets = readOffsets(plan, table, log); !offsets)
        return offsets.failure();
    return plan;
}

// Every entry lies after the table and ends where the next begins. With the end offset at the
// file's end, that holds exactly when the offsets rise; otherwise the first entry that starts
// inside the table, or whose next entry starts before it, is named.
Status checkEntries(const BuildPlan& plan, LogSink& log)
{
    if (plan.firstFalling >= 0) {
        const qint64 tableEnd = chk::offsetTableEnd(plan.N);
        const auto i = std::max<qsizetype>(plan.firstFalling, 1);
        const ChkEntry& e = plan.entries[std::size_t(i)];
        return refuseUnwritten(log,
                               QStringLiteral("....Entry %1 starts at offset %2, %3")
                                   .arg(i)
                                   .arg(static_cast<quint32>(e.oldOffset))
                                   .arg(e.oldOffset < tableEnd
                                            ? QStringLiteral("inside the offset table")
                                            : QStringLiteral("after the start of the next entry")));
    }
    log.AddText(QStringLiteral("....File size confirmed"));
    log.AddText(QStringLiteral("....Calculating new parameters"));
    return {};
}

QString describeShape(const SoundShape& shape)
{
    const QString channels = shape.channels == 1 ? QStringLiteral("mono")
                             : shape.channels == 2
                                 ? QStringLiteral("stereo")
                                 : QStringLiteral("%1 channels").arg(shape.channels);
    return QStringLiteral("%1 Hz %2")
        .arg(QLocale(QLocale::English, QLocale::UnitedStates).toString(shape.sampleRate), channels);
}

// The navigator must play what goes into an entry: the sound is checked as it is.
Status checkPlayable(QByteArrayView ogg, const QString& path, int slot, const SoundCheck& check,
                     LogSink& log)
{
    const QString name = QFileInfo(path).fileName();
    if (!check.playable)
        return refuseUnwritten(log, QStringLiteral("....%1: %2 cannot be checked without the "
                                                   "sound converter")
                                        .arg(slotLabel(slot), name));
    const Status playable = check.playable(ogg);
    if (playable)
        return {};
    return logged(log, QStringLiteral("....%1: %2 is not an Ogg Vorbis sound the navigator can "
                                      "play (%3). Use \"Import and convert a sound\u2026\" to "
                                      "convert it.")
                           .arg(slotLabel(slot), name, playable.error()));
}

// A sound of another rate or channel count than the slot sound it replaces is built in as it
// is (the navigator takes it), with a line saying so.
void noteShape(QByteArrayView ogg, QByteArrayView oldEntry, const QString& path, int slot,
               const SoundCheck& check, LogSink& log)
{
    const QByteArrayView oldOgg = oggOfEntry(oldEntry);
    if (!check.shape || oldOgg.isEmpty())
        return;
    const Result<SoundShape> now = check.shape(ogg);
    const Result<SoundShape> was = check.shape(oldOgg);
    if (!now || !was || now.value() == was.value())
        return;
    log.AddText(QStringLiteral("....%1: %2 is %3, the sound it replaces %4; it is built in as it "
                               "is.")
                    .arg(slotLabel(slot), QFileInfo(path).fileName(), describeShape(now.value()),
                         describeShape(was.value())));
}

// Reads the external file of a slot into its entry, once, checks it and sizes the entry for it.
Status readExternal(ChkEntry& e, const BuildPlan& plan, const QString& path, const BuildInput& in,
                    LogSink& log)
{
    log.AddText(QStringLiteral("....Verifying ") + path);
    if (const qint64 length = fileLength(path); length > kMaxExternalSoundBytes)
        return refuseUnwritten(log, QStringLiteral("....") + path +
                                        QStringLiteral(" is %1 bytes long; a sound can hold at "
                                                       "most %2 bytes")
                                            .arg(length)
                                            .arg(kMaxExternalSoundBytes));
    Result<QByteArray> read = readWholeFile(path, kMaxExternalSoundBytes);
    if (!read)
        return refuseUnwritten(log,
                               QStringLiteral("....Cannot read %1 (%2)").arg(path, read.error()));
    if (read->isEmpty())
        return refuseUnwritten(log, QStringLiteral("....%1 is empty").arg(path));
    if (!read->startsWith("OggS"))
        return refuseUnwritten(
            log, QStringLiteral("....%1 is not an Ogg sound (it does not begin with \"OggS\")")
                     .arg(path));
    if (Status playable = checkPlayable(read.value(), path, e.slot, in.check, log); !playable)
        return playable;
    noteShape(read.value(), QByteArrayView(plan.source).sliced(e.oldOffset, e.size), path, e.slot,
              in.check, log);
    Result<QByteArray> entry = soundEntry(read.value());
    if (!entry)
        return refuseUnwritten(log, QStringLiteral("....%1: %2").arg(path, entry.error()));
    e.entry = std::move(entry).value();
    e.size = e.entry.size();
    return {};
}

Status readExternals(BuildPlan& plan, const BuildInput& in, LogSink& log)
{
    for (qint32 J = plan.S; J < plan.N; ++J) {
        const int k = J - plan.S;
        const QString& path = in.soundBoxes[std::size_t(k)];
        if (!isExternalSound(path))
            continue;
        ChkEntry& e = plan.entries[std::size_t(J)];
        e.slot = k;
        if (Status read = readExternal(e, plan, path, in, log); !read)
            return read;
    }
    return {};
}

// Entries from S on move by the sizes before them; N + 1 receives the new file size.
Status placeEntries(BuildPlan& plan, LogSink& log)
{
    // The fixed lines keep their trailing space and capitals as users know them.
    log.AddText(QStringLiteral("....Recalculating header "));
    for (qint32 J = plan.S; J <= plan.N + 1; ++J) {
        const ChkEntry& previous = plan.entries[std::size_t(J) - 1];
        plan.entries[std::size_t(J)].newOffset = previous.newOffset + previous.size;
    }
    const qint64 newSize = plan.entries[std::size_t(plan.N) + 1].newOffset;
    if (newSize > kMaxArchiveBytes)
        return refuseUnwritten(log, QStringLiteral("....The new archive would be %1 bytes long, "
                                                   "more than an archive can describe")
                                        .arg(newSize));
    log.AddText(QStringLiteral("....new File Size is %1").arg(newSize));
    return {};
}

// The new archive: the header with the new offsets, the entries before S in one piece, then the
// replaceable entries, each either replaced or carried over unchanged.
QByteArray assemble(const BuildPlan& plan, const BuildInput& in, LogSink& log)
{
    const std::vector<ChkEntry>& entries = plan.entries;
    QByteArray out;
    out.reserve(entries[std::size_t(plan.N) + 1].newOffset);
    chk::put_long(out, plan.N);
    for (qint32 i = 1; i <= plan.N + 1; ++i)
        chk::put_long(out, static_cast<qint32>(entries[std::size_t(i)].newOffset));
    // Slices of the working copy, appended without an intermediate copy.
    const QByteArrayView source(plan.source);
    const qint64 tableEnd = out.size();
    out.append(source.sliced(tableEnd, entries[std::size_t(plan.S)].oldOffset - tableEnd));

    log.AddText(QStringLiteral("....Writing CHK file - Sounds"));
    for (qint32 J = plan.S; J <= plan.N; ++J) {
        const ChkEntry& e = entries[std::size_t(J)];
        if (e.slot < 0) {
            out.append(source.sliced(e.oldOffset, e.size));
            continue;
        }
        const auto k = std::size_t(e.slot);
        // Without a menu text (the command line has none) the line names the slot.
        const QString& text = in.menuTexts[k];
        log.AddText(QStringLiteral("....Including %1 for %2")
                        .arg(in.soundBoxes[k], text.isEmpty() ? slotLabel(e.slot) : text));
        out.append(e.entry);
    }
    return out;
}

// The output must go into an existing Modified/ and must not be the working copy itself.
Status checkOutput(const QString& modifiedFolder, const QString& O, const QString& P, LogSink& log)
{
    if (!QFileInfo(modifiedFolder).isDir())
        return refuseUnwritten(
            log,
            QStringLiteral("....The folder %1 is missing or is not a folder").arg(modifiedFolder));
    if (isSameFile(O, P))
        return refuseUnwritten(
            log, QStringLiteral("....The output %1 is the working copy itself").arg(O));
    return {};
}

// The output first: should the working copy then fail, the window still describes it.
Status writeArchive(const QString& O, const QString& W, const QByteArray& bytes, LogSink& log)
{
    if (const Status written = writeFileAtomically(O, bytes); !written)
        return logged(log, QStringLiteral("....Writing the new archive failed (%1: %2); the "
                                          "earlier files are unchanged.")
                               .arg(O, written.error()));
    if (const Status written = writeFileAtomically(W, bytes); !written)
        return logged(log, QStringLiteral("....The new archive is in %1, but the working copy "
                                          "could not be replaced (%2: %3).")
                               .arg(O, W, written.error()));
    return {};
}

// Reads, checks and lays out everything the build will write, logging as it goes.
Result<BuildPlan> planBuild(const BuildInput& in, LogSink& log)
{
    Result<BuildPlan> plan = readWorkingCopy(in.workingPath, log);
    if (!plan)
        return plan;
    if (Status s = checkEntries(plan.value(), log); !s)
        return s.failure();
    if (Status s = readExternals(plan.value(), in, log); !s)
        return s.failure();
    if (Status s = placeEntries(plan.value(), log); !s)
        return s.failure();
    return plan;
}

} // namespace

qint32 buildEntryOfSlot(qint32 entryCount, int slot)
{
    const int taken = entryCount == 102 ? 12 : kSlotCount;
    if (slot < 0 || slot >= taken || entryCount < taken)
        return 0;
    return entryCount - taken + slot;
}

Result<QByteArray> assembleCustomChk(const BuildInput& in, LogSink& log)
{
    const Result<BuildPlan> plan = planBuild(in, log);
    if (!plan)
        return plan.failure();
    log.AddText(QStringLiteral("....Writing CHK file ")); // the trailing space is kept as known
    return assemble(plan.value(), in, log);
}

Result<BuiltChk> data_chk_reload(const BuildInput& in, LogSink& log)
{
    if (in.workingPath.isEmpty() || in.baseArchiveName.isEmpty())
        return refuseUnwritten(log, QStringLiteral("No sound archive is loaded"));
    const Result<BuildPlan> plan = planBuild(in, log);
    if (!plan)
        return plan.failure();

    log.AddText(QStringLiteral("....Writing CHK file ")); // the trailing space is kept as known
    const QString folder = RPP(in.programFolder);
    const QString modifiedFolder = folder + QStringLiteral("Modified");
    const QString O = modifiedFolder + nativeSeparator() + in.baseArchiveName;
    const QString& W = in.workingPath; // replaced by the archive built from it
    if (Status s = checkOutput(modifiedFolder, O, in.workingPath, log); !s)
        return s.failure();
    const QByteArray bytes = assemble(plan.value(), in, log);
    if (Status s = writeArchive(O, W, bytes, log); !s)
        return s.failure();

    log.AddText(QStringLiteral("Done - real new file size is %1").arg(fileLength(O)));
    log.AddText(
        QStringLiteral("....new %1 file created in the 'Modified' folder").arg(in.baseArchiveName));
    // The listing follows the bytes just written, which are what W now holds.
    Result<ChkListing> listing = chk::listBytes(W, bytes, log);
    if (listing)
        log.AddText(QStringLiteral("....and reloaded the altered file for testing."));
    return BuiltChk{W, std::move(listing)};
}

} // namespace tollvik
