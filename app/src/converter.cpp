#include "converter.h"

#include <QCoreApplication>
#include <QLibrary>
#include <mutex>

namespace tollvik {

Result<const convert::ModuleCalls*> converterCalls(const QString& modulePath)
{
    static std::mutex mutex;
    static const convert::ModuleCalls* calls = nullptr;
    const std::lock_guard lock(mutex);
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
    if (entry == nullptr || entry() == nullptr)
        return fail(
            QStringLiteral("The sound converter cannot be loaded: %1").arg(library.errorString()));
    calls = entry();
    return calls;
}

} // namespace tollvik
