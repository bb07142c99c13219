#include "cli/cli.h"

#include "archive/archive.h"
#include "command.h"
#include "core/fileio.h"
#include "core/layout.h"

#include <QFileInfo>

namespace tollvik::cli {
namespace {

const QString kOverview = QStringLiteral(
    "Usage: tollvik-alerts-cli COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  identify FILE                     name the navigator build of a TTN file\n"
    "  patch FILE -o OUT                 write the patched TTN file\n"
    "  chk list FILE [--all]             list the slot sounds (or every entry) of an archive\n"
    "  chk extract FILE DIR [--all]      save the slot sounds (or every entry) into a folder\n"
    "  chk build FILE -o OUT             build an archive with slot sounds replaced\n"
    "  chk join DIR -o OUT               join an extracted folder back into an archive\n"
    "  convert IN OUT                    turn any sound into a slot sound\n"
    "  speak TEXT OUT                    speak a text into a slot sound\n"
    "  device scan DIR                   find navigator files and sound archives in a folder\n"
    "  device put RESULT ORIGINAL        replace a file on the device safely, keeping a backup\n"
    "  device restore ORIGINAL           put the backed-up original back on the device\n"
    "\n"
    "Run tollvik-alerts-cli COMMAND --help for the options of a command,\n"
    "tollvik-alerts-cli --version for the version.\n");

} // namespace

ParsedCall parseCall(QCommandLineParser& parser, const Call& call, const QString& usage,
                     qsizetype positionals)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    if (!parser.parse(QStringList{QStringLiteral("tollvik-alerts-cli")} + call.arguments)) {
        (void)refuse(call, parser.errorText());
        return {};
    }
    if (parser.isSet(help)) {
        call.out << QStringLiteral("Usage: tollvik-alerts-cli ") << usage << Qt::endl
                 << Qt::endl
                 << parser.helpText().section(QLatin1Char('\n'), 2);
        call.out.flush();
        return {false, true};
    }
    if (parser.positionalArguments().size() != positionals) {
        (void)refuse(call, QStringLiteral("usage: tollvik-alerts-cli ") + usage);
        return {};
    }
    return {true, false};
}

QCommandLineOption outputOption(const QString& what)
{
    return QCommandLineOption(QStringList{QStringLiteral("o"), QStringLiteral("output")}, what,
                              QStringLiteral("OUT"));
}

Result<SlotAssignment> slotAssignment(const QString& argument, const QString& option,
                                      const QString& valueName)
{
    const qsizetype equals = argument.indexOf(u'=');
    const Result<int> n = slotNumber(argument.left(equals));
    if (equals < 0 || !n)
        return fail(QStringLiteral("%1 needs N=%2 with N from 1 to 30, not \"%3\"")
                        .arg(option, valueName, argument));
    return SlotAssignment{n.value(), argument.mid(equals + 1)};
}

int refuse(const Call& call, const QString& why)
{
    call.err << QStringLiteral("tollvik-alerts-cli: ") << why << Qt::endl;
    return kRefused;
}

int refuse(const Call& call, const Failure& failure)
{
    return refuse(call, failure.error);
}

int refuseHeld(const Call& call, HeldBackLog& log, const Failure& failure)
{
    const QString held = log.take();
    // The callee's refusal line holds the failure's reason; any other line held back is progress.
    const bool heldIsRefusal = !held.isNull() && held.contains(failure.error);
    if (!held.isNull() && !heldIsRefusal)
        call.out << held << Qt::endl;
    call.out.flush();
    return refuse(call, heldIsRefusal ? held : failure.error);
}

Status checkFiles(const QStringList& inputs, const QString& output)
{
    for (const QString& input : inputs) {
        if (input == QLatin1String("-"))
            return fail(QStringLiteral("-: standard input is not read; give a file"));
        if (const Status regular = checkRegularFile(input); !regular)
            return fail(QStringLiteral("cannot read %1: %2").arg(input, regular.error()));
    }
    if (output.isEmpty())
        return {};
    if (output == QLatin1String("-"))
        return fail(QStringLiteral("-: standard output is not written; give a file"));
    if (const Status target = checkWritableTarget(output); !target)
        return fail(QStringLiteral("cannot write %1: %2").arg(output, target.error()));
    for (const QString& input : inputs) {
        if (isSameFile(output, input))
            return fail(QStringLiteral("cannot write %1: it is %2, an input of this command")
                            .arg(output, input));
    }
    return {};
}

Status writeOutput(const QString& path, const QByteArray& bytes, const QStringList& inputs)
{
    if (const Status checked = checkFiles({}, path); !checked)
        return checked;
    for (const QString& input : inputs) {
        if (isSameFile(path, input))
            return fail(QStringLiteral("cannot write %1: it is %2, an input of this command")
                            .arg(path, input));
    }
    (void)removeStaleTemporaryFiles(QFileInfo(path).absolutePath());
    if (const Status written = writeFileAtomically(path, bytes); !written)
        return fail(QStringLiteral("cannot write %1: %2").arg(path, written.error()));
    return {};
}

Status checkArchiveLimitsOf(const QString& path)
{
    if (const Status within = checkArchiveLimits(path); !within)
        return fail(QStringLiteral("%1: %2").arg(path, within.error()));
    return {};
}

Result<int> slotNumber(const QString& text)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1 || n > kSlotCount)
        return fail(QStringLiteral("\"%1\" is not a slot number from 1 to 30").arg(text));
    return n;
}

namespace {

int runCommand(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    const QString command = arguments.value(0);
    const Call call{arguments.mid(1), out, err};
    if (command == QLatin1String("identify"))
        return identifyCommand(call);
    if (command == QLatin1String("patch"))
        return patchCommand(call);
    if (command == QLatin1String("chk"))
        return chkCommand(call);
    if (command == QLatin1String("convert"))
        return convertCommand(call);
    if (command == QLatin1String("speak"))
        return speakCommand(call);
    if (command == QLatin1String("device"))
        return deviceCommand(call);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        out << kOverview;
        return kOk;
    }
    if (command == QLatin1String("--version") || command == QLatin1String("-v")) {
        out << QStringLiteral("tollvik-alerts-cli ") << programVersion() << Qt::endl;
        return kOk;
    }
    if (command.isEmpty())
        return refuse(call, QStringLiteral("no command given; run tollvik-alerts-cli --help for "
                                           "the commands"));
    return refuse(call, QStringLiteral("unknown command \"%1\"; run tollvik-alerts-cli --help for "
                                       "the commands")
                            .arg(command));
}

} // namespace

int refuseUnknown(const Call& call, const QString& group, const QString& commands)
{
    if (call.arguments.value(0) == QLatin1String("--help") ||
        call.arguments.value(0) == QLatin1String("-h")) {
        call.out << QStringLiteral("Usage: tollvik-alerts-cli %1 %2 ...\n\nRun tollvik-alerts-cli "
                                   "%1 COMMAND --help for the options of a command.")
                        .arg(group, commands)
                 << Qt::endl;
        return kOk;
    }
    if (call.arguments.isEmpty())
        return refuse(call, QStringLiteral("%1 needs a command: %2").arg(group, commands));
    return refuse(call, QStringLiteral("unknown %1 command \"%2\"; the commands are %3")
                            .arg(group, call.arguments.value(0), commands));
}

int run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    // No exception ends the program without its line: out of memory included.
    try {
        return runCommand(arguments, out, err);
    } catch (...) {
        out.flush();
        err << QStringLiteral("tollvik-alerts-cli: ")
            << convert::failureOfException(std::current_exception()).error << Qt::endl;
        return kRefused;
    }
}

} // namespace tollvik::cli
