#include "converter.h"

#include <QCoreApplication>
#include <QLibrary>

namespace tollvik {

Result<const convert::ModuleCalls*> converterCalls(const QString& modulePath)
{
    static const convert::ModuleCalls* calls = nullptr; // only the window's thread calls this
    if (calls != nullptr)
        return calls;
    const QString path = modulePath.isEmpty()
                             ? QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                                   QLatin1String(convert::kModuleName)
                             : modulePath;
    // The library stays loaded when `library` goes: nothing unloads it.
    QLibrary library(path);
    const auto entry =
        reinterpret_cast<convert::ModuleEntry>(library.resolve(convert::kModuleEntry));
    calls = entry != nullptr ? entry() : nullptr;
    if (calls == nullptr)
        return fail(
            QStringLiteral("The sound converter cannot be loaded: %1").arg(library.errorString()));
    return calls;
}

} // namespace tollvik
