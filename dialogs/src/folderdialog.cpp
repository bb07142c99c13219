#include "dialogs/folderdialog.h"

#include <QDir>

namespace tollvik {

QString chooseExistingFolder(FileDialogBackend& backend, QWidget* owner, const QString& title,
                             const QString& startFolder, const QStringList& sideBar)
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Folder;
    request.owner = owner;
    request.title = title;
    request.initialDir = QDir::toNativeSeparators(startFolder);
    request.sideBar = sideBar;
    const FileDialogAnswer answer = backend.show(request);
    if (answer.apiReturn != 1)
        return {};
    return QDir::toNativeSeparators(answer.fileName);
}

} // namespace tollvik
