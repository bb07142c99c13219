// chk list, extract, build and join: the sound archive on the command line.
#include "archive/archive.h"
#include "archive/entries.h"
#include "chkfolder.h"
#include "command.h"
#include "convert/module.h"
#include "convert/slotsounds.h"
#include "core/fileio.h"

#include <QDir>
#include <QTemporaryDir>
#include <optional>

namespace tollvik::cli {
namespace {

const QCommandLineOption kAll(QStringLiteral("all"), QStringLiteral("Every entry of the archive."));

Result<SplitArchive> readArchive(const QString& path)
{
    return readSplitArchive(path);
}

QString entryName(qsizetype entry, qsizetype count, bool ogg)
{
    const int width = std::max(3, int(QString::number(count).size()));
    return QStringLiteral("Entry %1.%2")
        .arg(entry, width, 10, QLatin1Char('0'))
        .arg(ogg ? QStringLiteral("ogg") : QStringLiteral("bin"));
}

int listAll(const Call& call, const QString& path)
{
    const Result<SplitArchive> contents = readArchive(path);
    if (!contents)
        return refuse(call, contents.failure());
    const auto& entries = contents->entries();
    call.out << QStringLiteral("Entry      Offset       Size  Kind  Seconds") << Qt::endl;
    qint64 offset = 4 + 4 * (entries.size() + 1) + contents->gap().size();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArrayView ogg = oggOfEntry(entries[i]);
        const Result<double> length = ogg.isEmpty() ? fail(QString()) : convert::oggSeconds(ogg);
        const double seconds = length ? length.value() : -1;
        call.out << QStringLiteral("%1 %2 %3  %4  %5")
                        .arg(i + 1, 5)
                        .arg(offset, 11)
                        .arg(entries[i].size(), 10)
                        .arg(ogg.isEmpty() ? QStringLiteral("data") : QStringLiteral("ogg "))
                        .arg(seconds < 0 ? QString() : QString::number(seconds, 'f', 2))
                        .trimmed()
                 << Qt::endl;
        offset += entries[i].size();
    }
    return kOk;
}

int list(const Call& call)
{
    QCommandLineParser parser;
    parser.addOption(kAll);
    const ParsedCall parsed = parseCall(parser, call, QStringLiteral("chk list FILE [--all]"), 1);
    if (!parsed.ok)
        return parsed.exitCode();
    const QString path = parser.positionalArguments().at(0);
    if (parser.isSet(kAll))
        return listAll(call, path);
    StreamLog log(call.out);
    const auto listing = Get_Chk_info(path, log);
    return listing.ok() ? kOk : refuse(call, path + QStringLiteral(" cannot be listed"));
}

Result<QList<NamedFile>> slotFiles(const QString& path)
{
    QuietLog quiet; // the slot table is wanted, not the listing's lines
    const Result<ChkListing> listing = Get_Chk_info(path, quiet);
    if (!listing)
        return fail(QStringLiteral("%1 is not a sound archive: %2").arg(path, listing.error()));
    QList<NamedFile> files;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const Result<QByteArray> sound =
            readSlotSound(path, listing->table[static_cast<std::size_t>(slot)]);
        if (!sound)
            return fail(QStringLiteral("cannot read %1 of %2: %3")
                            .arg(slotLabel(slot), path, sound.error()));
        files.append({slotLabel(slot) + QStringLiteral(".ogg"), sound.value()});
    }
    return files;
}

Result<QList<NamedFile>> entryFiles(const QString& path)
{
    const Result<SplitArchive> contents = readArchive(path);
    if (!contents)
        return contents.failure();
    QList<NamedFile> files;
    const auto& entries = contents->entries();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArrayView ogg = oggOfEntry(entries[i], true);
        files.append({entryName(i + 1, entries.size(), !ogg.isEmpty()),
                      (ogg.isEmpty() ? entries[i] : ogg).toByteArray()});
    }
    const bool hasGap = !contents->gap().isEmpty();
    const QByteArray index = indexOf(files, hasGap);
    if (hasGap)
        files.append({kGapName, contents->gap().toByteArray()});
    files.append({kIndexName, index});
    return files;
}

