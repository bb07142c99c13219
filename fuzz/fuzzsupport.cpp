#include "fuzzsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>

namespace tollvik::fuzz {

namespace {

quint32 le32(QByteArrayView bytes, qsizetype pos)
{
    quint32 value = 0;
    for (int k = 0; k < 4; ++k)
        value |= quint32(static_cast<quint8>(bytes[pos + k])) << (8 * k);
    return value;
}

} // namespace

QList<Record> readRecords(QByteArrayView input)
{
    QList<Record> records;
    qsizetype pos = 0;
    while (input.size() - pos >= 5) {
        const char tag = input[pos];
        const quint32 length = le32(input, pos + 1);
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

quint8 FieldReader::u8()
{
    if (m_pos >= m_bytes.size())
        return 0;
    return static_cast<quint8>(m_bytes[m_pos++]);
}

quint32 FieldReader::u32()
{
    quint32 value = 0;
    for (int k = 0; k < 4; ++k)
        value |= quint32(u8()) << (8 * k);
    return value;
}

QByteArrayView FieldReader::shortField()
{
    const qsizetype length = std::min<qsizetype>(u8(), m_bytes.size() - m_pos);
    const QByteArrayView field = m_bytes.sliced(m_pos, length);
    m_pos += length;
    return field;
}

QByteArrayView FieldReader::rest()
{
    const QByteArrayView field = m_bytes.sliced(m_pos);
    m_pos = m_bytes.size();
    return field;
}

void appendU32(QByteArray& out, quint32 value)
{
    for (int k = 0; k < 4; ++k)
        out.append(static_cast<char>((value >> (8 * k)) & 0xFF));
}

void appendShortField(QByteArray& out, QByteArrayView field)
{
    const qsizetype length = std::min<qsizetype>(field.size(), 255);
    out.append(static_cast<char>(length));
    out.append(field.first(length));
}

FileDigest digest(const QString& path)
{
    static QByteArray buffer;
    if (!readInto(path, buffer))
        return {};
    return {buffer.size(), qHash(buffer, 0)};
}

Snapshot snapshot(const QString& folder)
{
    Snapshot files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(folder);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = base.relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            files.insert(relative + u'/', FileDigest{});
        } else {
            files.insert(relative, digest(path));
        }
    }
    return files;
}

QString compareSnapshots(const Snapshot& before, const Snapshot& after)
{
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!after.contains(it.key()))
            return QStringLiteral("%1 vanished").arg(it.key());
        if (after.value(it.key()) != it.value())
            return QStringLiteral("%1 changed (%2 bytes, was %3)")
                .arg(it.key())
                .arg(after.value(it.key()).size)
                .arg(it.value().size);
    }
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (!before.contains(it.key()))
            return QStringLiteral("%1 appeared").arg(it.key());
    }
    return {};
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool readInto(const QString& path, QByteArray& buffer)
{
    buffer.resize(0);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    buffer.resize(size);
    if (file.read(buffer.data(), size) != size) {
        buffer.resize(0);
        return false;
    }
    return true;
}

void writeFile(const QString& path, QByteArrayView data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(data.data(), data.size()) != data.size()) {
        std::fprintf(stderr, "fuzz harness: cannot write %s\n", qPrintable(path));
        std::abort();
    }
}

Scratch::Scratch()
{
    if (!m_dir.isValid()) {
        std::fprintf(stderr, "fuzz harness: no temporary folder\n");
        std::abort();
    }
    m_program = m_dir.path() + QStringLiteral("/program/");
    m_outside = m_dir.path() + QStringLiteral("/user/");
    reset();
}

void Scratch::reset()
{
    QDir(m_program).removeRecursively();
    QDir(m_outside).removeRecursively();
    QDir().mkpath(m_program + QStringLiteral("Temp"));
    QDir().mkpath(m_program + QStringLiteral("Modified"));
    QDir().mkpath(m_outside);
}

QString Scratch::temp(const QString& name) const
{
    return m_program + QStringLiteral("Temp/") + name;
}

QString Scratch::modified(const QString& name) const
{
    return m_program + QStringLiteral("Modified/") + name;
}

void fail(const char* file, int line, const QString& what, const KeepLog* log)
{
    std::fprintf(stderr, "\n*** invariant broken at %s:%d\n    %s\n", file, line, qPrintable(what));
    if (log != nullptr) {
        std::fprintf(stderr, "    log (%d lines):\n", int(log->lines.size()));
        for (const QString& l : log->lines)
            std::fprintf(stderr, "      %s\n", qPrintable(l));
    }
    std::abort();
}

} // namespace tollvik::fuzz
