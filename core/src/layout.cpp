#include "core/layout.h"

#include "core/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tollvik {
namespace {

// The name of the user's data folder, the same for the window and the command line.
constexpr QStringView kDataFolderName = u"tollvik-alerts";

QString nativeFolder(const QString& path)
{
    return RPP(QDir::toNativeSeparators(QDir::cleanPath(path)));
}

// Fails with the start-up message when `folder` is not a folder this user can write into.
Status checkWritableFolder(const QString& folder, const QString& programFolder)
{
    const QFileInfo info(folder);
    QString why;
    if (!info.exists())
        why = QStringLiteral("%1 does not exist").arg(QDir::toNativeSeparators(folder));
    else if (!info.isDir())
        why = QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(folder));
    else if (!info.isWritable())
        why = QStringLiteral("%1 cannot be written").arg(QDir::toNativeSeparators(folder));
    if (why.isEmpty())
        return {};
    return fail(QStringLiteral("The program folder %1 cannot be used: %2.\r\n"
                               "Loaded files, results and Tollvik.ini cannot be kept there. "
                               "Copy the program folder to a place you can write to, or install "
                               "the program's package.")
                    .arg(programFolder, why));
}

} // namespace

ProgramFolders decideProgramFolders(const LayoutInputs& inputs)
{
    const QString beside = RPP(inputs.executableFolder);
    if (!QFileInfo::exists(beside + inputs.libraryFile)) {
        const QString installed = nativeFolder(beside + inputs.privateLibraryFolder);
        if (QFileInfo(installed + inputs.libraryFile).isFile())
            return {Layout::Installed, nativeFolder(inputs.userDataFolder), installed};
    }
    return {Layout::Portable, beside, beside};
}

ProgramFolders programFolders()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return decideProgramFolders(
        {programFolderOfExecutable(), QStringLiteral(TOLLVIK_AUDIO_LIBRARY_FILE),
         QStringLiteral(TOLLVIK_PRIVATE_LIBRARY_FOLDER), RPP(data) + kDataFolderName.toString()});
}

Status prepareProgramFolder(const ProgramFolders& folders)
{
    const QString& folder = folders.programFolder;
    if (folders.layout == Layout::Installed) {
        for (const QStringView sub : {u"Temp", u"Modified"})
            (void)QDir().mkpath(folder + sub.toString()); // a failure shows in the checks below
    }
    for (const QString& each :
         {folder, folder + QStringLiteral("Temp"), folder + QStringLiteral("Modified")}) {
        if (const Status usable = checkWritableFolder(each, folder); !usable)
            return usable;
    }
    return {};
}

QString describeProgramFolders(const ProgramFolders& folders)
{
    if (folders.layout == Layout::Installed)
        return QStringLiteral("Program folder: %1\n"
                              "The program is installed: its libraries lie in\n"
                              "%2, so Temp/, Modified/ and Tollvik.ini are kept\n"
                              "in your own data folder, made on first start.\n")
            .arg(folders.programFolder, folders.libraryFolder);
    return QStringLiteral("Program folder: %1\n"
                          "The program is a portable folder: the audio library lies beside the\n"
                          "executable, so Temp/, Modified/ and Tollvik.ini are kept there.\n")
        .arg(folders.programFolder);
}

QString programVersion()
{
    return QStringLiteral(TOLLVIK_VERSION);
}

} // namespace tollvik
