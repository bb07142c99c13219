#pragma once

#include "core/result.h"

#include <QString>

namespace tollvik::device::detail {

// A new folder <backupRoot>/<date and time>[-N] that did not exist before this call: a backup
// never goes over an earlier one.
[[nodiscard]] Result<QString> makeBackupFolder(const QString& backupRoot);

} // namespace tollvik::device::detail
