#pragma once

#include "core/fileio.h"
#include "core/logsink.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>

namespace tollvik {

// The navigator's sound archive (.chk): a big-endian entry count N, N + 1 start offsets (the
// last one is the file size), then the entries. The 30 entries before the last one carry the
// sounds of the 30 warning slots: slot s is entry N - 30 + s.

constexpr int kSlotCount = 30;
// The largest external sound a slot entry can hold: its header word count must fit 16 bits.
constexpr qint64 kMaxExternalSoundBytes = 131056;

// Where a slot's sound lies in the listed working copy.
struct SlotSound
{
    qint32 dataOffset = 0; // entry start + 16
    qint32 dataLength = 0; // the length from the entry header, without padding
};
using SlotSoundTable = std::array<SlotSound, kSlotCount>;

// What the reader found in an archive.
struct ChkDescription
{
    qint32 entryCount = 0;
    QList<qint32> offsets; // N + 1 values: the start of entries 1..N, then the end offset
    qint64 fileSize = 0;
    SlotSoundTable slots{};
};

struct ChkParse
{
    bool ok = false;
    QString error; // what is wrong, when !ok
    ChkDescription description;
};

// Reads and checks everything the listing follows: the file can be read, it holds at least 31
// entries, the offset table lies inside the file, and every slot entry's header and data lie
// inside the entry and the file. The end offset is not compared with the file length here.
[[nodiscard]] ChkParse parseChk(const QString& path);

// a1 is the most significant byte; a1 >= 0x80 gives a negative value.
[[nodiscard]] qint32 BytToLong(uchar a1, uchar a2, uchar a3, uchar a4);

// "Sound 01" .. "Sound 30" for slots 0..29.
[[nodiscard]] QString slotLabel(int slot);

// A slot's sound is external when its sound box text ends in "OGG", in any letter case.
[[nodiscard]] bool isExternalSound(const QString& soundBoxText);

struct ChkListing
{
    bool ok = false;
    SlotSoundTable table{}; // becomes the window's SlotSoundTable
    QStringList labels;     // 30 labels for the sound boxes Text1(30)..Text1(59)
};

// Lists the archive: logs "Total files: N" and one "x= ..." line per slot. A file that cannot be
// listed logs one line saying why and returns ok = false; the window then keeps its state.
// On ok the window takes the table and labels and sets archiveLoaded.
[[nodiscard]] ChkListing Get_Chk_info(const QString& sFileName, LogSink& log);

struct LoadBaseChkResult
{
    enum class Outcome
    {
        Loaded,          // take workingPath (Text2), baseArchiveName and the listing; show Command5
        RefusedSameFile, // the chosen file is the working copy: beep; nothing changes
        Problem          // a line was logged; nothing changes
    };
    Outcome outcome = Outcome::Problem;
    QString workingPath;
    QString baseArchiveName;
    ChkListing listing;
};

// Loads the archive the user chose (after the open-file dialog): checks it, copies it to
// programFolder + "Temp/" + its name, logs the hints and lists the copy.
[[nodiscard]] LoadBaseChkResult LoadBaseChk(const QString& chosenPath, const QString& programFolder,
                                            LogSink& log);

// Import: the open-file dialog's initial name, and the line to log after a choice.
[[nodiscard]] QString importInitialName(const QString& soundBoxText, const QString& programFolder);
[[nodiscard]] QString importLogLine(const QString& path, int index);

// Export: the save-file dialog's suggested name, and the export itself. Logs one line on
// failure, nothing on success; the target is replaced only by a complete file.
[[nodiscard]] QString exportSuggestedName(const QString& programFolder,
                                          const QString& soundBoxText);
[[nodiscard]] Status exportSlotSound(const QString& workingPath, const SlotSound& row,
                                         const QString& targetPath, LogSink& log);

// The bytes of a slot's archive sound, read with bounds checks (for the preview).
[[nodiscard]] Result<QByteArray> readSlotSound(const QString& workingPath, const SlotSound& row);

struct BuildInput
{
    QString programFolder;
    QString workingPath; // Text2
    QString baseArchiveName;
    std::array<QString, kSlotCount> soundBoxes; // Text1(30)..Text1(59)
    std::array<QString, kSlotCount> menuTexts;  // Text1(0)..Text1(29), for the log only
};

struct BuildResult
{
    bool ok = false;     // the output and the new working copy were written
    QString workingPath; // the new Text2 when ok
    ChkListing listing;  // the re-listing of the new working copy (apply when listing.ok)
};

// Builds the custom archive into programFolder + "Modified/" + baseArchiveName and replaces the
// working copy with it, then lists it again. Any refusal or failure logs a line and leaves every
// file as it was.
[[nodiscard]] BuildResult data_chk_reload(const BuildInput& in, LogSink& log);

} // namespace tollvik
