#pragma once

#include "core/logsink.h"
#include "core/result.h"
#include "core/slots.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <array>

namespace tollvik {

// Navigator executables are a few megabytes; a file far beyond that is not one.
inline constexpr qint64 kMaxNavigatorFileSize = qint64(256) << 20;

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

// One known navigator build as the window sees it: how it is recognised and what it shows.
struct NavigatorBuild
{
    qint16 versionIndex = 0;
    std::array<NavigatorProbe, 3> probes;
    QStringView caption; // text of Label1 after a recognised load
    DevicePicture picture = DevicePicture::GoDevice;
};

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

// The first active build, in ascending version index, whose three probe bytes all match these
// file bytes, or nullptr. A probe at or beyond the end of the bytes is a mismatch.
[[nodiscard]] const NavigatorBuild* IdentifyNavigatorFile(QByteArrayView fileBytes);

// Logs the three lines of a file that is no known navigator build and fails with the last.
[[nodiscard]] Failure refuseUnrecognisedNavigator(const QString& path, LogSink& log);

// The load after the open-file dialog: refuses the working copy itself (Refusal::SameFile, after
// its log line), reads the chosen file once, identifies those bytes and writes them to
// <programFolder>Temp/<name>, then sets VersionIndex, SourcePath, the entry of WorkingFileNames
// and workingCopyPath. An empty path is a cancelled dialog (Refusal::Cancelled, nothing logged).
// Every failure leaves the state and the earlier working copy as they were. The value is the
// recognised build, never null.
[[nodiscard]] Result<const NavigatorBuild*> loadNavigatorFile(const QString& chosenPath,
                                                              const QString& programFolder,
                                                              NavigatorState& state, LogSink& log);

// The bytes a save writes into Modified/ for an unaltered navigator file and these 30 menu
// texts, with the save's patch lines in the log. Refuses a file of no known build, one too short
// for its build, or a text with a character that has no Windows-1252 byte.
[[nodiscard]] Result<QByteArray>
patchNavigatorBytes(QByteArray fileBytes, const std::array<QString, kSlotCount>& menuTexts,
                    LogSink& log);

// What became of the working copy after a good save.
enum class WorkingCopy
{
    Refreshed, // replaced by a fresh copy of SourcePath
    Kept,      // SourcePath is gone or another build now; the unaltered copy serves the next save
};

// "Save modified TTN file": checks the working copy and the 30 texts before anything is written,
// patches the working copy's bytes in memory, stores the texts in the settings file, writes
// <programFolder>Modified/<name> and refreshes the working copy from SourcePath. A refusal
// changes no file; when the output cannot be written the settings file is put back too. The
// output and the working copy never hold a half-written file.
[[nodiscard]] Result<WorkingCopy>
saveModifiedNavigator(NavigatorState& state, const std::array<QString, kSlotCount>& menuTexts,
                      const QString& programFolder, LogSink& log);

} // namespace tollvik