int extract(const Call& call)
{
    QCommandLineParser parser;
    parser.addOption(kAll);
    const ParsedCall parsed =
        parseCall(parser, call, QStringLiteral("chk extract FILE DIR [--all]"), 2);
    if (!parsed.ok)
        return parsed.exitCode();
    const QString path = parser.positionalArguments().at(0);
    const QString folder = parser.positionalArguments().at(1);
    const Result<QList<NamedFile>> files = parser.isSet(kAll) ? entryFiles(path) : slotFiles(path);
    if (!files)
        return refuse(call, files.failure());
    if (const Status written = writeFolder(folder, files.value()); !written)
        return refuse(call, written.failure());
    call.out << QStringLiteral("%1 files written into %2").arg(files->size()).arg(folder)
             << Qt::endl;
    return kOk;
}

// An extracted folder's archive, and the files it was read from.
struct ReadFolder
{
    ChkContents contents;
    QStringList files;
};

Result<ReadFolder> readFolder(const QString& folder)
{
    const QDir dir(folder);
    ReadFolder read;
    const auto readFile = [&dir, &read](const QString& name) -> Result<QByteArray> {
        read.files.append(dir.filePath(name));
        const Result<QByteArray> bytes = readWholeFile(dir.filePath(name), kMaxArchiveBytes);
        if (!bytes)
            return fail(
                QStringLiteral("cannot read %1: %2").arg(dir.filePath(name), bytes.error()));
        return bytes;
    };
    const Result<QByteArray> index = readFile(kIndexName);
    if (!index)
        return index.failure();
    const Result<IndexedFolder> listed = readIndex(index.value());
    if (!listed)
        return fail(
            QStringLiteral("%1 is not an index: %2").arg(dir.filePath(kIndexName), listed.error()));
    if (!listed->gapFile.isEmpty()) {
        Result<QByteArray> gap = readFile(listed->gapFile);
        if (!gap)
            return gap.failure();
        read.contents.gap = std::move(gap).value();
    }
    for (const QString& name : listed->entryFiles) {
        Result<QByteArray> bytes = readFile(name);
        if (bytes && name.endsWith(QLatin1String(".ogg"), Qt::CaseInsensitive)) {
            bytes = soundEntry(bytes.value());
            if (!bytes)
                return fail(QStringLiteral("%1: %2").arg(dir.filePath(name), bytes.error()));
            if (const Status playable = convert::checkPlayable(oggOfEntry(bytes.value()));
                !playable)
                return fail(QStringLiteral("%1 is not an Ogg Vorbis sound the navigator can play "
                                           "(%2)")
                                .arg(dir.filePath(name), playable.error()));
        }
        if (!bytes)
            return bytes.failure();
        read.contents.entries.append(std::move(bytes).value());
    }
    return read;
}

int join(const Call& call)
{
    QCommandLineParser parser;
    const QCommandLineOption output = outputOption(QStringLiteral("The archive to write."));
    parser.addOption(output);
    const ParsedCall parsed = parseCall(parser, call, QStringLiteral("chk join DIR -o OUT"), 1);
    if (!parsed.ok)
        return parsed.exitCode();
    if (!parser.isSet(output))
        return refuse(call, QStringLiteral("chk join needs -o OUT"));
    const QString folder = parser.positionalArguments().at(0);
    const Result<ReadFolder> read = readFolder(folder);
    if (!read)
        return refuse(call, read.failure());
    const Result<QByteArray> archive = joinChk(read->contents);
    if (!archive)
        return refuse(call, archive.failure());
    if (const Status written = writeOutput(parser.value(output), archive.value(), read->files);
        !written)
        return refuse(call, written.failure());
    call.out << QStringLiteral("%1 entries joined into %2")
                    .arg(read->contents.entries.size())
                    .arg(parser.value(output))
             << Qt::endl;
    return kOk;
}

