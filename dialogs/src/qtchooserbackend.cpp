#include "dialogs/chooserdialogs.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QGuiApplication>
#include <QPageSetupDialog>
#include <QPalette>
#include <QPrintDialog>
#include <QPrinter>

namespace tollvik {
namespace {

// PRINTDLG's page-range flags.
constexpr qint32 kPrintSelection = 0x1;
constexpr qint32 kPrintPageNumbers = 0x2;
constexpr qint32 kPrintCurrentPage = 0x400000;

QColor fromColorRef(qint32 value)
{
    const auto v = static_cast<quint32>(value);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF));
}

qint32 toColorRef(const QColor& color)
{
    return static_cast<qint32>(static_cast<quint32>(color.red()) |
                               (static_cast<quint32>(color.green()) << 8) |
                               (static_cast<quint32>(color.blue()) << 16));
}

QPrinter::PrintRange printRange(qint32 range)
{
    switch (range) {
    case kPrintSelection:
        return QPrinter::Selection;
    case kPrintPageNumbers:
        return QPrinter::PageRange;
    case kPrintCurrentPage:
        return QPrinter::CurrentPage;
    default:
        return QPrinter::AllPages;
    }
}

qint32 printRange(QPrinter::PrintRange range)
{
    switch (range) {
    case QPrinter::Selection:
        return kPrintSelection;
    case QPrinter::PageRange:
        return kPrintPageNumbers;
    case QPrinter::CurrentPage:
        return kPrintCurrentPage;
    case QPrinter::AllPages:
        break;
    }
    return 0;
}

// Qt's widget-based dialogs: they behave the same on every platform and offscreen. Where Qt's
// dialog has no such control (full-open colour form, font colour and size limits, printer fonts,
// the device context, print quality, disabling parts of the page set-up), the argument passes
// through unchanged.
class QtChooserBackend : public ChooserBackend
{
public:
    qint32 systemColor(int index) override
    {
        return toColorRef(
            QGuiApplication::palette().color(static_cast<QPalette::ColorRole>(index)));
    }

    qint32 show(ChooseColorArgs& args, CustomColors& customColors) override
    {
        for (int i = 0; i < static_cast<int>(customColors.size()); ++i)
            QColorDialog::setCustomColor(i,
                                         fromColorRef(customColors[static_cast<std::size_t>(i)]));
        QColorDialog dialog(fromColorRef(args.Color), args.Owner);
        dialog.setOption(QColorDialog::DontUseNativeDialog, true);
        const bool accepted = dialog.exec() == QDialog::Accepted;
        for (int i = 0; i < static_cast<int>(customColors.size()); ++i)
            customColors[static_cast<std::size_t>(i)] = toColorRef(QColorDialog::customColor(i));
        if (accepted)
            args.Color = toColorRef(dialog.selectedColor());
        return accepted ? 1 : 0;
    }

    qint32 show(ChooseFontArgs& args) override
    {
        QFontDialog dialog(args.CurFont, args.Owner);
        dialog.setOption(QFontDialog::DontUseNativeDialog, true);
        if (dialog.exec() != QDialog::Accepted)
            return 0;
        args.CurFont = dialog.selectedFont();
        return 1;
    }

    qint32 show(PrintDlgArgs& args) override;
    qint32 show(PageSetupDlgArgs& args) override;
};

qint32 QtChooserBackend::show(PrintDlgArgs& args)
{
    QPrinter printer;
    if (!args.Printer.isEmpty())
        printer.setPrinterName(args.Printer);
    printer.setCopyCount(args.Copies);
    printer.setCollateCopies(args.Collate);
    printer.setPrintRange(printRange(args.PrintRange));
    if (args.FromPage >= 1 && args.ToPage >= args.FromPage)
        printer.setFromTo(args.FromPage, args.ToPage);
    QPrintDialog dialog(&printer, args.Owner);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, !args.DisablePageNumbers);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, !args.DisableSelection);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, !args.DisablePrintToFile);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    args.PrintRange = printRange(printer.printRange());
    args.FromPage = printer.fromPage();
    args.ToPage = printer.toPage();
    args.Copies = printer.copyCount();
    args.Collate = printer.collateCopies();
    args.PrintToFile = !printer.outputFileName().isEmpty();
    args.Printer = printer.printerName();
    return 1;
}

qint32 QtChooserBackend::show(PageSetupDlgArgs& args)
{
    QPrinter printer;
    if (!args.Printer.isEmpty())
        printer.setPrinterName(args.Printer);
    const bool metric = args.Units == PageSetupDlgArgs::kHundredthsOfMillimetres;
    const double scale = metric ? 100.0 : 1000.0;
    QPageLayout layout = printer.pageLayout();
    layout.setUnits(metric ? QPageLayout::Millimeter : QPageLayout::Inch);
    if (args.PaperSize != 0)
        layout.setPageSize(QPageSize(QPageSize::id(args.PaperSize)));
    if (args.Orientation != 0)
        layout.setOrientation(args.Orientation == 2 ? QPageLayout::Landscape
                                                    : QPageLayout::Portrait);
    layout.setMinimumMargins(QMarginsF(args.MinLeftMargin, args.MinTopMargin, args.MinRightMargin,
                                       args.MinBottomMargin) /
                             scale);
    layout.setMargins(
        QMarginsF(args.LeftMargin, args.TopMargin, args.RightMargin, args.BottomMargin) / scale);
    printer.setPageLayout(layout);
    QPageSetupDialog dialog(&printer, args.Owner);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    layout = printer.pageLayout();
    layout.setUnits(metric ? QPageLayout::Millimeter : QPageLayout::Inch);
    const QMarginsF margins = layout.margins() * scale;
    args.LeftMargin = qRound(margins.left());
    args.TopMargin = qRound(margins.top());
    args.RightMargin = qRound(margins.right());
    args.BottomMargin = qRound(margins.bottom());
    args.PaperSize = layout.pageSize().windowsId();
    args.Orientation = layout.orientation() == QPageLayout::Landscape ? 2 : 1;
    args.Printer = printer.printerName();
    return 1;
}

} // namespace

ChooserBackend& defaultChooserBackend()
{
    static QtChooserBackend backend;
    return backend;
}

} // namespace tollvik
