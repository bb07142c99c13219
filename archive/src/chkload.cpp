#include "chkformat.h"
#include "core/fileio.h"
#include "core/paths.h"

namespace tollvik {
namespace {} // namespace

Result<LoadedChk> LoadBaseChk(const QString& chosenPath, const QString& programFolder, LogSink& log)
{
    const QString W = programFile(programFolder, u"Temp", GetFileName(chosenPath));

    // The working copy is never loaded as a base archive, by whatever spelling it is chosen:
    // copying it onto itself would destroy it.
    if (chosenPath == W || isSameFile(chosenPath, W))
        return logged(log, QStringLiteral("Connot load file from the working Temp directory!"),
                      Refusal::SameFile);
    if (!Exists(chosenPath))
        return logged(log, QStringLiteral("Problem loading file."));

    // The file is read once; those bytes are checked, written and listed, so a file that
    // changes meanwhile can never put into Temp/ something the listing does not describe.
    const Result<QByteArray> bytes = readWholeFile(chosenPath, kMaxArchiveBytes);
    if (!bytes)
        return logged(log, QStringLiteral("Problem loading file %1: it cannot be read (%2).")
                               .arg(chosenPath, bytes.error()));
    const Result<chk::ChkDescription> parsed = chk::parse(bytes.value());
    if (!parsed)
        return logged(
            log, QStringLiteral("Problem loading file %1: %2.").arg(chosenPath, parsed.error()));
    if (const Status copied = writeFileAtomically(W, bytes.value()); !copied)
        return logged(log, QStringLiteral("Problem loading file: cannot copy %1 to %2 (%3).")
                               .arg(chosenPath, W, copied.error()));

    log.AddText(QStringLiteral("Loaded %1 as base .chk file.").arg(W));
    log.AddText(QStringLiteral("....Highlight menu item/sound with mouse then"));
    log.AddText(QStringLiteral("....Play sounds by pressing the 'speaker' button."));
    log.AddText(QStringLiteral("....Include an external .ogg by pressing the '...' button"));
    log.AddText(QStringLiteral("....Save a sound by pressing the 'S' button."));
    return LoadedChk{W, GetFileName(W), chk::list(parsed.value(), log)};
}

} // namespace tollvik
