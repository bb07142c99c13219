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
// writes the same records, which keeps the seeds meaningful to the harnesses.
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

// Reads small fields from a record, front to back; a field past the end reads as zero.
class FieldReader
{
public:
    explicit FieldReader(QByteArrayView bytes) : m_bytes(bytes) {}
    [[nodiscard]] quint8 u8();
    [[nodiscard]] quint32 u32();
    // A field of u8() bytes.
    [[nodiscard]] QByteArrayView shortField();
    [[nodiscard]] QByteArrayView rest();

private:
    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
};

void appendU32(QByteArray& out, quint32 value);
void appendShortField(QByteArray& out, QByteArrayView field);

// A file's length and a hash of its bytes: enough to tell whether it changed, without keeping
// megabytes of navigator files around.
struct FileDigest
{
    qint64 size = -1;
    size_t hash = 0;
    friend bool operator==(const FileDigest&, const FileDigest&) = default;
};

[[nodiscard]] FileDigest digest(const QString& path);

// Every file under a folder, by path relative to it; folders are listed with a trailing "/", so
// that a folder replacing a file shows as a change.
using Snapshot = QMap<QString, FileDigest>;
[[nodiscard]] Snapshot snapshot(const QString& folder);
// A readable description of the first difference, or an empty string when both are equal.
[[nodiscard]] QString compareSnapshots(const Snapshot& before, const Snapshot& after);

[[nodiscard]] QByteArray readFile(const QString& path);
// Reads a whole file into `buffer`, reusing its memory from call to call: under
// AddressSanitizer every fresh allocation of a few megabytes maps and faults in new pages, which
// would dominate a navigator run. Returns false (and an empty buffer) when it cannot be read.
bool readInto(const QString& path, QByteArray& buffer);
// Writes a file (creating its folder); aborts the run when the harness itself cannot.
void writeFile(const QString& path, QByteArrayView data);

// The scratch area of one harness process: a temporary folder (under TMPDIR) holding a program
// folder with Temp/ and Modified/, and folders for the files the user would choose. reset()
// empties it between inputs.
class Scratch
{
public:
    Scratch();
    void reset();
    // The program folder, with its trailing separator.
    [[nodiscard]] const QString& program() const { return m_program; }
    [[nodiscard]] QString temp(const QString& name) const;
    [[nodiscard]] QString modified(const QString& name) const;
    // A folder outside the program folder for the user's own files, with a trailing separator.
    [[nodiscard]] const QString& outside() const { return m_outside; }

private:
    QTemporaryDir m_dir;
    QString m_program;
    QString m_outside;
};

// A log that keeps its lines; the harnesses check counts and the last line.
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
