#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <filesystem>

namespace tollvik {

// The project's file layer. Every result file goes through it, so that a file is replaced only
// when its new content is complete (a temporary file in the same folder, then a rename).

// Reads the whole file. Refuses files longer than maxSize bytes when maxSize >= 0.
[[nodiscard]] Result<QByteArray> readWholeFile(const QString& path, qint64 maxSize = -1);
// The same into `buffer`, reusing its memory: a fresh buffer of a few megabytes can cost more in
// page faults than the read itself.
[[nodiscard]] Status readWholeFileInto(const QString& path, QByteArray& buffer,
                                       qint64 maxSize = -1);

// Reads exactly `length` bytes from `offset`; refuses a range that does not lie inside the file.
[[nodiscard]] Result<QByteArray> readRange(const QString& path, qint64 offset, qint64 length);

// Writes `data` to `path` through a temporary file in the same folder and a rename.
[[nodiscard]] Status writeFileAtomically(const QString& path, QByteArrayView data);

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
