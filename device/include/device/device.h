#pragma once

#include "core/logsink.h"
#include "core/result.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>

namespace tollvik::device {

// The navigator's own storage as the computer sees it: a mounted volume (a GO as a USB drive, a
// handheld's memory card in a reader). This library finds the two files the program edits on it
// and writes the results back so that the device never holds a half-written file.

// The bounds of a search: a device's tree is hostile input like any file.
struct ScanLimits
{
    int maxDepth = 3;                       // folder levels below the chosen folder
    int maxFiles = 2000;                    // files looked at, of any kind
    int maxFolders = 2000;                  // folders listed, the chosen one included
    qint64 maxFileSize = qint64(256) << 20; // larger files are passed over unread
};

enum class FoundKind
{
    Navigator, // a navigator's main executable of a known build
    Archive,   // a sound archive
};

struct FoundFile
{
    FoundKind kind = FoundKind::Navigator;
    QString path;          // absolute, native separators
    QString relativePath;  // below the searched folder
    QString caption;       // Navigator: the build's caption, without " loaded."
    qint32 entryCount = 0; // Archive: its entry count
    qint64 size = 0;
    QDateTime modified;

    // The caption, or "N entries": what a list of found files shows beside the path.
    [[nodiscard]] QString description() const;
};

struct ScanResult
{
    QList<FoundFile> found; // in the order of the search: shallower folders first, by name
    int filesLookedAt = 0;
    bool limitReached = false; // a limit of files or folders stopped the search before the end
};

// The volumes a device may be: the mounted file systems under /media, /run/media and /mnt (on
// Windows and macOS the removable volumes QStorageInfo lists), in mount order.
[[nodiscard]] QStringList deviceVolumes();

// Where a folder chooser for a device opens: the first volume whose search finds a navigator
// file, else the home folder. Searches each volume within the limits, so it may take a moment.
[[nodiscard]] QString deviceStartFolder(const ScanLimits& limits = {});

// Searches `folder` for navigator files (the patcher's identification) and sound archives (a
// valid offset table of at least 31 entries whose end offset is the file's length). Symbolic
// links and special files are passed over; nothing is written. Safe on a worker thread: when
// `cancel` is set and becomes true, the search stops and fails with Refusal::Cancelled.
[[nodiscard]] Result<ScanResult> scanFolder(const QString& folder, const ScanLimits& limits = {},
                                            const std::atomic_bool* cancel = nullptr);

// The folder the originals are kept in: <programFolder>/Backup.
[[nodiscard]] QString backupRootOf(const QString& programFolder);

// What a good write did.
struct PutReport
{
    QString backupPath; // the copy of the original that was replaced (empty for a restore)
    qint64 bytesWritten = 0;
};

// The file operations a write on the device is made of, each with the guarantee the write relies
// on; paths are native and a failure's text is the system's reason. The write uses the system's
// own (systemIo()); another implementation can stand for a device that fails at any one step, or
// add checks of its own around them.
class DeviceIo
{
public:
    DeviceIo() = default;
    DeviceIo(const DeviceIo&) = delete;
    DeviceIo& operator=(const DeviceIo&) = delete;
    virtual ~DeviceIo() = default;
    // Creates `path` (which must not exist), writes `data` and flushes it to the device (fsync).
    [[nodiscard]] virtual Status writeNewSynced(const QString& path, QByteArrayView data);
    // Renames over the target in one step.
    [[nodiscard]] virtual Status renameOver(const QString& from, const QString& to);
    // Flushes the folder itself, so that a rename or a new file in it is on the device.
    [[nodiscard]] virtual Status syncFolder(const QString& folder);
    // Reads the file from the device rather than from the cache where the system allows it and
    // compares it with `expected` byte for byte.
    [[nodiscard]] virtual Status compareWithDevice(const QString& path, QByteArrayView expected);
};
[[nodiscard]] DeviceIo& systemIo();

// Replaces `original` on the device with the bytes of `result`, safely: refuses special files,
// a result that is the original, a result larger than ScanLimits::maxFileSize and a device
// without the space; copies the original into <backupRoot>/<date and time>/<name> (a new folder
// each time) with a record of the original's absolute path beside it (backupRecordNameFor), and
// compares the copy; writes the result beside the original as a temporary file of its own name
// (tempNameFor), flushes it to the device, renames it over the original, flushes the folder and
// reads the file back byte for byte. Each step logs one line; a failure logs one line saying what
// became of the original, which is either untouched or put back from the backup. Only the backup
// stays behind; a temporary file that an interrupted earlier write left beside the original is
// removed first.
[[nodiscard]] Result<PutReport> putOnDevice(const QString& result, const QString& original,
                                            const QString& backupRoot, LogSink& log,
                                            DeviceIo& io = systemIo());

// The newest backup in backupRoot whose record names exactly the absolute path of `original`, or
// an empty string. A backup without a record, or of a file of the same name elsewhere, is never
// taken for it.
[[nodiscard]] QString newestBackup(const QString& original, const QString& backupRoot);

// Puts the newest backup of `original` back in its place with the same safe write (no new
// backup is made: the file it replaces is a result the program can make again). Without a
// backup of that path, nothing is written and one line says so.
[[nodiscard]] Result<PutReport> restoreOriginal(const QString& original, const QString& backupRoot,
                                                LogSink& log, DeviceIo& io = systemIo());

// The record beside a backup named `name`: "<name>.tollvik-origin", one line of UTF-8 text, the
// absolute path of the file it is a copy of.
[[nodiscard]] QString backupRecordNameFor(const QString& name);

// The temporary file a write of `original` uses beside it: "<name>.tollvik-part".
[[nodiscard]] QString tempNameFor(const QString& original);

} // namespace tollvik::device
