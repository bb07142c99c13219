#pragma once

#include "core/logsink.h"
#include "core/result.h"
#include "core/slots.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

namespace tollvik {

// The navigator's sound archive (.chk): a big-endian entry count N, N + 1 start offsets (the
// last one is the file size), then the entries. The 30 entries before the last one carry the
// sounds of the 30 warning slots: slot s is entry N - 30 + s.

// The largest external sound a slot entry can hold: its header word count must fit 16 bits.
constexpr qint64 kMaxExternalSoundBytes = 131056;
// Every offset of an archive is a 32-bit signed number, so no archive is longer than this.
constexpr qint64 kMaxArchiveBytes = 0x7FFFFFFF;
// The largest archive and the most entries any reader takes. Real archives are a few megabytes
// with under 200 entries; these bound what a downloaded file can make the program allocate.
constexpr qint64 kArchiveSizeLimit = 512LL * 1024 * 1024;
constexpr qint64 kArchiveEntryLimit = 65536;

// Checks an archive file's length (from stat) and its entry count (from its first four bytes)
// against the limits before anything reads it whole ("it holds 65,537 entries; an archive holds
// at most 65,536"). A file that cannot be asked or is too short for a count passes: the read and
// the readers word those refusals themselves.
[[nodiscard]] Status checkArchiveLimits(const QString& path);

// Where a slot's sound lies in the listed working copy.
struct SlotSound
{
    qint32 dataOffset = 0; // entry start + 16
    qint32 dataLength = 0; // the length from the entry header, without padding
};
using SlotSoundTable = std::array<SlotSound, kSlotCount>;

// "Sound 01" .. "Sound 30" for slots 0..29.
[[nodiscard]] QString slotLabel(int slot);

// A slot plays an external sound when what it names (its label or a path) ends in "OGG", in any
// letter case.
[[nodiscard]] bool isExternalSound(const QString& soundBoxText);

// What a listing gives its caller: where each slot's sound lies, and each slot's label
// ("Sound 01" ..), which is what a slot plays until an external sound is put in its place.
struct ChkListing
{
    SlotSoundTable table{};
    QStringList labels;
};

// Lists the archive: logs "Total files: N" and one "x= ..." line per slot. An archive that
// cannot be listed logs one line saying why and gives nothing to take over.
[[nodiscard]] Result<ChkListing> Get_Chk_info(const QString& sFileName, LogSink& log);

struct LoadedChk
{
    QString workingPath; // the working copy in Temp/, which every later step reads
    QString baseArchiveName;
    ChkListing listing;
};

// Loads the archive the user chose (after the open-file dialog): reads it once, checks those
// bytes, writes them to programFolder + "Temp/" + its name, logs the hints and lists them.
// Refusal::SameFile when the chosen file is the working copy itself, a mistake of the user's
// rather than a fault of the file; any refusal has logged its line and changed nothing.
[[nodiscard]] Result<LoadedChk> LoadBaseChk(const QString& chosenPath, const QString& programFolder,
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

// The entry (counted from 1) into which the custom build writes slot `slot`'s (0-based) external
// sound, or 0 when the build of an archive of `entryCount` entries leaves the slot alone: an
// archive of 102 entries takes slots 0 to 11 only, into its entries 90 to 101.
[[nodiscard]] qint32 buildEntryOfSlot(qint32 entryCount, int slot);

// The bytes of a slot's archive sound, read with bounds checks (for the preview).
[[nodiscard]] Result<QByteArray> readSlotSound(const QString& workingPath, const SlotSound& row);

// The sample rate and channel count of a sound.
struct SoundShape
{
    int sampleRate = 0;
    int channels = 0;
    friend bool operator==(const SoundShape&, const SoundShape&) = default;
};

// What the build asks about each .ogg it takes as it is. The archive decodes no sound itself:
// its callers hand in the converter's answers (convert/module.h makes them).
struct SoundCheck
{
    // Whether the navigator can play the sound; the failure's text is the reason ("it holds an
    // Opus stream").
    std::function<Status(QByteArrayView ogg)> playable;
    // The rate and channel count of an Ogg Vorbis sound.
    std::function<Result<SoundShape>(QByteArrayView ogg)> shape;
};

struct BuildInput
{
    QString programFolder;
    QString workingPath; // the working copy the build reads and then replaces
    QString baseArchiveName;
    std::array<QString, kSlotCount> soundBoxes; // what each slot plays: its label or an .ogg path
    std::array<QString, kSlotCount> menuTexts;  // the slots' menu texts, for the log only
    SoundCheck check; // without `playable`, every external sound is refused unchecked
};

struct BuiltChk
{
    QString workingPath;        // the working copy, now holding the new archive
    Result<ChkListing> listing; // the listing of the new working copy, when it can be listed
};

// The custom archive in memory, with the build's log lines up to its writing: every check of
// the build, nothing written. For tools that write the result elsewhere.
//
// Every external sound must be one the navigator plays (in.check.playable): one that is not
// is refused with a line naming its slot, its file and the reason, and nothing is written. One
// whose rate or channels differ from the slot sound it replaces gets a line and is built in.
[[nodiscard]] Result<QByteArray> assembleCustomChk(const BuildInput& in, LogSink& log);

// Builds the custom archive into programFolder + "Modified/" + baseArchiveName, then replaces
// the working copy with it and lists it again. A refusal logs its line and leaves every file as
// it was; when the working copy cannot be replaced, the new output stays and the line says so.
[[nodiscard]] Result<BuiltChk> data_chk_reload(const BuildInput& in, LogSink& log);

} // namespace tollvik
