#include "core/codepage.h"
#include "core/fileio.h"
#include "core/paths.h"
#include "navigator_detail.h"
#include "settings/ini.h"

namespace tollvik {
namespace {

// What the checks of a save found: the build, the names and the bytes the patch is made on.
struct SaveInput
{
    const detail::BuildEntry* entry = nullptr;
    PatchTable table; // where the patch writes: the window's table, or the build's
    QString name;     // the loaded file's name, also the output's
    QString out;      // <program folder>Modified/<name>
    QByteArray bytes; // the working copy, read once
    std::array<QByteArray, kSlotCount> encodedTexts;
};

// "TomTom GO 5.2" from "TomTom GO 5.2 loaded.".
QString buildName(const NavigatorBuild& build)
{
    QStringView caption = build.caption;
    const QStringView suffix = u" loaded.";
    if (caption.endsWith(suffix))
        caption.chop(suffix.size());
    return caption.toString();
}

// The bytes must be the unaltered build that was loaded, long enough for its patch.
Status checkBytes(const SaveInput& in, const QString& working)
{
    const NavigatorBuild& build = in.entry->build;
    const qint64 needed =
        detail::requiredFileLength(in.table, detail::writesSoundTableRef3(build.versionIndex));
    if (in.bytes.size() < needed)
        return fail(QStringLiteral("the working copy %1 is %2 bytes long, too short for %3 (%4 "
                                   "bytes needed); load the TTN file again.")
                        .arg(working)
                        .arg(in.bytes.size())
                        .arg(buildName(build))
                        .arg(needed));
    if (IdentifyNavigatorFile(in.bytes) != &build)
        return fail(QStringLiteral("the working copy %1 is no longer an unaltered %2 file; load "
                                   "the TTN file again.")
                        .arg(working, buildName(build)));
    return {};
}

// The working copy must still be the unaltered build that was loaded, long enough for its patch.
Status checkWorkingCopy(SaveInput& in, const QString& working)
{
    Result<QByteArray> read = readWholeFile(working, kMaxNavigatorFileSize);
    if (!read)
        return fail(
            QStringLiteral("the working copy %1 cannot be read: %2").arg(working, read.error()));
    in.bytes = std::move(read).value();
    return checkBytes(in, working);
}

// Every text must have a Windows-1252 byte for each of its characters.
Status encodeTexts(SaveInput& in, const std::array<QString, kSlotCount>& menuTexts)
{
    for (std::size_t i = 0; i < menuTexts.size(); ++i) {
        Cp1252Encoding encoding = encodeCp1252(menuTexts[i]);
        if (!encoding.ok()) {
            const char32_t bad = encoding.badChar;
            return fail(QStringLiteral("menu item %1 holds the character '%2' (%3), which has no "
                                       "Windows-1252 byte.")
                            .arg(i + 1)
                            .arg(QString::fromUcs4(&bad, 1), codePointName(bad)));
        }
        in.encodedTexts[i] = std::move(encoding.bytes);
    }
    return {};
}

// Every check comes before the first write: a refusal leaves the output, the settings file and
// the working copy exactly as they were.
Result<SaveInput> checkWorkingCopyAndTexts(NavigatorState& state,
                                           const std::array<QString, kSlotCount>& menuTexts,
                                           const QString& programFolder)
{
    SaveInput in;
    in.entry = detail::findBuildEntry(state.VersionIndex);
    if (in.entry != nullptr)
        in.name = state.WorkingFileNames[static_cast<std::size_t>(state.VersionIndex)];
    if (in.name.isEmpty())
        return fail(QStringLiteral("no TTN file is loaded."));
    if (Status filled = detail::FillPatchTable(state); !filled)
        return filled.failure();
    in.table = state.patchTable;
    if (Status r = checkWorkingCopy(in, state.workingCopyPath); !r)
        return r.failure();
    if (Status r = encodeTexts(in, menuTexts); !r)
        return r.failure();
    in.out = programFile(programFolder, u"Modified", in.name);
    if (isSameFile(in.out, state.SourcePath) || isSameFile(in.out, state.workingCopyPath))
        return fail(QStringLiteral("%1 is the loaded file itself; load the TTN file from another "
                                   "folder.")
                        .arg(in.out));
    return in;
}

// The patch is made on the bytes read from the working copy; the working copy itself is never
// altered, so it stays an unaltered build whatever happens later.
void patchInMemory(SaveInput& in, const std::array<QString, kSlotCount>& menuTexts, LogSink& log)
{
    // "the the" is kept as users know the line.
    log.AddText(QStringLiteral("Preparing to alter the the backed up TTN file."));
    detail::UdateTomTom(in.bytes, in.table, in.entry->build.versionIndex, menuTexts,
                        in.encodedTexts, log);
}

// The settings file is put back when the output cannot be written, so that it keeps matching
// the output of the last good save.
Status writeOutput(const SaveInput& in, const Result<IniUndo>& settings, LogSink& log)
{
    log.AddText(QStringLiteral("....Modification complete, saving working file to the 'Modified' "
                               "folder."));
    const Status written = writeFileAtomically(in.out, in.bytes);
    if (!written) {
        log.AddText(QStringLiteral("....Could not save %1: %2. The working copy and any earlier "
                                   "output are unchanged.")
                        .arg(in.out, written.error()));
        if (settings)
            (void)settings->restore(log);
    }
    return written;
}

// The working copy is refreshed from the chosen file only when that file is still the same
// build; otherwise the existing, unaltered working copy serves the next save. The chosen file is
// read once: the bytes identified are the bytes written.
WorkingCopy refreshWorkingCopy(NavigatorState& state, SaveInput& in, const QString& programFolder,
                               LogSink& log)
{
    const auto kept = [&](const QString& why) {
        log.AddText(QStringLiteral("....Cannot refresh the working file from %1 (%2); the working "
                                   "copy is kept. The output in the 'Modified' folder is complete.")
                        .arg(state.SourcePath, why));
        return WorkingCopy::Kept;
    };
    // The patched bytes are written; their buffer takes the chosen file.
    QByteArray& source = in.bytes;
    if (const Status read = readWholeFileInto(state.SourcePath, source, kMaxNavigatorFileSize);
        !read)
        return kept(read.error());
    if (IdentifyNavigatorFile(source) != &in.entry->build)
        return kept(
            QStringLiteral("it is no longer an unaltered %1 file").arg(buildName(in.entry->build)));
    log.AddText(QStringLiteral("....deleting working file in temp. folder ") + in.name);
    log.AddText(QStringLiteral("....replace working file with original."));
    const QString temp = programFile(programFolder, u"Temp", in.name);
    if (const Status copied = writeFileAtomically(temp, source); !copied)
        return kept(copied.error());
    state.workingCopyPath = temp;
    return WorkingCopy::Refreshed;
}

} // namespace

Result<QByteArray> patchNavigatorBytes(QByteArray fileBytes,
                                       const std::array<QString, kSlotCount>& menuTexts,
                                       LogSink& log)
{
    SaveInput in;
    const NavigatorBuild* build = IdentifyNavigatorFile(fileBytes);
    in.entry = build ? detail::findBuildEntry(build->versionIndex) : nullptr;
    if (in.entry == nullptr)
        return fail(QStringLiteral("the file is no unaltered TomTom file of a known version"));
    in.table = in.entry->patch;
    in.bytes = std::move(fileBytes);
    if (Status r = checkBytes(in, QStringLiteral("file")); !r)
        return r.failure();
    if (Status r = encodeTexts(in, menuTexts); !r)
        return r.failure();
    patchInMemory(in, menuTexts, log);
    return std::move(in.bytes);
}

Result<WorkingCopy> saveModifiedNavigator(NavigatorState& state,
                                          const std::array<QString, kSlotCount>& menuTexts,
                                          const QString& programFolder, LogSink& log)
{
    Result<SaveInput> checked = checkWorkingCopyAndTexts(state, menuTexts, programFolder);
    if (!checked) {
        log.AddText(QStringLiteral("Cannot save the modified TTN file: ") + checked.error());
        return checked.failure();
    }
    SaveInput& in = checked.value();
    patchInMemory(in, menuTexts, log);
    // The texts are a convenience for the next start; the modified file is produced without them.
    const Result<IniUndo> settings = PutINIData(programFolder, menuTexts, log);
    if (const Status written = writeOutput(in, settings, log); !written)
        return written.failure();
    return refreshWorkingCopy(state, in, programFolder, log);
}

} // namespace tollvik
