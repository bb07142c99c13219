#include "fuzzsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <cstdio>
#include <cstdlib>

namespace tollvik::fuzz {

QList<Record> readRecords(QByteArrayView input)
{
    QList<Record> records;
    for (qsizetype pos = 0; input.size() - pos >= 5;) {
        const char tag = input[pos];
        const quint32 length = FieldReader(input.sliced(pos + 1)).u32();
        pos += 5;
        const qsizetype take = std::min<qsizetype>(qsizetype(length), input.size() - pos);
        records.append({tag, input.sliced(pos, take)});
        pos += take;
    }
    return records;
}

RecordWriter& RecordWriter::add(char tag, QByteArrayView bytes)
{
    m_bytes.append(tag);
    appendU32(m_bytes, quint32(bytes.size()));
    m_bytes.append(bytes);
    return *this;
}

void appendU32(QByteArray& out, quint32 value)
{
    for (int k = 0; k < 4; ++k)
        out.append(static_cast<char>((value >> (8 * k)) & 0xFF));
}

quint32 FieldReader::u32()
{
    quint32 value = 0;
    for (int k = 0; k < 4; ++k)
        value |= quint32(u8()) << (8 * k);
    return value;
}

QByteArrayView FieldReader::rest()
{
    const QByteArrayView field = m_bytes.sliced(std::min(m_pos, m_bytes.size()));
    m_pos = m_bytes.size();
    return field;
}

Snapshot snapshot(const QString& folder)
{
    Snapshot files;
    const QDir base(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileInfo().isDir())
            files.insert(base.relativeFilePath(path) + u'/', QByteArray());
        else
            files.insert(base.relativeFilePath(path), readFile(path));
    }
    return files;
}

QString compareSnapshots(const Snapshot& before, const Snapshot& after)
{
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!after.contains(it.key()) || after.value(it.key()) != it.value())
            return it.key() + (after.contains(it.key()) ? QStringLiteral(" changed")
                                                        : QStringLiteral(" vanished"));
    }
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (!before.contains(it.key()))
            return it.key() + QStringLiteral(" appeared");
    }
    return {};
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, QByteArrayView data)
{
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(data.data(), data.size()) != data.size()) {
        std::fprintf(stderr, "fuzz harness: cannot write %s\n", qPrintable(path));
        std::abort();
    }
}

void Scratch::reset()
{
    if (!m_dir.isValid())
        fail(__FILE__, __LINE__, QStringLiteral("no temporary folder"), nullptr);
    QDir(program()).removeRecursively();
    QDir(outside()).removeRecursively();
    for (const QString& folder : {temp({}), modified({}), outside()})
        QDir().mkpath(folder);
}

void fail(const char* file, int line, const QString& what, const KeepLog* log)
{
    std::fprintf(stderr, "\n*** invariant broken at %s:%d\n    %s\n", file, line, qPrintable(what));
    for (const QString& l : log != nullptr ? log->lines : QList<QString>())
        std::fprintf(stderr, "      %s\n", qPrintable(l));
    std::abort();
}

} // namespace tollvik::fuzz
