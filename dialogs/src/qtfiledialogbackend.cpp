#include "dialogs/filedialogbackend.h"
#include "filedialogstart.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

namespace tollvik {
namespace {

// Qt's own widget-based file dialog: it behaves the same on every platform and offscreen.
class QtFileDialogBackend : public FileDialogBackend
{
public:
    FileDialogAnswer show(const FileDialogRequest& request) override;
};

QFileDialog::FileMode fileMode(const FileDialogRequest& request)
{
    const bool multi = request.kind == FileDialogRequest::Kind::Open &&
                       (request.flags & FileDialogRequest::kAllowMultiSelect) != 0;
    if (multi)
        return QFileDialog::ExistingFiles;
    if ((request.flags & FileDialogRequest::kFileMustExist) != 0)
        return QFileDialog::ExistingFile;
    return QFileDialog::AnyFile;
}

// The name filter that stands for a wildcard initial name ("*.chk"), so that the list shows what
// the name box asks for.
QString patternFilter(const QString& pattern)
{
    const QChar nul(u'\0');
    return qtNameFilters(pattern + nul + pattern + nul + nul).value(0);
}

// The dialog's own places, then the request's folders that exist and are not listed yet.
void addSideBar(QFileDialog& dialog, const QStringList& folders)
{
    if (folders.isEmpty())
        return;
    QList<QUrl> urls = dialog.sidebarUrls();
    for (const QString& folder : folders) {
        const QUrl url = QUrl::fromLocalFile(QDir::fromNativeSeparators(folder));
        if (QFileInfo(folder).isDir() && !urls.contains(url))
            urls.append(url);
    }
    dialog.setSidebarUrls(urls);
}

FileDialogAnswer chooseFolder(QFileDialog& dialog, const FileDialogRequest& request)
{
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!request.initialDir.isEmpty())
        dialog.setDirectory(QDir::fromNativeSeparators(request.initialDir));
    FileDialogAnswer answer;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return answer;
    answer.apiReturn = 1;
    answer.fileName = QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    answer.fileTitle = QFileInfo(dialog.selectedFiles().constFirst()).fileName();
    return answer;
}

FileDialogAnswer QtFileDialogBackend::show(const FileDialogRequest& request)
{
    QFileDialog dialog(request.owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (!request.title.isEmpty())
        dialog.setWindowTitle(request.title);
    addSideBar(dialog, request.sideBar);
    if (request.kind == FileDialogRequest::Kind::Folder)
        return chooseFolder(dialog, request);
    const bool save = request.kind == FileDialogRequest::Kind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(fileMode(request));
    if (save && (request.flags & FileDialogRequest::kOverwritePrompt) == 0)
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    QString suffix = request.defaultExt;
    while (suffix.startsWith(u'.'))
        suffix.remove(0, 1);
    if (!suffix.isEmpty())
        dialog.setDefaultSuffix(suffix);

    const FileDialogStart start = fileDialogStart(request.fileName, request.initialDir);
    const QStringList filters = qtNameFilters(request.filter);
    const int requestedIndex =
        request.filterIndex >= 1 && request.filterIndex <= filters.size() ? request.filterIndex : 1;
    QStringList names;
    const bool patternFirst = !start.pattern.isEmpty();
    if (patternFirst)
        names.append(patternFilter(start.pattern));
    names.append(filters);
    if (!names.isEmpty()) {
        dialog.setNameFilters(names);
        dialog.selectNameFilter(patternFirst ? names.first() : filters.at(requestedIndex - 1));
    }
    if (!start.directory.isEmpty())
        dialog.setDirectory(start.directory);
    if (!start.name.isEmpty())
        dialog.selectFile(start.name);

    FileDialogAnswer answer;
    if (dialog.exec() != QDialog::Accepted)
        return answer;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return answer;

    answer.apiReturn = 1;
    if (files.size() == 1) {
        answer.fileName = QDir::toNativeSeparators(files.first());
    } else {
        // Several names come back as the folder and the names, each followed by a NUL.
        answer.fileName = QDir::toNativeSeparators(QFileInfo(files.first()).absolutePath());
        for (const QString& file : files)
            answer.fileName += QChar(u'\0') + QFileInfo(file).fileName();
        answer.fileName += QChar(u'\0');
    }
    answer.fileTitle = QFileInfo(files.first()).fileName();
    const qsizetype chosen = names.indexOf(dialog.selectedNameFilter());
    if (chosen < 0 || (patternFirst && chosen == 0))
        answer.filterIndex = requestedIndex;
    else
        answer.filterIndex = static_cast<int>(patternFirst ? chosen : chosen + 1);
    // Qt's dialog has no read-only box; the flags come back as they went in.
    answer.flags = request.flags;
    return answer;
}

} // namespace

FileDialogBackend& defaultFileDialogBackend()
{
    static QtFileDialogBackend backend;
    return backend;
}

} // namespace tollvik
