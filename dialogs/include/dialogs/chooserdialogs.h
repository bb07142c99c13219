#pragma once

#include "core/result.h"

#include <QFont>
#include <QString>
#include <QtGlobal>
#include <array>

class QWidget;

namespace tollvik {

// Colours are 0x00BBGGRR values, as the colour arguments of every dialog here.

// Arguments of VBChooseColor; Color is in/out (-1 when the dialog is not accepted).
struct ChooseColorArgs
{
    qint32 Color = 0;
    bool AnyColor = true;
    bool FullOpen = false;
    bool DisableFullOpen = false;
    QWidget* Owner = nullptr;
    qint32 flags = 0;
};

// Arguments of VBChooseFont; CurFont is in/out.
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

// Arguments of VBPrintDlg; PrintRange, FromPage, ToPage, Copies, PrintToFile, Collate and
// Printer are in/out. PrintRange: 0 all pages, 1 the selection, 2 the pages FromPage to ToPage,
// 0x400000 the current page.
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

// Arguments of VBPageSetupDlg; the margins, PaperSize (a DMPAPER_* number, 0 for the printer's
// default), Orientation (1 portrait, 2 landscape, 0 the default) and Printer are in/out. Margins
// are in hundredths of a millimetre when Units is kHundredthsOfMillimetres, else in thousandths
// of an inch.
struct PageSetupDlgArgs
{
    static constexpr qint32 kHundredthsOfMillimetres = 0x8;

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

using CustomColors = std::array<qint32, 16>;

// The dialogs themselves. Each show() presents its dialog over the arguments, writes what the
// user chose into them and returns 1 when the user accepted, 0 when not. The real one shows
// Qt's dialogs; tests pass a fake that answers at once.
class ChooserBackend
{
public:
    virtual ~ChooserBackend() = default;
    // The system colour `index` (0 to 15): the first fill of the custom colours.
    virtual qint32 systemColor(int index) = 0;
    // The custom colours are in/out whether or not the user accepts.
    virtual qint32 show(ChooseColorArgs& args, CustomColors& customColors) = 0;
    virtual qint32 show(ChooseFontArgs& args) = 0;
    virtual qint32 show(PrintDlgArgs& args) = 0;
    virtual qint32 show(PageSetupDlgArgs& args) = 0;
};

// The Qt dialogs.
ChooserBackend& defaultChooserBackend();

// The colour, font, print and page set-up dialogs, with plain calls and in/out arguments like
// the file dialogs of cCommonDialog. A dialog that is not accepted leaves its arguments as they
// were (only the colour dialog sets Color to -1) and fails with Refusal::Cancelled.
class ChooserDialogs
{
public:
    explicit ChooserDialogs(ChooserBackend& backend = defaultChooserBackend());

    [[nodiscard]] Status VBChooseColor(ChooseColorArgs& args);
    [[nodiscard]] Status VBChooseFont(ChooseFontArgs& args);
    [[nodiscard]] Status VBPrintDlg(PrintDlgArgs& args);
    [[nodiscard]] Status VBPageSetupDlg(PageSetupDlgArgs& args);

    // Entries 0 to 15 of the colour dialog's custom colours, filled from the system colours on
    // first use. Other indexes read -1 and are ignored when set.
    [[nodiscard]] qint32 CustomColor(int i);
    void CustomColor(int i, qint32 iValue);

    // 1 when the last dialog was accepted, else 0; ExtendedError stays 0.
    [[nodiscard]] qint32 APIReturn() const { return m_apiReturn; }
    [[nodiscard]] qint32 ExtendedError() const { return m_extendedError; }

private:
    template <typename Args> Status run(Args& args);
    CustomColors& customColors();

    ChooserBackend& m_backend;
    CustomColors m_customColors{};
    bool m_customColorsFilled = false;
    qint32 m_apiReturn = 0;
    qint32 m_extendedError = 0;
};

} // namespace tollvik
