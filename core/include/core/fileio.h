#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <filesystem>

namespace tollvik {

// The project's file layer. Every result file goes through it, so that a file is replaced only
// when its new content is complete (a temporary file in the same folder, then a rename).

// Whether `path` names a regular file (symbolic links followed), asked with stat() before
// anything opens it: a FIFO would block the read for ever, a device could give anything. The
// failure's text is the reason, to follow the path: "it is a FIFO, not a regular file", "it is
// a device, ...", "it is a socket, ...", "it is a folder, not a file", "it does not exist".
[[nodiscard]] Status checkRegularFile(const QString& path);
// The same for a path that is to be written: a missing file or a regular one may be written;
// anything else that exists (a device, a FIFO, a socket, a folder) is never replaced.
[[nodiscard]] Status checkWritableTarget(const QString& path);

// Reads the whole file. Refuses files longer than maxSize bytes when maxSize >= 0. Like every
// read here, it refuses anything but a regular file (checkRegularFile) before opening it.
[[nodiscard]] Result<QByteArray> readWholeFile(const QString& path, qint64 maxSize = -1);
// The same into `buffer`, reusing its memory: a fresh buffer of a few megabytes can cost more in
// page faults than the read itself.
[[nodiscard]] Status readWholeFileInto(const QString& path, QByteArray& buffer,
                                       qint64 maxSize = -1);

// Reads exactly `length` bytes from `offset`; refuses a range that does not lie inside the file.
[[nodiscard]] Result<QByteArray> readRange(const QString& path, qint64 offset, qint64 length);

// Writes `data` to `path` through a temporary file in the same folder (named
// kTemporaryPrefix + six characters), flushed to disk, then a rename. A target that exists and
// is not a regular file is refused (checkWritableTarget) and left as it is.
[[nodiscard]] Status writeFileAtomically(const QString& path, QByteArrayView data);

// The start of the name of every temporary file and folder the program makes beside its
// outputs; six characters follow. A hidden name that says whose it is and what it is.
inline constexpr QLatin1StringView kTemporaryPrefix{".tollvik-alerts-partial-"};
// A temporary file or folder beside an output, for what a writer makes before its rename:
// folder + kTemporaryPrefix + "XXXXXX" (Qt's template).
[[nodiscard]] QString temporaryTemplate(const QString& folder);
// Removes from `folder` (not below it) the temporary files and folders a killed run of this
// program left: names of kTemporaryPrefix and six characters, last written more than a minute
// ago. Nothing else is touched; what cannot be removed stays. Gives how many were removed.
int removeStaleTemporaryFiles(const QString& folder);

// Deletes the file when it exists; a missing file is not an error.
[[nodiscard]] Status removeFileIfPresent(const QString& path);

// True when both paths reach the same existing file, by whatever spelling or route
// (relative parts, symbolic links, hard links, letter case on a case-insensitive file system).
[[nodiscard]] bool isSameFile(const QString& a, const QString& b);

// The path as std::filesystem takes it, built from UTF-16 so that any character survives on
// every platform.
[[nodiscard]] std::filesystem::path toFsPath(const QString& path);

// The length of the file, or -1 when it cannot be asked.
[[nodiscard]] qint64 fileLength(const QString& path);

} // namespace tollvik
