#include "chkformat.h"
#include "core/paths.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <filesystem>
#include <limits>
#include <system_error>
#include <vector>

namespace tollvik {
namespace {

// One entry of the archive being built. Index 0 stays zero, 1..N are the entries, N + 1 stands
// for the end of the file.
struct ChkEntry
{
    qint64 newOffset = 0;
    qint64 oldOffset = 0;
    qint64 size = 0;
    qint16 wordCount = 0;
    qint32 oggLength = 0;
    QByteArray ogg; // the external file, read once when it is verified
    int slot = -1;  // the slot whose external file replaces this entry, or -1
};

const QString kNothingWritten = QStringLiteral("; nothing was written.");

// The new archive goes to two files at once: the output in Modified/ and the new working copy.
// Each is written to a temporary file in its own folder and renamed into place only when
// complete. The output is the user's result and is forced to disk on commit (QSaveFile); the
// working copy is scratch data that every load writes afresh, so its rename does not wait for
// the disk.
class DualSaveFile
{
public:
    DualSaveFile(const QString& output, const QString& working)
        : m_output(output), m_workingPath(working), m_working(working + QStringLiteral(".XXXXXX"))
    {}

    // Both files are unbuffered: QSaveFile::commit() does not check the flush of a write buffer,
    // so on a full disk a buffered tail would be lost and the shortened output committed. The
    // entries are written whole, so this costs no extra system calls worth counting.
    [[nodiscard]] bool open()
    {
        if (!m_output.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return fail(m_output.fileName(), m_output.errorString());
        if (QFileInfo(m_workingPath).isDir())
            return fail(m_workingPath, QStringLiteral("it is a folder"));
        // QTemporaryFile hides its open(OpenMode) overload; QFile's virtual one reaches it.
        if (!static_cast<QFile&>(m_working).open(QIODevice::ReadWrite | QIODevice::Unbuffered))
            return fail(m_workingPath, m_working.errorString());
        return true;
    }

    [[nodiscard]] bool write(const QByteArray& bytes)
    {
        if (!writeAll(m_output, bytes))
            return fail(m_output.fileName(), m_output.errorString());
        if (!writeAll(m_working, bytes))
            return fail(m_workingPath, m_working.errorString());
        return true;
    }

    void cancel()
    {
        m_output.cancelWriting();
        m_working.close(); // the temporary file is removed with the object
    }

    // Replaces the output. On failure the working copy is dropped too.
    [[nodiscard]] bool commitOutput()
    {
        if (!m_working.flush())
            return fail(m_workingPath, m_working.errorString());
        if (!m_output.commit())
            return fail(m_output.fileName(), m_output.errorString());
        return true;
    }

    [[nodiscard]] bool commitWorking()
    {
        m_working.close();
        if (m_working.error() != QFileDevice::NoError)
            return fail(m_workingPath, m_working.errorString());
        std::error_code ec;
        std::filesystem::rename(fsPath(m_working.fileName()), fsPath(m_workingPath), ec);
        if (ec)
            return fail(m_workingPath, QString::fromStdString(ec.message()));
        m_working.setAutoRemove(false);
        return true;
    }

    [[nodiscard]] const QString& error() const { return m_error; }

private:
    // A short write is followed by another one, which fails with the reason (a full disk).
    static bool writeAll(QFileDevice& file, const QByteArray& bytes)
    {
        qint64 done = 0;
        while (done < bytes.size()) {
            const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    static std::filesystem::path fsPath(const QString& path)
    {
        return std::filesystem::path(QFile::encodeName(path).toStdString());
    }

    bool fail(const QString& path, const QString& why)
    {
        m_error = QStringLiteral("%1: %2").arg(path, why);
        cancel();
        return false;
    }

    QSaveFile m_output;
    QString m_workingPath;
    QTemporaryFile m_working;
    QString m_error;
};

// The replaced entry as the navigator expects it: 16-byte header, the Ogg data, zero padding.
QByteArray replacedEntry(const ChkEntry& e)
{
    QByteArray out;
    out.reserve(e.size);
    const auto wc = static_cast<quint16>(e.wordCount);
    out.append(char(0x01));
    out.append(char(0x00));
    out.append(static_cast<char>(wc >> 8));
    out.append(static_cast<char>(wc & 0xFF));
    chk::put_long(out, 1);
    chk::put_long(out, 8);
    chk::put_long(out, e.oggLength);
    out.append(e.ogg);
    out.append(e.size - chk::kEntryHeaderSize - e.oggLength, '\0');
    return out;
}

// Reads exactly length bytes at offset of the open working copy.
bool readExactly(QFile& file, qint64 offset, qint64 length, QByteArray& out)
{
    if (!file.seek(offset))
        return false;
    out = file.read(length);
    return out.size() == length;
}

} // namespace

BuildResult data_chk_reload(const BuildInput& in, LogSink& log)
{
    BuildResult result;
    const QString& P = in.workingPath;
    if (P.isEmpty() || in.baseArchiveName.isEmpty()) {
        log.AddText(QStringLiteral("No sound archive is loaded") + kNothingWritten);
        return result;
    }

    QFile source(P);
    const bool opened = source.open(QIODevice::ReadOnly);
    const qint64 Fsize = opened ? source.size() : -1;
    const QByteArray countBytes = opened ? source.read(4) : QByteArray();
    log.AddText(QStringLiteral("Sound file ") + P);
    if (!opened) {
        log.AddText(
            QStringLiteral("....Cannot open the working copy (%1)").arg(source.errorString()) +
            kNothingWritten);
        return result;
    }
    if (countBytes.size() != 4) {
        log.AddText(QStringLiteral("....The working copy is too short to hold an entry count") +
                    kNothingWritten);
        return result;
    }
    const qint32 N = chk::get_long(countBytes, 0);
    log.AddText(QStringLiteral("....Number of modules: %1 File size: %2").arg(N).arg(Fsize));

    // The build needs at least one entry before the replaceable ones.
    if (N < 32) {
        log.AddText(
            QStringLiteral("....The archive holds %1 entries; a build needs at least 32").arg(N) +
            kNothingWritten);
        return result;
    }
    const int R = N == 102 ? 12 : 30;
    const qint32 S = N - R;

    const qint64 tableBytes = 4 * (qint64(N) + 1);
    const qint64 tableEnd = 4 + tableBytes;
    QByteArray table;
    if (tableBytes > Fsize - 4 || !readExactly(source, 4, tableBytes, table)) {
        log.AddText(
            QStringLiteral("....The offset table of %1 entries runs past the end of the file")
                .arg(N) +
            kNothingWritten);
        return result;
    }
    std::vector<ChkEntry> entries(std::size_t(N) + 2);
    for (qint32 i = 1; i <= N + 1; ++i) {
        entries[i].oldOffset = entries[i].newOffset = chk::get_long(table, 4 * qsizetype(i - 1));
        if (i > 1)
            entries[i - 1].size = entries[i].oldOffset - entries[i - 1].oldOffset;
    }

    const qint64 endOffset = entries[N + 1].oldOffset;
    if (endOffset != Fsize) {
        log.AddText(QStringLiteral("....File size mismatch! Reported:%1 Actual:%2")
                        .arg(QString::number(static_cast<quint32>(endOffset), 16).toUpper())
                        .arg(Fsize));
        return result;
    }
    // Every entry must lie after the table and end where the next begins.
    for (qint32 i = 1; i <= N; ++i) {
        const ChkEntry& e = entries[i];
        if (e.oldOffset < tableEnd || e.size < 0) {
            log.AddText(QStringLiteral("....Entry %1 starts at offset %2, %3")
                            .arg(i)
                            .arg(static_cast<quint32>(e.oldOffset))
                            .arg(e.oldOffset < tableEnd
                                     ? QStringLiteral("inside the offset table")
                                     : QStringLiteral("after the start of the next entry")) +
                        kNothingWritten);
            return result;
        }
    }
    log.AddText(QStringLiteral("....File size confirmed"));
    log.AddText(QStringLiteral("....Calculating new parameters"));

    for (qint32 J = S; J < N; ++J) {
        const int k = J - S;
        const QString& path = in.soundBoxes[k];
        if (!isExternalSound(path))
            continue;
        log.AddText(QStringLiteral("....Verifying ") + path);
        ChkEntry& e = entries[J];
        const qint64 length = fileLength(path);
        if (length > kMaxExternalSoundBytes) {
            log.AddText(QStringLiteral("....%1 is %2 bytes long; a sound can hold at most %3 bytes")
                            .arg(path)
                            .arg(length)
                            .arg(kMaxExternalSoundBytes) +
                        kNothingWritten);
            return result;
        }
        Result<QByteArray> read = readWholeFile(path, kMaxExternalSoundBytes);
        if (!read) {
            log.AddText(QStringLiteral("....Cannot read %1 (%2)").arg(path, read.error()) +
                        kNothingWritten);
            return result;
        }
        e.ogg = std::move(read).value();
        if (e.ogg.isEmpty()) {
            log.AddText(QStringLiteral("....%1 is empty").arg(path) + kNothingWritten);
            return result;
        }
        if (!e.ogg.startsWith("OggS")) {
            log.AddText(QStringLiteral("....%1 is not an Ogg sound (it does not begin with "
                                       "\"OggS\")")
                            .arg(path) +
                        kNothingWritten);
            return result;
        }
        e.slot = k;
        e.oggLength = static_cast<qint32>(e.ogg.size());
        const qint64 padded = (qint64(e.oggLength) + 3) / 4 * 4;
        e.wordCount = static_cast<qint16>((padded + 12) / 4);
        e.size = padded + chk::kEntryHeaderSize;
    }

    log.AddText(QStringLiteral("....Recalculating header "));
    for (qint32 J = S; J <= N + 1; ++J)
        entries[J].newOffset = entries[J - 1].newOffset + entries[J - 1].size;
    const qint64 newSize = entries[N + 1].newOffset;
    if (newSize > std::numeric_limits<qint32>::max()) {
        log.AddText(QStringLiteral("....The new archive would be %1 bytes long, more than an "
                                   "archive can describe")
                        .arg(newSize) +
                    kNothingWritten);
        return result;
    }
    log.AddText(QStringLiteral("....new File Size is %1").arg(newSize));

    log.AddText(QStringLiteral("....Writing CHK file "));
    const QString folder = RPP(in.programFolder);
    const QString modifiedFolder = folder + QStringLiteral("Modified");
    const QString O = modifiedFolder + nativeSeparator() + in.baseArchiveName;
    const QString W = folder + QStringLiteral("Temp") + nativeSeparator() + in.baseArchiveName;
    if (!QFileInfo(modifiedFolder).isDir()) {
        log.AddText(
            QStringLiteral("....The folder %1 is missing or is not a folder").arg(modifiedFolder) +
            kNothingWritten);
        return result;
    }
    if (isSameFile(O, P)) {
        log.AddText(QStringLiteral("....The output %1 is the working copy itself").arg(O) +
                    kNothingWritten);
        return result;
    }

    DualSaveFile out(O, W);
    const auto writeFailed = [&] {
        log.AddText(QStringLiteral("....Writing the new archive failed (%1); the earlier files "
                                   "are unchanged.")
                        .arg(out.error()));
        return result;
    };
    const auto readFailed = [&] {
        out.cancel();
        log.AddText(QStringLiteral("....Reading the working copy failed (%1); the earlier files "
                                   "are unchanged.")
                        .arg(source.error() != QFileDevice::NoError
                                 ? source.errorString()
                                 : QStringLiteral("it changed during the build")));
        return result;
    };
    if (!out.open())
        return writeFailed();

    QByteArray header;
    header.reserve(tableEnd);
    chk::put_long(header, N);
    for (qint32 i = 1; i <= N + 1; ++i)
        chk::put_long(header, static_cast<qint32>(entries[i].newOffset));
    if (!out.write(header))
        return writeFailed();

    // Everything between the table and entry S keeps its place: one read, one write.
    QByteArray block;
    if (!readExactly(source, tableEnd, entries[S].oldOffset - tableEnd, block))
        return readFailed();
    if (!out.write(block))
        return writeFailed();
    block = QByteArray();

    log.AddText(QStringLiteral("....Writing CHK file - Sounds"));
    for (qint32 J = S; J <= N; ++J) {
        const ChkEntry& e = entries[J];
        QByteArray bytes;
        if (e.slot >= 0) {
            log.AddText(QStringLiteral("....Including %1 for %2")
                            .arg(in.soundBoxes[e.slot], in.menuTexts[e.slot]));
            bytes = replacedEntry(e);
        } else if (!readExactly(source, e.oldOffset, e.size, bytes)) {
            return readFailed();
        }
        if (!out.write(bytes))
            return writeFailed();
    }
    source.close();

    // The output first: should the working copy then fail, the window still describes it.
    if (!out.commitOutput())
        return writeFailed();
    if (!out.commitWorking()) {
        log.AddText(QStringLiteral("....The new archive is in %1, but the working copy could not "
                                   "be replaced (%2).")
                        .arg(O, out.error()));
        return result;
    }

    log.AddText(QStringLiteral("Done - real new file size is %1").arg(fileLength(O)));
    log.AddText(
        QStringLiteral("....new %1 file created in the 'Modified' folder").arg(in.baseArchiveName));
    result.ok = true;
    result.workingPath = W;
    result.listing = Get_Chk_info(W, log);
    if (result.listing.ok)
        log.AddText(QStringLiteral("....and reloaded the altered file for testing."));
    return result;
}

} // namespace tollvik
