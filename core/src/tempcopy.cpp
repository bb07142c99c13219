#include "core/tempcopy.h"

#include "core/fileio.h"
#include "core/paths.h"

namespace tollvik {

Result<TempCopy> copyIntoTemp(const QString& chosenPath, const QString& programFolder,
                              const TempCopyRules& rules, LogSink& log)
{
    TempCopy copy;
    copy.path = programFile(programFolder, u"Temp", GetFileName(chosenPath));
    // The exact comparison catches the plain case; isSameFile also catches another spelling or
    // route to the same file. "Connot" is kept as users know the line.
    if (chosenPath == copy.path || isSameFile(chosenPath, copy.path))
        return logged(log, QStringLiteral("Connot load file from the working Temp directory!"),
                      Refusal::SameFile);
    if (!rules.missingLine.isEmpty() && !Exists(chosenPath))
        return logged(log, rules.missingLine);

    Result<QByteArray> read = readWholeFile(chosenPath, rules.maxSize);
    if (!read)
        return logged(log, rules.unreadableLine(read.error()));
    copy.bytes = std::move(read).value();
    if (const Status checked = rules.check(copy.bytes); !checked)
        return checked.failure();
    if (const Status copied = writeFileAtomically(copy.path, copy.bytes); !copied)
        return logged(log, rules.uncopiedLine(copy.path, copied.error()));
    return copy;
}

} // namespace tollvik
