#include "command.h"

namespace tollvik::cli {

int identifyCommand(const Call& call)
{
    return refuse(call, QStringLiteral("not yet"));
}
int patchCommand(const Call& call)
{
    return refuse(call, QStringLiteral("not yet"));
}
int convertCommand(const Call& call)
{
    return refuse(call, QStringLiteral("not yet"));
}
int speakCommand(const Call& call)
{
    return refuse(call, QStringLiteral("not yet"));
}

} // namespace tollvik::cli
