#pragma once

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

} // namespace tollvik
