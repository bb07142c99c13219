#pragma once

#include "core/result.h"

#include <QString>

namespace tollvik {

// Where the running program keeps its files. The layout is decided once at start-up from where
// the executable lies, never from permissions:
// - portable: the audio library lies beside the executable (build/bin/, an unpacked .tar.gz).
//   That folder is the program folder.
// - installed: the audio library lies in the private library folder of the executable's bin/
//   folder (../lib/<multiarch>/tollvik-alerts/). The program folder is then the user's data
//   folder (~/.local/share/tollvik-alerts/ on Linux).
// - neither: portable, so that the audio library check refuses the start as it always has.
enum class Layout
{
    Portable,
    Installed
};

struct ProgramFolders
{
    Layout layout = Layout::Portable;
    QString programFolder; // Temp/, Modified/ and Tollvik.ini; ends in a separator
    QString libraryFolder; // the audio library and the converter module; ends in a separator
};

// The decision for an executable in `executableFolder`: `libraryFile` is the audio library's
// file name, `privateLibraryFolder` the library folder of an installed program relative to its
// executable's folder, `userDataFolder` the program folder of an installed program.
struct LayoutInputs
{
    QString executableFolder;
    QString libraryFile;
    QString privateLibraryFolder;
    QString userDataFolder;
};
[[nodiscard]] ProgramFolders decideProgramFolders(const LayoutInputs& inputs);

// The decision for the running executable, with the private library folder it was built for
// and the user's data folder (QStandardPaths' data location, under the name tollvik-alerts, so
// that the window and the command line share it).
[[nodiscard]] ProgramFolders programFolders();

// Readies the program folder before the window uses it. An installed program's folder is
// created with its Temp/ and Modified/ on first start; a portable folder is left as it is and
// only checked: the failure is the one message the start-up shows when Temp/, Modified/ or the
// folder itself cannot be written.
[[nodiscard]] Status prepareProgramFolder(const ProgramFolders& folders);

// Which folder is in use and why, in a few lines for --help.
[[nodiscard]] QString describeProgramFolders(const ProgramFolders& folders);

// The program's version, the project's one version number ("1.0").
[[nodiscard]] QString programVersion();

} // namespace tollvik
