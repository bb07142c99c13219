#include "core/fileio.h"
#include "core/paths.h"
#include "navigator_detail.h"

#include <QFile>

namespace tollvik {
namespace {

// What a probe read gives besides a byte value.
constexpr int kPastEnd = -1;
constexpr int kReadError = -2;

// Runs the probes in their order over a byte source: ascending version index, the three probes
// of an entry one after the other, a mismatch skipping the rest of that entry.
template <typename ByteAt> const NavigatorBuild* firstMatch(ByteAt byteAt, bool& readFailed)
{
    readFailed = false;
    for (const NavigatorBuild& build : navigatorBuilds()) {
        if (build.dormant)
            continue;
        bool all = true;
        for (const NavigatorProbe& probe : build.probes) {
            const int value = byteAt(probe.offset);
            if (value == kReadError) {
                readFailed = true;
                return nullptr;
            }
            if (value != probe.expected) {
                all = false;
                break;
            }
        }
        if (all)
            return &build;
    }
    return nullptr;
}

} // namespace

namespace detail {

const NavigatorBuild* identifyBytes(QByteArrayView bytes)
{
    bool readFailed = false;
    return firstMatch(
        [bytes](qint32 offset) {
            return offset >= 0 && offset < bytes.size() ? int(static_cast<quint8>(bytes[offset]))
                                                        : kPastEnd;
        },
        readFailed);
}

} // namespace detail

IdentifyResult IdentifyNavigatorFile(const QString& path)
{
    IdentifyResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.readFailed = true;
        result.error = file.errorString();
        return result;
    }
    const qint64 size = file.size();
    bool readFailed = false;
    const NavigatorBuild* build = firstMatch(
        [&file, size](qint32 offset) {
            if (offset < 0 || offset >= size)
                return kPastEnd;
            char byte = 0;
            if (!file.seek(offset) || !file.getChar(&byte))
                return kReadError;
            return int(static_cast<quint8>(byte));
        },
        readFailed);
    if (readFailed) {
        result.readFailed = true;
        result.error = file.error() != QFileDevice::NoError
                           ? file.errorString()
                           : QStringLiteral("the file ended early");
        return result;
    }
    result.recognised = build != nullptr;
    result.build = build;
    return result;
}

LoadNavigatorResult loadNavigatorFile(const QString& chosenPath, const QString& programFolder,
                                      NavigatorState& state, LogSink& log)
{
    using Outcome = LoadNavigatorResult::Outcome;
    if (chosenPath.isEmpty())
        return {Outcome::Cancelled};

    const QString name = GetFileName(chosenPath);
    const QString temp = RPP(programFolder) + QStringLiteral("Temp") + nativeSeparator() + name;
    // The exact comparison catches the plain case; isSameFile also catches another spelling or
    // route to the same file, which would otherwise be copied onto itself.
    if (chosenPath == temp || isSameFile(chosenPath, temp)) {
        log.AddText(QStringLiteral("Connot load file from the working Temp directory!"));
        return {Outcome::RefusedSameFile};
    }

    const IdentifyResult identified = IdentifyNavigatorFile(chosenPath);
    if (identified.readFailed) {
        log.AddText(
            QStringLiteral("Cannot read the TTN file %1: %2").arg(chosenPath, identified.error));
        return {Outcome::Failed};
    }
    if (!identified.recognised) {
        log.AddText(QStringLiteral("TTN file ") + chosenPath);
        log.AddText(QStringLiteral("....does not appear to be a TomTom file."));
        log.AddText(
            QStringLiteral("....Use only an unmodified version of the main executable file."));
        return {Outcome::Unrecognised};
    }

    // The file is read once, and the bytes identified again are the ones written: a file that
    // changes after the identification above never becomes the working copy of the build it no
    // longer is. The copy comes before any state changes, so a failure leaves the earlier file
    // current.
    const Result<QByteArray> read = readWholeFile(chosenPath, detail::kMaxNavigatorFileSize);
    if (!read) {
        log.AddText(
            QStringLiteral("Cannot read the TTN file %1: %2").arg(chosenPath, read.error()));
        return {Outcome::Failed};
    }
    const QByteArray& bytes = read.value();
    if (detail::identifyBytes(bytes) != identified.build) {
        log.AddText(QStringLiteral("Cannot read the TTN file %1: it changed while it was loaded; "
                                   "load it again.")
                        .arg(chosenPath));
        return {Outcome::Failed};
    }
    if (const Status copied = writeFileAtomically(temp, bytes); !copied) {
        log.AddText(QStringLiteral("Cannot copy the TTN file %1 to %2: %3")
                        .arg(chosenPath, temp, copied.error()));
        return {Outcome::Failed};
    }

    const NavigatorBuild& build = *identified.build;
    state.VersionIndex = build.versionIndex;
    state.WorkingFileNames[static_cast<std::size_t>(build.versionIndex)] = name;
    state.SourcePath = chosenPath;
    state.workingCopyPath = temp;

    // The message is the program's fixed text, backslash included, on every platform.
    log.AddText(QStringLiteral("File ") + chosenPath +
                QStringLiteral(" copied to the \\Temp folder."));
    log.AddText(QStringLiteral("TTN file ") + temp + QStringLiteral(" loaded."));
    log.AddText(QStringLiteral("....if you elect to alter this file, the texts in the green"));
    log.AddText(QStringLiteral("....textboxes will be written to the .exe file, along with"));
    log.AddText(QStringLiteral("....the required changes to the code allowing all 30 sounds"));
    log.AddText(QStringLiteral("....to be played from within TomTom."));
    return {Outcome::Loaded, &build};
}

} // namespace tollvik
