#pragma once

// The yardstick of the archive and navigator benchmarks: a plain copy of the file, written through
// a temporary file and a rename like the program's results, in chunks of 1 MB.

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <algorithm>

namespace tollvik::bench {

inline bool plainCopy(const QString& from, const QString& to)
{
    QFile source(from);
    QSaveFile target(to);
    if (!source.open(QIODevice::ReadOnly) ||
        !target.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    for (qint64 left = source.size(); left > 0;) {
        const QByteArray chunk = source.read(std::min<qint64>(left, 1 << 20));
        if (chunk.isEmpty() || target.write(chunk) != chunk.size())
            return false;
        left -= chunk.size();
    }
    return target.commit();
}

} // namespace tollvik::bench
