#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>

namespace tollvik::cli {

using NamedFile = std::pair<QString, QByteArray>;

// Writes the files into a new or empty folder, whole or not at all: they are written into a
// temporary folder of the program's own name beside it (kTemporaryPrefix), which then takes the
// folder's name. One that a killed run left there is removed first when older than a minute.
[[nodiscard]] Status writeFolder(const QString& folder, const QList<NamedFile>& files);

// The index that `chk join` reads: one line per entry, naming its file in the folder.
[[nodiscard]] QByteArray indexOf(const QList<NamedFile>& entryFiles, bool hasGap);
// The entry files an index names, in order, and the gap file's name (empty when none).
struct IndexedFolder
{
    QString gapFile;
    QStringList entryFiles;
};
[[nodiscard]] Result<IndexedFolder> readIndex(const QByteArray& index);

inline const QString kIndexName = QStringLiteral("index.txt");
inline const QString kGapName = QStringLiteral("gap.bin");

} // namespace tollvik::cli
