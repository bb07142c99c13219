// device scan, put and restore: finding the navigator's files on a device and writing results back.
#include "command.h"
#include "core/paths.h"
#include "device/device.h"

#include <QCoreApplication>
#include <QDir>

namespace tollvik::cli {
namespace {

// A path as one field of a tab-separated line: a backslash, a tab, a line break or another
// control character in a device's file name is written as a backslash escape.
QString field(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (c == u'\t')
            escaped += QStringLiteral("\\t");
        else if (c == u'\n')
            escaped += QStringLiteral("\\n");
        else if (c.category() == QChar::Other_Control)
            escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'));
        else
            escaped += c;
    }
    return escaped;
}

// A write to the device: `usage`'s positional files, then --backup; `write` is given the files
// and the backup root, and its lines are printed as they come, a refusal alone on standard error.
using DeviceWrite = Result<device::PutReport> (*)(const QStringList& files, const QString& root,
                                                  LogSink& log);
int writeCommand(const Call& call, const QString& usage, qsizetype files, DeviceWrite write)
{
    QCommandLineParser parser;
    const QCommandLineOption backup(
        QStringLiteral("backup"),
        QStringLiteral("Folder the originals are kept in (default: Backup/ beside the program)."),
        QStringLiteral("DIR"));
    parser.addOption(backup);
    const ParsedCall parsed = parseCall(parser, call, usage, files);
    if (!parsed.ok)
        return parsed.helped ? kOk : kRefused;
    const QString root = parser.isSet(backup) ? parser.value(backup)
                                              : device::backupRootOf(programFolderOfExecutable());
    const QStringList named = parser.positionalArguments() << root;
    for (const QString& file : named) {
        if (file == QLatin1String("-"))
            return refuse(call, QStringLiteral("-: standard input and output are not used; give "
                                               "a file"));
    }
    HeldBackLog log(call.out);
    const Result<device::PutReport> written = write(parser.positionalArguments(), root, log);
    if (!written) {
        (void)log.take(); // the write's last line is its refusal
        return refuse(call, written.failure());
    }
    log.flush();
    return kOk;
}

int scan(const Call& call)
{
    QCommandLineParser parser;
    const ParsedCall parsed = parseCall(parser, call, QStringLiteral("device scan DIR"), 1);
    if (!parsed.ok)
        return parsed.helped ? kOk : kRefused;
    const QString folder = parser.positionalArguments().at(0);
    if (folder == QLatin1String("-"))
        return refuse(call, QStringLiteral("-: standard input is not read; give a folder"));
    const Result<device::ScanResult> found = device::scanFolder(folder);
    if (!found)
        return refuse(call, QStringLiteral("cannot search %1: %2").arg(folder, found.error()));
    for (const device::FoundFile& file : found->found) {
        const bool navigator = file.kind == device::FoundKind::Navigator;
        call.out << (navigator ? QStringLiteral("navigator") : QStringLiteral("archive")) << u'\t'
                 << field(file.path) << u'\t' << field(file.description()) << Qt::endl;
    }
    if (found->found.isEmpty())
        call.out << QStringLiteral("No navigator file and no sound archive in %1.").arg(folder)
                 << Qt::endl;
    if (found->limitReached)
        call.out << QStringLiteral("The search stopped after %1 files.").arg(found->filesLookedAt)
                 << Qt::endl;
    return kOk;
}

int put(const Call& call)
{
    return writeCommand(call, QStringLiteral("device put RESULT ORIGINAL [--backup DIR]"), 2,
                        [](const QStringList& files, const QString& root, LogSink& log) {
                            return device::putOnDevice(files.at(0), files.at(1), root, log);
                        });
}

int restore(const Call& call)
{
    return writeCommand(call, QStringLiteral("device restore ORIGINAL [--backup DIR]"), 1,
                        [](const QStringList& files, const QString& root, LogSink& log) {
                            return device::restoreOriginal(files.at(0), root, log);
                        });
}

} // namespace

int deviceCommand(const Call& call)
{
    const QString sub = call.arguments.value(0);
    const Call rest{call.arguments.mid(1), call.out, call.err};
    if (sub == QLatin1String("scan"))
        return scan(rest);
    if (sub == QLatin1String("put"))
        return put(rest);
    if (sub == QLatin1String("restore"))
        return restore(rest);
    return refuseUnknown(call, QStringLiteral("device"), QStringLiteral("scan|put|restore"));
}

} // namespace tollvik::cli
