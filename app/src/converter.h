#pragma once

#include "convert/module.h"
#include "core/result.h"

#include <QString>

namespace tollvik {

// The converter module, loaded on first use: from `modulePath` (a path without the platform's
// prefix and suffix), or when that is empty from beside the program; on the window's thread. Once
// loaded it stays loaded, and later calls return the same table whatever path they name.
[[nodiscard]] Result<const convert::ModuleCalls*> converterCalls(const QString& modulePath);

} // namespace tollvik
