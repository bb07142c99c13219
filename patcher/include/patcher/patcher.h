#pragma once

#include "core/logsink.h"

#include <QString>
#include <QStringView>
#include <array>
#include <span>

namespace tollvik {

// One place of the navigator file that the menu patch writes: its zero-based offset in the file
// and the address at which the running navigator sees that same byte.
struct PatchLocation
{
    qint32 fileOffset = 0;
    qint32 memoryAddress = 0;
};

// Where the menu patch of one build writes. Only the memory addresses of MenuTextArea,
// MenuPointerTable and SoundTable are ever used; item i gets the sound FirstSoundNumber - i.
struct PatchTable
{
    PatchLocation MenuTextArea;        // 30 text slots of 16 bytes
    PatchLocation MenuPointerTable;    // 30 little-endian words
    PatchLocation MenuPointerTableRef; // one word
    PatchLocation MenuItemCount;       // one byte
    PatchLocation SoundTable;          // 30 entries of 4 bytes
    PatchLocation SoundTableRef1;      // one word
    PatchLocation SoundTableRef2;      // one word
    PatchLocation SoundTableRef3;      // one word, TomTom GO 5.4 only
    qint16 FirstSoundNumber = 0;
};

// The picture the window shows for a recognised build.
enum class DevicePicture
{
    GoDevice, // Image2: stand-alone navigation device, 130 x 100
    Handheld, // Image3: handheld computer in a cradle, 71 x 121
    Phone,    // Image4: mobile phone, 71 x 121
};

// One byte the identification compares: the byte at a zero-based file offset.
struct NavigatorProbe
{
    qint32 offset = 0;
    quint8 expected = 0;
};

// One known navigator build: how it is recognised and where it is patched.
struct NavigatorBuild
{
    qint16 versionIndex = 0;
    std::array<NavigatorProbe, 3> probes;
    QStringView caption; // text of Label1 after a recognised load
    DevicePicture picture = DevicePicture::GoDevice;
    // A dormant entry is kept as data only: it is never probed, never patched.
    bool dormant = false;
    PatchTable patch;
    // Only build 13 has a third sound-table reference; elsewhere patch.SoundTableRef3 is unused.
    bool hasSoundTableRef3 = false;
};

// Every entry, in ascending version index, the dormant one included.
[[nodiscard]] std::span<const NavigatorBuild> navigatorBuilds();
// The active (not dormant) build with this version index, or nullptr.
[[nodiscard]] const NavigatorBuild* findNavigatorBuild(qint16 versionIndex);

// Window-level state of the navigator side. The window owns exactly one; nothing else keeps a
// copy of these fields.
struct NavigatorState
{
    qint16 VersionIndex = 0;
    QString SourcePath;
    std::array<QString, 16> WorkingFileNames;
    QString workingCopyPath; // the text of Text3
    PatchTable patchTable;   // PatchTable
};

struct IdentifyResult
{
    bool recognised = false;
    // The file could not be opened or read; error says why.
    bool readFailed = false;
    QString error;
    const NavigatorBuild* build = nullptr; // set when recognised
};

// Compares the probe bytes of every active build, in ascending version index; the first build
// whose three probes match wins. A probe at or beyond the end of the file is a mismatch. Reads
// only; changes nothing.
[[nodiscard]] IdentifyResult IdentifyNavigatorFile(const QString& path);

struct LoadNavigatorResult
{
    enum class Outcome
    {
        Cancelled,       // empty path: the dialog was cancelled; nothing logged
        RefusedSameFile, // the file is the working copy itself: the window beeps
        Unrecognised,    // no build matched; three log lines, nothing changed
        Failed,          // the file could not be read or copied; one log line, nothing changed
        Loaded,          // state updated, working copy in Temp/
    };
    Outcome outcome = Outcome::Cancelled;
    const NavigatorBuild* build = nullptr; // set when Loaded
};

// The load after the open-file dialog: refuses the working copy itself, identifies the file,
// copies it into <programFolder>Temp/ and sets VersionIndex, SourcePath, the entry of
// WorkingFileNames and workingCopyPath. Any outcome but Loaded leaves the state as it was.
[[nodiscard]] LoadNavigatorResult loadNavigatorFile(const QString& chosenPath,
                                                    const QString& programFolder,
                                                    NavigatorState& state, LogSink& log);

// Copies the entry of VersionIndex into patchTable. Returns false, changing nothing, when the
// working copy is missing or empty or VersionIndex names no active build.
bool FillPatchTable(NavigatorState& state);

struct SaveResult
{
    // The patched file stands complete in Modified/.
    bool ok = false;
    // The working copy in Temp/ was replaced by a fresh copy of SourcePath.
    bool workingCopyRefreshed = false;
};

// "Save modified TTN file": checks the working copy and the 30 texts before anything is written,
// patches a copy of the working file in memory, stores the texts in <programFolder>Tollvik.ini,
// writes <programFolder>Modified/<name> atomically and refreshes the working copy from
// SourcePath. On a refusal or write failure the earlier output and the working copy stay usable.
[[nodiscard]] SaveResult saveModifiedNavigator(NavigatorState& state,
                                               const std::array<QString, 30>& menuTexts,
                                               const QString& programFolder, LogSink& log);

} // namespace tollvik
