#include "chkformat.h"
#include "core/paths.h"

#include <QBuffer>
#include <limits>

namespace tollvik {
namespace {

// Every offset of an archive is a 32-bit signed number, so no archive is longer than this.
constexpr qint64 kMaxArchiveBytes = std::numeric_limits<qint32>::max();

} // namespace

LoadBaseChkResult LoadBaseChk(const QString& chosenPath, const QString& programFolder, LogSink& log)
{
    using Outcome = LoadBaseChkResult::Outcome;
    LoadBaseChkResult result;
    const QString W =
        RPP(programFolder) + QStringLiteral("Temp") + nativeSeparator() + GetFileName(chosenPath);

    // The working copy is never loaded as a base archive, by whatever spelling it is chosen:
    // copying it onto itself would destroy it.
    if (chosenPath == W || isSameFile(chosenPath, W)) {
        log.AddText(QStringLiteral("Connot load file from the working Temp directory!"));
        result.outcome = Outcome::RefusedSameFile;
        return result;
    }

    if (!Exists(chosenPath)) {
        log.AddText(QStringLiteral("Problem loading file."));
        return result;
    }
    // Check the chosen file before anything is copied, so that a bad file changes nothing.
    if (const ChkParse check = parseChk(chosenPath); !check.ok) {
        log.AddText(QStringLiteral("Problem loading file %1: %2.").arg(chosenPath, check.error));
        return result;
    }

    // The file is read once and those bytes are checked again and written: a file that changes
    // between the check above and the copy can never replace the earlier working copy with
    // something the listing does not describe.
    Result<QByteArray> read = readWholeFile(chosenPath, kMaxArchiveBytes);
    if (!read) {
        log.AddText(QStringLiteral("Problem loading file %1: it cannot be read (%2).")
                        .arg(chosenPath, read.error()));
        return result;
    }
    QByteArray bytes = std::move(read).value();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const ChkParse parse = chk::parseDevice(buffer);
    if (!parse.ok) {
        log.AddText(QStringLiteral("Problem loading file %1: %2 (it changed while it was loaded).")
                        .arg(chosenPath, parse.error));
        return result;
    }
    if (const Status copied = writeFileAtomically(W, bytes); !copied) {
        log.AddText(QStringLiteral("Problem loading file: cannot copy %1 to %2 (%3).")
                        .arg(chosenPath, W, copied.error()));
        return result;
    }

    log.AddText(QStringLiteral("Loaded %1 as base .chk file.").arg(W));
    log.AddText(QStringLiteral("....Highlight menu item/sound with mouse then"));
    log.AddText(QStringLiteral("....Play sounds by pressing the 'speaker' button."));
    log.AddText(QStringLiteral("....Include an external .ogg by pressing the '...' button"));
    log.AddText(QStringLiteral("....Save a sound by pressing the 'S' button."));
    result.listing = chk::listDescription(parse.description, log);
    result.outcome = Outcome::Loaded;
    result.workingPath = W;
    result.baseArchiveName = GetFileName(W);
    return result;
}

} // namespace tollvik
