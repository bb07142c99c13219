// chk list, extract, build and join: the sound archive on the command line.
#include "archive/archive.h"
#include "archive/entries.h"
#include "chkfolder.h"
#include "command.h"
#include "convert/module.h"
#include "convert/slotsounds.h"
#include "core/fileio.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
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

// One line of the full listing: the same widths for the header and for every entry.
QString listLine(const QString& entry, const QString& offset, const QString& size,
                 const QString& kind, const QString& seconds)
{
    QString line = QStringLiteral("%1 %2 %3  %4  %5")
                       .arg(entry, 5)
                       .arg(offset, 11)
                       .arg(size, 10)
                       .arg(kind, -4)
                       .arg(seconds, 7);
    while (line.endsWith(u' '))
        line.chop(1);
    return line;
}

int listAll(const Call& call, const QString& path)
{
    const Result<SplitArchive> contents = readArchive(path);
    if (!contents)
        return refuse(call, contents.failure());
    const auto& entries = contents->entries();
    call.out << listLine(QStringLiteral("Entry"), QStringLiteral("Offset"), QStringLiteral("Size"),
                         QStringLiteral("Kind"), QStringLiteral("Seconds"))
             << Qt::endl;
    qint64 offset = 4 + 4 * (entries.size() + 1) + contents->gap().size();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArrayView ogg = oggOfEntry(entries[i]);
        // The length from the pages' positions: nothing is decoded.
        const Result<double> seconds = ogg.isEmpty() ? fail(QString()) : convert::oggSeconds(ogg);
        call.out << listLine(QString::number(i + 1), QString::number(offset),
                             QString::number(entries[i].size()),
                             ogg.isEmpty() ? QStringLiteral("data") : QStringLiteral("ogg"),
                             seconds ? QString::number(seconds.value(), 'f', 2) : QString())
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
    if (const Status checked = checkFiles({path}); !checked)
        return refuse(call, checked.failure());
    if (parser.isSet(kAll))
        return listAll(call, path);
    if (const Status limits = checkArchiveLimitsOf(path); !limits)
        return refuse(call, limits.failure());
    HeldBackLog log(call.out);
    const auto listing = Get_Chk_info(path, log);
    if (!listing)
        return refuseHeld(call, log, listing.failure());
    log.flush();
    return kOk;
}

Result<QList<NamedFile>> slotFiles(const QString& path)
{
    if (const Status limits = checkArchiveLimitsOf(path); !limits)
        return limits.failure();
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
    if (folder == QLatin1String("-"))
        return refuse(call, QStringLiteral("-: standard output is not written; give a folder"));
    if (const Status checked = checkFiles({path}); !checked)
        return refuse(call, checked.failure());
    const Result<QList<NamedFile>> files = parser.isSet(kAll) ? entryFiles(path) : slotFiles(path);
    if (!files)
        return refuse(call, files.failure());
    if (const Status written = writeFolder(folder, files.value()); !written)
        return refuse(call, written.failure());
    call.out << QStringLiteral("%1 files written into %2").arg(files->size()).arg(folder)
             << Qt::endl;
    return kOk;
}

// An extracted folder's index: the files it names, in the order of the archive.
struct IndexedFiles
{
    QString index;
    QString gap; // empty when none
    QStringList entries;
    [[nodiscard]] QStringList all() const
    {
        return QStringList{index} + (gap.isEmpty() ? QStringList() : QStringList{gap}) + entries;
    }
};

// Far more than an index of kArchiveEntryLimit names needs.
constexpr qint64 kIndexLimitBytes = 32LL * 1024 * 1024;

