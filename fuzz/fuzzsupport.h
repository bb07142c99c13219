#pragma once

#include "core/logsink.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

namespace tollvik::fuzz {

// A fuzz input is a sequence of records: a tag byte, a 32-bit little-endian length and that
// many bytes. A length past the end of the input takes what is left, so a mutated length still
// gives a record; trailing bytes too short for a record header are ignored. The seed generator
// writes the same records.
struct Record
{
    char tag = 0;
    QByteArrayView bytes;
};

[[nodiscard]] QList<Record> readRecords(QByteArrayView input);

class RecordWriter
{
public:
    RecordWriter& add(char tag, QByteArrayView bytes);
    [[nodiscard]] const QByteArray& bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

void appendU32(QByteArray& out, quint32 value);

// Reads small fields from a record, front to back; a field past the end reads as zero.
class FieldReader
{
public:
    explicit FieldReader(QByteArrayView bytes) : m_bytes(bytes) {}
    [[nodiscard]] quint8 u8() { return m_pos < m_bytes.size() ? quint8(m_bytes[m_pos++]) : 0; }
    [[nodiscard]] quint32 u32();
    [[nodiscard]] QByteArrayView rest();

private:
    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
};

// Every file under a folder, by path relative to it, with its bytes; folders are listed with a
// trailing "/", so that a folder replacing a file shows as a change.
using Snapshot = QMap<QString, QByteArray>;
[[nodiscard]] Snapshot snapshot(const QString& folder);
// The first difference in words, or an empty string when both are equal.
[[nodiscard]] QString compareSnapshots(const Snapshot& before, const Snapshot& after);

// The whole file, or an empty array when it cannot be read.
[[nodiscard]] QByteArray readFile(const QString& path);
// Writes a file (creating its folder); aborts the run when the harness itself cannot.
void writeFile(const QString& path, QByteArrayView data);

// The scratch area of one harness process: a temporary folder (under TMPDIR) holding a program
// folder with Temp/ and Modified/, and a folder for the files the user would choose. reset()
// empties it between inputs.
class Scratch
{
public:
    Scratch() { reset(); }
    void reset();
    // The program folder, with its trailing separator.
    [[nodiscard]] QString program() const { return m_dir.path() + QStringLiteral("/program/"); }
    [[nodiscard]] QString temp(const QString& name) const
    {
        return program() + QStringLiteral("Temp/") + name;
    }
    [[nodiscard]] QString modified(const QString& name) const
    {
        return program() + QStringLiteral("Modified/") + name;
    }
    // Outside the program folder, with a trailing separator.
    [[nodiscard]] QString outside() const { return m_dir.path() + QStringLiteral("/user/"); }

private:
    QTemporaryDir m_dir;
};

// A log that keeps its lines, shown when an invariant breaks.
class KeepLog : public LogSink
{
public:
    void AddText(const QString& text) override { lines.append(text); }
    QList<QString> lines;
};

// Reports a broken invariant with the log so far and aborts, which libFuzzer records as a crash
// together with the input.
[[noreturn]] void fail(const char* file, int line, const QString& what, const KeepLog* log);

} // namespace tollvik::fuzz

#define FUZZ_CHECK(condition, what, log)                                                           \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::tollvik::fuzz::fail(__FILE__, __LINE__, QStringLiteral(#condition ": ") + (what),    \
                                  (log));                                                          \
    } while (false)
