#pragma once

#include "core/result.h"
#include "dialogs/filedialogbackend.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

class QWidget;

namespace tollvik {

// Arguments of VBGetOpenFileName; the fields marked in/out are written back. The default filter
// keeps the space before its pattern ("| *.*") as users know it.
struct OpenFileArgs
{
    QString Filename;  // in/out; at most 260 characters
    QString FileTitle; // in/out; at most 260 characters
    bool FileMustExist = true;
    bool MultiSelect = false;
    bool ReadOnly = false; // in/out
    bool HideReadOnly = false;
    QString Filter = QStringLiteral("All (*.*)| *.*"); // in/out; "|" or ":" between the parts
    qint32 FilterIndex = 1;                            // in/out; 1-based
    QString InitDir;
    QString DlgTitle;
    QString DefaultExt;
    QWidget* Owner = nullptr; // none
    qint32 flags = 0;         // in/out; OFN_* bits
    QStringList SideBar;      // folders the dialog's side bar lists besides its own
};

// Arguments of VBGetSaveFileName; the fields marked in/out are written back.
struct SaveFileArgs
{
    QString Filename;  // in/out; at most 260 characters
    QString FileTitle; // in/out; at most 260 characters
    bool OverWritePrompt = true;
    QString Filter = QStringLiteral("All (*.*)| *.*"); // in/out
    qint32 FilterIndex = 1;                            // in/out
    QString InitDir;
    QString DlgTitle;
    QString DefaultExt;
    QWidget* Owner = nullptr;
    qint32 flags = 0; // in/out
    QStringList SideBar;
};

// The open and save dialogs behind plain calls with in/out arguments. Each use makes a fresh
// instance, calls one operation and drops it. The dialog itself is a FileDialogBackend's, so
// that the flag, filter and buffer logic here is the same whatever shows the dialog.
class cCommonDialog
{
public:
    // Capacity of the file name and title buffers, in characters.
    static constexpr qsizetype kMaxPath = 260;
    // The ExtendedError of a name that does not fit its buffer (FNERR_BUFFERTOOSMALL).
    static constexpr qint32 kBufferTooSmall = 0x3003;

    explicit cCommonDialog(FileDialogBackend& backend = defaultFileDialogBackend());

    // Succeeds when the user accepted a file; see the argument structs for what is written back.
    // Otherwise every in/out argument is emptied and the failure is Refusal::Cancelled (the user
    // closed the dialog) or Refusal::Failed (the dialog failed: ExtendedError has its code).
    [[nodiscard]] Status VBGetOpenFileName(OpenFileArgs& args);
    [[nodiscard]] Status VBGetSaveFileName(SaveFileArgs& args);

    // The file name part of a path; empty when there is none.
    [[nodiscard]] QString VBGetFileTitle(const QString& sFile) const;

    // The raw result of the last dialog call (1 accepted, 0 cancelled, other values a failure)
    // and the platform's code of its failure; both 0 at the start of each operation.
    [[nodiscard]] qint32 APIReturn() const { return m_apiReturn; }
    [[nodiscard]] qint32 ExtendedError() const { return m_extendedError; }

private:
    // The buffer checks, the dialog call and APIReturn / ExtendedError of both file dialogs.
    FileDialogAnswer runFileDialog(const FileDialogRequest& request, const QString& fileName,
                                   const QString& fileTitle);
    [[nodiscard]] Status outcome() const;

    FileDialogBackend& m_backend;
    qint32 m_apiReturn = 0;
    qint32 m_extendedError = 0;
};

} // namespace tollvik
