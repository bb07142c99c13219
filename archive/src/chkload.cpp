#include "chkformat.h"
#include "chktable.h"
#include "core/paths.h"
#include "core/tempcopy.h"

#include <optional>

namespace tollvik {

Result<LoadedChk> LoadBaseChk(const QString& chosenPath, const QString& programFolder, LogSink& log)
{
    if (const Status within = checkArchiveLimits(chosenPath); !within)
        return logged(
            log, QStringLiteral("Problem loading file %1: %2.").arg(chosenPath, within.error()));
    std::optional<chk::ChkDescription> description; // of the bytes that go into Temp/
    TempCopyRules rules;
    rules.maxSize = kArchiveSizeLimit;
    rules.missingLine = QStringLiteral("Problem loading file.");
    rules.unreadableLine = [&chosenPath](const QString& why) {
        return QStringLiteral("Problem loading file %1: it cannot be read (%2).")
            .arg(chosenPath, why);
    };
    rules.check = [&](const QByteArray& bytes) -> Status {
        Result<chk::ChkDescription> parsed = chk::parse(bytes);
        if (!parsed)
            return logged(
                log,
                QStringLiteral("Problem loading file %1: %2.").arg(chosenPath, parsed.error()));
        description = std::move(parsed).value();
        return {};
    };
    rules.uncopiedLine = [&chosenPath](const QString& copy, const QString& why) {
        return QStringLiteral("Problem loading file: cannot copy %1 to %2 (%3).")
            .arg(chosenPath, copy, why);
    };
    const Result<TempCopy> copied = copyIntoTemp(chosenPath, programFolder, rules, log);
    if (!copied)
        return copied.failure();

    const QString& W = copied->path;
    log.AddText(QStringLiteral("Loaded %1 as base .chk file.").arg(W));
    log.AddText(QStringLiteral("....Highlight menu item/sound with mouse then"));
    log.AddText(QStringLiteral("....Play sounds by pressing the 'speaker' button."));
    log.AddText(QStringLiteral("....Include an external .ogg by pressing the '...' button"));
    log.AddText(QStringLiteral("....Save a sound by pressing the 'S' button."));
    return LoadedChk{W, GetFileName(W), chk::list(*description, log)};
}

} // namespace tollvik
