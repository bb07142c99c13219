#pragma once

#include <QString>

namespace tollvik {

// The kinds of file the window's dialogs choose, each remembered with the folder it was last
// chosen in.
enum class FolderKind : int
{
    Navigator,  // Load on the navigator row
    Archive,    // Load on the archive row
    SlotSound,  // a slot's "..." and the sounds its context menu converts
    SlotExport, // a slot's "S"
    ExportAll,  // the folder all sounds are exported into
    ImportAll,  // the folder whose sounds are imported
};

// The folder last used for `kind`, from the section "RecentFolders" of the settings file in
// `programFolder`; an empty string when none is stored or it no longer exists. Reads only.
[[nodiscard]] QString rememberedFolder(const QString& programFolder, FolderKind kind);

// Stores `folder` for `kind`. The settings file is rewritten only when the stored value
// changes; a folder the file cannot store (a character outside Windows-1252) is not remembered.
void rememberFolder(const QString& programFolder, FolderKind kind, const QString& folder);

// A dialog's initial name moved into the folder last used for `kind`: a bare name or pattern
// keeps its text and `initialDir` becomes the remembered folder; a name in the program folder
// (the dialogs' own default) moves into the remembered folder. Any other name is kept as it is.
struct DialogStart
{
    QString fileName;
    QString initialDir;
};
[[nodiscard]] DialogStart startInRememberedFolder(const QString& programFolder, FolderKind kind,
                                                  const QString& fileName);

} // namespace tollvik
