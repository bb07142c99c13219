#pragma once

#include "patcher/patcher.h"

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <span>

namespace tollvik::detail {

inline constexpr int kTextSlotSize = 16;

// One entry of the build tables: the build and where it is patched.
struct BuildEntry
{
    NavigatorBuild build;
    // A dormant entry is kept as data only: it is never probed, never patched.
    bool dormant = false;
    PatchTable patch;
};

// Only GO 5.4 (index 13) has a third sound-table reference; elsewhere SoundTableRef3 is unused.
[[nodiscard]] constexpr bool writesSoundTableRef3(qint16 versionIndex)
{
    return versionIndex == 13;
}

// Every entry, in ascending version index, the dormant one included.
[[nodiscard]] std::span<const BuildEntry> buildEntries();
// The active (not dormant) entry with this version index, or nullptr.
[[nodiscard]] const BuildEntry* findBuildEntry(qint16 versionIndex);

// Copies the entry of VersionIndex into patchTable. Refuses, changing nothing, when the working
// copy is missing or empty or VersionIndex names no active build.
[[nodiscard]] Status FillPatchTable(NavigatorState& state);

// The file length the menu patch needs for this table: one past the last byte it writes.
[[nodiscard]] qint64 requiredFileLength(const PatchTable& table, bool writesSoundTableRef3);

// Writes the text slot of item ii at MenuTextArea + 16 * ii: the first 15 bytes of the encoded
// text, zero-filled, and always a zero 16th byte. The caller has checked the bounds.
void mPutName(QByteArray& file, const PatchTable& table, int ii, QByteArrayView encodedText);

// Writes the whole menu patch into the file bytes and its log lines. menuTexts are the texts as
// typed (for the log and the count byte), encodedTexts the same texts in Windows-1252. The
// caller has checked that the file is at least requiredFileLength() long.
void UdateTomTom(QByteArray& file, const PatchTable& table, qint16 VersionIndex,
                 const std::array<QString, kSlotCount>& menuTexts,
                 const std::array<QByteArray, kSlotCount>& encodedTexts, LogSink& log);

} // namespace tollvik::detail
