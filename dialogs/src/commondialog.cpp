#include "dialogs/commondialog.h"

#include "core/paths.h"

namespace tollvik {
namespace {

using Request = FileDialogRequest;

constexpr QChar kNul = u'\0';

// A text fits a name buffer when it leaves room for the NUL after it.
bool fitsBuffer(const QString& text)
{
    return text.size() < cCommonDialog::kMaxPath;
}

// The caller can never install a hook procedure or a custom template.
quint32 callerFlags(qint32 flags)
{
    return static_cast<quint32>(flags) & ~(Request::kEnableHook | Request::kEnableTemplate);
}

quint32 dialogFlags(const OpenFileArgs& args)
{
    quint32 flags = callerFlags(args.flags);
    if (args.FileMustExist)
        flags |= Request::kFileMustExist;
    if (args.MultiSelect)
        flags |= Request::kAllowMultiSelect;
    if (args.ReadOnly)
        flags |= Request::kReadOnly;
    if (args.HideReadOnly)
        flags |= Request::kHideReadOnly;
    return flags;
}

quint32 dialogFlags(const SaveFileArgs& args)
{
    // The save dialog never offers the read-only box.
    quint32 flags = callerFlags(args.flags) | Request::kHideReadOnly;
    if (args.OverWritePrompt)
        flags |= Request::kOverwritePrompt;
    return flags;
}

// The filter in the dialog's NUL form: every "|" and ":" becomes NUL, two NULs end it.
QString convertFilter(const QString& filter)
{
    QString converted = filter;
    for (QChar& c : converted) {
        if (c == u'|' || c == u':')
            c = kNul;
    }
    return converted + kNul + kNul;
}

// TrimAtNull: the text up to its first NUL (all of it when there is none).
QString TrimAtNull(const QString& text)
{
    const qsizetype nul = text.indexOf(kNul);
    return nul < 0 ? text : text.left(nul);
}

// FilterLookup: the n-th (1-based) "description NUL pattern" pair of a filter in the NUL form,
// or empty text.
QString FilterLookup(const QString& sFilters, qint32 iCur)
{
    qsizetype start = 0;
    while (iCur >= 1) {
        const qsizetype afterDescription = sFilters.indexOf(kNul, start);
        if (afterDescription < 0)
            return {};
        const qsizetype afterPattern = sFilters.indexOf(kNul, afterDescription + 1);
        if (afterPattern < 0)
            return {};
        if (iCur == 1)
            return sFilters.mid(start, afterPattern - start);
        start = afterPattern + 1;
        --iCur;
    }
    return {};
}

// The record both file dialogs fill from their arguments.
template <typename Args> Request fileRequest(Request::Kind kind, const Args& args)
{
    Request request;
    request.kind = kind;
    request.owner = args.Owner;
    request.initialDir = args.InitDir;
    request.title = args.DlgTitle;
    request.defaultExt = args.DefaultExt;
    request.filter = convertFilter(args.Filter);
    request.filterIndex = args.FilterIndex;
    request.flags = dialogFlags(args);
    request.fileName = TrimAtNull(args.Filename);
    request.sideBar = args.SideBar;
    return request;
}

// What both file dialogs write back: the choice when accepted, empty results otherwise.
template <typename Args>
void writeBack(Args& args, bool accepted, const Request& request, const FileDialogAnswer& answer,
               qint32 cancelledFilterIndex)
{
    if (accepted) {
        args.Filename = TrimAtNull(answer.fileName);
        args.FileTitle = TrimAtNull(answer.fileTitle);
        args.flags = static_cast<qint32>(answer.flags);
        args.FilterIndex = answer.filterIndex;
        args.Filter = FilterLookup(request.filter, args.FilterIndex);
        return;
    }
    args.Filename.clear();
    args.FileTitle.clear();
    args.flags = 0;
    args.FilterIndex = cancelledFilterIndex;
    args.Filter.clear();
}

} // namespace

cCommonDialog::cCommonDialog(FileDialogBackend& backend) : m_backend(backend) {}

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

Status cCommonDialog::outcome() const
{
    if (m_apiReturn == 1)
        return {};
    if (m_apiReturn == 0 && m_extendedError == 0)
        return fail(QStringLiteral("The file dialog was cancelled"), Refusal::Cancelled);
    return fail(QStringLiteral("The file dialog failed (error 0x%1)")
                    .arg(static_cast<quint32>(m_extendedError), 4, 16, QLatin1Char('0')));
}

Status cCommonDialog::VBGetOpenFileName(OpenFileArgs& args)
{
    const Request request = fileRequest(Request::Kind::Open, args);
    const FileDialogAnswer answer = runFileDialog(request, args.Filename, args.FileTitle);
    const bool accepted = m_apiReturn == 1;
    writeBack(args, accepted, request, answer, -1);
    if (accepted && (answer.flags & Request::kReadOnly) != 0)
        args.ReadOnly = true;
    return outcome();
}

Status cCommonDialog::VBGetSaveFileName(SaveFileArgs& args)
{
    const Request request = fileRequest(Request::Kind::Save, args);
    const FileDialogAnswer answer = runFileDialog(request, args.Filename, args.FileTitle);
    writeBack(args, m_apiReturn == 1, request, answer, 0);
    return outcome();
}

QString cCommonDialog::VBGetFileTitle(const QString& sFile) const
{
    const QString title = GetFileName(sFile);
    return fitsBuffer(title) ? title : QString();
}

} // namespace tollvik
