#pragma once

#include <QString>
#include <QStringList>

namespace tollvik {

// Qt name filters ("Description (pattern pattern)") for a filter in the NUL form, one per
// description/pattern pair, in order. "*.*" becomes "*" where file names need no extension.
[[nodiscard]] QStringList qtNameFilters(const QString& nulFilter);

// Where the chooser starts for an initial name and folder: the folder to open, the text for the
// name box, and the wildcard pattern of the initial name (empty when it has none).
struct FileDialogStart
{
    QString directory;
    QString name;
    QString pattern;
};
[[nodiscard]] FileDialogStart fileDialogStart(const QString& fileName, const QString& initialDir);

} // namespace tollvik
