#pragma once

#include "dialogs/filedialogbackend.h"

#include <QFont>
#include <QString>
#include <QtGlobal>
#include <array>

class QWidget;

namespace tollvik {

// Arguments of VBGetOpenFileName; the fields marked in/out are written back.
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
};

// Arguments of VBChooseColor. Colours are 0x00BBGGRR; Color is in/out (-1 when cancelled).
struct ChooseColorArgs
{
    qint32 Color = 0;
    bool AnyColor = true;
    bool FullOpen = false;
    bool DisableFullOpen = false;
    QWidget* Owner = nullptr;
    qint32 flags = 0;
};

// Arguments of VBChooseFont; CurFont and Color are in/out.
struct ChooseFontArgs
{
    QFont CurFont;
    qint32 PrinterDC = -1;
    QWidget* Owner = nullptr;
    qint32 Color = 0;
    qint32 MinSize = 0;
    qint32 MaxSize = 0;
    qint32 flags = 0;
};

struct PrintDlgArgs
{
    qint32 hdc = 0;
    qint32 PrintRange = 0;
    bool DisablePageNumbers = true;
    qint32 FromPage = 1;
    qint32 ToPage = 0xFFFF;
    bool DisableSelection = true;
    qint32 Copies = 1;
    bool ShowPrintToFile = false;
    bool DisablePrintToFile = true;
    bool PrintToFile = false;
    bool Collate = false;
    bool PreventWarning = false;
    QWidget* Owner = nullptr;
    QString Printer;
    qint32 flags = 0;
};

struct PageSetupDlgArgs
{
    QWidget* Owner = nullptr;
    bool DisableMargins = false;
    bool DisableOrientation = false;
    bool DisablePaper = false;
    bool DisablePrinter = false;
    qint32 LeftMargin = 0, MinLeftMargin = 0, RightMargin = 0, MinRightMargin = 0;
    qint32 TopMargin = 0, MinTopMargin = 0, BottomMargin = 0, MinBottomMargin = 0;
    qint32 PaperSize = 0;
    qint32 Orientation = 0;
    qint32 PrintQuality = 0;
    qint32 Units = 0;
    QString Printer;
    qint32 flags = 0;
};

// The common dialogs behind plain calls with in/out arguments. Each use makes a fresh instance,
// calls one operation and drops it. The file dialogs go through a FileDialogBackend, so that the
// flag, filter and buffer logic here is the same whatever shows the dialog.
class cCommonDialog
{
public:
    // OFN_* bits the file operations set or clear.
    static constexpr quint32 kReadOnly = 0x1;
    static constexpr quint32 kOverwritePrompt = 0x2;
    static constexpr quint32 kHideReadOnly = 0x4;
    static constexpr quint32 kEnableHook = 0x20;
    static constexpr quint32 kEnableTemplate = 0x40;
    static constexpr quint32 kAllowMultiSelect = 0x200;
    static constexpr quint32 kFileMustExist = 0x1000;
    // Capacity of the file name and title buffers, in characters.
    static constexpr qsizetype kMaxPath = 260;
    // CommDlgExtendedError codes this class reports itself.
    static constexpr qint32 kBufferTooSmall = 0x3003; // FNERR_BUFFERTOOSMALL

    explicit cCommonDialog(FileDialogBackend& backend = defaultFileDialogBackend());

    // True when the user accepted a file; see the argument structs for what is written back.
    bool VBGetOpenFileName(OpenFileArgs& args);
    bool VBGetSaveFileName(SaveFileArgs& args);

    // The file name part of a path; empty when there is none.
    [[nodiscard]] QString VBGetFileTitle(const QString& sFile) const;

    [[nodiscard]] qint32 APIReturn() const { return m_apiReturn; }
    [[nodiscard]] qint32 ExtendedError() const { return m_extendedError; }

    bool VBChooseColor(ChooseColorArgs& args);
    // Entries 0 to 15 of the colour dialog's custom colours; other indexes read -1 and are
    // ignored when set.
    [[nodiscard]] qint32 CustomColor(int i) const;
    void CustomColor(int i, qint32 iValue);

    bool VBChooseFont(ChooseFontArgs& args);
    bool VBPrintDlg(PrintDlgArgs& args);
    bool VBPageSetupDlg(PageSetupDlgArgs& args);

    // The dialog flags of the open and save operations.
    [[nodiscard]] static quint32 openDialogFlags(const OpenFileArgs& args);
    [[nodiscard]] static quint32 saveDialogFlags(const SaveFileArgs& args);
    // The filter in the dialog's NUL form: every "|" and ":" becomes NUL, two NULs end it.
    [[nodiscard]] static QString convertFilter(const QString& filter);
    // The text up to its first NUL (all of it when there is none).
    [[nodiscard]] static QString TrimAtNull(const QString& text);
    // The n-th (1-based) "description NUL pattern" pair of a filter in the NUL form, or empty.
    [[nodiscard]] static QString FilterLookup(const QString& sFilters, qint32 iCur);

private:
    // The buffer checks, the dialog call and APIReturn / ExtendedError of both file dialogs.
    FileDialogAnswer runFileDialog(const FileDialogRequest& request, const QString& fileName,
                                   const QString& fileTitle);
    void fillCustomColors();

    FileDialogBackend& m_backend;
    std::array<qint32, 16> m_customColors{};
    bool m_customColorsFilled = false;
    qint32 m_apiReturn = 0;
    qint32 m_extendedError = 0;
};

} // namespace tollvik