// The sound boxes of a build: each --slot N=SOUND, an .ogg taken as it is, any other sound
// converted like the archive sound it replaces, into a scratch folder made on first need.
Result<std::array<QString, kSlotCount>> slotSounds(const QString& archive,
                                                   const QStringList& assignments,
                                                   std::optional<QTemporaryDir>& scratch)
{
    std::array<QString, kSlotCount> boxes;
    for (int slot = 0; slot < kSlotCount; ++slot)
        boxes[std::size_t(slot)] = slotLabel(slot);
    if (assignments.isEmpty())
        return boxes;
    const Result<SplitArchive> contents = readArchive(archive);
    if (!contents)
        return contents.failure();
    const auto entries = static_cast<qint32>(contents->entries().size());
    std::optional<Result<SlotTargets>> targets;
    for (const QString& assignment : assignments) {
        const Result<SlotAssignment> assigned =
            slotAssignment(assignment, QStringLiteral("--slot"), QStringLiteral("SOUND"));
        if (!assigned)
            return assigned.failure();
        const int n = assigned->slot;
        const qint32 entry = buildEntryOfSlot(entries, n - 1);
        if (entry == 0)
            return fail(QStringLiteral("the build of an archive of %1 entries does not replace "
                                       "slot %2")
                            .arg(entries)
                            .arg(n));
        const QString& sound = assigned->value;
        const auto slot = std::size_t(n - 1);
        if (isExternalSound(sound)) {
            boxes[slot] = sound;
            continue;
        }
        // The archive's targets are measured once, for the first sound that needs them; the
        // sound matches the archive sound of the entry it goes into.
        if (!targets)
            targets = targetsOf(archive);
        if (!*targets)
            return targets->failure();
        if (!scratch && !scratch.emplace().isValid())
            return fail(QStringLiteral("cannot make a folder for the converted sounds: %1")
                            .arg(scratch->errorString()));
        const auto listed = std::size_t(entry - (entries - kSlotCount));
        const Result<convert::Converted> converted =
            convert::convertFile(sound, targets->value()[listed]);
        if (!converted)
            return converted.failure();
        boxes[slot] = scratch->filePath(QStringLiteral("slot %1.ogg").arg(n));
        if (const Status written = writeFileAtomically(boxes[slot], converted->ogg); !written)
            return written.failure();
    }
    return boxes;
}

int build(const Call& call)
{
    QCommandLineParser parser;
    const QCommandLineOption output = outputOption(QStringLiteral("The archive to write."));
    const QCommandLineOption slot(QStringLiteral("slot"),
                                  QStringLiteral("Slot N (1-30) plays SOUND; may be repeated."),
                                  QStringLiteral("N=SOUND"));
    parser.addOptions({output, slot});
    const ParsedCall parsed =
        parseCall(parser, call, QStringLiteral("chk build FILE -o OUT [--slot N=SOUND]..."), 1);
    if (!parsed.ok)
        return parsed.exitCode();
    if (!parser.isSet(output))
        return refuse(call, QStringLiteral("chk build needs -o OUT"));
    const QString path = parser.positionalArguments().at(0);
    std::optional<QTemporaryDir> scratch;
    const auto boxes = slotSounds(path, parser.values(slot), scratch);
    if (!boxes)
        return refuse(call, boxes.failure());
    BuildInput in;
    in.workingPath = path;
    in.soundBoxes = boxes.value();
    in.check = convert::soundCheckOf(&convert::checkPlayable, &convert::oggFormat);
    StreamLog log(call.out);
    const Result<QByteArray> archive = assembleCustomChk(in, log);
    if (!archive)
        return refuse(call, QStringLiteral("%1 cannot be built").arg(path));
    QStringList inputs{path};
    for (const QString& box : boxes.value()) {
        if (isExternalSound(box))
            inputs.append(box);
    }
    if (const Status written = writeOutput(parser.value(output), archive.value(), inputs); !written)
        return refuse(call, written.failure());
    call.out << QStringLiteral("Done - real new file size is %1").arg(archive->size()) << Qt::endl;
    return kOk;
}

} // namespace

int chkCommand(const Call& call)
{
    const QString sub = call.arguments.value(0);
    const Call rest{call.arguments.mid(1), call.out, call.err};
    if (sub == QLatin1String("list"))
        return list(rest);
    if (sub == QLatin1String("extract"))
        return extract(rest);
    if (sub == QLatin1String("build"))
        return build(rest);
    if (sub == QLatin1String("join"))
        return join(rest);
    return refuse(call, QStringLiteral("usage: tollvik-alerts-cli chk list|extract|build|join ... "
                                       "(chk SUBCOMMAND --help for its options)"));
}

} // namespace tollvik::cli
