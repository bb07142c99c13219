#pragma once

#include <QString>

namespace tollvik {

// The path functions every subsystem shares. They split and join paths at the platform's native
// separator.

// True when the file exists and is at least one byte long; every error counts as false.
[[nodiscard]] bool Exists(const QString& path);

// True when the path names a normal file: not a folder, not hidden.
[[nodiscard]] bool FileExists(const QString& path);

// The path with exactly one trailing separator added when it has none. Never removes one.
[[nodiscard]] QString RPP(const QString& path);

// The part of the path after its last separator; the whole path when it has none.
[[nodiscard]] QString GetFileName(const QString& path);

// The native separator as a string ("/" here, "\" on Windows).
[[nodiscard]] QString nativeSeparator();

// A file in one of the program folder's working folders: `folder` is "Temp" or "Modified".
[[nodiscard]] QString programFile(const QString& programFolder, QStringView folder,
                                  const QString& name);

// The folder of the running executable, with its trailing separator: the program folder that
// Temp/, Modified/, Tollvik.ini and the audio library live in.
[[nodiscard]] QString programFolderOfExecutable();

} // namespace tollvik
