#pragma once

#include "dialogs/filedialogbackend.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace tollvik {

// An existing folder chosen through the backend's folder chooser (FileDialogRequest::Kind::
// Folder), opening on `startFolder`, with `sideBar` listed in its side bar. The folder in native
// separators; an empty string when the user cancelled or the dialog failed.
[[nodiscard]] QString chooseExistingFolder(FileDialogBackend& backend, QWidget* owner,
                                           const QString& title, const QString& startFolder,
                                           const QStringList& sideBar = {});

} // namespace tollvik
