#include "core/fileio.h"
#include "core/paths.h"
#include "core/tempcopy.h"
#include "navigator_detail.h"

#include <algorithm>

namespace tollvik {
namespace {

void logLoaded(LogSink& log, const QString& chosenPath, const QString& temp)
{
    // The message is the program's fixed text, backslash included, on every platform.
    log.AddText(QStringLiteral("File ") + chosenPath +
                QStringLiteral(" copied to the \\Temp folder."));
    log.AddText(QStringLiteral("TTN file ") + temp + QStringLiteral(" loaded."));
    log.AddText(QStringLiteral("....if you elect to alter this file, the texts in the green"));
    log.AddText(QStringLiteral("....textboxes will be written to the .exe file, along with"));
    log.AddText(QStringLiteral("....the required changes to the code allowing all 30 sounds"));
    log.AddText(QStringLiteral("....to be played from within TomTom."));
}

} // namespace

const NavigatorBuild* IdentifyNavigatorFile(QByteArrayView fileBytes)
{
    const auto matches = [fileBytes](const NavigatorProbe& probe) {
        return probe.offset >= 0 && probe.offset < fileBytes.size() &&
               static_cast<quint8>(fileBytes[probe.offset]) == probe.expected;
    };
    for (const detail::BuildEntry& entry : detail::buildEntries()) {
        if (!entry.dormant && std::ranges::all_of(entry.build.probes, matches))
            return &entry.build;
    }
    return nullptr;
}

Failure refuseUnrecognisedNavigator(const QString& path, LogSink& log)
{
    log.AddText(QStringLiteral("TTN file ") + path);
    log.AddText(QStringLiteral("....does not appear to be a TomTom file."));
    return logged(
        log, QStringLiteral("....Use only an unmodified version of the main executable file."));
}

Result<const NavigatorBuild*> loadNavigatorFile(const QString& chosenPath,
                                                const QString& programFolder, NavigatorState& state,
                                                LogSink& log)
{
    if (chosenPath.isEmpty())
        return fail(QString(), Refusal::Cancelled);
    const NavigatorBuild* build = nullptr; // of the bytes that go into Temp/
    TempCopyRules rules;
    rules.maxSize = kMaxNavigatorFileSize;
    rules.unreadableLine = [&chosenPath](const QString& why) {
        return QStringLiteral("Cannot read the TTN file %1: %2").arg(chosenPath, why);
    };
    rules.check = [&](const QByteArray& bytes) -> Status {
        build = IdentifyNavigatorFile(bytes);
        if (build == nullptr)
            return refuseUnrecognisedNavigator(chosenPath, log);
        return {};
    };
    rules.uncopiedLine = [&chosenPath](const QString& copy, const QString& why) {
        return QStringLiteral("Cannot copy the TTN file %1 to %2: %3").arg(chosenPath, copy, why);
    };
    // The copy comes before any state changes, so a failure leaves the earlier file current.
    const Result<TempCopy> copied = copyIntoTemp(chosenPath, programFolder, rules, log);
    if (!copied)
        return copied.failure();

    const QString name = GetFileName(chosenPath);
    const QString& temp = copied->path;
    state.VersionIndex = build->versionIndex;
    state.WorkingFileNames[static_cast<std::size_t>(build->versionIndex)] = name;
    state.SourcePath = chosenPath;
    state.workingCopyPath = temp;
    logLoaded(log, chosenPath, temp);
    return build;
}

} // namespace tollvik