Result<IndexedFiles> readIndexOf(const QString& folder, const QString& output)
{
    const QDir dir(folder);
    IndexedFiles files;
    files.index = dir.filePath(kIndexName);
    if (const Status checked = checkFiles({files.index}, output); !checked)
        return checked.failure();
    const Result<QByteArray> index = readWholeFile(files.index, kIndexLimitBytes);
    if (!index)
        return fail(QStringLiteral("cannot read %1: %2").arg(files.index, index.error()));
    const Result<IndexedFolder> listed = readIndex(index.value());
    if (!listed)
        return fail(QStringLiteral("%1 is not an index: %2").arg(files.index, listed.error()));
    if (listed->entryFiles.size() > kArchiveEntryLimit)
        return fail(QStringLiteral("%1 names %2 entries; a sound archive has at most %3")
                        .arg(files.index)
                        .arg(listed->entryFiles.size())
                        .arg(kArchiveEntryLimit));
    if (!listed->gapFile.isEmpty())
        files.gap = dir.filePath(listed->gapFile);
    for (const QString& name : listed->entryFiles)
        files.entries.append(dir.filePath(name));
    return files;
}

// The sizes from stat, before any entry is read: each, and all of them with the table, within
// what an archive may hold.
Status checkJoinedSize(const IndexedFiles& files)
{
    const QLocale c(QLocale::English, QLocale::UnitedStates); // 536,870,912
    const QString limit = c.toString(kArchiveSizeLimit);
    qint64 total = 4 + 4 * (files.entries.size() + 1);
    for (const QString& file : files.all().mid(1)) {
        const qint64 size = fileLength(file);
        if (size > kArchiveSizeLimit)
            return fail(QStringLiteral("%1 is %2 bytes long; an archive is at most %3 bytes")
                            .arg(file, c.toString(size), limit));
        total += size + 16 + 3; // at most a sound entry's header and padding more
    }
    if (total > kArchiveSizeLimit)
        return fail(QStringLiteral("the entries would make an archive of about %1 bytes; an "
                                   "archive is at most %2 bytes")
                        .arg(c.toString(total), limit));
    return {};
}

Result<ChkContents> readEntries(const IndexedFiles& files)
{
    const auto readFile = [](const QString& path) -> Result<QByteArray> {
        const Result<QByteArray> bytes = readWholeFile(path, kArchiveSizeLimit);
        if (!bytes)
            return fail(QStringLiteral("cannot read %1: %2").arg(path, bytes.error()));
        return bytes;
    };
    ChkContents contents;
    if (!files.gap.isEmpty()) {
        Result<QByteArray> gap = readFile(files.gap);
        if (!gap)
            return gap.failure();
        contents.gap = std::move(gap).value();
    }
    for (const QString& path : files.entries) {
        Result<QByteArray> bytes = readFile(path);
        if (bytes && path.endsWith(QLatin1String(".ogg"), Qt::CaseInsensitive)) {
            bytes = soundEntry(bytes.value());
            if (!bytes)
                return fail(QStringLiteral("%1: %2").arg(path, bytes.error()));
            if (const Status playable = convert::checkPlayable(oggOfEntry(bytes.value()));
                !playable)
                return fail(QStringLiteral("%1 is not an Ogg Vorbis sound the navigator can play "
                                           "(%2)")
                                .arg(path, playable.error()));
        }
        if (!bytes)
            return bytes.failure();
        contents.entries.append(std::move(bytes).value());
    }
    return contents;
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
    const QString out = parser.value(output);
    const Result<IndexedFiles> files = readIndexOf(parser.positionalArguments().at(0), out);
    if (!files)
        return refuse(call, files.failure());
    if (const Status checked = checkFiles(files->all(), out); !checked)
        return refuse(call, checked.failure());
    if (const Status sized = checkJoinedSize(files.value()); !sized)
        return refuse(call, sized.failure());
    const Result<ChkContents> contents = readEntries(files.value());
    if (!contents)
        return refuse(call, contents.failure());
    const Result<QByteArray> archive = joinChk(contents.value());
    if (!archive)
        return refuse(call, archive.failure());
    if (const Status written = writeOutput(out, archive.value(), files->all()); !written)
        return refuse(call, written.failure());
    call.out << QStringLiteral("%1 entries joined into %2").arg(contents->entries.size()).arg(out)
             << Qt::endl;
    return kOk;
}

