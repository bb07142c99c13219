#pragma once

#include "core/fileio.h"
#include "core/logsink.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

namespace tollvik {

// The settings file reader and writer. Files are 8-bit Windows-1252 text with CR LF line ends;
// a section is a line "[name]" with nothing else on it and runs to the next line that contains a
// "[" anywhere; a key line is "name=value". Section and key names are compared without regard to
// letter case, values are kept exactly. Every call rereads the whole file; a write rewrites it
// whole and replaces the old file only once the new one is complete. File permissions are left
// as the user set them: a read-only file is reported, never made writable.

// The value of `key` in `section`, or an empty string when the section or the key is not there.
// Creates an empty file at `path` when none exists. Fails when the file cannot be created or read.
[[nodiscard]] Result<QString> ReadIniValue(const QString& path, const QString& section,
                                           const QString& key);

// Sets `key` in `section` to `value` and rewrites the file, creating the file, the section or the
// key as needed (a new key becomes the first line of its section). Refuses, writing nothing, a
// section, key or value with a character Windows-1252 cannot store.
[[nodiscard]] Status WriteIniValue(const QString& path, const QString& section,
                                       const QString& key, const QString& value);

// Sets each key of `keyValues` in `section`, in the order given, exactly as that many calls of
// WriteIniValue would, but reads the file once and writes it once: the result is byte-identical
// to the single calls. Refuses, writing nothing, when the section or any key or value holds a
// character Windows-1252 cannot store. An empty list writes nothing.
[[nodiscard]] Status WriteIniValues(const QString& path, const QString& section,
                                        const QList<std::pair<QString, QString>>& keyValues);

// Exchanges the 30 menu texts with "Tollvik.ini" in `programFolder` (which ends in a separator),
// section "MenuText", keys "Item01" to "Item30". When the file is missing or empty it is written
// from `menuTexts`; otherwise every entry of `menuTexts` is replaced by its stored value (empty
// when the key is missing). `menuTexts` always holds 30 entries afterwards. On a file error one
// line naming the file and the reason goes to `log`, `menuTexts` keeps the texts it had, and
// the failure is returned.
[[nodiscard]] Status GetINIData(const QString& programFolder, QStringList& menuTexts,
                                    LogSink& log);

} // namespace tollvik
