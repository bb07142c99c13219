#pragma once

#include "core/logsink.h"
#include "core/result.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace tollvik {

// A file the user chose, taken into the program folder's Temp/ folder as the working copy that
// every later step reads: the copy's path and the bytes that were checked and written.
struct TempCopy
{
    QString path;
    QByteArray bytes;
};

// What a load checks and how it words its refusals.
struct TempCopyRules
{
    qint64 maxSize = -1; // a longer file is refused as unreadable
    // When set, a chosen file that is missing or empty is refused with this line before it is
    // read.
    QString missingLine;
    // The line for a file that cannot be read, given the reason.
    std::function<QString(const QString& why)> unreadableLine;
    // Checks the bytes read; a refusal has logged its own lines.
    std::function<Status(const QByteArray& bytes)> check;
    // The line for a copy that cannot be written, given its path and the reason.
    std::function<QString(const QString& copy, const QString& why)> uncopiedLine;
};

// Copies the chosen file to programFolder + "Temp/" + its name. The file is read once; those
// bytes are checked and written, so a file that changes meanwhile can never put into Temp/
// something the check did not see. The working copy itself, by whatever spelling or route it is
// chosen, is refused with Refusal::SameFile: copying it onto itself would destroy it. Every
// refusal logs its line and leaves Temp/ as it was.
[[nodiscard]] Result<TempCopy> copyIntoTemp(const QString& chosenPath, const QString& programFolder,
                                            const TempCopyRules& rules, LogSink& log);

} // namespace tollvik