// The --slot N=SOUND arguments of a build, checked before anything is read.
Result<QList<SlotAssignment>> slotAssignments(const QStringList& arguments)
{
    QList<SlotAssignment> assignments;
    for (const QString& argument : arguments) {
        const Result<SlotAssignment> assigned =
            slotAssignment(argument, QStringLiteral("--slot"), QStringLiteral("SOUND"));
        if (!assigned)
            return assigned.failure();
        assignments.append(assigned.value());
    }
    return assignments;
}

// A folder for the converted sounds inside the output's folder, made on first need and removed
// with the object; one that a killed run left is removed by the next run writing there.
class Scratch
{
public:
    explicit Scratch(QString outputFolder) : m_folder(std::move(outputFolder)) {}
    Result<QString> file(const QString& name)
    {
        if (!m_dir) {
            (void)removeStaleTemporaryFiles(m_folder);
            if (!m_dir.emplace(temporaryTemplate(m_folder)).isValid())
                return fail(QStringLiteral("cannot make a folder for the converted sounds in "
                                           "%1: %2")
                                .arg(m_folder, m_dir->errorString()));
        }
        return m_dir->filePath(name);
    }

private:
    QString m_folder;
    std::optional<QTemporaryDir> m_dir;
};

// The sound boxes of a build: each --slot N=SOUND, an .ogg taken as it is, any other sound
// converted like the archive sound it replaces, into the scratch folder.
Result<std::array<QString, kSlotCount>>
slotSounds(const QString& archive, const QList<SlotAssignment>& assignments, Scratch& scratch)
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
    for (const SlotAssignment& assigned : assignments) {
        const int n = assigned.slot;
        const qint32 entry = buildEntryOfSlot(entries, n - 1);
        if (entry == 0)
            return fail(QStringLiteral("the build of an archive of %1 entries does not replace "
                                       "slot %2")
                            .arg(entries)
                            .arg(n));
        const QString& sound = assigned.value;
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
        const auto listed = std::size_t(entry - (entries - kSlotCount));
        const Result<convert::Converted> converted =
            convert::convertFile(sound, targets->value()[listed]);
        if (!converted)
            return converted.failure();
        const Result<QString> file = scratch.file(QStringLiteral("slot %1.ogg").arg(n));
        if (!file)
            return file.failure();
        boxes[slot] = file.value();
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
    const QString out = parser.value(output);
    const Result<QList<SlotAssignment>> assignments = slotAssignments(parser.values(slot));
    if (!assignments)
        return refuse(call, assignments.failure());
    QStringList inputs{path};
    for (const SlotAssignment& assigned : assignments.value())
        inputs.append(assigned.value);
    if (const Status checked = checkFiles(inputs, out); !checked)
        return refuse(call, checked.failure());
    if (const Status limits = checkArchiveLimitsOf(path); !limits)
        return refuse(call, limits.failure());
    Scratch scratch(QFileInfo(out).absolutePath());
    const auto boxes = slotSounds(path, assignments.value(), scratch);
    if (!boxes)
        return refuse(call, boxes.failure());
    BuildInput in;
    in.workingPath = path;
    in.soundBoxes = boxes.value();
    in.check = convert::soundCheckOf(&convert::checkPlayable, &convert::oggFormat);
    HeldBackLog log(call.out);
    const Result<QByteArray> archive = assembleCustomChk(in, log);
    if (!archive)
        return refuseHeld(call, log, archive.failure());
    log.flush();
    if (const Status written = writeOutput(out, archive.value(), inputs); !written)
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
    return refuseUnknown(call, QStringLiteral("chk"), QStringLiteral("list|extract|build|join"));
}

} // namespace tollvik::cli
