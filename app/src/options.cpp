#include "app/options.h"

#include "core/layout.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <cstring>

namespace tollvik {
namespace {

const QString kHelp = QStringLiteral(
    "Usage: tollvik-alerts [--help] [--version]\n"
    "\n"
    "Opens the Tollvik Alerts window: it patches a navigator file so that its POI-warning\n"
    "menu offers 30 items, and lists, plays, replaces and exports the sounds of the\n"
    "navigator's sound archive (.chk). tollvik-alerts-cli does the same without a window.\n"
    "\n"
    "Options:\n"
    "  -h, --help     Show this help.\n"
    "  -v, --version  Show the version.\n"
    "\n");

bool isOption(const char* argument, const char* shortName, const char* longName)
{
    return std::strcmp(argument, shortName) == 0 || std::strcmp(argument, longName) == 0;
}

} // namespace

std::optional<int> answerInformationOptions(int argc, char* argv[])
{
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        help = help || isOption(argv[i], "-h", "--help");
        version = version || isOption(argv[i], "-v", "--version");
    }
    if (!help && !version)
        return std::nullopt;
    const QCoreApplication app(argc, argv); // for the executable's folder
    QTextStream out(stdout);
    if (help)
        out << kHelp << describeProgramFolders(programFolders());
    else
        out << QStringLiteral("tollvik-alerts ") << programVersion() << QLatin1Char('\n');
    out.flush();
    return 0;
}

} // namespace tollvik
