// The slot sounds' files: converted sounds in Temp/, files matched to slots by name, and the
// export of all 30 sounds.

#include "archive/slotfiles.h"

#include "core/fileio.h"
#include "core/paths.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace tollvik::convert {

namespace {

// The record of the converted sounds written into Temp/: one file name a line.
const QString kRecordName = QStringLiteral(".tollvik-converted-sounds");
constexpr int kMaxSourceNameLength = 64;
constexpr int kMaxNameVariants = 99;

QString tempFile(const QString& programFolder, const QString& name)
{
    return programFile(programFolder, u"Temp", name);
}

// A name of ours: the slot's number, a blank, anything, ".ogg"; no folder, nothing hidden.
bool isConvertedName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-3][0-9] [^/\\\\]+\\.ogg$"));
    return pattern.match(name).hasMatch();
}

QStringList readRecord(const QString& programFolder)
{
    const Result<QByteArray> bytes = readWholeFile(tempFile(programFolder, kRecordName), 1 << 20);
    if (!bytes)
        return {};
    QStringList names;
    for (const QString& line : QString::fromUtf8(bytes.value()).split(QLatin1Char('\n'))) {
        if (isConvertedName(line) && !names.contains(line))
            names.append(line);
    }
    return names;
}

Status writeRecord(const QString& programFolder, const QStringList& names)
{
    const QString path = tempFile(programFolder, kRecordName);
    if (names.isEmpty())
        return removeFileIfPresent(path);
    return writeFileAtomically(path, (names.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

// `name` with " (n)" before its ".ogg".
QString variant(const QString& name, int n)
{
    return n < 2 ? name : name.chopped(4) + QStringLiteral(" (%1).ogg").arg(n);
}

} // namespace

QString convertedSoundName(int slot, const QString& sourceName)
{
    // "07 bell" for slot 6 keeps its own number, not a second one.
    static const QRegularExpression numbered(QStringLiteral("^0*([1-9][0-9]?)[ _-]+(.+)$"));
    QString source = sourceName.simplified();
    if (const QRegularExpressionMatch match = numbered.match(source);
        match.hasMatch() && match.captured(1).toInt() == slot + 1)
        source = match.captured(2);
    QString safe;
    for (const QChar c : std::as_const(source)) {
        const bool refused =
            c.unicode() < 0x20 || c.unicode() == 0x7F || QStringView(u"<>:\"/\\|?*").contains(c);
        safe.append(refused ? QLatin1Char('_') : c);
    }
    if (safe.size() > kMaxSourceNameLength) {
        safe.truncate(kMaxSourceNameLength);
        if (safe.back().isHighSurrogate())
            safe.chop(1);
    }
    while (safe.endsWith(QLatin1Char('.')) || safe.endsWith(QLatin1Char(' ')))
        safe.chop(1);
    if (safe.isEmpty())
        safe = QStringLiteral("sound");
    return QStringLiteral("%1 %2.ogg").arg(slot + 1, 2, 10, QLatin1Char('0')).arg(safe);
}

Result<QString> writeConvertedSound(const QString& programFolder, int slot,
                                    const QString& sourceName, const QByteArray& ogg,
                                    const QString& readFrom)
{
    if (slot < 0 || slot >= kSlotCount)
        return fail(QStringLiteral("There is no slot %1.").arg(slot + 1));
    QStringList record = readRecord(programFolder);
    const QString name = convertedSoundName(slot, sourceName);
    QString chosen;
    for (int n = 1; n <= kMaxNameVariants && chosen.isEmpty(); ++n) {
        const QString path = tempFile(programFolder, variant(name, n));
        const bool ours = record.contains(variant(name, n));
        if ((!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) ||
            (ours && !isSameFile(path, readFrom)))
            chosen = variant(name, n);
    }
    if (chosen.isEmpty())
        return fail(QStringLiteral("Cannot write the converted sound into %1: every name for it "
                                   "is taken.")
                        .arg(tempFile(programFolder, name)));
    const QString path = tempFile(programFolder, chosen);
    const bool recorded = record.contains(chosen);
    if (!recorded) {
        // Recorded before it is written, so that even a kill leaves nothing unrecorded.
        record.append(chosen);
        if (const Status kept = writeRecord(programFolder, record); !kept)
            return fail(QStringLiteral("Cannot write %1: %2")
                            .arg(tempFile(programFolder, kRecordName), kept.error()));
    }
    if (const Status written = writeFileAtomically(path, ogg); !written) {
        if (!recorded) {
            record.removeAll(chosen);
            (void)writeRecord(programFolder, record);
        }
        return fail(QStringLiteral("Cannot write %1: %2").arg(path, written.error()));
    }
    return path;
}

void removeConvertedSounds(const QString& programFolder)
{
    QStringList left;
    for (const QString& name : readRecord(programFolder)) {
        if (!removeFileIfPresent(tempFile(programFolder, name)))
            left.append(name);
    }
    (void)writeRecord(programFolder, left);
}

int slotOfFileName(const QString& fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(?:sound[ _-]*)?0*([1-9][0-9]?)(?![0-9])"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(QFileInfo(fileName).fileName());
    const int number = match.hasMatch() ? match.captured(1).toInt() : 0;
    return number >= 1 && number <= kSlotCount ? number - 1 : -1;
}

QMap<int, QString> matchSlots(QStringList paths)
{
    std::sort(paths.begin(), paths.end(), [](const QString& a, const QString& b) {
        return QFileInfo(a).fileName().compare(QFileInfo(b).fileName(), Qt::CaseInsensitive) < 0;
    });
    QMap<int, QString> slots;
    for (const QString& path : std::as_const(paths)) {
        const int slot = slotOfFileName(path);
        if (slot >= 0 && !slots.contains(slot))
            slots.insert(slot, path);
    }
    return slots;
}

QString exportFileName(int slot)
{
    return slotLabel(slot) + QStringLiteral(".ogg");
}

int exportFilesPresent(const std::array<QString, kSlotCount>& soundBoxes, const QString& folder)
{
    int present = 0;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QString path = RPP(folder) + exportFileName(slot);
        const QFileInfo info(path);
        if ((info.exists() || info.isSymLink()) &&
            !isSameFile(path, soundBoxes[static_cast<std::size_t>(slot)]))
            ++present;
    }
    return present;
}

Status exportAllSounds(const ListedArchive& archive,
                       const std::array<QString, kSlotCount>& soundBoxes, const QString& folder)
{
    QList<QByteArray> sounds;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QString& box = soundBoxes[static_cast<std::size_t>(slot)];
        Result<QByteArray> sound =
            isExternalSound(box)
                ? readWholeFile(box, kMaxExternalSoundBytes)
                : readSlotSound(archive.workingPath, archive.table[static_cast<std::size_t>(slot)]);
        if (!sound)
            return fail(QStringLiteral("Cannot read %1 for slot %2: %3")
                            .arg(box)
                            .arg(slot + 1)
                            .arg(sound.error()));
        sounds.append(std::move(sound).value());
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QString path = RPP(folder) + exportFileName(slot);
        if (isSameFile(path, archive.workingPath))
            return fail(QStringLiteral("%1 is the working copy of the sound archive").arg(path));
        // Only regular files are replaced: a folder, a FIFO, a device or a dangling link stays.
        if (const QFileInfo info(path); (info.exists() || info.isSymLink()) && !info.isFile())
            return fail(QStringLiteral("%1 is in the way and is not a file").arg(path));
        for (int other = 0; other < kSlotCount; ++other) {
            if (other != slot && isSameFile(path, soundBoxes[static_cast<std::size_t>(other)]))
                return fail(QStringLiteral("%1 is the sound of slot %2").arg(path).arg(other + 1));
        }
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QString path = RPP(folder) + exportFileName(slot);
        // A slot's own file already holds its sound.
        if (isSameFile(path, soundBoxes[static_cast<std::size_t>(slot)]))
            continue;
        if (const Status done = writeFileAtomically(path, sounds[slot]); !done)
            return fail(QStringLiteral("Cannot write %1: %2").arg(path, done.error()));
    }
    return {};
}

} // namespace tollvik::convert
