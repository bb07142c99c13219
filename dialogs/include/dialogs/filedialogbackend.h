#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class QWidget;

namespace tollvik {

// What the open and save operations ask of the platform's file chooser, in the terms of the
// Windows common-dialog record: the filter is in its NUL-separated form, the flags are the
// OFN_* bits.
struct FileDialogRequest
{
    enum class Kind
    {
        Open,
        Save
    };
    Kind kind = Kind::Open;
    QWidget* owner = nullptr;
    // Initial name: empty, a bare name, a wildcard pattern ("*.chk") or a path ending in either.
    QString fileName;
    QString initialDir;
    QString title;
    QString defaultExt;
    // "Description" NUL "patterns" NUL ... NUL NUL; patterns are ";"-separated.
    QString filter;
    int filterIndex = 1; // 1-based
    quint32 flags = 0;
};

struct FileDialogAnswer
{
    qint32 apiReturn = 0;     // 1 accepted, 0 cancelled, any other value a failure
    qint32 extendedError = 0; // the platform's code when apiReturn is a failure
    QString fileName;         // full native path (several selected: folder NUL name NUL name ...)
    QString fileTitle;        // the file name part
    int filterIndex = 0;      // 1-based index of the filter in use
    quint32 flags = 0;
};

// The file chooser itself. The real one shows Qt's file dialog; tests pass a fake that records
// the request and answers at once.
class FileDialogBackend
{
public:
    virtual ~FileDialogBackend() = default;
    virtual FileDialogAnswer show(const FileDialogRequest& request) = 0;
};

// The Qt file dialog backend.
FileDialogBackend& defaultFileDialogBackend();

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
