#include "archive/entries.h"
#include "device/device.h"
#include "patcher/patcher.h"
#include "syncfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <tuple>
#include <vector>

namespace tollvik::device {
namespace {

constexpr qint32 kMinArchiveEntries = 31;

// Every byte the patcher's identification may compare, taken from its public table of builds.
// A file is read only at these offsets, into a buffer that is zero elsewhere, so identifying it
// costs a few reads however long it is, and gives the answer the whole file would give.
const std::vector<qint32>& probeOffsets()
{
    static const std::vector<qint32> offsets = [] {
        std::vector<qint32> all;
        constexpr auto kIndices = std::tuple_size_v<decltype(NavigatorState::WorkingFileNames)>;
        for (qint16 index = 0; index < qint16(kIndices); ++index) {
            if (const NavigatorBuild* build = findNavigatorBuild(index)) {
                for (const NavigatorProbe& probe : build->probes)
                    all.push_back(probe.offset);
            }
        }
        std::ranges::sort(all);
        all.erase(std::unique(all.begin(), all.end()), all.end());
        return all;
    }();
    return offsets;
}

class Searcher
{
public:
    Searcher(const QString& root, const ScanLimits& limits, const std::atomic_bool* cancel)
        : m_root(root), m_limits(limits), m_cancel(cancel)
    {
        const auto& offsets = probeOffsets();
        m_probeBuffer.fill('\0', offsets.empty() ? 0 : qsizetype(offsets.back()) + 1);
    }

    // Walks the tree level by level; false when cancelled.
    bool run()
    {
        QStringList level{m_root};
        for (int depth = 0; depth <= m_limits.maxDepth && !level.isEmpty(); ++depth) {
            QStringList next;
            for (const QString& folder : level) {
                if (!searchFolder(folder, depth < m_limits.maxDepth, next))
                    return false;
                if (m_result.limitReached)
                    return true;
            }
            level = next;
        }
        return true;
    }

    [[nodiscard]] ScanResult take() { return std::move(m_result); }

private:
    bool cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

    bool searchFolder(const QString& folder, bool descend, QStringList& next)
    {
        const QFileInfoList entries = list(folder);
        for (const QFileInfo& entry : entries) {
            if (cancelled())
                return false;
            if (entry.isSymLink())
                continue;
            if (entry.isDir()) {
                if (descend && !queueFolder(entry.filePath(), next))
                    return true;
                continue;
            }
            if (!entry.isFile() || entry.fileName().endsWith(QLatin1String(".tollvik-part")))
                continue;
            if (m_result.filesLookedAt >= m_limits.maxFiles) {
                m_result.limitReached = true;
                return true;
            }
            ++m_result.filesLookedAt;
            if (entry.size() <= m_limits.maxFileSize)
                look(entry);
        }
        return true;
    }

    // A folder's entries by name, folders last. A folder of more entries than the search could
    // look at is read no further (which of them are read is then the file system's order).
    QFileInfoList list(const QString& folder)
    {
        const qsizetype cap = qsizetype(m_limits.maxFiles) + m_limits.maxFolders;
        QDirIterator it(folder,
                        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        QFileInfoList entries;
        while (it.hasNext()) {
            if (entries.size() >= cap) {
                m_result.limitReached = true;
                break;
            }
            it.next();
            entries.append(it.fileInfo());
        }
        std::ranges::sort(entries, [](const QFileInfo& a, const QFileInfo& b) {
            const bool aDir = a.isDir() && !a.isSymLink();
            const bool bDir = b.isDir() && !b.isSymLink();
            return aDir != bDir ? bDir : a.fileName() < b.fileName();
        });
        return entries;
    }

    bool queueFolder(const QString& path, QStringList& next)
    {
        if (m_foldersQueued >= m_limits.maxFolders) {
            m_result.limitReached = true;
            return false;
        }
        ++m_foldersQueued;
        next.append(path);
        return true;
    }

    void look(const QFileInfo& entry)
    {
        Result<detail::Fd> fd = detail::openRegular(entry.filePath());
        if (!fd)
            return;
        FoundFile found;
        found.size = entry.size();
        if (!identify(fd.value(), found) && !archive(fd.value(), entry.filePath(), found))
            return;
        found.path = QDir::toNativeSeparators(entry.absoluteFilePath());
        found.relativePath =
            QDir::toNativeSeparators(QDir(m_root).relativeFilePath(entry.filePath()));
        found.modified = entry.lastModified();
        m_result.found.append(found);
    }

    bool identify(const detail::Fd& fd, FoundFile& found)
    {
        if (m_probeBuffer.isEmpty())
            return false;
        for (const qint32 offset : probeOffsets()) {
            if (offset >= found.size)
                break;
            const Result<QByteArray> byte = detail::readAt(fd, offset, 1);
            if (!byte || byte->size() != 1)
                return false;
            m_probeBuffer[offset] = byte->at(0);
        }
        const qsizetype length = qsizetype(std::min<qint64>(found.size, m_probeBuffer.size()));
        const NavigatorBuild* build =
            IdentifyNavigatorFile(QByteArrayView(m_probeBuffer).first(length));
        for (const qint32 offset : probeOffsets())
            m_probeBuffer[offset] = '\0';
        if (build == nullptr)
            return false;
        found.kind = FoundKind::Navigator;
        found.caption = build->caption.toString();
        if (found.caption.endsWith(QLatin1String(" loaded.")))
            found.caption.chop(8);
        return true;
    }

    // A cheap look at the count and the end offset first, so that only a file that may be an
    // archive is read whole; the archive library's split then decides.
    bool archive(const detail::Fd& fd, const QString& path, FoundFile& found)
    {
        const Result<QByteArray> head = detail::readAt(fd, 0, 4);
        if (!head || head->size() != 4)
            return false;
        const qint64 count = qFromBigEndian<qint32>(head->constData());
        if (count < kMinArchiveEntries || 4 * (count + 2) > found.size)
            return false;
        const Result<QByteArray> end = detail::readAt(fd, 4 + 4 * count, 4);
        if (!end || end->size() != 4 || qFromBigEndian<qint32>(end->constData()) != found.size)
            return false;
        const Result<QByteArray> bytes = detail::readRegular(path, m_limits.maxFileSize);
        if (!bytes)
            return false;
        const Result<ChkParts> contents = splitChk(bytes.value());
        if (!contents || contents->entries.size() < kMinArchiveEntries)
            return false;
        found.kind = FoundKind::Archive;
        found.entryCount = qint32(contents->entries.size());
        return true;
    }

    QString m_root;
    ScanLimits m_limits;
    const std::atomic_bool* m_cancel;
    QByteArray m_probeBuffer;
    ScanResult m_result;
    int m_foldersQueued = 1; // the chosen folder
};

} // namespace

QString FoundFile::description() const
{
    return kind == FoundKind::Navigator ? caption : QStringLiteral("%1 entries").arg(entryCount);
}

Result<ScanResult> scanFolder(const QString& folder, const ScanLimits& limits,
                              const std::atomic_bool* cancel)
{
    const QFileInfo root(folder);
    if (!root.isDir())
        return fail(QStringLiteral("%1 is not a folder").arg(folder));
    Searcher searcher(root.absoluteFilePath(), limits, cancel);
    if (!searcher.run())
        return fail(QString(), Refusal::Cancelled);
    return searcher.take();
}

} // namespace tollvik::device
