#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class QWidget;

namespace tollvik {

// What the open and save operations ask of the file chooser, in the terms of the common-dialog
// record: the filter is in its NUL-separated form, the flags are the OFN_* bits.
struct FileDialogRequest
{
    // The OFN_* bits the operations set or clear.
    static constexpr quint32 kReadOnly = 0x1;
    static constexpr quint32 kOverwritePrompt = 0x2;
    static constexpr quint32 kHideReadOnly = 0x4;
    static constexpr quint32 kEnableHook = 0x20;
    static constexpr quint32 kEnableTemplate = 0x40;
    static constexpr quint32 kAllowMultiSelect = 0x200;
    static constexpr quint32 kFileMustExist = 0x1000;

    enum class Kind
    {
        Open,
        Save,
        Folder // an existing folder: initialDir is where it opens; no name, filter or flags
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
    // Folders the dialog's side bar lists after its own places (the mounted removable volumes).
    QStringList sideBar;
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

} // namespace tollvik
