// identify and patch: the navigator file on the command line.
#include "command.h"
#include "core/fileio.h"
#include "core/layout.h"
#include "patcher/patcher.h"
#include "settings/ini.h"

namespace tollvik::cli {
namespace {

// The settings file the menu texts come from: --texts, or by default the settings file of the
// window's program folder, decided the window's way.
QString settingsFileOf(const QCommandLineParser& parser, const QCommandLineOption& texts)
{
    return parser.isSet(texts) ? parser.value(texts)
                               : settingsFilePath(programFolders().programFolder);
}

Result<std::array<QString, kSlotCount>>
menuTexts(const QString& ini, const QCommandLineParser& parser, const QCommandLineOption& item)
{
    if (const qint64 size = fileLength(ini); size > kSettingsLimitBytes)
        return fail(QStringLiteral("the settings file %1 is %2 bytes; a settings file is at most "
                                   "%3 bytes")
                        .arg(ini)
                        .arg(size)
                        .arg(kSettingsLimitBytes));
    Result<std::array<QString, kSlotCount>> stored = readMenuTexts(ini);
    if (!stored)
        return fail(QStringLiteral("the menu texts in %1: %2").arg(ini, stored.error()));
    for (const QString& assignment : parser.values(item)) {
        const Result<SlotAssignment> assigned =
            slotAssignment(assignment, QStringLiteral("--item"), QStringLiteral("TEXT"));
        if (!assigned)
            return assigned.failure();
        stored.value()[static_cast<std::size_t>(assigned->slot - 1)] = assigned->value;
    }
    return stored;
}

} // namespace

int identifyCommand(const Call& call)
{
    QCommandLineParser parser;
    const ParsedCall parsed = parseCall(parser, call, QStringLiteral("identify FILE"), 1);
    if (!parsed.ok)
        return parsed.exitCode();
    const QString path = parser.positionalArguments().at(0);
    if (const Status checked = checkFiles({path}); !checked)
        return refuse(call, checked.failure());
    const Result<QByteArray> bytes = readWholeFile(path, kMaxNavigatorFileSize);
    if (!bytes)
        return refuse(call, QStringLiteral("cannot read %1: %2").arg(path, bytes.error()));
    const NavigatorBuild* build = IdentifyNavigatorFile(bytes.value());
    if (build == nullptr) {
        StreamLog log(call.err);
        (void)refuseUnrecognisedNavigator(path, log); // its three lines are the refusal
        return kNotRecognised;
    }
    call.out << build->caption.toString() << Qt::endl;
    return kOk;
}

int patchCommand(const Call& call)
{
    QCommandLineParser parser;
    const QCommandLineOption output = outputOption(QStringLiteral("The patched file to write."));
    const QCommandLineOption texts(QStringLiteral("texts"),
                                   QStringLiteral("Settings file with the 30 menu texts (default: "
                                                  "Tollvik.ini in the window's program folder)."),
                                   QStringLiteral("INI"));
    const QCommandLineOption item(QStringLiteral("item"),
                                  QStringLiteral("Menu text N (1-30); may be repeated."),
                                  QStringLiteral("N=TEXT"));
    parser.addOptions({output, texts, item});
    const ParsedCall parsed = parseCall(
        parser, call, QStringLiteral("patch FILE -o OUT [--texts INI] [--item N=TEXT]..."), 1);
    if (!parsed.ok)
        return parsed.exitCode();
    if (!parser.isSet(output))
        return refuse(call, QStringLiteral("patch needs -o OUT"));
    const QString path = parser.positionalArguments().at(0);
    const QString out = parser.value(output);
    const QString ini = settingsFileOf(parser, texts);
    // The settings file is read first, and its refusal names it as the menu texts' source.
    if (const Status regular = checkRegularFile(ini); !regular && ini != QLatin1String("-"))
        return refuse(call, QStringLiteral("the menu texts in %1: %2").arg(ini, regular.error()));
    const QStringList inputs{ini, path};
    if (const Status checked = checkFiles(inputs, out); !checked)
        return refuse(call, checked.failure());
    const Result<std::array<QString, kSlotCount>> menu = menuTexts(ini, parser, item);
    if (!menu)
        return refuse(call, menu.failure());
    Result<QByteArray> bytes = readWholeFile(path, kMaxNavigatorFileSize);
    if (!bytes)
        return refuse(call, QStringLiteral("cannot read %1: %2").arg(path, bytes.error()));
    HeldBackLog log(call.out);
    const Result<QByteArray> patched =
        patchNavigatorBytes(std::move(bytes).value(), menu.value(), log);
    if (!patched)
        return refuseHeld(call, log,
                          fail(QStringLiteral("cannot patch %1: %2").arg(path, patched.error())));
    log.flush();
    if (const Status written = writeOutput(out, patched.value(), inputs); !written)
        return refuse(call, written.failure());
    call.out << QStringLiteral("....Modified TTN file written to ") << parser.value(output)
             << Qt::endl;
    return kOk;
}

} // namespace tollvik::cli
