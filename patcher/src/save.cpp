#include "core/codepage.h"
#include "core/fileio.h"
#include "core/paths.h"
#include "navigator_detail.h"
#include "settings/ini.h"

namespace tollvik {
namespace {

constexpr qint64 kMaxSettingsSize = qint64(16) << 20;

// "TomTom GO 5.2" from "TomTom GO 5.2 loaded.".
QString buildName(const NavigatorBuild& build)
{
    QStringView caption = build.caption;
    const QStringView suffix = u" loaded.";
    if (caption.endsWith(suffix))
        caption.chop(suffix.size());
    return caption.toString();
}

void refuse(LogSink& log, const QString& why)
{
    log.AddText(QStringLiteral("Cannot save the modified TTN file: ") + why);
}

QString folderFile(const QString& programFolder, QStringView folder, const QString& name)
{
    return RPP(programFolder) + folder.toString() + nativeSeparator() + name;
}

} // namespace

bool FillPatchTable(NavigatorState& state)
{
    if (!Exists(state.workingCopyPath))
        return false;
    if (state.VersionIndex < 0 || state.VersionIndex > 15)
        return false;
    const NavigatorBuild* build = findNavigatorBuild(state.VersionIndex);
    if (build == nullptr)
        return false;
    PatchTable& table = state.patchTable;
    const PatchTable& entry = build->patch;
    table.MenuTextArea = entry.MenuTextArea;
    table.MenuPointerTable = entry.MenuPointerTable;
    table.MenuPointerTableRef = entry.MenuPointerTableRef;
    table.MenuItemCount = entry.MenuItemCount;
    table.SoundTable = entry.SoundTable;
    table.SoundTableRef1 = entry.SoundTableRef1;
    table.SoundTableRef2 = entry.SoundTableRef2;
    // A build without a third reference leaves the old value, which the patch then never writes.
    if (build->hasSoundTableRef3)
        table.SoundTableRef3 = entry.SoundTableRef3;
    table.FirstSoundNumber = entry.FirstSoundNumber;
    return true;
}

SaveResult saveModifiedNavigator(NavigatorState& state, const std::array<QString, 30>& menuTexts,
                                 const QString& programFolder, LogSink& log)
{
    // Every check comes before the first write: a refusal leaves the output, the settings file
    // and the working copy exactly as they were.
    const NavigatorBuild* build = findNavigatorBuild(state.VersionIndex);
    const QString name = build != nullptr
                             ? state.WorkingFileNames[static_cast<std::size_t>(state.VersionIndex)]
                             : QString();
    if (name.isEmpty()) {
        refuse(log, QStringLiteral("no TTN file is loaded."));
        return {};
    }
    const QString working = state.workingCopyPath;
    if (!Exists(working)) {
        refuse(log,
               QStringLiteral("the working copy %1 is missing or empty; load the TTN file again.")
                   .arg(working));
        return {};
    }
    const Result<QByteArray> read = readWholeFile(working, detail::kMaxNavigatorFileSize);
    if (!read) {
        refuse(log,
               QStringLiteral("the working copy %1 cannot be read: %2").arg(working, read.error()));
        return {};
    }
    QByteArray bytes = read.value();
    const bool writesRef3 = build->hasSoundTableRef3;
    const qint64 needed = detail::requiredFileLength(build->patch, writesRef3);
    if (bytes.size() < needed) {
        refuse(log,
               QStringLiteral("the working copy %1 is %2 bytes long, too short for %3 (%4 bytes "
                              "needed); load the TTN file again.")
                   .arg(working)
                   .arg(bytes.size())
                   .arg(buildName(*build))
                   .arg(needed));
        return {};
    }
    if (detail::identifyBytes(bytes) != build) {
        refuse(log,
               QStringLiteral("the working copy %1 is no longer an unaltered %2 file; load the "
                              "TTN file again.")
                   .arg(working, buildName(*build)));
        return {};
    }
    std::array<QByteArray, detail::kMenuItems> encoded;
    for (std::size_t i = 0; i < menuTexts.size(); ++i) {
        Cp1252Encoding encoding = encodeCp1252(menuTexts[i]);
        if (!encoding.ok()) {
            const char32_t bad = encoding.badChar;
            refuse(log, QStringLiteral("menu item %1 holds the character '%2' (%3), which has no "
                                       "Windows-1252 byte.")
                            .arg(i + 1)
                            .arg(QString::fromUcs4(&bad, 1), codePointName(bad)));
            return {};
        }
        encoded[i] = std::move(encoding.bytes);
    }
    const QString out = folderFile(programFolder, u"Modified", name);
    if (isSameFile(out, state.SourcePath) || isSameFile(out, working)) {
        refuse(log, QStringLiteral("%1 is the loaded file itself; load the TTN file from another "
                                   "folder.")
                        .arg(out));
        return {};
    }
    if (!FillPatchTable(state)) {
        refuse(log,
               QStringLiteral("the working copy %1 is missing or empty; load the TTN file again.")
                   .arg(working));
        return {};
    }

    // The patch is made on the bytes read from the working copy, in memory; the working copy
    // itself is never altered, so it stays an unaltered build whatever happens below.
    log.AddText(QStringLiteral("Preparing to alter the the backed up TTN file."));
    QByteArray& patched = bytes;
    detail::UdateTomTom(patched, state.patchTable, state.VersionIndex, menuTexts, encoded, log);

    // The settings file is put back as it was when the output cannot be produced, so that it keeps
    // matching the output of the last good save.
    const QString iniPath = RPP(programFolder) + QStringLiteral("Tollvik.ini");
    const bool iniExisted = fileLength(iniPath) >= 0;
    const Result<QByteArray> previous =
        iniExisted ? readWholeFile(iniPath, kMaxSettingsSize) : Result<QByteArray>(QByteArray());
    const bool iniKept = previous.ok();
    const QByteArray previousIni = iniKept ? previous.value() : QByteArray();
    const auto restoreSettings = [&]() -> Status {
        if (!iniKept)
            return fail(QStringLiteral("its earlier content could not be read"));
        return iniExisted ? writeFileAtomically(iniPath, previousIni)
                          : removeFileIfPresent(iniPath);
    };
    // All 30 keys in one rewrite of the file: either every text is stored or the file is left
    // as it was.
    QList<std::pair<QString, QString>> items;
    for (int n = 1; n <= detail::kMenuItems; ++n)
        items.append({QStringLiteral("Item%1").arg(n, 2, 10, QLatin1Char('0')),
                      menuTexts[static_cast<std::size_t>(n - 1)]});
    const Status settings = WriteIniValues(iniPath, QStringLiteral("MenuText"), items);
    // The texts are a convenience for the next start; the modified file is still produced.
    if (settings)
        log.AddText(QStringLiteral("....Updated the Tollvik.ini file."));
    else
        log.AddText(QStringLiteral("....Could not update the Tollvik.ini file %1: %2")
                        .arg(iniPath, settings.error()));

    log.AddText(QStringLiteral("....Modification complete, saving working file to the 'Modified' "
                               "folder."));
    if (const Status written = writeFileAtomically(out, patched); !written) {
        log.AddText(QStringLiteral("....Could not save %1: %2. The working copy and any earlier "
                                   "output are unchanged.")
                        .arg(out, written.error()));
        if (settings) {
            if (const Status restored = restoreSettings(); !restored)
                log.AddText(QStringLiteral("....Could not restore the Tollvik.ini file %1: %2")
                                .arg(iniPath, restored.error()));
        }
        return {};
    }

    SaveResult result;
    result.ok = true;

    // The working copy is refreshed from the chosen file only when that file is still the same
    // build; otherwise the existing, unaltered working copy serves the next save.
    const QString temp = folderFile(programFolder, u"Temp", name);
    const IdentifyResult source = IdentifyNavigatorFile(state.SourcePath);
    if (source.readFailed || source.build != build) {
        const QString why =
            source.readFailed
                ? source.error
                : QStringLiteral("it is no longer an unaltered %1 file").arg(buildName(*build));
        log.AddText(QStringLiteral("....Cannot refresh the working file from %1 (%2); the working "
                                   "copy is kept. The output in the 'Modified' folder is complete.")
                        .arg(state.SourcePath, why));
        return result;
    }
    log.AddText(QStringLiteral("....deleting working file in temp. folder ") + name);
    log.AddText(QStringLiteral("....replace working file with original."));
    if (const Status copied = copyFileAtomically(state.SourcePath, temp); !copied) {
        log.AddText(QStringLiteral("....Cannot refresh the working file from %1 (%2); the working "
                                   "copy is kept. The output in the 'Modified' folder is complete.")
                        .arg(state.SourcePath, copied.error()));
        return result;
    }
    state.workingCopyPath = temp;
    result.workingCopyRefreshed = true;
    return result;
}

} // namespace tollvik
