#pragma once

#include "core/logsink.h"
#include "core/result.h"
#include "core/slots.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

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
[[nodiscard]] Status WriteIniValue(const QString& path, const QString& section, const QString& key,
                                   const QString& value);

// The 30 menu texts live in "Tollvik.ini" in the program folder (which ends in a separator),
// section "MenuText", keys "Item01" to "Item30".

// The settings file of a program folder.
[[nodiscard]] QString settingsFilePath(const QString& programFolder);

// The 30 menu texts stored in a settings file of this layout, empty where a key is missing.
// Reads only: refuses, creating nothing, a file that is missing or cannot be read (the
// failure gives the reason).
[[nodiscard]] Result<std::array<QString, kSlotCount>> readMenuTexts(const QString& path);

// Exchanges the 30 menu texts with the settings file. When the file is missing or empty it is
// written from `menuTexts`; otherwise every entry of `menuTexts` is replaced by its stored value
// (empty when the key is missing). `menuTexts` always holds 30 entries afterwards. On a file
// error one line naming the file and the reason goes to `log`, `menuTexts` keeps the texts it
// had, and the failure is returned.
[[nodiscard]] Status GetINIData(const QString& programFolder, QStringList& menuTexts, LogSink& log);

// The settings file as it was before PutINIData rewrote it.
class IniUndo
{
public:
    // Puts the earlier file back (or removes the file when there was none) and logs that the new
    // texts were not stored, or why the file could not be put back.
    [[nodiscard]] Status restore(LogSink& log) const;

private:
    friend Result<IniUndo> PutINIData(const QString&, const std::array<QString, kSlotCount>&,
                                      LogSink&);
    IniUndo(QString path, std::optional<QByteArray> previous);
    QString m_path;
    std::optional<QByteArray> m_previous; // no value: there was no file
};

// Stores the 30 menu texts in one rewrite of the settings file, leaving the very bytes that 30
// WriteIniValue calls for Item01 to Item30 would. Logs that the file was updated, or why not; a
// text Windows-1252 cannot store refuses the whole write. The result undoes the rewrite.
[[nodiscard]] Result<IniUndo> PutINIData(const QString& programFolder,
                                         const std::array<QString, kSlotCount>& menuTexts,
                                         LogSink& log);

} // namespace tollvik
