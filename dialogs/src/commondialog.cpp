#include "dialogs/commondialog.h"

#include "core/paths.h"

#include <QColor>
#include <QColorDialog>
#include <QFontDialog>

namespace tollvik {
namespace {

constexpr QChar kNul = u'\0';

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

// A text fits a name buffer when it leaves room for the NUL after it.
bool fitsBuffer(const QString& text)
{
    return text.size() < cCommonDialog::kMaxPath;
}

} // namespace

cCommonDialog::cCommonDialog(FileDialogBackend& backend) : m_backend(backend) {}

quint32 cCommonDialog::openDialogFlags(const OpenFileArgs& args)
{
    quint32 flags = 0;
    if (args.FileMustExist)
        flags |= kFileMustExist;
    if (args.MultiSelect)
        flags |= kAllowMultiSelect;
    if (args.ReadOnly)
        flags |= kReadOnly;
    if (args.HideReadOnly)
        flags |= kHideReadOnly;
    // The caller can never install a hook procedure or a custom template.
    flags |= static_cast<quint32>(args.flags) & ~(kEnableHook | kEnableTemplate);
    return flags;
}

quint32 cCommonDialog::saveDialogFlags(const SaveFileArgs& args)
{
    quint32 flags = 0;
    if (args.OverWritePrompt)
        flags |= kOverwritePrompt;
    flags |= static_cast<quint32>(args.flags) & ~(kEnableHook | kEnableTemplate);
    // The save dialog never offers the read-only box.
    flags |= kHideReadOnly;
    return flags;
}

QString cCommonDialog::convertFilter(const QString& filter)
{
    QString converted = filter;
    for (QChar& c : converted) {
        if (c == u'|' || c == u':')
            c = kNul;
    }
    converted += kNul;
    converted += kNul;
    return converted;
}

QString cCommonDialog::TrimAtNull(const QString& text)
{
    const qsizetype nul = text.indexOf(kNul);
    return nul < 0 ? text : text.left(nul);
}

QString cCommonDialog::FilterLookup(const QString& sFilters, qint32 iCur)
{
    if (sFilters.isEmpty())
        return {};
    qsizetype start = 0;
    for (;;) {
        const qsizetype afterDescription = sFilters.indexOf(kNul, start);
        if (afterDescription < 0)
            return {};
        const qsizetype afterPattern = sFilters.indexOf(kNul, afterDescription + 1);
        if (afterPattern < 0)
            return {};
        const QString pair = sFilters.mid(start, afterPattern - start);
        start = afterPattern + 1;
        if (iCur == 1)
            return pair;
        --iCur;
        if (iCur == 0)
            return {};
    }
}

namespace {

// The record both file dialogs fill from their arguments.
template <typename Args>
FileDialogRequest fileRequest(FileDialogRequest::Kind kind, const Args& args, quint32 flags)
{
    FileDialogRequest request;
    request.kind = kind;
    request.owner = args.Owner;
    request.initialDir = args.InitDir;
    request.title = args.DlgTitle;
    request.defaultExt = args.DefaultExt;
    request.filter = cCommonDialog::convertFilter(args.Filter);
    request.filterIndex = args.FilterIndex;
    request.flags = flags;
    request.fileName = cCommonDialog::TrimAtNull(args.Filename);
    return request;
}

// What both file dialogs write back: the choice when accepted, empty results otherwise.
template <typename Args>
void writeBack(Args& args, bool accepted, const FileDialogRequest& request,
               const FileDialogAnswer& answer, qint32 cancelledFilterIndex)
{
    if (accepted) {
        args.Filename = cCommonDialog::TrimAtNull(answer.fileName);
        args.FileTitle = cCommonDialog::TrimAtNull(answer.fileTitle);
        args.flags = static_cast<qint32>(answer.flags);
        args.FilterIndex = answer.filterIndex;
        args.Filter = cCommonDialog::FilterLookup(request.filter, args.FilterIndex);
        return;
    }
    args.Filename.clear();
    args.FileTitle.clear();
    args.flags = 0;
    args.FilterIndex = cancelledFilterIndex;
    args.Filter.clear();
}

} // namespace

FileDialogAnswer cCommonDialog::runFileDialog(const FileDialogRequest& request,
                                              const QString& fileName, const QString& fileTitle)
{
    m_apiReturn = 0;
    m_extendedError = 0;
    if (fileName.size() > kMaxPath || fileTitle.size() > kMaxPath) {
        // The names do not fit the dialog's buffers: the call cannot be made.
        m_extendedError = kBufferTooSmall;
        return {};
    }
    FileDialogAnswer answer = m_backend.show(request);
    m_apiReturn = answer.apiReturn;
    if (m_apiReturn == 1 && (!fitsBuffer(answer.fileName) || !fitsBuffer(answer.fileTitle))) {
        // The platform dialog fails this way when the chosen name outgrows its buffer.
        m_apiReturn = 0;
        m_extendedError = kBufferTooSmall;
    } else if (m_apiReturn != 0 && m_apiReturn != 1) {
        m_extendedError = answer.extendedError;
    }
    return answer;
}

bool cCommonDialog::VBGetOpenFileName(OpenFileArgs& args)
{
    const FileDialogRequest request =
        fileRequest(FileDialogRequest::Kind::Open, args, openDialogFlags(args));
    const FileDialogAnswer answer = runFileDialog(request, args.Filename, args.FileTitle);
    const bool accepted = m_apiReturn == 1;
    writeBack(args, accepted, request, answer, -1);
    if (accepted && (answer.flags & kReadOnly) != 0)
        args.ReadOnly = true;
    return accepted;
}

bool cCommonDialog::VBGetSaveFileName(SaveFileArgs& args)
{
    const FileDialogRequest request =
        fileRequest(FileDialogRequest::Kind::Save, args, saveDialogFlags(args));
    const FileDialogAnswer answer = runFileDialog(request, args.Filename, args.FileTitle);
    const bool accepted = m_apiReturn == 1;
    writeBack(args, accepted, request, answer, 0);
    return accepted;
}

QString cCommonDialog::VBGetFileTitle(const QString& sFile) const
{
    const QString title = GetFileName(sFile);
    return fitsBuffer(title) ? title : QString();
}

void cCommonDialog::fillCustomColors()
{
    if (m_customColorsFilled)
        return;
    for (int i = 0; i < static_cast<int>(m_customColors.size()); ++i)
        m_customColors[static_cast<std::size_t>(i)] = toColorRef(QColorDialog::customColor(i));
    m_customColorsFilled = true;
}

qint32 cCommonDialog::CustomColor(int i) const
{
    if (i < 0 || i >= static_cast<int>(m_customColors.size()))
        return -1;
    return m_customColors[static_cast<std::size_t>(i)];
}

void cCommonDialog::CustomColor(int i, qint32 iValue)
{
    if (i < 0 || i >= static_cast<int>(m_customColors.size()))
        return;
    m_customColors[static_cast<std::size_t>(i)] = iValue;
}

bool cCommonDialog::VBChooseColor(ChooseColorArgs& args)
{
    m_apiReturn = 0;
    m_extendedError = 0;
    fillCustomColors();
    for (int i = 0; i < static_cast<int>(m_customColors.size()); ++i)
        QColorDialog::setCustomColor(i, fromColorRef(m_customColors[static_cast<std::size_t>(i)]));

    // Qt's colour dialog always shows its full form and any colour, so AnyColor, FullOpen and
    // DisableFullOpen have nothing to switch.
    QColorDialog dialog(fromColorRef(args.Color), args.Owner);
    dialog.setOption(QColorDialog::DontUseNativeDialog, true);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    for (int i = 0; i < static_cast<int>(m_customColors.size()); ++i)
        m_customColors[static_cast<std::size_t>(i)] = toColorRef(QColorDialog::customColor(i));
    if (!accepted) {
        args.Color = -1;
        return false;
    }
    m_apiReturn = 1;
    args.Color = toColorRef(dialog.selectedColor());
    return true;
}

bool cCommonDialog::VBChooseFont(ChooseFontArgs& args)
{
    m_apiReturn = 0;
    m_extendedError = 0;
    // Qt's font dialog has no colour, printer fonts or size limits: Color, PrinterDC, MinSize
    // and MaxSize pass through unchanged.
    QFontDialog dialog(args.CurFont, args.Owner);
    dialog.setOption(QFontDialog::DontUseNativeDialog, true);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    m_apiReturn = 1;
    args.CurFont = dialog.selectedFont();
    return true;
}

// Printing is not part of this program, and the build carries no print support: the print and
// page set-up dialogs report "not shown" (False, APIReturn 0) and leave their arguments alone.
bool cCommonDialog::VBPrintDlg(PrintDlgArgs& args)
{
    Q_UNUSED(args);
    m_apiReturn = 0;
    m_extendedError = 0;
    return false;
}

bool cCommonDialog::VBPageSetupDlg(PageSetupDlgArgs& args)
{
    Q_UNUSED(args);
    m_apiReturn = 0;
    m_extendedError = 0;
    return false;
}

} // namespace tollvik
