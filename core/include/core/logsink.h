#pragma once

#include "core/result.h"

#include <QString>

namespace tollvik {

// Where a subsystem reports its progress: one call per line of the progress log. The window
// appends each line to its log box; tests record them.
class LogSink
{
public:
    virtual ~LogSink() = default;
    virtual void AddText(const QString& text) = 0;
};

// Logs the line and fails with it, for refusals that the log tells.
[[nodiscard]] inline Failure logged(LogSink& log, const QString& line,
                                    Refusal kind = Refusal::Failed)
{
    log.AddText(line);
    return fail(line, kind);
}

} // namespace tollvik
